"""A user holding the staged release's signature open, sharing only reading,
while a newer release is offered: the service downloads the newer installer
once, tries the rest of the commit again each pass, and finishes it once the
user lets go. Shared by the whole-flow test and the measurement of the
downloads it costs."""

import dataclasses
import time
from pathlib import Path

from whole_update import (DATA, FeedServer, WineMachine, publish, published_status, requested_files,
                          start_file_reader, wait_for)

SIGNATURE = DATA + r"\release.sig"
NEWER = "1.2.0"
NEWER_INSTALLER = f"Ostrel-Setup-{NEWER}.exe"
# One pass of the service: its five-second pause and a check, with room for Wine.
PASS_SECONDS = 7


@dataclasses.dataclass
class HeldSignature:
    # The requests for the newer release's installer until it was staged.
    downloads: int
    # Whether the commit was still refused after the passes the user held on.
    refused_throughout: bool
    # Whether the newer release was staged once the user let go.
    staged: bool


def offer_while_signature_held(machine: WineMachine, feed: Path, server: FeedServer, passes: int) -> HeldSignature:
    """With a release staged and the browser running: holds release.sig,
    publishes the newer release, and lets go after the passes that follow
    the first refused commit."""
    def refused():
        return published_status(machine).get("message", "").startswith("Commit release signature")

    holder = start_file_reader(machine, "hold", SIGNATURE)
    try:
        if holder.stdout.readline().strip() != b"held":
            raise AssertionError("the file reader could not hold release.sig")
        publish(feed, NEWER)
        if not wait_for(refused, 60):
            raise AssertionError(f"the commit was never refused: {published_status(machine)}")
        time.sleep(passes * PASS_SECONDS)
        refused_throughout = refused()
    finally:
        # Closes its input: the user lets go.
        holder.communicate(timeout=60)
    staged = wait_for(lambda: published_status(machine).get("availableVersion") == NEWER
                      and published_status(machine).get("state") == "ready", 60)
    return HeldSignature(requested_files(server).count(NEWER_INSTALLER), refused_throughout, bool(staged))
