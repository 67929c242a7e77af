#!/usr/bin/env python3
"""Misbehaving peers for the fault-injection tests: one loopback port per
scenario, from BASE upwards in the order of SCENARIOS. Every connection to a
port gets that scenario. Resets are real RSTs (SO_LINGER with a zero time),
which only the host's own sockets produce reliably.

    faultpeer.py BASE
"""
import select
import socket
import struct
import sys
import threading
import time

HTTP_OK = b"HTTP/1.0 200 OK\r\n"


def reset(conn):
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    conn.close()


def read_request(conn):
    """Reads an HTTP request up to its empty line."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            break
        data += chunk


def read_line(conn):
    line = b""
    while not line.endswith(b"\n"):
        chunk = conn.recv(1)
        if not chunk:
            break
        line += chunk
    return line


def drip(conn, data, pause=0.02):
    for i in range(len(data)):
        conn.sendall(data[i:i + 1])
        time.sleep(pause)


def http_reset_in_status_line(conn):
    read_request(conn)
    conn.sendall(b"HTTP/1.0 2")
    reset(conn)


def http_reset_in_headers(conn):
    read_request(conn)
    conn.sendall(HTTP_OK + b"Server: faulty\r\nContent-")
    reset(conn)


def http_reset_in_announced_body(conn):
    read_request(conn)
    conn.sendall(HTTP_OK + b"Content-Length: 100000\r\n\r\n" + b"x" * 50000)
    reset(conn)


def http_drip(conn):
    read_request(conn)
    drip(conn, HTTP_OK + b"Content-Length: 12\r\n\r\ndripped body")
    conn.close()


def http_long_header(conn):
    read_request(conn)
    conn.sendall(HTTP_OK + b"X-Long: " + b"y" * 100000 + b"\r\n\r\nbody")
    conn.close()


def http_garbage(conn):
    read_request(conn)
    conn.sendall(bytes(range(256)) * 64)
    conn.close()


def ftp_reset_in_greeting(conn):
    conn.sendall(b"220 Welc")
    reset(conn)


def ftp_long_reply(conn):
    conn.sendall(b"220-" + b"z" * 100000 + b"\r\n220 ready\r\n")
    time.sleep(0.5)
    conn.close()


def ftp_garbage(conn):
    conn.sendall(bytes(range(256)) * 64)
    conn.close()


def ftp_reset_in_data(conn):
    """Logs in, offers passive mode, and resets the data connection halfway."""
    conn.sendall(b"220 ready\r\n")
    data_listener = socket.socket()
    data_listener.bind(("127.0.0.1", 0))
    data_listener.listen(1)
    data_port = data_listener.getsockname()[1]
    while True:
        line = read_line(conn)
        if not line:
            break
        verb = line[:4].upper()
        if verb == b"USER":
            conn.sendall(b"331 password\r\n")
        elif verb == b"PASS":
            conn.sendall(b"230 in\r\n")
        elif verb == b"SIZE":
            conn.sendall(b"213 100000\r\n")
        elif verb == b"TYPE":
            conn.sendall(b"200 type\r\n")
        elif verb == b"PASV":
            conn.sendall(b"227 Entering Passive Mode (127,0,0,1,%d,%d)\r\n" % (data_port >> 8, data_port & 255))
        elif verb == b"PORT":
            conn.sendall(b"500 passive only\r\n")
        elif verb == b"RETR":
            data_listener.settimeout(10)
            data, _ = data_listener.accept()
            conn.sendall(b"150 here\r\n")
            data.sendall(b"d" * 50000)
            reset(data)
            conn.sendall(b"426 connection reset\r\n")
        elif verb == b"QUIT":
            conn.sendall(b"221 bye\r\n")
            break
        else:
            conn.sendall(b"502 no\r\n")
    data_listener.close()
    conn.close()


def socks_reset_in_handshake(conn):
    conn.recv(16)
    conn.sendall(b"\x05")
    reset(conn)


def ftp_session(conn, answers):
    """Greets, logs in, answers TYPE and QUIT; answers[verb](line) answers
    the other verbs it names, everything else is refused."""
    conn.sendall(b"220 ready\r\n")
    replies = {b"USER": b"331 password\r\n", b"PASS": b"230 in\r\n", b"TYPE": b"200 type\r\n"}
    while True:
        line = read_line(conn)
        verb = line[:4].upper()
        if not line:
            break
        if verb == b"QUIT":
            conn.sendall(b"221 bye\r\n")
            break
        if verb in answers:
            answers[verb](line)
        else:
            conn.sendall(replies.get(verb, b"502 no\r\n"))
    conn.close()


def listeners_on_one_port(addresses):
    """Listening sockets on one port that is free on each of the addresses."""
    while True:
        sockets = [socket.socket() for _ in addresses]
        try:
            sockets[0].bind((addresses[0], 0))
            for sock, address in zip(sockets[1:], addresses[1:]):
                sock.bind((address, sockets[0].getsockname()[1]))
        except OSError:
            for sock in sockets:
                sock.close()
            continue
        for sock in sockets:
            sock.listen(1)
        return sockets


def ftp_pasv_names_another_host(conn):
    """The 227 reply names 127.0.0.2; the control connection came to
    127.0.0.1. Both addresses listen on the data port, and the file sent
    names the one the client reached."""
    control_host, reply_host = listeners_on_one_port(["127.0.0.1", "127.0.0.2"])
    port = control_host.getsockname()[1]

    def pasv(line):
        conn.sendall(b"227 Entering Passive Mode (127,0,0,2,%d,%d)\r\n" % (port >> 8, port & 255))

    def retr(line):
        ready, _, _ = select.select([control_host, reply_host], [], [], 10)
        if not ready:
            conn.sendall(b"425 no data connection\r\n")
            return
        data, _ = ready[0].accept()
        conn.sendall(b"150 here\r\n")
        data.sendall(b"control host" if ready[0] is control_host else b"reply address")
        data.close()
        conn.sendall(b"226 done\r\n")

    try:
        ftp_session(conn, {b"PASV": pasv, b"RETR": retr})
    finally:
        control_host.close()
        reply_host.close()


def ftp_active_stranger_first(conn):
    """Active mode: before the server's own data connection, a stranger from
    127.0.0.2 connects to the announced port and offers a file of its own.
    The 226 reply says whether the client closed the stranger's connection."""
    announced = {}

    def port(line):
        numbers = [int(n) for n in line[5:].strip().split(b",")]
        announced["target"] = ("%d.%d.%d.%d" % tuple(numbers[:4]), numbers[4] * 256 + numbers[5])
        conn.sendall(b"200 port\r\n")

    def retr(line):
        stranger = socket.socket()
        stranger.bind(("127.0.0.2", 0))
        stranger.connect(announced["target"])
        stranger.sendall(b"from a stranger")
        server = socket.socket()
        server.bind(("127.0.0.1", 0))
        server.connect(announced["target"])
        conn.sendall(b"150 here\r\n")
        server.sendall(b"from the server")
        server.close()
        stranger.settimeout(10)
        try:
            refused = stranger.recv(1) == b""
        except ConnectionResetError:
            refused = True
        except socket.timeout:
            refused = False
        stranger.close()
        conn.sendall(b"226 done, stranger refused\r\n" if refused else b"226 done, stranger kept\r\n")

    ftp_session(conn, {b"PORT": port, b"RETR": retr})


