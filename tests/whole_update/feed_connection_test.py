"""The service's connection to the feed under Wine: one WinHTTP session and
one connection for the service's life, however many passes it makes."""

import unittest

from feed_connection import TRACED_CHANNEL, poll_with_nothing_newer
from whole_update import UpdateFixture, publish

# Long enough for four passes, five seconds apart.
FOUR_PASSES = 17


class FeedConnectionTest(UpdateFixture, unittest.TestCase):
    def test_every_pass_goes_over_one_session_and_one_connection(self):
        self.arrange(TRACED_CHANNEL)
        publish(self.feed, "1.0.0")
        self.serve()
        self.start_browser()
        counted = poll_with_nothing_newer(self.machine, self.server, FOUR_PASSES)
        self.assertGreaterEqual(counted.passes, 4)
        # The trace saw every request the feed did, so its counts are whole.
        self.assertGreaterEqual(counted.opened_requests, counted.requests)
        self.assertEqual((counted.sessions, counted.connections, counted.accepted), (1, 1, 1))


if __name__ == "__main__":
    unittest.main()
