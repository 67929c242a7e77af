#!/usr/bin/env python3
"""TLS peers for what no real server does on demand: one loopback port per
scenario, from BASE upwards in the order of SCENARIOS. The servers present
CERTS/valid.pem (localhost, 127.0.0.1, with its intermediate).

    tlspeer.py BASE CERTS NGINX_TLS_PORT

- a body framed by the connection's end, then a TCP close without
  close_notify (as an attacker who cuts the stream leaves it);
- the same body, then close_notify;
- a relay to nginx over TLS that hands the server's bytes on in pieces of
  a few bytes, so that a client reads its handshake in many small reads.
"""
import socket
import ssl
import sys
import threading
import time

from faultpeer import read_request

BODY = b"".join(b"line %05d of a body framed by the close\n" % i for i in range(2000))
PIECE = 16


def serve_close_framed(context, raw, close_notify):
    conn = context.wrap_socket(raw, server_side=True)
    read_request(conn)
    conn.sendall(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + BODY)
    if close_notify:
        try:
            conn.unwrap()
        except (OSError, ValueError):
            pass
    else:
        # The socket's own shutdown: the TLS layer says nothing.
        socket.socket.shutdown(conn, socket.SHUT_RDWR)
    conn.close()


def pump(source, sink, piece):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            if piece:
                for i in range(0, len(data), piece):
                    sink.sendall(data[i:i + piece])
                    time.sleep(0.001)
            else:
                sink.sendall(data)
    except OSError:
        pass
    finally:
        try:
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def relay_in_small_pieces(nginx_port, raw):
    server = socket.create_connection(("127.0.0.1", nginx_port))
    for s in (raw, server):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    upstream = threading.Thread(target=pump, args=(raw, server, 0), daemon=True)
    upstream.start()
    pump(server, raw, PIECE)
    upstream.join()
    server.close()
    raw.close()


def main():
    base, certs, nginx_port = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(certs + "/valid.pem", certs + "/valid.key")
    scenarios = [
        lambda raw: serve_close_framed(context, raw, False),
        lambda raw: serve_close_framed(context, raw, True),
        lambda raw: relay_in_small_pieces(nginx_port, raw),
    ]
    # Every port listens before the first accepts: the runner waits for BASE.
    listeners = []
    for i in range(len(scenarios)):
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", base + i))
        listener.listen(16)
        listeners.append(listener)
    for listener, scenario in zip(listeners, scenarios):
        threading.Thread(target=accept_loop, args=(listener, scenario), daemon=True).start()
    threading.Event().wait()


def accept_loop(listener, scenario):
    while True:
        raw, _ = listener.accept()
        raw.settimeout(30)
        threading.Thread(target=run, args=(scenario, raw), daemon=True).start()


def run(scenario, raw):
    try:
        scenario(raw)
    except (OSError, ssl.SSLError):
        raw.close()


if __name__ == "__main__":
    main()
