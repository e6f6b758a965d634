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

A file of the feed directory is served as a static HTTPS host serves it:
"Range: bytes=N-" or "bytes=N-M" gives 206 with "Content-Range: bytes
N-M/SIZE", a range that starts past the end 416. A fault armed for a file
(FeedState.arm, by a test that runs the server in its own process) changes
how its next request(s) are answered (see Fault).

Every feed request is recorded (target and headers), the body bytes sent
of each file and the connections accepted are counted. A server made with
idle_seconds closes a connection that has carried no request for that long,
as a static host closes an idle keep-alive connection. Control targets,
which are not recorded:

  /feed-control/requests               the recorded requests as JSON
  /feed-control/untrusted-certificate  the next TLS handshake presents a
                                       certificate no trusted CA issued

Run as a wrapper, the server lives exactly as long as the command it runs:

  python3 feed_server.py [--feed DIRECTORY] -- COMMAND [ARGUMENT...]
"""

import argparse
import dataclasses
import http.server
import json
import os
import re
import socket
import ssl
import struct
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


@dataclasses.dataclass
class Fault:
    """How the next request(s) of one feed file are answered instead:

      reset          the body up to offset (an offset of the file), then a
                     TCP reset
      truncate       the body up to offset under the full announced length,
                     then the connection closed
      stall-headers  nothing for seconds, then the answer
      stall-body     the body up to offset, nothing for seconds, the rest
      trickle        the body up to offset, then one byte every interval
                     seconds for seconds, the rest at once
      status         that status with a short body
      redirect       a 302 to another feed name
      longer         the whole file and 16 bytes more, all announced
      full           200 with the whole file, whatever range was asked
      misplaced      206 with a Content-Range (and body) that starts
                     halfway before the start asked for
    Stalls and trickles also end when the server is told to release them
    or closes."""

    kind: str
    offset: int = 0
    seconds: float = 0
    interval: float = 1
    status: int = 0
    count: int = 1

    KINDS = ("reset", "truncate", "stall-headers", "stall-body", "trickle", "status", "redirect", "longer", "full",
             "misplaced")

    def __post_init__(self):
        if self.kind not in self.KINDS:
            raise ValueError(f"unknown fault {self.kind}")


class FeedState:
    def __init__(self, feed_directory: Path):
        self.feed_directory = feed_directory
        self.lock = threading.Lock()
        self.requests = []
        self.untrusted_next = False
        self.sent = {}
        self.connections = 0
        self.faults = {}
        # One event per stall under way; set to end it early. The number of
        # stalls and trickles under way, for a measurement that waits for one.
        self.pauses = set()
        self.active = 0
        self.closing = False

    def arm(self, name: str, fault: Fault):
        with self.lock:
            self.faults.setdefault(name, []).append(fault)

    def take_fault(self, name: str) -> Fault | None:
        with self.lock:
            armed = self.faults.get(name)
            if not armed:
                return None
            fault = armed[0]
            fault.count -= 1
            if fault.count <= 0:
                armed.pop(0)
            return dataclasses.replace(fault, count=1)

    def armed(self) -> dict:
        with self.lock:
            return {name: len(faults) for name, faults in self.faults.items() if faults}

    def disarm(self) -> dict:
        """Drops the faults still armed; returns how many there were by file."""
        with self.lock:
            armed = {name: len(faults) for name, faults in self.faults.items() if faults}
            self.faults.clear()
            return armed

    def count_sent(self, name: str, count: int):
        with self.lock:
            self.sent[name] = self.sent.get(name, 0) + count

    def sent_bytes(self) -> dict:
        with self.lock:
            return dict(self.sent)

    def count_connection(self):
        with self.lock:
            self.connections += 1

    def accepted_connections(self) -> int:
        with self.lock:
            return self.connections

    def pause(self, seconds: float) -> bool:
        """Waits for seconds; true when released early or the server closes."""
        event = threading.Event()
        with self.lock:
            if self.closing:
                return True
            self.pauses.add(event)
        try:
            return event.wait(seconds)
        finally:
            with self.lock:
                self.pauses.discard(event)

    def release(self, closing: bool = False):
        with self.lock:
            self.closing = self.closing or closing
            for event in self.pauses:
                event.set()

    def misbehaving(self, change: int):
        with self.lock:
            self.active += change

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

    @property
    def timeout(self) -> float | None:
        """How long the connection waits on the client: a request that does
        not come in that time ends it."""
        return self.server.idle_seconds

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
            return self.serve_file(directory / name, self.state.take_fault(name))
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
        if kind == "busy" and count is not None:
            # A server asking its clients to come back in `count` seconds.
            self.send_response(503)
            self.send_header("Retry-After", str(count))
            self.send_header("Content-Length", "0")
            return self.end_headers()
        if kind == "closing" and count is not None:
            # A whole response, then the server closes the connection that
            # its client would keep for the next request.
            self.send_pattern(count)
            self.wfile.flush()
            return self.close_after()
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

    def requested_range(self, size: int):
        """(first, last) of a satisfiable single "bytes=" range, "unsatisfiable",
        or None: the whole file, as for any range this host does not serve."""
        match = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", "").strip())
        if not match:
            return None
        first = int(match[1])
        last = min(int(match[2]), size - 1) if match[2] else size - 1
        if match[2] and int(match[2]) < first:
            return None
        return (first, last) if first < size else "unsatisfiable"

    def serve_file(self, file: Path, fault: Fault | None):
        size = file.stat().st_size
        kind = fault.kind if fault else None
        if kind == "stall-headers":
            self.stall(fault.seconds)
        elif kind == "status":
            return self.answer(fault.status, b"status body")
        elif kind == "redirect":
            self.send_response(302)
            self.send_header("Location", FEED_PREFIX + "redirect-target")
            self.send_header("Content-Length", "0")
            return self.end_headers()
        span = None if kind == "full" else self.requested_range(size)
        if span == "unsatisfiable":
            self.send_response(416)
            self.send_header("Content-Range", f"bytes */{size}")
            self.send_header("Content-Length", "0")
            return self.end_headers()
        if kind == "misplaced":
            asked = span[0] if span else 0
            span = (asked // 2 if asked else 1, size - 1)
        extra = 16 if kind == "longer" else 0
        first, last = span or (0, size - 1)
        self.send_response(206 if span else 200)
        self.send_header("Content-Type", "application/octet-stream")
        if span:
            self.send_header("Content-Range", f"bytes {first}-{last}/{size}")
        self.send_header("Content-Length", str(last + 1 - first + extra))
        self.end_headers()
        with file.open("rb") as source:
            source.seek(first)
            cut = fault.offset if kind in ("reset", "truncate", "stall-body", "trickle") else last + 1
            self.send_piece(file.name, source, max(first, min(cut, last + 1)) - first)
            if kind == "reset":
                return self.reset()
            if kind == "truncate":
                return self.close_after()
            if kind == "stall-body":
                self.stall(fault.seconds)
            if kind == "trickle":
                self.trickle(file.name, source, fault, last + 1 - max(first, min(cut, last + 1)))
            self.send_piece(file.name, source, last + 1 - source.tell())
        if extra:
            self.send_counted(file.name, pattern_bytes(0, extra))

    def send_counted(self, name: str, piece: bytes):
        self.wfile.write(piece)
        self.state.count_sent(name, len(piece))

    def send_piece(self, name: str, source, count: int):
        while count > 0:
            piece = source.read(min(CHUNK, count))
            if not piece:
                return
            self.send_counted(name, piece)
            count -= len(piece)

    def stall(self, seconds: float):
        self.state.misbehaving(1)
        try:
            self.state.pause(seconds)
        finally:
            self.state.misbehaving(-1)

    def trickle(self, name: str, source, fault: Fault, left: int):
        self.state.misbehaving(1)
        try:
            deadline = time.monotonic() + fault.seconds
            released = False
            while left > 0 and time.monotonic() < deadline and not released:
                self.send_counted(name, source.read(1))
                left -= 1
                released = self.state.pause(min(fault.interval, max(0.0, deadline - time.monotonic())))
        finally:
            self.state.misbehaving(-1)

    def reset(self):
        """Ends the connection with a TCP reset instead of a close, once the
        client has had a moment to read what was sent: a reset discards
        whatever it has not read yet."""
        self.state.pause(0.5)
        self.close_connection = True
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()


class FeedServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    # Another run of the test suite on this machine may hold the port: wait
    # for it rather than fail, since these runs are short.
    bind_patience_seconds = 600

    def __init__(self, feed_directory: Path | None = None, idle_seconds: float | None = None):
        self.feed_state = FeedState(feed_directory)
        self.idle_seconds = idle_seconds
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
        self.feed_state.count_connection()
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
        self.feed_state.release(closing=True)
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
