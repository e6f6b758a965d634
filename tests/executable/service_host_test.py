"""The service host under Wine's real service control manager: a service of
the tests' own runs the host's control handler and status reports, and the
updater's own service entry stops with the service-specific code when its
update cycle refuses to run (Wine runs it as an ordinary user, not as
LocalSystem). Each service is registered with sc.exe and deleted again."""

import os
import re
import subprocess
import time
import unittest

TOOL = os.environ["OSTREL_SERVICE_TOOL_EXE"]


def sc(*arguments: str) -> str:
    completed = subprocess.run(
        ["wine", "sc.exe", *arguments], stdin=subprocess.DEVNULL, capture_output=True, timeout=60, check=False
    )
    return completed.stdout.decode(errors="replace")


def query(name: str) -> dict:
    """The numbers sc.exe reports for the service: STATE, WIN32_EXIT_CODE, ..."""
    return {key: int(value) for key, value in re.findall(r"(\w+)\s+: (\d+)", sc("query", name))}


def wait_for_state(name: str, state: int, seconds: float = 30) -> dict:
    deadline = time.monotonic() + seconds
    while True:
        status = query(name)
        if status.get("STATE") == state or time.monotonic() > deadline:
            return status
        time.sleep(0.2)


RUNNING, STOPPED = 4, 1


class ServiceHostTest(unittest.TestCase):
    def register(self, mode: str) -> str:
        name = f"OstrelHostTest{mode.capitalize()}{os.getpid()}"
        windows_path = subprocess.run(["winepath", "-w", TOOL], capture_output=True, check=True).stdout.decode().strip()
        sc("create", name, "binPath=", f'"{windows_path}" {mode}', "type=", "own", "start=", "demand")
        self.addCleanup(sc, "delete", name)
        return name

    def test_runs_until_stopped_and_stops_cleanly(self):
        name = self.register("wait")
        sc("start", name)
        self.assertEqual(wait_for_state(name, RUNNING).get("STATE"), RUNNING)
        sc("stop", name)
        stopped = wait_for_state(name, STOPPED)
        self.assertEqual(stopped.get("STATE"), STOPPED)
        self.assertEqual(stopped.get("WIN32_EXIT_CODE"), 0)
        self.assertEqual(stopped.get("SERVICE_EXIT_CODE"), 0)

    def test_a_failed_update_cycle_stops_with_the_service_specific_code(self):
        name = self.register("cycle")
        sc("start", name)
        stopped = wait_for_state(name, STOPPED)
        self.assertEqual(stopped.get("STATE"), STOPPED)
        self.assertEqual(stopped.get("WIN32_EXIT_CODE"), 1066)
        self.assertEqual(stopped.get("SERVICE_EXIT_CODE"), 1)


if __name__ == "__main__":
    unittest.main()
