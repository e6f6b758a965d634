"""An ECDSA P-256 certificate for "localhost", issued by the test feed's CA
like the RSA one the test feed presents, so the two differ only in the key
the server signs its handshakes with. Made in the caller's directory; the
CA's files are only read."""

import subprocess
from pathlib import Path

from nginx_feed import Certificate, test_feed_certificate


def make_ecdsa_certificate(directory: Path) -> Certificate:
    ca = test_feed_certificate().chain.parent
    certificate = Certificate(directory / "ecdsa-localhost.pem", directory / "ecdsa-localhost.key")
    request = directory / "ecdsa-localhost.csr"
    extensions = directory / "ecdsa-localhost.ext"
    extensions.write_text("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
    subprocess.run(["openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                    "-subj", "/CN=localhost", "-keyout", str(certificate.key), "-out", str(request)],
                   check=True, capture_output=True)
    # An explicit serial, so that no serial file is written beside the CA.
    subprocess.run(["openssl", "x509", "-req", "-in", str(request), "-CA", str(ca / "ca.pem"),
                    "-CAkey", str(ca / "ca.key"), "-set_serial", "1", "-days", "2",
                    "-extfile", str(extensions), "-out", str(certificate.chain)],
                   check=True, capture_output=True)
    return certificate
