#!/usr/bin/env python3
"""Local stand-in HTTP service for the HTTP client tests.

Usage: http_standin.py WORKDIR

Creates a test CA and a server certificate for 127.0.0.1 in WORKDIR (with
openssl), listens on free ports of 127.0.0.1 only, one plain and one TLS,
prints "PORTS <http> <https>" on stdout and serves until stdin is closed.

Paths:
  /echo              any method: JSON with method, path, body, contentType,
                     authorization, bodyLength
  /status/<code>     that status, body "status <code>"
  /redirect          302 to /echo
  /slow/<ms>         waits, then 200 "slow"; counted
  /download/<n>      n bytes of the pattern i % 251 (any method)
  /upload            multipart form: JSON with the parts in order
  /stats             JSON with the number of /slow, /download and /loop
                     requests
  /loop/<n>          302 to /loop/<n+1>, for ever; counted
  /to-https          302 to /echo on the TLS port
  /to-http           302 to /echo on the plain port
  /unsized/<n>       n bytes of the pattern, no length: the body ends when
                     the connection closes
  /long-header       200 with one header line of 1 MiB
  /files/<path>      the file WORKDIR/files/<path> (percent-decoded), any
                     method; 404 when missing; counted
"""
import email.parser
import email.policy
import http.server
import json
import os
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

counts = {"slow": 0, "download": 0, "loop": 0, "files": 0}
workdir_path = ""
ports = {}
counts_lock = threading.Lock()


def count(name):
    with counts_lock:
        counts[name] += 1


def make_certificates(workdir):
    def run(*args):
        subprocess.run(["openssl", *args], check=True, cwd=workdir,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=Standin Test CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", *ec, "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1")
    with open(os.path.join(workdir, "server.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1\n"
                "basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, code, body, content_type="text/plain", extra=None):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        self.close_connection = True

    def read_body(self):
        n = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(n) if n > 0 else b""

    def handle_any(self):
        body = self.read_body()
        path = self.path
        if path == "/echo":
            self.reply(200, json.dumps({
                "method": self.command,
                "path": path,
                "body": body.decode("utf-8", "replace"),
                "bodyLength": str(len(body)),
                "contentType": self.headers.get("Content-Type", ""),
                "authorization": self.headers.get("Authorization", ""),
            }, ensure_ascii=False), "application/json")
        elif path.startswith("/status/"):
            code = int(path[len("/status/"):])
            self.reply(code, "" if code == 204 else "status %d" % code)
        elif path == "/redirect":
            self.reply(302, "moved", extra={"Location": "/echo"})
        elif path.startswith("/loop/"):
            count("loop")
            n = int(path[len("/loop/"):])
            self.reply(302, "moved", extra={"Location": "/loop/%d" % (n + 1)})
        elif path == "/to-https":
            self.reply(302, "moved", extra={"Location": "https://127.0.0.1:%d/echo" % ports["https"]})
        elif path == "/to-http":
            self.reply(302, "moved", extra={"Location": "http://127.0.0.1:%d/echo" % ports["http"]})
        elif path.startswith("/unsized/"):
            n = int(path[len("/unsized/"):])
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Connection", "close")
            self.end_headers()
            block = bytes(i % 251 for i in range(251 * 4096))
            sent = 0
            while sent < n:
                piece = block[:min(len(block), n - sent)]
                self.wfile.write(piece)
                sent += len(piece)
            self.close_connection = True
        elif path.startswith("/files/"):
            count("files")
            rel = urllib.parse.unquote(path[len("/files/"):])
            full = os.path.join(workdir_path, "files", rel)
            if ".." in rel.split("/") or not os.path.isfile(full):
                self.reply(404, "not found")
            else:
                with open(full, "rb") as f:
                    self.reply(200, f.read(), "application/octet-stream")
        elif path == "/long-header":
            self.reply(200, "long header", extra={"X-Long": "x" * (1 << 20)})
        elif path.startswith("/slow/"):
            count("slow")
            time.sleep(int(path[len("/slow/"):]) / 1000.0)
            self.reply(200, "slow")
        elif path.startswith("/download/"):
            count("download")
            n = int(path[len("/download/"):])
            self.reply(200, bytes(i % 251 for i in range(n)), "application/octet-stream")
        elif path == "/upload":
            message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
                b"Content-Type: " + self.headers.get("Content-Type", "").encode() + b"\r\n\r\n" + body)
            parts = []
            result = {}
            for part in message.iter_parts():
                name = part.get_param("name", header="content-disposition")
                parts.append(name)
                payload = part.get_payload(decode=True) or b""
                if part.get_filename():
                    result["fileName"] = part.get_filename()
                    result["fileType"] = part.get_content_type()
                    result["fileSize"] = str(len(payload))
                    result["fileOk"] = "1" if payload == bytes(i % 251 for i in range(len(payload))) else "0"
                else:
                    result[name] = payload.decode("utf-8", "replace")
            result["parts"] = ",".join(parts)
            result["authorization"] = self.headers.get("Authorization", "")
            result["contentType"] = self.headers.get("Content-Type", "")
            self.reply(200, json.dumps(result, ensure_ascii=False), "application/json")
        elif path == "/stats":
            with counts_lock:
                self.reply(200, json.dumps({k: str(v) for k, v in counts.items()}), "application/json")
        else:
            self.reply(404, "not found")

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = handle_any


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Clients that give up (time-outs, cancelled transfers, refused
        # certificates) are part of the tests, not errors of the service.
        pass


def main():
    global workdir_path
    workdir = sys.argv[1]
    workdir_path = workdir
    make_certificates(workdir)
    plain = Server(("127.0.0.1", 0), Handler)
    secure = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(workdir, "server.pem"), os.path.join(workdir, "server.key"))
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    ports["http"], ports["https"] = plain.server_address[1], secure.server_address[1]
    for s in (plain, secure):
        threading.Thread(target=s.serve_forever, daemon=True).start()
    print("PORTS %d %d" % (plain.server_address[1], secure.server_address[1]), flush=True)
    # Serve until the test closes our stdin (or ends).
    sys.stdin.read()


if __name__ == "__main__":
    main()
