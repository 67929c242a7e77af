#!/bin/bash
# Processor time per second of a channel waiting on a silent loopback peer
# (10 s; both the program and wineserver count time in ticks of 10 ms)
# against the baseline of a zero-timeout polling wait (3 s), beside the floor
# of a process that only sleeps as long. Under Wine
# a socket poll is a call into wineserver, so the CPU of wineserver counts
# as well as the waiting process's own. Then how long a window message
# posted during such a wait takes until it is dispatched, beside a plain
# GetMessage loop (medians of 100 messages, 20 ms apart).
set -eu
source "$(dirname "$0")/lib.sh"
enter_namespace "$0" 300 "$@"

ip link set lo up
wineserver -p
exe=$tree/bench/bench_channel_wait.exe
ticks=$(getconf CLK_TCK)

# user+system ticks of wineserver so far
server_ticks() {
    local pid
    pid=$(pgrep "^wineserver" | head -n1)
    awk '{print $14 + $15}' "/proc/$pid/stat"
}

"$wine" "$exe" vexsock 0 >/dev/null 2>&1 || true # warm up the prefix

# "wall cpu" of one run of the program in mode $1 waiting $2 seconds: the
# processor time it spent in the wait (it measures that itself) and
# wineserver's over the whole run.
run_once() {
    local mode=$1 seconds=$2 s0 s1 wall own
    s0=$(server_ticks)
    read -r wall own < <("$wine" "$exe" "$mode" "$seconds" 2>/dev/null | tr -d '\r')
    s1=$(server_ticks)
    awk -v w="$wall" -v own="$own" -v s=$((s1 - s0)) -v t="$ticks" 'BEGIN { printf "%s %.3f\n", w, own + s / t }'
}

# "wall cpu" of a wait of $2 seconds in mode $1: the processor time of a run
# that waits less that of one that does not wait (wineserver's share of
# starting a Wine process varies by some hundredths of a second), the median
# of several pairs taken in turn.
measure() {
    local mode=$1 seconds=$2 r wall cpu idle_cpu
    for ((r = 0; r < $(count 3); r++)); do
        read -r wall cpu < <(run_once "$mode" "$seconds")
        read -r _ idle_cpu < <(run_once "$mode" 0)
        echo "$wall $(awk -v a="$cpu" -v b="$idle_cpu" 'BEGIN { printf "%.3f", (a > b ? a - b : 0) }')"
    done | sort -k2 -g | awk '{ w[NR] = $1; c[NR] = $2 } END { m = int((NR + 1) / 2); printf "%s %s\n", w[m], c[m] }'
}

if [ "${VEXA_BENCH_QUICK:-0}" = 1 ]; then
    read -r wall_v cpu_v < <(measure vexsock 1)
    read -r wall_s cpu_s < <(measure spin 1)
else
    read -r wall_v cpu_v < <(measure vexsock 10)
    read -r wall_s cpu_s < <(measure spin 3)
fi
read -r wall_i cpu_i < <(measure sleep "${wall_v%.*}")
printf '%-34s %8s %8s %10s\n' "channel wait on a silent peer" "wall s" "CPU s" "CPU/wall"
printf '%-34s %8.2f %8.3f %10.4f\n' "VEXSOCK::WaitRead (event wait)" "$wall_v" "$cpu_v" "$(awk -v c="$cpu_v" -v w="$wall_v" 'BEGIN{print c/w}')"
printf '%-34s %8.2f %8.3f %10.4f\n' "floor: Sleep" "$wall_i" "$cpu_i" "$(awk -v c="$cpu_i" -v w="$wall_i" 'BEGIN{print c/w}')"
printf '%-34s %8.2f %8.3f %10.4f\n' "baseline: zero-timeout polling" "$wall_s" "$cpu_s" "$(awk -v c="$cpu_s" -v w="$wall_s" 'BEGIN{print c/w}')"
printf 'ratio of CPU per second, channel / baseline: %.4f\n' \
    "$(awk -v a="$cpu_v" -v b="$cpu_s" -v wa="$wall_v" -v wb="$wall_s" 'BEGIN { print (b > 0 ? (a / wa) / (b / wb) : 0) }')"
messages=$(count 100)
dispatch_v=$("$wine" "$exe" dispatch-vexsock "$messages" 2>/dev/null | tr -d "\r")
dispatch_g=$("$wine" "$exe" dispatch-getmessage "$messages" 2>/dev/null | tr -d "\r")
printf '\n%-34s %12s\n' "message posted to dispatched" "median ms"
printf '%-34s %12s\n' "dispatch: VEXSOCK::WaitRead" "$dispatch_v"
printf '%-34s %12s\n' "dispatch: GetMessage loop" "$dispatch_g"
wineserver -k
