"""The machinery of a whole update under Wine, shared by the whole-flow tests
and scripts/main: a fresh Wine prefix with the updater installed at its fixed
place, releases published with ostrel-release and served by the local HTTPS
feed, the stand-in browser, and the native messaging host asked exactly as the
browser asks it, over real pipes.

The programs come from the environment, as CTest and scripts/main set it:
OSTREL_UPDATE_EXE (the integration build of OstrelUpdate.exe),
OSTREL_STAND_IN_BROWSER, OSTREL_STAND_IN_INSTALLER, OSTREL_FILE_READER,
OSTREL_SUSPENDED_START, OSTREL_RELEASE_TOOL and OSTREL_WINE_TEMPLATE (where the pristine prefix that
each machine copies is kept)."""

import base64
import fcntl
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path, PureWindowsPath

REPOSITORY = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPOSITORY / "tests" / "feed"))
from feed_server import FeedServer  # noqa: E402

ORIGIN = "chrome-extension://inmdpcjjlckfjmggcpdcmbooiogihncc/"
UPDATER = r"C:\Program Files\Ostrel\Updater\OstrelUpdate.exe"
BROWSER = r"C:\Program Files\Ostrel\Application\chrome.exe"
INSTALLER_RECORD = r"C:\Program Files\Ostrel\Application\installer-record.txt"
# While this file exists the stand-in installer waits before it records.
INSTALLER_HOLD = r"C:\Program Files\Ostrel\Application\installer-hold"
# The updater's protected working directory (UpdaterDataDirectory).
DATA = r"C:\ProgramData\OstrelNativeUpdater"
SERVICE = "OstrelNativeUpdater"
TEST_KEY = REPOSITORY / "tests" / "data" / "release_test_key.pem"
# What the stand-in installer finds at the end of its file (see stand_in_installer.cpp).
VERSION_MARK = b"stand-in-installer-version="
RELAUNCH_MARK = b"stand-in-installer-relaunches\n"


def program(variable: str) -> Path:
    return Path(os.environ[variable])


# Wine's 64-bit loader now and then finds the address of the shared user
# data page taken when a process starts, before any of the program's code
# runs, and exits 1 with this error of its "virtual" channel. That channel's
# errors are the only debug output kept, so that a host Wine never started can
# be told from one that ran and failed.
WINE_DEBUG_CHANNELS = "-all,err+virtual"
NOT_STARTED_BY_WINE = b"wine: failed to map the shared user data"


def wine_environment(prefix: Path, traced_channel: str = "") -> dict:
    environment = dict(os.environ)
    channels = WINE_DEBUG_CHANNELS + (f",trace+{traced_channel}" if traced_channel else "")
    environment.update(WINEPREFIX=str(prefix), WINEARCH="win64", WINEDEBUG=channels,
                       WINEDLLOVERRIDES="mscoree,mshtml=")
    return environment


