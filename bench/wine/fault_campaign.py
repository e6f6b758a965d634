"""A fault campaign under Wine: whole updates from 1.0.0 to 1.1.0, each in a
fresh Wine machine, while faults strike at random moments and in a random
order that the seed repeats:

  feed       a connection reset, a truncated body, a stall before the headers
             and in the body, a trickle, 404, 500, 503, a redirect, a body
             longer than signed, an untrusted certificate, and a resumed
             request answered with 200 or with a Content-Range that starts
             elsewhere (tests/feed/feed_server.py arms them)
  processes  the service killed during a check, as it commits a download and
             during the hand-off; the apply worker killed before its lock,
             while the installer runs and after it ran
  contention two extensions asking "status" back to back for a whole update

The campaign plays the extension: after a process fault, and whenever no
updater process is left to act, it asks "check". After every fault and at
the end it checks what must hold whatever struck: every installer that ran
has the SHA-512 and version of the signed release; the installed version
only moves from 1.0.0 to 1.1.0; every status read parses; once the faults
stop each machine reaches "up_to_date" with 1.1.0 with the browser closed,
and no updater process is left; the working directory holds at most one staged
installer and one partial download. It exits non-zero when any check fails.

  python3 fault_campaign.py [--seed N] [--faults-per-kind K] [--duration SECONDS]

with the programs of the whole update named in the environment (see
tests/whole_update/whole_update.py), inside a network namespace of its own."""

import argparse
import contextlib
import json
import os
import random
import signal
import sys
import tempfile
import time
from collections import Counter
from dataclasses import dataclass, field
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "whole_update"))
import whole_update  # noqa: E402
from whole_update import (DATA, INSTALLER_HOLD, Browser, Pollers, WineMachine,  # noqa: E402
                          install_browser, publish, serve, wait_for)
from feed_server import Fault  # noqa: E402

MiB = 1 << 20
OLD, NEW = "1.0.0", "1.1.0"
INSTALLER = f"Ostrel-Setup-{NEW}.exe"
INSTALLER_SIZE = 8 * MiB
FEED_FILES = ("release.json", "release.sig", INSTALLER)
UP_TO_DATE = {"ok": True, "state": "up_to_date", "installedVersion": NEW}
# Time for an update to settle once its faults stopped: several five-second
# passes of the service, a hand-off and an installer run.
SETTLE_SECONDS = 120
# A hand-off, an installer run, and another after an interruption.
HAND_OFF_SECONDS = 60
# How long the campaign lets the updater be without a process of its own
# before it asks "check", as the extension's popup would.
IDLE_BEFORE_CHECK = 2.0
UPDATER_PROGRAMS = ("ostrelupdate.exe", "ostrelapply.exe", INSTALLER.lower())


def feed_faults(rng: random.Random) -> dict:
    """Each kind of feed fault: the (file, Fault) pairs it arms, drawn now."""
    def inside():
        return rng.randrange(1, INSTALLER_SIZE)

    def anywhere():
        return rng.choice(FEED_FILES)

    return {
        "feed: connection reset mid-body": [(INSTALLER, Fault("reset", offset=inside()))],
        "feed: truncated body": [(INSTALLER, Fault("truncate", offset=inside()))],
        "feed: stall before the headers": [(anywhere(), Fault("stall-headers", seconds=rng.uniform(1, 8)))],
        "feed: stall mid-body": [(INSTALLER, Fault("stall-body", offset=inside(), seconds=rng.uniform(1, 8)))],
        "feed: trickle mid-body": [(INSTALLER, Fault("trickle", offset=inside(), seconds=rng.uniform(2, 6)))],
        "feed: 404": [(anywhere(), Fault("status", status=404))],
        "feed: 500": [(anywhere(), Fault("status", status=500))],
        "feed: 503": [(anywhere(), Fault("status", status=503))],
        "feed: redirect": [(anywhere(), Fault("redirect"))],
        "feed: body longer than signed": [(INSTALLER, Fault("longer"))],
        # A cut first, so that the next request is one that may resume.
        "feed: resumed with 200": [(INSTALLER, Fault("reset", offset=inside())), (INSTALLER, Fault("full"))],
        "feed: resumed elsewhere": [(INSTALLER, Fault("reset", offset=inside())), (INSTALLER, Fault("misplaced"))],
        "feed: untrusted certificate": [],
    }


