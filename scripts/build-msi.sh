#!/bin/bash
# Builds the two Windows Installer packages from the distribution's DLLs with
# wixl (msitools), one per architecture:
#
#   scripts/build-msi.sh [dist-dir [version]]
#
# dist-dir (default dist/) holds win32/ and win64/ and receives
# Vexa3-<version>-x86.msi and Vexa3-<version>-x64.msi. The version defaults
# to the DLLs' VERSIONINFO in src/component/Vexa3.rc; another one builds a
# package that upgrades (or is upgraded by) the usual one.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(cd "${1:-$root/dist}" && pwd)
# FILEVERSION a, b, c, d: the package carries a.b.c (Windows Installer
# compares three fields), the DLL's File row all four.
rc_version=$(sed -n 's/^FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' \
    "$root/src/component/Vexa3.rc")
version=${2:-${rc_version%.*}}

for pair in win32:x86 win64:x64; do
    dir=$dist/${pair%%:*}
    arch=${pair##*:}
    msi=$dist/Vexa3-$version-$arch.msi
    # wixl finds File sources relative to the working directory. It reports a
    # CRITICAL assertion for each value-less registry row (Name "*": create
    # the key, remove it with its contents at uninstall); the rows are right.
    (cd "$dir" && wixl -D Version="$version" -D Platform="$arch" -a "$arch" -o "$msi" \
        "$root/packaging/msi/Vexa3.wxs" 2> >(grep -v "string_get: assertion 'self != NULL'" | grep -v '^$' >&2))
    # What WiX writes from attributes wixl ignores: the settings components'
    # conditions and the DLL's file version, which repair and upgrade compare.
    # A settings component is installed only when its property is set. Wine's
    # msiexec evaluates the condition at uninstall too, and keeps a component
    # whose condition is false: removal makes it true.
    settings=$(msiinfo export "$msi" Component | awk -F'\t' '$1 ~ /^Setting_/ {print $1}')
    for component in $settings; do
        msibuild "$msi" -q "UPDATE \`Component\` SET \`Condition\` = '${component#Setting_} OR REMOVE~=\"ALL\"' WHERE \`Component\` = '$component'"
    done
    msibuild "$msi" -q "UPDATE \`File\` SET \`Version\` = '$rc_version', \`Language\` = '1033' WHERE \`File\` = 'Vexa3.dll'"
    echo "== $msi"
done
