"""A bad release under Wine while the browser runs: its installer is
downloaded once and not again before its backoff, while the checks go on at
their pace and a corrected release is taken at once."""

import unittest

from bad_release import SIZE, publish_with_other_bytes, run_with_bad_release
from whole_update import UpdateFixture, publish, published_status, requested_files, wait_for

# Well within the first backoff of two minutes, long enough for a dozen checks.
WATCHED_SECONDS = 70
CORRECTED = "1.1.1"


class BadReleaseTest(UpdateFixture, unittest.TestCase):
    def test_costs_one_download_until_its_backoff_and_a_corrected_release_is_taken_at_once(self):
        self.arrange()
        publish_with_other_bytes(self.feed)
        self.serve()
        self.start_browser()
        cost = run_with_bad_release(self.machine, self.server, WATCHED_SECONDS)
        self.assertEqual(cost.downloads, 1)
        self.assertGreaterEqual(cost.checks, WATCHED_SECONDS // 5 - 2)
        self.assertEqual((cost.status.get("state"), cost.status.get("message")),
                         ("error", "Installer SHA-512 mismatch"))

        publish(self.feed, CORRECTED, SIZE)
        # The next pass, five seconds at most, and a download of 1 MiB.
        self.assertTrue(wait_for(lambda: published_status(self.machine).get("state") == "ready", 15, 0.1),
                        published_status(self.machine))
        self.assertEqual(published_status(self.machine)["availableVersion"], CORRECTED)
        self.assertEqual(requested_files(self.server).count(f"Ostrel-Setup-{CORRECTED}.exe"), 1)


if __name__ == "__main__":
    unittest.main()
