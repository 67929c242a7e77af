#!/bin/bash
# Runs every benchmark in one go and prints one table: each figure with its
# named baseline and the ratio to it, for the 64-bit DLL and, where the
# machine runs 32-bit programs, the 32-bit one. The benchmarks' own, more
# detailed tables are kept in build/bench-all/ARCH/*.txt.
#
#   bench/run-all.sh          (as root; each benchmark runs in its own network namespace)
#   bench/run-all.sh --quick  every benchmark on small files with two
#                             repetitions: proves that each still runs and
#                             reports every figure (the test command runs it,
#                             with VEXA_BENCH_BUILT=1 after its own build)
#
# A figure that a benchmark did not report fails the run.
set -eu -o pipefail
if [ "${1:-}" = --quick ]; then
    export VEXA_BENCH_QUICK=1
fi
source "$(dirname "$0")/lib.sh"
out=$build_root/bench-all
mkdir -p "$out"

if [ "${VEXA_BENCH_BUILT:-0}" != 1 ]; then
    "$root/scripts/setup.sh" >/dev/null
    "$root/scripts/build.sh" >/dev/null
    export VEXA_BENCH_BUILT=1
fi
# Both DLLs where the machine runs 32-bit programs; a quick run only proves
# that the benchmarks start, which the 64-bit DLL shows.
if [ "${VEXA_BENCH_QUICK:-0}" = 1 ]; then
    archs=x86_64
else
    archs="x86_64 i686"
fi
declare -A skipped
for arch in $archs; do
    if ! (source "$root/scripts/wine-env.sh" "$arch" && vexa_loader_runs); then
        skipped[$arch]=$(source "$root/scripts/wine-env.sh" "$arch" && vexa_loader_skip_reason benchmarks)
        continue
    fi
    mkdir -p "$out/$arch"
    for bench in http-fetch https-fetch ftp-retrieve ftps-retrieve latency proxy-fetch channel-wait; do
        echo "== $arch $bench" >&2
        VEXA_BENCH_ARCH=$arch "$root/bench/$bench.sh" >"$out/$arch/$bench.txt" 2>&1 || {
            echo "bench/$bench.sh ($arch) failed:" >&2
            tail -n 20 "$out/$arch/$bench.txt" >&2
            exit 1
        }
    done
done

# "median" of a row of http-fetch.sh: file size in MiB, client label.
http() { awk -v size="$1 MiB" -v label="$2" 'index($0, size) == 1 && index($0, label) { print $(NF-3) }' "$res/http-fetch.txt"; }
# https-fetch.sh rows: file size, client label; the rate is the third field
# from the end.
https() {
    awk -v size="$1 MiB" -v label="$2" 'index($0, size) == 1 && index($0, label) { print $(NF-2); exit }' \
        "$res/https-fetch.txt"
}
# ftp-retrieve.sh rows: size, mode, client label.
ftp() {
    awk -v size="$1 MiB" -v mode="$2" -v label="$3" \
        'index($0, size) == 1 && $3 == mode && index($0, label) { print $(NF-3) }' "$res/ftp-retrieve.txt"
}
# ftps-retrieve.sh rows: size, mode, client label.
ftps() {
    awk -v size="$1 MiB" -v mode="$2" -v label="$3" \
        'index($0, size) == 1 && $3 == mode && index($0, label) { print $(NF-2) }' "$res/ftps-retrieve.txt"
}
# latency.sh rows: the first number is the value, the last the ratio.
latency() {
    awk -v label="$1" 'index($0, label) == 1 {
        for (i = 1; i <= NF; i++) if ($i ~ /^[0-9.]+$/) { print $i, $NF; exit } }' "$res/latency.txt"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
missing=0
# A figure is a number, and a baseline more than 0; anything else means a
# benchmark no longer measures what the row names.
figure_ok() { awk -v v="$1" -v least="$2" 'BEGIN { exit !(v ~ /^[0-9.]+$/ && v + 0 >= least) }'; }
row() {
    printf '%-46s %12s  %-34s %12s %7s\n' "$1" "$2" "$3" "$4" "$(ratio "$2" "$4")"
    if ! figure_ok "$2" 0 || ! figure_ok "$4" 0.000001; then
        echo "missing figure: ${1:-(previous measure)} / $3" >&2
        missing=1
    fi
}

