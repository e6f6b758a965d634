"""The publisher's tool, driven as its users drive it: keygen, sign, verify.

Run by CTest with OSTREL_RELEASE_TOOL set to the built ostrel-release.
"""
import base64
import hashlib
import json
import os
import re
import subprocess
import tempfile
import unittest
from pathlib import Path

TOOL = os.environ["OSTREL_RELEASE_TOOL"]
MANUAL_PAGE = Path(__file__).resolve().parents[2] / "tools" / "ostrel-release" / "ostrel-release.1"
LEDGER = "published-installers.sha512"


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
        path.parent.mkdir(exist_ok=True)
        path.write_bytes(content)
        return path

    def sign(self, installer, version="1.2.3", *options):
        return run("sign", "--key", self.key, "--installer", installer, "--version", version, "--out", self.feed,
                   *options, timeout=10)

    def verify(self, public=None):
        return run("verify", "--public", public or self.public, self.feed)

    def fingerprint(self):
        return hashlib.sha256(bytes.fromhex(self.public.read_text())).hexdigest()

    def feed_files(self):
        """Every file of the feed directory and its bytes, None before it exists."""
        return {p.name: p.read_bytes() for p in self.feed.iterdir()} if self.feed.exists() else None

    def assertSigned(self, result):
        self.assertEqual(result.returncode, 0, result.stderr)

    def assertSignRefused(self, installer, version, message, *options):
        before = self.feed_files()
        self.assertFailsWith(self.sign(installer, version, *options), message)
        self.assertEqual(self.feed_files(), before, "a refused release writes nothing")

    def assertFailsWith(self, result, message, exit_code=1):
        self.assertEqual(result.returncode, exit_code, result.stderr)
        self.assertEqual(result.stderr, f"ostrel-release: {message}\n")
        self.assertEqual(result.stdout, "")


class RoundTripTest(ToolTestCase):
    def test_a_fresh_key_signs_a_feed_that_verifies(self):
        made = self.keygen()
        self.assertRegex(self.public.read_text(), r"^[0-9a-f]{64}\n$")
        self.assertEqual(self.key.stat().st_mode & 0o777, 0o600)
        self.assertEqual(made.stdout, f"Wrote the private key {self.key} and the public key {self.public}\n"
                                      f"Public key fingerprint (SHA-256): {self.fingerprint()}\n")
        installer = self.installer("Ostrel-Setup-1.2.3-rc.1.exe")
        signed = self.sign(installer, "1.2.3-rc.1")
        self.assertEqual(signed.returncode, 0, signed.stderr)
        self.assertEqual(sorted(p.name for p in self.feed.iterdir()),
                         ["Ostrel-Setup-1.2.3-rc.1.exe", LEDGER, "release.json", "release.sig"])
        self.assertEqual((self.feed / installer.name).read_bytes(), installer.read_bytes())
        document = json.loads((self.feed / "release.json").read_text())
        self.assertEqual(list(document), ["version", "file", "size", "sha512", "runtime"])
        self.assertEqual(document["runtime"], "chromium-native")
        verified = self.verify()
        self.assertEqual(verified.returncode, 0, verified.stderr)
        self.assertEqual(verified.stdout, "Verified release 1.2.3-rc.1: Ostrel-Setup-1.2.3-rc.1.exe, 70000 bytes\n"
                                          f"Public key fingerprint (SHA-256): {self.fingerprint()}\n")

    def test_signing_again_replaces_the_release(self):
        self.keygen()
        self.assertEqual(self.sign(self.installer(content=b"old")).returncode, 0)
        self.assertEqual(self.sign(self.installer("Ostrel-Setup-1.2.4.exe", b"new release"), "1.2.4").returncode, 0)
        self.assertTrue(self.verify().stdout.startswith("Verified release 1.2.4: Ostrel-Setup-1.2.4.exe, 11 bytes\n"))

    def test_options_take_their_value_after_an_equals_sign(self):
        made = run("keygen", f"--private={self.key}", f"--public={self.public}")
        self.assertEqual(made.returncode, 0, made.stderr)
        signed = run("sign", f"--key={self.key}", f"--installer={self.installer()}", "--version=1.2.3",
                     f"--out={self.feed}")
        self.assertEqual(signed.returncode, 0, signed.stderr)
        verified = run("verify", f"--public={self.public}", self.feed)
        self.assertEqual(verified.returncode, 0, verified.stderr)


