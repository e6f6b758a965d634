"""Runs the cross-compiled OstrelUpdate.exe under Wine for executable tests."""

import os
import subprocess
from dataclasses import dataclass


@dataclass
class Run:
    exit_code: int
    standard_output: bytes | None
    standard_error: bytes


def run_updater(*arguments: str, standard_input: bytes | None = None, standard_output=subprocess.PIPE,
                timeout: float = 60) -> Run:
    """Runs the updater with the arguments and captures its streams; the
    bytes given are written to its standard input, which then ends. A file
    given as standard_output takes the output instead, which is then None."""
    completed = subprocess.run(
        ["wine", os.environ["OSTREL_UPDATE_EXE"], *arguments],
        input=standard_input,
        stdin=subprocess.DEVNULL if standard_input is None else None,
        stdout=standard_output,
        stderr=subprocess.PIPE,
        timeout=timeout,
        check=False,
    )
    return Run(completed.returncode, completed.stdout, completed.stderr)
