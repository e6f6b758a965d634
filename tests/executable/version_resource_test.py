"""OstrelUpdate.exe carries the version resource that Explorer's properties,
inventory tools and PowerShell's VersionInfo read, with the updater's
configured version: read back through version.dll under Wine."""

import os
import subprocess
import unittest


def read_version_resource(program: str) -> dict[str, str]:
    completed = subprocess.run(["wine", os.environ["OSTREL_VERSION_INFO_TOOL_EXE"], program],
                               capture_output=True, text=True, timeout=60, check=False)
    if completed.returncode != 0:
        raise AssertionError(f"version_info_tool: {completed.stdout}{completed.stderr}")
    fields = {}
    for line in completed.stdout.splitlines():
        name, _, value = line.partition("=")
        fields[name] = value
    return fields


class VersionResourceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.version = os.environ["OSTREL_UPDATER_VERSION"]
        cls.fields = read_version_resource(os.environ["OSTREL_UPDATE_EXE"])

    def test_the_binary_versions_are_the_configured_version_in_four_numbers(self):
        numbers = self.version.split(".")
        four_numbers = ".".join(numbers + ["0"] * (4 - len(numbers)))
        self.assertEqual(self.fields["FixedFileVersion"], four_numbers)
        self.assertEqual(self.fields["FixedProductVersion"], four_numbers)

    def test_the_strings_name_the_product_its_version_and_its_license(self):
        self.assertEqual(self.fields["Translation"], "040904b0")
        expected = {
            "CompanyName": "The Ostrel authors",
            "FileDescription": "Ostrel Native Updater",
            "FileVersion": self.version,
            "InternalName": "OstrelUpdate",
            "LegalCopyright": "Copyright (c) The Ostrel authors. MIT License.",
            "OriginalFilename": "OstrelUpdate.exe",
            "ProductName": "Ostrel",
            "ProductVersion": self.version,
        }
        for name, value in expected.items():
            with self.subTest(name=name):
                self.assertEqual(self.fields.get(name), value)


if __name__ == "__main__":
    unittest.main()