class PublishedReleaseTest(ToolTestCase):
    def setUp(self):
        super().setUp()
        self.keygen()
        self.assertEqual(self.sign(self.installer(content=b"published"), "1.2.3").returncode, 0)

    def test_sign_refuses_a_version_not_newer_than_the_feeds(self):
        for version in ("1.2.3", "1.2.2", "1.2.3-rc.1"):
            with self.subTest(version=version):
                self.assertFailsWith(self.sign(self.installer(f"Ostrel-Setup-{version}.exe", b"other"), version),
                                     f"Version {version} is not newer than the feed's 1.2.3 (--allow-older publishes it anyway)")
        self.assertTrue(self.verify().stdout.startswith("Verified release 1.2.3: Ostrel-Setup-1.2.3.exe, 9 bytes\n"))

    def test_allow_older_publishes_it_anyway(self):
        signed = self.sign(self.installer("Ostrel-Setup-1.2.2.exe", b"rollback"), "1.2.2", "--allow-older")
        self.assertEqual(signed.returncode, 0, signed.stderr)
        self.assertTrue(self.verify().stdout.startswith("Verified release 1.2.2: Ostrel-Setup-1.2.2.exe, 8 bytes\n"))

    def test_sign_refuses_to_compare_with_a_feed_that_does_not_verify(self):
        (self.feed / "release.json").write_text("{}")
        self.assertFailsWith(self.sign(self.installer("Ostrel-Setup-2.0.0.exe"), "2.0.0"),
                             "The feed's current release does not verify: Release signature mismatch")


def sha512(content):
    return hashlib.sha512(content).hexdigest()


class InstallerNameTest(ToolTestCase):
    """The installer's name carries its version: caches keep an installer under its name, and people read it."""

    def setUp(self):
        super().setUp()
        self.keygen()
        self.assertSigned(self.sign(self.installer("Ostrel-Setup-1.0.0.exe"), "1.0.0"))

    def test_the_name_ends_in_the_version(self):
        cases = [
            ("Ostrel-Setup-1.2.3.exe", "1.2.3", True),
            ("Ostrel-Setup-1.2.3-rc.1.exe", "1.2.3-rc.1", True),
            ("Ostrel-Setup-x64-1.2.3.exe", "1.2.3", True),
            ("Ostrel-Setup-1.2.3.exe", "1.2.4", False),  # the last release's file signed again
            ("Ostrel-Setup-latest.exe", "1.2.3", False),
            ("Ostrel-Setup-11.2.3.exe", "1.2.3", False),
            ("Ostrel-Setup-0.1.2.3.exe", "1.2.3", False),
            ("Ostrel-Setup-1.2.30.exe", "1.2.3", False),
            ("Ostrel-Setup-1.2.3-rc.1.exe", "1.2.3", False),
            ("Ostrel-Setup-1.2.3.exe", "1.2.3-rc.1", False),
            ("Ostrel-Setup-1.2.3-x64.exe", "1.2.3", False),
        ]
        for name, version, carried in cases:
            with self.subTest(name=name, version=version):
                installer = self.installer(name)
                if carried:
                    self.assertSigned(self.sign(installer, version, "--allow-older"))
                else:
                    self.assertSignRefused(installer, version,
                                           f"Installer name {name} does not carry version {version}: name it "
                                           f"Ostrel-Setup-{version}.exe (--allow-name-without-version publishes it anyway)",
                                           "--allow-older")

    def test_allow_name_without_version_publishes_it_anyway(self):
        self.assertSigned(self.sign(self.installer("Ostrel-Setup-latest.exe"), "1.2.3", "--allow-name-without-version"))
        self.assertTrue(self.verify().stdout.startswith("Verified release 1.2.3: Ostrel-Setup-latest.exe, "))


