"""Machine lives under Wine: each life a fresh Wine machine with browser
1.0.0, kept updated by nothing but the companion extension in Debian's
Chromium. The browser (the stand-in browser the updater looks for, and
Chromium with the extension, started and closed together) starts and closes
at random; releases (1.0.1, 1.1.0, ...) are published at random moments; and
faults strike between them, in an order and at moments that the seed
repeats:

  power loss                  every process of the machine killed at once,
                              during a session or just after its close; then
                              the machine boots
  stop during a check         the feed stalls before it answers the check that
                              the extension's start asked for, and the user
                              stops the updater (the host's "stop" or
                              `sc stop`)
  stop during a download      a release published whose installer stalls
                              mid-body, and the user stops the updater
  holding <file>              a user holds "status.json", "release.json" or
                              "release.sig" of the working directory open,
                              sharing only reading, for a while, as soon as
                              it is there (a release stays staged only
                              while the browser runs)
  worker image left suspended a process of the worker's image whose first
                              thread never runs, left until the machine stops
  manual upgrade              just after a close, the user upgrades by hand:
                              `--prepare-install`, the newest published
                              installer, `--install <version>`

Nobody opens the popup and nothing asks "check" but the extension. After
the life's sessions, the user goes on starting, using and closing the browser
(no faults any more) until the newest release is applied, a few sessions at
most. Then, in every life: the browser's recorded version is the newest
published; the version only ever moved forward, and every installer that ran
was a signed release; no updater process is left; "status.json" says
"up_to_date" with that version. Each life reports its faults, whether it
ended on the newest release, and for each release the time from its
publication to its application, in browser sessions (those open at some
moment in between) and in seconds. It exits non-zero when a life fails.

  python3 life_campaign.py [--seed N] [--lives K] [--sessions S] [--faults-per-life F]

with the programs of the whole update named in the environment (see
tests/whole_update/whole_update.py), inside a network namespace of its own."""

import argparse
import os
import random
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from collections import Counter
from dataclasses import dataclass, field
from pathlib import Path, PureWindowsPath

REPOSITORY = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(REPOSITORY / "tests" / "whole_update"))
sys.path.insert(0, str(REPOSITORY / "tests" / "extension"))
import whole_update  # noqa: E402
from companion_browser import UpdaterProfile, hosts_running  # noqa: E402
from fault_campaign import say, say_faults  # noqa: E402
from feed_server import Fault  # noqa: E402
from whole_update import DATA, ORIGIN, SERVICE, Browser, WineMachine, install_browser, publish, serve, wait_for  # noqa: E402

FIRST = "1.0.0"
MiB = 1 << 20
INSTALLER_SIZE = 4 * MiB
WORKER_IMAGE = DATA + r"\OstrelApply.exe"
HELD_FILES = ("status.json", "release.json", "release.sig")
KINDS = ("power loss", "stop during a check", "stop during a download",
         *(f"holding {name}" for name in HELD_FILES), "worker image left suspended", "manual upgrade")
# How long a stall lasts: long enough for the user's stop to meet it.
STALL_SECONDS = 20
# The sessions after the faults, until the newest release is applied.
FINAL_SESSIONS = 4
# A hand-off and an installer run after the last close, with room for a
# service that takes a pass or two to notice it.
HAND_OFF_SECONDS = 60


def version_key(version: str) -> tuple:
    return tuple(int(part) for part in version.split("."))


def next_version(version: str, rng: random.Random) -> str:
    major, minor, patch = version_key(version)
    return f"{major}.{minor}.{patch + 1}" if rng.random() < 0.4 else f"{major}.{minor + 1}.0"


@dataclass
class Event:
    """Something that happens in a session (offset seconds after its start)
    or after it (offset seconds after its close): "publish" or a fault."""
    session: int
    after_close: bool
    offset: float
    action: str


@dataclass
class Session:
    started: float
    ended: float | None = None


@dataclass
class Release:
    version: str
    published: float
    sha512: str
    applied: float | None = None


