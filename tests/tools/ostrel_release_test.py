"""The publisher's tool, driven as its users drive it: keygen, sign, verify.

Run by CTest with OSTREL_RELEASE_TOOL set to the built ostrel-release.
"""
import base64
import hashlib
import json
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

TOOL = os.environ["OSTREL_RELEASE_TOOL"]


def run(*arguments, timeout=60):
    return subprocess.run([TOOL, *map(str, arguments)], capture_output=True, text=True, timeout=timeout)


class ToolTestCase(unittest.TestCase):
    def setUp(self):
        self.directory = Path(tempfile.mkdtemp())
        self.addCleanup(subprocess.run, ["rm", "-rf", str(self.directory)])
        self.key = self.directory / "release-private-key.pem"
        self.public = self.directory / "release-public-key.pub"
        self.feed = self.directory / "feed"

    def keygen(self, key=None, public=None):
        result = run("keygen", "--private", key or self.key, "--public", public or self.public)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def installer(self, name="Ostrel-Setup-1.2.3.exe", content=os.urandom(70000)):
        path = self.directory / name
        path.write_bytes(content)
        return path

    def sign(self, installer, version="1.2.3", *options):
        return run("sign", "--key", self.key, "--installer", installer, "--version", version, "--out", self.feed,
                   *options, timeout=10)

    def verify(self, public=None):
        return run("verify", "--public", public or self.public, self.feed)

    def assertFailsWith(self, result, message, exit_code=1):
        self.assertEqual(result.returncode, exit_code, result.stderr)
        self.assertEqual(result.stderr, f"ostrel-release: {message}\n")
        self.assertEqual(result.stdout, "")


class RoundTripTest(ToolTestCase):
    def test_a_fresh_key_signs_a_feed_that_verifies(self):
        self.keygen()
        self.assertRegex(self.public.read_text(), r"^[0-9a-f]{64}\n$")
        self.assertEqual(self.key.stat().st_mode & 0o777, 0o600)
        installer = self.installer()
        signed = self.sign(installer, "1.2.3-rc.1")
        self.assertEqual(signed.returncode, 0, signed.stderr)
        self.assertEqual(sorted(p.name for p in self.feed.iterdir()),
                         ["Ostrel-Setup-1.2.3.exe", "release.json", "release.sig"])
        self.assertEqual((self.feed / "Ostrel-Setup-1.2.3.exe").read_bytes(), installer.read_bytes())
        document = json.loads((self.feed / "release.json").read_text())
        self.assertEqual(list(document), ["version", "file", "size", "sha512", "runtime"])
        self.assertEqual(document["runtime"], "chromium-native")
        verified = self.verify()
        self.assertEqual(verified.returncode, 0, verified.stderr)
        self.assertEqual(verified.stdout, "Verified release 1.2.3-rc.1: Ostrel-Setup-1.2.3.exe, 70000 bytes\n")

    def test_signing_again_replaces_the_release(self):
        self.keygen()
        self.assertEqual(self.sign(self.installer(content=b"old")).returncode, 0)
        self.assertEqual(self.sign(self.installer(content=b"new release"), "1.2.4").returncode, 0)
        self.assertEqual(self.verify().stdout, "Verified release 1.2.4: Ostrel-Setup-1.2.3.exe, 11 bytes\n")


class PublishedReleaseTest(ToolTestCase):
    def setUp(self):
        super().setUp()
        self.keygen()
        self.assertEqual(self.sign(self.installer(content=b"published"), "1.2.3").returncode, 0)

    def test_sign_refuses_a_version_not_newer_than_the_feeds(self):
        for version in ("1.2.3", "1.2.2", "1.2.3-rc.1"):
            with self.subTest(version=version):
                self.assertFailsWith(self.sign(self.installer(content=b"other"), version),
                                     f"Version {version} is not newer than the feed's 1.2.3 (--allow-older publishes it anyway)")
        self.assertEqual(self.verify().stdout, "Verified release 1.2.3: Ostrel-Setup-1.2.3.exe, 9 bytes\n")

    def test_allow_older_publishes_it_anyway(self):
        signed = self.sign(self.installer(content=b"rollback"), "1.2.2", "--allow-older")
        self.assertEqual(signed.returncode, 0, signed.stderr)
        self.assertEqual(self.verify().stdout, "Verified release 1.2.2: Ostrel-Setup-1.2.3.exe, 8 bytes\n")

    def test_sign_refuses_to_compare_with_a_feed_that_does_not_verify(self):
        (self.feed / "release.json").write_text("{}")
        self.assertFailsWith(self.sign(self.installer(), "2.0.0"),
                             "The feed's current release does not verify: Release signature mismatch")


