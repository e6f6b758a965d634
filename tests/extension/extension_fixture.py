"""What the extension's tests share: a profile with the host manifest,
Debian's Chromium with the extension loaded in a language, the popup opened
in a colour scheme, its words as a user reads them, the badge the worker set,
the extension's own messages to compare with, and the screenshots kept."""

import json
import os
import re
import shlex
import sys
import tempfile
import unittest
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPOSITORY / "tests" / "whole_update"))

import whole_update  # noqa: E402
from companion_browser import (EXTENSION, extension_worker, hosts_running, updater_host_script,  # noqa: E402
                               write_host_manifest, write_host_program)
from headless_chromium import DevToolsError, HeadlessChromium, Page  # noqa: E402
from whole_update import WineMachine, wait_for  # noqa: E402

POPUP = f"{whole_update.ORIGIN}popup.html"
# The languages of extension/_locales, and the --lang that selects each.
LANGUAGES = {"en": "en-US", "is": "is"}
SCHEMES = ("light", "dark")


class Messages:
    """The extension's messages in one language, with their placeholders
    filled in as chrome.i18n.getMessage fills them."""

    def __init__(self, language: str):
        self.entries = json.loads((EXTENSION / "_locales" / language / "messages.json").read_text())

    def __call__(self, name: str, *substitutions: str) -> str:
        entry = self.entries[name]
        text = entry["message"]
        for placeholder, value in entry.get("placeholders", {}).items():
            content = re.sub(r"\$(\d)", lambda match: substitutions[int(match.group(1)) - 1], value["content"])
            text = re.sub(re.escape(f"${placeholder}$"), lambda _: content, text, flags=re.IGNORECASE)
        return text


def luminance(color: tuple) -> float:
    def channel(value):
        value /= 255
        return value / 12.92 if value <= 0.04045 else ((value + 0.055) / 1.055) ** 2.4
    red, green, blue = (channel(value) for value in color[:3])
    return 0.2126 * red + 0.7152 * green + 0.0722 * blue


def contrast(first: tuple, second: tuple) -> float:
    """WCAG's contrast ratio of two opaque colours."""
    lighter, darker = sorted((luminance(first), luminance(second)), reverse=True)
    return (lighter + 0.05) / (darker + 0.05)


def rgb(css: str) -> tuple:
    """A computed CSS colour, rgb(...) or rgba(...), as numbers."""
    return tuple(float(part) for part in re.findall(r"[\d.]+", css)[:3])


def hex_rgb(color: str) -> tuple:
    return tuple(int(color[index:index + 2], 16) for index in (1, 3, 5))


class ExtensionCase(unittest.TestCase):
    """A profile whose host manifest names self.host_program."""

    def setUp(self):
        self.directory = Path(self.enterContext(tempfile.TemporaryDirectory(prefix="ostrel-extension-")))
        self.profile = self.directory / "profile"
        self.host_program = self.directory / "host"
        self.host_log = self.directory / "requests.log"
        self.reply_file = self.directory / "reply.json"
        self.manifest = write_host_manifest(self.profile, self.host_program)

    def write_manifest(self, allowed_origins: list):
        write_host_manifest(self.profile, self.host_program, tuple(allowed_origins))

    # The host program behind the manifest.

    def host_runs(self, script: str):
        write_host_program(self.host_program, script)

    def host_runs_updater(self, machine: WineMachine):
        """The updater under Wine behind the manifest. A host that Chromium
        started just before it closed runs on without it; one still running
        when the machine stops would start a Wine server of its own in the
        removed prefix, so the machine stops only once none is left."""

        self.addCleanup(lambda: self.assertTrue(wait_for(lambda: not hosts_running(machine), 30, 0.1),
                                                "a native messaging host outlived Chromium"))
        self.host_runs(updater_host_script(machine))

    def host_answers(self, reply):
        """A host that answers every request with the reply (a document, or
        the bytes given) and logs the request's action."""
        written = self.reply_file.with_name("reply.new")
        written.write_bytes(reply if isinstance(reply, bytes) else json.dumps(reply).encode())
        os.replace(written, self.reply_file)
        canned_host = Path(__file__).with_name("canned_host.py")
        self.host_runs(f"exec {shlex.quote(sys.executable)} {shlex.quote(str(canned_host))} "
                       f'{self.reply_file} {self.host_log} "$@"')

    def requests(self) -> list:
        return self.host_log.read_text().split() if self.host_log.exists() else []

    # The browser.

    def start_chromium(self, language: str = "en"):
        self.text = Messages(language)
        self.language = language
        self.chromium = self.enterContext(HeadlessChromium(EXTENSION, self.profile, LANGUAGES[language]))
        self.worker = extension_worker(self.chromium)
        # The extension's API comes to the worker's context a moment after it starts.
        self.assertTrue(wait_for(self.worker_ready, 30, 0.1), "the worker has no chrome.action")

    def worker_ready(self) -> bool:
        try:
            return self.worker.evaluate("typeof chrome !== 'undefined' && Boolean(chrome.action)")
        except DevToolsError:
            return False

    def stop_chromium(self):
        self.chromium.close()

    def open_popup(self, scheme: str = "light", query: str = "", before_load: str = "") -> Page:
        return self.chromium.open(POPUP + query, scheme, before_load)

    def badge(self) -> str:
        return self.worker.evaluate("chrome.action.getBadgeText({})")

    # The popup as a user meets it.

    def words(self, popup: Page) -> tuple:
        """Headline, detail, notice, "Details" as shown (None when hidden),
        and the button's label (None when there is none)."""
        return tuple(popup.evaluate("""(() => {
            const text = (id) => document.getElementById(id).textContent;
            const details = document.getElementById('details');
            const button = document.getElementById('check');
            return [text('headline'), text('detail'), text('notice'),
                    details.hidden ? null : text('details-said') + ' ' + text('details-text'),
                    button.hidden ? null : button.textContent];
        })()"""))

    def expect_words(self, popup: Page, *expected, seconds: float = 120):
        wait_for(lambda: self.words(popup) == expected, seconds, 0.1)
        self.assertEqual(self.words(popup), expected)

    def focus_on(self, popup: Page, element_id: str):
        """Tab until the element has the focus, as a keyboard user does."""
        for _ in range(6):
            if popup.evaluate("document.activeElement.id") == element_id:
                return
            popup.press("Tab")
        self.assertEqual(popup.evaluate("document.activeElement.id"), element_id)

    def check_now(self, popup: Page):
        """Tab to the button and press Enter."""
        self.focus_on(popup, "check")
        popup.press("Enter")

    def keep(self, page: Page, name: str, selector: str = "main", scale: float = 1):
        directory = Path(os.environ["OSTREL_SCREENSHOT_DIRECTORY"])
        directory.mkdir(parents=True, exist_ok=True)
        page.screenshot(selector, directory / f"{name}.png", scale)
