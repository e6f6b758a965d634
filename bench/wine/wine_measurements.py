"""Measurements of the updater under Wine, each in a fresh Wine prefix
against the local HTTPS feed (scripts/bench-wine builds and runs them):

  download      the updater's feed request against a bare WinHTTP loop and curl on the
                same 256 MiB file from the same server, and the peak resident
                memory of the downloading process at 16 MiB and 256 MiB
  verification  VerifyInstaller over 1 GiB against `openssl dgst -sha512`
                on the same file, and the memory it adds
  idle          the CPU time of one idle pass of the update cycle, over 20
                passes of the real service, and where it goes
  update        from "check" to "ready" and from the browser's close to
                "up_to_date", for a 64 MiB installer

and, only when named:

  hand-off      from the browser's close to "up_to_date" in status.json,
                with the stand-in installer, over ten updates
  reopen        a browser closed and reopened 2 s later with a release
                staged, ten times: how often the release was applied
  held-signature  the downloads of a newer release's installer while a user
                holds release.sig open across three passes
  stop          the time from a stop request to the service's report that it
                stopped, while the feed stalls before the headers and while
                it trickles a byte every 2 s mid-body
  resume        the bytes the feed sends for a 64 MiB installer whose transfer
                is cut five times, as a ratio to its size
  server-death  the bytes Debian's nginx sends for a 24 MiB installer whose
                download its death cuts at a random point, five times, each
                a ratio to its size (server_death.py)
  connections   the WinHTTP sessions, connections and requests one service
                opens in its first minute polling a feed with nothing newer,
                and the connections the feed accepts
  bad-release   the installer bytes the feed sends in 10 minutes of a
                running browser while it serves other bytes under the
                signed installer's name, as a multiple of its size
  faults        the fault campaign (fault_campaign.py; its options follow)
  lives         the life campaign (life_campaign.py; its options follow)

Each figure is the median of its rounds; the rounds alternate, so a change in
the machine's load meets every contender alike. Random choices come from a
seed that is printed and taken with --seed, so a run can be repeated."""

import argparse
import contextlib
import dataclasses
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "whole_update"))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "feed"))
import fault_campaign  # noqa: E402
import life_campaign  # noqa: E402
import whole_update  # noqa: E402
from bad_release import publish_with_other_bytes, run_with_bad_release  # noqa: E402
from feed_connection import TRACED_CHANNEL, poll_with_nothing_newer  # noqa: E402
from held_signature import offer_while_signature_held  # noqa: E402
from server_death import RESTART_SECONDS, cut_once  # noqa: E402
from whole_update import (SERVICE, Browser, WineMachine, ask, install_browser, publish, published_status,  # noqa: E402
                          seconds_from_close, serve, wait_for)
from feed_server import Fault, certificate_directory  # noqa: E402

MiB = 1 << 20
ROUNDS = 5
BENCH = Path(os.environ["OSTREL_BENCH_DIRECTORY"])
SCRATCH = r"C:\bench"


def say(text: str):
    print(text, flush=True)


