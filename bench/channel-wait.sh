#!/bin/bash
# CPU time of a channel waiting 3 s on a silent loopback peer, beside the
# wall time, against the baseline of a zero-timeout polling wait. Under Wine
# a socket poll is a call into wineserver, so the CPU of wineserver counts
# as well as the waiting process's own.
set -eu
source "$(dirname "$0")/lib.sh"
enter_namespace "$0" 120 "$@"

ip link set lo up
wineserver -p
exe=$build_root/x86_64/bench/bench_channel_wait.exe
ticks=$(getconf CLK_TCK)

# user+system ticks of wineserver so far
server_ticks() {
    local pid
    pid=$(pgrep "^wineserver" | head -n1)
    awk '{print $14 + $15}' "/proc/$pid/stat"
}
children_ticks() {
    # bash's `times`: second line is the children's user and system time
    times | tail -n1 | awk '{
        split($1, u, "m"); split($2, s, "m");
        print (u[1] * 60 + u[2]) + (s[1] * 60 + s[2]) }'
}

"$wine" "$exe" vexsock 0 >/dev/null 2>&1 || true # warm up the prefix

measure() {
    local mode=$1 s0 c0 wall s1 c1
    s0=$(server_ticks); c0=$(children_ticks)
    wall=$("$wine" "$exe" "$mode" 3 2>/dev/null | tr -d "\r")
    s1=$(server_ticks); c1=$(children_ticks)
    awk -v w="$wall" -v s=$((s1 - s0)) -v c0="$c0" -v c1="$c1" -v t="$ticks" \
        'BEGIN { printf "%s %.2f\n", w, (c1 - c0) + s / t }'
}

read -r wall_v cpu_v < <(measure vexsock)
read -r wall_s cpu_s < <(measure spin)
printf '%-34s %8s %8s %10s\n' "channel wait on a silent peer" "wall s" "CPU s" "CPU/wall"
printf '%-34s %8.2f %8.2f %10.3f\n' "VEXSOCK::WaitRead (sliced select)" "$wall_v" "$cpu_v" "$(awk -v c="$cpu_v" -v w="$wall_v" 'BEGIN{print c/w}')"
printf '%-34s %8.2f %8.2f %10.3f\n' "baseline: zero-timeout polling" "$wall_s" "$cpu_s" "$(awk -v c="$cpu_s" -v w="$wall_s" 'BEGIN{print c/w}')"
printf 'ratio of CPU time, channel / baseline: %.4f\n' "$(awk -v a="$cpu_v" -v b="$cpu_s" 'BEGIN{print (b > 0 ? a/b : 0)}')"
wineserver -k