FEED_KINDS = tuple(feed_faults(random.Random(0)))
# Feed faults after which the request still succeeds: the file is not asked
# for again, so only one of them can strike a download, and it comes last.
SUCCEEDING_KINDS = ("feed: stall before the headers", "feed: stall mid-body", "feed: trickle mid-body",
                    "feed: resumed with 200")
CHECK_KINDS = ("service killed during a check", "service killed as it commits")
HAND_OFF_KINDS = ("service killed during the hand-off", "worker killed before its lock",
                  "worker killed while the installer runs", "worker killed after the installer ran")
CONTENTION = "two status pollers"
KINDS = FEED_KINDS + CHECK_KINDS + HAND_OFF_KINDS + (CONTENTION,)


@dataclass
class Outcome:
    """What the campaign saw, over every update."""
    injected: Counter = field(default_factory=Counter)
    missed: Counter = field(default_factory=Counter)
    updates: int = 0
    converged: int = 0
    mismatches: list = field(default_factory=list)

    def mismatch(self, update: int, text: str):
        self.mismatches.append(f"update {update}: {text}")
        say(f"  MISMATCH {text}")


def say(text: str):
    print(text, flush=True)


def plan(queue: list) -> list:
    """The faults of the next update, taken from the front of the queue in
    its order: as many feed faults and faults of the check as fit (at most
    four feed faults, one of them a fault that lets the request succeed, and
    one of each process fault), then at most one fault of the hand-off, which
    ends the update."""
    faults = []
    while queue:
        kind = queue[0]
        if (kind in faults or (kind in FEED_KINDS and sum(k in FEED_KINDS for k in faults) == 4)
                or (kind in SUCCEEDING_KINDS and any(k in SUCCEEDING_KINDS for k in faults))):
            break
        faults.append(queue.pop(0))
        if kind in HAND_OFF_KINDS:
            break
    return faults


