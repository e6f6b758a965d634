"""The hand-off under Wine: how soon after the browser closes the staged
release goes to the worker, and a process of the worker's image that does
nothing, which keeps the service away only in its first minute."""

import time
import unittest

import whole_update
from whole_update import (DATA, UpdateFixture, ask, publish, published_status, seconds_from_close, wait_for,
                          wait_for_status)

WORKER = DATA + r"\OstrelApply.exe"
# A process of the worker's image younger than this counts as a worker on
# its way to the lock.
STARTING_SECONDS = 60


def handed_off(machine) -> bool:
    return published_status(machine).get("state") in ("installing", "up_to_date")


class HandOffTest(UpdateFixture, unittest.TestCase):
    def test_hands_the_release_off_within_a_second_of_the_browser_closing(self):
        browser = self.stage()
        seconds = seconds_from_close(browser, lambda: handed_off(self.machine), 30)
        self.assertIsNotNone(seconds, "no hand-off")
        self.assertLess(seconds, 1.0)
        self.assertEqual(wait_for_status(self.machine, ("up_to_date", "error"))["installedVersion"], "1.1.0")

    def test_an_idle_process_of_the_worker_image_keeps_the_service_away_only_in_its_first_minute(self):
        # An update first, so the worker's image is the one the service made.
        self.stage().close()
        self.assertEqual(wait_for_status(self.machine, ("up_to_date", "error"))["installedVersion"], "1.1.0")
        idle = self.file_reader("suspend", WORKER)
        started = time.monotonic()
        self.assertEqual(idle.stdout.readline().strip(), b"held")
        publish(self.feed, "1.2.0")
        browser = self.start_browser()

        # The extension asks again now and then, as it does every hour.
        def staged():
            ask(self.machine, "check")
            return published_status(self.machine).get("availableVersion") == "1.2.0"

        self.assertTrue(wait_for(staged, STARTING_SECONDS * 3, 3))
        self.assertGreater(time.monotonic() - started, STARTING_SECONDS - 2, "staged beside a starting worker")
        browser.close()
        self.assertEqual(wait_for_status(self.machine, ("up_to_date", "error")),
                         {"ok": True, "state": "up_to_date", "installedVersion": "1.2.0"})
        # Its end, as its starter saw it once told to let go.
        self.assertEqual(idle.communicate(timeout=60)[0].strip(), b"ended 1")


if __name__ == "__main__":
    unittest.main()
