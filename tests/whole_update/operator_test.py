"""What an administrator sees and steers under Wine: the update history of
a whole update and of a failed installer, and a machine whose policy turns
updates off making no request of the feed."""

import re
import unittest

from whole_update import DATA, SERVICE, UpdateFixture, ask, publish, requested_files, wait_for, wait_for_status

INSTALLER_FAILS = r"C:\Program Files\Ostrel\Application\installer-fails"
POLICY_KEY = r"HKLM\SOFTWARE\Policies\Ostrel\Update"
LINE = re.compile(r"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z) (service|worker|install|uninstall|prepare-install) "
                  r"(\d+) (.+)")
STOPPED = 1


class OperatorTest(UpdateFixture, unittest.TestCase):
    def history(self) -> list:
        """The history's lines as (role, event), each checked against the format."""
        path = self.machine.host_path(DATA + r"\history.log")
        if not path.exists():
            return []
        text = path.read_bytes().decode()
        self.assertTrue(text.endswith("\r\n"), text)
        lines = text[:-2].split("\r\n")
        matches = [LINE.fullmatch(line) for line in lines]
        self.assertTrue(all(matches), lines)
        return [(match[2], match[4]) for match in matches]

    def assertEventsInOrder(self, role: str, expected: list):
        """The role's events hold the expected ones in that order, each a
        full match of its pattern; others may come between them."""
        events = iter(event for who, event in self.history() if who == role)
        for pattern in expected:
            self.assertTrue(any(re.fullmatch(pattern, event) for event in events),
                            f"{role} never wrote {pattern!r} in order: {self.history()}")

    def test_the_history_tells_one_whole_update(self):
        browser = self.stage()
        browser.close()
        self.assertEqual(wait_for_status(self.machine, ("up_to_date", "error"))["state"], "up_to_date")
        self.assertTrue(wait_for(self.worker_ended, 30))
        size = (self.feed / "Ostrel-Setup-1.1.0.exe").stat().st_size
        self.assertEventsInOrder("install", [r"--install 1\.0\.0 succeeded"])
        self.assertEventsInOrder("service", [
            "Service started", r"Found release 1\.1\.0", r"Download of Ostrel-Setup-1\.1\.0\.exe started",
            rf"Download of Ostrel-Setup-1\.1\.0\.exe completed with {size} bytes",
            r"Installer of release 1\.1\.0 verified", r"Handed release 1\.1\.0 to the worker", "Service ended"])
        self.assertEventsInOrder("worker", [
            "Worker started", r"Installing release 1\.1\.0", r"Installer exited with code 0 after \d+ s",
            r"Installed release 1\.1\.0", "Worker ended"])

    def test_the_history_keeps_a_failed_installers_exit_code(self):
        browser = self.stage()
        self.machine.host_path(INSTALLER_FAILS).write_bytes(b"")
        browser.close()
        self.assertTrue(wait_for(self.worker_ended, 120))
        self.assertEventsInOrder("worker", [
            "Worker started", r"Installing release 1\.1\.0", r"Installer exited with code 1603 after \d+ s",
            "Worker ended: Native installer reported a failure"])
        status = ask(self.machine, "status")
        self.assertEqual((status["state"], status["installedVersion"], status.get("message")),
                         ("ready", "1.0.0", "Native installer reported a failure"))

    def worker_ended(self) -> bool:
        return any(who == "worker" and event.startswith("Worker ended") for who, event in self.history())

    def test_updates_turned_off_by_policy_make_no_feed_request(self):
        self.arrange()
        publish(self.feed, "1.1.0")
        server = self.serve()
        added = self.machine.wine("reg", "add", POLICY_KEY, "/v", "UpdatesEnabled", "/t", "REG_DWORD", "/d", "0",
                                  "/f")
        self.assertEqual(added.returncode, 0, added.stderr)
        self.start_browser()
        self.assertEqual(ask(self.machine, "check"), {"ok": False, "error": "Updates are turned off by machine policy"})
        self.assertEqual(ask(self.machine, "status")["state"], "up_to_date")
        # Started by hand, the service checks nothing either and ends.
        self.assertEqual(self.machine.wine("sc.exe", "start", SERVICE).returncode, 0)
        self.assertTrue(wait_for(lambda: ("service", "Updates are turned off by machine policy") in self.history(),
                                 30))
        self.assertTrue(wait_for(lambda: self.machine.service_state().get("STATE") == STOPPED, 30))
        self.assertEqual(requested_files(server), [])
        self.assertIsNone(self.installer_record())


if __name__ == "__main__":
    unittest.main()
