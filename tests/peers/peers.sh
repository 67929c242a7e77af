# Starts and stops the real peers of the tests. Sourced by the namespace
# runner; everything here runs inside the private network namespace, so the
# fixed ports below are on a loopback nobody else sees.

PEER_DIR=${PEER_DIR:?}
PEERS_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

export VEXA_DANTE_PORT=1080
export VEXA_SSH_SOCKS_PORT=1081
VEXA_SSHD_PORT=2222
export VEXA_PROXY_USER=vexproxy
export VEXA_PROXY_PASSWORD=vexproxy-secret
export VEXA_LIGHTTPD_PORT=8080
export VEXA_NGINX_PORT=8081
export VEXA_REDIRECT_PORT=8082
export VEXA_FTP_PORT=2121
export VEXA_FTP_USER=vexftp
export VEXA_FTP_PASSWORD=vexftp-secret
# On ::1 only (start_ipv6_peers): nginx, nginx over TLS with a certificate
# for ::1 and with one that names no IPv6 address, vsftpd, dante.
export VEXA_V6_HTTP_PORT=8600 VEXA_V6_TLS_PORT=8601 VEXA_V6_TLS_WRONG_NAME_PORT=8602
export VEXA_V6_FTP_PORT=2128 VEXA_V6_DANTE_PORT=1082
# Names of map_test_names: one with ::1 alone, one with ::1 and 127.0.0.1
# where ::1 drops the connection attempts to nginx's port, and one with a
# unique local IPv6 address alone, which no test connects to (the namespace
# has no route there): the system's resolver answers 127.0.0.1 for an IPv4 lookup
# of a name whose only address is ::1.
export VEXA_V6_ONLY_HOST=v6only.vexa.test VEXA_EYEBALLS_HOST=eyeballs.vexa.test
export VEXA_AAAA_ONLY_HOST=aaaa-only.vexa.test
# Known only to the resolver of the SOCKS 4A peer (sshd), not to the client.
export VEXA_PROXY_ONLY_HOST=vexa-proxy-only.test

