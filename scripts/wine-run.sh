#!/bin/bash
# CTest's emulator: runs one Windows test program under wine64 in the test
# prefix. The prefix and its persistent wineserver are set up by
# scripts/netns-tests.sh; wine's output goes through a temporary file because
# wine's helper processes inherit the output pipe and would keep CTest
# waiting for them long after the test ended.
set -u
: "${WINEPREFIX:?run the tests through scripts/test.sh}"
export WINEDEBUG=${WINEDEBUG:--all}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine

# Start wineserver inside this namespace if none is running (-p: persistent).
wineserver -p

out=$(mktemp)
"$wine" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
