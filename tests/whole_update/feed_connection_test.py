"""The service's connection to the feed under Wine: one WinHTTP session and
one connection for the service's life, however many passes it makes, and
whether or not the feed keeps the connection open between them."""

import unittest

from feed_connection import TRACED_CHANNEL, FeedConnections, poll_with_nothing_newer
from whole_update import DATA, UpdateFixture, publish, published_status

# Long enough for four passes, five seconds apart, with room for a loaded machine.
FOUR_PASSES = 19
# Shorter than the pause between passes, longer than a pass's two requests.
IDLE_SECONDS = 2


class FeedConnectionTest(UpdateFixture, unittest.TestCase):
    def poll(self, idle_seconds: float | None) -> FeedConnections:
        """Four passes or more with nothing newer: what they opened, each
        check having succeeded."""
        self.arrange(TRACED_CHANNEL)
        publish(self.feed, "1.0.0")
        self.serve(idle_seconds)
        self.start_browser()
        counted = poll_with_nothing_newer(self.machine, self.server, FOUR_PASSES)
        self.assertGreaterEqual(counted.passes, 4)
        # The trace saw every request the feed did, so its counts are whole.
        self.assertGreaterEqual(counted.opened_requests, counted.requests)
        self.assertNotIn("Check failed", self.machine.host_path(DATA + r"\history.log").read_text())
        self.assertEqual(published_status(self.machine), {"ok": True, "state": "up_to_date", "installedVersion": "1.0.0"})
        return counted

    def test_every_pass_goes_over_one_session_and_one_connection(self):
        counted = self.poll(idle_seconds=None)
        self.assertEqual((counted.sessions, counted.connections, counted.accepted), (1, 1, 1))

    def test_a_connection_the_feed_closed_between_passes_is_opened_again_unseen(self):
        counted = self.poll(IDLE_SECONDS)
        self.assertEqual((counted.sessions, counted.connections), (1, 1))
        # Counted a moment after the passes: one more may have begun.
        self.assertIn(counted.accepted, (counted.passes, counted.passes + 1))


if __name__ == "__main__":
    unittest.main()