class PublishedInstallersTest(ToolTestCase):
    """A name once published never stands for other bytes, even after its file has left the feed."""

    def setUp(self):
        super().setUp()
        self.keygen()
        self.published = self.installer(content=b"published 1.2.3")
        self.assertSigned(self.sign(self.published))
        self.other = self.installer("rebuilt/Ostrel-Setup-1.2.3.exe", b"other bytes")

    def reused(self, name="Ostrel-Setup-1.2.3.exe"):
        return (f"{name} was published before with other bytes (their SHA-512 is in {LEDGER}): "
                "caches may keep serving them under this name, so give this installer a new name")

    def ledger(self):
        return (self.feed / LEDGER).read_text()

    def test_each_installer_is_listed_once_as_sha512sum_checks_it(self):
        self.assertSigned(self.sign(self.published, "1.2.3", "--allow-older"))  # the same bytes again
        self.assertSigned(self.sign(self.installer("Ostrel-Setup-1.2.4.exe", b"1.2.4"), "1.2.4"))
        self.assertEqual(self.ledger(), f"{sha512(b'published 1.2.3')}  Ostrel-Setup-1.2.3.exe\n"
                                        f"{sha512(b'1.2.4')}  Ostrel-Setup-1.2.4.exe\n")
        checked = subprocess.run(["sha512sum", "--check", "--strict", LEDGER], cwd=self.feed, capture_output=True)
        self.assertEqual(checked.returncode, 0, checked.stdout)

    def test_a_published_name_is_refused_with_other_bytes_whatever_the_options(self):
        cases = [
            ("a rebuilt 1.2.3", "1.2.3", ["--allow-older"]),
            ("1.2.4 under the name of 1.2.3", "1.2.4", ["--allow-name-without-version"]),
            ("every option", "1.2.4", ["--allow-older", "--allow-name-without-version"]),
        ]
        for name, version, options in cases:
            with self.subTest(name):
                self.assertSignRefused(self.other, version, self.reused(), *options)
        (self.feed / "Ostrel-Setup-1.2.3.exe").unlink()
        with self.subTest("after its file was deleted"):
            self.assertSignRefused(self.other, "1.2.3", self.reused(), "--allow-older")

    def test_a_feed_published_before_the_list_existed_lists_the_installers_it_holds(self):
        (self.feed / LEDGER).unlink()
        self.assertSignRefused(self.other, "1.2.3", self.reused(), "--allow-older")
        self.assertSigned(self.sign(self.installer("Ostrel-Setup-1.2.4.exe", b"1.2.4"), "1.2.4"))
        self.assertEqual(self.ledger(), f"{sha512(b'published 1.2.3')}  Ostrel-Setup-1.2.3.exe\n"
                                        f"{sha512(b'1.2.4')}  Ostrel-Setup-1.2.4.exe\n")

    def test_lines_written_before_are_kept_and_bind_their_names(self):
        # A line for an installer long gone, its line break lost to an editor.
        earlier = self.ledger() + f"{sha512(b'1.0.0')}  Ostrel-Setup-1.0.0.exe"
        (self.feed / LEDGER).write_text(earlier)
        self.assertSigned(self.sign(self.installer("Ostrel-Setup-1.2.4.exe", b"1.2.4"), "1.2.4"))
        self.assertEqual(self.ledger(), f"{earlier}\n{sha512(b'1.2.4')}  Ostrel-Setup-1.2.4.exe\n")
        self.assertSignRefused(self.installer("Ostrel-Setup-1.0.0.exe", b"other"), "1.0.0",
                               self.reused("Ostrel-Setup-1.0.0.exe"), "--allow-older")

    def test_a_list_with_a_line_of_another_form_is_refused(self):
        digest = sha512(b"1.0.0")
        cases = [
            ("upper-case digits", f"{digest.upper()}  Ostrel-Setup-1.0.0.exe"),
            ("one space", f"{digest} Ostrel-Setup-1.0.0.exe"),
            ("sha512sum's binary mark", f"{digest} *Ostrel-Setup-1.0.0.exe"),
            ("a short digest", f"{digest[:64]}  Ostrel-Setup-1.0.0.exe"),
            ("no installer name", f"{digest}  notes.txt"),
            ("an empty line", ""),
        ]
        listed = self.ledger()
        for name, line in cases:
            with self.subTest(name):
                (self.feed / LEDGER).write_text(f"{listed}{line}\n")
                self.assertSignRefused(self.installer("Ostrel-Setup-1.2.4.exe", b"1.2.4"), "1.2.4",
                                       f'{LEDGER} line 2 is not "<SHA-512 in lower-case hex>  <installer name>"')


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
            (self.installer("Ostrel-Setup-empty-1.2.3.exe", b""), "1.2.3", "Invalid installer size"),
        ]
        for installer, version, message in cases:
            with self.subTest(installer=installer.name, version=version):
                self.assertFailsWith(self.sign(installer, version), message)
                self.assertEqual(list(self.feed.iterdir()) if self.feed.exists() else [], [])

    def test_sign_checks_the_names_before_it_reads_the_installer(self):
        # A pipe nobody writes to would block the first read forever.
        pipe = self.directory / "Ostrel-Setup-pipe-1.2.3.exe"
        os.mkfifo(pipe)
        unnamed = self.directory / "zero"
        unnamed.symlink_to("/dev/zero")
        device = self.directory / "Ostrel-Setup-zero-1.2.3.exe"
        device.symlink_to("/dev/zero")
        cases = [
            (pipe, "v1", "Invalid release version"),
            (unnamed, "1.2.3", "Invalid installer filename"),
            (pipe, "1.2.4", f"Installer name {pipe.name} does not carry version 1.2.4: name it Ostrel-Setup-1.2.4.exe "
                            "(--allow-name-without-version publishes it anyway)"),
            (pipe, "1.2.3", "Installer is not a regular file"),
            (device, "1.2.3", "Installer is not a regular file"),
            (self.directory, "1.2.3", "Invalid installer filename"),
            (self.directory / "Ostrel-Setup-gone-1.2.3.exe", "1.2.3", "Installer does not exist"),
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


COMMANDS = ("keygen", "sign", "verify", "help")


class UsageTest(unittest.TestCase):
    def test_help_prints_the_usage(self):
        result = run("--help")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        for command in COMMANDS:
            self.assertIn(f"ostrel-release {command} ", result.stdout)
        for rule in ('"Ostrel-Setup-", 1 to 100 of A-Z a-z\n      0-9 . -, then ".exe"', "--allow-older",
                     "--allow-name-without-version", "ostrel-release --version",
                     "Exit codes: 0 success, 1 refused or failed"):
            self.assertIn(rule, result.stdout)
        for arguments in (["-h"], ["help"]):
            with self.subTest(arguments=arguments):
                self.assertEqual(run(*arguments).stdout, result.stdout)

    def test_each_command_has_its_own_help(self):
        whole = run("--help").stdout
        for command in COMMANDS:
            # Asked for help, a command gives it, whatever else the line holds.
            for arguments in ([command, "--help"], ["help", command], [command, "-h"], [command, "--bad", "--help"]):
                with self.subTest(arguments=arguments):
                    result = run(*arguments)
                    self.assertEqual((result.returncode, result.stderr), (0, ""))
                    usage, _, footer = result.stdout.partition("\n\nOptions take their value")
                    self.assertTrue(usage.startswith(f"Usage:\n  ostrel-release {command} "), usage)
                    self.assertIn(usage.removeprefix("Usage:\n"), whole)
                    self.assertTrue(whole.endswith(footer))

    def test_version_prints_the_tools_version(self):
        result = run("--version")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertRegex(result.stdout, r"^ostrel-release [0-9]+(\.[0-9]+){0,3}\n$")

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
            (["keygen", "--private=", "--public", "b"], "--private needs a value"),
            (["keygen", "--private=a", "--private", "b"], "--private is given twice"),
            (["sign", "--allow-older=yes"], "--allow-older takes no value"),
            (["help", "publish"], "unknown command publish"),
            (["help", "sign", "verify"], "help takes at most one command"),
        ]
        for arguments, message in cases:
            with self.subTest(arguments=arguments):
                result = run(*arguments)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stderr, f"ostrel-release: {message} (see ostrel-release --help)\n")


