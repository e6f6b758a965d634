"""The installation report of the real executable under Wine."""

import os
import shutil
import unittest
from pathlib import Path

from updater import run_updater

WINE_PREFIX = Path(os.environ.get("WINEPREFIX") or Path.home() / ".wine")
APPLICATION_DIRECTORY = WINE_PREFIX / "drive_c" / "Program Files" / "Ostrel"


class InstallationReportTest(unittest.TestCase):
    def test_reports_no_installation(self):
        run = run_updater("--inspect-installation")
        self.assertEqual(run.standard_error, b"")
        self.assertEqual(run.standard_output, b'{"readOnly":true,"legacy":false,"running":false}\r\n')
        self.assertEqual(run.exit_code, 0)

    def test_fails_when_the_report_cannot_be_written(self):
        # A script must not read an exit code whose report never arrived.
        with open("/dev/full", "wb") as full_disk:
            run = run_updater("--inspect-installation", standard_output=full_disk)
        self.assertEqual(run.standard_error, b"Write installation report (112)\r\n")
        self.assertEqual(run.exit_code, 1)

    def test_refuses_an_application_directory_it_cannot_vouch_for(self):
        # Wine synthesises every file's owner as the ordinary user it runs as.
        APPLICATION_DIRECTORY.mkdir()
        self.addCleanup(shutil.rmtree, APPLICATION_DIRECTORY)
        run = run_updater("--inspect-installation")
        self.assertEqual(run.standard_output, b"")
        self.assertEqual(run.standard_error, b"Updater object has an untrusted owner or ACL\r\n")
        self.assertEqual(run.exit_code, 1)


if __name__ == "__main__":
    unittest.main()
