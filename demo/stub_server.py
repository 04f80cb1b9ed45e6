#!/usr/bin/python3
"""A local HTTP(S) stand-in for the list server and the analytics host.

Listens on 127.0.0.1 only. Routes come from a JSON file that is read again for every
request, so a test can change them while the server runs:

  {"/path": {"status": 200, "body": "text", "chunks": ["a", "b"], "chunk_delay": 0.1,
             "repeat": 3, "stall_after": 10, "close_after": 10,
             "hold": "/some/file", "headers": {"X": "y"}}}

"chunks" sends the body with chunked transfer coding, one chunk each, and so without a
length; "repeat" sends the body, or the chunks, that many times over; "stall_after" sends
that many body bytes and then stops sending (the connection stays open); "close_after"
sends that many bytes of a longer announced body and closes; "hold" answers only once that
file exists, so that a test decides when a reply comes. A path without a route gets
404. Every request is appended as one JSON line (method, path, query, headers) to the log.
"""
import argparse
import json
import os
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ARGS = None
LOG_LOCK = threading.Lock()
STOP = threading.Event()


def load_routes():
    try:
        with open(ARGS.routes, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def record(self, parsed):
        entry = {"method": self.command, "path": parsed.path, "query": parsed.query,
                 "headers": {k: v for k, v in self.headers.items()}}
        with LOG_LOCK, open(ARGS.log, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    def do_GET(self):
        parsed = urllib.parse.urlsplit(self.path)
        self.record(parsed)
        route = load_routes().get(parsed.path)
        if route is None:
            route = {"status": 404, "body": "not found"}
        while route.get("hold") and not os.path.exists(route["hold"]) and not STOP.wait(0.02):
            pass
        repeat = route.get("repeat", 1)
        body = route.get("body", "").encode("utf-8") * repeat
        status = route.get("status", 200)
        self.send_response(status)
        for key, value in route.get("headers", {}).items():
            self.send_header(key, value)
        try:
            if "chunks" in route:
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                for chunk in route["chunks"] * repeat:
                    data = chunk.encode("utf-8")
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))
                    self.wfile.flush()
                    time.sleep(route.get("chunk_delay", 0.05))
                self.wfile.write(b"0\r\n\r\n")
                return
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if "stall_after" in route:
                self.wfile.write(body[:route["stall_after"]])
                self.wfile.flush()
                STOP.wait(route.get("stall_seconds", 3600))
                self.close_connection = True
                return
            if "close_after" in route:
                self.wfile.write(body[:route["close_after"]])
                self.wfile.flush()
                self.close_connection = True
                return
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--routes", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--port", type=int, default=0)
    ARGS = parser.parse_args()

    server = ThreadingHTTPServer(("127.0.0.1", ARGS.port), Handler)
    server.daemon_threads = True
    if ARGS.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(ARGS.cert, ARGS.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    temp = ARGS.port_file + ".tmp"
    with open(temp, "w", encoding="utf-8") as f:
        f.write(str(server.server_address[1]))
    os.rename(temp, ARGS.port_file)
    try:
        server.serve_forever(poll_interval=0.1)
    finally:
        STOP.set()


if __name__ == "__main__":
    sys.exit(main())
