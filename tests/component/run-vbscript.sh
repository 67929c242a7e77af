#!/bin/bash
# Registers the DLL in the test prefix, runs a VBScript host under Wine's
# cscript and unregisters again. cscript takes a relative or Z:\ path (an
# absolute Unix path reads as a switch).
set -u
dll=$1
script=$2
trust_root=$3
emulator=$(dirname "$0")/../../scripts/wine-run.sh
winpath() { echo "Z:${1//\//\\}"; }

# The HTTPS fetches go to the TLS peers, whose test root the prefix trusts.
"$emulator" "$trust_root" || { echo "the test root could not be trusted"; exit 1; }
"$emulator" regsvr32.exe /s "$(winpath "$dll")" || { echo "registration failed"; exit 1; }
"$emulator" cscript.exe //nologo "$(winpath "$script")"
rc=$?
"$emulator" regsvr32.exe /u /s "$(winpath "$dll")"
exit $rc
