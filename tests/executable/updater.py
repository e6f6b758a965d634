"""Runs the cross-compiled OstrelUpdate.exe under Wine for executable tests."""

import os
import subprocess
from dataclasses import dataclass


@dataclass
class Run:
    exit_code: int
    standard_output: bytes
    standard_error: bytes


def run_updater(*arguments: str, timeout: float = 60) -> Run:
    """Runs the updater with the arguments and captures its streams."""
    completed = subprocess.run(
        ["wine", os.environ["OSTREL_UPDATE_EXE"], *arguments],
        stdin=subprocess.DEVNULL,
        capture_output=True,
        timeout=timeout,
        check=False,
    )
    return Run(completed.returncode, completed.stdout, completed.stderr)
