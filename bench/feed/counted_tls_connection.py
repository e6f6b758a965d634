"""A client's TLS connection to the feed on 127.0.0.1:443 that counts the
bytes crossing its socket each way, handshake, requests, responses and
closure alike (TCP and IP add theirs), so that what a request or a pass
costs on the wire can be read between two counts."""

import re
import socket
import ssl

from nginx_feed import FILES, HEADERS, test_feed_certificate


def own_connection_bytes(name: str, version: ssl.TLSVersion) -> tuple:
    """The bytes one request for a feed file costs on a TLS connection of its
    own, from the server and from the client: handshake, request, response
    and closure."""
    with CountedTlsConnection(version) as connection:
        connection.handshake()
        connection.get(name, last=True)
        return connection.counts()


def kept_connection_bytes(version: ssl.TLSVersion) -> tuple:
    """On a kept connection, what its opening costs (the handshake, and the
    session tickets that TLS 1.3 servers send after it with the first
    response) and what each pass costs from then on; each from the server
    and from the client."""
    with CountedTlsConnection(version) as connection:
        connection.handshake()
        for name in FILES:
            connection.get(name)
        first = connection.counts()
        for name in FILES:
            connection.get(name)
        steady = tuple(now - then for now, then in zip(connection.counts(), first))
        opening = tuple(with_pass - one_pass for with_pass, one_pass in zip(first, steady))
        return opening, steady


class CountedTlsConnection:
    def __init__(self, version: ssl.TLSVersion):
        context = ssl.create_default_context(cafile=test_feed_certificate().chain.parent / "ca.pem")
        context.minimum_version = context.maximum_version = version
        self.incoming, self.outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_hostname="localhost")
        self.from_server = self.from_client = 0

    def __enter__(self):
        self.socket = socket.create_connection(("127.0.0.1", 443))
        return self

    def __exit__(self, *_):
        self.socket.close()

    def counts(self) -> tuple:
        """Bytes so far from the server and from the client."""
        return self.from_server, self.from_client

    def handshake(self):
        self.until_done(self.tls.do_handshake)

    def get(self, name: str, last: bool = False):
        """One feed file with the updater's headers; the last request asks
        the server to close, and its count includes the closure."""
        self.tls.write((f"GET /updates/native/{name}?v=1 HTTP/1.1\r\nHost: localhost\r\n" +
                        "".join(f"{header}\r\n" for header in HEADERS) +
                        ("Connection: close\r\n" if last else "") + "\r\n").encode())
        self.flush()
        response = b""
        while b"\r\n\r\n" not in response:
            response += self.until_done(lambda: self.tls.read(65536))
        head, _, body = response.partition(b"\r\n\r\n")
        length = int(re.search(rb"(?i)\r\ncontent-length: *(\d+)", head).group(1))
        while len(body) < length:
            body += self.until_done(lambda: self.tls.read(65536))
        if last:
            try:
                while self.until_done(lambda: self.tls.read(65536)):
                    pass
            except (ssl.SSLZeroReturnError, ssl.SSLEOFError):
                pass
            self.flush()

    def flush(self):
        data = self.outgoing.read()
        self.socket.sendall(data)
        self.from_client += len(data)

    def until_done(self, step):
        """Runs a TLS step, feeding it what the server sends until it can finish."""
        while True:
            try:
                return step()
            except ssl.SSLWantReadError:
                self.flush()
                data = self.socket.recv(65536)
                self.from_server += len(data)
                self.incoming.write(data) if data else self.incoming.write_eof()
