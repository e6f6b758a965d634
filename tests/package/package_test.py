"""scripts/package: the signed executable, the key, the checksums and the
Debian package of ostrel-release, as a vendor receives them.

Run by scripts/test with OSTREL_UPDATE_EXE set to a built OstrelUpdate.exe,
which carries the project's test key. Signs with a throw-away certificate
made here; the Debian package is installed with dpkg and removed again.
"""
import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
PACKAGE = ROOT / "scripts" / "package"
EXECUTABLE = Path(os.environ["OSTREL_UPDATE_EXE"])
TEST_PUBLIC_KEY = (ROOT / "tests" / "data" / "release_test_key.pub").read_text().strip()
INSTALLED_TOOL = "/usr/bin/ostrel-release"
MANUAL_PAGE = ROOT / "tools" / "ostrel-release" / "ostrel-release.1"
ARCHITECTURE = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()


def run(*command, **options):
    return subprocess.run([str(part) for part in command], capture_output=True, text=True, timeout=600, **options)


def osslsigncode_verify(executable, certificate):
    return run("osslsigncode", "verify", "-CAfile", certificate, "-in", executable)


class PackageTestCase(unittest.TestCase):
    def setUp(self):
        self.directory = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.directory)
        self.out = self.directory / "release"

    def package(self, *options, executable=EXECUTABLE, public_key=TEST_PUBLIC_KEY):
        return run(PACKAGE, "--executable", executable, "--public-key", public_key, "--version", "1.4.0",
                   "--out", self.out, *options)

    def assertPackaged(self, result):
        self.assertEqual(result.returncode, 0, result.stderr)

    def assertRefused(self, result, message):
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertEqual(result.stderr, f"package: {message}\n")
        self.assertFalse(self.out.exists())
        self.assertEqual(list(self.directory.iterdir()), [], "nothing is left beside DIR")

    def throw_away_certificate(self, name="signing"):
        """A self-signed code-signing certificate and its key, made for this test."""
        certificate, key = self.directory / f"{name}.pem", self.directory / f"{name}.key"
        made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                   "-subj", "/CN=Ostrel throw-away code signing", "-addext", "extendedKeyUsage=codeSigning",
                   "-keyout", key, "-out", certificate)
        self.assertEqual(made.returncode, 0, made.stderr)
        return certificate, key


class SignedReleaseTest(PackageTestCase):
    def setUp(self):
        super().setUp()
        self.certificate, self.key = self.throw_away_certificate()
        self.assertPackaged(self.package("--certificate", self.certificate, "--key", self.key))
        self.signed = self.out / "OstrelUpdate.exe"

    def test_the_release_directory_holds_the_files_and_their_checksums(self):
        self.assertEqual(sorted(str(p.relative_to(self.out)) for p in self.out.rglob("*") if p.is_file()),
                         ["OstrelUpdate.exe", "SHA256SUMS", f"ostrel-release_1.4.0_{ARCHITECTURE}.deb",
                          "policy/en-US/ostrel-update.adml", "policy/ostrel-update.admx",
                          "release-public-key.fingerprint", "release-public-key.pub"])
        checked = run("sha256sum", "--check", "--strict", "SHA256SUMS", cwd=self.out)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertEqual(len(checked.stdout.splitlines()), 6)
        self.assertEqual((self.out / "policy/ostrel-update.admx").read_bytes(),
                         (ROOT / "policy/ostrel-update.admx").read_bytes())
        self.assertEqual((self.out / "release-public-key.pub").read_text(), TEST_PUBLIC_KEY + "\n")
        self.assertEqual((self.out / "release-public-key.fingerprint").read_text(),
                         hashlib.sha256(bytes.fromhex(TEST_PUBLIC_KEY)).hexdigest() + "\n")

    def test_the_signature_verifies_and_its_removal_gives_back_the_built_bytes(self):
        verified = osslsigncode_verify(self.signed, self.certificate)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertIn("Message digest algorithm  : SHA256", verified.stdout)
        self.assertIn("Timestamp is not available", verified.stdout)
        self.assertNotEqual(self.signed.read_bytes(), EXECUTABLE.read_bytes())
        unsigned = self.directory / "unsigned.exe"
        removed = run("osslsigncode", "remove-signature", "-in", self.signed, "-out", unsigned)
        self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
        self.assertEqual(unsigned.read_bytes(), EXECUTABLE.read_bytes())

    def test_a_changed_byte_breaks_the_signature(self):
        content = bytearray(self.signed.read_bytes())
        for offset in (0x400, len(content) // 2):  # in the code, and in the middle of the file
            with self.subTest(offset=offset):
                tampered = self.directory / f"tampered-{offset}.exe"
                changed = bytearray(content)
                changed[offset] ^= 0x01
                tampered.write_bytes(changed)
                verified = osslsigncode_verify(tampered, self.certificate)
                self.assertNotEqual(verified.returncode, 0, verified.stdout)
                self.assertIn("MISMATCH", verified.stdout)

    def test_another_certificate_does_not_verify_the_signature(self):
        certificate, _ = self.throw_away_certificate("other")
        self.assertNotEqual(osslsigncode_verify(self.signed, certificate).returncode, 0)


class UnsignedReleaseTest(PackageTestCase):
    def test_without_a_certificate_the_executable_is_shipped_as_built(self):
        self.assertPackaged(self.package())
        self.assertEqual((self.out / "OstrelUpdate.exe").read_bytes(), EXECUTABLE.read_bytes())


class RefusalTest(PackageTestCase):
    def test_refusals_leave_nothing_behind(self):
        other_key = "11" * 32
        not_a_program = self.directory / "not-a-program.exe"
        cases = [
            ("an executable built with another key", {"public_key": other_key}, (),
             f"{EXECUTABLE} was not built with the public key {other_key}"),
            ("a key that is not 64 hex digits", {"public_key": "abc"}, (), "the public key is not 64 hex digits"),
            ("a certificate without its key", {}, ("--certificate", "signing.pem"),
             "--certificate and --key go together, and --timestamp needs them"),
            ("a timestamp without a certificate", {}, ("--timestamp", "http://timestamp.invalid"),
             "--certificate and --key go together, and --timestamp needs them"),
            ("an executable that is not there", {"executable": not_a_program}, (),
             f"no executable {not_a_program}"),
        ]
        for name, arguments, options, message in cases:
            with self.subTest(name):
                self.assertRefused(self.package(*options, **arguments), message)

    def test_a_key_that_is_not_the_certificates_leaves_nothing_behind(self):
        certificate, _ = self.throw_away_certificate()
        _, other_key = self.throw_away_certificate("other")
        result = self.package("--certificate", certificate, "--key", other_key)
        self.assertEqual(result.returncode, 1)
        self.assertFalse(self.out.exists())
        self.assertEqual(sorted(p.name for p in self.directory.iterdir()),
                         ["other.key", "other.pem", "signing.key", "signing.pem"])

    def test_an_existing_directory_is_not_replaced(self):
        self.out.mkdir()
        (self.out / "kept").write_text("the vendor's")
        result = self.package()
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, f"package: {self.out} exists already\n")
        self.assertEqual((self.out / "kept").read_text(), "the vendor's")


