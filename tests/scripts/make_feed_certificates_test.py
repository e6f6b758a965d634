"""scripts/make-feed-certificates confines the test CA to localhost.

Runs the script with --no-trust-store against a cache of its own, so the
machine's trust store is never touched, and checks with openssl verify what
the CA can and cannot sign for.
"""
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "make-feed-certificates"


def openssl(*arguments, cwd):
    return subprocess.run(["openssl", *arguments], cwd=cwd, capture_output=True, text=True, timeout=60)


class FeedCertificatesTest(unittest.TestCase):
    def setUp(self):
        self.cache = Path(tempfile.mkdtemp())
        self.addCleanup(subprocess.run, ["rm", "-rf", str(self.cache)])
        self.directory = self.cache / "ostrel" / "feed-certificates"

    def make(self):
        result = subprocess.run([str(SCRIPT), "--no-trust-store"], env={**os.environ, "XDG_CACHE_HOME": str(self.cache)},
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout

    def issue(self, name, subject_alt_name):
        """A server certificate the CA signs; returns openssl verify's output."""
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", f"{name}.key",
                "-out", f"{name}.csr", cwd=self.directory)
        (self.directory / f"{name}.ext").write_text(f"subjectAltName={subject_alt_name}\n")
        openssl("x509", "-req", "-in", f"{name}.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-set_serial", "7",
                "-days", "1", "-extfile", f"{name}.ext", "-out", f"{name}.pem", cwd=self.directory)
        verified = openssl("verify", "-CAfile", "ca.pem", f"{name}.pem", cwd=self.directory)
        return verified.stdout + verified.stderr

    def test_the_ca_signs_for_localhost_only(self):
        self.make()
        constraints = openssl("x509", "-in", "ca.pem", "-noout", "-ext", "nameConstraints", cwd=self.directory).stdout
        self.assertIn("Name Constraints: critical", constraints)
        self.assertIn("localhost.pem: OK", openssl("verify", "-CAfile", "ca.pem", "localhost.pem", cwd=self.directory).stdout)
        cases = [
            ("other", "DNS:example.org", "permitted subtree violation"),
            ("mixed", "DNS:localhost,DNS:updates.example.org", "permitted subtree violation"),
            ("loopback", "DNS:localhost,IP:127.0.0.1", "excluded subtree violation"),
            ("loopback6", "DNS:localhost,IP:::1", "excluded subtree violation"),
            ("sub", "DNS:feed.localhost", "sub.pem: OK"),
        ]
        for name, subject_alt_name, outcome in cases:
            with self.subTest(subject_alt_name=subject_alt_name):
                self.assertIn(outcome, self.issue(name, subject_alt_name))

    def test_an_unconfined_ca_is_replaced_and_a_confined_one_kept(self):
        self.directory.mkdir(parents=True)
        for name in ("ca", "localhost", "untrusted"):
            openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=Ostrel Test Feed CA",
                    "-addext", "basicConstraints=critical,CA:TRUE", "-keyout", f"{name}.key", "-out", f"{name}.pem",
                    cwd=self.directory)
        self.assertEqual(self.make(), "setup: making the test feed's certificates\n")
        self.assertIn("permitted subtree violation", self.issue("other", "DNS:example.org"))
        confined = (self.directory / "ca.pem").read_bytes()
        self.assertEqual(self.make(), "")
        self.assertEqual((self.directory / "ca.pem").read_bytes(), confined)


if __name__ == "__main__":
    unittest.main()
