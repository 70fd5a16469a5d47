#!/usr/bin/env python3
"""Local stand-in for the maker's web service, for the online-services tests.

Usage: service_standin.py WORKDIR

Makes a test CA (WORKDIR/ca.pem) and a server certificate for 127.0.0.1 with
the HTTP client tests' certificate code, listens with TLS on a free port of
127.0.0.1 and, for the tests that check that nothing is sent in the clear,
with plain HTTP on a second one; prints "PORT <tls> <plain>" and serves
until its standard input closes.

Requests (POST, body = base64 of a flat JSON text; replies the same way):
  /lg/lg.php    login: "ismail" "1" looks the account up by "mail", else by
                "nickname"; the right "password" gives "Status" "0" with
                "userid" and "nickname" and makes that login valid
  /lg/rg.php    register: a taken nickname gives "1"
  /lg/cg.php    change: "old" must be the password of "nickname"
  /lg/sm.php    setMail: "nickname" must exist
  /lg/sdvr.php  getCode: a fresh six-digit "code" for "mail"
  /lg/sd.php    send: "0" for a known e-mail, else "1"
  /lg/rlc.php   reLoginCheck: "0" while the login of "userid" is valid
  /ud/cv2.php   verCheck: "app_latest_version" as configured
  /ud/u.php     updater: the manifest as raw text
  /st/gi.php    getStatUrl: base64 of this service's upload address
  /st/up.php    upload: {"Status": 0}
GET:
  /ads/newversionPC.html, /en/privacypolicy.html   small pages
  /pkg/<path>   (any method) the files of the configured asset folder (the
                manifest's package address)

Control (plain JSON in and out, never base64):
  /_standin/version  {"version": "2.6"}
  /_standin/assets   {"folder": path}: the manifest now lists every file of
                     the folder (relative path, size, SHA-256) under the
                     configured version, served under /pkg/
  /_standin/force    {"path": "/st/up.php", "mode": m} with m one of "500",
                     "status1" ("Status" "1"), "status2", "emptyUserid", "noStatus",
                     "notBase64", "delay:<ms>" (then the normal reply), ""
                     (back to normal)
  /_standin/account  {"nickname", "password", "mail"}: an account whose login
                     is valid; answers {"userid": id}
  /_standin/kick     {"userid": id}: that login is no longer valid
  /_standin/stat-url {"url": address}: what getStatUrl hands out ("" for
                     this service's own upload address)
  /_standin/log      the request log: [{path, method, headers, body, text,
                     time, tls}], body decoded when it is base64 of JSON,
                     text the base64-decoded body as sent
  /_standin/log-text one line per request: path, Content-Type, "tls" or
                     "plain", the decoded text (\\, tab and newline
                     escaped), separated by tabs
  /_standin/reset-log
"""
import base64
import hashlib
import http.server
import json
import os
import random
import ssl
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "toolkit", "foundation"))
from http_standin import make_certificates  # noqa: E402

lock = threading.Lock()
state = {
    "accounts": {},      # nickname -> {"password", "mail", "userid"}
    "valid": set(),      # userids whose login is valid
    "codes": {},         # mail -> last code
    "version": "2.5",
    "assets": None,      # folder
    "force": {},         # path -> mode
    "log": [],
    "next_id": 1000,
}
ports = {}


def encode(obj):
    return base64.b64encode(json.dumps(obj, separators=(",", ":")).encode()).decode()


def decode_body(raw):
    """(the decoded JSON object or the text, the decoded text)"""
    text = raw.decode("utf-8", "replace")
    try:
        decoded = base64.b64decode(text, validate=True).decode("utf-8")
    except Exception:
        return text, text
    try:
        value = json.loads(decoded) if decoded else {}
        return (value if isinstance(value, dict) else decoded), decoded
    except ValueError:
        return decoded, decoded


def manifest():
    folder = state["assets"]
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<plist version="1.0"><dict>',
             "<key>version</key><string>%s</string>" % state["version"],
             "<key>packageUrl</key><string>https://127.0.0.1:%d/pkg</string>" % ports["tls"],
             "<key>assets</key><dict>"]
    if folder:
        for root, _, files in sorted(os.walk(folder)):
            for name in sorted(files):
                path = os.path.join(root, name)
                rel = os.path.relpath(path, folder).replace(os.sep, "/")
                with open(path, "rb") as f:
                    data = f.read()
                lines.append("<key>%s</key><dict><key>sha256</key><string>%s</string>"
                             "<key>size</key><integer>%d</integer></dict>"
                             % (rel, hashlib.sha256(data).hexdigest(), len(data)))
    lines.append("</dict></dict></plist>")
    return "\n".join(lines)


