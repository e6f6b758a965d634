"""The publisher's tool, driven as its users drive it: keygen, sign, verify.

Run by CTest with OSTREL_RELEASE_TOOL set to the built ostrel-release.
"""
import json
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

TOOL = os.environ["OSTREL_RELEASE_TOOL"]


def run(*arguments):
    return subprocess.run([TOOL, *map(str, arguments)], capture_output=True, text=True, timeout=60)


class ToolTestCase(unittest.TestCase):
    def setUp(self):
        self.directory = Path(tempfile.mkdtemp())
        self.addCleanup(subprocess.run, ["rm", "-rf", str(self.directory)])
        self.key = self.directory / "feed.pem"
        self.public = self.directory / "feed.pub"
        self.feed = self.directory / "feed"

    def keygen(self, key=None, public=None):
        result = run("keygen", "--private", key or self.key, "--public", public or self.public)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def installer(self, name="Ostrel-Setup-1.2.3.exe", content=os.urandom(70000)):
        path = self.directory / name
        path.write_bytes(content)
        return path

    def sign(self, installer, version="1.2.3"):
        return run("sign", "--key", self.key, "--installer", installer, "--version", version, "--out", self.feed)

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

    def test_sign_needs_a_private_key(self):
        self.key = self.public
        self.assertFailsWith(self.sign(self.installer()), "Invalid release private key")

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

    def test_bad_command_lines_fail_with_one_line(self):
        cases = [
            ([], "no command given"),
            (["publish"], "unknown command publish"),
            (["keygen", "--private", "a"], "keygen needs --public"),
            (["keygen", "--private", "a", "--public"], "--public needs a value"),
            (["keygen", "--private", "a", "--private", "b"], "--private is given twice"),
            (["sign", "--key", "k", "--force", "x"], "sign takes no option --force"),
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
