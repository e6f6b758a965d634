"""The transaction lock across real processes under Wine: while one process
holds "install.lock", another meets the sharing violation (32) when it probes
and gives up after the apply worker's twenty attempts 50 ms apart; once the
holder has ended, both succeed."""

import os
import re
import subprocess
import unittest
from pathlib import Path

TOOL = os.environ["OSTREL_LOCK_TOOL_EXE"]


def run_tool(mode: str) -> str:
    completed = subprocess.run(
        ["wine", TOOL, mode], stdin=subprocess.DEVNULL, capture_output=True, timeout=60, check=True
    )
    return completed.stdout.decode().strip()


class TransactionLockTest(unittest.TestCase):
    def setUp(self):
        # Acquiring never creates the data directory; the updater ensures it first.
        prefix = Path(os.environ.get("WINEPREFIX", Path.home() / ".wine"))
        (prefix / "drive_c" / "ProgramData" / "OstrelNativeUpdater").mkdir(parents=True, exist_ok=True)

    def test_second_process_meets_the_held_lock_then_takes_it(self):
        holder = subprocess.Popen(
            ["wine", TOOL, "hold"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL
        )
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            self.assertEqual(run_tool("probe"), "32")
            refused = re.fullmatch(r"Another update transaction is active \(32\) after (\d+) ms", run_tool("acquire"))
            self.assertIsNotNone(refused)
            self.assertGreaterEqual(int(refused.group(1)), 20 * 50)
            self.assertLess(int(refused.group(1)), 10000)
        finally:
            holder.stdin.close()
            self.assertEqual(holder.wait(timeout=30), 0)
            holder.stdout.close()
        self.assertEqual(run_tool("probe"), "0")
        self.assertRegex(run_tool("acquire"), r"^acquired after \d+ ms$")


if __name__ == "__main__":
    unittest.main()
