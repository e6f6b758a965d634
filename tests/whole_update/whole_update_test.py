"""Whole updates under Wine: the integration build installed at its fixed
place in a fresh Wine prefix, its service run by Wine's service manager,
releases published with ostrel-release on the local HTTPS feed, the stand-in
browser, and the native messaging host asked over real pipes."""

import time
import unittest

import whole_update
from whole_update import UpdateFixture, ask, publish, serve, wait_for, wait_for_status

INTEGRATION_MARK = b"OSTREL WINE INTEGRATION BUILD"
STOPPED, RUNNING = 1, 4
# Long enough for the service to poll the feed twice (it pauses five seconds).
TWO_POLLS = 12


class WholeUpdateTest(UpdateFixture, unittest.TestCase):
    def test_installs_a_published_release_once_the_browser_closes(self):
        browser = self.stage()
        browser.close()
        self.assertEqual(wait_for_status(self.machine, ("up_to_date", "error")),
                         {"ok": True, "state": "up_to_date", "installedVersion": "1.1.0"})
        self.assertEqual(self.installer_record(), "argument=/S\nargument=/NATIVEUPDATE\nversion=1.1.0\n"
                         f"sha512={whole_update.signed_sha512(self.feed)}\n")
        report = self.machine.updater("--inspect-installation")
        self.assertEqual((report.returncode, report.stdout), (0, b'{"readOnly":true,"legacy":false,"running":false}\r\n'))
        removed = self.machine.updater("--uninstall")
        self.assertEqual((removed.returncode, removed.stderr), (0, b""))
        self.assertEqual(self.machine.service_state(), {})
        self.assertNotIn("ostrelupdate.exe", self.machine.running_programs())
        self.assertNotIn("ostrelapply.exe", self.machine.running_programs())

    def test_waits_for_the_copy_an_installer_relaunched(self):
        browser = self.stage(relaunches=True)
        browser.close()
        self.assertEqual(wait_for_status(self.machine, ("up_to_date", "error")),
                         {"ok": True, "state": "up_to_date", "installedVersion": "1.1.0"})
        # The copy found 1.0.0 still recorded, five seconds after the
        # installer it came from had ended.
        self.assertEqual(self.installer_record(),
                         "argument=/S\nargument=/NATIVEUPDATE\nargument=/RELAUNCHED\nversion=1.1.0\n"
                         f"sha512={whole_update.signed_sha512(self.feed)}\ninstalled=1.0.0\n")
        self.assertFalse({"ostrel-setup-1.1.0.exe", "stand-in-installer-copy.exe"} & set(self.machine.running_programs()))
        self.assertNotIn("ostrelapply.exe", self.machine.running_programs())

    def test_refuses_what_the_feed_changed_after_signing(self):
        def tamper_installer():
            installer = self.feed / "Ostrel-Setup-1.1.0.exe"
            body = bytearray(installer.read_bytes())
            body[len(body) // 2] ^= 0x01
            installer.write_bytes(bytes(body))

        def tamper_metadata():
            metadata = self.feed / "release.json"
            metadata.write_bytes(metadata.read_bytes().replace(b"1.1.0", b"1.1.1"))

        for tamper, message in ((tamper_installer, "Installer SHA-512 mismatch"),
                                (tamper_metadata, "Release signature mismatch")):
            with self.subTest(message=message):
                self.arrange()
                publish(self.feed, "1.1.0")
                tamper()
                with serve(self.feed):
                    browser = self.start_browser()
                    status = self.check_until(("ready", "error"))
                    self.assertEqual((status["state"], status.get("message")), ("error", message))
                    browser.close()
                    time.sleep(TWO_POLLS / 2)
                    self.assert_nothing_installed()

    def test_ignores_a_release_that_is_not_newer(self):
        for version in ("1.0.0", "0.9.0"):
            with self.subTest(version=version):
                self.arrange()
                publish(self.feed, version)
                with serve(self.feed) as server:
                    self.start_browser()
                    self.assertEqual(self.check_until(("up_to_date", "error")),
                                     {"ok": True, "state": "up_to_date", "installedVersion": "1.0.0"})
                    time.sleep(TWO_POLLS)
                    requested = whole_update.requested_files(server)
                self.assertIn("release.json", requested)
                self.assertIn("release.sig", requested)
                self.assertNotIn(f"Ostrel-Setup-{version}.exe", requested)

    def test_keeps_the_release_staged_while_the_browser_runs(self):
        self.stage()
        time.sleep(TWO_POLLS)
        self.assertEqual(ask(self.machine, "status")["state"], "ready")
        self.assertNotIn("ostrelapply.exe", self.machine.running_programs())
        self.assertIsNone(self.installer_record())

    def test_never_installs_after_an_uninstall(self):
        browser = self.stage()
        removed = self.machine.updater("--uninstall")
        self.assertEqual((removed.returncode, removed.stderr), (0, b""))
        browser.close()
        time.sleep(TWO_POLLS)
        self.assertIsNone(self.installer_record())
        self.assertNotIn("ostrelapply.exe", self.machine.running_programs())
        self.assertEqual(self.machine.service_state(), {})

    def test_stops_when_the_extension_asks(self):
        self.arrange()
        publish(self.feed, "1.0.0")
        self.serve()
        self.start_browser()
        self.check_until(("up_to_date", "error"))
        self.assertEqual(self.machine.service_state().get("STATE"), RUNNING)
        ask(self.machine, "stop")
        stopped = wait_for(lambda: self.machine.service_state().get("STATE") == STOPPED and self.machine.service_state(), 30)
        self.assertEqual((stopped.get("STATE"), stopped.get("WIN32_EXIT_CODE")), (STOPPED, 0))

    def test_the_integration_build_carries_its_mark(self):
        self.assertIn(INTEGRATION_MARK, whole_update.program("OSTREL_UPDATE_EXE").read_bytes())


if __name__ == "__main__":
    unittest.main()
