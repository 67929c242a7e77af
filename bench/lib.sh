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
source "$root/scripts/wine-env.sh" x86_64
wine=$WINELOADER

enter_namespace() {
    local script=$1 seconds=$2
    [ "${3:-}" = --inside ] && return 0
    "$root/scripts/setup.sh" >/dev/null
    "$root/scripts/build.sh" >/dev/null
    "$root/scripts/wine-prefix.sh"
    # A wineserver started outside would put every socket outside.
    wineserver -k 2>/dev/null || true
    exec timeout "$seconds" unshare --net --pid --kill-child --mount-proc "$script" --inside
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
