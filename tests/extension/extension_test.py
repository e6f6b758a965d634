"""The companion extension in Debian's Chromium, headless, loaded unpacked:
its popup and its badge against the integration build of OstrelUpdate.exe
under Wine, at its fixed place in a Wine prefix of the test's own, through
native messaging as Chromium does it on Linux (a host manifest in the
profile, naming a program that runs the updater under Wine). The popup is
driven as a tab of the extension, with the keyboard, and each state it shows
is kept as a screenshot."""

import json
import os
import shlex
import sys
import tempfile
import unittest
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPOSITORY / "tests" / "whole_update"))

import whole_update  # noqa: E402
from companion_browser import (EXTENSION, extension_worker, hosts_running, updater_host_script,  # noqa: E402
                               write_host_manifest, write_host_program)
from headless_chromium import HeadlessChromium, Page  # noqa: E402
from whole_update import Browser, WineMachine, install_browser, publish, serve, wait_for  # noqa: E402

POPUP = f"{whole_update.ORIGIN}popup.html"
# The worker asks every minute; the update itself takes seconds.
WORKER_PERIOD = 90

UP_TO_DATE = "Ostrel is up to date"
PROBLEM, READY, CLEAR = "!", "new", ""


def status(state: str, **members) -> dict:
    return {"ok": True, "state": state, "installedVersion": "1.0.0", **members}


