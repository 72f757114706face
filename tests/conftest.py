import subprocess
import sys
import textwrap

import pytest


@pytest.fixture
def run_python():
    """Runs a script in a fresh interpreter; returns the completed process."""

    def run(script, timeout=300, env=None):
        return subprocess.run([sys.executable, "-c", textwrap.dedent(script)], capture_output=True,
                              text=True, timeout=timeout, env=env)

    return run
