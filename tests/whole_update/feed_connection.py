"""The service polling a feed that offers nothing newer, counted on both
sides of the connection: the WinHTTP sessions, connections and requests it
opens, read from Wine's trace of its winhttp channel, and the connections the
feed accepts. Wine 8 keeps one pool of connections for the whole process, so
the feed alone would see one connection however many the service opens.
Shared by the whole-flow test and the measurement per minute."""

import dataclasses
import re
import time

from whole_update import FeedServer, WineMachine, ask, requested_files, wait_for

TRACED_CHANNEL = "winhttp"


@dataclasses.dataclass
class FeedConnections:
    passes: int  # requests for release.sig, one a pass
    requests: int  # feed requests the server recorded
    sessions: int  # session handles opened (WinHttpOpen)
    connections: int  # connection handles opened (WinHttpConnect)
    opened_requests: int  # request handles opened (WinHttpOpenRequest)
    accepted: int  # connections the feed accepted


def opened(trace: str, function: str) -> int:
    """The handles a WinHTTP function returned, as Wine traces each return:
    "returning" and the handle, all zeros when it failed."""
    return len(re.findall(rf":trace:winhttp:{function} returning (?!0+\b)[0-9A-Fa-f]+", trace))


def poll_with_nothing_newer(machine: WineMachine, server: FeedServer, seconds: float) -> FeedConnections:
    """With the installed version offered, the browser running and the
    machine tracing the winhttp channel: asks "check" and counts everything
    the service opened from its start until seconds after its first pass."""
    ask(machine, "check")
    if not wait_for(lambda: "release.sig" in requested_files(server), 60, 0.05):
        raise AssertionError("the service never checked the feed")
    time.sleep(seconds)
    # The server's record first: every request it holds was traced before.
    requested = requested_files(server)
    trace = machine.trace()
    return FeedConnections(requested.count("release.sig"), len(requested), opened(trace, "WinHttpOpen"),
                           opened(trace, "WinHttpConnect"), opened(trace, "WinHttpOpenRequest"),
                           server.feed_state.accepted_connections())
