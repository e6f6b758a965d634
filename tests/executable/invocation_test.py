"""The invocation table and failure lines of the real executable under Wine."""

import unittest

from updater import run_updater

ORIGIN = "chrome-extension://inmdpcjjlckfjmggcpdcmbooiogihncc/"
UNSUPPORTED = b"Unsupported native updater invocation\r\n"


class InvocationTest(unittest.TestCase):
    def expect_failure(self, arguments, line):
        run = run_updater(*arguments)
        self.assertEqual(run.exit_code, 1, arguments)
        # The entry never writes to standard output.
        self.assertEqual(run.standard_output, b"", arguments)
        # Byte for byte: the line ends in CR LF, as standard output's lines do.
        self.assertEqual(run.standard_error, line, arguments)

    def test_unsupported_invocations(self):
        for arguments in (
            [],
            ["--SERVICE"],
            ["--install"],
            ["--inspect-installation", "x"],
            ["chrome-extension://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/"],
            [ORIGIN[:-1]],
        ):
            with self.subTest(arguments=arguments):
                self.expect_failure(arguments, UNSUPPORTED)

    def test_parent_ids(self):
        for arguments, line in (
            (["--apply", "0"], b"Invalid updater parent\r\n"),
            (["--apply", "12x"], b"Invalid updater parent\r\n"),
            (["--apply", "x12"], b"invalid stoul argument\r\n"),
            (["--apply", "4294967296"], b"stoul argument out of range\r\n"),
        ):
            with self.subTest(arguments=arguments):
                self.expect_failure(arguments, line)

    def test_apply_worker_refuses_any_account_but_local_system(self):
        # Under Wine every process runs as an ordinary user.
        self.expect_failure(["--apply", "1"], b"Only SYSTEM may apply a native release\r\n")

    def test_service_refuses_to_run_outside_its_fixed_location(self):
        # The test build runs from the build tree, never from Program Files;
        # the check comes before the dispatcher's ten-second wait under Wine.
        self.expect_failure(["--service"], b"Updater is not installed in its fixed application directory\r\n")

    def test_setup_commands_refuse_to_run_outside_the_fixed_location(self):
        # Wine's user counts as an elevated administrator, so each command
        # passes its identity check and stops at the fixed location.
        for arguments in (["--install", "1.2.3"], ["--uninstall"], ["--prepare-install"]):
            with self.subTest(arguments=arguments):
                self.expect_failure(arguments, b"Updater is not installed in its fixed application directory\r\n")


if __name__ == "__main__":
    unittest.main()
