#!/bin/bash
# Runs inside the private network namespace made by scripts/test.sh: brings
# loopback up, starts the real peers, runs every test, stops the peers.
set -u
build=${1:?build directory of the x86_64 tree}
native=${2:?build directory of the native tree}

ip link set lo up

export PEER_DIR=$build/peers
source "$(dirname "$0")/../tests/peers/peers.sh"
trap stop_peers EXIT

# wineserver creates the sockets: it must run inside this namespace.
wineserver -p

if ! start_peers; then
    tail -n 20 "$PEER_DIR"/*.log >&2
    exit 1
fi

rc=0
ctest --test-dir "$native" --output-on-failure || rc=1
ctest --test-dir "$build" -j2 --output-on-failure "${@:3}" || rc=1
wineserver -k

# Bounded fuzzing of the platform-free readers (a longer run: fuzz/run.sh 1800).
"$(dirname "$0")/../fuzz/run.sh" 8 || rc=1
exit $rc
