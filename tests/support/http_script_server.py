#!/usr/bin/env python3
"""Loopback HTTP servers for the tests; each prints "PORT n" first and ends by itself.

Scripted: the first path component picks the reply (see serve), the second is its argument; each
request is kept in RECORD/req-<n>.bin. With --root DIR, http://HOST/PATH is served from
DIR/HOST/PATH when DIR/HOST is a folder (a file DIR/HOST/.drop: closed unanswered; .chunked:
sent chunked).
--http10 DIR: python3's http.server (HTTP/1.0) serving DIR instead. --port N: listen on N."""
import argparse, functools, http.server, itertools, os, socket, socketserver, struct, threading
import time, urllib.parse


def body(n):  # byte i is (i * 31 + 7) mod 256, as pattern_body() in the tests
    return bytes((i * 31 + 7) & 0xFF for i in range(n))


def head(status, length=None, extra=(), reason="OK"):
    lines = ["HTTP/1.1 %d %s" % (status, reason) if reason else "HTTP/1.1 %d" % status, *extra]
    lines += ["Content-Length: %d" % length] if length is not None else []
    return ("\r\n".join(lines + ["Connection: close"]) + "\r\n\r\n").encode()


def pause(seconds):
    return lambda conn: time.sleep(max(0.0, seconds))


def drip(data):  # 7-byte pieces for the head, then 1500-byte ones, each followed by a pause
    cuts = [*range(0, 200, 7), *range(200, len(data), 1500), len(data)]
    return [step for a, b in zip(cuts, cuts[1:]) for step in (data[a:b], pause(0.002))]


def chunks(data, sizes=(1, 999, 70000, 2)):  # chunked, in pieces of these sizes by turns
    cuts, pos = [], 0
    for size in itertools.cycle(sizes):
        if pos >= len(data):
            break
        cuts.append(data[pos:pos + size])
        pos += size
    return b"".join(b"%x\r\n%s\r\n" % (len(c), c) for c in cuts) + b"0\r\n\r\n"


def split_chunks(data):  # each chunk line and line end sent a byte at a time, 3 ms apart
    steps = []
    for text in chunks(data, (10, 300)).split(b"\r\n"):
        for piece in (text if len(text) < 8 else [text]):  # the data goes whole
            steps += [bytes([piece]) if isinstance(piece, int) else piece, pause(0.003)]
        steps += [b"\r", pause(0.003), b"\n", pause(0.003)]
    return steps[:-4]  # the split left one line end too many


