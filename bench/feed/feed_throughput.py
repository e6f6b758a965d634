"""How many of the updater's feed requests per second one static HTTPS server
answers on this machine: Debian's nginx, against the local test feed
(tests/feed/feed_server.py) as the reference, both with the test feed's
certificate on 127.0.0.1:443 (scripts/bench-feed runs it).

The load is the updater's: "release.json" and "release.sig", each a GET with
the cache-defeating query and the updater's headers on a new TLS connection,
with no session resumed. Two ApacheBench clients run at once, one per file,
so both files are asked for as in a pass, over TLS 1.2 and over TLS 1.3. Also
measured, once per file: the bytes one such request costs on its connection.

The clients share the machine's cores with the server, so requests per second
is what this machine serves with its own load on it; the server's CPU time
per request (its workers' user and system time over the requests answered)
is the figure to size a fleet with.

Each figure is the median of its rounds; the rounds alternate between the
two servers, so a change in the machine's load meets both alike."""

import os
import re
import socket
import ssl
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from nginx import Nginx, process_cpu_seconds, readable_by_workers, wait_for_port

REPOSITORY = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPOSITORY / "tests" / "feed"))
from feed_server import FeedServer, certificate_directory  # noqa: E402

FILES = ("release.json", "release.sig")
# WinHTTP speaks TLS 1.2 on Windows 10 and TLS 1.3 on Windows 11.
PROTOCOLS = {"TLS1.2": ssl.TLSVersion.TLSv1_2, "TLS1.3": ssl.TLSVersion.TLSv1_3}
ROUNDS = 3
SECONDS = 15
# Connections each client keeps open at once; enough to keep both cores busy.
CONCURRENCY = 16
TEST_KEY = REPOSITORY / "tests" / "data" / "release_test_key.pem"
# The updater's own request headers besides Host.
HEADERS = ("Cache-Control: no-cache", "User-Agent: Ostrel Native Updater/1")

NGINX_CONFIGURATION = """\
worker_processes auto;
pid {directory}/nginx.pid;
error_log {directory}/error.log;
events {{ worker_connections 1024; }}
http {{
  access_log off;
  default_type application/octet-stream;
  server {{
    listen 127.0.0.1:443 ssl;
    ssl_protocols TLSv1.2 TLSv1.3;
    server_name localhost;
    ssl_certificate {certificates}/localhost.pem;
    ssl_certificate_key {certificates}/localhost.key;
    location /updates/native/ {{ alias {feed}/; }}
  }}
}}
"""


def say(text: str):
    print(text, flush=True)


def publish(feed: Path, scratch: Path):
    """A release as the publisher signs it, with the test key."""
    installer = scratch / "Ostrel-Setup-1.1.0.exe"
    installer.write_bytes(os.urandom(1 << 20))
    key = scratch / TEST_KEY.name
    key.write_bytes(TEST_KEY.read_bytes())
    key.chmod(0o600)
    subprocess.run([os.environ["OSTREL_RELEASE_TOOL"], "sign", "--key", str(key), "--installer", str(installer),
                    "--version", "1.1.0", "--out", str(feed)], check=True, capture_output=True)


