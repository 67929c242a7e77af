#!/bin/bash
# The main job: sets up, builds, then inside a private network namespace
# starts a web server, an FTP server and a SOCKS proxy on loopback, registers
# the control in a throwaway Wine prefix and runs examples/demo.vbs, which
# fetches through the control and prints what every member returns.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${VEXA_BUILD_ROOT:-$root/build}
if [ "${1:-}" != --inside ]; then
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh"
    export WINEPREFIX=$build_root/main-job/wineprefix WINEDEBUG=-all
    "$root/scripts/wine-prefix.sh"
    wineserver -k 2>/dev/null || true
    exec unshare --net --pid --fork --mount-proc "$0" --inside
fi

ip link set lo up
export PEER_DIR=$build_root/main-job/peers
source "$root/tests/peers/peers.sh"
trap stop_peers EXIT
wineserver -p
mkdir -p "$PEER_DIR"
start_dante
start_vsftpd
start_web_servers

head -c 300000 /dev/urandom | base64 >"$VEXA_WEB_ROOT/index.txt"
printf 'Vexa3 fetched this over FTP.\nSecond line.\n' >"$VEXA_FTP_ROOT/readme.txt"
# The connectivity probe must find something listening: the web server.
wine=/usr/lib/wine/wine64
"$wine" reg add 'HKLM\SOFTWARE\Quorvel\VexUpdate' /v ProbeTarget /d "127.0.0.1:$VEXA_LIGHTTPD_PORT" /f >/dev/null

winpath() { echo "Z:${1//\//\\}"; }
dll=$(winpath "$build_root/x86_64/src/component/Vexa3.dll")
"$wine" regsvr32.exe /s "$dll"
echo "== registered $dll"
"$wine" cscript.exe //nologo "$(winpath "$root/examples/demo.vbs")" 127.0.0.1 "$VEXA_LIGHTTPD_PORT" \
    "$VEXA_FTP_PORT" "$VEXA_FTP_USER" "$VEXA_FTP_PASSWORD" 127.0.0.1 "$VEXA_DANTE_PORT" 2>&1 | tr -d '\r'
"$wine" regsvr32.exe /u /s "$dll"
wineserver -k