def write_payload(path: Path, size: int):
    """size bytes that no compression could shorten."""
    block = os.urandom(MiB)
    with path.open("wb") as file:
        for _ in range(size // MiB):
            file.write(block)


def run_measured(machine: WineMachine, *arguments: str) -> tuple:
    """Runs a program under Wine; returns its output and the peak resident
    memory of its process (and of any it waited for) in bytes."""
    process = subprocess.Popen(["wine", *arguments], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=machine.environment)
    output = process.stdout.read().decode()
    errors = process.stderr.read().decode()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise RuntimeError(f"{arguments[0]} failed ({process.returncode}): {errors}")
    return dict(item.split("=") for item in output.split()), usage.ru_maxrss * 1024


def measure_download():
    program = str(BENCH / "feed_download_benchmark.exe")
    with tempfile.TemporaryDirectory() as feed, WineMachine() as machine:
        feed = Path(feed)
        for size in (16, 256):
            write_payload(feed / f"payload-{size}.bin", size * MiB)
        machine.host_path(SCRATCH).mkdir(parents=True)
        destination = SCRATCH + r"\download.bin"
        curl_target = machine.host_path(destination)
        speeds = {"updater": [], "bare": [], "curl": []}
        memory = {}
        with serve(feed):
            for _ in range(ROUNDS):
                for mode in ("updater", "bare"):
                    result, peak = run_measured(machine, program, mode, "payload-256.bin", str(256 * MiB), destination)
                    speeds[mode].append(256 / float(result["seconds"]))
                    if mode == "updater":
                        memory[256] = max(memory.get(256, 0), peak)
                start = time.monotonic()
                subprocess.run(["curl", "-sf", "--cacert", str(certificate_directory() / "ca.pem"), "-o",
                                str(curl_target), "https://localhost/updates/native/payload-256.bin"], check=True)
                speeds["curl"].append(256 / (time.monotonic() - start))
            for _ in range(ROUNDS):
                _, peak = run_measured(machine, program, "updater", "payload-16.bin", str(16 * MiB), destination)
                memory[16] = max(memory.get(16, 0), peak)
    median = {mode: statistics.median(values) for mode, values in speeds.items()}
    say(f"download 256 MiB: the updater's feed request {median['updater']:.0f} MiB/s, bare WinHTTP loop {median['bare']:.0f} MiB/s, "
        f"curl {median['curl']:.0f} MiB/s (medians of {ROUNDS})")
    say(f"  ratio to the bare loop {median['updater'] / median['bare']:.2f}, to curl {median['updater'] / median['curl']:.2f}")
    say(f"  peak resident memory of the downloading process: {memory[16] / MiB:.0f} MiB at 16 MiB, "
        f"{memory[256] / MiB:.0f} MiB at 256 MiB")


def measure_verification():
    program = str(BENCH / "installer_verification_benchmark.exe")
    size = 1024 * MiB
    with WineMachine() as machine:
        installer = machine.host_path(SCRATCH + r"\installer.bin")
        installer.parent.mkdir(parents=True)
        write_payload(installer, size)
        installer.read_bytes()  # into the page cache, for both readers alike
        updater, openssl, growth = [], [], []
        for _ in range(ROUNDS):
            start = time.monotonic()
            digest = subprocess.run(["openssl", "dgst", "-sha512", "-r", str(installer)], capture_output=True,
                                    check=True).stdout.split()[0].decode()
            openssl.append(time.monotonic() - start)
            result, _ = run_measured(machine, program, SCRATCH + r"\installer.bin", str(size), digest)
            updater.append(float(result["seconds"]))
            growth.append(int(result["peak_after"]) - int(result["working_set_before"]))
    seconds, reference = statistics.median(updater), statistics.median(openssl)
    say(f"verification 1 GiB: VerifyInstaller {seconds:.2f} s ({1024 / seconds:.0f} MiB/s), "
        f"openssl dgst -sha512 {reference:.2f} s ({1024 / reference:.0f} MiB/s), ratio {reference / seconds:.2f}")
    say(f"  working set added by the verification: at most {max(growth) / MiB:.1f} MiB")


def cpu_seconds(pid: int) -> float:
    fields = Path(f"/proc/{pid}/stat").read_text().rpartition(")")[2].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def service_pid(machine: WineMachine) -> int:
    return next(pid for pid, command in machine.processes()
                if command[0].endswith("OstrelUpdate.exe") and "--service" in command)


def measure_idle_pass(passes: int = 20):
    with tempfile.TemporaryDirectory() as feed, WineMachine() as machine:
        install_browser(machine, "1.0.0")
        publish(Path(feed), "1.0.0")
        with serve(Path(feed)) as server:
            breakdown = subprocess.run(["wine", str(BENCH / "idle_pass_benchmark.exe"), "200"],
                                       capture_output=True, env=machine.environment, check=True).stdout.decode()
            browser = Browser(machine)

            def signatures():
                return whole_update.requested_files(server).count("release.sig")

            before = signatures()
            ask(machine, "check")
            wait_for(lambda: signatures() >= before + 1, 30, 0.05)
            pid = service_pid(machine)
            start = cpu_seconds(pid)
            wait_for(lambda: signatures() >= before + 1 + passes, 10 * passes, 0.05)
            spent = cpu_seconds(pid) - start
            browser.close()
    say(f"idle pass of the service: {1000 * spent / passes:.1f} ms CPU per pass over {passes} passes")
    say("  where it goes (the same steps in a program of their own, process CPU time):")
    for line in breakdown.strip().splitlines():
        say("    " + line.strip())


@contextlib.contextmanager
def browser_running(fill_feed, traced_channel: str = ""):
    """A fresh machine with browser 1.0.0 running, the feed directory as
    fill_feed(feed) leaves it served: (machine, feed, server, browser)."""
    with tempfile.TemporaryDirectory() as feed, WineMachine(traced_channel) as machine:
        install_browser(machine, "1.0.0")
        fill_feed(Path(feed))
        with serve(Path(feed)) as server:
            browser = Browser(machine)
            try:
                yield machine, Path(feed), server, browser
            finally:
                browser.close()


def offered_release(size: int = 0):
    """browser_running with 1.1.0 on the feed."""
    return browser_running(lambda feed: publish(feed, "1.1.0", size))


def stage(machine: WineMachine):
    ask(machine, "check")
    wait_for(lambda: ask(machine, "status")["state"] in ("ready", "error"), 300, 0)
    if ask(machine, "status")["state"] != "ready":
        raise RuntimeError("the release was not staged")


def measure_update(size: int = 64 * MiB):
    to_ready, to_installed = [], []
    for _ in range(ROUNDS):
        with offered_release(size) as (machine, _, _, browser):
            start = time.monotonic()
            stage(machine)
            to_ready.append(time.monotonic() - start)
            start = time.monotonic()
            browser.close()
            wait_for(lambda: ask(machine, "status")["state"] in ("up_to_date", "error"), 300, 0)
            to_installed.append(time.monotonic() - start)
            if ask(machine, "status") != {"ok": True, "state": "up_to_date", "installedVersion": "1.1.0"}:
                raise RuntimeError("the update did not complete")
    say(f"update with a 64 MiB installer: check to ready {statistics.median(to_ready):.1f} s, "
        f"browser closed to up_to_date {statistics.median(to_installed):.1f} s (medians of {ROUNDS}; "
        f"each status request takes about 0.3 s under Wine, which bounds the resolution)")


TRIES = 10


def measure_hand_off():
    """The update as the user sees it: status.json, read from this side of
    the drive every 10 ms, from the browser's close to "up_to_date"."""
    seconds = []
    for _ in range(TRIES):
        with offered_release() as (machine, _, _, browser):
            stage(machine)
            seconds.append(seconds_from_close(
                browser, lambda: published_status(machine).get("state") in ("up_to_date", "error"), 120))
            if published_status(machine).get("installedVersion") != "1.1.0":
                raise RuntimeError(f"the update did not complete: {published_status(machine)}")
    say(f"browser closed to up_to_date with the stand-in installer: median {statistics.median(seconds):.2f} s, "
        f"maximum {max(seconds):.2f} s over {TRIES} updates (target under 1 s)")


def measure_reopen(pause: float = 2):
    """The browser closed with a release staged and opened again 2 s later:
    whether the release was applied all the same."""
    applied = 0
    for _ in range(TRIES):
        with offered_release() as (machine, _, _, browser):
            stage(machine)
            browser.close()
            time.sleep(pause)
            reopened = Browser(machine)
            applied += bool(wait_for(lambda: ask(machine, "status")["installedVersion"] == "1.1.0", 60))
            reopened.close()
    say(f"browser reopened {pause:.0f} s after its close with a release staged: applied {applied} of {TRIES} times "
        f"(target {TRIES} of {TRIES})")


def measure_held_signature(passes: int = 3):
    with offered_release() as (machine, feed, server, _):
        stage(machine)
        held = offer_while_signature_held(machine, feed, server, passes)
    say(f"a user holding release.sig across {passes} passes while a newer release is offered: installer downloads "
        f"of that release {held.downloads} (target 1); commit refused throughout: {held.refused_throughout}, "
        f"staged once let go: {held.staged}")


STOPS = 10
# How long a stop is waited for before the feed is told to end its stall,
# which lets a service that waits on the request alone see the stop.
STOP_PATIENCE_MILLISECONDS = 20000


def running_service(machine: WineMachine) -> list:
    return [pid for pid, command in machine.processes()
            if command[0].endswith("OstrelUpdate.exe") and "--service" in command]


def measure_stop(rng: random.Random):
    """Ten stops of the real service in each of two feeds that keep a request
    open: the service is started with "check", the fault is under way, and
    after a random pause of up to 2 s the stop is sent."""
    program = str(BENCH / "stop_latency_benchmark.exe")
    installer = "Ostrel-Setup-1.1.0.exe"
    scenarios = {
        "a feed that stalls before the headers": ("release.json", Fault("stall-headers", seconds=600)),
        "a feed that trickles a byte every 2 s mid-body": (installer, Fault("trickle", offset=MiB, seconds=600,
                                                                            interval=2)),
    }
    with tempfile.TemporaryDirectory() as feed, WineMachine() as machine:
        install_browser(machine, "1.0.0")
        publish(Path(feed), "1.1.0", 8 * MiB)
        with serve(Path(feed)) as server:
            browser = Browser(machine)
            for scenario, (name, fault) in scenarios.items():
                latencies, late = [], 0
                for _ in range(STOPS):
                    server.feed_state.arm(name, dataclasses.replace(fault))
                    ask(machine, "check")
                    if not wait_for(lambda: server.feed_state.active > 0, 60, 0.05):
                        raise RuntimeError(f"the service never met {scenario}")
                    time.sleep(rng.uniform(0, 2))
                    result, _ = run_measured(machine, program, SERVICE, str(STOP_PATIENCE_MILLISECONDS))
                    if result["stopped"] != "1":
                        late += 1
                    server.feed_state.release()
                    if not wait_for(lambda: not running_service(machine), 120, 0.1):
                        raise RuntimeError(f"the service did not stop with {scenario}")
                    latencies.append(float(result["milliseconds"]))
                bound = "at least " if late > STOPS // 2 else ""
                say(f"stop with {scenario}: median {bound}{statistics.median(latencies):.0f} ms, maximum "
                    f"{'at least ' if late else ''}{max(latencies):.0f} ms over {STOPS} stops (target under 1000 ms)")
                if late:
                    say(f"  {late} of {STOPS} had not stopped after {STOP_PATIENCE_MILLISECONDS} ms, when the feed "
                        f"ended the fault (counted as {STOP_PATIENCE_MILLISECONDS} ms)")
            browser.close()


def measure_resume(rng: random.Random, size: int = 64 * MiB, cuts: int = 5):
    """A 64 MiB installer whose transfer the feed resets at five random
    offsets, each on a request of its own; the bytes sent until "ready"."""
    installer = "Ostrel-Setup-1.1.0.exe"
    offsets = sorted(rng.sample(range(1, size), cuts))
    with tempfile.TemporaryDirectory() as feed, WineMachine() as machine:
        install_browser(machine, "1.0.0")
        publish(Path(feed), "1.1.0", size)
        with serve(Path(feed)) as server:
            for offset in offsets:
                server.feed_state.arm(installer, Fault("reset", offset=offset))
            browser = Browser(machine)
            start = time.monotonic()
            ask(machine, "check")
            staged = wait_for(lambda: ask(machine, "status")["state"] == "ready" and not server.feed_state.armed(),
                              600, 0.5)
            seconds = time.monotonic() - start
            sent = server.feed_state.sent_bytes().get(installer, 0)
            browser.close()
    if not staged:
        raise RuntimeError("the release was not staged")
    say(f"resume of a {size // MiB} MiB installer cut {cuts} times (at {', '.join(f'{o / MiB:.1f}' for o in offsets)} "
        f"MiB): {sent / size:.2f} times its size sent until ready (target at most 1.1), check to ready {seconds:.0f} s")


def measure_server_death(rng: random.Random, size: int = 24 * MiB, cuts: int = 5):
    ratios = []
    for _ in range(cuts):
        cut = cut_once(rng.randrange(1, size), size)
        ratios.append(cut.sent / size)
        after = ", ".join(f"{status} for {asked or 'the whole file'}" for status, asked in cut.requests_after)
        say(f"nginx killed {cut.offset / MiB:.2f} MiB ({cut.offset / size:.0%}) into a {size // MiB} MiB installer, "
            f"started again {RESTART_SECONDS} s later: {ratios[-1]:.3f} times its size sent until ready; "
            f"then {after}; check to ready {cut.seconds:.0f} s")
    say(f"  over {cuts} cuts: at most {max(ratios):.3f} times the installer sent (target at most 1.02)")


def measure_connections(seconds: float = 60):
    with browser_running(lambda feed: publish(feed, "1.0.0"), TRACED_CHANNEL) as (machine, _, server, _):
        counted = poll_with_nothing_newer(machine, server, seconds)
    say(f"one service polling a feed with nothing newer, from its start to {seconds:.0f} s after its first pass "
        f"({counted.passes} passes, {counted.requests} requests): WinHTTP sessions opened {counted.sessions}, "
        f"connections {counted.connections}, requests {counted.opened_requests} (target 1 session and 1 connection "
        f"for the service's life); connections the feed accepted {counted.accepted} (target 1)")


def measure_bad_release(seconds: float = 600):
    with browser_running(publish_with_other_bytes) as (machine, _, server, _):
        cost = run_with_bad_release(machine, server, seconds)
    say(f"a bad release for {seconds / 60:.0f} minutes after its installer's first request, the browser running: "
        f"{cost.downloads} downloads, {cost.sent:.2f} times the installer sent (target at most 3); {cost.checks} "
        f"checks of release.json; status at the end {cost.status}")


MEASUREMENTS = {"download": measure_download, "verification": measure_verification, "idle": measure_idle_pass,
                "update": measure_update}
# Run only when named, as the seeded ones.
NAMED_MEASUREMENTS = {"hand-off": measure_hand_off, "reopen": measure_reopen,
                      "held-signature": measure_held_signature, "connections": measure_connections,
                      "bad-release": measure_bad_release}
SEEDED_MEASUREMENTS = {"stop": measure_stop, "resume": measure_resume, "server-death": measure_server_death}


def main(arguments: list) -> int:
    if arguments[:1] == ["faults"]:
        return fault_campaign.main(arguments[1:])
    if arguments[:1] == ["lives"]:
        return life_campaign.main(arguments[1:])
    parser = argparse.ArgumentParser(description="Measurements of the updater under Wine.")
    unseeded = {**MEASUREMENTS, **NAMED_MEASUREMENTS}
    parser.add_argument("names", nargs="*", help=f"of {', '.join([*unseeded, *SEEDED_MEASUREMENTS])}")
    parser.add_argument("--seed", type=int, default=random.SystemRandom().randrange(1 << 32))
    options = parser.parse_args(arguments)
    unknown = set(options.names) - set(unseeded) - set(SEEDED_MEASUREMENTS)
    if unknown:
        parser.error(f"no such measurement: {', '.join(sorted(unknown))}")
    for name in options.names or MEASUREMENTS:
        if name in SEEDED_MEASUREMENTS:
            say(f"{name}: seed {options.seed} (repeat with --seed {options.seed})")
            SEEDED_MEASUREMENTS[name](random.Random(options.seed))
        else:
            unseeded[name]()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
