"""An installer download cut by the death of a real static server, under
Wine: Debian's nginx serves the feed with a rate limit, so the cut can fall
anywhere in the installer; when the updater's partial file reaches a point
drawn from the seed, nginx is killed, started again 3 s later, and the
updater left to finish. The figure is the installer's bytes nginx sent until
"ready", as a multiple of its size.

nginx logs a request only once it ends, and a killed nginx logs nothing, so
the cut request's bytes are read from the updater's side: once nginx is
killed the kernel delivers what it had written, and the largest size the
partial file reaches until nginx starts again counts them (an updater that
forgets a short file may delete it first, so the figure is then a lower
bound). Every later request's bytes come from the access log."""

import dataclasses
import tempfile
import time
from pathlib import Path

from feed_server import certificate_directory
from nginx import Nginx, readable_by_workers
from whole_update import DATA, Browser, WineMachine, ask, install_browser, publish, published_status, wait_for

INSTALLER = "Ostrel-Setup-1.1.0.exe"
PARTIAL = DATA + r"\download.partial"
# Slow enough for a cut anywhere: a 24 MiB installer takes six seconds.
RATE = "4m"
RESTART_SECONDS = 3

NGINX_CONFIGURATION = """\
worker_processes 1;
pid {directory}/nginx.pid;
error_log {directory}/error.log;
events {{ worker_connections 64; }}
http {{
  log_format sent '$uri $status $body_bytes_sent "$http_range"';
  access_log {directory}/access.log sent;
  default_type application/octet-stream;
  server {{
    listen 127.0.0.1:443 ssl;
    server_name localhost;
    ssl_certificate {certificates}/localhost.pem;
    ssl_certificate_key {certificates}/localhost.key;
    limit_rate {rate};
    location /updates/native/ {{ alias {feed}/; }}
  }}
}}
"""


@dataclasses.dataclass
class Cut:
    offset: int  # of the installer's bytes sent before nginx died
    sent: int  # all its bytes nginx sent until "ready"
    requests_after: list  # (status, Range asked) of each later request for it
    seconds: float  # from "check" to "ready"


def size_of(path: Path) -> int:
    try:
        return path.stat().st_size
    except OSError:
        return 0


def largest_size(path: Path, seconds: float) -> int:
    """The largest size the file has over seconds, looked at every 10 ms."""
    largest, deadline = 0, time.monotonic() + seconds
    while time.monotonic() < deadline:
        largest = max(largest, size_of(path))
        time.sleep(0.01)
    return largest


def installer_requests(access_log: Path) -> list:
    """(status, body bytes sent, Range asked) of each logged request for the installer."""
    logged = []
    for line in access_log.read_text().splitlines():
        uri, status, sent, asked = line.split(" ", 3)
        if uri.endswith("/" + INSTALLER):
            asked = asked.strip('"')
            # nginx logs an empty variable as "-".
            logged.append((int(status), int(sent), "" if asked == "-" else asked))
    return logged


def cut_once(point: int, size: int) -> Cut:
    """A fresh machine with browser 1.0.0 running and 1.1.0 on nginx; the
    download cut by nginx's death once the partial file holds point bytes."""
    with tempfile.TemporaryDirectory() as scratch, WineMachine() as machine:
        scratch = Path(scratch)
        feed = scratch / "feed"
        install_browser(machine, "1.0.0")
        publish(feed, "1.1.0", size)
        readable_by_workers(scratch, feed, *feed.iterdir())
        configuration = NGINX_CONFIGURATION.format(directory=scratch, certificates=certificate_directory(), feed=feed,
                                                   rate=RATE)
        partial = machine.host_path(PARTIAL)
        browser = Browser(machine)
        try:
            with Nginx(scratch, configuration) as server:
                start = time.monotonic()
                ask(machine, "check")
                if not wait_for(lambda: size_of(partial) >= point, 120, 0.01):
                    raise RuntimeError("the download never reached the cut")
                server.kill()
            offset = largest_size(partial, RESTART_SECONDS)
            with Nginx(scratch, configuration):
                if not wait_for(lambda: published_status(machine).get("state") == "ready", 180, 0.1):
                    raise RuntimeError(f"the release was not staged: {published_status(machine)}")
                seconds = time.monotonic() - start
        finally:
            browser.close()
        later = installer_requests(scratch / "access.log")
    return Cut(offset, offset + sum(sent for _, sent, _ in later), [(status, asked) for status, _, asked in later],
               seconds)
