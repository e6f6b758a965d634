"""The administrative template against the policy the updater reads.

The key, the value names and their types come from state/machine_policy.h,
the one place the updater spells them, so the template cannot drift from
the code: a renamed value, a changed type or another key fails here.
"""
import os
import pathlib
import re
import unittest
import xml.etree.ElementTree as ElementTree

ROOT = pathlib.Path(os.environ.get("OSTREL_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
HEADER = ROOT / "state" / "machine_policy.h"
ADMX = ROOT / "policy" / "ostrel-update.admx"
ADML = ROOT / "policy" / "en-US" / "ostrel-update.adml"
NAMESPACE = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
# The registry types the header names, as the template's elements write them.
TYPE_OF_ELEMENT = {"decimal": "RegDword", "text": "RegSz"}


def cpp_text(literal):
    """The text of a C++ string literal's body, its backslash escapes undone."""
    return re.sub(r"\\(.)", r"\1", literal)


def read_header():
    """The key and {value name: type} the updater reads."""
    source = HEADER.read_text()
    key = re.search(r'MachinePolicyKey = u"((?:[^"\\]|\\.)*)"', source)
    values = re.findall(r'PolicyValue \w+\{u"([^"]+)", os::(\w+)\}', source)
    return cpp_text(key.group(1)), dict(values)


def written_values(policy):
    """The (value name, type) pairs a policy of the template writes."""
    written = []
    if policy.get("valueName"):
        for state in ("enabledValue", "disabledValue"):
            for value in policy.find(f"p:{state}", NAMESPACE):
                written.append((policy.get("valueName"), TYPE_OF_ELEMENT[value.tag.split("}")[1]]))
    elements = policy.find("p:elements", NAMESPACE)
    for element in elements if elements is not None else ():
        written.append((element.get("valueName"), TYPE_OF_ELEMENT[element.tag.split("}")[1]]))
    return written


class AdministrativeTemplateTest(unittest.TestCase):
    def setUp(self):
        self.key, self.values = read_header()
        self.admx = ElementTree.parse(ADMX).getroot()
        self.adml = ElementTree.parse(ADML).getroot()
        self.policies = self.admx.findall("p:policies/p:policy", NAMESPACE)

    def test_the_header_names_the_key_and_two_values(self):
        self.assertEqual(self.key, r"SOFTWARE\Policies\Ostrel\Update")
        self.assertEqual(self.values, {"UpdatesEnabled": "RegDword", "TargetVersionPrefix": "RegSz"})

    def test_every_policy_writes_the_updaters_key_for_the_machine(self):
        self.assertTrue(self.policies)
        for policy in self.policies:
            self.assertEqual(policy.get("key"), self.key, policy.get("name"))
            self.assertEqual(policy.get("class"), "Machine", policy.get("name"))

    def test_the_values_written_are_exactly_those_read_with_their_types(self):
        written = {pair for policy in self.policies for pair in written_values(policy)}
        self.assertEqual(written, set(self.values.items()))

    def test_disabling_updates_writes_zero_and_enabling_them_one(self):
        policy = next(p for p in self.policies if p.get("valueName") == "UpdatesEnabled")
        self.assertEqual(policy.find("p:disabledValue/p:decimal", NAMESPACE).get("value"), "0")
        self.assertEqual(policy.find("p:enabledValue/p:decimal", NAMESPACE).get("value"), "1")

    def test_every_string_and_presentation_the_template_uses_is_in_the_english_resources(self):
        strings = {s.get("id") for s in self.adml.findall("p:resources/p:stringTable/p:string", NAMESPACE)}
        presentations = {p.get("id"): p for p in
                         self.adml.findall("p:resources/p:presentationTable/p:presentation", NAMESPACE)}
        for element in self.admx.iter():
            for attribute in element.attrib.values():
                for kind, name in re.findall(r"\$\((string|presentation)\.([^)]+)\)", attribute):
                    self.assertIn(name, strings if kind == "string" else presentations, attribute)
        for policy in self.policies:
            elements = policy.find("p:elements", NAMESPACE)
            if elements is None:
                continue
            presentation = presentations[re.fullmatch(r"\$\(presentation\.(.+)\)", policy.get("presentation"))[1]]
            controls = {control.get("refId") for control in presentation}
            self.assertEqual(controls, {element.get("id") for element in elements}, policy.get("name"))


if __name__ == "__main__":
    unittest.main()
