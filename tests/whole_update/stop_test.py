"""A stop under Wine while the service downloads an installer, with the
browser still running: the service ends and leaves a settled status, never
"downloading"."""

import time
import unittest

from whole_update import UpdateFixture, ask, publish, published_status, wait_for
# Found through the path whole_update adds.
from feed_server import Fault  # noqa: E402

INSTALLER = "Ostrel-Setup-1.1.0.exe"
MiB = 1 << 20
SETTLED = ("ready", "up_to_date", "error")
# The service hears a stop within a second; the rest is its exit and the
# status written before it.
SETTLE_SECONDS = 5


class StopTest(UpdateFixture, unittest.TestCase):
    def test_a_stop_during_an_installer_download_leaves_a_settled_status(self):
        self.arrange()
        publish(self.feed, "1.1.0", size=4 * MiB)
        server = self.serve()
        server.feed_state.arm(INSTALLER, Fault("stall-body", offset=MiB, seconds=600))
        browser = self.start_browser()
        ask(self.machine, "check")
        self.assertTrue(wait_for(lambda: server.feed_state.active > 0, 60, 0.05), "the download never stalled")
        self.assertEqual(published_status(self.machine).get("state"), "downloading")

        start = time.monotonic()
        self.assertEqual(ask(self.machine, "stop").get("ok"), True)
        settled = wait_for(lambda: published_status(self.machine).get("state") in SETTLED, SETTLE_SECONDS, 0.05)
        seconds = time.monotonic() - start
        server.feed_state.release()
        self.assertTrue(settled, f"still {published_status(self.machine)} {seconds:.1f} s after the stop")
        self.assertIsNone(browser.process.poll(), "the browser closed")
        self.assertEqual(published_status(self.machine).get("state"), "error")


if __name__ == "__main__":
    unittest.main()
