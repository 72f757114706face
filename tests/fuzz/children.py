"""Running the scripts of this folder in child interpreters, for the tests."""

import os
import signal
import subprocess
import sys
from pathlib import Path

FOLDER = Path(__file__).parent


def child_environment():
    """Under AddressSanitizer a request for gigabytes must fail as malloc fails,
    into MemoryError, instead of aborting; without it the scripts cap their
    address space themselves (limits.py)."""
    env = dict(os.environ)
    asan = [env.get("ASAN_OPTIONS", ""), "allocator_may_return_null=1",
            "max_allocation_size_mb=4096"]
    env["ASAN_OPTIONS"] = ":".join(option for option in asan if option)
    return env


def run_script(name, *args, timeout):
    """Runs FOLDER/name with args; raises subprocess.TimeoutExpired on a hang."""
    command = [sys.executable, str(FOLDER / name), *map(str, args)]
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout,
                          env=child_environment())


def outcome(returncode):
    if returncode < 0:
        return f"killed by {signal.Signals(-returncode).name}"
    return f"exit status {returncode}"