# Polls until something accepts on 127.0.0.1:port, or on the address given
# third (20 s at most).
wait_port() {
    local port=$1 name=$2 address=${3:-127.0.0.1} i
    for ((i = 0; i < 400; i++)); do
        if (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null; then
            return 0
        fi
        sleep 0.05
    done
    echo "peers: $name did not start listening on port $port" >&2
    return 1
}

# Runs a peer in its own process group, output to its log file.
spawn() {
    local name=$1
    shift
    setsid "$@" >"$PEER_DIR/$name.log" 2>&1 </dev/null &
    echo $! >"$PEER_DIR/$name.pgid"
}

start_dante() {
    sed -e "s|@PORT@|$VEXA_DANTE_PORT|" -e "s|@LOGFILE@|$PEER_DIR/dante-internal.log|" \
        "$PEERS_SRC/dante.conf.in" >"$PEER_DIR/dante.conf"
    spawn dante danted -f "$PEER_DIR/dante.conf" -p "$PEER_DIR/dante.pid"
    wait_port "$VEXA_DANTE_PORT" dante
}

start_ssh_socks() {
    local dir=$PEER_DIR/ssh
    mkdir -p "$dir" /run/sshd
    [ -f "$dir/ssh_host_ed25519_key" ] || ssh-keygen -q -t ed25519 -N '' -f "$dir/ssh_host_ed25519_key"
    [ -f "$dir/client_key" ] || ssh-keygen -q -t ed25519 -N '' -f "$dir/client_key"
    cp "$dir/client_key.pub" "$dir/authorized_keys"
    sed -e "s|@PORT@|$VEXA_SSHD_PORT|" -e "s|@DIR@|$dir|g" \
        "$PEERS_SRC/sshd_config.in" >"$dir/sshd_config"
    { cat /etc/hosts; echo "127.0.0.1 $VEXA_PROXY_ONLY_HOST"; } >"$dir/hosts"
    # sshd resolves the destinations of the forwarding; give it, and only it,
    # a hosts file that knows the proxy-only name.
    spawn sshd unshare --mount sh -c \
        "mount --bind '$dir/hosts' /etc/hosts && exec /usr/sbin/sshd -D -e -f '$dir/sshd_config'"
    wait_port "$VEXA_SSHD_PORT" sshd || return 1
    spawn ssh-socks ssh -N -D "127.0.0.1:$VEXA_SSH_SOCKS_PORT" -p "$VEXA_SSHD_PORT" \
        -i "$dir/client_key" -o BatchMode=yes -o StrictHostKeyChecking=no \
        -o UserKnownHostsFile=/dev/null -o ExitOnForwardFailure=yes root@127.0.0.1
    wait_port "$VEXA_SSH_SOCKS_PORT" ssh-socks
}

# vsftpd serves $PEER_DIR/ftproot, which the tests fill through Wine's Z:
# drive (VEXA_FTP_ROOT); the FTP account may write there too.
start_vsftpd() {
    local dir=$PEER_DIR/vsftpd
    export VEXA_FTP_ROOT=$PEER_DIR/ftproot
    # Anonymous logins see only this directory; vsftpd wants it not writable
    # by the anonymous user (the tests write as root).
    export VEXA_FTP_ANON_ROOT=$PEER_DIR/ftp-anonymous
    mkdir -p "$dir/empty" "$VEXA_FTP_ROOT" "$VEXA_FTP_ANON_ROOT"
    chmod 755 "$dir/empty" "$VEXA_FTP_ANON_ROOT"
    chmod 1777 "$VEXA_FTP_ROOT"
    printf 'Vexa3 test server\nsecond line of the greeting\nready\n' >"$dir/banner.txt"
    sed -e "s|@PORT@|$VEXA_FTP_PORT|" -e "s|@ROOT@|$VEXA_FTP_ROOT|" -e "s|@DIR@|$dir|g" \
        -e "s|@ANON_ROOT@|$VEXA_FTP_ANON_ROOT|" \
        -e "s|@PASV_MIN@|30000|" -e "s|@PASV_MAX@|30099|" \
        "$PEERS_SRC/vsftpd.conf.in" >"$dir/vsftpd.conf"
    spawn vsftpd /usr/sbin/vsftpd "$dir/vsftpd.conf"
    wait_port "$VEXA_FTP_PORT" vsftpd
}

# Both web servers serve $PEER_DIR/www (VEXA_WEB_ROOT), which the tests fill
# through Wine's Z: drive.
start_web_servers() {
    export VEXA_WEB_ROOT=$PEER_DIR/www
    mkdir -p "$VEXA_WEB_ROOT"
    chmod 1777 "$VEXA_WEB_ROOT"

    local dir=$PEER_DIR/lighttpd
    mkdir -p "$dir"
    sed -e "s|@PORT@|$VEXA_LIGHTTPD_PORT|" -e "s|@ROOT@|$VEXA_WEB_ROOT|" -e "s|@DIR@|$dir|g" \
        "$PEERS_SRC/lighttpd.conf.in" >"$dir/lighttpd.conf"
    spawn lighttpd lighttpd -D -f "$dir/lighttpd.conf"
    wait_port "$VEXA_LIGHTTPD_PORT" lighttpd || return 1

    dir=$PEER_DIR/nginx
    mkdir -p "$dir/tmp" "$dir/default-site"
    echo "default site" >"$dir/default-site/index.html"
    sed -e "s|@PORT@|$VEXA_NGINX_PORT|" -e "s|@ROOT@|$VEXA_WEB_ROOT|" -e "s|@DIR@|$dir|g" \
        -e "s|@REDIRECT_PORT@|$VEXA_REDIRECT_PORT|g" -e "s|@TLS_PORT@|${VEXA_TLS_PORT:-8443}|" \
        -e "s|@FTP_PORT@|$VEXA_FTP_PORT|" -e "s|@V6_PORT@|$VEXA_V6_HTTP_PORT|" \
        "$PEERS_SRC/nginx.conf.in" >"$dir/nginx.conf"
    spawn nginx nginx -c "$dir/nginx.conf" -g 'daemon off;'
    wait_port "$VEXA_NGINX_PORT" nginx
}

# proftpd, unpacked by scripts/setup.sh, serves $PEER_DIR/proftpd-root
# (VEXA_PROFTPD_ROOT) to the same account as vsftpd. Unlike vsftpd it never
# answers a command that ends in a bare line feed.
start_proftpd() {
    local dir=$PEER_DIR/proftpd hash
    export VEXA_PROFTPD_PORT=2122
    export VEXA_PROFTPD_ROOT=$PEER_DIR/proftpd-root
    mkdir -p "$dir" "$VEXA_PROFTPD_ROOT"
    chmod 1777 "$VEXA_PROFTPD_ROOT"
    # Its own account file: the system's password database stays out of it.
    hash=$(openssl passwd -6 "$VEXA_FTP_PASSWORD")
    printf '%s:%s:%s:%s::%s:/bin/sh\n' "$VEXA_FTP_USER" "$hash" "$(id -u "$VEXA_FTP_USER")" \
        "$(id -g "$VEXA_FTP_USER")" "$VEXA_PROFTPD_ROOT" >"$dir/passwd"
    printf '%s:x:%s:\n' "$VEXA_FTP_USER" "$(id -g "$VEXA_FTP_USER")" >"$dir/group"
    # The file holds a password hash: root only, as /etc/shadow (proftpd
    # reads it with root privileges).
    chmod 600 "$dir/passwd" "$dir/group"
    sed -e "s|@PORT@|$VEXA_PROFTPD_PORT|" -e "s|@DIR@|$dir|g" \
        -e "s|@PASV_MIN@|30100|" -e "s|@PASV_MAX@|30199|" \
        "$PEERS_SRC/proftpd.conf.in" >"$dir/proftpd.conf"
    spawn proftpd /opt/vexa-proftpd/usr/sbin/proftpd -n -c "$dir/proftpd.conf"
    wait_port "$VEXA_PROFTPD_PORT" proftpd
}

# Misbehaving peers, one port per scenario from VEXA_FAULT_PORT_BASE up (the
# order of SCENARIOS in faultpeer.py). Also the temporary directories that
# the fault tests point the control at: a full one (a tiny tmpfs) and a
# read-only one.
start_fault_peers() {
    export VEXA_FAULT_PORT_BASE=9100
    spawn faultpeer python3 "$PEERS_SRC/faultpeer.py" "$VEXA_FAULT_PORT_BASE"
    wait_port "$VEXA_FAULT_PORT_BASE" faultpeer || return 1
    # FTP servers whose data connections test where the client's go.
    export VEXA_FTP_PASV_ELSEWHERE_PORT=$((VEXA_FAULT_PORT_BASE + 11))
    export VEXA_FTP_ACTIVE_STRANGER_PORT=$((VEXA_FAULT_PORT_BASE + 12))
    export VEXA_FTP_PASV_CLOSED_PORT=$((VEXA_FAULT_PORT_BASE + 13))
    export VEXA_TEMP_FULL=$PEER_DIR/temp-full VEXA_TEMP_READONLY=$PEER_DIR/temp-readonly
    mkdir -p "$VEXA_TEMP_FULL" "$VEXA_TEMP_READONLY"
    mountpoint -q "$VEXA_TEMP_FULL" || mount -t tmpfs -o size=64k tmpfs "$VEXA_TEMP_FULL"
    mountpoint -q "$VEXA_TEMP_READONLY" || mount -t tmpfs -o size=64k,ro tmpfs "$VEXA_TEMP_READONLY"
}

# nginx over TLS (tests/peers/nginx-tls.conf.in): one port per certificate
# case, serving VEXA_WEB_ROOT like the plain web servers, with certificates
# from tests/peers/make-certs.sh. The clients trust the test root, the DER
# file VEXA_TLS_ROOT_DER (tests/support/TestTls.h, vexa_trust_root.exe).
start_tls_servers() {
    local dir=$PEER_DIR/nginx-tls certs=$PEER_DIR/tls-certs
    export VEXA_WEB_ROOT=${VEXA_WEB_ROOT:-$PEER_DIR/www}
    # Valid certificate (DNS:localhost, IP:127.0.0.1), TLS 1.2 and 1.3.
    export VEXA_TLS_PORT=8443
    # The same certificate, TLS 1.2 only; TLS 1.0 and 1.1 only.
    export VEXA_TLS12_PORT=8444 VEXA_TLS_OLD_PROTOCOL_PORT=8445
    # Expired; valid from 2090 only; DNS:other.invalid only; self-signed.
    export VEXA_TLS_EXPIRED_PORT=8446 VEXA_TLS_FUTURE_PORT=8447
    export VEXA_TLS_WRONG_NAME_PORT=8448 VEXA_TLS_SELF_SIGNED_PORT=8449
    # Extended key usage clientAuth only; listed in the intermediate's CRL;
    # DNS:*.vexa.test only.
    export VEXA_TLS_CLIENT_ONLY_PORT=8450 VEXA_TLS_REVOKED_PORT=8451 VEXA_TLS_WILDCARD_PORT=8452
    # DNS:"localhost\0.vexa.test". Revocation not to be learnt: no CRL on the
    # leaf; only an OCSP address on the leaf; none on the intermediate;
    # none on either. The valid leaf under a revoked copy of its intermediate.
    export VEXA_TLS_NUL_NAME_PORT=8453 VEXA_TLS_LEAF_NO_CRL_PORT=8454 VEXA_TLS_LEAF_OCSP_PORT=8455
    export VEXA_TLS_INTERMEDIATE_NO_CRL_PORT=8456 VEXA_TLS_NO_CRL_PORT=8457
    export VEXA_TLS_REVOKED_INTERMEDIATE_PORT=8458
    # DNS:xn--bcher-kva.vexa.test only (map_test_names resolves it).
    export VEXA_TLS_IDN_PORT=8459
    # Scripted TLS peers (tests/peers/tlspeer.py), one port per scenario.
    export VEXA_TLS_PEER_PORT_BASE=8460
    # Plain HTTP: the CRLs that the certificates name.
    export VEXA_TLS_CRL_PORT=8480
    export VEXA_TLS_ROOT_DER=$certs/root.der
    mkdir -p "$VEXA_WEB_ROOT" "$dir/tmp"
    chmod 1777 "$VEXA_WEB_ROOT"
    "$PEERS_SRC/make-certs.sh" "$certs" "http://127.0.0.1:$VEXA_TLS_CRL_PORT" || return 1
    sed -e "s|@DIR@|$dir|g" -e "s|@ROOT@|$VEXA_WEB_ROOT|g" -e "s|@CERTS@|$certs|g" \
        -e "s|@TLS_PORT@|$VEXA_TLS_PORT|" -e "s|@TLS12_PORT@|$VEXA_TLS12_PORT|" \
        -e "s|@OLD_PROTOCOL_PORT@|$VEXA_TLS_OLD_PROTOCOL_PORT|" -e "s|@EXPIRED_PORT@|$VEXA_TLS_EXPIRED_PORT|" \
        -e "s|@FUTURE_PORT@|$VEXA_TLS_FUTURE_PORT|" -e "s|@WRONG_NAME_PORT@|$VEXA_TLS_WRONG_NAME_PORT|" \
        -e "s|@SELF_SIGNED_PORT@|$VEXA_TLS_SELF_SIGNED_PORT|" -e "s|@CLIENT_ONLY_PORT@|$VEXA_TLS_CLIENT_ONLY_PORT|" \
        -e "s|@REVOKED_PORT@|$VEXA_TLS_REVOKED_PORT|" -e "s|@WILDCARD_PORT@|$VEXA_TLS_WILDCARD_PORT|" \
        -e "s|@CRL_PORT@|$VEXA_TLS_CRL_PORT|" -e "s|@HTTP_PORT@|$VEXA_LIGHTTPD_PORT|" \
        -e "s|@NUL_NAME_PORT@|$VEXA_TLS_NUL_NAME_PORT|" -e "s|@IDN_PORT@|$VEXA_TLS_IDN_PORT|" -e "s|@LEAF_NO_CRL_PORT@|$VEXA_TLS_LEAF_NO_CRL_PORT|" \
        -e "s|@LEAF_OCSP_PORT@|$VEXA_TLS_LEAF_OCSP_PORT|" \
        -e "s|@INTERMEDIATE_NO_CRL_PORT@|$VEXA_TLS_INTERMEDIATE_NO_CRL_PORT|" \
        -e "s|@NO_CRL_PORT@|$VEXA_TLS_NO_CRL_PORT|" \
        -e "s|@REVOKED_INTERMEDIATE_PORT@|$VEXA_TLS_REVOKED_INTERMEDIATE_PORT|" \
        -e "s|@V6_TLS_PORT@|$VEXA_V6_TLS_PORT|" -e "s|@V6_TLS_WRONG_NAME_PORT@|$VEXA_V6_TLS_WRONG_NAME_PORT|" \
        "$PEERS_SRC/nginx-tls.conf.in" >"$dir/nginx.conf"
    spawn nginx-tls nginx -c "$dir/nginx.conf" -g 'daemon off;'
    spawn tlspeer python3 "$PEERS_SRC/tlspeer.py" "$VEXA_TLS_PEER_PORT_BASE" "$certs" "$VEXA_TLS_PORT"
    wait_port "$VEXA_TLS_PORT" nginx-tls && wait_port "$VEXA_TLS_CRL_PORT" nginx-tls &&
        wait_port "$VEXA_TLS_PEER_PORT_BASE" tlspeer
}

# FTP over TLS, with the certificates of start_tls_servers (which runs
# first): vsftpd with explicit TLS required (FTPS_PORT), the same requiring
# session reuse (its default, FTPS_REUSE_PORT), implicit TLS (FTPS_IMPLICIT_PORT),
# explicit TLS with a certificate for another name (FTPS_WRONG_NAME_PORT),
# all serving VEXA_FTP_ROOT; proftpd with mod_tls, TLS required
# (PROFTPD_TLS_PORT), serving VEXA_PROFTPD_ROOT.
start_ftps_servers() {
    export VEXA_FTPS_PORT=2123 VEXA_FTPS_REUSE_PORT=2124 VEXA_FTPS_IMPLICIT_PORT=2125
    export VEXA_FTPS_WRONG_NAME_PORT=2126 VEXA_PROFTPD_TLS_PORT=2127
    local certs=$PEER_DIR/tls-certs entry name port reuse implicit cert pasv dir
    for entry in ftps:$VEXA_FTPS_PORT:NO:NO:valid:30200 ftps-reuse:$VEXA_FTPS_REUSE_PORT:YES:NO:valid:30300 \
        ftps-implicit:$VEXA_FTPS_IMPLICIT_PORT:NO:YES:valid:30400 \
        ftps-wrong-name:$VEXA_FTPS_WRONG_NAME_PORT:NO:NO:wrong-name:30500; do
        IFS=: read -r name port reuse implicit cert pasv <<<"$entry"
        dir=$PEER_DIR/$name
        mkdir -p "$dir/empty"
        cp "$PEER_DIR/vsftpd/banner.txt" "$dir/"
        {
            sed -e "s|@PORT@|$port|" -e "s|@ROOT@|$VEXA_FTP_ROOT|" -e "s|@DIR@|$dir|g" \
                -e "s|@ANON_ROOT@|$VEXA_FTP_ANON_ROOT|" -e "s|@PASV_MIN@|$pasv|" -e "s|@PASV_MAX@|$((pasv + 99))|" \
                "$PEERS_SRC/vsftpd.conf.in" | grep -v '^ssl_enable='
            sed -e "s|@CERTS@|$certs|" -e "s|@CERT@|$cert|" -e "s|@REUSE@|$reuse|" -e "s|@IMPLICIT@|$implicit|" \
                "$PEERS_SRC/vsftpd-tls.conf.in"
        } >"$dir/vsftpd.conf"
        spawn "$name" /usr/sbin/vsftpd "$dir/vsftpd.conf"
    done
    dir=$PEER_DIR/proftpd-tls
    mkdir -p "$dir"
    cp -p "$PEER_DIR/proftpd/passwd" "$PEER_DIR/proftpd/group" "$dir/"
    {
        sed -e "s|@PORT@|$VEXA_PROFTPD_TLS_PORT|" -e "s|@DIR@|$dir|g" \
            -e "s|@PASV_MIN@|30600|" -e "s|@PASV_MAX@|30699|" "$PEERS_SRC/proftpd.conf.in"
        sed -e "s|@DIR@|$dir|g" -e "s|@CERTS@|$certs|g" -e "s|@MODULES@|/opt/vexa-proftpd/usr/lib/proftpd|" \
            "$PEERS_SRC/proftpd-tls.conf.in"
    } >"$dir/proftpd.conf"
    spawn proftpd-tls /opt/vexa-proftpd/usr/sbin/proftpd -n -c "$dir/proftpd.conf"
    for port in $VEXA_FTPS_PORT $VEXA_FTPS_REUSE_PORT $VEXA_FTPS_IMPLICIT_PORT $VEXA_FTPS_WRONG_NAME_PORT \
        $VEXA_PROFTPD_TLS_PORT; do
        wait_port "$port" "FTPS server" || return 1
    done
}

# HTTP proxies: tinyproxy without authentication and with Basic
# authentication, squid with Basic authentication (tests/peers/*.conf.in),
# and a proxy auto-configuration script that lighttpd serves. The proxies
# resolve VEXA_PROXY_ONLY_HOST; the client cannot.
start_http_proxies() {
    local dir=$PEER_DIR/tinyproxy squid_dir=$PEER_DIR/squid name hash
    export VEXA_TINYPROXY_PORT=8888 VEXA_TINYPROXY_AUTH_PORT=8889
    export VEXA_SQUID_PORT=3128
    # squid refuses CONNECT to this port alone (403): nginx's.
    export VEXA_SQUID_REFUSED_CONNECT_PORT=$VEXA_NGINX_PORT
    # The account of the second tinyproxy and of squid.
    export VEXA_HTTP_PROXY_USER=vexhttp VEXA_HTTP_PROXY_PASSWORD=vexhttp-secret
    export VEXA_PAC_URL=http://127.0.0.1:$VEXA_LIGHTTPD_PORT/proxy.pac
    export VEXA_WEB_ROOT=${VEXA_WEB_ROOT:-$PEER_DIR/www}
    mkdir -p "$dir" "$squid_dir" "$VEXA_WEB_ROOT"

    # tinyproxy resolves through the system's resolver: like sshd, each
    # instance gets a mount namespace of its own whose /etc/hosts knows the
    # proxy-only name.
    { cat /etc/hosts; echo "127.0.0.1 $VEXA_PROXY_ONLY_HOST"; } >"$dir/hosts"
    sed -e "s|@PORT@|$VEXA_TINYPROXY_PORT|" "$PEERS_SRC/tinyproxy.conf.in" >"$dir/tinyproxy.conf"
    {
        sed -e "s|@PORT@|$VEXA_TINYPROXY_AUTH_PORT|" "$PEERS_SRC/tinyproxy.conf.in"
        echo "BasicAuth $VEXA_HTTP_PROXY_USER $VEXA_HTTP_PROXY_PASSWORD"
    } >"$dir/tinyproxy-auth.conf"
    # A password in clear: root only (tinyproxy reads it before it drops to
    # its own user).
    chmod 600 "$dir/tinyproxy-auth.conf"
    for name in tinyproxy tinyproxy-auth; do
        spawn "$name" unshare --mount sh -c \
            "mount --bind '$dir/hosts' /etc/hosts && exec tinyproxy -d -c '$dir/$name.conf'"
    done

    # squid has a resolver of its own, which reads its hosts file. It drops to
    # the user proxy, which writes its logs here and runs the password check.
    cp "$dir/hosts" "$squid_dir/hosts"
    hash=$(openssl passwd -apr1 -stdin <<<"$VEXA_HTTP_PROXY_PASSWORD")
    printf '%s:%s\n' "$VEXA_HTTP_PROXY_USER" "$hash" >"$squid_dir/passwd"
    sed -e "s|@PORT@|$VEXA_SQUID_PORT|" -e "s|@DIR@|$squid_dir|g" \
        -e "s|@REFUSED_PORT@|$VEXA_SQUID_REFUSED_CONNECT_PORT|" \
        "$PEERS_SRC/squid.conf.in" >"$squid_dir/squid.conf"
    chown -R proxy:proxy "$squid_dir"
    chmod 640 "$squid_dir/passwd"
    spawn squid squid -N -f "$squid_dir/squid.conf"

    sed -e "s|@PROXY_ONLY_HOST@|$VEXA_PROXY_ONLY_HOST|" -e "s|@PROXY@|127.0.0.1:$VEXA_TINYPROXY_PORT|" \
        "$PEERS_SRC/proxy.pac.in" >"$VEXA_WEB_ROOT/proxy.pac"

    wait_port "$VEXA_TINYPROXY_PORT" tinyproxy && wait_port "$VEXA_TINYPROXY_AUTH_PORT" tinyproxy-auth &&
        wait_port "$VEXA_SQUID_PORT" squid
}

# Windows sign-on: a Kerberos KDC for a throwaway realm (VEXA_KRB5_REALM) on
# loopback, its account signed on with kinit into the ticket cache that the
# tests' Wine processes use (KRB5CCNAME, with KRB5_CONFIG naming the realm:
# Wine's Kerberos package uses the system's Kerberos libraries), a squid
# that wants Negotiate (negotiate_kerberos_auth with the keytab of
# HTTP/localhost) and an apache2 that does (mod_auth_gssapi), both as the
# service HTTP/localhost. Runs after start_http_proxies, whose hosts file
# squid shares. NTLM is tested against scripted peers: squid's
# ntlm_fake_auth sends a challenge whose target name points outside the
# message, which Samba's ntlm_auth (Wine's NTLM package) refuses.
start_kerberos_peers() {
    local dir=$PEER_DIR/krb5 sdir=$PEER_DIR/squid-negotiate
    export VEXA_KRB5_REALM=VEXA.TEST VEXA_KDC_PORT=7088 VEXA_SQUID_NEGOTIATE_PORT=3129
    export VEXA_KRB5_USER=vexuser VEXA_KRB5_PASSWORD=vexuser-secret
    rm -rf "$dir"
    mkdir -p "$dir" "$sdir"
    export KRB5_CONFIG=$dir/krb5.conf KRB5_KDC_PROFILE=$dir/kdc.conf KRB5CCNAME=FILE:$dir/ccache
    sed -e "s|@REALM@|$VEXA_KRB5_REALM|" -e "s|@PORT@|$VEXA_KDC_PORT|" "$PEERS_SRC/krb5.conf.in" >"$KRB5_CONFIG"
    sed -e "s|@REALM@|$VEXA_KRB5_REALM|" -e "s|@PORT@|$VEXA_KDC_PORT|g" -e "s|@DIR@|$dir|g" \
        "$PEERS_SRC/kdc.conf.in" >"$KRB5_KDC_PROFILE"
    : >"$dir/kadm5.acl"
    kdb5_util create -s -r "$VEXA_KRB5_REALM" -P "vexa-master-$$" >"$PEER_DIR/kdb5_util.log" 2>&1 || return 1
    {
        kadmin.local -r "$VEXA_KRB5_REALM" -q "addprinc -pw $VEXA_KRB5_PASSWORD $VEXA_KRB5_USER" &&
            kadmin.local -r "$VEXA_KRB5_REALM" -q "addprinc -randkey HTTP/localhost" &&
            kadmin.local -r "$VEXA_KRB5_REALM" -q "ktadd -k $sdir/http.keytab HTTP/localhost"
    } >"$PEER_DIR/kadmin.log" 2>&1 || return 1
    spawn kdc krb5kdc -n -P "$dir/kdc.pid"
    wait_port "$VEXA_KDC_PORT" kdc || return 1
    kinit "$VEXA_KRB5_USER@$VEXA_KRB5_REALM" <<<"$VEXA_KRB5_PASSWORD" >"$PEER_DIR/kinit.log" 2>&1 || return 1

    # squid's resolver and its user as for the Basic squid; the keytab is
    # the proxy user's alone.
    cp "$PEER_DIR/tinyproxy/hosts" "$sdir/hosts"
    sed -e "s|@PORT@|$VEXA_SQUID_NEGOTIATE_PORT|" -e "s|@DIR@|$sdir|g" -e "s|@REALM@|$VEXA_KRB5_REALM|" \
        "$PEERS_SRC/squid-negotiate.conf.in" >"$sdir/squid.conf"
    chown -R proxy:proxy "$sdir"
    chmod 600 "$sdir/http.keytab"
    spawn squid-negotiate squid -N -n vexanegotiate -f "$sdir/squid.conf"
    wait_port "$VEXA_SQUID_NEGOTIATE_PORT" squid-negotiate || return 1

    # An intranet web server that wants Negotiate: apache2 with
    # mod_auth_gssapi and the same service key, serving VEXA_WEB_ROOT.
    local adir=$PEER_DIR/apache-negotiate
    export VEXA_APACHE_NEGOTIATE_PORT=8090
    mkdir -p "$adir"
    cp "$sdir/http.keytab" "$adir/http.keytab"
    sed -e "s|@PORT@|$VEXA_APACHE_NEGOTIATE_PORT|" -e "s|@DIR@|$adir|g" -e "s|@ROOT@|$VEXA_WEB_ROOT|g" \
        "$PEERS_SRC/apache-negotiate.conf.in" >"$adir/apache.conf"
    chown -R www-data:www-data "$adir"
    chmod 600 "$adir/http.keytab"
    spawn apache-negotiate /usr/sbin/apache2 -f "$adir/apache.conf" -DFOREGROUND
    wait_port "$VEXA_APACHE_NEGOTIATE_PORT" apache-negotiate
}

stop_peers() {
    local f
    for f in "$PEER_DIR"/*.pgid; do
        [ -f "$f" ] || continue
        kill -TERM -- "-$(cat "$f")" 2>/dev/null
        rm -f "$f"
    done
}

# Names that the tests resolve to loopback through the hosts file: an
# international name in its A-label form. The bind mount hides the machine's
# /etc/hosts, so call this only inside a mount namespace of the caller's own
# (scripts/netns-tests.sh runs in one).
map_test_names() {
    {
        cat /etc/hosts
        echo "127.0.0.1 xn--bcher-kva.vexa.test"
        echo "::1 $VEXA_V6_ONLY_HOST"
        echo "::1 $VEXA_EYEBALLS_HOST"
        echo "127.0.0.1 $VEXA_EYEBALLS_HOST"
        echo "fd00:5665:7861::1 $VEXA_AAAA_ONLY_HOST"
    } >"$PEER_DIR/hosts" && mount --bind "$PEER_DIR/hosts" /etc/hosts
}

# The IPv6 peers beside those that also listen on ::1 (nginx, nginx over
# TLS): vsftpd and dante on ::1. A filter drops the SYNs to nginx's port on
# ::1, where nothing listens: an address that never answers, as a
# firewalled one does, so the second address of VEXA_EYEBALLS_HOST must win.
start_ipv6_peers() {
    local dir=$PEER_DIR/vsftpd6
    mkdir -p "$dir/empty"
    chmod 755 "$dir/empty"
    sed -e "s|^listen=YES|listen_ipv6=YES|" -e "s|^listen_address=127.0.0.1|listen_address6=::1|" \
        -e "/^pasv_address=/d" -e "s|@PORT@|$VEXA_V6_FTP_PORT|" -e "s|@ROOT@|$VEXA_FTP_ROOT|" \
        -e "s|@DIR@|$dir|g" -e "s|@ANON_ROOT@|$VEXA_FTP_ANON_ROOT|" \
        -e "s|@PASV_MIN@|30100|" -e "s|@PASV_MAX@|30199|" \
        "$PEERS_SRC/vsftpd.conf.in" >"$dir/vsftpd.conf"
    cp "$PEER_DIR/vsftpd/banner.txt" "$dir/banner.txt"
    spawn vsftpd6 /usr/sbin/vsftpd "$dir/vsftpd.conf"
    sed -e "s|@PORT@|$VEXA_V6_DANTE_PORT|" -e "s|@LOGFILE@|$PEER_DIR/dante6-internal.log|" \
        "$PEERS_SRC/dante6.conf.in" >"$PEER_DIR/dante6.conf"
    spawn dante6 danted -f "$PEER_DIR/dante6.conf" -p "$PEER_DIR/dante6.pid"
    nft -f - <<RULES || return 1
table inet vexa_filter {
    chain input {
        type filter hook input priority 0;
        ip6 daddr ::1 tcp dport $VEXA_NGINX_PORT tcp flags & (syn | ack) == syn drop
    }
}
RULES
    wait_port "$VEXA_V6_FTP_PORT" vsftpd6 ::1 && wait_port "$VEXA_V6_DANTE_PORT" dante6 ::1 &&
        wait_port "$VEXA_V6_HTTP_PORT" nginx ::1 && wait_port "$VEXA_V6_TLS_PORT" nginx-tls ::1
}

start_peers() {
    mkdir -p "$PEER_DIR"
    start_dante && start_ssh_socks && start_vsftpd && start_web_servers && start_proftpd &&
        start_fault_peers && start_tls_servers && start_ftps_servers && start_http_proxies &&
        start_kerberos_peers && start_ipv6_peers
}
