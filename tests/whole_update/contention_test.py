"""Whole updates under Wine while others hold the updater's files: the
companion extension asking "status" back to back, a program reading
status.json without a pause, a user holding the staged installer open."""

import sys
import time
import unittest

import whole_update
from whole_update import DATA, Pollers, UpdateFixture, ask, publish, wait_for, wait_for_status

UP_TO_DATE = {"ok": True, "state": "up_to_date", "installedVersion": "1.1.0"}
SHARED_INSTALLER = "Ostrel-Setup-latest.exe"


class ContentionTest(UpdateFixture, unittest.TestCase):
    def test_pollers_asking_status_back_to_back_never_keep_an_update_from_completing(self):
        for update in range(1, 6):
            with self.subTest(update=update):
                browser = self.stage()
                with Pollers(self.machine, 2) as pollers:
                    browser.close()
                    final = wait_for_status(self.machine, ("up_to_date", "error"))
                self.assertEqual(final, UP_TO_DATE)
                self.assertEqual(pollers.failures, [])
                self.assertGreater(pollers.replies, pollers.unstarted)
                print(f"update {update}: {final['state']} {final['installedVersion']}, "
                      f"{pollers.replies} replies, {pollers.unstarted} hosts Wine did not start", file=sys.stderr)
            # Each update on a machine and a feed of its own.
            self.doCleanups()

    def test_a_program_reading_the_status_without_a_pause_never_keeps_an_update_from_completing(self):
        for update in range(1, 4):
            with self.subTest(update=update):
                browser = self.stage()
                reader = self.file_reader("read", DATA + r"\status.json")
                browser.close()
                final = wait_for_status(self.machine, ("up_to_date", "error"))
                reads, _failed = (int(number) for number in reader.communicate(timeout=60)[0].split())
                self.assertEqual(final, UP_TO_DATE)
                self.assertGreater(reads, 1000)
                print(f"update {update}: {final['state']} {final['installedVersion']}, {reads} reads", file=sys.stderr)
            self.doCleanups()

    def test_a_user_holding_the_staged_installer_costs_one_download(self):
        self.arrange()
        publish(self.feed, "1.1.0", name=SHARED_INSTALLER)
        server = self.serve()
        self.start_browser()
        self.assertEqual(self.check_until(("ready", "error"))["availableVersion"], "1.1.0")

        holder = self.file_reader("hold", DATA + "\\" + SHARED_INSTALLER)
        self.assertEqual(holder.stdout.readline().strip(), b"held")
        # ostrel-release refuses a name it has published with other bytes; a
        # feed made by other means can still reuse one, and the updater copes.
        for published in self.feed.iterdir():
            published.unlink()
        publish(self.feed, "1.2.0", name=SHARED_INSTALLER)
        def commit_refused():
            return ask(self.machine, "status").get("message") == "Commit verified installer (5)"

        self.assertTrue(wait_for(commit_refused, 60))
        # Three more passes while the name is held: each tries the commit again.
        time.sleep(3 * 7)
        self.assertTrue(commit_refused())

        holder.communicate(timeout=60)
        committed = wait_for(lambda: ask(self.machine, "status").get("availableVersion") == "1.2.0", 60)
        self.assertTrue(committed)
        self.assertEqual(whole_update.requested_files(server).count(SHARED_INSTALLER), 2,
                         "one download of 1.1.0 and one of 1.2.0")


if __name__ == "__main__":
    unittest.main()