def serve(request):
    """The reply as steps: bytes to send, or something to do with the socket."""
    url = urllib.parse.urlsplit((request.split(b"\r\n")[0].decode("latin-1").split(" ") + ["/"])[1])
    folder = os.path.join(os.path.abspath(ARGS.root), url.hostname or "") if ARGS.root else ""
    if os.path.isdir(folder):
        path = os.path.normpath(os.path.join(folder, urllib.parse.unquote(url.path).lstrip("/")))
        if os.path.exists(os.path.join(folder, ".drop")):
            return []
        if not path.startswith(folder + os.sep) or not os.path.isfile(path):
            return [head(404, 8, reason="Not Found") + b"not here"]
        data = open(path, "rb").read()
        if os.path.exists(os.path.join(folder, ".chunked")):  # holding "cut": no last chunk
            cut = open(os.path.join(folder, ".chunked")).read().strip() == "cut"
            coded = chunks(data)[:-5] if cut else chunks(data)
            return [head(200, extra=["Transfer-Encoding: chunked"]) + coded]
        return [head(200, len(data)) + data]
    kind, arg = ([c for c in url.path.split("/") if c] + ["", ""])[:2]
    arg = urllib.parse.unquote(arg)
    n = int(arg) if arg.isdigit() else 100
    ok = lambda: head(200, n) + body(n)
    return {
        "ok": lambda: [ok()],
        "drip": lambda: drip(ok()),
        "continue": lambda: [b"HTTP/1.1 100 Continue\r\nX-Interim: 1\r\nContent-Length: 9\r\n\r\n",
                             pause(0.05), ok()],
        "noreason": lambda: [head(200, n, reason=None) + body(n)],
        "lower": lambda: [(b"http/1.1" if arg == "status" else b"HTTP/1.1") + b" 200 OK\r\n"
                          b"content-length: %d\r\nconnection: close\r\n\r\n" % n + body(n)],
        "short": lambda: [head(200, n) + body(n // 2)],
        "reset": lambda: [head(200, n) + body(n // 2), pause(0.05), lambda conn: conn.setsockopt(
            socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))],  # close with a reset
        "nolength": lambda: [head(200) + body(n)],
        "chunked": lambda: [head(200, extra=["Transfer-Encoding: chunked"]) + chunks(body(n))],
        "chunksplit": lambda: [head(200, extra=["Transfer-Encoding: chunked"]),
                               *split_chunks(body(n))],
        # the rest of the reply, with Python's escapes: "chunkraw/5\r\nhello\r\n0\r\n\r\n"
        "chunkraw": lambda: [head(200, extra=["Transfer-Encoding: chunked"]) + arg.encode(
            "latin-1").decode("unicode_escape").encode("latin-1")],
        "chunkline": lambda: [head(200, extra=["Transfer-Encoding: chunked"]) + b"5;" + b"x" * n,
                              pause(0.2)],
        "chunktrailers": lambda: [head(200, extra=["Transfer-Encoding: chunked"]) + b"0\r\n"
                                  + b"X-Filler: %s\r\n" % (b"f" * 1000) * 100 + b"\r\n"],
        # one header line per "|"-separated coding; its Content-Length is wrong
        "te": lambda: [head(200, 7, ["Transfer-Encoding: " + v for v in arg.split("|")])
                       + chunks(body(100))],
        "status": lambda: [head(n, 4, reason="Not Found" if n == 404 else "Error") + b"page"],
        "extra": lambda: [ok() + b"X" * 100, pause(0.2)],  # and no end of file to lean on
        "badlength": lambda: [b"HTTP/1.1 200 OK\r\nContent-Length: %s\r\n\r\nhello" % arg.encode()],
        "lengths": lambda: [b"HTTP/1.1 200 OK\r\n" + b"".join(
            b"Content-Length: %s\r\n" % v.encode() for v in arg.split(",")) + b"\r\n"
                            + body(max(int(v) for v in arg.split(",")))],
        "huge": lambda: [head(200, 5000000000) + body(1000)],
        "endless": lambda: [b"HTTP/1.1 200 OK\r\n"] + [b"X-Filler: %s\r\n" % (b"f" * 1000)] * 4000,
        "silent": lambda: [pause(DEADLINE - time.time())],
        "closeearly": lambda: [],
    }.get(kind, lambda: [head(400, 0, reason="Bad Request")])()


class Scripted(socketserver.BaseRequestHandler):
    def handle(self):
        with self.request as conn:
            try:
                conn.settimeout(max(0.1, DEADLINE - time.time()))
                request = b""
                while b"\r\n\r\n" not in request and (chunk := conn.recv(4096)):
                    request += chunk
                if ARGS.record:
                    with open(os.path.join(ARGS.record, "req-%d.bin" % next(SEQ)), "wb") as f:
                        f.write(request)
                for step in serve(request):
                    if callable(step):
                        step(conn)
                    else:
                        conn.sendall(step)
            except OSError:
                pass


class Http10(http.server.SimpleHTTPRequestHandler):
    def translate_path(self, path):  # takes the proxy form "GET http://host/path"
        return super().translate_path(urllib.parse.urlsplit(path).path)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    for name in ("--timeout", "--record", "--root", "--http10", "--port"):
        ap.add_argument(name, default="")
    ARGS, SEQ = ap.parse_args(), itertools.count()
    DEADLINE = time.time() + float(ARGS.timeout or 60)
    handler = functools.partial(Http10, directory=ARGS.http10) if ARGS.http10 else Scripted
    http.server.ThreadingHTTPServer.request_queue_size = 64
    srv = http.server.ThreadingHTTPServer(("127.0.0.1", int(ARGS.port or 0)), handler)
    print("PORT %d" % srv.server_address[1], flush=True)
    threading.Timer(DEADLINE - time.time(), srv.shutdown).start()
    srv.serve_forever(poll_interval=0.1)
