#!/usr/bin/env python3
"""python3's http.server (an HTTP/1.0 peer) on 127.0.0.1 for the tests.

Serves --directory, takes requests in the proxy form "GET http://host/path",
prints "PORT n" first and ends by itself after --timeout seconds.
"""
import argparse
import functools
import http.server
import threading
import time
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def translate_path(self, path):
        if path.startswith("http://"):
            path = urllib.parse.urlsplit(path).path
        return super().translate_path(path)

    def log_message(self, *args):
        pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--directory", required=True)
    ap.add_argument("--timeout", type=float, default=60.0)
    args = ap.parse_args()
    handler = functools.partial(Handler, directory=args.directory)
    srv = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % srv.server_address[1], flush=True)
    threading.Timer(args.timeout, srv.shutdown).start()
    srv.serve_forever(poll_interval=0.1)


if __name__ == "__main__":
    main()
