#!/bin/bash
# The distribution's Windows Installer packages under Wine's msiexec, run by
# scripts/test.sh inside a private network namespace of their own: for each
# architecture install, fetch through the control from the loopback web
# server, repair, upgrade with connection settings, uninstall; the installed
# registration compared with what DllRegisterServer writes. When
# VEXA_SIGN_VERIFY_ROOT names a root, each package and its DLL must be signed
# under it.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build_root=${VEXA_BUILD_ROOT:-$root/build}
dist=${VEXA_DIST:-$root/dist}
settings='HKLM\SOFTWARE\Quorvel\VexUpdate'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# What DllRegisterServer writes: the ProgIDs, the class, the type library and
# the interface it describes.
keys=(
    'HKCR\Vexa3.VexCtl3.1'
    'HKCR\Vexa3.VexCtl3'
    'HKCR\CLSID\{FD49E712-C8BD-4795-9AA0-B0B311DA3415}'
    'HKCR\TypeLib\{93B87667-2088-40D9-B0D5-1A903F2BF2FD}'
    'HKCR\Interface\{9EE2E6D3-6E51-4FD3-B1F5-ECBB593F4E9D}'
)
rc_version=$(sed -n 's/^FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3/p' \
    "$root/src/component/Vexa3.rc")

check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok     $arch: $what"
    else
        echo "FAILED $arch: $what"
        failures=$((failures + 1))
    fi
}
signed() { osslsigncode verify -CAfile "$VEXA_SIGN_VERIFY_ROOT" -in "$1" >/dev/null; }
wine() { "$WINELOADER" "$@"; }
reg_query() { wine reg.exe query "$@" 2>/dev/null | tr -d '\r'; }
none_registered() {
    local key
    for key in "${keys[@]}"; do
        ! wine reg.exe query "$key" >/dev/null 2>&1 || return 1
    done
}
same() { [ -s "$1" ] && diff -u "$1" "$2"; }
products() { reg_query "$uninstall" /s | grep -c "DisplayName .*Vexa3 Internet File Fetch Control ($msi_arch)"; }
fetch() {
    wine cscript.exe //nologo "$(winpath "$root/tests/install/fetch.vbs")" \
        "http://127.0.0.1:$VEXA_LIGHTTPD_PORT/install.txt" "$(winpath "$VEXA_WEB_ROOT/install.txt")" \
        "$rc_version.0" | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

test_package() {
    arch=$1
    failures=0
    export VEXA_WINEPREFIX=$build_root/install/$arch/wineprefix
    source "$root/scripts/wine-env.sh" "$arch"
    case $arch in
    x86_64) msi_arch=x64 dll_dir=win64 ;;
    i686) msi_arch=x86 dll_dir=win32 ;;
    esac
    msi=$(ls "$dist"/Vexa3-*-"$msi_arch".msi)
    version=${msi##*/Vexa3-}
    version=${version%-"$msi_arch".msi}
    check "the package's version $version is the DLLs' VERSIONINFO $rc_version" [ "$version" = "$rc_version" ]
    if [ -n "${VEXA_SIGN_VERIFY_ROOT:-}" ]; then
        for file in "$msi" "$dist/$dll_dir/Vexa3.dll"; do
            check "${file#"$dist"/} is signed under the test root" signed "$file"
        done
    fi
    if ! vexa_loader_runs; then
        echo "== $(vexa_loader_skip_reason 'installer tests')"
        return $((failures > 0))
    fi

    # A fresh prefix: a key left by an earlier run would hide a fault.
    rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
    "$root/scripts/wine-prefix.sh"
    wineserver -p
    cd /
    install_dir="$WINEPREFIX/drive_c/Program Files/Vexa3"
    work=$build_root/install/$arch/work
    rm -rf "$work"
    mkdir -p "$work/regsvr32" "$work/msi" "$work/newer"

    # The reference: DllRegisterServer of the same DLL at the installed path.
    mkdir -p "$install_dir"
    cp "$dist/$dll_dir/Vexa3.dll" "$install_dir/"
    wine regsvr32.exe /s 'C:\Program Files\Vexa3\Vexa3.dll'
    for i in "${!keys[@]}"; do reg_query "${keys[$i]}" /s >"$work/regsvr32/$i"; done
    wine regsvr32.exe /u /s 'C:\Program Files\Vexa3\Vexa3.dll'
    rm -rf "$install_dir"
    check "regsvr32 /u leaves none of its keys" none_registered

    # The connectivity probe must find something listening: the web server.
    probe=127.0.0.1:$VEXA_LIGHTTPD_PORT
    check "msiexec /i /qn succeeds" wine msiexec.exe /i "$(winpath "$msi")" /qn PROBETARGET="$probe"
    for i in "${!keys[@]}"; do
        reg_query "${keys[$i]}" /s >"$work/msi/$i"
        check "${keys[$i]} as the package writes it is what DllRegisterServer writes" \
            same "$work/regsvr32/$i" "$work/msi/$i"
    done
    check "the settings feature writes only the value given" \
        eval '[ "$(reg_query "$settings" | sed -n "s/^    //p")" = "ProbeTarget    REG_SZ    $probe" ]'
    check "the script host creates the installed control and fetches" fetch

    # Repair in the property form that /fa stands for: Wine 8's msiexec hands
    # the package path of /fa to MsiReinstallProduct, which wants a product
    # code (exit 1605), and a product code after /f is not implemented.
    rm "$install_dir/Vexa3.dll"
    check "a repair (REINSTALL=ALL REINSTALLMODE=amus) succeeds" \
        wine msiexec.exe /i "$(winpath "$msi")" REINSTALL=ALL REINSTALLMODE=amus /qn
    check "repair restores the deleted DLL" cmp "$dist/$dll_dir/Vexa3.dll" "$install_dir/Vexa3.dll"
    check "the repaired control fetches" fetch

    # A newer package of the same UpgradeCode, with connection settings; a
    # value that looks like installer syntax must be written as given.
    newer_version=${version%.*}.$((${version##*.} + 1))
    cp -r "$dist/win32" "$dist/win64" "$work/newer/"
    "$root/scripts/build-msi.sh" "$work/newer" "$newer_version" >/dev/null
    newer=$work/newer/Vexa3-$newer_version-$msi_arch.msi
    check "msiexec /i of the newer package with settings succeeds" wine msiexec.exe /i "$(winpath "$newer")" \
        /qn PROBETARGET="$probe" HTTPPROXYUSERNAME='[INSTALLDIR]%s' USEPASV=1 SOCKSPORT=1081
    check "one product is left, the newer" \
        eval '[ "$(products)" = 1 ] && reg_query "$uninstall" /s | grep -q "DisplayVersion .*$newer_version"'
    reg_query "$settings" | sed -n 's/^    //p' | sort >"$work/settings"
    printf '%s\n' "HTTPProxyUsername    REG_SZ    [INSTALLDIR]%s" "ProbeTarget    REG_SZ    $probe" \
        "SOCKS_Port    REG_DWORD    0x439" "UsePASV    REG_DWORD    0x1" >"$work/settings-given"
    check "the settings feature writes exactly the values given" diff -u "$work/settings-given" "$work/settings"
    check "the upgraded control fetches" fetch
    check "the older package refuses to replace the newer, which stays" \
        eval '! wine msiexec.exe /i "$(winpath "$msi")" /qn && [ "$(products)" = 1 ] && [ -e "$install_dir/Vexa3.dll" ]'

    check "msiexec /x /qn succeeds" wine msiexec.exe /x "$(winpath "$newer")" /qn
    check "uninstall leaves none of the keys DllRegisterServer writes" none_registered
    check "uninstall removes the settings it wrote" eval '! wine reg.exe query "$settings" >/dev/null 2>&1'
    check "uninstall removes the installation folder" [ ! -e "$install_dir" ]
    check "no product is left" [ "$(products)" = 0 ]
    wineserver -k
    return $((failures > 0))
}

ip link set lo up
export PEER_DIR=$build_root/install/peers
source "$root/tests/peers/peers.sh"
trap stop_peers EXIT
mkdir -p "$PEER_DIR"
if ! start_web_servers; then
    tail -n 20 "$PEER_DIR"/*.log >&2
    exit 1
fi
head -c 20000 /dev/urandom | base64 >"$VEXA_WEB_ROOT/install.txt"
rc=0
for arch in ${VEXA_TEST_ARCHS:-x86_64 i686}; do
    echo "== $arch installer tests"
    (test_package "$arch") || rc=1
done
exit $rc
