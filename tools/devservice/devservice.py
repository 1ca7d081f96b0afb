#!/usr/bin/python3
"""Development speech service for Tolvek: every endpoint the program calls, over HTTP and HTTPS.

A stand-in for the company's service in tests and the demo (standard library only). It checks
uploads the way a strict server would (multipart layout, WAV header, Ogg Opus through opusinfo
and opusdec), issues its own tokens, answers with a configured transcript, and does what the
test asks next through the control interface:

  POST /_control/config    merge settings: text, audio, latest, region, firm, facts, terms (the
                           word list each company starts from; changes are kept per company),
                           reject_opus, reject_codes, download_file, upload_dir (keep the
                           uploaded audio files there), inspect (false: take any upload
                           without decoding it, to answer at once in benchmarks)
  POST /_control/next      queue a scripted answer for the next request (optionally to "path"):
                           status, body (JSON) or raw / raw_base64, headers, delay (seconds),
                           fault: close_before | close_mid_body | close_after_body | silent |
                           reset_mid_body (a TCP reset after half the body) | trickle (an
                           answer of 1,000,000 announced bytes, one byte every 0.2 s for "delay"
                           seconds)
  GET  /_control/requests  every request so far: method, path, headers in order, body details
  POST /_control/reset     back to the defaults

Beside the service, a "stalled" port: it listens, but its queue of waiting connections is full
and nobody accepts, so a new connection attempt is never answered (the connect time-out).

usage: devservice.py --port-file FILE [--http-port N] [--https-port N --cert C --key K]
"""
import argparse
import base64
import copy
import json
import os
import re
import secrets
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CODE = re.compile(r"^ST-[A-Z0-9]{4}-[A-Z0-9]{4}$")
DEFAULTS = {
    "text": "Hallo Welt",
    "audio": "wav",
    "latest": None,
    "region": "eu",
    "firm": "Muster GmbH",
    "facts": None,
    "terms": [],
    "reject_opus": False,
    "reject_codes": [],
    "download_file": None,
    "upload_dir": None,
    "inspect": True,
}


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        with getattr(self, "lock", threading.Lock()):
            self.config = copy.deepcopy(DEFAULTS)
            self.tokens = {}
            self.terms = {}  # the company word list per company code
            self.queue = []
            self.requests = []
            # Requests that arrived before a reset (one still sleeping through a scripted
            # delay, say) are not recorded after it.
            self.generation = getattr(self, "generation", 0) + 1

    def next_script(self, path):
        with self.lock:
            for i, script in enumerate(self.queue):
                if script.get("path") in (None, path):
                    return self.queue.pop(i)
        return None


STATE = State()


def check_wav(data):
    if len(data) < 44 or data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        return {"valid": False, "error": "kein RIFF/WAVE"}
    if int.from_bytes(data[4:8], "little") != len(data) - 8:
        return {"valid": False, "error": "RIFF-Länge falsch"}
    if data[12:16] != b"fmt " or int.from_bytes(data[16:20], "little") != 16:
        return {"valid": False, "error": "fmt-Block fehlt"}
    fmt, channels = int.from_bytes(data[20:22], "little"), int.from_bytes(data[22:24], "little")
    rate, bits = int.from_bytes(data[24:28], "little"), int.from_bytes(data[34:36], "little")
    if data[36:40] != b"data" or int.from_bytes(data[40:44], "little") != len(data) - 44:
        return {"valid": False, "error": "data-Block falsch"}
    return {"valid": fmt == 1 and channels == 1 and bits == 16, "kind": "wav", "rate": rate,
            "channels": channels, "bits": bits, "samples": (len(data) - 44) // 2,
            "sha_prefix": data[44:44 + 64].hex()}


