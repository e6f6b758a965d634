"""A bad release under Wine while the browser runs: its installer is
downloaded once and not again before its backoff, across passes and a
restart of the service, while the checks go on at their pace and a corrected
release is taken at once."""

import unittest

from bad_release import INSTALLER, SIZE, publish_with_other_bytes, run_with_bad_release
from whole_update import UpdateFixture, ask, publish, published_status, requested_files, wait_for

# Long enough for a dozen checks; with the restart below, well within the
# first backoff of two minutes.
WATCHED_SECONDS = 70
CORRECTED = "1.1.1"
STOPPED = 1


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

        ask(self.machine, "stop")
        self.assertTrue(wait_for(lambda: self.machine.service_state().get("STATE") == STOPPED, 30))
        checks = requested_files(self.server).count("release.json")
        ask(self.machine, "check")
        self.assertTrue(wait_for(lambda: requested_files(self.server).count("release.json") >= checks + 2, 30))
        self.assertEqual(requested_files(self.server).count(INSTALLER), 1)

        publish(self.feed, CORRECTED, SIZE)
        # The next pass, five seconds at most, and a download of 1 MiB.
        self.assertTrue(wait_for(lambda: published_status(self.machine).get("state") == "ready", 15, 0.1),
                        published_status(self.machine))
        self.assertEqual(published_status(self.machine)["availableVersion"], CORRECTED)
        self.assertEqual(requested_files(self.server).count(f"Ostrel-Setup-{CORRECTED}.exe"), 1)


if __name__ == "__main__":
    unittest.main()
