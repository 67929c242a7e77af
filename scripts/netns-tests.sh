#!/bin/bash
# Runs inside the private network namespace made by scripts/test.sh: brings
# loopback up, starts the real peers, runs the native tests, every Windows
# test once per architecture, and the fuzzers; stops the peers.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${VEXA_BUILD_ROOT:-$root/build}

ip link set lo up

export PEER_DIR=$build_root/peers
source "$root/tests/peers/peers.sh"
trap stop_peers EXIT

mkdir -p "$PEER_DIR"
if ! map_test_names || ! start_peers; then
    tail -n 20 "$PEER_DIR"/*.log >&2
    exit 1
fi

rc=0
ctest --test-dir "$build_root/native" --output-on-failure || rc=1
for arch in ${VEXA_TEST_ARCHS:-x86_64 i686}; do
    (
        source "$root/scripts/wine-env.sh" "$arch"
        if ! vexa_loader_runs; then
            echo "== $(vexa_loader_skip_reason)"
            exit 0
        fi
        echo "== $arch tests: $WINELOADER in $WINEPREFIX"
        # wineserver creates the sockets: it must run inside this namespace.
        wineserver -p
        started=$SECONDS
        ctest --test-dir "$build_root/$arch" -j2 --output-on-failure "$@"
        result=$?
        wineserver -k
        echo "== $arch tests took $((SECONDS - started)) s"
        exit $result
    ) || rc=1
done

# Bounded fuzzing of the platform-free readers (a longer run: fuzz/run.sh 1800).
"$root/fuzz/run.sh" 8 || rc=1
exit $rc
