#!/bin/bash
# Creates (once) the throwaway Wine prefix named by WINEPREFIX, of the
# architecture named by WINEARCH, with the loader named by WINELOADER (see
# scripts/wine-env.sh), and configures it for headless testing: the null
# graphics driver lets windows, dialogs and hosted controls work without a
# display.
set -eu
: "${WINEPREFIX:?}" "${WINELOADER:?}" "${WINEARCH:?}"
# Wine looks for a program in the current directory first: a stray reg.exe
# where the caller stands would run instead of the prefix's own.
cd /
export WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.vexa-ready" ]; then
    rm -rf "$WINEPREFIX"
    "$WINELOADER" wineboot.exe -i >/dev/null 2>&1
    "$WINELOADER" reg.exe add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.vexa-ready"
fi
