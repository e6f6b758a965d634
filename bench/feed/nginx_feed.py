"""The feed as the benches serve it: a release signed with the test key into a
directory, served by Debian's nginx on 127.0.0.1:443 with a configuration of
its own, and the CPU time and memory of its processes read from /proc."""

import contextlib
import dataclasses
import os
import resource
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPOSITORY / "tests" / "feed"))
from feed_server import certificate_directory  # noqa: E402

# What one pass of the updater asks for, in this order.
FILES = ("release.json", "release.sig")
# The updater's own request headers besides Host.
HEADERS = ("Cache-Control: no-cache", "User-Agent: Ostrel Native Updater/1")
TEST_KEY = REPOSITORY / "tests" / "data" / "release_test_key.pem"

# Room for every running browser of the fleet bench on one kept connection,
# even if the kernel hands them all to one worker; within the open files
# its workers inherit (see use_all_descriptors). The keep-alive settings
# are nginx's defaults, written out because the fleet's cost depends on them.
NGINX_CONFIGURATION = """\
worker_processes auto;
pid {directory}/nginx.pid;
error_log {directory}/error.log;
events {{ worker_connections 16384; }}
http {{
  access_log off;
  default_type application/octet-stream;
  keepalive_timeout 75s;
  keepalive_requests 1000;
  keepalive_time 1h;
  server {{
    listen 127.0.0.1:443 ssl;
    ssl_protocols TLSv1.2 TLSv1.3;
    server_name localhost;
    ssl_certificate {certificate.chain};
    ssl_certificate_key {certificate.key};
    location /updates/native/ {{ alias {feed}/; }}
  }}
}}
"""


@dataclasses.dataclass(frozen=True)
class Certificate:
    """A certificate for "localhost" that the test CA issued, and its key."""
    chain: Path
    key: Path


def test_feed_certificate() -> Certificate:
    """The one the test feed presents: 2048-bit RSA, no intermediates."""
    directory = certificate_directory()
    return Certificate(directory / "localhost.pem", directory / "localhost.key")


@contextlib.contextmanager
def published_feed():
    """A temporary directory, and in it the feed directory of a release as
    the publisher signs it, with the test key, readable by nginx's workers,
    which run as an ordinary user."""
    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        publish(scratch / "feed", scratch)
        yield scratch, scratch / "feed"


def load_average() -> str:
    """The machine's load average over 1, 5 and 15 minutes, as uptime says it."""
    return " ".join(Path("/proc/loadavg").read_text().split()[:3])


def publish(feed: Path, scratch: Path):
    installer = scratch / "Ostrel-Setup-1.1.0.exe"
    installer.write_bytes(os.urandom(1 << 20))
    key = scratch / TEST_KEY.name
    key.write_bytes(TEST_KEY.read_bytes())
    key.chmod(0o600)
    subprocess.run([os.environ["OSTREL_RELEASE_TOOL"], "sign", "--key", str(key), "--installer", str(installer),
                    "--version", "1.1.0", "--out", str(feed)], check=True, capture_output=True)
    for path in (scratch, feed, *feed.iterdir()):
        path.chmod(0o755 if path.is_dir() else 0o644)


def wait_for_port():
    deadline = time.monotonic() + 30
    while True:
        try:
            socket.create_connection(("127.0.0.1", 443), timeout=1).close()
            return
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)


def process_cpu_seconds(pid: int, with_ended_children: bool = False) -> float:
    """User and system time of a process so far, and if asked of its
    children that have ended and been waited for."""
    fields = Path(f"/proc/{pid}/stat").read_text().rpartition(")")[2].split()
    ticks = sum(int(field) for field in fields[11:15 if with_ended_children else 13])
    return ticks / os.sysconf("SC_CLK_TCK")


def use_all_descriptors():
    """Lets this process, a load generator in it and the nginx it starts
    open as many files as the system allows them: one per connection on
    each side."""
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def anonymous_memory_bytes(pid: int) -> int:
    """The process's resident memory that no file backs: its heap, where
    nginx keeps its connections; the shared libraries' pages are left out."""
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("RssAnon:"):
            return int(line.split()[1]) * 1024
    raise RuntimeError(f"no RssAnon for process {pid}")


class Nginx:
    """Debian's nginx with a configuration of its own, in the foreground."""

    def __init__(self, directory: Path, feed: Path, certificate: Certificate):
        self.directory = directory
        (directory / "nginx.conf").write_text(NGINX_CONFIGURATION.format(
            directory=directory, certificate=certificate, feed=feed))

    def __enter__(self):
        use_all_descriptors()
        self.process = subprocess.Popen(["nginx", "-e", str(self.directory / "error.log"), "-p", str(self.directory),
                                         "-c", str(self.directory / "nginx.conf"), "-g", "daemon off;"])
        wait_for_port()
        return self

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait()

    def workers(self) -> list:
        """The worker processes, which hold the connections and do the handshakes."""
        pid = self.process.pid
        return [int(worker) for worker in Path(f"/proc/{pid}/task/{pid}/children").read_text().split()]

    def cpu_seconds(self) -> float:
        """Of all of nginx's processes, the workers a reload has ended too."""
        return process_cpu_seconds(self.process.pid, with_ended_children=True) + \
            sum(process_cpu_seconds(worker) for worker in self.workers())

    def reload(self):
        """As an operator's "nginx -s reload": new workers take over, and the
        old ones close their idle connections and end."""
        self.process.send_signal(signal.SIGHUP)

    def anonymous_memory_bytes(self) -> int:
        return sum(anonymous_memory_bytes(worker) for worker in self.workers())
