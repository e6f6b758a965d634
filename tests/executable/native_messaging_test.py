"""The native messaging host of the real executable under Wine, over real
pipes: one frame written to its standard input, one reply frame read
byte-exact from its standard output. The test build runs from the build
tree, so every request that gets past the frame meets the fixed-location
check."""

import json
import os
import struct
import subprocess
import unittest

from updater import run_updater

ORIGIN = "chrome-extension://inmdpcjjlckfjmggcpdcmbooiogihncc/"
NOT_INSTALLED = "Updater is not installed in its fixed application directory"


def frame(body: bytes) -> bytes:
    return struct.pack("<I", len(body)) + body


def reply(**members) -> bytes:
    return frame(json.dumps(members, separators=(",", ":")).encode())


def failure(message: str) -> bytes:
    return reply(ok=False, error=message)


class NativeMessagingTest(unittest.TestCase):
    def expect_reply(self, request: bytes, expected: bytes):
        run = run_updater(ORIGIN, standard_input=request)
        self.assertEqual(run.standard_output, expected, request)
        self.assertEqual(run.standard_error, b"", request)
        self.assertEqual(run.exit_code, 0, request)

    def test_frames_refused_before_any_action(self):
        # Wine reports the end of a pipe as a successful read of 0 bytes,
        # where Windows fails it with ERROR_BROKEN_PIPE (109).
        status = b'{"action":"status"}'
        for request, expected in (
            (struct.pack("<I", 0) + status, failure("Invalid native request size")),
            (struct.pack("<I", 4097) + status, failure("Invalid native request size")),
            (b"", failure("Read native frame (0)")),
            (b"\x13\x00", failure("Read native frame (0)")),
            (struct.pack("<I", 10) + b'{"act', failure("Read native request (0)")),
            (frame(b"{}"), failure("Native updater accepts an action only")),
            (frame(b'{"action":"status","force":true}'), failure("Native updater accepts an action only")),
            (frame(b'{"action":1}'), failure("Invalid native update request")),
            (frame(b'["status"]'), failure("Invalid native update request")),
            (frame(b'"status"'), failure("Invalid native update request")),
            (frame(b"action=status"), failure("Invalid native update request")),
        ):
            with self.subTest(request=request):
                self.expect_reply(request, expected)

    def test_status_outside_the_fixed_location_answers_the_location_failure(self):
        status = frame(b'{"action":"status"}')
        self.expect_reply(status, failure(NOT_INSTALLED))
        # A second frame after the first is never read: one reply only.
        self.expect_reply(status + frame(b'{"action":"stop"}'), failure(NOT_INSTALLED))
        self.expect_reply(frame(b'{"action":"status"}'.ljust(4096)), failure(NOT_INSTALLED))

    def test_a_closed_standard_output_ends_with_exit_code_one(self):
        host = subprocess.Popen(
            ["wine", os.environ["OSTREL_UPDATE_EXE"], ORIGIN],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
        )
        host.stdout.close()
        _, standard_error = host.communicate(frame(b'{"action":"status"}'), timeout=60)
        self.assertEqual(standard_error, b"")
        self.assertEqual(host.returncode, 1)


if __name__ == "__main__":
    unittest.main()