@dataclass
class Outcome:
    """What the campaign saw, over every life."""
    injected: Counter = field(default_factory=Counter)
    missed: Counter = field(default_factory=Counter)
    lives: int = 0
    on_newest: int = 0
    failures: list = field(default_factory=list)
    sessions_to_apply: list = field(default_factory=list)
    seconds_to_apply: list = field(default_factory=list)


def plan_life(rng: random.Random, faults: list, sessions: int) -> tuple:
    """The lengths of the sessions and of the pauses after them, and the
    events of the life in the order they happen."""
    lengths = [rng.uniform(8, 25) for _ in range(sessions)]
    pauses = [rng.uniform(3, 12) for _ in range(sessions)]
    events = []

    def anywhere(action: str) -> Event:
        session = rng.randrange(sessions)
        after_close = rng.random() < 0.4
        return Event(session, after_close, rng.uniform(0, pauses[session] if after_close else lengths[session]), action)

    for _ in range(rng.randint(1, 2)):
        events.append(anywhere("publish"))
    for kind in faults:
        session = rng.randrange(sessions)
        if kind == "stop during a check":
            # Armed before the browser starts, met by the check its start asks for.
            events.append(Event(session, False, 0, kind))
        elif kind == "stop during a download":
            events.append(Event(session, False, rng.uniform(1, lengths[session] / 2), kind))
        elif kind == "manual upgrade":
            events.append(Event(session, True, rng.uniform(0, min(8, pauses[session])), kind))
        elif kind == "power loss" and rng.random() < 0.5:
            # Just after a close: during the hand-off or the installer's run.
            events.append(Event(session, True, rng.uniform(0, 6), kind))
        else:
            events.append(anywhere(kind))
    events.sort(key=lambda event: (event.session, event.after_close, event.offset))
    return lengths, pauses, events


