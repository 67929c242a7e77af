#!/bin/bash
# Registers the DLL in the test prefix, runs a VBScript host under Wine's
# cscript and unregisters again. cscript takes a relative or Z:\ path (an
# absolute Unix path reads as a switch).
#
#   run-vbscript.sh DLL SCRIPT TRUST_ROOT [--unicode-temp]
#
# --unicode-temp runs the script with the argument "unicode-temp" and with
# TMP naming a directory that the ANSI
# code page cannot spell. Wine takes TMP from HKCU\Environment when a
# process starts, not from the Unix environment; the value is imported from
# a UTF-16 .reg file, so that no code page touches the name, and the key
# exported before is imported again afterwards.
set -u
dll=$1
script=$2
trust_root=$3
unicode_temp=${4:-}
emulator=$(dirname "$0")/../../scripts/wine-run.sh
winpath() { echo "Z:${1//\//\\}"; }

# The HTTPS fetches go to the TLS peers, whose test root the prefix trusts.
"$emulator" "$trust_root" || { echo "the test root could not be trusted"; exit 1; }
"$emulator" regsvr32.exe /s "$(winpath "$dll")" || { echo "registration failed"; exit 1; }
if [ "$unicode_temp" = --unicode-temp ]; then
    regs=$(mktemp -d)
    exported=$("$emulator" reg.exe export 'HKCU\Environment' "$(winpath "$regs/saved.reg")" /y 2>&1) ||
        { echo "HKCU\Environment could not be saved: $exported"; exit 1; }
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Environment]\r\n"TMP"="C:\\\\vexa-\xd0\x98\xd1\x80\xd0\xb8\xd0\xbd\xd0\xb0\xe6\x9d\x8e"\r\n' |
        iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$regs/unicode.reg"
    "$emulator" reg.exe import "$(winpath "$regs/unicode.reg")" || { echo "TMP could not be set"; exit 1; }
fi
"$emulator" cscript.exe //nologo "$(winpath "$script")" ${unicode_temp:+unicode-temp}
rc=$?
if [ "$unicode_temp" = --unicode-temp ]; then
    "$emulator" reg.exe import "$(winpath "$regs/saved.reg")" || rc=1
    rm -rf "$regs"
fi
"$emulator" regsvr32.exe /u /s "$(winpath "$dll")"
exit $rc
