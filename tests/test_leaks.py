"""No operation leaks: 10,000 repetitions of each constructive operation, of the XML
round trip and of error paths that fail after allocating leave neither traced
memory nor objects nor references behind.

Each group runs tests/fuzz/leak_check.py in a child interpreter (tracemalloc
slows everything it traces, and a crash must fail one test only); the operations
are in tests/fuzz/leak_operations.py.
"""

import pytest

from fuzz.children import outcome, run_script

GROUPS = ["methods", "operators", "functions", "state", "documents", "errors"]
ITERATIONS = 10_000


@pytest.mark.parametrize("group", GROUPS)
def test_repetition_leaves_nothing_behind(group):
    run = run_script("leak_check.py", "--group", group, "--iterations", ITERATIONS,
                     timeout=900)
    report = run.stdout.strip().splitlines()
    leaks = [line for line in report if line.startswith("LEAK ")]
    assert not leaks, "\n".join(leaks)
    status = run.returncode
    assert status == 0, f"{outcome(status)}\n{run.stdout}\n{run.stderr[-6000:]}"
    assert report and report[-1].startswith(f"leak check {group}: "), run.stdout
