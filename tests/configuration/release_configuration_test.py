"""The build configuration refuses settings that must never ship.

Configures scratch builds of the source tree with one bad value each and
expects the configuration to fail with its message. Run by CTest with
OSTREL_SOURCE_DIR set to the source tree.
"""
import os
import subprocess
import tempfile
import unittest

SOURCE = os.environ["OSTREL_SOURCE_DIR"]

# A point of the curve whose private half nobody holds: the base point.
STRONG_KEY = "58" + "6" * 62
ZEROS = "0" * 62
ONES = "f" * 62


class ConfigurationTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # One build tree for all cases: the compiler checks then run once.
        cls.build = tempfile.TemporaryDirectory()

    @classmethod
    def tearDownClass(cls):
        cls.build.cleanup()

    def configure(self, **settings):
        definitions = [f"-D{name}={value}" for name, value in settings.items()]
        return subprocess.run(["cmake", "-S", SOURCE, "-B", self.build.name, "-G", "Ninja",
                               "-DCMAKE_C_COMPILER=gcc", "-DCMAKE_CXX_COMPILER=g++", *definitions],
                              capture_output=True, text=True, timeout=300)

    def assertRefused(self, result, message):
        self.assertNotEqual(result.returncode, 0, result.stdout)
        # CMake wraps long messages over lines.
        self.assertIn(message, " ".join(result.stderr.split()))


class ReleasePublicKeyTest(ConfigurationTestCase):
    def test_every_build_refuses_a_key_of_small_order_or_off_the_curve(self):
        keys = {
            "all zero (order 4)": "00" + ZEROS,
            "identity": "01" + ZEROS,
            "identity with a sign": "01" + ZEROS[2:] + "80",
            "order 2": "ec" + ONES[2:] + "7f",
            "order 8": "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05",
            "y equal to p": "ed" + ONES[2:] + "7f",
            "y above p": "ff" + ONES,
            "off the curve": "02" + ZEROS,
        }
        for name, key in keys.items():
            for required in ("OFF", "ON"):
                with self.subTest(key=name, release=required):
                    result = self.configure(OSTREL_RELEASE_PUBLIC_KEY=key, OSTREL_REQUIRE_RELEASE_KEY=required,
                                            OSTREL_UPDATE_HOST="updates.example.org")
                    self.assertRefused(result, "The release public key is not a usable Ed25519 key")


class UpdateHostTest(ConfigurationTestCase):
    def test_a_release_build_refuses_this_machine_and_bare_addresses(self):
        hosts = ["localhost", "LocalHost", "feed.localhost", "127.0.0.1", "127.1", "2130706433", "0x7f000001",
                 "10.0.0.8", "updates.8"]
        for host in hosts:
            with self.subTest(host=host):
                result = self.configure(OSTREL_RELEASE_PUBLIC_KEY=STRONG_KEY, OSTREL_REQUIRE_RELEASE_KEY="ON",
                                        OSTREL_UPDATE_HOST=host)
                self.assertRefused(result, "OSTREL_UPDATE_HOST must name the feed's server, not this machine or an address")

    def test_every_build_refuses_an_address_literal_of_ipv6(self):
        for host in ["::1", "[::1]", "fe80::1"]:
            with self.subTest(host=host):
                self.assertRefused(self.configure(OSTREL_UPDATE_HOST=host), "OSTREL_UPDATE_HOST must be a host name")

    def test_a_release_build_accepts_a_feed_server_and_a_strong_key(self):
        result = self.configure(OSTREL_RELEASE_PUBLIC_KEY=STRONG_KEY, OSTREL_REQUIRE_RELEASE_KEY="ON",
                                OSTREL_UPDATE_HOST="updates.localhost-mirror.example.org")
        self.assertEqual(result.returncode, 0, result.stderr)


class UpdaterVersionTest(ConfigurationTestCase):
    def test_refuses_what_the_version_resource_cannot_hold(self):
        versions = {
            "empty": ("", "OSTREL_UPDATER_VERSION must be one to four numbers, dot-separated"),
            "five numbers": ("1.2.3.4.5", "OSTREL_UPDATER_VERSION must be one to four numbers, dot-separated"),
            "a letter": ("1.2.3-beta", "OSTREL_UPDATER_VERSION must be one to four numbers, dot-separated"),
            "an empty number": ("1..3", "OSTREL_UPDATER_VERSION must be one to four numbers, dot-separated"),
            "above 16 bits": ("1.65536", "OSTREL_UPDATER_VERSION's numbers must be at most 65535"),
        }
        for name, (version, message) in versions.items():
            with self.subTest(name):
                self.assertRefused(self.configure(OSTREL_UPDATER_VERSION=version), message)

    def test_accepts_one_to_four_numbers_up_to_65535(self):
        for version in ("7", "1.2", "1.2.3", "65535.0.65535.1"):
            with self.subTest(version):
                result = self.configure(OSTREL_UPDATER_VERSION=version)
                self.assertEqual(result.returncode, 0, result.stderr)


class WineIntegrationBuildTest(ConfigurationTestCase):
    def test_refuses_any_key_but_the_test_key(self):
        for settings in ({"OSTREL_RELEASE_PUBLIC_KEY": STRONG_KEY, "OSTREL_REQUIRE_RELEASE_KEY": "OFF"},
                         {"OSTREL_RELEASE_PUBLIC_KEY": STRONG_KEY, "OSTREL_REQUIRE_RELEASE_KEY": "ON",
                          "OSTREL_UPDATE_HOST": "updates.example.org"}):
            with self.subTest(**settings):
                result = self.configure(OSTREL_TARGET="wine-integration", **settings)
                self.assertRefused(result, "The Wine integration build reports Wine's user as LocalSystem")


if __name__ == "__main__":
    unittest.main()
