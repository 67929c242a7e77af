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
export VEXA_FTP_PORT=2121
export VEXA_FTP_USER=vexftp
export VEXA_FTP_PASSWORD=vexftp-secret
# Known only to the resolver of the SOCKS 4A peer (sshd), not to the client.
export VEXA_PROXY_ONLY_HOST=vexa-proxy-only.test

# Polls until something accepts on 127.0.0.1:port (20 s at most).
wait_port() {
    local port=$1 name=$2 i
    for ((i = 0; i < 400; i++)); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
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
    mkdir -p "$dir/empty" "$VEXA_FTP_ROOT"
    chmod 755 "$dir/empty"
    chmod 1777 "$VEXA_FTP_ROOT"
    printf 'Vexa3 test server\nsecond line of the greeting\nready\n' >"$dir/banner.txt"
    sed -e "s|@PORT@|$VEXA_FTP_PORT|" -e "s|@ROOT@|$VEXA_FTP_ROOT|" -e "s|@DIR@|$dir|g" \
        -e "s|@PASV_MIN@|30000|" -e "s|@PASV_MAX@|30099|" \
        "$PEERS_SRC/vsftpd.conf.in" >"$dir/vsftpd.conf"
    spawn vsftpd /usr/sbin/vsftpd "$dir/vsftpd.conf"
    wait_port "$VEXA_FTP_PORT" vsftpd
}

stop_peers() {
    local f
    for f in "$PEER_DIR"/*.pgid; do
        [ -f "$f" ] || continue
        kill -TERM -- "-$(cat "$f")" 2>/dev/null
        rm -f "$f"
    done
}

start_peers() {
    mkdir -p "$PEER_DIR"
    start_dante && start_ssh_socks && start_vsftpd
}
