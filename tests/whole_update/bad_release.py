"""A bad release while the browser runs: the feed serves other bytes under
the signed installer's name, as a cache still holding an older file of that
name would. Shared by the whole-flow test and the measurement of what it
costs the feed."""

import dataclasses
import time
from pathlib import Path

from whole_update import (FeedServer, WineMachine, ask, publish, published_status, requested_files, stand_in_installer,
                          wait_for)

BAD = "1.1.0"
INSTALLER = f"Ostrel-Setup-{BAD}.exe"
SIZE = 1 << 20


def publish_with_other_bytes(feed: Path):
    """Signs the bad release, then puts the stand-in installer of an older
    version under its name, padded to the same size: only the SHA-512 tells."""
    publish(feed, BAD, SIZE)
    stand_in_installer(feed, "1.0.9", SIZE, name=INSTALLER)


@dataclasses.dataclass
class BadReleaseCost:
    downloads: int  # requests for the installer
    sent: float  # its bytes the feed sent, as a multiple of its size
    checks: int  # requests for release.json
    status: dict  # status.json at the end


def run_with_bad_release(machine: WineMachine, server: FeedServer, seconds: float) -> BadReleaseCost:
    """With the bad release on the feed and the browser running: asks
    "check" and counts for seconds after its installer's first request."""
    ask(machine, "check")
    if not wait_for(lambda: server.feed_state.sent_bytes().get(INSTALLER), 60, 0.05):
        raise AssertionError("the installer was never asked for")
    time.sleep(seconds)
    requested = requested_files(server)
    return BadReleaseCost(requested.count(INSTALLER), server.feed_state.sent_bytes()[INSTALLER] / SIZE,
                          requested.count("release.json"), published_status(machine))
