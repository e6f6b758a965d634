"""Measurements of the updater under Wine, each in a fresh Wine prefix
against the local HTTPS feed (scripts/bench-wine builds and runs them):

  download      DownloadFeedFile against a bare WinHTTP loop and curl on the
                same 256 MiB file from the same server, and the peak resident
                memory of the downloading process at 16 MiB and 256 MiB
  verification  VerifyInstaller over 1 GiB against `openssl dgst -sha512`
                on the same file, and the memory it adds
  idle          the CPU time of one idle pass of the update cycle, over 20
                passes of the real service, and where it goes
  update        from "check" to "ready" and from the browser's close to
                "up_to_date", for a 64 MiB installer

Each figure is the median of its rounds; the rounds alternate, so a change in
the machine's load meets every contender alike."""

import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "whole_update"))
import whole_update  # noqa: E402
from whole_update import Browser, WineMachine, ask, install_browser, publish, serve, wait_for  # noqa: E402
from feed_server import certificate_directory  # noqa: E402

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
    say(f"download 256 MiB: DownloadFeedFile {median['updater']:.0f} MiB/s, bare WinHTTP loop {median['bare']:.0f} MiB/s, "
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


def measure_update(size: int = 64 * MiB):
    to_ready, to_installed = [], []
    for _ in range(ROUNDS):
        with tempfile.TemporaryDirectory() as feed, WineMachine() as machine:
            install_browser(machine, "1.0.0")
            publish(Path(feed), "1.1.0", size)
            with serve(Path(feed)):
                browser = Browser(machine)
                start = time.monotonic()
                ask(machine, "check")
                wait_for(lambda: ask(machine, "status")["state"] in ("ready", "error"), 300, 0)
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


MEASUREMENTS = {"download": measure_download, "verification": measure_verification, "idle": measure_idle_pass,
                "update": measure_update}

if __name__ == "__main__":
    for name in sys.argv[1:] or MEASUREMENTS:
        MEASUREMENTS[name]()
