"""A manual upgrade under Wine: the browser's installer runs --prepare-install,
replaces the updater's executable and runs --install, with time in between.
In between, with a release staged and the browser closed, nobody can start
the service, so no staged installer runs beside the manual one."""

import shutil
import tempfile
import unittest
from pathlib import Path

import whole_update
from whole_update import (SERVICE, UPDATER, Browser, WineMachine, ask, install_browser, publish, serve, wait_for,
                          wait_for_status)

STOPPED = 1
# Longer than the service's five-second pause before it notices a closed
# browser, with time for a hand-off and an installer run.
HAND_OFF_TIME = 12


class ReplacementTest(unittest.TestCase):
    def installer_ran(self) -> bool:
        return self.machine.host_path(whole_update.INSTALLER_RECORD).exists()

    def test_nobody_starts_the_updater_between_prepare_install_and_install(self):
        self.machine = self.enterContext(WineMachine())
        feed = Path(self.enterContext(tempfile.TemporaryDirectory()))
        install_browser(self.machine, "1.0.0")
        publish(feed, "1.1.0")
        self.enterContext(serve(feed))
        browser = Browser(self.machine)
        self.addCleanup(browser.close)
        ask(self.machine, "check")
        self.assertEqual(wait_for_status(self.machine, ("ready", "error")),
                         {"ok": True, "state": "ready", "installedVersion": "1.0.0", "availableVersion": "1.1.0"})

        prepared = self.machine.updater("--prepare-install")
        self.assertEqual((prepared.returncode, prepared.stderr), (0, b""))
        browser.close()
        self.assertNotEqual(self.machine.wine("sc.exe", "start", SERVICE).returncode, 0)
        self.assertEqual(ask(self.machine, "check"), {"ok": False, "error": "Start native updater (1058)"})
        self.assertFalse(wait_for(self.installer_ran, HAND_OFF_TIME), "the staged installer ran")
        self.assertEqual(self.machine.service_state().get("STATE"), STOPPED)

        # The executable is replaced at its fixed place, as the installer
        # replaces it: a copy beside it moved over it.
        replacement = UPDATER + ".new"
        shutil.copyfile(self.machine.host_path(UPDATER), self.machine.host_path(replacement))
        moved = self.machine.wine("cmd.exe", "/c", "move", "/y", replacement, UPDATER)
        self.assertEqual(moved.returncode, 0, moved.stdout + moved.stderr)

        installed = self.machine.updater("--install", "1.0.0")
        self.assertEqual((installed.returncode, installed.stderr), (0, b""))
        started = self.machine.wine("sc.exe", "start", SERVICE)
        self.assertEqual(started.returncode, 0, started.stdout + started.stderr)
        # The staged release was kept, and the service hands it off now.
        self.assertTrue(wait_for(lambda: ask(self.machine, "status").get("installedVersion") == "1.1.0",
                                 HAND_OFF_TIME * 5))
        self.assertTrue(self.installer_ran())


if __name__ == "__main__":
    unittest.main()
