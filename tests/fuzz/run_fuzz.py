"""Fuzzes the public operations of pykesta.curvetypes and pykesta.trajops.

Run in a child interpreter (tests/test_fuzz.py does), so that a crash ends only
that process:

    python tests/fuzz/run_fuzz.py --area evaluation --examples 200 --seed 1 --journal FILE

Each example builds a few trajectories from drawn raw data (pykesta's own
_dset_data, no checks) and applies a drawn sequence of operations of the area
to them and to their results. Results and ordinary Python exceptions are the
only acceptable outcomes. The areas are those of operations.py,
concurrency.py and races.py; "hostile" draws from all operations but the
threaded ones and makes its trajectories of subclasses that misbehave
(hostile.py). --seconds repeats the examples with the next seeds until that
long has passed. The last line printed counts the examples that ran
(--verbose adds the outcomes of each call); the journal file holds the calls
of the current example, so that after a crash it shows what crashed.
"""

import argparse
import faulthandler
import itertools
import os
import shutil
import sys
import time
import warnings

from hypothesis import HealthCheck, given, seed, settings
from hypothesis import strategies as st

import concurrency  # noqa: F401  (registers the threads area)
import limits
import operations
import planning  # noqa: F401  (registers the planning area)
import races  # noqa: F401  (registers the races area)
import values
import world
from world import Journal, Tally, World

# An example running longer than this hangs: the stacks are dumped and the run ends.
EXAMPLE_TIME_LIMIT = 120
# The classes an example's trajectories are made of, by area (Trajectory1d alone
# unless named here).
CLASSES = {
    "hostile": ("Trajectory1d", "PlainSubclass", "HostileTrajectory", "HostileTrajectory"),
}


def empty(folder):
    for entry in os.scandir(folder):
        if entry.is_file(follow_symlinks=False):
            os.unlink(entry.path)


def fuzz(area, examples, seed_value, journal_path, verbose, folder, seconds):
    os.mkdir(os.path.join(folder, world.FOLDER_NAME))
    os.chdir(folder)  # where a save under an odd file name lands
    journal = Journal(journal_path)
    tally = Tally()
    classes = CLASSES.get(area, ("Trajectory1d",))
    chosen = operations.AREAS["all" if area == "hostile" else area]

    @settings(max_examples=examples, deadline=None, database=None,
              suppress_health_check=list(HealthCheck))
    @given(st.data())
    def example(data):
        tally.examples += 1
        journal.restart()
        empty(folder)
        faulthandler.dump_traceback_later(EXAMPLE_TIME_LIMIT, exit=True)
        world = World(data, journal, tally, folder)
        try:
            for recipe in data.draw(st.lists(values.recipes(classes), min_size=1, max_size=3)):
                world.build(recipe)
            if area == "hostile":
                world.aim_hostile_behaviours(data.draw(values.recipes()))
            for _ in range(data.draw(st.integers(1, 12))):
                data.draw(st.sampled_from(chosen))(world)
        finally:
            world.end()
            faulthandler.cancel_dump_traceback_later()

    began = time.monotonic()
    try:
        # Rounds of `examples` with the next seeds until `seconds` have passed.
        for round_seed in itertools.count(seed_value):
            seed(round_seed)(example)()
            if time.monotonic() - began >= seconds:
                break
    finally:
        if verbose:
            for name, outcomes in sorted(tally.by_call.items()):
                print(f"  {name}: {outcomes}")
        outcomes = ", ".join(f"{name} {count}" for name, count in sorted(tally.outcomes.items()))
        print(f"fuzz {area}: {tally.examples} examples, {tally.calls} calls ({outcomes})",
              flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--area", required=True, choices=sorted(operations.AREAS) + ["hostile"])
    parser.add_argument("--examples", type=int, required=True)
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--journal", default=None)
    parser.add_argument("--seconds", type=float, default=0.0,
                        help="run further rounds of examples, with the next seeds, until this "
                             "long has passed")
    parser.add_argument("--verbose", action="store_true", help="outcomes of each call")
    parser.add_argument("--folder", default=None,
                        help="an empty folder for the documents (default: a new one, removed "
                             "at the end)")
    args = parser.parse_args()
    faulthandler.enable()
    warnings.simplefilter("ignore")
    limits.limit_address_space()
    folder = args.folder or limits.scratch_folder("pykesta-fuzz-")
    try:
        fuzz(args.area, args.examples, args.seed, args.journal, args.verbose, folder,
             args.seconds)
    finally:
        os.chdir("/")
        if args.folder is None:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
