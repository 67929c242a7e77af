# The shared start of the benchmark scripts. Outside the namespace it sets
# up, builds, prepares the Wine prefix and runs the calling script again
# inside a private network namespace with nothing but loopback, killed with
# everything in it when its time is up:
#
#   source "$(dirname "$0")/lib.sh"
#   enter_namespace "$0" SECONDS "$@"
#   ... (from here on inside: bring up lo, start servers, measure)

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${VEXA_BUILD_ROOT:-$root/build}
# Wine looks for a program in the current directory first: a stray reg.exe
# in the caller's directory would stand in for the prefix's own.
cd "$root"
# VEXA_BENCH_ARCH (bench/run-all.sh sets it) chooses the DLL, its programs,
# loader and prefix: x86_64 unless it says i686.
source "$root/scripts/wine-env.sh" "${VEXA_BENCH_ARCH:-x86_64}"
wine=$WINELOADER
tree=$build_root/$VEXA_ARCH

# A quick run (VEXA_BENCH_QUICK=1, from bench/run-all.sh --quick) only shows
# that every benchmark still starts and reports: the large file is 2 MiB
# instead of 64 and every count is 2. Its figures mean nothing.
if [ "${VEXA_BENCH_QUICK:-0}" = 1 ]; then
    large_mib=2
else
    large_mib=64
fi
large=bench-${large_mib}m.bin
# count N: how many fetches, rounds or repetitions: N, or 2 in a quick run.
count() { if [ "${VEXA_BENCH_QUICK:-0}" = 1 ]; then echo 2; else echo "$1"; fi; }

enter_namespace() {
    local script=$1 seconds=$2
    [ "${3:-}" = --inside ] && return 0
    # bench/run-all.sh sets up and builds once for all of them.
    if [ "${VEXA_BENCH_BUILT:-0}" != 1 ]; then
        "$root/scripts/setup.sh" >/dev/null
        "$root/scripts/build.sh" >/dev/null
    fi
    "$root/scripts/wine-prefix.sh"
    # A wineserver started outside would put every socket outside.
    wineserver -k 2>/dev/null || true
    exec timeout "$seconds" unshare --net --pid --kill-child --mount-proc "$root/bench/$(basename "$script")" --inside
}

# Inside the namespace: loopback up, the work directory $build_root/NAME
# ($work), the peers' start functions (their peers stopped again at exit)
# and this namespace's own wineserver.
enter_workplace() {
    ip link set lo up
    work=$build_root/$1
    mkdir -p "$work"
    export PEER_DIR=$work/peers
    source "$root/tests/peers/peers.sh"
    trap stop_peers EXIT
    wineserver -p
}
