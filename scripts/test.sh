#!/bin/bash
# The whole test suite: installs what is missing, builds the 32-bit and the
# 64-bit DLL trees and the native parser tests, then runs every test inside a
# private network namespace with only loopback up. Arguments go to the
# x86_64 CTest run (for example -R VexSock -V).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh

build_root=${VEXA_BUILD_ROOT:-$root/build}
export WINEPREFIX=$build_root/x86_64/wineprefix
export WINEDEBUG=-all
scripts/wine-prefix.sh
# A wineserver started outside the namespace would put every socket on the
# host's loopback: stop it, the namespace starts its own.
wineserver -k 2>/dev/null || true

unshare --net --pid --fork --mount-proc \
    scripts/netns-tests.sh "$build_root/x86_64" "$build_root/native" "$@"