def manual_section(page, heading):
    return page.partition(f"\n.SH {heading}\n")[2].partition("\n.SH ")[0]


class ManualPageTest(unittest.TestCase):
    """ostrel-release(1), which the Debian package installs."""

    def test_it_renders_without_warnings_with_the_sections_of_a_manual_page(self):
        rendered = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", MANUAL_PAGE], capture_output=True, text=True)
        self.assertEqual((rendered.returncode, rendered.stderr), (0, ""))
        self.assertEqual(re.findall(r"^\.SH (.+)$", MANUAL_PAGE.read_text(), re.M),
                         ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "FILES", "EXAMPLES", "SEE ALSO"])

    def test_it_documents_every_command_and_option_of_the_help(self):
        help_text = run("--help").stdout
        page = MANUAL_PAGE.read_text()
        synopsis, options = manual_section(page, "SYNOPSIS"), manual_section(page, "OPTIONS")
        for command in re.findall(r"^  ostrel-release (\w+)", help_text, re.M):
            self.assertIn(f"ostrel\\-release {command}", synopsis)
        for option in set(re.findall(r"--[a-z-]+", help_text)) - {"--option"}:
            with self.subTest(option=option):
                self.assertIn(option.replace("-", "\\-"), options)


if __name__ == "__main__":
    unittest.main()
