"""Every public operation of pykesta.curvetypes and pykesta.trajops, fuzzed with
hostile input: only results and ordinary Python exceptions may come out.

Each area runs tests/fuzz/run_fuzz.py in a child interpreter, so that a crash
fails one test; the calls of the example that was running are shown then. A
run that does not end in time hangs. PYKESTA_LONG_FUZZ=1 (set by the sanitizer
run) multiplies the examples by four and runs the races and evaluation areas for
a minute at least; PYKESTA_FUZZ_SEED changes the seeds.
"""

import os
import re
import shutil
import subprocess

import pytest

from fuzz.children import outcome, run_script
from fuzz.limits import scratch_folder

# Examples per area; an example of the threads and races areas makes arrays of
# some ten thousand points or more, hence fewer of them.
AREAS = {"evaluation": 250, "shape": 250, "arithmetic": 250, "functions": 250,
         "persistence": 250, "arguments": 250, "hostile": 250, "threads": 40, "races": 20,
         "planning": 250}
LONG = os.environ.get("PYKESTA_LONG_FUZZ") == "1"
# Under the sanitizers an example costs some ten times as much: four times the
# examples keep the whole CI run within its hour.
SCALE = 4 if LONG else 1
# The long runs of these areas go on, with further seeds, for at least this long.
SECONDS = {"races": 60, "evaluation": 60} if LONG else {}
SEED = int(os.environ.get("PYKESTA_FUZZ_SEED", "20240"))


@pytest.mark.parametrize("area", AREAS)
def test_only_python_exceptions(area, tmp_path, capsys):
    journal = tmp_path / "journal.txt"
    examples = AREAS[area] * SCALE
    seconds = SECONDS.get(area, 0)
    seed = SEED + list(AREAS).index(area)
    folder = scratch_folder("pykesta-fuzz-")
    try:
        # generous: an example takes milliseconds, tens of them under the sanitizers
        run = run_script("run_fuzz.py", "--area", area, "--examples", examples, "--seed", seed,
                         "--seconds", seconds, "--journal", journal, "--folder", folder,
                         timeout=120 + 2 * examples + 2 * seconds)
    except subprocess.TimeoutExpired as expired:
        stderr = expired.stderr.decode(errors="replace") if expired.stderr else ""
        pytest.fail(f"the {area} fuzz run hangs in this example:\n{journal.read_text()}\n"
                    f"{stderr[-4000:]}")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    summary = run.stdout.strip().splitlines()[-1] if run.stdout.strip() else "no summary"
    with capsys.disabled():
        print(f"\n{summary}")
    if run.returncode != 0:
        calls = journal.read_text() if journal.exists() else ""
        pytest.fail(f"{outcome(run.returncode)} in the {area} fuzz run; the example:\n"
                    f"{calls[-6000:]}\n{run.stdout[-3000:]}\n{run.stderr[-6000:]}")
    ran = re.search(r"(\d+) examples", summary)
    assert ran and int(ran.group(1)) >= examples, summary


@pytest.mark.parametrize("case", ["order_difference_of_int32_min",
                                  "sizes_left_by_a_failed_dset_data",
                                  "mirror_while_another_thread_replaces_the_arrays",
                                  "evaluation_while_another_thread_writes_the_knots"])
def test_found_by_fuzzing(case):
    """What the fuzz runs found, replayed whatever the seeds (tests/fuzz/found_cases.py);
    undefined behaviour and use after free show in the sanitizer run."""
    run = run_script("found_cases.py", case, timeout=300)
    status = run.returncode
    assert status == 0, f"{outcome(status)}\n{run.stderr[-6000:]}"
    assert run.stdout.strip() == "done", run.stdout