class Life:
    """One machine's life: its sessions, releases and faults, and its checks."""

    def __init__(self, number: int, rng: random.Random, outcome: Outcome, directory: Path):
        self.number, self.rng, self.outcome, self.directory = number, rng, outcome, directory
        self.feed = directory / "feed"
        self.feed.mkdir()
        self.releases = [Release(FIRST, 0, "")]
        self.sessions = []
        self.installed_seen = [FIRST]
        self.failures = []
        self.browser = None
        self.chromium = None
        self.holders = []
        self.suspended = []
        self.watching = threading.Event()

    def fail(self, text: str):
        self.failures.append(text)
        say(f"  FAILURE {text}")

    # What the machine shows, read from outside so that nothing is asked.

    def status_file(self) -> dict:
        return whole_update.status_file(self.machine)

    def watch(self):
        """Notes each installed version that "status.json" names, and when a
        release is applied, until the life ends."""
        while not self.watching.wait(0.2):
            installed = self.status_file().get("installedVersion")
            if installed and installed != self.installed_seen[-1]:
                self.installed_seen.append(installed)
                say(f"    ({self.elapsed():.0f} s) installed {installed}")
            for release in self.releases:
                if installed and release.applied is None and version_key(installed) >= version_key(release.version):
                    release.applied = time.monotonic()

    def updater_pids(self) -> list:
        """The updater's processes but the hosts, and installers that run, but
        the suspended processes the campaign left."""
        def updater(command: list) -> bool:
            program = PureWindowsPath(command[0]).name.lower()
            return (program in ("ostrelapply.exe", "ostrelupdate.exe") and ORIGIN not in command
                    or program.startswith("ostrel-setup-"))

        return [pid for pid, command in self.machine.processes() if updater(command) and pid not in self.suspended]

    def elapsed(self) -> float:
        return time.monotonic() - self.born

    # The browser.

    def start_browser(self):
        self.browser = Browser(self.machine)
        self.chromium = self.profile.start()
        self.sessions.append(Session(time.monotonic()))

    def close_browser(self):
        if self.chromium:
            self.chromium.close()
            self.browser.close()
            self.sessions[-1].ended = time.monotonic()
        self.chromium = self.browser = None

    # Releases.

    def publish(self, stall_download: bool = False):
        version = next_version(self.releases[-1].version, self.rng)
        if stall_download:
            self.server.feed_state.arm(f"Ostrel-Setup-{version}.exe",
                                       Fault("stall-body", offset=self.rng.randrange(1, INSTALLER_SIZE),
                                             seconds=STALL_SECONDS))
        publish(self.feed, version, INSTALLER_SIZE)
        self.releases.append(Release(version, time.monotonic(), whole_update.signed_sha512(self.feed)))
        say(f"    ({self.elapsed():.0f} s) published {version}")

    # The faults; each returns whether it struck something.

    def power_loss(self) -> bool:
        if self.chromium:
            self.chromium.process.kill()
        # The Wine server stays: it holds the registry as Windows' disk holds
        # the hives it has flushed, and every object it kept for the machine's
        # processes goes with their last handle.
        killed = [pid for pid, command in self.machine.processes() if "wineserver" not in command[0]]
        for pid in killed:
            os.kill(pid, signal.SIGKILL)
        wait_for(lambda: not set(killed) & {pid for pid, _ in self.machine.processes()}, 30, 0.05)
        if self.chromium:
            self.chromium.close()
            self.browser.close()
            self.sessions[-1].ended = time.monotonic()
            self.chromium = self.browser = None
        self.holders.clear()
        self.suspended.clear()
        self.machine.boot()
        return True

    def user_stop(self) -> str:
        """The user's stop, one of the two ways a user has."""
        if self.rng.random() < 0.5:
            whole_update.ask(self.machine, "stop")
            return "the host's stop"
        self.machine.wine("sc.exe", "stop", SERVICE)
        return "sc stop"

    def stop_while_stalled(self) -> bool:
        try:
            if not wait_for(lambda: self.server.feed_state.active > 0, STALL_SECONDS / 2, 0.05):
                return False
            say(f"    ({self.elapsed():.0f} s) {self.user_stop()}")
            return True
        finally:
            self.server.feed_state.disarm()
            self.server.feed_state.release()

    def hold(self, name: str) -> bool:
        """Opens the file once it is there (a release is staged for a while
        only), if it comes soon, and holds it for a while."""
        if not wait_for(self.machine.host_path(DATA + "\\" + name).exists, 15, 0.1):
            return False
        holder = subprocess.Popen(["wine", str(whole_update.program("OSTREL_FILE_READER")), "hold", DATA + "\\" + name],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  env=self.machine.environment)
        if holder.stdout.readline().strip() != b"held":
            holder.wait()
            return False
        self.holders.append(holder)
        seconds = self.rng.uniform(5, 40)
        say(f"    ({self.elapsed():.0f} s) {name} held for {seconds:.0f} s")
        threading.Timer(seconds, holder.stdin.close).start()
        return True

    def leave_worker_suspended(self) -> bool:
        if not self.machine.host_path(WORKER_IMAGE).exists():
            self.machine.place(whole_update.program("OSTREL_UPDATE_EXE"), WORKER_IMAGE)
        before = set(self.machine.pids("ostrelapply.exe"))
        # Not through pipes: the suspended process inherits the streams and
        # would keep them open for as long as it lives.
        started = subprocess.run(["wine", str(whole_update.program("OSTREL_SUSPENDED_START")), WORKER_IMAGE,
                                  "--apply", "4"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, env=self.machine.environment, timeout=60)
        if started.returncode != 0:
            return False
        left = wait_for(lambda: set(self.machine.pids("ostrelapply.exe")) - before, 10, 0.1) or set()
        self.suspended.extend(left)
        return bool(left)

    def manual_upgrade(self) -> bool:
        newest = self.releases[-1].version
        if newest == FIRST:
            return False
        installer = f"C:\\users\\Public\\Downloads\\Ostrel-Setup-{newest}.exe"
        self.machine.place(self.feed / f"Ostrel-Setup-{newest}.exe", installer)
        for step in (("--prepare-install",), None, ("--install", newest)):
            completed = self.machine.wine(installer, "/S") if step is None else self.machine.updater(*step)
            if completed.returncode != 0:
                self.fail(f"manual upgrade to {newest}: {step or 'the installer'} failed: "
                          f"{completed.returncode} {completed.stderr.decode(errors='replace')[-300:]}")
                return True
        say(f"    ({self.elapsed():.0f} s) upgraded by hand to {newest}")
        return True

    def strike(self, kind: str) -> bool:
        if kind == "publish":
            self.publish()
            return True
        if kind == "power loss":
            return self.power_loss()
        if kind == "stop during a check":
            return self.stop_while_stalled()
        if kind == "stop during a download":
            self.publish(stall_download=True)
            return self.stop_while_stalled()
        if kind.startswith("holding "):
            return self.hold(kind.removeprefix("holding "))
        if kind == "worker image left suspended":
            return self.leave_worker_suspended()
        if kind == "manual upgrade":
            return self.manual_upgrade()
        raise ValueError(kind)

    def happen(self, event: Event):
        if event.action == "publish":
            self.publish()
            return
        struck = self.strike(event.action)
        self.outcome.injected[event.action] += 1
        if not struck:
            self.outcome.missed[event.action] += 1
        say(f"    ({self.elapsed():.0f} s) {event.action}{'' if struck else ' (missed: nothing to strike)'}")

    # The life.

    def live(self, sessions: int, faults: list):
        lengths, pauses, events = plan_life(self.rng, faults, sessions)
        for session in range(sessions):
            if any(e.session == session and e.action == "stop during a check" for e in events):
                self.server.feed_state.arm("release.json", Fault("stall-headers", seconds=STALL_SECONDS))
            self.start_browser()
            started = time.monotonic()
            for event in (e for e in events if e.session == session and not e.after_close):
                time.sleep(max(0.0, started + event.offset - time.monotonic()))
                self.happen(event)
            time.sleep(max(0.0, started + lengths[session] - time.monotonic()))
            self.close_browser()
            closed = time.monotonic()
            for event in (e for e in events if e.session == session and e.after_close):
                time.sleep(max(0.0, closed + event.offset - time.monotonic()))
                self.happen(event)
            time.sleep(max(0.0, closed + pauses[session] - time.monotonic()))

    def newest_applied(self) -> bool:
        return self.installed_seen[-1] == self.releases[-1].version

    def converge(self):
        """Sessions without faults until the newest release is applied: each
        runs until the release is staged (or a while), then the browser closes."""
        for holder in self.holders:
            holder.stdin.close()
        for _ in range(FINAL_SESSIONS):
            if self.newest_applied() and not self.updater_pids():
                return
            self.start_browser()
            wait_for(lambda: self.status_file().get("availableVersion") == self.releases[-1].version
                     or self.newest_applied(), 30, 0.2)
            time.sleep(1)
            self.close_browser()
            wait_for(lambda: self.newest_applied() and not self.updater_pids(), HAND_OFF_SECONDS, 0.2)

    def check(self):
        newest = self.releases[-1].version
        recorded = self.machine.wine("reg.exe", "query", r"HKLM\SOFTWARE\Ostrel\NativeUpdater", "/v", "Version")
        recorded_version = recorded.stdout.decode(errors="replace").split()[-1] if recorded.returncode == 0 else None
        if recorded_version != newest:
            self.fail(f"recorded version {recorded_version}, newest published {newest}")
        status = self.status_file()
        if (status.get("state"), status.get("installedVersion")) != ("up_to_date", newest):
            self.fail(f"status.json says {status}")
        if self.installed_seen != sorted(self.installed_seen, key=version_key):
            self.fail(f"installed versions seen: {self.installed_seen}")
        signed = {(release.version, release.sha512) for release in self.releases[1:]}
        for run in whole_update.installer_runs(self.machine):
            if (run.get("version"), run.get("sha512")) not in signed:
                self.fail(f"an installer ran that is no signed release: {run}")
        if left := self.updater_pids():
            self.fail(f"updater processes left: {[c for p, c in self.machine.processes() if p in left]}")

    def perform(self, sessions: int, faults: list) -> bool:
        self.born = time.monotonic()
        with WineMachine() as self.machine, serve(self.feed) as self.server:
            install_browser(self.machine, FIRST)
            # The feed offers the release the machine was installed with, until the next.
            publish(self.feed, FIRST, INSTALLER_SIZE)
            self.profile = UpdaterProfile(self.machine, self.directory)
            watcher = threading.Thread(target=self.watch)
            watcher.start()
            try:
                self.live(sessions, faults)
                self.converge()
                self.watching.set()
                watcher.join()
                self.check()
            finally:
                self.watching.set()
                self.close_browser()
                for holder in self.holders:
                    holder.stdin.close()
                wait_for(lambda: not hosts_running(self.machine), 30, 0.1)
        self.report()
        return not self.failures

    def report(self):
        for release in self.releases[1:]:
            if release.applied is None:
                say(f"  {release.version}: never applied")
                continue
            sessions = sum(1 for session in self.sessions if session.started <= release.applied
                           and (session.ended is None or session.ended >= release.published))
            seconds = release.applied - release.published
            self.outcome.sessions_to_apply.append(sessions)
            self.outcome.seconds_to_apply.append(seconds)
            say(f"  {release.version}: applied after {sessions} session(s), {seconds:.1f} s")
        ended = "ended on the newest release" if self.newest_applied() and not self.failures else "FAILED"
        say(f"  -> {ended} ({self.releases[-1].version}); {len(self.sessions)} sessions, {self.elapsed():.0f} s")
        self.outcome.failures.extend(f"life {self.number}: {failure}" for failure in self.failures)


def campaign(seed: int, lives: int, sessions: int, faults_per_life: int) -> Outcome:
    rng = random.Random(seed)
    outcome = Outcome()
    queue = []
    start = time.monotonic()
    for number in range(1, lives + 1):
        faults = []
        while len(faults) < faults_per_life:
            if not queue:
                queue = list(KINDS)
                rng.shuffle(queue)
            faults.append(queue.pop())
        say(f"life {number} ({time.monotonic() - start:.0f} s): {', '.join(faults)}")
        with tempfile.TemporaryDirectory(prefix="ostrel-life-") as directory:
            outcome.lives += 1
            if Life(number, rng, outcome, Path(directory)).perform(sessions, faults):
                outcome.on_newest += 1
    summarise(outcome, seed, time.monotonic() - start)
    return outcome


def summarise(outcome: Outcome, seed: int, seconds: float):
    say(f"life campaign, seed {seed}")
    say_faults(KINDS, outcome.injected, outcome.missed)
    say(f"lives {outcome.lives}, faults injected {sum(outcome.injected.values())}, "
        f"lives that ended on the newest release {outcome.on_newest}, wall time {seconds:.0f} s")
    if outcome.seconds_to_apply:
        say(f"publication to application, {len(outcome.seconds_to_apply)} releases: "
            f"sessions median {statistics.median(outcome.sessions_to_apply)}, "
            f"maximum {max(outcome.sessions_to_apply)}; seconds median "
            f"{statistics.median(outcome.seconds_to_apply):.1f}, maximum {max(outcome.seconds_to_apply):.1f}")
    for failure in outcome.failures:
        say(f"  {failure}")


def main(arguments: list) -> int:
    parser = argparse.ArgumentParser(description="Machine lives under Wine, kept updated by the extension alone.")
    parser.add_argument("--seed", type=int, default=random.SystemRandom().randrange(1 << 32))
    parser.add_argument("--lives", type=int, default=5)
    parser.add_argument("--sessions", type=int, default=5, help="browser sessions of each life with faults")
    parser.add_argument("--faults-per-life", type=int, default=3)
    options = parser.parse_args(arguments)
    say(f"life campaign, seed {options.seed} (repeat with --seed {options.seed})")
    outcome = campaign(options.seed, options.lives, options.sessions, options.faults_per_life)
    return 0 if outcome.on_newest == outcome.lives and not outcome.failures else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
