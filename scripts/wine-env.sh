# Sourced: selects the Wine loader and prefix of one architecture.
#
#   source scripts/wine-env.sh x86_64|i686
#
# Once wine32 is installed, Debian's `wine` wrapper (and wineboot, winepath,
# which go through it) starts the 32-bit loader, and in a 64-bit prefix the
# 32-bit loader runs builtin programs such as cscript, regsvr32 and reg as
# 32-bit programs that cannot see a 64-bit registration. So every script
# names its loader explicitly: the 64-bit one with the 64-bit prefix, the
# 32-bit one with a 32-bit prefix of its own.
vexa_arch=${1:?x86_64 or i686}
vexa_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
vexa_build_root=${VEXA_BUILD_ROOT:-$vexa_root/build}
case $vexa_arch in
x86_64)
    export WINELOADER=/usr/lib/wine/wine64 WINEARCH=win64
    ;;
i686)
    export WINELOADER=/usr/lib/wine/wine WINEARCH=win32
    ;;
*)
    echo "wine-env.sh: unknown architecture $vexa_arch" >&2
    return 1
    ;;
esac
export VEXA_ARCH=$vexa_arch
export WINEPREFIX=${VEXA_WINEPREFIX:-$vexa_build_root/$vexa_arch/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# The Windows spelling of a Unix path, for programs that take Z:\ paths.
winpath() { echo "Z:${1//\//\\}"; }

# Whether this machine can start the selected loader. Some kernels have their
# 32-bit emulation switched off (execve of an i386 program then fails with
# "Exec format error"); the i686 programs cannot run there at all.
vexa_loader_runs() {
    "$WINELOADER" --version >/dev/null 2>&1
}
# The line that says so; $1 names what is skipped (default: the tests).
vexa_loader_skip_reason() {
    echo "$VEXA_ARCH ${1:-tests} skipped: this machine cannot start $WINELOADER" \
        "($("$WINELOADER" --version 2>&1 | tail -n 1)); its kernel runs no 32-bit programs"
}
