"""A local HTTPS update feed for tests.

Serves https://localhost/updates/native/<name> on 127.0.0.1:443 with a
certificate for "localhost" issued by the throw-away test CA that
scripts/setup adds to the system trust store. A name is answered from the
feed directory when such a file exists there; otherwise the name itself tells
the server how to answer, so a test asks for the misbehaviour it wants:

  bytes-N              200 with N bytes of a fixed pattern (pattern_bytes)
  chunked-N            the same N bytes in chunked encoding, no length announced
  empty                200 with no body
  status-N             status N with a short body
  redirect-301, -302   that redirect to /updates/native/redirect-target
  overlong-N           announces N bytes, sends N + 16 and closes
  dropped-N            announces 2N bytes, sends N and drops the connection
  slow-N               N bytes, one every 50 ms
  stalled-N            reads the request, answers nothing for N seconds, closes
  halted-N             announces 1000 bytes, sends 10, then nothing for N
                       seconds, and closes

Every feed request is recorded (target and headers). Control targets, which
are not recorded:

  /feed-control/requests               the recorded requests as JSON
  /feed-control/untrusted-certificate  the next TLS handshake presents a
                                       certificate no trusted CA issued

Run as a wrapper, the server lives exactly as long as the command it runs:

  python3 feed_server.py [--feed DIRECTORY] -- COMMAND [ARGUMENT...]
"""

import argparse
import http.server
import json
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
from pathlib import Path

FEED_PREFIX = "/updates/native/"
CONTROL_PREFIX = "/feed-control/"
ADDRESS = ("127.0.0.1", 443)
CHUNK = 1 << 20


def certificate_directory() -> Path:
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.environ["HOME"], ".cache")
    return Path(cache) / "ostrel" / "feed-certificates"


