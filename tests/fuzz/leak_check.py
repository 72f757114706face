"""Repeats operations and reports those that leave something behind.

Run in a child interpreter (tests/test_leaks.py does):

    python tests/fuzz/leak_check.py --group methods --iterations 10000

For each operation of the group (tests/fuzz/leak_operations.py): a warm-up, then
the iterations, over which nothing may grow: the memory that tracemalloc traces
(trajectory storage comes from PyMem_Malloc, so it is traced), the number of
objects the collector tracks, and the reference counts of the classes and of
every object the operation is given. Operations meant to fail must fail every
time, so that the error path is what is measured. Prints one line per leak and
exits with status 1 if there is any.
"""

import argparse
import gc
import os
import shutil
import sys
import tracemalloc

import leak_operations
import limits

WARM_UP = 1000
# A leak grows with every iteration, so in both halves of the run alike, while
# caches that settle late (interned names, numpy's small-array cache, a table
# that doubles, the allocator's own under the sanitizers) grow in one step. The
# smallest leak, one pointer per iteration, is 40 KB a half.
HALF_SLACK = 16 * 1024
OBJECT_SLACK = 20


def grows(start, half, end, slack):
    return (half - start > slack and end - half > slack) or end - start > 8 * slack


class Counts:
    def __init__(self, watched):
        gc.collect()
        self.memory = tracemalloc.get_traced_memory()[0]
        self.objects = len(gc.get_objects())
        self.references = [sys.getrefcount(obj) for obj in watched]


def growth(check, iterations):
    """What repeating check.run leaves behind, or None."""
    for _ in range(WARM_UP):
        check.run()
    start = Counts(check.watched)
    for _ in range(iterations // 2):
        check.run()
    half = Counts(check.watched)
    for _ in range(iterations - iterations // 2):
        check.run()
    end = Counts(check.watched)
    found = []
    if grows(start.memory, half.memory, end.memory, HALF_SLACK):
        found.append(f"traced memory +{half.memory - start.memory} and "
                     f"+{end.memory - half.memory} bytes over the two halves")
    if grows(start.objects, half.objects, end.objects, OBJECT_SLACK):
        found.append(f"tracked objects +{half.objects - start.objects} and "
                     f"+{end.objects - half.objects} over the two halves")
    for obj, *references in zip(check.watched, start.references, half.references,
                                end.references):
        if references[2] != references[1]:
            found.append(f"references to {leak_operations.name_of(obj)}: "
                         f"{' -> '.join(map(str, references))}")
    return ", ".join(found) or None


def check_all(checks, iterations):
    """Prints a line for each check that leaks; returns their number."""
    leaks = 0
    for check in checks:
        try:
            found = growth(check, check.iterations or iterations)
        except Exception as error:  # an error path that did not fail, or one that did
            found = f"{type(error).__name__}: {error}"
        if found:
            leaks += 1
            print(f"LEAK {check.name}: {found}", flush=True)
    return leaks


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--group", required=True, choices=sorted(leak_operations.GROUPS))
    parser.add_argument("--iterations", type=int, default=10_000)
    args = parser.parse_args()
    limits.limit_address_space()
    folder = limits.scratch_folder("pykesta-leaks-")
    os.chdir(folder)
    tracemalloc.start()
    try:
        checks = leak_operations.GROUPS[args.group](folder)
        leaks = check_all(checks, args.iterations)
    finally:
        os.chdir("/")
        shutil.rmtree(folder, ignore_errors=True)
    print(f"leak check {args.group}: {len(checks)} operations, {leaks} leaking", flush=True)
    return 1 if leaks else 0


if __name__ == "__main__":
    sys.exit(main())
