import os
import subprocess
import sys
import textwrap

import pytest
from hypothesis import settings

# CI runs the suite seven times (every interpreter, the sanitizer build): there
# the property tests draw the same examples on every run, so that its verdict
# depends on the commit alone. Elsewhere they draw new ones each run.
settings.register_profile("ci", derandomize=True)
settings.load_profile(os.environ.get("PYKESTA_HYPOTHESIS_PROFILE", "default"))


@pytest.fixture
def run_python():
    """Runs a script in a fresh interpreter; returns the completed process."""

    def run(script, timeout=300, env=None):
        return subprocess.run([sys.executable, "-c", textwrap.dedent(script)], capture_output=True,
                              text=True, timeout=timeout, env=env)

    return run
