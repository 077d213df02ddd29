#!/usr/bin/env python3
"""Real peers for the extras under Wine: a serial line (a pseudo-terminal the
test prefix maps to COM5) that answers as a modem, and a stock history server
on 127.0.0.1. Writes "<pty> <port>" to the ready file, then serves until killed.

  peers.py <ready-file> <serial-log> <request-log>

The server answers by the requested symbol: BIG sends 200 KiB, SILENT accepts
and says nothing, SLOW sends a little and then holds the line, CLOSED closes at once; any other gets
a small CSV with LF line ends and the connection closed."""
import os
import pty
import socket
import sys
import threading
import time
import tty
from urllib.parse import parse_qs, urlparse

ready_path, serial_log, request_log = sys.argv[1:4]


def serial(master):
    pending = b""
    with open(serial_log, "ab", buffering=0) as log:
        while True:
            try:
                data = os.read(master, 1024)
            except OSError:
                time.sleep(0.05)
                continue
            log.write(data)
            pending += data
            if b"\r" in pending:
                os.write(master, b"\r\nOK\r\n")
                pending = b""


def answer(conn):
    with conn:
        data = b""
        while b"\r\n" not in data:
            chunk = conn.recv(4096)
            if not chunk:
                return
            data += chunk
        line = data.split(b"\r\n", 1)[0].decode("latin-1")
        with open(request_log, "a") as log:
            log.write(line + "\n")
        path = line[4:] if line.startswith("GET ") else ""
        symbol = parse_qs(urlparse(path).query).get("s", [""])[0]
        if symbol == "CLOSED":
            return
        if symbol == "SILENT":
            while conn.recv(4096):
                pass
        elif symbol == "SLOW":
            conn.sendall(b"Date,Open\n")
            time.sleep(120)
        elif symbol == "BIG":
            row = b"2026-12-07,123.45,125.00,122.10,124.80,1000000\n"
            body = row * (200 * 1024 // len(row) + 1)
            conn.sendall(body)
        else:
            conn.sendall(("Date,Open\n%s,1\n" % symbol).encode())


def server(listener):
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=answer, args=(conn,), daemon=True).start()


master, slave = pty.openpty()
tty.setraw(slave)
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(16)
threading.Thread(target=serial, args=(master,), daemon=True).start()
threading.Thread(target=server, args=(listener,), daemon=True).start()
with open(ready_path + ".part", "w") as ready:
    ready.write("%s %d\n" % (os.ttyname(slave), listener.getsockname()[1]))
os.rename(ready_path + ".part", ready_path)
while True:
    time.sleep(3600)
