"""The popup and the badge in Debian's Chromium against hosts that answer a
fixed document, in English and Icelandic, light and dark: every state of the
updater and every way native messaging fails, worded in plain words with a
next step; the accessibility of the popup (the live region, the page's
language, the focus ring's contrast, the keyboard); how it follows a state
and how "Check now" reaches the updater. The screenshots of each state, and
of the toolbar icon with each badge, are kept (docs/extension/ holds them)."""

import base64
import json
import time
import unittest

from extension_fixture import (EXTENSION, LANGUAGES, SCHEMES, ExtensionCase, Messages, contrast, hex_rgb, rgb,
                               wait_for)

OTHER_EXTENSION = "chrome-extension://abcdefghijklmnopabcdefghijklmnop/"
# Chromium's own words for its failures of native messaging.
HOST_EXITED = "Native host has exited."
HOST_NOT_FOUND = "Specified native messaging host not found."
HOST_FORBIDDEN = "Access to the specified native messaging host is forbidden."
TONES = ("calm", "busy", "ready", "problem")


def status(state: str, **members) -> dict:
    return {"ok": True, "state": state, "installedVersion": "1.0.0", **members}


def compact(document: dict) -> str:
    """As JSON.stringify writes it."""
    return json.dumps(document, separators=(",", ":"), ensure_ascii=False)


def cases(t: Messages) -> list:
    """(name, host, expected words, tone, badge): the host is a document to
    answer, or one of "exits", "missing", "forbidden"."""
    updater_said, browser_said, answer_was = t("updaterSaid"), t("browserSaid"), t("answerWas")
    sleeping = status("sleeping")
    return [
        ("up-to-date", status("up_to_date"),
         (t("upToDateHeadline"), t("installedDetail", "1.0.0"), "", None, t("checkNow")), "calm", ""),
        ("checking", status("checking"),
         (t("checkingHeadline"), t("installedDetail", "1.0.0"), "", None, None), "busy", ""),
        ("downloading", status("downloading", availableVersion="1.1.0"),
         (t("downloadingHeadline", "1.1.0"), t("downloadingDetail"), "", None, None), "busy", ""),
        ("ready", status("ready", availableVersion="1.1.0"),
         (t("readyHeadline", "1.1.0"), t("readyDetail", "1.1.0"), "", None, None), "ready", t("badgeReady")),
        # The apply worker's failure leaves the release staged.
        ("ready-install-failed", status("ready", availableVersion="1.1.0", message="Run updater installer (2)"),
         (t("readyHeadline", "1.1.0"), t("readyDetail", "1.1.0"), t("readyInstallFailedNotice"),
          f"{updater_said} Run updater installer (2)", None), "ready", t("badgeReady")),
        # A check that could not reach the feed while a release is staged.
        ("ready-check-failed", status("ready", availableVersion="1.1.0", message="Request update (12029)"),
         (t("readyHeadline", "1.1.0"), t("readyDetail", "1.1.0"), t("readyCheckFailedNotice"),
          f"{updater_said} Request update (12029)", None), "ready", t("badgeReady")),
        ("installing", status("installing", availableVersion="1.1.0"),
         (t("installingHeadline", "1.1.0"), t("installingDetail"), "", None, None), "busy", ""),
        # What "check" answers while the apply worker holds its lock.
        ("installing-unnamed", status("installing"),
         (t("installingUnnamedHeadline"), t("installingDetail"), "", None, None), "busy", ""),
        ("error-unreachable", status("error", message="Connect update server (12029)"),
         (t("unreachableHeadline"), t("unreachableDetail"), "", f"{updater_said} Connect update server (12029)",
          t("tryAgain")), "problem", "!"),
        ("error", status("error", message="Installer SHA-512 mismatch"),
         (t("notGenuineHeadline"), t("notGenuineDetail"), "", f"{updater_said} Installer SHA-512 mismatch",
          t("tryAgain")), "problem", "!"),
        ("error-other", status("error", message="Commit updater status (5)"),
         (t("updateFailedHeadline"), t("updateFailedDetail"), "", f"{updater_said} Commit updater status (5)",
          t("tryAgain")), "problem", "!"),
        # The service disabled by --prepare-install.
        ("refused", {"ok": False, "error": "Start native updater (1058)"},
         (t("refusedHeadline"), t("refusedDetail"), "", f"{updater_said} Start native updater (1058)",
          t("tryAgain")), "problem", "!"),
        ("uninstalling", {"ok": False, "error": "Ostrel is being uninstalled"},
         (t("uninstallingHeadline"), t("uninstallingDetail"), "", f"{updater_said} Ostrel is being uninstalled",
          None), "problem", "!"),
        ("unexpected", sleeping,
         (t("unexpectedHeadline"), t("unexpectedDetail"), "", f"{answer_was} {compact(sleeping)}", t("tryAgain")),
         "problem", "!"),
        ("host-failed", "exits",
         (t("hostFailedHeadline"), t("hostFailedDetail"), "", f"{browser_said} {HOST_EXITED}", t("tryAgain")),
         "problem", "!"),
        ("host-missing", "missing",
         (t("hostMissingHeadline"), t("hostMissingDetail"), "", f"{browser_said} {HOST_NOT_FOUND}", t("tryAgain")),
         "problem", "!"),
        ("host-forbidden", "forbidden",
         (t("hostForbiddenHeadline"), t("hostForbiddenDetail"), "", f"{browser_said} {HOST_FORBIDDEN}",
          t("tryAgain")), "problem", "!"),
    ]