class TamperedFeedTest(ToolTestCase):
    def setUp(self):
        super().setUp()
        self.keygen()
        self.assertEqual(self.sign(self.installer()).returncode, 0)

    def test_every_flipped_byte_of_the_metadata_breaks_the_signature(self):
        metadata = self.feed / "release.json"
        original = metadata.read_bytes()
        for index in range(len(original)):
            changed = bytearray(original)
            changed[index] ^= 0x01
            metadata.write_bytes(changed)
            with self.subTest(byte=index):
                self.assertFailsWith(self.verify(), "Release signature mismatch")
        metadata.write_bytes(original)
        self.assertEqual(self.verify().returncode, 0)

    def test_one_appended_byte_changes_the_installer_size(self):
        with open(self.feed / "Ostrel-Setup-1.2.3.exe", "ab") as installer:
            installer.write(b"\0")
        self.assertFailsWith(self.verify(), "Installer size mismatch")

    def test_a_changed_installer_byte_changes_the_digest(self):
        installer = self.feed / "Ostrel-Setup-1.2.3.exe"
        content = bytearray(installer.read_bytes())
        content[-1] ^= 0xFF
        installer.write_bytes(content)
        self.assertFailsWith(self.verify(), "Installer SHA-512 mismatch")

    def test_another_key_does_not_verify_the_feed(self):
        other = self.directory / "other.pub"
        self.keygen(self.directory / "other.pem", other)
        self.assertFailsWith(self.verify(other), "Release signature mismatch")


