#!/bin/bash
# Installs everything a fresh Debian 12 machine needs to build and test
# Vexa3. Run as root. Both Wine loaders: the 64-bit one for the x86_64 DLL
# and Debian's multiarch wine32 (i386) for the i686 DLL.
set -eu

# A mirror in the middle of a sync answers some index files with the wrong
# size, and apt-get update fails for that alone: a later try usually finds
# it done. Lists that stay stale are used as they are; an install that then
# finds no package says so itself.
refresh_package_lists() {
    local attempt
    for attempt in 1 2 3; do
        apt-get update && return 0
        echo "apt-get update failed (attempt $attempt of 3)" >&2
        sleep $((attempt * 15))
    done
    return 0
}

# wine32 comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    refresh_package_lists
fi

packages=(
    cmake make python3 iproute2 util-linux procps
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
    googletest g++
    wine wine64 wine32:i386
    dante-server openssh-server openssh-client
    # The filter that makes an unanswering address for the IPv6 tests.
    nftables
    vsftpd lighttpd nginx-light curl
    # HTTP proxies; tests/peers/peers.sh hashes squid's password with openssl.
    tinyproxy squid
    libwine-dev
    # libFuzzer with AddressSanitizer and UBSan for fuzz/run.sh.
    clang libclang-rt-dev
    # proftpd, run from its extracted package (below): its shared libraries,
    # and openssl for the password hash of its account file.
    libacl1 libcap2 libcrypt1 libhiredis0.14 libidn2-0 libmemcached11
    libmemcachedutil2 libncursesw6 libpam0g libpcre2-8-0 libpcre2-posix3
    libssl3 libtinfo6 zlib1g openssl
    # proftpd's mod_tls (package proftpd-mod-crypto, unpacked beside it).
    libsodium23
    # The Windows Installer packages (wixl; msiinfo, msibuild) and Authenticode signing.
    msitools wixl osslsigncode
    # Windows sign-on: the tests' Kerberos KDC (kdb5_util, kadmin.local,
    # kinit); the Kerberos libraries of both Wine loaders, through which
    # Wine's Negotiate package works; Samba's ntlm_auth, which Wine's NTLM
    # package runs; an intranet web server that wants Negotiate.
    krb5-kdc krb5-admin-server krb5-user libgssapi-krb5-2 libgssapi-krb5-2:i386 libkrb5-3:i386 winbind
    apache2 libapache2-mod-auth-gssapi
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    refresh_package_lists
    # The servers' packages start them as system services on install; the
    # tests only ever run their own instances. Where no policy forbids it
    # already, forbid those starts for the time of the install.
    policy=/usr/sbin/policy-rc.d
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod 755 "$policy"
        trap 'rm -f "$policy"' EXIT
    fi
    # Multiarch packages must have one version on both architectures. When
    # one architecture's index of the security archive could not be read,
    # apt knows newer versions for the other only and finds no solution:
    # then the packages come from the release itself, whose versions match.
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"; then
        release=$(. /etc/os-release && echo "$VERSION_CODENAME")
        echo "installing from $release alone, where versions match across architectures" >&2
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends -t "$release" "${missing[@]}"
    fi
fi

# The tests run proftpd beside vsftpd, but Debian's two packages conflict:
# proftpd's package is unpacked, not installed, and runs from there.
proftpd_dir=/opt/vexa-proftpd
if [ ! -x "$proftpd_dir/usr/sbin/proftpd" ]; then
    download=$(mktemp -d)
    # apt downloads as its unprivileged user _apt.
    chown _apt "$download"
    (cd "$download" && { apt-get download proftpd-core || { refresh_package_lists && apt-get download proftpd-core; }; })
    dpkg -x "$download"/proftpd-core_*.deb "$proftpd_dir"
    rm -rf "$download"
fi
# Its TLS module (FTPS tests), from the same version as the core.
if [ ! -f "$proftpd_dir/usr/lib/proftpd/mod_tls.so" ]; then
    download=$(mktemp -d)
    chown _apt "$download"
    version=$(zcat "$proftpd_dir/usr/share/doc/proftpd-core/changelog.Debian.gz" | sed -n '1s/.*(\(.*\)).*/\1/p')
    (cd "$download" && { apt-get download "proftpd-mod-crypto=$version" ||
        { refresh_package_lists && apt-get download "proftpd-mod-crypto=$version"; }; })
    dpkg -x "$download"/proftpd-mod-crypto_*.deb "$proftpd_dir"
    rm -rf "$download"
fi

# The system account that the test SOCKS proxy (dante) checks user name and
# password against. Throwaway: no home, no login shell.
if ! id vexproxy >/dev/null 2>&1; then
    useradd --no-create-home --shell /usr/sbin/nologin vexproxy
fi
echo 'vexproxy:vexproxy-secret' | chpasswd

# The FTP servers' login account. vsftpd wants a shell from /etc/shells and an
# account that /etc/ftpusers does not list; its files live in the build tree.
# vsftpd changes to the home directory before it changes to the test root.
mkdir -p /srv/vexa-ftp
if ! id vexftp >/dev/null 2>&1; then
    useradd --no-create-home --home-dir /srv/vexa-ftp --shell /bin/sh vexftp
fi
usermod --home /srv/vexa-ftp vexftp
echo 'vexftp:vexftp-secret' | chpasswd

# Debian starts the packaged servers as system services; the tests run their
# own instances inside a private network namespace instead. Stop any system
# instance (started by a boot or by an install before the policy above) and
# keep it from starting at boot. Without systemd, only the process in the
# service's own pid file: matched by program alone (as tinyproxy's init script
# stops), the test instances of other runs on this machine would go too.
for entry in vsftpd:/usr/sbin/vsftpd:/run/vsftpd/vsftpd.pid \
    lighttpd:/usr/sbin/lighttpd:/run/lighttpd.pid nginx:/usr/sbin/nginx:/run/nginx.pid \
    tinyproxy:/usr/bin/tinyproxy:/run/tinyproxy/tinyproxy.pid squid:/usr/sbin/squid:/run/squid.pid \
    krb5-kdc:/usr/sbin/krb5kdc:/run/krb5kdc.pid winbind:/usr/sbin/winbindd:/run/samba/winbindd.pid \
    apache2:/usr/sbin/apache2:/run/apache2/apache2.pid; do
    IFS=: read -r service program pidfile <<<"$entry"
    if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
        systemctl disable --now "$service" >/dev/null 2>&1 || true
    elif [ -x "/etc/init.d/$service" ]; then
        start-stop-daemon --stop --quiet --oknodo --retry TERM/30/KILL/5 \
            --pidfile "$pidfile" --exec "$program" || true
        update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
done
