#!/bin/bash
# The main job: sets up, builds, then inside a private network namespace
# starts a web server and SOCKS proxies on loopback and fetches a page through
# each proxy with the engine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${VEXA_BUILD_ROOT:-$root/build}
if [ "${1:-}" != --inside ]; then
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh"
    export WINEPREFIX=$build_root/x86_64/wineprefix WINEDEBUG=-all
    "$root/scripts/wine-prefix.sh"
    wineserver -k 2>/dev/null || true
    exec unshare --net --pid --fork --mount-proc "$0" --inside
fi

ip link set lo up
export PEER_DIR=$build_root/main-job
source "$root/tests/peers/peers.sh"
trap stop_peers EXIT
wineserver -p
start_peers

site=$PEER_DIR/site
mkdir -p "$site"
head -c 100000 /dev/urandom | base64 >"$site/index.txt"
spawn http python3 -m http.server 8080 --bind 127.0.0.1 --directory "$site"
wait_port 8080 http

tool=$build_root/x86_64/tools/socks_get.exe
for proxy in "dante 1 $VEXA_DANTE_PORT" "dante 5 $VEXA_DANTE_PORT" "ssh 1 $VEXA_SSH_SOCKS_PORT"; do
    set -- $proxy
    echo "== GET /index.txt through $1, version argument $2"
    /usr/lib/wine/wine64 "$tool" 127.0.0.1 "$3" "$2" 127.0.0.1 8080 /index.txt | tr -d '\r'
done
echo "== expected body size: $(stat -c %s "$site/index.txt") bytes"
wineserver -k