def answer(path, body):
    """The reply object (or raw text for the manifest) of one service request."""
    b = body if isinstance(body, dict) else {}
    accounts = state["accounts"]
    if path == "/lg/lg.php":
        account = None
        if b.get("ismail") == "1":
            account = next((a for a in accounts.values() if a["mail"] and a["mail"] == b.get("mail")), None)
        else:
            account = accounts.get(b.get("nickname", ""))
        if account and account["password"] == b.get("password"):
            state["valid"].add(account["userid"])
            nick = next(n for n, a in accounts.items() if a is account)
            return {"Status": "0", "userid": account["userid"], "nickname": nick}
        return {"Status": "1"}
    if path == "/lg/rg.php":
        nick = b.get("nickname", "")
        if not nick or nick in accounts:
            return {"Status": "1"}
        state["next_id"] += 1
        accounts[nick] = {"password": b.get("password", ""), "mail": b.get("mail", ""),
                          "userid": "u%d" % state["next_id"]}
        return {"Status": "0"}
    if path == "/lg/cg.php":
        account = accounts.get(b.get("nickname", ""))
        if account and account["password"] == b.get("old"):
            account["password"] = b.get("new", "")
            return {"Status": "0"}
        return {"Status": "1"}
    if path == "/lg/sm.php":
        account = accounts.get(b.get("nickname", ""))
        if account:
            account["mail"] = b.get("mail", "")
            return {"Status": "0"}
        return {"Status": "1"}
    if path == "/lg/sdvr.php":
        code = "%06d" % random.randrange(1000000)
        state["codes"][b.get("mail", "")] = code
        return {"Status": "0", "code": code}
    if path == "/lg/sd.php":
        known = any(a["mail"] and a["mail"] == b.get("mail") for a in accounts.values())
        return {"Status": "0" if known else "1"}
    if path == "/lg/rlc.php":
        return {"Status": "0" if b.get("userid") in state["valid"] else "1"}
    if path == "/ud/cv2.php":
        return {"Status": "0", "app_latest_version": state["version"]}
    if path == "/ud/u.php":
        return manifest()
    if path == "/st/gi.php":
        return state.get("stat_url") or "https://127.0.0.1:%d/st/up.php" % ports["tls"]
    if path == "/st/up.php":
        return {"Status": 0}
    return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, code, body, content_type="text/plain"):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def control(self, path, raw):
        try:
            args = json.loads(raw.decode() or "{}")
        except ValueError:
            args = {}
        with lock:
            if path == "/_standin/version":
                state["version"] = str(args.get("version", state["version"]))
            elif path == "/_standin/assets":
                state["assets"] = args.get("folder") or None
            elif path == "/_standin/force":
                if args.get("mode"):
                    state["force"][args.get("path", "")] = args["mode"]
                else:
                    state["force"].pop(args.get("path", ""), None)
            elif path == "/_standin/stat-url":
                state["stat_url"] = args.get("url", "")
            elif path == "/_standin/account":
                state["next_id"] += 1
                userid = "u%d" % state["next_id"]
                state["accounts"][args.get("nickname", "")] = {"password": args.get("password", ""),
                                                               "mail": args.get("mail", ""), "userid": userid}
                state["valid"].add(userid)
                return self.reply(200, json.dumps({"userid": userid}), "application/json")
            elif path == "/_standin/kick":
                state["valid"].discard(args.get("userid", ""))
            elif path == "/_standin/log":
                return self.reply(200, json.dumps(state["log"]), "application/json")
            elif path == "/_standin/log-text":
                lines = ["%s\t%s\t%s\t%s" % (e["path"], e["headers"].get("Content-Type", ""),
                                             "tls" if e["tls"] else "plain",
                                             e["text"].replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n"))
                         for e in state["log"]]
                return self.reply(200, "".join(l + "\n" for l in lines))
            elif path == "/_standin/reset-log":
                state["log"].clear()
            else:
                return self.reply(404, "unknown control")
        self.reply(200, "{}", "application/json")

    def handle_any(self):
        url = urllib.parse.urlsplit(self.path)
        path = url.path
        raw = self.rfile.read(int(self.headers.get("Content-Length") or 0))
        if path.startswith("/_standin/"):
            return self.control(path, raw)
        body, text = decode_body(raw)
        with lock:
            state["log"].append({"path": path, "method": self.command, "headers": dict(self.headers.items()),
                                 "body": body, "text": text, "time": time.time(),
                                 "tls": isinstance(self.connection, ssl.SSLSocket)})
            mode = state["force"].get(path, "")
        if mode.startswith("delay:"):
            time.sleep(int(mode[6:]) / 1000.0)
            mode = ""
        if mode == "500":
            return self.reply(500, "forced failure")
        if mode == "notBase64":
            return self.reply(200, "%%% not base64 %%%")
        if path.startswith("/pkg/"):
            # The asset files, whatever the method the downloader uses.
            folder = state["assets"]
            if folder:
                rel = urllib.parse.unquote(path[5:])
                full = os.path.realpath(os.path.join(folder, rel))
                if full.startswith(os.path.realpath(folder) + os.sep) and os.path.isfile(full):
                    with open(full, "rb") as f:
                        return self.reply(200, f.read(), "application/octet-stream")
            return self.reply(404, "not found")
        if self.command == "GET":
            if path in ("/ads/newversionPC.html", "/en/privacypolicy.html"):
                return self.reply(200, "<html><body>%s</body></html>" % path, "text/html")
            return self.reply(404, "not found")
        with lock:
            result = answer(path, body)
        if result is None:
            return self.reply(404, "not found")
        if isinstance(result, str):
            if path == "/st/gi.php":
                result = base64.b64encode(result.encode()).decode()
            return self.reply(200, result)
        if mode == "status1":
            result["Status"] = "1"
        elif mode == "status2":
            result["Status"] = "2"
        elif mode == "emptyUserid":
            result["userid"] = ""
        elif mode == "noStatus":
            result.pop("Status", None)
        self.reply(200, encode(result))

    do_GET = do_POST = do_PUT = do_DELETE = handle_any


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Clients that refuse the certificate or give up are part of the tests.
        pass


def main():
    workdir = sys.argv[1]
    make_certificates(workdir)
    secure = Server(("127.0.0.1", 0), Handler)
    plain = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(workdir, "server.pem"), os.path.join(workdir, "server.key"))
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    ports["tls"], ports["plain"] = secure.server_address[1], plain.server_address[1]
    for s in (secure, plain):
        threading.Thread(target=s.serve_forever, daemon=True).start()
    print("PORT %d %d" % (ports["tls"], ports["plain"]), flush=True)
    sys.stdin.read()


if __name__ == "__main__":
    main()
