#!/usr/bin/env python3
"""Recording HTTP server for the report tests, on 127.0.0.1 only.

    http_recorder.py start DIR   start in the background; DIR/port names its port
    http_recorder.py stop DIR    stop it

Every request (head and body, bytes as received) is written to
DIR/requests/NNNN.req before the answer goes out, so a test that got its
answer finds the record. It also serves as an HTTP proxy: a request line with
an absolute address is recorded and answered the same way.

The answer follows the request target: ".../respond/STATUS/KIND" answers
STATUS with KIND "body" (Content-Length), "nobody" (Content-Length: 0),
"chunked", "close" (no length, body up to the end of the connection) or
"large" (256 KiB); anything else answers 200 with a short body.

Where the process may bind them, 127.0.0.1:80 is served the same way and
127.0.0.1:443 records the first bytes of each connection (DIR/tls/NNNN.bin)
and closes it; DIR/ports-80-443 says so. The server stops by itself after
an hour at the latest.
"""

import os
import re
import shutil
import signal
import socket
import socketserver
import sys
import threading
import time

LIFETIME_SECONDS = 3600
lock = threading.Lock()
counters = {"req": 0, "bin": 0}


def record(folder, kind, data):
    with lock:
        counters[kind] += 1
        number = counters[kind]
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "%04d.%s" % (number, kind))
    with open(path + ".tmp", "wb") as out:
        out.write(data)
    os.replace(path + ".tmp", path)


def read_request(stream):
    """One request as raw bytes, or None at the end of the connection."""
    head = b""
    while b"\r\n\r\n" not in head:
        line = stream.readline(65537)
        if not line:
            return None
        head += line
    length = re.search(rb"(?im)^content-length:\s*(\d+)\s*$", head)
    body = b""
    if length:
        body = stream.read(int(length.group(1)))
    elif re.search(rb"(?im)^transfer-encoding:\s*chunked\s*$", head):
        while True:
            size_line = stream.readline()
            body += size_line
            size = int(size_line.split(b";")[0].strip() or b"0", 16)
            chunk = stream.read(size + 2)
            body += chunk
            if size == 0:
                break
    return head + body


def answer(target):
    match = re.search(r"/respond/(\d{3})/(\w+)", target)
    status, kind = (int(match.group(1)), match.group(2)) if match else (200, "body")
    reason = {200: "OK", 404: "Not Found", 500: "Internal Server Error"}.get(status, "Status")
    text = ("status %d, %s\n" % (status, kind)).encode()
    head = "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\n" % (status, reason)
    if kind == "nobody":
        return (head + "Content-Length: 0\r\n\r\n").encode(), False
    if kind == "chunked":
        body = b"".join(b"%x\r\n%s\r\n" % (len(part), part) for part in (text, text, text)) + b"0\r\n\r\n"
        return (head + "Transfer-Encoding: chunked\r\n\r\n").encode() + body, False
    if kind == "close":
        return (head + "Connection: close\r\n\r\n").encode() + text, True
    if kind == "large":
        text = b"x" * (256 * 1024)
    return (head + "Content-Length: %d\r\n\r\n" % len(text)).encode() + text, False


class HttpHandler(socketserver.StreamRequestHandler):
    def handle(self):
        self.connection.settimeout(30)
        try:
            while True:
                raw = read_request(self.rfile)
                if raw is None:
                    return
                record(os.path.join(self.server.folder, "requests"), "req", raw)
                target = raw.split(b"\r\n", 1)[0].decode("latin-1").split(" ")
                response, close = answer(target[1] if len(target) > 1 else "")
                self.wfile.write(response)
                self.wfile.flush()
                if close:
                    return
        except (OSError, ValueError):
            return


class TlsHandler(socketserver.BaseRequestHandler):
    def handle(self):
        self.request.settimeout(5)
        data = b""
        try:
            while len(data) < 5 or len(data) < 5 + int.from_bytes(data[3:5], "big"):
                chunk = self.request.recv(4096)
                if not chunk:
                    break
                data += chunk
        except OSError:
            pass
        record(os.path.join(self.server.folder, "tls"), "bin", data)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, folder, port, handler):
        self.folder = folder
        super().__init__(("127.0.0.1", port), handler)


def serve(folder):
    servers = [Server(folder, 0, HttpHandler)]
    try:
        servers += [Server(folder, 80, HttpHandler), Server(folder, 443, TlsHandler)]
        with open(os.path.join(folder, "ports-80-443"), "w") as out:
            out.write("bound\n")
    except OSError as error:
        print("ports 80 and 443 not available: %s" % error, flush=True)
    for server in servers[1:]:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    threading.Timer(LIFETIME_SECONDS, lambda: os._exit(0)).start()
    with open(os.path.join(folder, "port.tmp"), "w") as out:
        out.write("%d\n" % servers[0].server_address[1])
    os.replace(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
    servers[0].serve_forever()


def stop(folder):
    try:
        with open(os.path.join(folder, "pid")) as source:
            os.kill(int(source.read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass


def start(folder):
    stop(folder)
    time.sleep(0.2)
    if os.path.isdir(folder):
        for name in ("port", "pid", "ports-80-443"):
            if os.path.exists(os.path.join(folder, name)):
                os.remove(os.path.join(folder, name))
        shutil.rmtree(os.path.join(folder, "requests"), ignore_errors=True)
        shutil.rmtree(os.path.join(folder, "tls"), ignore_errors=True)
    os.makedirs(folder, exist_ok=True)
    child = os.fork()
    if child == 0:
        os.setsid()
        log = os.open(os.path.join(folder, "log"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        null = os.open(os.devnull, os.O_RDONLY)
        os.dup2(null, 0)
        os.dup2(log, 1)
        os.dup2(log, 2)
        with open(os.path.join(folder, "pid"), "w") as out:
            out.write("%d\n" % os.getpid())
        try:
            serve(folder)
        finally:
            os._exit(1)
    for _ in range(100):
        if os.path.exists(os.path.join(folder, "port")):
            with open(os.path.join(folder, "port")) as source:
                print("recording server on 127.0.0.1:%s" % source.read().strip())
            return 0
        time.sleep(0.1)
    print("recording server did not start", file=sys.stderr)
    return 1


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    folder = os.path.abspath(sys.argv[2])
    if sys.argv[1] == "start":
        sys.exit(start(folder))
    stop(folder)
    print("recording server stopped")
