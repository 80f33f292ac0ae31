#!/usr/bin/env python3
"""A scripted HTTP server on 127.0.0.1 for the client's bad cases.

The first path component after the host picks the reply, the second is its
argument: /ok/N, /drip/N, /continue/N, /noreason/N, /lower/N, /short/N,
/nolength/N, /chunked/N, /status/CODE, /reset/N, /silent/x, /endless/x,
/extra/N, /badlength/TEXT, /huge/x, /closeearly/x.

With --root DIR, a request for http://HOST/PATH where DIR/HOST is a folder is
served from DIR/HOST/PATH instead (404 when there is no such file); a file
DIR/HOST/.drop makes that host close every connection without a reply.

Prints "PORT n" on its first line, writes every request it reads to
RECORD/req-<n>.bin and ends by itself after --timeout seconds.
"""
import argparse
import os
import socket
import struct
import sys
import threading
import time
import urllib.parse


def body(n):
    # The same pattern as the tests compute: byte i is (i * 31 + 7) mod 256.
    return bytes((i * 31 + 7) & 0xFF for i in range(n))


def head(status, extra=(), length=None, reason="OK"):
    lines = ["HTTP/1.1 %d %s" % (status, reason) if reason is not None else "HTTP/1.1 %d" % status]
    if length is not None:
        lines.append("Content-Length: %d" % length)
    lines.extend(extra)
    lines.append("Connection: close")
    return ("\r\n".join(lines) + "\r\n\r\n").encode()


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            break
        data += chunk
    return data


def target_of(request):
    line = request.split(b"\r\n", 1)[0].decode("latin-1")
    parts = line.split(" ")
    url = parts[1] if len(parts) > 1 else "/"
    path = urllib.parse.urlsplit(url).path if url.startswith("http://") else url
    comps = [c for c in path.split("/") if c]
    kind = comps[0] if comps else ""
    arg = urllib.parse.unquote(comps[1]) if len(comps) > 1 else ""
    return kind, arg


def number(arg, default=100):
    try:
        return int(arg)
    except ValueError:
        return default


def host_tree(request, root):
    """The file a --root host serves for this request: (folder, path) or None."""
    line = request.split(b"\r\n", 1)[0].decode("latin-1")
    parts = line.split(" ")
    url = parts[1] if len(parts) > 1 else "/"
    if not url.startswith("http://"):
        return None
    split = urllib.parse.urlsplit(url)
    folder = os.path.join(root, split.hostname or "")
    if not split.hostname or not os.path.isdir(folder):
        return None
    return folder, urllib.parse.unquote(split.path).lstrip("/")


def serve_tree(conn, folder, rel):
    if os.path.exists(os.path.join(folder, ".drop")):
        return
    path = os.path.normpath(os.path.join(folder, rel))
    if not path.startswith(folder + os.sep) or not os.path.isfile(path):
        page = b"<html>not here</html>"
        conn.sendall(head(404, length=len(page), reason="Not Found") + page)
        return
    with open(path, "rb") as f:
        data = f.read()
    conn.sendall(head(200, length=len(data)) + data)


def serve(conn, seq, record, deadline, root=""):
    request = read_request(conn)
    if record:
        with open(os.path.join(record, "req-%d.bin" % seq), "wb") as f:
            f.write(request)
    tree = host_tree(request, root) if root else None
    if tree:
        serve_tree(conn, *tree)
        return
    kind, arg = target_of(request)
    n = number(arg)
    if kind == "ok":
        conn.sendall(head(200, length=n) + body(n))
    elif kind == "drip":
        data = head(200, length=n) + body(n)
        i = 0
        while i < len(data):
            step = 7 if i < 200 else 1500
            conn.sendall(data[i:i + step])
            i += step
            time.sleep(0.002)
    elif kind == "continue":
        conn.sendall(b"HTTP/1.1 100 Continue\r\nX-Interim: yes\r\nContent-Length: 999\r\n\r\n")
        time.sleep(0.05)
        conn.sendall(head(200, length=n) + body(n))
    elif kind == "noreason":
        conn.sendall(head(200, length=n, reason=None) + body(n))
    elif kind == "lower":
        conn.sendall(("http/1.1 200 OK\r\n" if arg == "status" else "HTTP/1.1 200 OK\r\n").encode()
                     + ("content-length: %d\r\nconnection: close\r\n\r\n" % n).encode() + body(n))
    elif kind == "short":
        conn.sendall(head(200, length=n) + body(n)[: n // 2])
    elif kind == "nolength":
        conn.sendall(head(200) + body(n))
    elif kind == "chunked":
        data = body(n)
        out = head(200, extra=["Transfer-Encoding: chunked"])
        for i in range(0, n, 1000):
            piece = data[i:i + 1000]
            out += b"%x\r\n" % len(piece) + piece + b"\r\n"
        conn.sendall(out + b"0\r\n\r\n")
    elif kind == "status":
        page = b"<html>error page</html>"
        conn.sendall(head(n, length=len(page), reason="Not Found" if n == 404 else "Error") + page)
    elif kind == "reset":
        conn.sendall(head(200, length=n) + body(n)[: n // 2])
        time.sleep(0.05)
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    elif kind == "silent":
        while time.time() < deadline:
            time.sleep(0.05)
    elif kind == "endless":
        conn.sendall(b"HTTP/1.1 200 OK\r\n")
        filler = b"X-Filler: " + b"f" * 100 + b"\r\n"
        sent = 0
        while sent < 4 * 1024 * 1024 and time.time() < deadline:
            conn.sendall(filler * 10)
            sent += len(filler) * 10
    elif kind == "extra":
        conn.sendall(head(200, length=n) + body(n) + b"X" * 100)
        time.sleep(0.2)
    elif kind == "badlength":
        conn.sendall(("HTTP/1.1 200 OK\r\nContent-Length: %s\r\n\r\n" % arg).encode() + b"hello")
    elif kind == "huge":
        conn.sendall(head(200, length=5000000000) + body(1000))
    elif kind == "closeearly":
        pass
    else:
        conn.sendall(head(400, length=0, reason="Bad Request"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--timeout", type=float, default=60.0)
    ap.add_argument("--record", default="")
    ap.add_argument("--root", default="")
    args = ap.parse_args()
    deadline = time.time() + args.timeout
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.bind(("127.0.0.1", 0))
    srv.listen(64)
    srv.settimeout(0.2)
    print("PORT %d" % srv.getsockname()[1], flush=True)
    seq = 0

    def run(conn, n):
        try:
            serve(conn, n, args.record, deadline, os.path.abspath(args.root) if args.root else "")
        except OSError:
            pass
        finally:
            conn.close()

    while time.time() < deadline:
        try:
            conn, _ = srv.accept()
        except socket.timeout:
            continue
        conn.settimeout(max(0.1, deadline - time.time()))
        threading.Thread(target=run, args=(conn, seq), daemon=True).start()
        seq += 1
    srv.close()
    sys.exit(0)


if __name__ == "__main__":
    main()