class Update:
    """One whole update on a fresh machine, its faults and its checks."""

    def __init__(self, number: int, faults: list, rng: random.Random, outcome: Outcome):
        self.number, self.faults, self.rng, self.outcome = number, faults, rng, outcome
        self.statuses = []
        self.runs_checked = 0

    # What the machine shows.

    def updater_processes(self, program: str) -> list:
        return self.machine.pids(program, "--service" if program == "ostrelupdate.exe" else None)

    def any_updater_at_work(self) -> bool:
        return any(self.updater_processes(program) for program in UPDATER_PROGRAMS)

    def data_file(self, name: str) -> Path:
        return self.machine.host_path(DATA + "\\" + name)

    def status(self) -> dict:
        """One "status" through the native messaging host, kept; a reply that
        does not parse is a mismatch."""
        completed = whole_update.request(self.machine, "status")
        if whole_update.unstarted(completed):
            completed = whole_update.request(self.machine, "status")
        try:
            answer = whole_update.reply(completed, "status")
            if answer.get("ok") is not True or "state" not in answer:
                raise AssertionError(f"not a status: {answer}")
        except (AssertionError, json.JSONDecodeError) as failure:
            if not whole_update.unstarted(completed):
                self.outcome.mismatch(self.number, f"status read: {failure}")
            return {}
        self.statuses.append(answer)
        return answer

    def check(self):
        whole_update.ask(self.machine, "check")

    def kill(self, pids: list) -> bool:
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        return bool(pids)

    # The checks.

    def installer_runs(self) -> list:
        return whole_update.installer_runs(self.machine)

    def check_machine(self):
        """What must hold at any moment: every installer run was the signed
        one, the installed version only moved to the signed newer one, and
        the working directory holds at most one staged installer and one
        partial download."""
        for run in self.installer_runs()[self.runs_checked:]:
            self.runs_checked += 1
            if (run.get("version"), run.get("sha512")) != (NEW, self.signed_digest):
                self.outcome.mismatch(self.number, f"an installer ran that is not the signed one: {run}")
        versions = [status["installedVersion"] for status in self.statuses]
        moved = [version for index, version in enumerate(versions) if index == 0 or version != versions[index - 1]]
        if moved not in ([], [OLD], [OLD, NEW], [NEW]):
            self.outcome.mismatch(self.number, f"installed versions seen: {moved}")
        entries = [entry.name.lower() for entry in self.data_file("").iterdir()] if self.data_file("").exists() else []
        installers = [name for name in entries if name.endswith(".exe") and name != "ostrelapply.exe"]
        partials = [name for name in entries if "partial" in name]
        if len(installers) > 1 or len(partials) > 1:
            self.outcome.mismatch(self.number, f"working directory holds {sorted(entries)}")

    # Driving the update.

    def settle(self, reached, seconds: float = SETTLE_SECONDS) -> bool:
        """Asks "status" until reached(status), asking "check" whenever no
        updater process has been at work for a moment."""
        idle_since = None
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if reached(self.status()):
                return True
            if self.any_updater_at_work():
                idle_since = None
            elif idle_since is None:
                idle_since = time.monotonic()
            elif time.monotonic() - idle_since > IDLE_BEFORE_CHECK:
                self.check()
                idle_since = None
            time.sleep(0.25)
        return False

    def strike(self, kind: str):
        """Injects one fault now; True when it struck something. The feed's
        faults are the ones drawn for this update."""
        if kind == "feed: untrusted certificate":
            with self.server.feed_state.lock:
                self.server.feed_state.untrusted_next = True
            return True
        if kind in FEED_KINDS:
            for name, fault in self.drawn[kind]:
                self.server.feed_state.arm(name, fault)
            return True
        if kind == "service killed during a check":
            return self.kill(self.updater_processes("ostrelupdate.exe"))
        if kind == "service killed as it commits":
            partial = self.data_file("download.partial")

            def whole():
                return partial.exists() and partial.stat().st_size == INSTALLER_SIZE

            if not wait_for(lambda: whole() or self.data_file(INSTALLER).exists(), SETTLE_SECONDS, 0.002):
                return False
            return whole() and self.kill(self.updater_processes("ostrelupdate.exe"))
        if kind == "service killed during the hand-off":
            # Once the worker's process is there. A kill inside the service's
            # copy of the worker or its CreateProcess once left under Wine a
            # worker process that never went on (seed 621595953, not seen
            # again): kept apart until it is understood.
            if not wait_for(lambda: self.updater_processes("ostrelapply.exe"), 30, 0.005):
                return False
            return self.kill(self.updater_processes("ostrelupdate.exe"))
        if kind == "worker killed before its lock":
            workers = wait_for(lambda: self.updater_processes("ostrelapply.exe"), 30, 0.005)
            return self.kill(workers or [])
        if kind == "worker killed while the installer runs":
            try:
                held = wait_for(lambda: self.updater_processes(INSTALLER.lower()), 30, 0.02)
                return bool(held) and self.kill(self.updater_processes("ostrelapply.exe"))
            finally:
                self.machine.host_path(INSTALLER_HOLD).unlink()
        if kind == "worker killed after the installer ran":
            if not wait_for(lambda: len(self.installer_runs()) > self.runs_checked, 30, 0.005):
                return False
            return self.kill(self.updater_processes("ostrelapply.exe"))
        raise ValueError(kind)

    def inject(self, kind: str):
        struck = self.strike(kind)
        self.outcome.injected[kind] += 1
        if not struck:
            self.outcome.missed[kind] += 1
        say(f"  {kind}{'' if struck else ' (missed: nothing to strike)'}")
        if struck and "killed" in kind:
            time.sleep(self.rng.uniform(0, IDLE_BEFORE_CHECK))
            self.check()
        self.check_machine()

    def stage(self, faults: list) -> bool:
        """The browser running, "check" asked and the faults of the check
        injected, until the release is staged.
        Faults of the installer's download are armed before the check, since
        the download is over within a second when nothing strikes it; the
        others come at random moments in the order drawn."""
        self.drawn = feed_faults(self.rng)
        faults = list(faults)
        downloads = [kind for kind in faults if self.drawn.get(kind) and
                     all(name == INSTALLER for name, _ in self.drawn[kind])]
        for kind in sorted(downloads, key=lambda kind: kind in SUCCEEDING_KINDS):
            faults.remove(kind)
            self.inject(kind)
        self.check()
        # A commit is struck at the first download's end, whenever the other
        # faults come.
        if "service killed as it commits" in faults:
            faults.remove("service killed as it commits")
            self.inject("service killed as it commits")
        for kind in faults:
            time.sleep(self.rng.uniform(0, 3))
            self.inject(kind)
        staged = self.settle(lambda status: status.get("state") == "ready")
        # A download continued where a fault cut it, or whole on disk after a
        # body longer than signed, may never ask for the installer again.
        if leftover := self.server.feed_state.disarm():
            say(f"  faults never met, the file not asked for again: {leftover}")
        return staged

    def run(self, feed: Path) -> bool:
        install_browser(self.machine, OLD)
        publish(feed, NEW, INSTALLER_SIZE)
        self.signed_digest = whole_update.signed_sha512(feed)
        pollers = Pollers(self.machine, 2) if CONTENTION in self.faults else None
        if pollers:
            self.outcome.injected[CONTENTION] += 1
            say(f"  {CONTENTION}")
        with pollers or contextlib.nullcontext():
            if "worker killed while the installer runs" in self.faults:
                self.machine.host_path(INSTALLER_HOLD).write_bytes(b"")
            with contextlib.closing(Browser(self.machine)):
                if not self.stage([kind for kind in self.faults if kind in FEED_KINDS + CHECK_KINDS]):
                    self.outcome.mismatch(self.number, f"never staged: {self.statuses[-1:]}, faults still armed: "
                                          f"{self.server.feed_state.armed()}, last requests: "
                                          f"{whole_update.requested_files(self.server)[-6:]}")
                    return False
            for kind in self.faults:
                if kind in HAND_OFF_KINDS:
                    self.inject(kind)
            converged = self.settle(lambda status: status == UP_TO_DATE, HAND_OFF_SECONDS)
        if pollers and pollers.failures:
            self.outcome.mismatch(self.number, f"status read by a poller: {pollers.failures[:3]}")
        return converged

    def perform(self) -> bool:
        with tempfile.TemporaryDirectory() as feed, WineMachine() as self.machine, serve(Path(feed)) as self.server:
            try:
                converged = self.run(Path(feed))
            finally:
                self.machine.host_path(INSTALLER_HOLD).unlink(missing_ok=True)
            if not converged:
                self.outcome.mismatch(self.number, f"did not reach up_to_date {NEW}: {self.statuses[-1:]}")
            if not wait_for(lambda: not self.any_updater_at_work(), 30):
                self.outcome.mismatch(self.number, f"updater processes left: {self.machine.running_programs()}")
            self.check_machine()
            if not self.installer_runs():
                self.outcome.mismatch(self.number, "no installer ran")
            sent = self.server.feed_state.sent_bytes().get(INSTALLER, 0)
            say(f"  -> {self.statuses[-1] if self.statuses else 'no status'}; {len(self.installer_runs())} installer "
                f"run(s); installer bytes sent {sent / INSTALLER_SIZE:.2f} times its size")
        if self.machine.processes():
            self.outcome.mismatch(self.number, f"processes left after the machine stopped: {self.machine.processes()}")
        return converged


