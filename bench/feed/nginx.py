"""Debian's nginx serving a feed directory on 127.0.0.1:443 with the test
feed's certificate, in the foreground, under a configuration the caller
gives: for the measurements that need a real static server."""

import os
import signal
import socket
import subprocess
import time
from pathlib import Path


def wait_for_port():
    deadline = time.monotonic() + 30
    while True:
        try:
            socket.create_connection(("127.0.0.1", 443), timeout=1).close()
            return
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)


def process_cpu_seconds(pid: int) -> float:
    """User and system time of a process so far."""
    fields = Path(f"/proc/{pid}/stat").read_text().rpartition(")")[2].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def readable_by_workers(*paths: Path):
    """nginx's workers run as an ordinary user and must read the feed."""
    for path in paths:
        path.chmod(0o755 if path.is_dir() else 0o644)


class Nginx:
    """nginx with its configuration, pid file and logs in a directory of its
    own; started again with the same directory, it appends to the same logs."""

    def __init__(self, directory: Path, configuration: str):
        self.directory = directory
        (directory / "nginx.conf").write_text(configuration)

    def __enter__(self):
        self.process = subprocess.Popen(["nginx", "-e", str(self.directory / "error.log"), "-p", str(self.directory),
                                         "-c", str(self.directory / "nginx.conf"), "-g", "daemon off;"])
        wait_for_port()
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait()

    def workers(self) -> list:
        return [int(worker) for worker in
                Path(f"/proc/{self.process.pid}/task/{self.process.pid}/children").read_text().split()]

    def cpu_seconds(self) -> float:
        """Of the workers, which do the handshakes."""
        return sum(process_cpu_seconds(worker) for worker in self.workers())

    def kill(self):
        """The server's death: every process killed, the master first so that
        it starts no worker in place of one; the kernel still delivers what
        the workers had written, then closes their connections."""
        workers = self.workers()
        for pid in [self.process.pid, *workers]:
            os.kill(pid, signal.SIGKILL)
        self.process.wait()
        for pid in workers:
            while not dead(pid):
                time.sleep(0.01)


def dead(pid: int) -> bool:
    """Ended, whether or not its parent has reaped it yet."""
    try:
        return Path(f"/proc/{pid}/stat").read_text().rpartition(")")[2].split()[0] == "Z"
    except OSError:
        return True
