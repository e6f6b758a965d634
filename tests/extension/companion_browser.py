"""The companion extension as a browser carries it: Debian's Chromium,
headless, with the extension loaded unpacked and a profile whose host
manifest names a program that runs the native messaging host. Shared by the
extension's tests and the life campaign under Wine (bench/wine)."""

import json
import os
import shlex
from pathlib import Path

from headless_chromium import HeadlessChromium, Page
from whole_update import ORIGIN, UPDATER, WineMachine, wait_for

EXTENSION = Path(__file__).resolve().parents[2] / "extension"
HOST_NAME = "is.ostrel.updater"
BACKGROUND = f"{ORIGIN}background.js"


def write_host_manifest(profile: Path, host_program: Path, allowed_origins: tuple = (ORIGIN,)) -> Path:
    """The manifest in the profile, naming host_program; its path."""
    manifest = profile / "NativeMessagingHosts" / f"{HOST_NAME}.json"
    manifest.parent.mkdir(parents=True, exist_ok=True)
    manifest.write_text(json.dumps({"name": HOST_NAME, "description": "Ostrel native update control",
                                    "path": str(host_program), "type": "stdio",
                                    "allowed_origins": list(allowed_origins)}))
    return manifest


def write_host_program(host_program: Path, script: str):
    """Replaced whole, so a host that Chromium runs at that moment runs on."""
    written = host_program.with_name(host_program.name + ".new")
    written.write_text(f"#!/bin/sh\n{script}\n")
    written.chmod(0o755)
    os.replace(written, host_program)


def updater_host_script(machine: WineMachine) -> str:
    """The updater at its fixed place on the machine, run under Wine as the host."""
    settings = " ".join(f"{name}={shlex.quote(machine.environment[name])}"
                        for name in ("WINEPREFIX", "WINEARCH", "WINEDEBUG", "WINEDLLOVERRIDES"))
    return f'exec env {settings} wine {shlex.quote(UPDATER)} "$@"'


def hosts_running(machine: WineMachine) -> list:
    """The native messaging hosts Chromium started that still run: one started
    just before Chromium closed runs on without it."""
    return [pid for pid, command in machine.processes() if ORIGIN in command]


def extension_worker(chromium: HeadlessChromium) -> Page:
    """The extension's service worker, once Chromium has started it."""
    found = wait_for(lambda: [t for t in chromium.targets() if t["url"] == BACKGROUND], 30, 0.1)
    if not found:
        raise AssertionError("the extension's service worker did not start")
    return Page(chromium, found[0]["targetId"], chromium.attach(found[0]["targetId"]))


class UpdaterProfile:
    """A Chromium profile of its own whose host runs the updater of a Wine
    machine; each browser started with it is a new session of one user."""

    def __init__(self, machine: WineMachine, directory: Path):
        self.machine = machine
        self.directory = directory / "profile"
        host_program = directory / "host"
        write_host_manifest(self.directory, host_program)
        write_host_program(host_program, updater_host_script(machine))

    def start(self) -> HeadlessChromium:
        """Chromium with the extension, its worker running."""
        chromium = HeadlessChromium(EXTENSION, self.directory)
        try:
            extension_worker(chromium)
        except BaseException:
            chromium.close()
            raise
        return chromium
