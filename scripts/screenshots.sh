#!/bin/bash
# Takes pictures of the control hosted in a window and of its About box,
# under Xvfb, for people to look at: build/screenshots/*.png (not kept in
# the repository). Uses a prefix of its own with Wine's X11 driver.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${VEXA_BUILD_ROOT:-$root/build}
out=$build_root/screenshots
export VEXA_WINEPREFIX=$out/wineprefix
source "$root/scripts/wine-env.sh" x86_64
if [ "${1:-}" != --inside ]; then
    "$root/scripts/setup.sh" >/dev/null
    for p in xvfb imagemagick; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$p" >/dev/null
    done
    "$root/scripts/build.sh" >/dev/null
    mkdir -p "$out"
    [ -f "$WINEPREFIX/system.reg" ] || "$WINELOADER" wineboot.exe -i >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    exec timeout 120 unshare --net --pid --kill-child --mount-proc "$0" --inside
fi

ip link set lo up
Xvfb :99 -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:99
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X99 ] && break; sleep 0.1; done
wineserver -p
wine=$WINELOADER
dll="Z:${build_root//\//\\}\\x86_64\\src\\component\\Vexa3.dll"
"$wine" regsvr32.exe /s "$dll"
"$wine" "$build_root/x86_64/tools/vexa_showcase.exe" &
showcase=$!
sleep 3
import -window root "$out/hosted-control.png"
sleep 4
import -window root "$out/about-box.png"
wait "$showcase"
"$wine" regsvr32.exe /u /s "$dll"
wineserver -k
kill "$xvfb"
echo "pictures in $out"