class DebianPackageTest(PackageTestCase):
    """Installs the package on this machine, as a release machine would, and removes it again."""

    def setUp(self):
        super().setUp()
        self.assertFalse(Path(INSTALLED_TOOL).exists(), "ostrel-release is installed already")
        self.assertPackaged(self.package())
        self.deb = self.out / f"ostrel-release_1.4.0_{ARCHITECTURE}.deb"

    def test_the_package_describes_itself(self):
        fields = run("dpkg-deb", "--field", self.deb, "Package", "Version", "Architecture", "Depends").stdout
        self.assertIn(f"Package: ostrel-release\nVersion: 1.4.0\nArchitecture: {ARCHITECTURE}\n", fields)
        self.assertRegex(fields, r"Depends: .*libc6 .*libssl3 ")
        contents = run("dpkg-deb", "--contents", self.deb).stdout
        for path in ("./usr/bin/ostrel-release", "./usr/share/man/man1/ostrel-release.1.gz"):
            self.assertIn(path, contents)
        for line in contents.splitlines():
            self.assertEqual(line.split()[1], "root/root", line)

    def test_installed_it_makes_a_key_signs_a_release_and_verifies_it_and_is_removed(self):
        installed = run("dpkg", "--install", self.deb)
        self.addCleanup(run, "dpkg", "--purge", "ostrel-release")
        self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)

        key, public, feed = self.directory / "release-private-key.pem", self.directory / "release-public-key.pub", self.directory / "feed"
        installer = self.directory / "Ostrel-Setup-1.4.0.exe"
        installer.write_bytes(os.urandom(4096))
        for command in (["keygen", "--private", key, "--public", public],
                        ["sign", "--key", key, "--installer", installer, "--version", "1.4.0", "--out", feed],
                        ["verify", "--public", public, feed]):
            with self.subTest(command[0]):
                result = run(INSTALLED_TOOL, *command)
                self.assertEqual(result.returncode, 0, result.stderr)
        fingerprint = hashlib.sha256(bytes.fromhex(public.read_text())).hexdigest()
        self.assertEqual(run(INSTALLED_TOOL, "verify", "--public", public, feed).stdout,
                         "Verified release 1.4.0: Ostrel-Setup-1.4.0.exe, 4096 bytes\n"
                         f"Public key fingerprint (SHA-256): {fingerprint}\n")

        manual = run("zcat", "/usr/share/man/man1/ostrel-release.1.gz").stdout
        self.assertEqual(manual, MANUAL_PAGE.read_text().replace("@VERSION@", "1.4.0"))

        removed = run("dpkg", "--purge", "ostrel-release")
        self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
        self.assertFalse(Path(INSTALLED_TOOL).exists())
        self.assertFalse(Path("/usr/share/man/man1/ostrel-release.1.gz").exists())


if __name__ == "__main__":
    unittest.main()