def ab(name: str, protocol: str) -> subprocess.Popen:
    """One ApacheBench client asking for a feed file: every request on a new
    connection (no keep-alive, no session resumed), with a cache-defeating
    query (one per run here, one per request in the updater: a static server
    ignores it either way)."""
    headers = [option for header in HEADERS for option in ("-H", header)]
    url = f"https://localhost/updates/native/{name}?v={time.monotonic_ns() // 1000000}"
    return subprocess.Popen(["ab", "-q", "-l", "-f", protocol, "-t", str(SECONDS), "-n", "100000000",
                             "-c", str(CONCURRENCY), *headers, url],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def load(protocol: str) -> tuple:
    """Requests per second of both clients together, and how many they made."""
    clients = [ab(name, protocol) for name in FILES]
    rate, requests = 0.0, 0
    for client in clients:
        output, errors = client.communicate()
        if client.returncode != 0:
            raise RuntimeError(f"ab failed: {errors}")
        failed = int(re.search(r"Failed requests:\s+(\d+)", output).group(1))
        if failed or "Non-2xx responses" in output:
            raise RuntimeError(f"ab saw failed requests:\n{output}")
        rate += float(re.search(r"Requests per second:\s+([\d.]+)", output).group(1))
        requests += int(re.search(r"Complete requests:\s+(\d+)", output).group(1))
    return rate, requests


def exchange_bytes(name: str, version: ssl.TLSVersion) -> tuple:
    """The bytes one request for a feed file costs on its TLS connection, as
    the updater makes it: from the server and from the client, handshake,
    request, response and closure included; TCP and IP add theirs."""
    context = ssl.create_default_context(cafile=certificate_directory() / "ca.pem")
    context.minimum_version = context.maximum_version = version
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = context.wrap_bio(incoming, outgoing, server_hostname="localhost")
    counted = {"server": 0, "client": 0}
    request = f"GET /updates/native/{name}?v=1 HTTP/1.1\r\nHost: localhost\r\n" + \
        "".join(f"{header}\r\n" for header in HEADERS) + "Connection: close\r\n\r\n"
    with socket.create_connection(("127.0.0.1", 443)) as connection:
        def flush():
            data = outgoing.read()
            connection.sendall(data)
            counted["client"] += len(data)

        def until_done(step):
            while True:
                try:
                    return step()
                except ssl.SSLWantReadError:
                    flush()
                    data = connection.recv(65536)
                    counted["server"] += len(data)
                    incoming.write(data) if data else incoming.write_eof()

        until_done(tls.do_handshake)
        tls.write(request.encode())
        flush()
        try:
            while until_done(lambda: tls.read(65536)):
                pass
        except (ssl.SSLZeroReturnError, ssl.SSLEOFError):
            pass
        flush()
    return counted["server"], counted["client"]


class TestFeedServer(FeedServer):
    """The local test feed, serving in this process."""

    def cpu_seconds(self) -> float:
        return process_cpu_seconds(os.getpid())


def main():
    load_before = " ".join(Path("/proc/loadavg").read_text().split()[:3])
    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        feed = scratch / "feed"
        publish(feed, scratch)
        readable_by_workers(scratch, feed, *feed.iterdir())
        configuration = NGINX_CONFIGURATION.format(directory=scratch, certificates=certificate_directory(), feed=feed)
        servers = {"nginx": lambda: Nginx(scratch, configuration), "test feed server": lambda: TestFeedServer(feed)}
        rates = {(server, protocol): [] for protocol in PROTOCOLS for server in servers}
        cpu_per_request = {key: [] for key in rates}
        for _ in range(ROUNDS):
            for (server, protocol), values in rates.items():
                with servers[server]() as running:
                    wait_for_port()
                    cpu_before = running.cpu_seconds()
                    rate, requests = load(protocol)
                    values.append(rate)
                    cpu_per_request[server, protocol].append((running.cpu_seconds() - cpu_before) / requests)
        with Nginx(scratch, configuration):
            sizes = {(name, protocol): exchange_bytes(name, version)
                     for protocol, version in PROTOCOLS.items() for name in FILES}
        nginx_version = subprocess.run(["nginx", "-v"], capture_output=True, text=True).stderr.strip()

    say(f"{nginx_version}; {os.cpu_count()} cores shared with the clients; {ROUNDS} rounds of {SECONDS} s, "
        f"2 x {CONCURRENCY} connections at once; load average before: {load_before}")
    for key, values in rates.items():
        median = statistics.median(values)
        rounds = ", ".join(f"{value:.0f}" for value in values)
        cpu = statistics.median(cpu_per_request[key]) * 1000
        say(f"{key[0]}, {key[1]}: {median:.0f} requests/s, {median / 2:.0f} passes/s (rounds: {rounds}); "
            f"server CPU {cpu:.2f} ms per request, {1000 / cpu:.0f} requests/s per core")
    for (name, protocol), (server, client) in sizes.items():
        say(f"{name}, {protocol}, from nginx: {server} bytes from the server, {client} bytes from the client")


if __name__ == "__main__":
    main()
