"""The companion extension in Debian's Chromium, headless, loaded unpacked,
against the integration build of OstrelUpdate.exe under Wine, at its fixed
place in a Wine prefix of the test's own, through native messaging as
Chromium does it on Linux (a host manifest in the profile, naming a program
that runs the updater under Wine): the flows where the real updater matters.
The extension's worker asks "check" as soon as it is installed, so the
service starts with Chromium. The popup is driven as a tab of the
extension, with the keyboard. popup_test.py words every state and failure
against canned hosts."""

import tempfile
import unittest
from pathlib import Path

from extension_fixture import ExtensionCase, wait_for
import whole_update
from whole_update import Browser, WineMachine, install_browser, publish, serve

# The worker's own "status" alarm, fired now rather than within its minute.
FIRE_STATUS_ALARM = "chrome.alarms.create('updater-status', { when: Date.now() }).then(() => true)"


class ExtensionTest(ExtensionCase):
    def test_follows_an_update_from_the_check_to_the_installed_release(self):
        machine = self.enterContext(WineMachine())
        install_browser(machine, "1.0.0")
        self.host_runs_updater(machine)
        self.start_chromium()
        t = self.text

        popup = self.open_popup()
        up_to_date = (t("upToDateHeadline"), t("installedDetail", "1.0.0"), "", None, t("checkNow"))
        self.expect_words(popup, *up_to_date)
        self.assertEqual(self.badge(), "")

        feed = Path(self.enterContext(tempfile.TemporaryDirectory()))
        publish(feed, "1.1.0")
        self.enterContext(serve(feed))
        browser = Browser(machine)
        self.addCleanup(browser.close)
        # The service the worker started found no browser and ended, as it
        # does: this check starts it again, and the popup, shown the answer,
        # watches it find and download the release.
        self.check_now(popup)
        self.expect_words(popup, t("readyHeadline", "1.1.0"), t("readyDetail", "1.1.0"), "", None, None)
        self.assertEqual(self.badge(), t("badgeReady"))

        # With no popup open, only the worker can clear the badge.
        popup.close()
        browser.close()

        def cleared():
            self.worker.evaluate(FIRE_STATUS_ALARM)
            return wait_for(lambda: self.badge() == "", 2, 0.1)

        self.assertTrue(wait_for(cleared, 60, 0))
        self.expect_words(self.open_popup(), t("upToDateHeadline"), t("installedDetail", "1.1.0"), "", None,
                          t("checkNow"))

    def test_a_browser_nobody_touches_gets_the_newest_release(self):
        """The browser starts, runs a while and closes; nobody opens the popup,
        so only the extension's own asking can bring the release."""
        machine = self.enterContext(WineMachine())
        install_browser(machine, "1.0.0")
        self.host_runs_updater(machine)
        feed = Path(self.enterContext(tempfile.TemporaryDirectory()))
        publish(feed, "1.1.0")
        self.enterContext(serve(feed))
        browser = Browser(machine)
        self.addCleanup(browser.close)
        self.start_chromium()

        staged = wait_for(lambda: whole_update.status_file(machine).get("state") == "ready", 60)
        self.assertTrue(staged, whole_update.status_file(machine))
        self.stop_chromium()
        browser.close()
        wait_for(lambda: whole_update.status_file(machine).get("installedVersion") == "1.1.0", 60)
        self.assertEqual(whole_update.status_file(machine),
                         {"ok": True, "state": "up_to_date", "installedVersion": "1.1.0"})
        self.assertEqual([run["version"] for run in whole_update.installer_runs(machine)], ["1.1.0"])

    def test_says_why_an_update_cannot_be_had(self):
        machine = self.enterContext(WineMachine())
        install_browser(machine, "1.0.0")
        self.host_runs_updater(machine)
        feed = Path(self.enterContext(tempfile.TemporaryDirectory()))
        publish(feed, "1.1.0")
        installer = feed / "Ostrel-Setup-1.1.0.exe"
        tampered = bytearray(installer.read_bytes())
        tampered[len(tampered) // 2] ^= 0x01
        installer.write_bytes(bytes(tampered))
        self.enterContext(serve(feed))
        browser = Browser(machine)
        self.addCleanup(browser.close)
        self.start_chromium()
        t = self.text

        popup = self.open_popup()
        failed = (t("notGenuineHeadline"), t("notGenuineDetail"), "",
                  f"{t('updaterSaid')} Installer SHA-512 mismatch", t("tryAgain"))
        # The worker's check at installation may have found it already; the
        # popup follows until a button comes, and "Check now" finds it if not.
        self.assertTrue(wait_for(lambda: self.words(popup)[4] is not None, 120, 0.1), self.words(popup))
        if self.words(popup) != failed:
            self.check_now(popup)
        self.expect_words(popup, *failed)
        self.assertEqual(self.badge(), "!")
        self.check_now(popup)
        self.expect_words(popup, *failed)

        removed = machine.updater("--uninstall")
        self.assertEqual((removed.returncode, removed.stderr), (0, b""))
        popup.press("Enter")
        self.expect_words(popup, t("uninstallingHeadline"), t("uninstallingDetail"), "",
                          f"{t('updaterSaid')} Ostrel is being uninstalled", None)
        self.assertEqual(self.badge(), "!")


if __name__ == "__main__":
    unittest.main()
