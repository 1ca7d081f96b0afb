#!/usr/bin/python3
"""A company proxy for the tests: answers CONNECT with a tunnel, as proxies in company networks do.

usage: proxy.py --port-file FILE

It listens on 127.0.0.1 and writes {"port": N} to FILE once it does. Every request is logged:
a CONNECT with its target and headers, any other request with its line and headers. Tests steer
it through plain requests to the proxy itself:
  POST /_control/config   merges settings (JSON):
      "login": "ntlm"     every CONNECT is answered 407 with "Proxy-Authenticate: NTLM" and
                          "Proxy-Authenticate: Negotiate": a login that never succeeds
      "refuse": STATUS    every CONNECT is answered with this status
      "pac": TEXT         the automatic configuration script served at GET /proxy.pac
  POST /_control/log      the log so far (a JSON list)
  POST /_control/reset    settings and log back to the start
A request to any other host than the proxy's own, sent without a tunnel, is answered 502 and
logged: a client that does so would show the proxy its headers.
"""
import argparse
import json
import os
import select
import socket
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DEFAULTS = {"login": None, "refuse": None, "pac": None}


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        self.config = dict(DEFAULTS)
        self.log = []


STATE = State()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def headers_list(self):
        return [[k, v] for k, v in self.headers.items()]

    def record(self, entry):
        with STATE.lock:
            STATE.log.append(entry)

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_CONNECT(self):
        self.record({"method": "CONNECT", "target": self.path, "headers": self.headers_list()})
        with STATE.lock:
            config = dict(STATE.config)
        if config["login"]:
            self.answer(407, b"login required", [("Proxy-Authenticate", "NTLM"),
                                                 ("Proxy-Authenticate", "Negotiate")])
            return
        if config["refuse"]:
            self.answer(int(config["refuse"]), b"refused")
            self.close_connection = True
            return
        host, _, port = self.path.rpartition(":")
        try:
            upstream = socket.create_connection((host.strip("[]"), int(port)), timeout=10)
        except (OSError, ValueError):
            self.answer(502, b"no connection")
            self.close_connection = True
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        self.close_connection = True
        upstream.settimeout(None)
        ends = [self.connection, upstream]
        try:
            while True:
                ready, _, _ = select.select(ends, [], [], 120)
                if not ready:
                    break
                for end in ready:
                    data = end.recv(65536)
                    if not data:
                        return
                    (upstream if end is self.connection else self.connection).sendall(data)
        except OSError:
            pass
        finally:
            upstream.close()

    def own(self):
        body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
        path = self.path
        if path == "/proxy.pac":
            with STATE.lock:
                pac = STATE.config["pac"]
            self.record({"method": self.command, "target": path, "headers": self.headers_list()})
            if pac is None:
                return self.answer(404, b"no script")
            return self.answer(200, pac.encode(), [("Content-Type", "application/x-ns-proxy-autoconfig")])
        with STATE.lock:
            if path == "/_control/config":
                STATE.config.update(json.loads(body or b"{}"))
                reply = STATE.config
            elif path == "/_control/log":
                reply = STATE.log
            elif path == "/_control/reset":
                STATE.reset()
                reply = {"reset": True}
            else:
                reply = None
        if reply is None:
            return self.answer(404, b"unknown")
        return self.answer(200, json.dumps(reply).encode(), [("Content-Type", "application/json")])

    def other(self):
        if self.path.startswith("/"):
            return self.own()
        self.record({"method": self.command, "target": self.path, "headers": self.headers_list()})
        self.answer(502, b"only tunnels")

    do_GET = other
    do_POST = other


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    with open(args.port_file + ".tmp", "w") as f:
        json.dump({"port": server.server_address[1]}, f)
    os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
