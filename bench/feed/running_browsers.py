"""Running browsers as the feed's server sees them: each one's updater makes a
pass every five seconds, "release.json" then "release.sig", each a GET with
the cache-defeating query and the updater's headers, in one of two patterns:

  new connection per request  every request on a TCP connection and a full
                              TLS handshake of its own, no session resumed,
                              closed by the client after the response
  one kept connection         every request of every pass on one connection
                              kept for the browser's life, opened again only
                              when the server has closed it

A browser's passes start five seconds apart (the updater pauses five seconds
after a pass; against a server a few milliseconds away that is the same
pace). One that falls behind its schedule, because the server or this
generator is short of CPU, starts the pass at once and keeps the pace from
there, without making up the passes it missed: its late passes are counted,
and the passes made say how much of the load was really offered."""

import asyncio
import dataclasses
import ssl
import time

from nginx_feed import FILES, HEADERS

PASS_INTERVAL = 5.0
# A pass that starts later than this behind its schedule counts as late.
LATE = 0.5


@dataclasses.dataclass
class Tally:
    """What all the browsers have done so far; a measurement subtracts two.
    Passes count as they start, on schedule, so a window counts the passes
    its browsers were to make whatever the server's delay in answering."""
    passes: int = 0
    connections: int = 0
    late_passes: int = 0
    failed_passes: int = 0

    def since(self, earlier: "Tally") -> "Tally":
        return Tally(*(now - then for now, then in zip(dataclasses.astuple(self), dataclasses.astuple(earlier))))


class ServerClosed(Exception):
    """The server closed a kept connection before answering on it."""


class Connection:
    def __init__(self, reader: asyncio.StreamReader, writer: asyncio.StreamWriter):
        self.reader, self.writer = reader, writer
        self.closed_by_server = False

    @classmethod
    async def open(cls, context: ssl.SSLContext, tally: Tally) -> "Connection":
        tally.connections += 1
        return cls(*await asyncio.open_connection("127.0.0.1", 443, ssl=context, server_hostname="localhost"))

    async def get(self, name: str):
        """One feed file, as the updater asks for it; anything but 200 with
        its whole announced body fails the pass."""
        ticks = int(time.monotonic() * 1000)
        self.writer.write((f"GET /updates/native/{name}?v={ticks} HTTP/1.1\r\nHost: localhost\r\n" +
                           "".join(f"{header}\r\n" for header in HEADERS) + "\r\n").encode())
        try:
            head = (await self.reader.readuntil(b"\r\n\r\n")).decode("latin-1").lower()
        except asyncio.IncompleteReadError as end:
            if end.partial:
                raise
            raise ServerClosed() from end
        if not head.startswith("http/1.1 200 "):
            raise RuntimeError(f"{name}: {head.splitlines()[0]}")
        length = next(int(line.split(":", 1)[1]) for line in head.splitlines() if line.startswith("content-length:"))
        await self.reader.readexactly(length)
        # nginx says so on the last response it gives on a connection
        # (keepalive_requests, keepalive_time).
        self.closed_by_server = "\r\nconnection: close\r\n" in head

    def close(self):
        self.writer.close()


class RunningBrowser:
    def __init__(self, context: ssl.SSLContext, kept_connection: bool, tally: Tally):
        self.context, self.kept_connection, self.tally = context, kept_connection, tally
        self.connection = None

    async def run(self, first_pass: float):
        """Passes from first_pass (the event loop's clock) until cancelled."""
        loop = asyncio.get_running_loop()
        scheduled = first_pass
        try:
            while True:
                await asyncio.sleep(scheduled - loop.time())
                if loop.time() - scheduled > LATE:
                    self.tally.late_passes += 1
                    scheduled = loop.time()
                self.tally.passes += 1
                try:
                    await self.make_pass()
                except (OSError, RuntimeError, asyncio.IncompleteReadError, ssl.SSLError):
                    self.tally.failed_passes += 1
                    self.forget_connection()
                scheduled += PASS_INTERVAL
        finally:
            self.forget_connection()

    async def make_pass(self):
        for name in FILES:
            if self.kept_connection:
                await self.get_on_kept_connection(name)
            else:
                connection = await Connection.open(self.context, self.tally)
                try:
                    await connection.get(name)
                finally:
                    connection.close()

    async def get_on_kept_connection(self, name: str):
        """A connection the server closed while it was idle is found closed
        on the next request, which is sent again once on a new one."""
        if self.connection is None:
            self.connection = await Connection.open(self.context, self.tally)
        try:
            await self.connection.get(name)
        except (ServerClosed, ConnectionResetError, BrokenPipeError):
            self.forget_connection()
            self.connection = await Connection.open(self.context, self.tally)
            await self.connection.get(name)
        if self.connection.closed_by_server:
            self.forget_connection()

    def forget_connection(self):
        if self.connection is not None:
            self.connection.close()
            self.connection = None


async def start(browsers: list, ramp: float) -> list:
    """Starts the browsers' passes over ramp seconds, evenly, so their phases
    spread over the pass interval and their first handshakes over the ramp."""
    loop = asyncio.get_running_loop()
    beginning = loop.time() + 0.1
    return [asyncio.create_task(browser.run(beginning + ramp * index / len(browsers)))
            for index, browser in enumerate(browsers)]
