#!/usr/bin/env python3
"""Loopback HTTP servers for the client tests; each prints "PORT n" first and
ends by itself after --timeout seconds.

Scripted: the first path component picks the reply (see serve), the second is
its argument. Every request read is kept in RECORD/req-<n>.bin. With --root
DIR, a request for http://HOST/PATH where DIR/HOST is a folder is served from
that folder (404 when missing); a file DIR/HOST/.drop makes the host close
every connection unanswered.
--http10 DIR: python3's http.server (HTTP/1.0) serving DIR instead.
"""
import argparse, functools, http.server, os, socket, struct, threading, time, urllib.parse


def body(n):  # byte i is (i * 31 + 7) mod 256, as pattern_body() in the tests
    return bytes((i * 31 + 7) & 0xFF for i in range(n))


def head(status, length=None, extra=(), reason="OK"):
    lines = ["HTTP/1.1 %d %s" % (status, reason) if reason else "HTTP/1.1 %d" % status]
    lines += ["Content-Length: %d" % length] if length is not None else []
    return ("\r\n".join(lines + list(extra) + ["Connection: close"]) + "\r\n\r\n").encode()


def chunked(data):
    return [data[i:i + 1000] for i in range(0, len(data), 1000)]


def serve_tree(conn, folder, rel):
    if os.path.exists(os.path.join(folder, ".drop")):
        return
    path = os.path.normpath(os.path.join(folder, rel))
    if not path.startswith(folder + os.sep) or not os.path.isfile(path):
        return conn.sendall(head(404, 21, reason="Not Found") + b"<html>not here</html>")
    with open(path, "rb") as f:
        data = f.read()
    conn.sendall(head(200, len(data)) + data)


def serve(conn, request, root, deadline):
    url = (request.split(b"\r\n", 1)[0].decode("latin-1").split(" ") + ["/", ""])[1]
    split = urllib.parse.urlsplit(url)
    folder = os.path.join(root, split.hostname) if root and split.hostname else ""
    if folder and os.path.isdir(folder):
        return serve_tree(conn, folder, urllib.parse.unquote(split.path).lstrip("/"))
    kind, arg = ([c for c in split.path.split("/") if c] + ["", ""])[:2]
    arg = urllib.parse.unquote(arg)
    n = int(arg) if arg.isdigit() else 100
    replies = {
        "ok": lambda: head(200, n) + body(n),
        "continue": lambda: b"HTTP/1.1 100 Continue\r\nX-Interim: yes\r\nContent-Length: 999\r\n\r\n",
        "noreason": lambda: head(200, n, reason=None) + body(n),
        "lower": lambda: (b"http/1.1" if arg == "status" else b"HTTP/1.1") +
        b" 200 OK\r\ncontent-length: %d\r\nconnection: close\r\n\r\n" % n + body(n),
        "short": lambda: head(200, n) + body(n // 2),
        "reset": lambda: head(200, n) + body(n // 2),
        "nolength": lambda: head(200) + body(n),
        "chunked": lambda: head(200, extra=["Transfer-Encoding: chunked"]) +
        b"".join(b"%x\r\n%s\r\n" % (len(c), c) for c in chunked(body(n))) + b"0\r\n\r\n",
        "status": lambda: head(n, 23, reason="Not Found" if n == 404 else "Error") +
        b"<html>error page</html>",
        "extra": lambda: head(200, n) + body(n) + b"X" * 100,
        "badlength": lambda: b"HTTP/1.1 200 OK\r\nContent-Length: %s\r\n\r\nhello" % arg.encode(),
        "huge": lambda: head(200, 5000000000) + body(1000),
        "endless": lambda: b"HTTP/1.1 200 OK\r\n",
        "silent": lambda: b"",
        "closeearly": lambda: b"",
    }
    data = replies.get(kind, lambda: head(400, 0, reason="Bad Request"))()
    if kind == "drip":  # the head in 7-byte pieces, then 1500-byte ones
        data = head(200, n) + body(n)
        cuts = list(range(0, 200, 7)) + list(range(200, len(data), 1500)) + [len(data)]
        for a, b in zip(cuts, cuts[1:]):
            conn.sendall(data[a:b])
            time.sleep(0.002)
        return
    conn.sendall(data)
    if kind == "continue":
        time.sleep(0.05)
        conn.sendall(replies["ok"]())
    elif kind == "reset":
        time.sleep(0.05)
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    elif kind == "extra":
        time.sleep(0.2)  # no end of file to lean on
    for _ in range(4000 if kind == "endless" else 0):
        conn.sendall((b"X-Filler: " + b"f" * 100 + b"\r\n") * 10)
    while kind == "silent" and time.time() < deadline:
        time.sleep(0.05)


def run(conn, seq, args, deadline):
    with conn:
        try:
            request = b""
            while b"\r\n\r\n" not in request and (chunk := conn.recv(4096)):
                request += chunk
            if args.record:
                with open(os.path.join(args.record, "req-%d.bin" % seq), "wb") as f:
                    f.write(request)
            serve(conn, request, os.path.abspath(args.root) if args.root else "", deadline)
        except OSError:
            pass


class Http10(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def translate_path(self, path):  # takes the proxy form "GET http://host/path"
        return super().translate_path(urllib.parse.urlsplit(path).path)

    def log_message(self, *args):
        pass


def main():
    ap = argparse.ArgumentParser()
    for name in ("--timeout", "--record", "--root", "--http10"):
        ap.add_argument(name, default="")
    args = ap.parse_args()
    deadline = time.time() + float(args.timeout or 60)
    if args.http10:
        handler = functools.partial(Http10, directory=args.http10)
        srv = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        print("PORT %d" % srv.server_address[1], flush=True)
        threading.Timer(deadline - time.time(), srv.shutdown).start()
        return srv.serve_forever(poll_interval=0.1)
    srv = socket.create_server(("127.0.0.1", 0), backlog=64)
    srv.settimeout(0.2)
    print("PORT %d" % srv.getsockname()[1], flush=True)
    seq = 0
    while time.time() < deadline:
        try:
            conn, _ = srv.accept()
        except socket.timeout:
            continue
        conn.settimeout(max(0.1, deadline - time.time()))
        threading.Thread(target=run, args=(conn, seq, args, deadline), daemon=True).start()
        seq += 1


if __name__ == "__main__":
    main()
