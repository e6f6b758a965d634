"""Performs one whole update under Wine and narrates it, step by step with
the elapsed time: browser 1.0.0 installed, release 1.1.0 published and
served, "check" and "status" asked through the native messaging host, the
browser closed, the release installed, the installation reported and the
updater removed. The last line is the final status document.

scripts/main runs it with the programs named in the environment (see
whole_update.py)."""

import json
import sys
import tempfile
import time
from pathlib import Path

import whole_update
from whole_update import Browser, WineMachine, ask, install_browser, publish, serve, wait_for

START = time.monotonic()


def say(text: str):
    print(f"[{time.monotonic() - START:6.1f} s] {text}", flush=True)


def document(reply: dict) -> str:
    return json.dumps(reply, separators=(",", ":"))


def follow_status(machine: WineMachine, until: tuple, seconds: float = 180) -> dict:
    """Asks "status" until one of the states, saying each state seen."""
    seen = {}

    def reached():
        nonlocal seen
        status = ask(machine, "status")
        if status != seen:
            say(f'"status" -> {document(status)}')
            seen = status
        return status["state"] in until

    wait_for(reached, seconds, 0.2)
    return seen


def perform(machine: WineMachine, feed: Path) -> dict:
    install_browser(machine, "1.0.0")
    say(rf'installed browser 1.0.0: {whole_update.UPDATER} --install 1.0.0, stand-in {whole_update.BROWSER}')
    say(f"service {whole_update.SERVICE}: {machine.service_state()}")

    publish(feed, "1.1.0")
    files = ", ".join(f"{file.name} ({file.stat().st_size} bytes)" for file in sorted(feed.iterdir()))
    say(f"published 1.1.0 with ostrel-release sign: {files}")

    with serve(feed) as server:
        say("serving the feed at https://localhost/updates/native/")
        browser = Browser(machine)
        say("browser started")
        say(f'"check" -> {document(ask(machine, "check"))}')
        staged = follow_status(machine, ("ready", "error"))
        if staged["state"] != "ready":
            raise SystemExit(f"the release was not staged: {document(staged)}")

        browser.close()
        say("browser closed")
        final = follow_status(machine, ("up_to_date", "error"))
        say(f"feed requests: {', '.join(whole_update.requested_files(server))}")

    record = machine.host_path(whole_update.INSTALLER_RECORD)
    say("stand-in installer recorded: " + (record.read_text().strip().replace("\n", ", ") if record.exists() else "nothing"))
    report = machine.updater("--inspect-installation")
    say(f"--inspect-installation: exit {report.returncode}, {report.stdout.decode().strip()}")
    removed = machine.updater("--uninstall")
    say(f"--uninstall: exit {removed.returncode}; service now {machine.service_state() or 'gone'}")
    return final


def main() -> int:
    with tempfile.TemporaryDirectory() as feed:
        with WineMachine() as machine:
            say("a fresh Wine prefix of its own, with its own Wine server and service manager")
            final = perform(machine, Path(feed))
        left = machine.running_programs()
        say(f"Wine prefix stopped and removed; processes left: {', '.join(left) or 'none'}")
    print(document(final))
    return 0 if final.get("state") == "up_to_date" and final.get("installedVersion") == "1.1.0" and not left else 1


if __name__ == "__main__":
    sys.exit(main())
