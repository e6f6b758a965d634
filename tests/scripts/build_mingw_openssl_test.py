"""scripts/build-mingw-openssl keeps the cached OpenSSL at Debian's version.

Runs the script against a cache of its own, with a stand-in apt-get that
reports a chosen version (or cannot reach Debian) and a stand-in upstream
tarball whose build only installs a marker library, so no test waits for a
real OpenSSL build or the network.
"""
import hashlib
import io
import os
import re
import subprocess
import tarfile
import tempfile
import textwrap
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "build-mingw-openssl"

# The stand-in sources' build: "make install_dev" installs, under DESTDIR, a
# libcrypto.a that names the version.
CONFIGURE = textwrap.dedent("""\
    #!/bin/sh
    for argument; do case $argument in --prefix=*) prefix=${argument#--prefix=};; esac; done
    printf 'build_libs:\\ninstall_dev:\\n\\tmkdir -p $(DESTDIR)%s/lib && echo %s > $(DESTDIR)%s/lib/libcrypto.a\\n' \\
      "$prefix" "$(basename "$PWD")" "$prefix" > Makefile
    """)

# The cache directory of a version as the script names it for its current build.
BUILD_REVISION = re.search(r"^build_revision=(\d+)$", SCRIPT.read_text(), re.MULTILINE).group(1)


def build_directory(version, revision=BUILD_REVISION):
    return f"openssl-mingw64-{version}-build{revision}"

# Reports the tarball named by FAKE_VERSION, or fails the update when
# FAKE_OFFLINE is set, as apt-get update --error-on=any does without network.
APT_GET = textwrap.dedent("""\
    #!/bin/sh
    case " $* " in
      *" update "*) [ -z "$FAKE_OFFLINE" ] || exit 100; exit 0;;
      *" source "*)
        tarball=$FAKE_MIRROR/openssl_$FAKE_VERSION.orig.tar.gz
        sha=$( (sha256sum "$tarball" 2>/dev/null || echo 0000000000000000000000000000000000000000000000000000000000000000) | cut -d' ' -f1)
        echo "'file://$tarball' openssl_$FAKE_VERSION.orig.tar.gz 1 SHA256:$sha";;
    esac
    """)


class BuildMingwOpensslTest(unittest.TestCase):
    def setUp(self):
        self.root = Path(tempfile.mkdtemp())
        self.addCleanup(subprocess.run, ["rm", "-rf", str(self.root)])
        self.cache = self.root / "cache" / "ostrel"
        self.mirror = self.root / "mirror"
        self.mirror.mkdir()
        tools = self.root / "tools"
        tools.mkdir()
        (tools / "apt-get").write_text(APT_GET)
        (tools / "apt-get").chmod(0o755)
        self.environment = {**os.environ, "PATH": f"{tools}:{os.environ['PATH']}", "XDG_CACHE_HOME": str(self.cache.parent),
                            "FAKE_MIRROR": str(self.mirror)}

    def publish(self, version):
        with tarfile.open(self.mirror / f"openssl_{version}.orig.tar.gz", "w:gz") as archive:
            content = CONFIGURE.encode()
            entry = tarfile.TarInfo(f"openssl-{version}/Configure")
            entry.size, entry.mode = len(content), 0o755
            archive.addfile(entry, io.BytesIO(content))

    def cached(self, version, revision=BUILD_REVISION):
        library = self.cache / build_directory(version, revision) / "lib" / "libcrypto.a"
        library.parent.mkdir(parents=True)
        library.write_text(f"openssl-{version}\n")
        (self.cache / "openssl-mingw64-current").symlink_to(library.parent.parent)

    def run_script(self, version="", offline=False):
        environment = {**self.environment, "FAKE_VERSION": version, "FAKE_OFFLINE": "1" if offline else ""}
        return subprocess.run(["bash", str(SCRIPT)], env=environment, capture_output=True, text=True, timeout=120)

    def current(self):
        return (self.cache / "openssl-mingw64-current" / "lib" / "libcrypto.a").read_text()

    def test_a_new_debian_version_is_built_and_becomes_current(self):
        self.cached("3.0.1")
        self.publish("3.0.2")
        result = self.run_script("3.0.2")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "setup: building OpenSSL 3.0.2 for mingw64\n")
        self.assertEqual(self.current(), "openssl-3.0.2\n")
        self.assertTrue((self.cache / build_directory("3.0.1") / "lib" / "libcrypto.a").exists())

    def test_the_current_version_is_not_built_again(self):
        self.cached("3.0.2")  # nothing is published: a download would fail
        result = self.run_script("3.0.2")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""))
        self.assertEqual(self.current(), "openssl-3.0.2\n")

    def test_a_build_made_the_old_way_is_built_again(self):
        self.cached("3.0.2", revision=int(BUILD_REVISION) - 1)
        self.publish("3.0.2")
        result = self.run_script("3.0.2")
        self.assertEqual(result.stdout, "setup: building OpenSSL 3.0.2 for mingw64\n")
        self.assertEqual(self.current(), "openssl-3.0.2\n")

    def test_a_first_run_builds_debians_version(self):
        self.publish("3.0.2")
        self.assertEqual(self.run_script("3.0.2").returncode, 0)
        self.assertEqual(self.current(), "openssl-3.0.2\n")

    def test_without_debian_the_cached_build_stays_and_the_run_says_so(self):
        self.cached("3.0.1")
        result = self.run_script(offline=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr,
                         f"setup: cannot learn Debian's current openssl version; using the cached {build_directory('3.0.1')}\n")
        self.assertEqual(self.current(), "openssl-3.0.1\n")

    def test_without_debian_and_without_a_cached_build_the_run_fails(self):
        result = self.run_script(offline=True)
        self.assertEqual(result.returncode, 1)
        self.assertIn("no OpenSSL for mingw64 is cached", result.stderr)


if __name__ == "__main__":
    unittest.main()