def campaign(seed: int, faults_per_kind: int, duration: float | None) -> Outcome:
    rng = random.Random(seed)
    start = time.monotonic()
    outcome = Outcome()
    queue = []
    while True:
        if not queue:
            if duration is None and outcome.updates:
                break
            queue = [kind for kind in KINDS for _ in range(faults_per_kind)]
            rng.shuffle(queue)
        if duration is not None and time.monotonic() - start > duration:
            break
        outcome.updates += 1
        faults = plan(queue)
        say(f"update {outcome.updates} ({time.monotonic() - start:.0f} s): {', '.join(faults)}")
        if Update(outcome.updates, faults, rng, outcome).perform():
            outcome.converged += 1
    summarise(outcome, seed, time.monotonic() - start)
    return outcome


def say_faults(kinds: tuple, injected: Counter, missed: Counter):
    """How many faults of each kind were injected, and how many found nothing to strike."""
    for kind in kinds:
        note = f" ({missed[kind]} found nothing to strike)" if missed[kind] else ""
        say(f"  {injected[kind]:3d}  {kind}{note}")


def summarise(outcome: Outcome, seed: int, seconds: float):
    say(f"fault campaign, seed {seed}")
    say_faults(KINDS, outcome.injected, outcome.missed)
    say(f"faults injected {sum(outcome.injected.values())}, updates run {outcome.updates}, "
        f"updates converged {outcome.converged}, "
        f"mismatches {len(outcome.mismatches)}, wall time {seconds:.0f} s")
    for mismatch in outcome.mismatches:
        say(f"  {mismatch}")


def main(arguments: list) -> int:
    parser = argparse.ArgumentParser(description="Whole updates under Wine while faults strike.")
    parser.add_argument("--seed", type=int, default=random.SystemRandom().randrange(1 << 32))
    parser.add_argument("--faults-per-kind", type=int, default=2)
    parser.add_argument("--duration", type=float, default=None,
                        help="seconds: start updates until then, the faults of every kind again and again")
    options = parser.parse_args(arguments)
    say(f"fault campaign, seed {options.seed} (repeat with --seed {options.seed})")
    outcome = campaign(options.seed, options.faults_per_kind, options.duration)
    return 1 if outcome.mismatches or outcome.converged != outcome.updates else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