def pattern_bytes(offset: int, count: int) -> bytes:
    """The bytes at [offset, offset + count) of the synthesised bodies."""
    period = bytes(range(251))
    start = offset % 251
    repeated = period[start:] + period * ((count // 251) + 2)
    return repeated[:count]


class FeedState:
    def __init__(self, feed_directory: Path):
        self.feed_directory = feed_directory
        self.lock = threading.Lock()
        self.requests = []
        self.untrusted_next = False

    def record(self, target, headers):
        with self.lock:
            self.requests.append({"target": target, "headers": [[name, value] for name, value in headers.items()]})

    def recorded(self):
        with self.lock:
            return list(self.requests)

    def take_untrusted(self):
        with self.lock:
            untrusted, self.untrusted_next = self.untrusted_next, False
            return untrusted


class FeedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OstrelTestFeed/1"

    def log_message(self, *_):
        pass

    @property
    def state(self) -> FeedState:
        return self.server.feed_state

    def do_GET(self):
        path, _, _ = self.path.partition("?")
        if path.startswith(CONTROL_PREFIX):
            return self.control(path[len(CONTROL_PREFIX):])
        self.state.record(self.path, self.headers)
        if not path.startswith(FEED_PREFIX):
            return self.answer(404, b"not in the feed")
        name = path[len(FEED_PREFIX):]
        directory = self.state.feed_directory
        if directory and name and "/" not in name and (directory / name).is_file():
            return self.send_file(directory / name)
        return self.misbehave(name)

    def control(self, command):
        if command == "requests":
            return self.answer(200, json.dumps(self.state.recorded()).encode(), "application/json")
        if command == "untrusted-certificate":
            with self.state.lock:
                self.state.untrusted_next = True
            return self.answer(200, b"ok")
        return self.answer(404, b"unknown control")

    def misbehave(self, name):
        kind, _, number = name.rpartition("-")
        count = int(number) if number.isdigit() else None
        if name == "empty":
            return self.answer(200, b"")
        if kind == "bytes" and count is not None:
            return self.send_pattern(count)
        if kind == "chunked" and count is not None:
            return self.send_chunked(count)
        if kind == "status" and count is not None:
            return self.answer(count, b"status body")
        if kind == "redirect" and count in (301, 302):
            self.send_response(count)
            self.send_header("Location", FEED_PREFIX + "redirect-target")
            self.send_header("Content-Length", "0")
            return self.end_headers()
        if kind == "overlong" and count is not None:
            self.start_body(count)
            self.wfile.write(pattern_bytes(0, count + 16))
            return self.close_after()
        if kind == "dropped" and count is not None:
            self.start_body(2 * count)
            self.wfile.write(pattern_bytes(0, count))
            self.wfile.flush()
            return self.close_after()
        if kind == "slow" and count is not None:
            self.start_body(count)
            for offset in range(count):
                self.wfile.write(pattern_bytes(offset, 1))
                self.wfile.flush()
                time.sleep(0.05)
            return None
        if kind == "stalled" and count is not None:
            time.sleep(count)
            return self.close_after()
        if kind == "halted" and count is not None:
            self.start_body(1000)
            self.wfile.write(pattern_bytes(0, 10))
            self.wfile.flush()
            time.sleep(count)
            return self.close_after()
        return self.answer(404, b"no such feed file")

    def answer(self, status, body, content_type="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def start_body(self, length):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(length))
        self.end_headers()

    def close_after(self):
        self.close_connection = True
        self.connection.shutdown(socket.SHUT_RDWR)

    def send_pattern(self, count):
        self.start_body(count)
        for offset in range(0, count, CHUNK):
            self.wfile.write(pattern_bytes(offset, min(CHUNK, count - offset)))

    def send_chunked(self, count):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for offset in range(0, count, 4096):
            piece = pattern_bytes(offset, min(4096, count - offset))
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")

    def send_file(self, file: Path):
        self.start_body(file.stat().st_size)
        with file.open("rb") as source:
            while piece := source.read(CHUNK):
                self.wfile.write(piece)


class FeedServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    # Another run of the test suite on this machine may hold the port: wait
    # for it rather than fail, since these runs are short.
    bind_patience_seconds = 600

    def __init__(self, feed_directory: Path | None = None):
        self.feed_state = FeedState(feed_directory)
        certificates = certificate_directory()
        self.trusted_context = self.context_for(certificates / "localhost")
        self.untrusted_context = self.context_for(certificates / "untrusted")
        self.trusted_context.sni_callback = self.choose_certificate
        super().__init__(ADDRESS, FeedHandler, bind_and_activate=False)

    @staticmethod
    def context_for(stem: Path) -> ssl.SSLContext:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(stem.with_suffix(".pem"), stem.with_suffix(".key"))
        return context

    def choose_certificate(self, connection, _server_name, _context):
        if self.feed_state.take_untrusted():
            connection.context = self.untrusted_context

    def server_bind(self):
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        deadline = time.monotonic() + self.bind_patience_seconds
        while True:
            try:
                return super().server_bind()
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(1)

    def handle_error(self, request, client_address):
        # Clients that refuse the untrusted certificate or drop a connection
        # are what some tests are about, not server faults.
        pass

    def get_request(self):
        connection, address = super().get_request()
        # The handshake runs on the request's own thread, so a client that
        # stalls in it cannot hold up the others.
        return self.trusted_context.wrap_socket(connection, server_side=True, do_handshake_on_connect=False), address

    def __enter__(self):
        self.server_bind()
        self.server_activate()
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)
        self.thread.start()
        return self

    def __exit__(self, *_):
        self.shutdown()
        self.server_close()
        self.thread.join()


def main():
    parser = argparse.ArgumentParser(description="Runs a command while the local HTTPS feed serves.")
    parser.add_argument("--feed", type=Path, default=None, help="directory of files to serve")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    command = options.command[1:] if options.command[:1] == ["--"] else options.command
    if not command:
        parser.error("no command to run")
    with FeedServer(options.feed):
        return subprocess.run(command, check=False).returncode


if __name__ == "__main__":
    sys.exit(main())
