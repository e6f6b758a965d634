"""The feed as the benches serve it: a release signed with the test key into a
directory, served by Debian's nginx on 127.0.0.1:443 with a configuration of
its own and the certificate the bench chooses."""

import contextlib
import dataclasses
import os
import subprocess
import sys
import tempfile
from pathlib import Path

from nginx import Nginx, readable_by_workers

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
    readable_by_workers(scratch, feed, *feed.iterdir())


def serve_feed(directory: Path, feed: Path, certificate: Certificate) -> Nginx:
    """nginx serving the feed directory with the certificate, its files in directory."""
    return Nginx(directory, NGINX_CONFIGURATION.format(directory=directory, certificate=certificate, feed=feed))