def check_opus(data):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "upload.opus")
        with open(path, "wb") as f:
            f.write(data)
        info = subprocess.run(["opusinfo", path], capture_output=True, text=True)
        if info.returncode != 0 or "WARNING" in info.stdout or "ERROR" in info.stdout:
            return {"valid": False, "kind": "opus", "error": (info.stdout + info.stderr)[-400:]}
        out = os.path.join(tmp, "decoded.raw")
        dec = subprocess.run(["opusdec", "--quiet", "--rate", "16000", path, out], capture_output=True)
        if dec.returncode != 0:
            return {"valid": False, "kind": "opus", "error": dec.stderr.decode(errors="replace")[-400:]}
        samples = os.path.getsize(out) // 2
        return {"valid": True, "kind": "opus", "samples": samples}


def parse_multipart(content_type, body):
    m = re.match(r'^multipart/form-data; boundary=(.+)$', content_type or "")
    if not m:
        return None, "Content-Type ohne boundary"
    boundary = m.group(1).encode()
    delimiter = b"--" + boundary
    if not body.startswith(delimiter + b"\r\n") or not body.endswith(delimiter + b"--\r\n"):
        return None, "Rahmen des multipart-Körpers falsch"
    # Every part ends with the CRLF in front of the next delimiter line.
    parts = body[len(delimiter) + 2:-(len(delimiter) + 4)].split(delimiter + b"\r\n")
    fields, order, upload = {}, [], None
    for part in parts:
        head, sep, content = part.partition(b"\r\n\r\n")
        if not sep:
            return None, "Teil ohne Kopf"
        if not content.endswith(b"\r\n"):
            return None, "Teil endet nicht mit CRLF"
        content = content[:-2]
        lines = head.decode("utf-8", "replace").split("\r\n")
        dm = re.match(r'^Content-Disposition: form-data; name="([^"]+)"(?:; filename="([^"]+)")?$', lines[0])
        if not dm:
            return None, "Content-Disposition falsch: " + lines[0]
        name, filename = dm.group(1), dm.group(2)
        order.append(name)
        if filename is not None:
            if len(lines) != 2 or not lines[1].startswith("Content-Type: "):
                return None, "Dateiteil ohne Content-Type"
            upload = {"filename": filename, "content_type": lines[1][14:], "data": content}
        else:
            if len(lines) != 1:
                return None, "Textfeld mit zusätzlichen Kopfzeilen"
            fields[name] = content.decode("utf-8")
    return {"fields": fields, "order": order, "upload": upload}, None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TolvekDevService/1"

    def log_message(self, fmt, *args):
        if os.environ.get("DEVSERVICE_VERBOSE"):
            sys.stderr.write("devservice: " + fmt % args + "\n")

    # -- plumbing -------------------------------------------------------------------------
    def read_body(self, limit=None):
        length = int(self.headers.get("Content-Length") or 0)
        if limit is not None:
            length = min(length, limit)
        data = b""
        while len(data) < length:
            chunk = self.rfile.read(min(65536, length - len(data)))
            if not chunk:
                break
            data += chunk
        return data

    def drop_connection(self):
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.connection.close()

    def send(self, status, body=None, raw=None, headers=None):
        data = raw if raw is not None else json.dumps(body, ensure_ascii=False).encode()
        self.send_response(status)
        if raw is None:
            self.send_header("Content-Type", "application/json; charset=utf-8")
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def error(self, status, message, extra=None):
        body = {"error": {"message": message}}
        body.update(extra or {})
        self.send(status, body)

    def bearer(self):
        auth = self.headers.get("Authorization") or ""
        if not auth.startswith("Bearer "):
            return None
        with STATE.lock:
            return STATE.tokens.get(auth[7:])

    def record(self, body, details):
        entry = {"method": self.command, "path": self.path,
                 "headers": [[k, v] for k, v in self.headers.items()],
                 "body_size": len(body), "time": time.time()}
        if len(body) <= 4096:
            try:
                entry["body"] = body.decode("utf-8")
            except UnicodeDecodeError:
                entry["body_base64"] = base64.b64encode(body).decode()
        entry.update(details)
        with STATE.lock:
            if getattr(self, "generation", STATE.generation) == STATE.generation:
                STATE.requests.append(entry)

    # -- dispatch -------------------------------------------------------------------------
    def do_GET(self):
        self.handle_request()

    def do_POST(self):
        self.handle_request()

    def handle_request(self):
        self.generation = STATE.generation
        path = self.path.split("?", 1)[0]
        if path.startswith("/_control/"):
            return self.control(path)
        script = STATE.next_script(path)
        fault = script.get("fault") if script else None
        if fault == "close_before":
            self.record(b"", {"fault": fault})
            return self.drop_connection()
        if fault == "reset_mid_body":
            body = self.read_body(limit=max(1, int(self.headers.get("Content-Length") or 0) // 2))
            self.record(body, {"fault": fault})
            self.close_connection = True
            # Linger 0: the close sends a reset instead of an orderly end.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
            return None
        if fault == "close_mid_body":
            body = self.read_body(limit=max(1, int(self.headers.get("Content-Length") or 0) // 2))
            self.record(body, {"fault": fault})
            return self.drop_connection()
        body = self.read_body()
        if fault == "close_after_body":
            self.record(body, {"fault": fault})
            return self.drop_connection()
        if fault == "trickle":
            self.record(body, {"fault": fault})
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", "1000000")
            self.end_headers()
            until = time.monotonic() + float(script.get("delay", 60))
            try:
                while time.monotonic() < until:
                    self.wfile.write(b" ")
                    self.wfile.flush()
                    time.sleep(0.2)
            except OSError:
                pass
            return self.drop_connection()
        if fault == "silent":
            self.record(body, {"fault": fault})
            time.sleep(float(script.get("delay", 60)))
            return self.drop_connection()
        if script and script.get("delay"):
            time.sleep(float(script["delay"]))
        details = {}
        if path == "/v1/audio/transcriptions" and self.command == "POST":
            details = self.inspect_upload(body)
        if script and "status" in script:
            self.record(body, details)
            raw = script.get("raw")
            if "raw_base64" in script:
                raw = base64.b64decode(script["raw_base64"])
            elif raw is not None:
                raw = raw.encode()
            return self.send(script["status"], script.get("body"), raw, script.get("headers"))
        self.record(body, details)
        self.endpoint(path, body, details)

    def inspect_upload(self, body):
        parsed, problem = parse_multipart(self.headers.get("Content-Type"), body)
        if problem:
            return {"upload": {"valid": False, "error": problem}}
        upload = parsed["upload"]
        info = {"fields": parsed["fields"], "order": parsed["order"]}
        if upload is None:
            info["upload"] = {"valid": False, "error": "kein Dateiteil"}
        elif upload["filename"] == "diktat.opus" and upload["content_type"] == "audio/ogg":
            info["upload"] = check_opus(upload["data"]) if STATE.config["inspect"] else {"valid": True, "kind": "opus"}
        elif upload["filename"] == "audio.wav" and upload["content_type"] == "audio/wav":
            info["upload"] = check_wav(upload["data"]) if STATE.config["inspect"] else {"valid": True, "kind": "wav"}
        else:
            info["upload"] = {"valid": False, "error": "Dateiname/Typ unbekannt"}
        if upload is not None:
            info["upload"]["bytes"] = len(upload["data"])
            info["upload"]["filename"] = upload["filename"]
            folder = STATE.config.get("upload_dir")
            if folder:
                with STATE.lock:
                    number = len(STATE.requests) + 1
                path = os.path.join(folder, "upload-%d-%s" % (number, upload["filename"]))
                with open(path, "wb") as f:
                    f.write(upload["data"])
                info["upload"]["saved"] = path
        return info

    def endpoint(self, path, body, details):
        cfg = STATE.config
        if path == "/v1/app/enroll" and self.command == "POST":
            try:
                request = json.loads(body)
            except ValueError:
                return self.error(400, "Anfrage ist kein JSON")
            code = request.get("code") if isinstance(request, dict) else None
            if not isinstance(code, str) or not CODE.match(code) or code in cfg["reject_codes"]:
                return self.error(403, "Firmen-Code nicht bekannt")
            token = "tok-" + secrets.token_hex(8)
            with STATE.lock:
                STATE.tokens[token] = code
            answer = {"token": token, "firm": cfg["firm"], "audio": cfg["audio"]}
            if cfg["latest"]:
                answer["latest"] = cfg["latest"]
            return self.send(200, answer)
        if path == "/v1/app/hello" and self.command == "POST":
            if self.bearer() is None:
                return self.error(401, "Anmeldung abgelaufen")
            answer = {"region": cfg["region"], "firm": cfg["firm"], "audio": cfg["audio"]}
            if cfg["latest"]:
                answer["latest"] = cfg["latest"]
            return self.send(200, answer)
        if path == "/v1/app/dictionary":
            code = self.bearer()
            if code is None:
                return self.error(401, "Anmeldung abgelaufen")
            change = json.loads(body) if self.command == "POST" else None
            with STATE.lock:
                # Each company starts from the configured "terms" and keeps its own changes.
                terms = STATE.terms.setdefault(code, list(cfg["terms"]))
                if change is not None:
                    kept = [t for t in terms if t not in change.get("remove", [])]
                    kept += [t for t in change.get("add", []) if t not in kept]
                    terms[:] = kept
                listed = list(terms)
            return self.send(200, {"terms": listed} if change is None else {"ok": True})
        if path == "/v1/audio/transcriptions" and self.command == "POST":
            if self.bearer() is None:
                return self.error(401, "Anmeldung abgelaufen")
            upload = details.get("upload", {})
            if cfg["reject_opus"] and upload.get("kind") == "opus":
                return self.error(422, "Opus wird nicht unterstützt", {"code": "opus_error"})
            if not upload.get("valid"):
                return self.error(400, "Ungültige Aufnahme: " + upload.get("error", "?"))
            answer = {"text": cfg["text"]}
            if cfg["facts"] is not None:
                answer["tolvek"] = cfg["facts"]
            return self.send(200, answer)
        if path.startswith("/dl/") and self.command == "GET":
            if not cfg["download_file"]:
                return self.error(404, "Keine Version verfügbar")
            with open(cfg["download_file"], "rb") as f:
                data = f.read()
            return self.send(200, raw=data, headers={"Content-Type": "application/octet-stream"})
        return self.error(404, "Unbekannter Pfad")

    def control(self, path):
        body = self.read_body()
        if path == "/_control/config":
            with STATE.lock:
                STATE.config.update(json.loads(body or b"{}"))
            return self.send(200, STATE.config)
        if path == "/_control/next":
            with STATE.lock:
                STATE.queue.append(json.loads(body))
            return self.send(200, {"queued": len(STATE.queue)})
        if path == "/_control/queued":
            with STATE.lock:
                return self.send(200, {"queued": len(STATE.queue)})
        if path == "/_control/requests":
            with STATE.lock:
                return self.send(200, STATE.requests)
        if path == "/_control/reset":
            STATE.reset()
            return self.send(200, {"reset": True})
        return self.error(404, "Unbekannte Steuerung")


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def stalled_listener():
    """A listening socket whose accept queue is full: the system drops every further SYN."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    fillers = []
    for _ in range(2):
        filler = socket.socket()
        filler.setblocking(False)
        try:
            filler.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        fillers.append(filler)
    return listener, fillers


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--http-port", type=int, default=0)
    parser.add_argument("--https-port", type=int)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()

    servers = {"http": Server(("127.0.0.1", args.http_port), Handler)}
    if args.https_port is not None:
        tls = Server(("127.0.0.1", args.https_port), Handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.minimum_version = ssl.TLSVersion.TLSv1_2
        context.load_cert_chain(args.cert, args.key)
        tls.socket = context.wrap_socket(tls.socket, server_side=True)
        servers["https"] = tls
    for server in servers.values():
        threading.Thread(target=server.serve_forever, daemon=True).start()
    ports = {name: s.server_address[1] for name, s in servers.items()}
    stalled = stalled_listener()
    ports["stalled"] = stalled[0].getsockname()[1]
    with open(args.port_file + ".tmp", "w") as f:
        json.dump(ports, f)
    os.replace(args.port_file + ".tmp", args.port_file)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
