#!/bin/bash
# CTest's emulator: runs one Windows test program with the loader and in the
# prefix that scripts/wine-env.sh selected. The prefix and its persistent
# wineserver are set up by scripts/netns-tests.sh; wine's output goes through
# a temporary file because wine's helper processes inherit the output pipe
# and would keep CTest waiting for them long after the test ended.
set -u
: "${WINEPREFIX:?run the tests through scripts/test.sh}" "${WINELOADER:?run the tests through scripts/test.sh}"
export WINEDEBUG=${WINEDEBUG:--all}

# Start wineserver inside this namespace if none is running (-p: persistent).
wineserver -p

out=$(mktemp)
"$WINELOADER" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
