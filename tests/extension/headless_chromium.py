"""Debian's Chromium, headless, with an unpacked extension loaded and driven
over the DevTools protocol on a pipe: no port is opened, and only the
standard library is needed.

Chromium reads commands from its descriptor 3 and writes replies and events
to its descriptor 4, each message JSON ended by a zero byte. It runs with a
user data directory of its own, and every host name resolves to nothing, so
nothing leaves this machine."""

import base64
import fcntl
import json
import os
import subprocess
from pathlib import Path

CHROMIUM = "/usr/bin/chromium"
# Without the background-networking flags Chromium keeps trying to reach its
# services; its sandbox refuses root. The interface language is given to
# each start (--lang): the extension's messages follow it.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", "--host-resolver-rules=MAP * ~NOTFOUND", "--remote-debugging-pipe"]

# Virtual key code, and the text the key types.
KEYS = {"Tab": (9, ""), "Enter": (13, "\r"), "Space": (32, " ")}


class DevToolsError(Exception):
    pass


class HeadlessChromium:
    def __init__(self, extension: Path, user_data: Path, language: str = "en-US"):
        to_chromium_read, self.to_chromium = os.pipe()
        self.from_chromium, from_chromium_write = os.pipe()
        # Lifted above 4 first, so that placing one cannot overwrite the other.
        to_chromium_read = _above_four(to_chromium_read)
        from_chromium_write = _above_four(from_chromium_write)

        def descriptors_3_and_4():
            os.dup2(to_chromium_read, 3)
            os.dup2(from_chromium_write, 4)

        self.process = subprocess.Popen(
            [CHROMIUM, *FLAGS, f"--lang={language}", f"--user-data-dir={user_data}", f"--load-extension={extension}",
             f"--disable-extensions-except={extension}", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(3, 4),
            preexec_fn=descriptors_3_and_4)
        os.close(to_chromium_read)
        os.close(from_chromium_write)
        self.next_id = 0
        self.pending = b""
        self.events = []

    def close(self):
        """Closes the browser as its user does; again, nothing."""
        if self.to_chromium is None:
            return
        if self.process.poll() is None:
            try:
                self.send("Browser.close")
            except (DevToolsError, OSError):
                self.process.kill()
            self.process.wait(timeout=30)
        os.close(self.to_chromium)
        os.close(self.from_chromium)
        self.to_chromium = self.from_chromium = None

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def send(self, method: str, session: str | None = None, **parameters) -> dict:
        """One command, and its result once it comes; events before it are kept."""
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": parameters}
        if session:
            message["sessionId"] = session
        os.write(self.to_chromium, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if "method" in reply:
                self.events.append(reply)
            elif reply.get("id") == self.next_id:
                if "error" in reply:
                    raise DevToolsError(f"{method}: {reply['error']}")
                return reply["result"]

    def wait_for_event(self, method: str, session: str) -> dict:
        """The first event of that kind in the session, kept or still to come."""
        while True:
            for event in self.events:
                if event["method"] == method and event.get("sessionId") == session:
                    self.events.remove(event)
                    return event
            self.events.append(self.receive())

    def receive(self) -> dict:
        while b"\0" not in self.pending:
            chunk = os.read(self.from_chromium, 1 << 16)
            if not chunk:
                raise DevToolsError("Chromium closed its end of the pipe")
            self.pending += chunk
        message, _, self.pending = self.pending.partition(b"\0")
        return json.loads(message)

    def targets(self) -> list:
        return self.send("Target.getTargets")["targetInfos"]

    def attach(self, target_id: str) -> str:
        return self.send("Target.attachToTarget", targetId=target_id, flatten=True)["sessionId"]

    def open(self, url: str, color_scheme: str = "light", before_load: str = "") -> "Page":
        """A new tab with the page loaded, in the colour scheme given, with
        before_load's script run in it before the page's own."""
        target = self.send("Target.createTarget", url="about:blank")["targetId"]
        session = self.attach(target)
        self.send("Page.enable", session)
        self.send("Emulation.setEmulatedMedia", session,
                  features=[{"name": "prefers-color-scheme", "value": color_scheme}])
        if before_load:
            self.send("Page.addScriptToEvaluateOnNewDocument", session, source=before_load)
        self.send("Page.navigate", session, url=url)
        self.wait_for_event("Page.loadEventFired", session)
        return Page(self, target, session)


class Page:
    """A tab, or any target that runs script, such as a service worker."""

    def __init__(self, browser: HeadlessChromium, target: str, session: str):
        self.browser, self.target, self.session = browser, target, session

    def evaluate(self, expression: str):
        """The expression's value; a promise is awaited."""
        result = self.browser.send("Runtime.evaluate", self.session, expression=expression,
                                   returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise DevToolsError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def screenshot(self, selector: str, path: Path, scale: float = 1):
        """A PNG of the element's box, as a user sees it, enlarged by scale."""
        box = self.evaluate(f"(() => {{ const r = document.querySelector({json.dumps(selector)})"
                            ".getBoundingClientRect(); return [r.x, r.y, r.width, r.height]; })()")
        clip = dict(zip(("x", "y", "width", "height"), box), scale=scale)
        picture = self.browser.send("Page.captureScreenshot", self.session, format="png", clip=clip)
        path.write_bytes(base64.b64decode(picture["data"]))

    def accessibility_tree(self) -> list:
        """The nodes of the page's accessibility tree, as a screen reader gets them."""
        return self.browser.send("Accessibility.getFullAXTree", self.session)["nodes"]

    def press(self, key: str):
        """A key pressed and released where the focus is."""
        code, text = KEYS[key]
        name = " " if key == "Space" else key
        self.browser.send("Input.dispatchKeyEvent", self.session, type="keyDown", key=name, code=key,
                          windowsVirtualKeyCode=code, text=text)
        self.browser.send("Input.dispatchKeyEvent", self.session, type="keyUp", key=name, code=key,
                          windowsVirtualKeyCode=code)

    def close(self):
        self.browser.send("Target.closeTarget", targetId=self.target)


def _above_four(descriptor: int) -> int:
    lifted = fcntl.fcntl(descriptor, fcntl.F_DUPFD_CLOEXEC, 5)
    os.close(descriptor)
    return lifted