def ftp_pasv_port_closed(conn):
    """The 227 reply names a port of the control host on which nothing
    listens any more: the data connection is refused."""
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    port = closed.getsockname()[1]
    closed.close()

    def pasv(line):
        conn.sendall(b"227 Entering Passive Mode (127,0,0,1,%d,%d)\r\n" % (port >> 8, port & 255))

    ftp_session(conn, {b"PASV": pasv, b"RETR": lambda line: None})


SCENARIOS = [
    http_reset_in_status_line,
    http_reset_in_headers,
    http_reset_in_announced_body,
    http_drip,
    http_long_header,
    http_garbage,
    ftp_reset_in_greeting,
    ftp_long_reply,
    ftp_garbage,
    ftp_reset_in_data,
    socks_reset_in_handshake,
    ftp_pasv_names_another_host,
    ftp_active_stranger_first,
    ftp_pasv_port_closed,
]


def serve(port, scenario):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=run, args=(scenario, conn), daemon=True).start()


def run(scenario, conn):
    try:
        scenario(conn)
    except OSError:
        conn.close()


def main():
    base = int(sys.argv[1])
    for i, scenario in enumerate(SCENARIOS):
        threading.Thread(target=serve, args=(base + i, scenario), daemon=True).start()
    threading.Event().wait()


if __name__ == "__main__":
    main()