# The table of one DLL's figures, from the benchmarks' files in $res.
table() {
    printf '%-46s %12s  %-34s %12s %7s\n' measure value baseline "baseline" ratio
    for size in "$large_mib" 1; do
        v=$(http $size "CVexEngine::FetchRemoteFile")
        row "HTTP $size MiB, FetchRemoteFile (MiB/s)" "$v" "WinINet InternetReadFile" "$(http $size "WinINet")"
        row "" "$v" "URLDownloadToFileA" "$(http $size "URLDownloadToFileA")"
        row "" "$v" "curl (native)" "$(http $size "curl")"
    done
    for size in "$large_mib" 1; do
        v=$(https $size "FetchURL https")
        row "HTTPS $size MiB, FetchURL (MiB/s)" "$v" "WinINet https" "$(https $size "WinINet https")"
        row "" "$v" "curl https (native)" "$(https $size "curl https")"
        row "HTTP $size MiB, FetchURL (MiB/s)" "$(https $size "FetchURL http ")" "FetchRemoteHTTP" \
            "$(https $size "FetchRemoteHTTP http")"
    done
    for size in "$large_mib" 1; do
        for mode in active passive; do
            v=$(ftp $size $mode "CVexFTP::MoveFile")
            row "FTP $size MiB $mode, CVexFTP::MoveFile (MiB/s)" "$v" "WinINet" "$(ftp $size $mode "WinINet")"
            row "" "$v" "curl (native)" "$(ftp $size $mode "curl")"
        done
    done
    # curl 7.88 fails active FTPS (bench/ftps-retrieve.sh): passive against
    # passive, and active against curl's passive.
    for size in "$large_mib" 1; do
        for mode in passive active; do
            row "FTPS $size MiB $mode, CVexFTP::MoveFile (MiB/s)" "$(ftps $size $mode "CVexFTP::MoveFile FTPS")" \
                "curl --ssl-reqd passive (native)" "$(ftps $size passive "curl --ssl-reqd")"
        done
    done
    read -r fetch_ms fetch_ratio <<<"$(latency "small HTTP fetch")"
    wininet_ms=$(awk -v r="$fetch_ratio" -v v="$fetch_ms" 'BEGIN { printf "%.2f", v / r }')
    row "small fetch through the control (ms)" "$fetch_ms" "WinINet fetch" "$wininet_ms"
    for what in listening refusing; do
        read -r probe_ms probe_ratio <<<"$(latency "IsInternetConnected, target $what")"
        row "IsInternetConnected, target $what (ms)" "$probe_ms" "plain connect()" \
            "$(awk -v r="$probe_ratio" -v v="$probe_ms" 'BEGIN { printf "%.2f", v / r }')"
    done
    # proxy-fetch.sh rows (fixed columns): the value, and the baseline's number.
    proxy() {
        awk -v label="$1" 'index($0, label) == 1 {
            n = split(substr($0, 59, 34), b, " "); for (i = n; i > 0; i--) if (b[i] ~ /^[0-9.]+$/) break
            v = substr($0, 48, 10); gsub(/ /, "", v); print v, b[i]; exit }' "$res/proxy-fetch.txt"
    }
    read -r v b <<<"$(proxy "small fetch, HTTPProxy")"
    row "small fetch through tinyproxy (ms)" "$v" "WinINet through tinyproxy" "$b"
    read -r v b <<<"$(proxy "$large_mib MiB via proxy")"
    row "HTTP $large_mib MiB through tinyproxy (MiB/s)" "$v" "WinINet through tinyproxy" "$b"
    row "" "$v" "curl through tinyproxy (native)" "$(awk '/curl via proxy/ { print $(NF-1) }' "$res/proxy-fetch.txt")"
    read -r _ _ _ _ _ per_second <<<"$(grep '^VEXSOCK::WaitRead' "$res/channel-wait.txt")"
    read -r _ _ _ _ _ spin_per_second <<<"$(grep '^baseline: zero-timeout' "$res/channel-wait.txt")"
    read -r _ _ _ _ floor_per_second <<<"$(grep '^floor: Sleep' "$res/channel-wait.txt")"
    row "CPU s per s of a wait on a silent peer" "$per_second" "zero-timeout polling wait" "$spin_per_second"
    # The floor can read 0 in a quick run: it is shown, not checked.
    printf '%-46s %12s  %-34s %12s\n' "" "" "a process in Sleep (the floor)" "$floor_per_second"
    row "message posted during a wait, dispatched (ms)" "$(awk '/^dispatch: VEXSOCK/ { print $NF }' "$res/channel-wait.txt")" \
        "plain GetMessage loop" "$(awk '/^dispatch: GetMessage/ { print $NF }' "$res/channel-wait.txt")"
}

for arch in $archs; do
    echo "== $arch DLL"
    if [ -n "${skipped[$arch]:-}" ]; then
        echo "${skipped[$arch]}"
        continue
    fi
    res=$out/$arch
    table
done
exit "$missing"