class ExtensionTest(unittest.TestCase):
    def setUp(self):
        self.directory = Path(self.enterContext(tempfile.TemporaryDirectory(prefix="ostrel-extension-")))
        self.profile = self.directory / "profile"
        self.host_program = self.directory / "host"
        self.manifest = write_host_manifest(self.profile, self.host_program)

    # The host program behind the manifest.

    def host_runs(self, script: str):
        write_host_program(self.host_program, script)

    def host_runs_updater(self, machine: WineMachine):
        """The updater under Wine behind the manifest. A host that Chromium
        started just before it closed runs on without it; one still running
        when the machine stops would start a Wine server of its own in the
        removed prefix, so the machine stops only once none is left."""

        self.addCleanup(lambda: self.assertTrue(wait_for(lambda: not hosts_running(machine), 30, 0.1),
                                                "a native messaging host outlived Chromium"))
        self.host_runs(updater_host_script(machine))

    def host_answers(self, reply: dict):
        reply_file = self.directory / "reply.json"
        reply_file.write_text(json.dumps(reply))
        canned_host = Path(__file__).with_name("canned_host.py")
        self.host_runs(f'exec {shlex.quote(sys.executable)} {shlex.quote(str(canned_host))} {reply_file} "$@"')

    # The browser.

    def start_chromium(self):
        self.chromium = self.enterContext(HeadlessChromium(EXTENSION, self.profile))
        self.worker = extension_worker(self.chromium)

    def open_popup(self) -> Page:
        return self.chromium.open(POPUP)

    def badge(self) -> str:
        return self.worker.evaluate("chrome.action.getBadgeText({})")

    # The popup as a user meets it.

    def words(self, popup: Page) -> tuple:
        """Headline, detail, the button's label, and whether the popup is still following the updater."""
        return tuple(popup.evaluate(
            "['headline', 'detail', 'check'].map((id) => document.getElementById(id).textContent)"
            ".concat(document.getElementById('check').getAttribute('aria-disabled') === 'true')"))

    def expect_words(self, popup: Page, *expected, seconds: float = 120):
        wait_for(lambda: self.words(popup) == expected, seconds, 0.1)
        self.assertEqual(self.words(popup), expected)

    def check_now(self, popup: Page):
        """Tab to the button and press Enter, as a keyboard user does."""
        popup.press("Tab")
        self.assertEqual(popup.evaluate("document.activeElement.id"), "check")
        popup.press("Enter")

    def keep(self, popup: Page, name: str):
        directory = Path(os.environ["OSTREL_SCREENSHOT_DIRECTORY"])
        directory.mkdir(parents=True, exist_ok=True)
        popup.screenshot("main", directory / f"{name}.png")

    def test_follows_an_update_from_the_check_to_the_installed_release(self):
        machine = self.enterContext(WineMachine())
        install_browser(machine, "1.0.0")
        self.host_runs_updater(machine)
        self.start_chromium()

        popup = self.open_popup()
        self.expect_words(popup, UP_TO_DATE, "Version 1.0.0 is installed.", "Check now", False)
        self.assertEqual(self.badge(), CLEAR)
        self.keep(popup, "up-to-date")

        feed = Path(self.enterContext(tempfile.TemporaryDirectory()))
        publish(feed, "1.1.0")
        self.enterContext(serve(feed))
        browser = Browser(machine)
        self.addCleanup(browser.close)
        self.check_now(popup)
        self.expect_words(popup, "Ostrel 1.1.0 is ready", "It installs when you close the browser.", "Check now", False)
        self.assertEqual(self.badge(), READY)
        self.keep(popup, "ready")

        # With no popup open, only the worker can clear the badge.
        popup.close()
        browser.close()
        wait_for(lambda: self.badge() == CLEAR, WORKER_PERIOD + 30)
        self.assertEqual(self.badge(), CLEAR)
        self.expect_words(self.open_popup(), UP_TO_DATE, "Version 1.1.0 is installed.", "Check now", False)

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
        self.chromium.close()
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

        popup = self.open_popup()
        self.expect_words(popup, UP_TO_DATE, "Version 1.0.0 is installed.", "Check now", False)
        self.check_now(popup)
        self.expect_words(popup, "The update check failed", "The updater said: Installer SHA-512 mismatch",
                          "Try again", False)
        self.assertEqual(self.badge(), PROBLEM)
        self.keep(popup, "error")

        removed = machine.updater("--uninstall")
        self.assertEqual((removed.returncode, removed.stderr), (0, b""))
        popup.press("Enter")
        self.expect_words(popup, "The updater could not do that", "The updater said: Ostrel is being uninstalled",
                          "Try again", False)
        self.assertEqual(self.badge(), PROBLEM)
        self.keep(popup, "refused")

    def test_words_every_answer(self):
        """Answers the popup must word without a real update behind them: the
        states that pass in a moment, and the ways native messaging fails."""
        self.host_runs("exit 1")
        self.start_chromium()
        cases = (
            ("checking", lambda: self.host_answers(status("checking")),
             ("Checking for updates…", "Version 1.0.0 is installed.", "Check now", True), None),
            ("downloading", lambda: self.host_answers(status("downloading", availableVersion="1.1.0")),
             ("Downloading Ostrel 1.1.0…", "It will be ready to install when the download is done.", "Check now", True),
             None),
            ("installing", lambda: self.host_answers(status("installing", availableVersion="1.1.0")),
             ("Installing Ostrel 1.1.0…", "Ostrel will be up to date when you open it again.", "Check now", True),
             None),
            # What "check" answers while the apply worker holds its lock.
            ("installing-unnamed", lambda: self.host_answers(status("installing")),
             ("Installing the update…", "Ostrel will be up to date when you open it again.", "Check now", True), None),
            ("unexpected", lambda: self.host_answers(status("sleeping")),
             ("The updater's answer was not understood",
              "Updating Ostrel may bring the extension and the updater back in step.", "Try again", False), PROBLEM),
            # The request is read first: a host gone before Chromium writes it
            # is a broken pipe to Chromium, not an exit.
            ("host-failed", lambda: self.host_runs("head -c 4 >/dev/null; exit 1"),
             ("The updater did not answer", "The browser said: Native host has exited.", "Try again", False), PROBLEM),
            ("host-missing", self.manifest.unlink,
             ("The updater is not installed",
              "Ostrel cannot look for updates. Reinstalling Ostrel brings the updater back.", "Try again", False),
             PROBLEM),
        )
        for name, arrange, expected, badge in cases:
            with self.subTest(name):
                arrange()
                popup = self.open_popup()
                self.expect_words(popup, *expected, seconds=30)
                if badge is not None:
                    self.assertEqual(self.badge(), badge)
                self.keep(popup, name)
                popup.close()


if __name__ == "__main__":
    unittest.main()
