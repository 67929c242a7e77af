#!/bin/bash
# The main job: sets up, builds the two DLLs, then inside a private network
# namespace starts web servers, an FTP server, a SOCKS proxy and an HTTP proxy
# on loopback,
# registers the control in a throwaway Wine prefix of each architecture and
# runs examples/demo.vbs under that architecture's script host, which fetches
# through the control and prints what every member returns.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${VEXA_BUILD_ROOT:-$root/build}
archs="x86_64 i686"
prefix_of() { echo "$build_root/main-job/$1/wineprefix"; }

if [ "${1:-}" != --inside ]; then
    # Root needs no sudo (a minimal machine has none); anybody else does.
    if [ "$(id -u)" != 0 ]; then
        exec sudo --preserve-env=VEXA_BUILD_ROOT "$0" "$@"
    fi
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh" dlls
    for arch in $archs; do
        (
            export VEXA_WINEPREFIX=$(prefix_of "$arch")
            source "$root/scripts/wine-env.sh" "$arch"
            vexa_loader_runs || exit 0
            "$root/scripts/wine-prefix.sh"
            wineserver -k 2>/dev/null || true
        )
    done
    exec unshare --net --pid --fork --mount-proc "$0" --inside
fi

ip link set lo up
export PEER_DIR=$build_root/main-job/peers
source "$root/tests/peers/peers.sh"
trap stop_peers EXIT
mkdir -p "$PEER_DIR"
start_dante
start_vsftpd
start_web_servers
start_tls_servers
start_http_proxies

head -c 300000 /dev/urandom | base64 >"$VEXA_WEB_ROOT/index.txt"
printf 'Vexa3 fetched this over FTP.\nSecond line.\n' >"$VEXA_FTP_ROOT/readme.txt"
printf 'Vexa3 fetched this over HTTPS.\n' >"$VEXA_WEB_ROOT/secure.txt"
printf 'Vexa3 followed four redirects to this file.\n' >"$VEXA_WEB_ROOT/redirect-target.txt"

for arch in $archs; do
    (
        export VEXA_WINEPREFIX=$(prefix_of "$arch")
        source "$root/scripts/wine-env.sh" "$arch"
        if ! vexa_loader_runs; then
            echo "== $(vexa_loader_skip_reason demo)"
            exit 0
        fi
        wineserver -p
        # Settings from an earlier run would change what the demo shows.
        "$WINELOADER" reg.exe delete 'HKLM\SOFTWARE\Quorvel\VexUpdate' /f >/dev/null 2>&1 || true
        # The connectivity probe must find something listening: the web server.
        "$WINELOADER" reg.exe add 'HKLM\SOFTWARE\Quorvel\VexUpdate' /v ProbeTarget \
            /d "127.0.0.1:$VEXA_LIGHTTPD_PORT" /f >/dev/null
        # The TLS peer's certificate comes from a test root this prefix trusts.
        "$WINELOADER" "$build_root/$arch/tests/vexa_trust_root.exe"
        dll=$(winpath "$build_root/$arch/src/component/Vexa3.dll")
        "$WINELOADER" regsvr32.exe /s "$dll"
        echo "== $arch: registered $dll; the $arch script host runs the demo"
        "$WINELOADER" cscript.exe //nologo "$(winpath "$root/examples/demo.vbs")" 127.0.0.1 \
            "$VEXA_LIGHTTPD_PORT" "$VEXA_FTP_PORT" "$VEXA_FTP_USER" "$VEXA_FTP_PASSWORD" \
            127.0.0.1 "$VEXA_DANTE_PORT" "https://localhost:$VEXA_TLS_PORT/secure.txt" \
            "http://127.0.0.1:$VEXA_REDIRECT_PORT/r301" "127.0.0.1:$VEXA_TINYPROXY_PORT" 2>&1 | tr -d '\r'
        "$WINELOADER" regsvr32.exe /u /s "$dll"
        wineserver -k
    )
done
