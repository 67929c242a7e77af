#!/bin/bash
# Builds the three trees: i686 (the Win32 DLL, its tests run under the 32-bit
# Wine loader), x86_64 (the Win64 DLL, its tests run under the 64-bit loader)
# and native (the platform-free parsers, for fast tests and fuzzing).
#
#   scripts/build.sh          everything: both DLLs, every test and benchmark
#   scripts/build.sh dlls     only the two DLLs and their type libraries (and
#                             the tools the main job runs: the one that trusts
#                             the test root and the progress host)
set -eu
what=${1:-all}
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
# VEXA_BUILD_ROOT lets several checkouts or people build side by side.
build_root=${VEXA_BUILD_ROOT:-$root/build}

configure() {
    local dir=$1
    shift
    cmake -S "$root" -B "$build_root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

configure x86_64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh"
configure i686 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh"
configure native

if [ "$what" = dlls ]; then
    for dir in x86_64 i686; do
        echo "== build $dir DLL"
        cmake --build "$build_root/$dir" -j "$jobs" --target Vexa3 vexa_trust_root vexa_progress
    done
else
    for dir in x86_64 i686 native; do
        echo "== build $dir"
        cmake --build "$build_root/$dir" -j "$jobs"
    done
fi

# The distribution: both DLLs (stripped) with their type libraries, the
# sample settings, the installation notes and the two Windows Installer
# packages, DLLs and packages signed when scripts/sign.sh is given a key.
# VEXA_DIST puts it elsewhere, beside another checkout's.
dist=${VEXA_DIST:-$root/dist}
rm -rf "$dist"
for arch in i686:win32 x86_64:win64; do
    tree=${arch%%:*}
    out=$dist/${arch##*:}
    mkdir -p "$out"
    "$tree-w64-mingw32-strip" -o "$out/Vexa3.dll" "$build_root/$tree/src/component/Vexa3.dll"
    cp "$build_root/$tree/src/component/Vexa3.tlb" "$out/Vexa3.tlb"
done
cp "$root/packaging/VexUpdate-sample.reg" "$root/packaging/INSTALL.txt" "$dist/"
"$root/scripts/sign.sh" "$dist/win32/Vexa3.dll" "$dist/win64/Vexa3.dll"
"$root/scripts/build-msi.sh" "$dist"
"$root/scripts/sign.sh" "$dist"/*.msi
echo "== distribution in $dist"