# Records, in the page, each text the live region takes and whether it was
# ever marked busy, with the time of each change.
RECORD_ANNOUNCEMENTS = """
window.announcements = [];
window.everBusy = false;
document.addEventListener('DOMContentLoaded', () => {
  const region = document.getElementById('state');
  const record = () => {
    const text = region.innerText.replace(/\\s+/g, ' ').trim();
    const last = window.announcements[window.announcements.length - 1];
    if (!last || last.text !== text) window.announcements.push({ text, at: performance.now() });
    if (region.getAttribute('aria-busy') === 'true') window.everBusy = true;
  };
  new MutationObserver(record).observe(region, { subtree: true, childList: true, characterData: true,
                                                  attributes: true });
  record();
});
"""

STYLES = """((id) => {
  const style = (element) => getComputedStyle(element);
  const element = id ? document.getElementById(id) : document.activeElement;
  return { background: style(document.body).backgroundColor, outlineColor: style(element).outlineColor,
           outlineStyle: style(element).outlineStyle, outlineWidth: parseFloat(style(element).outlineWidth),
           tone: style(document.getElementById('state')).borderLeftColor,
           notice: style(document.getElementById('notice')).color };
})"""


class PopupTest(ExtensionCase):
    def arrange(self, host):
        if host == "exits":
            # The request is read first: a host gone before Chromium writes it
            # is a broken pipe to Chromium, not an exit.
            self.host_runs("head -c 4 >/dev/null; exit 1")
        elif host == "missing":
            self.manifest.unlink(missing_ok=True)
        elif host == "forbidden":
            self.write_manifest([OTHER_EXTENSION])
        else:
            self.host_answers(host)
        if host not in ("missing", "forbidden"):
            self.write_manifest([self.origin])

    @property
    def origin(self):
        import whole_update
        return whole_update.ORIGIN

    def style(self, popup, element_id: str = ""):
        return popup.evaluate(f"{STYLES}({json.dumps(element_id)})")

    def keep_toolbar(self, name: str, scheme: str):
        """The toolbar button as Chromium draws it: the action's 16-pixel icon
        with the badge text and colours the worker set, at its lower right."""
        text = self.badge()
        background = self.worker.evaluate("chrome.action.getBadgeBackgroundColor({})")
        foreground = self.worker.evaluate("chrome.action.getBadgeTextColor({})")
        if text:
            self.assertGreaterEqual(contrast(background, foreground), 4.5, f"badge {text!r}")
        icon = base64.b64encode((EXTENSION / "icons" / "icon-32.png").read_bytes()).decode()
        toolbar, ink = ("#f1f3f4", "#1f1f1f") if scheme == "light" else ("#35363a", "#e8eaed")
        badge = (f'<span style="position:absolute;right:1px;bottom:3px;min-width:8px;height:12px;padding:0 2px;'
                 f'border-radius:2px;font:bold 9px/12px system-ui,sans-serif;text-align:center;'
                 f'background:rgba({",".join(map(str, background[:3]))},1);'
                 f'color:rgba({",".join(map(str, foreground[:3]))},1)">{text}</span>') if text else ""
        page = (f'<!doctype html><meta charset="utf-8"><body style="margin:0;background:{toolbar};color:{ink}">'
                f'<div id="toolbar" style="display:inline-flex;align-items:center;gap:6px;padding:4px 8px;'
                f'font:12px system-ui,sans-serif"><span style="position:relative;display:inline-block;width:28px;'
                f'height:28px"><img src="data:image/png;base64,{icon}" width="16" height="16" '
                f'style="position:absolute;left:6px;top:6px">{badge}</span></div></body>')
        tab = self.chromium.open("data:text/html;base64," + base64.b64encode(page.encode()).decode(), scheme)
        self.keep(tab, name, "#toolbar", scale=4)
        tab.close()

    def test_words_every_answer_in_each_language(self):
        """Every state and every failure kind: the words, the action offered,
        the mark's tone and colours, the badge, and the screenshots."""
        for language in LANGUAGES:
            with self.subTest(language):
                self.host_answers(status("up_to_date"))
                self.start_chromium(language)
                self.addCleanup(self.stop_chromium)
                suffix = "" if language == "en" else f"-{language}"
                tone_colours = {scheme: {} for scheme in SCHEMES}
                for name, host, expected, tone, badge in cases(self.text):
                    with self.subTest(name):
                        self.arrange(host)
                        for scheme in SCHEMES:
                            popup = self.open_popup(scheme)
                            self.expect_words(popup, *expected, seconds=30)
                            self.assertEqual(popup.evaluate("document.getElementById('state').dataset.tone"), tone)
                            self.assertEqual(self.badge(), badge)
                            colours = self.style(popup, "check")
                            page = rgb(colours["background"])
                            tone_colours[scheme].setdefault(tone, rgb(colours["tone"]))
                            # The notice is text in the tone's colour.
                            self.assertGreaterEqual(contrast(rgb(colours["notice"]), page), 4.5, (name, scheme))
                            self.keep(popup, f"{name}-{scheme}{suffix}")
                            if name in ("up-to-date", "ready", "error"):
                                self.keep_toolbar(f"toolbar-{name}-{scheme}{suffix}", scheme)
                            popup.close()
                for scheme, colours in tone_colours.items():
                    self.assertEqual(sorted(colours), sorted(TONES))
                    self.assertEqual(len(set(colours.values())), len(TONES), f"tones alike in {scheme}")
                self.stop_chromium()
                self.manifest.unlink(missing_ok=True)
                self.write_manifest([self.origin])

    def test_is_accessible_in_each_language_and_scheme(self):
        """The live region announces each new state once and is never busy;
        the page's language is that of its words; the focus ring stands out
        at 3:1 or more on the page; everything works from the keyboard."""
        for language in LANGUAGES:
            self.host_answers(status("checking"))
            self.start_chromium(language)
            self.addCleanup(self.stop_chromium)
            t = self.text
            for scheme in SCHEMES:
                with self.subTest(language=language, scheme=scheme):
                    self.host_answers(status("checking"))
                    popup = self.open_popup(scheme, before_load=RECORD_ANNOUNCEMENTS)
                    self.expect_words(popup, t("checkingHeadline"), t("installedDetail", "1.0.0"), "", None, None,
                                      seconds=30)
                    self.host_answers(status("downloading", availableVersion="1.1.0"))
                    self.expect_words(popup, t("downloadingHeadline", "1.1.0"), t("downloadingDetail"), "", None,
                                      None, seconds=30)
                    self.host_answers(status("ready", availableVersion="1.1.0", message="Run updater installer (2)"))
                    self.expect_words(popup, t("readyHeadline", "1.1.0"), t("readyDetail", "1.1.0"),
                                      t("readyInstallFailedNotice"), f"{t('updaterSaid')} Run updater installer (2)",
                                      None, seconds=30)
                    headlines = [t("askingHeadline"), t("checkingHeadline"), t("downloadingHeadline", "1.1.0"),
                                 t("readyHeadline", "1.1.0")]
                    announced = [entry["text"] for entry in popup.evaluate("window.announcements")]
                    self.assertEqual([next(h for h in headlines if text.startswith(h)) for text in announced],
                                     headlines, announced)
                    self.assertFalse(popup.evaluate("window.everBusy"))

                    nodes = popup.accessibility_tree()
                    regions = [node for node in nodes if node.get("role", {}).get("value") == "status"]
                    self.assertEqual(len(regions), 1)
                    properties = {item["name"]: item["value"].get("value") for item in regions[0].get("properties", [])}
                    self.assertEqual(properties.get("live"), "polite")
                    self.assertIs(properties.get("atomic"), True)
                    self.assertNotEqual(properties.get("busy"), True)
                    self.assertEqual(popup.evaluate("document.documentElement.lang"), language)
                    self.assertEqual(popup.evaluate("document.getElementById('details-text').lang"), "en")

                    # The disclosure opens from the keyboard.
                    self.focus_on(popup, "details-summary")
                    self.assert_focus_ring(popup)
                    popup.press("Enter")
                    self.assertTrue(popup.evaluate("document.getElementById('details').open"))
                    popup.close()

                    # "Try again" from the keyboard reaches the updater, and the
                    # focus comes back to the button with the answer.
                    self.host_answers(status("error", message="Installer SHA-512 mismatch"))
                    popup = self.open_popup(scheme)
                    self.expect_words(popup, t("notGenuineHeadline"), t("notGenuineDetail"), "",
                                      f"{t('updaterSaid')} Installer SHA-512 mismatch", t("tryAgain"), seconds=30)
                    self.focus_on(popup, "check")
                    self.assert_focus_ring(popup)
                    checks = self.requests().count("check")
                    popup.press("Enter")
                    self.assertTrue(wait_for(lambda: self.requests().count("check") == checks + 1, 10, 0.05))
                    self.assertTrue(wait_for(lambda: popup.evaluate("document.activeElement.id") == "check", 10, 0.05))
                    popup.close()
            self.stop_chromium()

    def assert_focus_ring(self, popup):
        style = self.style(popup)
        self.assertNotEqual(style["outlineStyle"], "none")
        self.assertGreaterEqual(style["outlineWidth"], 2)
        self.assertGreaterEqual(contrast(rgb(style["outlineColor"]), rgb(style["background"])), 3)

    def test_checking_lasts_until_the_updater_answers(self):
        self.host_answers(status("up_to_date"))
        self.start_chromium()
        t = self.text
        popup = self.open_popup(before_load=RECORD_ANNOUNCEMENTS)
        up_to_date = (t("upToDateHeadline"), t("installedDetail", "1.0.0"), "", None, t("checkNow"))
        self.expect_words(popup, *up_to_date, seconds=30)
        self.check_now(popup)
        self.assertTrue(wait_for(lambda: "check" in self.requests(), 10, 0.05))
        self.expect_words(popup, *up_to_date, seconds=5)
        announced = popup.evaluate("window.announcements")
        checking = [entry for entry in announced if entry["text"].startswith(t("checkingHeadline"))]
        self.assertEqual(len(checking), 1, announced)
        answered = announced[announced.index(checking[0]) + 1]
        self.assertTrue(answered["text"].startswith(t("upToDateHeadline")))
        self.assertLess(answered["at"] - checking[0]["at"], 2000)

        # While the popup still watches for a change after the answer, a
        # second "Check now" goes through too.
        self.assertEqual(popup.evaluate("document.activeElement.id"), "check")
        popup.press("Enter")
        self.assertTrue(wait_for(lambda: self.requests().count("check") >= 2, 10, 0.05), self.requests())

    def test_following_a_state_is_bounded(self):
        """A state that never settles is followed for a while, then the popup
        stops asking, says so, and offers "Check now", which reaches the updater."""
        self.host_answers(status("downloading", availableVersion="1.1.0"))
        self.start_chromium()
        t = self.text
        popup = self.open_popup(query="?followSeconds=2")
        before_time = t("followStopped", "\0").partition("\0")[0]
        self.assertTrue(wait_for(lambda: self.words(popup)[2].startswith(before_time), 20, 0.1), self.words(popup))
        headline, detail, _, details, button = self.words(popup)
        self.assertEqual((headline, detail, details, button),
                         (t("downloadingHeadline", "1.1.0"), t("downloadingDetail"), None, t("checkNow")))
        asked = self.requests().count("status")
        time.sleep(3)
        self.assertEqual(self.requests().count("status"), asked)
        self.check_now(popup)
        self.assertTrue(wait_for(lambda: self.requests().count("check") >= 2, 10, 0.05), self.requests())

    def test_last_checked_is_the_time_of_the_last_settled_answer(self):
        """The worker's own "check" at installation sets it; the popup shows it."""
        self.host_answers(status("up_to_date"))
        self.start_chromium()
        self.assertTrue(wait_for(lambda: self.worker.evaluate("chrome.storage.local.get('lastChecked')"
                                                              ".then((stored) => stored.lastChecked ?? 0)"), 10, 0.1))
        popup = self.open_popup()
        prefix = self.text("lastChecked", "\0").partition("\0")[0]
        self.assertTrue(wait_for(lambda: popup.evaluate("document.getElementById('last-checked').textContent")
                                 .startswith(prefix), 10, 0.1))
        self.assertFalse(popup.evaluate("document.getElementById('last-checked').hidden"))


if __name__ == "__main__":
    unittest.main()