class RefusalTest(ToolTestCase):
    def setUp(self):
        super().setUp()
        self.keygen()

    def test_keygen_never_replaces_a_key(self):
        private_key = self.key.read_bytes()
        for key, public in [(self.key, self.directory / "new.pub"), (self.directory / "new.pem", self.public)]:
            with self.subTest(key=key.name, public=public.name):
                self.assertFailsWith(run("keygen", "--private", key, "--public", public), "Key file already exists")
        self.assertEqual(self.key.read_bytes(), private_key)
        self.assertFalse((self.directory / "new.pem").exists())
        self.assertFalse((self.directory / "new.pub").exists())

    def test_sign_refuses_what_the_updater_refuses_and_writes_nothing(self):
        cases = [
            (self.installer(), "v1.2.3", "Invalid release version"),
            (self.installer(), "1.2.3-01", "Invalid numeric prerelease identifier"),
            (self.installer("setup.exe"), "1.2.3", "Invalid installer filename"),
            (self.installer("Ostrel-Setup-1 2.exe"), "1.2.3", "Invalid installer filename"),
            (self.installer("Ostrel-Setup-empty.exe", b""), "1.2.3", "Invalid installer size"),
        ]
        for installer, version, message in cases:
            with self.subTest(installer=installer.name, version=version):
                self.assertFailsWith(self.sign(installer, version), message)
                self.assertEqual(list(self.feed.iterdir()) if self.feed.exists() else [], [])

    def test_sign_checks_the_names_before_it_reads_the_installer(self):
        # A pipe nobody writes to would block the first read forever.
        pipe = self.directory / "Ostrel-Setup-pipe.exe"
        os.mkfifo(pipe)
        unnamed = self.directory / "zero"
        unnamed.symlink_to("/dev/zero")
        device = self.directory / "Ostrel-Setup-zero.exe"
        device.symlink_to("/dev/zero")
        cases = [
            (pipe, "v1", "Invalid release version"),
            (unnamed, "1.2.3", "Invalid installer filename"),
            (pipe, "1.2.3", "Installer is not a regular file"),
            (device, "1.2.3", "Installer is not a regular file"),
            (self.directory, "1.2.3", "Invalid installer filename"),
            (self.directory / "Ostrel-Setup-gone.exe", "1.2.3", "Installer does not exist"),
        ]
        for installer, version, message in cases:
            with self.subTest(installer=installer.name, version=version):
                self.assertFailsWith(self.sign(installer, version), message)

    def test_sign_needs_a_private_key(self):
        self.key = self.public
        self.key.chmod(0o600)
        self.assertFailsWith(self.sign(self.installer()), "Invalid release private key")

    def test_sign_refuses_a_private_key_file_others_can_use(self):
        for mode in (0o640, 0o604, 0o620, 0o610):
            with self.subTest(mode=oct(mode)):
                self.key.chmod(mode)
                self.assertFailsWith(self.sign(self.installer()), "Private key file is accessible to group or others")
        self.key.chmod(0o400)
        self.assertEqual(self.sign(self.installer()).returncode, 0)

    def test_key_file_failures_name_the_key_file(self):
        empty = self.directory / "empty"
        empty.touch(0o600)
        self.key = empty
        self.assertFailsWith(self.sign(self.installer()), "Key file is empty or too large")
        self.assertFailsWith(self.verify(empty), "Key file is empty or too large")
        self.public.write_text("0" * 5000)
        self.assertFailsWith(self.verify(), "Key file is empty or too large")

    def test_verify_refuses_a_key_of_small_order(self):
        # With the identity as key, this one signature verifies every message.
        installer = self.installer()
        self.feed.mkdir()
        content = installer.read_bytes()
        (self.feed / installer.name).write_bytes(content)
        (self.feed / "release.json").write_text(json.dumps({
            "version": "99.0.0", "file": installer.name, "size": len(content),
            "sha512": base64.b64encode(hashlib.sha512(content).digest()).decode(), "runtime": "chromium-native"}))
        (self.feed / "release.sig").write_text(base64.b64encode(bytes([1]) + bytes(63)).decode())
        for name, key in [("identity", "01" + "00" * 31), ("all zero", "00" * 32), ("off the curve", "02" + "00" * 31)]:
            with self.subTest(key=name):
                self.public.write_text(key + "\n")
                self.assertFailsWith(self.verify(), "Release key is of small order or off the curve")

    def test_verify_names_a_missing_feed_file(self):
        result = self.verify()
        self.assertEqual(result.returncode, 1)
        self.assertIn("release.json", result.stderr)
        self.assertEqual(result.stderr.count("\n"), 1)

    def test_verify_needs_a_public_key(self):
        self.assertEqual(self.sign(self.installer()).returncode, 0)
        self.assertFailsWith(self.verify(self.key), "Invalid release public key")


class UsageTest(unittest.TestCase):
    def test_help_prints_the_usage(self):
        result = run("--help")
        self.assertEqual(result.returncode, 0)
        for command in ("keygen", "sign", "verify"):
            self.assertIn(f"ostrel-release {command} ", result.stdout)
        for rule in ('"Ostrel-Setup-", 1 to 100 of A-Z a-z\n      0-9 . -, then ".exe"', "--allow-older",
                     "Exit codes: 0 success, 1 refused or failed"):
            self.assertIn(rule, result.stdout)

    def test_bad_command_lines_fail_with_one_line(self):
        cases = [
            ([], "no command given"),
            (["publish"], "unknown command publish"),
            (["keygen", "--private", "a"], "keygen needs --public"),
            (["keygen", "--private", "a", "--public"], "--public needs a value"),
            (["keygen", "--private", "a", "--private", "b"], "--private is given twice"),
            (["sign", "--key", "k", "--force", "x"], "sign takes no option --force"),
            (["verify", "--allow-older", "p"], "verify takes no option --allow-older"),
            (["sign", "--allow-older", "--allow-older"], "--allow-older is given twice"),
            (["verify", "--public", "p"], "verify takes exactly one directory"),
            (["keygen", "--private", "a", "--public", "b", "extra"], "keygen takes no argument extra"),
        ]
        for arguments, message in cases:
            with self.subTest(arguments=arguments):
                result = run(*arguments)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stderr, f"ostrel-release: {message} (see ostrel-release --help)\n")


if __name__ == "__main__":
    unittest.main()
