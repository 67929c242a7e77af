#!/bin/bash
# Builds the three trees: x86_64 (run by the tests under wine64), i686 (the
# shipping Win32 DLL; its test programs are linked, not run) and native (the
# platform-free parsers, for fast tests and fuzzing).
set -eu
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
configure i686 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
configure native

for dir in x86_64 i686 native; do
    echo "== build $dir"
    cmake --build "$build_root/$dir" -j "$jobs"
done

# The distribution: both DLLs (stripped) with their type libraries, the
# sample settings and the installation notes.
dist=$root/dist
rm -rf "$dist"
for arch in i686:win32 x86_64:win64; do
    tree=${arch%%:*}
    out=$dist/${arch##*:}
    mkdir -p "$out"
    "$tree-w64-mingw32-strip" -o "$out/Vexa3.dll" "$build_root/$tree/src/component/Vexa3.dll"
    cp "$build_root/$tree/src/component/Vexa3.tlb" "$out/Vexa3.tlb"
done
cp "$root/packaging/VexUpdate-sample.reg" "$root/packaging/INSTALL.txt" "$dist/"
echo "== distribution in $dist"