def pristine_prefix() -> Path:
    """A Wine prefix as wineboot makes it, made once and then only copied."""
    template = program("OSTREL_WINE_TEMPLATE")
    template.parent.mkdir(parents=True, exist_ok=True)
    with open(template.parent / "wine-template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (template / "system.reg").exists():
            shutil.rmtree(template, ignore_errors=True)
            environment = wine_environment(template)
            quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineboot", "-i"], env=environment, check=True, **quiet)
            subprocess.run(["wineserver", "-w"], env=environment, check=True, **quiet)
    return template


class WineMachine:
    """A fresh Wine prefix with its own Wine server: its own registry, service
    manager and C: drive, all gone when the machine stops. With a traced
    channel, the trace messages of that Wine debug channel from every process
    the service manager starts, the updater's service among them, are kept
    (trace())."""

    def __init__(self, traced_channel: str = ""):
        self.directory = Path(tempfile.mkdtemp(prefix="ostrel-whole-update-"))
        self.prefix = self.directory / "prefix"
        subprocess.run(["cp", "-a", str(pristine_prefix()), str(self.prefix)], check=True)
        self.environment = wine_environment(self.prefix, traced_channel)
        self.trace_log = self.directory / "trace.log" if traced_channel else None
        self.boot()

    def boot(self):
        """Starts the machine's Wine server and Wine's system processes."""
        # The Wine server and Wine's system processes, the service manager
        # among them, start here with no pipe of ours: one that inherited a
        # pipe would keep its reader waiting for as long as it lives.
        # After a power loss the server is still there (it refuses a second
        # start); only the system processes start again.
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-p"], env=self.environment, check=False, **quiet)
        # The service manager's processes write their debug output where
        # Wine's system processes do, since they start from it.
        with open(self.trace_log or os.devnull, "ab") as debug_output:
            subprocess.run(["wine", "cmd.exe", "/c", "exit"], env=self.environment, check=True,
                           **{**quiet, "stderr": debug_output})

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.environment, check=False)
        subprocess.run(["wineserver", "-w"], env=self.environment, check=False)
        shutil.rmtree(self.directory, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def trace(self) -> str:
        """The traced channel's messages so far, one a line."""
        return self.trace_log.read_text(errors="replace")

    def host_path(self, windows_path: str) -> Path:
        """Where a path on the machine's C: drive is on this machine."""
        parts = PureWindowsPath(windows_path).parts
        assert parts[0].upper() == "C:\\", windows_path
        return self.prefix.joinpath("drive_c", *parts[1:])

    def place(self, source: Path, windows_path: str):
        target = self.host_path(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target)

    def wine(self, *arguments: str, standard_input: bytes = b"", timeout: float = 120) -> subprocess.CompletedProcess:
        return subprocess.run(["wine", *arguments], input=standard_input, capture_output=True,
                              env=self.environment, timeout=timeout, check=False)

    def start(self, *arguments: str) -> subprocess.Popen:
        return subprocess.Popen(["wine", *arguments], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, env=self.environment)

    def updater(self, *arguments: str, standard_input: bytes = b"") -> subprocess.CompletedProcess:
        return self.wine(UPDATER, *arguments, standard_input=standard_input)

    def service_state(self) -> dict:
        """The numbers sc.exe reports for the updater's service: STATE, WIN32_EXIT_CODE, ..."""
        output = self.wine("sc.exe", "query", SERVICE).stdout.decode(errors="replace")
        numbers = {}
        for line in output.splitlines():
            name, _, value = line.partition(":")
            if value.strip().split(" ")[0].isdigit():
                numbers[name.strip()] = int(value.strip().split(" ")[0])
        return numbers

    def processes(self) -> list:
        """The processes of this machine, Wine's own among them, as (pid,
        command line): what /proc shows of those whose environment names this
        machine's prefix."""
        found = []
        for process in Path("/proc").iterdir():
            try:
                environment = (process / "environ").read_bytes().split(b"\0")
                command = (process / "cmdline").read_bytes().decode(errors="replace").split("\0")
            except OSError:
                continue
            if f"WINEPREFIX={self.prefix}".encode() in environment and command[0]:
                found.append((int(process.name), command))
        return found

    def running_programs(self) -> list:
        """The file names, in lower case, of the programs running on this machine."""
        return [PureWindowsPath(command[0]).name.lower() for _, command in self.processes()]

    def pids(self, program: str, argument: str | None = None) -> list:
        """The processes running that program (a file name in lower case),
        with that argument when one is given."""
        return [pid for pid, command in self.processes() if PureWindowsPath(command[0]).name.lower() == program
                and (argument is None or argument in command)]


def install_browser(machine: WineMachine, version: str):
    """The browser as its installer leaves it: the updater at its fixed place,
    the stand-in browser beside it, and the updater's --install run."""
    machine.place(program("OSTREL_UPDATE_EXE"), UPDATER)
    machine.place(program("OSTREL_STAND_IN_BROWSER"), BROWSER)
    installed = machine.updater("--install", version)
    if installed.returncode != 0:
        raise AssertionError(f"--install {version} failed: {installed.stderr.decode(errors='replace')}")


def stand_in_installer(directory: Path, version: str, size: int = 0, name: str = "",
                       relaunches: bool = False) -> Path:
    """The stand-in installer for a version, padded to size bytes when given,
    in a file named after the version unless a name is given; with
    relaunches, one that starts a copy of itself to do the work and exits."""
    tail = b"\n" + (RELAUNCH_MARK if relaunches else b"") + VERSION_MARK + version.encode() + b"\n"
    body = program("OSTREL_STAND_IN_INSTALLER").read_bytes()
    padding = max(0, size - len(body) - len(tail))
    installer = directory / (name or f"Ostrel-Setup-{version}.exe")
    with installer.open("wb") as file:
        file.write(body)
        file.write(b"\0" * padding)
        file.write(tail)
    return installer


def publish(feed: Path, version: str, size: int = 0, name: str = "", relaunches: bool = False):
    """Signs a release of the stand-in installer into the feed directory with
    the build's test key, as the publisher does; a name given need not carry
    the version."""
    with tempfile.TemporaryDirectory() as scratch:
        installer = stand_in_installer(Path(scratch), version, size, name, relaunches)
        # The tool signs only with a key file no one else may read, as a
        # checkout does not keep it.
        key = Path(scratch) / TEST_KEY.name
        key.write_bytes(TEST_KEY.read_bytes())
        key.chmod(0o600)
        subprocess.run([str(program("OSTREL_RELEASE_TOOL")), "sign", "--key", str(key), "--installer",
                        str(installer), "--version", version, "--out", str(feed),
                        *(["--allow-name-without-version"] if name else [])], check=True, capture_output=True)


def installer_runs(machine: WineMachine) -> list:
    """What each run of the stand-in installer recorded, in order, as a dict
    of its entries ("version", "sha512", ...; the arguments left out)."""
    record = machine.host_path(INSTALLER_RECORD)
    text = record.read_text() if record.exists() else ""
    runs, lines = [], []
    for line in text.splitlines():
        lines.append(line)
        if line.startswith("sha512="):
            runs.append(dict(entry.partition("=")[::2] for entry in lines if not entry.startswith("argument=")))
            lines = []
    return runs


def status_file(machine: WineMachine) -> dict:
    """"status.json" as it is on disk, read from outside the machine, so that
    nothing is asked; empty while there is none."""
    try:
        return json.loads(machine.host_path(DATA + r"\status.json").read_bytes())
    except (OSError, ValueError):
        return {}


def signed_sha512(feed: Path) -> str:
    """The SHA-512 that the feed's release.json signs, in hexadecimal as the
    stand-in installer records its own."""
    return base64.b64decode(json.loads((feed / "release.json").read_bytes())["sha512"]).hex()


def frame(message: dict) -> bytes:
    body = json.dumps(message, separators=(",", ":")).encode()
    return struct.pack("<I", len(body)) + body


def request(machine: WineMachine, action: str) -> subprocess.CompletedProcess:
    """One run of the native messaging host, the request framed on its
    standard input as the browser writes it."""
    return machine.updater(ORIGIN, standard_input=frame({"action": action}))


def unstarted(completed: subprocess.CompletedProcess) -> bool:
    """Whether Wine's loader ended the host before it ran (see
    NOT_STARTED_BY_WINE); any other failure is the host's own."""
    return completed.returncode == 1 and not completed.stdout and NOT_STARTED_BY_WINE in completed.stderr


def ask(machine: WineMachine, action: str) -> dict:
    """One native messaging request; the framed reply read back from the
    host's output. A host Wine did not start is started once more."""
    completed = request(machine, action)
    if unstarted(completed):
        completed = request(machine, action)
    return reply(completed, action)


def reply(completed: subprocess.CompletedProcess, action: str) -> dict:
    """The reply framed on the host's output."""
    output = completed.stdout
    if completed.returncode != 0 or len(output) < 4:
        raise AssertionError(f"native messaging {action} failed: {completed.returncode} {completed.stderr!r}")
    (length,) = struct.unpack("<I", output[:4])
    if length != len(output) - 4:
        raise AssertionError(f"native messaging {action}: frame of {length} bytes, {len(output) - 4} sent")
    return json.loads(output[4:])


class Pollers:
    """Extensions asking "status" back to back, each in a thread of its own,
    until the context ends; every reply that is not a status is kept."""

    def __init__(self, machine, count: int):
        self.machine = machine
        self.stopping = threading.Event()
        self.replies = 0
        self.unstarted = 0
        self.failures = []
        self.threads = [threading.Thread(target=self.poll) for _ in range(count)]

    def poll(self):
        while not self.stopping.is_set():
            try:
                completed = request(self.machine, "status")
                if unstarted(completed):
                    self.unstarted += 1
                    continue
                answer = reply(completed, "status")
                if answer.get("ok") is not True or "state" not in answer:
                    self.failures.append(answer)
            except (AssertionError, json.JSONDecodeError, subprocess.TimeoutExpired) as failure:
                self.failures.append(str(failure))
            self.replies += 1

    def __enter__(self):
        for thread in self.threads:
            thread.start()
        return self

    def __exit__(self, *_):
        self.stopping.set()
        for thread in self.threads:
            thread.join()


def wait_for(check, seconds: float, interval: float = 0.25):
    """Asks check() until it returns something true, for at most seconds;
    returns its last answer."""
    deadline = time.monotonic() + seconds
    while True:
        answer = check()
        if answer or time.monotonic() > deadline:
            return answer
        time.sleep(interval)


def seconds_from_close(browser: "Browser", check, seconds: float) -> float | None:
    """Closes the browser; the seconds from the close until check() answered
    something true, asked every 10 ms, or None when it had not within
    seconds."""
    start = time.monotonic()
    browser.close()
    if wait_for(check, seconds, 0.01):
        return time.monotonic() - start
    return None


def published_status(machine: WineMachine) -> dict:
    """status.json as the updater last committed it, read from this side of
    the machine's drive: no Wine process starts, so it can be asked often
    and closely. Empty while there is none."""
    try:
        return json.loads(machine.host_path(DATA + r"\status.json").read_bytes())
    except (OSError, ValueError):
        return {}


def start_file_reader(machine: WineMachine, mode: str, windows_path: str) -> subprocess.Popen:
    """The file reader program (file_reader.cpp) on the file, until its
    standard input is closed."""
    return subprocess.Popen(["wine", str(program("OSTREL_FILE_READER")), mode, windows_path], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=machine.environment)


def wait_for_status(machine: WineMachine, states: tuple, seconds: float = 120) -> dict:
    last = {}

    def reached():
        nonlocal last
        last = ask(machine, "status")
        return last.get("state") in states

    wait_for(reached, seconds)
    return last


class Browser:
    """The stand-in browser, running until it is closed."""

    def __init__(self, machine: WineMachine):
        self.process = machine.start(BROWSER)
        # Until Wine runs it, the updater would find no browser and do nothing.
        if not wait_for(lambda: "chrome.exe" in machine.running_programs(), 30, 0.05):
            raise AssertionError("the stand-in browser did not start")

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            self.process.wait(timeout=60)


def serve(feed: Path, idle_seconds: float | None = None) -> FeedServer:
    """The local HTTPS feed serving the directory, as a context manager;
    with idle_seconds, it closes connections idle for that long."""
    return FeedServer(feed, idle_seconds)


def requested_files(server: FeedServer) -> list:
    """The feed files asked for so far, in order, without their queries."""
    return [request["target"].partition("?")[0].rpartition("/")[2] for request in server.feed_state.recorded()]


class UpdateFixture:
    """The steps of the whole-update tests, for a unittest.TestCase: a fresh
    machine with browser 1.0.0, a feed, the browser, a release staged."""

    def arrange(self, traced_channel: str = ""):
        """A fresh machine with browser 1.0.0 installed, and an empty feed."""
        self.machine = self.enterContext(WineMachine(traced_channel))
        self.feed = Path(self.enterContext(tempfile.TemporaryDirectory()))
        install_browser(self.machine, "1.0.0")

    def serve(self, idle_seconds: float | None = None) -> FeedServer:
        """The feed served until the test ends, kept as self.server."""
        self.server = self.enterContext(serve(self.feed, idle_seconds))
        return self.server

    def start_browser(self) -> Browser:
        browser = Browser(self.machine)
        self.addCleanup(browser.close)
        return browser

    def file_reader(self, mode: str, windows_path: str) -> subprocess.Popen:
        reader = start_file_reader(self.machine, mode, windows_path)

        def end():
            if reader.poll() is None:
                reader.kill()
            reader.communicate()

        self.addCleanup(end)
        return reader

    def installer_record(self) -> str | None:
        record = self.machine.host_path(INSTALLER_RECORD)
        return record.read_text() if record.exists() else None

    def assert_nothing_installed(self):
        self.assertIsNone(self.installer_record())
        self.assertEqual(ask(self.machine, "status")["installedVersion"], "1.0.0")

    def check_until(self, states: tuple) -> dict:
        self.assertIn(ask(self.machine, "check")["state"], ("checking", "up_to_date", "downloading", "ready", "error"))
        return wait_for_status(self.machine, states)

    def stage(self, relaunches: bool = False) -> Browser:
        """A fresh machine, 1.1.0 published, the browser running and the release staged."""
        self.arrange()
        publish(self.feed, "1.1.0", relaunches=relaunches)
        self.serve()
        browser = self.start_browser()
        self.assertEqual(self.check_until(("ready", "error")),
                         {"ok": True, "state": "ready", "installedVersion": "1.0.0", "availableVersion": "1.1.0"})
        return browser
