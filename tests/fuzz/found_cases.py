"""Inputs that the fuzz runs found troublesome, replayed on their own so that
they are checked on every run, whatever the seeds:

    python tests/fuzz/found_cases.py NAME

Only Python exceptions may come out; the sanitizer build reports the rest.
"""

import copy
import pickle
import sys
import threading
import time

import numpy as np

import limits
from pykesta import trajops
from pykesta.curvetypes import Point1d, Trajectory1d

CASES = {}


def case(fn):
    CASES[fn.__name__] = fn
    return fn


def trajectory(n=1, p=1, order=0):
    knots = np.concatenate([[0.0] * (p + 1), np.linspace(0.0, 1.0, n - p + 2)[1:-1],
                            [1.0] * (p + 1)])
    t = Trajectory1d()
    t._dset_data(knots.tobytes(), np.linspace(1.0, 2.0, n + 1).tobytes(), p, n, order, True)
    return t


def attempt(*calls):
    for call in calls:
        try:
            call()
        except Exception:
            pass


@case
def order_difference_of_int32_min():
    """A constraint 2**31 derivation orders below the trajectory: nu = -2**31."""
    t = trajectory(order=2**31)
    for p in (Point1d(0.5, 1.0, 0), (0.5, 1.0, 0)):
        attempt(lambda: trajops.setValueSm(t, t.copy(), p), lambda: trajops.setValueAm(t, p),
                lambda: trajops.setValueTr(t, p), lambda: t.copy().setValueAm(p),
                lambda: t.copy().setValueTr(p))


@case
def sizes_left_by_a_failed_dset_data():
    """_dset_data refusing p and n whose sum overflows, then every reader of the
    (now empty) trajectory."""
    for p, n in ((2**31 - 2, 6), (6, 2**31 - 2), (2**31 - 1, 2**31 - 1)):
        t = Trajectory1d()
        attempt(lambda: t._dset_data(b"", b"", p, n, 0, True))
        attempt(t.__getstate__, t.copy, lambda: copy.deepcopy(t), lambda: str(t), t._getAttrib,
                t.get_xcpts, t.get_knotvector_asarray, lambda: t.peval(0.5),
                lambda: t(np.linspace(0, 1, 5)), t.derivative, t.degelev, t.knotsrem,
                lambda: t.knotref(np.array([0.5])), lambda: pickle.dumps(t),
                lambda: trajops.mirror(t), lambda: trajops.join(t, t), lambda: t == t,
                lambda: t + 1.0)


@case
def mirror_while_another_thread_replaces_the_arrays():
    """mirror works without the interpreter lock; meanwhile another thread gives
    the trajectory new arrays, and the old ones go. Runs until the other thread
    has done so during fifty of the calls."""
    big = trajectory(100_000, 3).__getstate__()
    small = trajectory().__getstate__()
    t = Trajectory1d()
    t.__setstate__(big)
    swaps = [0]
    done = threading.Event()

    def swap():
        while not done.is_set():
            t.__setstate__(small)
            t.__setstate__(big)
            swaps[0] += 1

    swapper = threading.Thread(target=swap)
    sys.setswitchinterval(1e-5)
    swapper.start()
    overlaps = 0
    try:
        for _ in range(20_000):
            before = swaps[0]
            attempt(lambda: trajops.mirror(t))
            overlaps += swaps[0] != before
            if overlaps == 50:
                break
    finally:
        done.set()
        swapper.join()


@case
def evaluation_while_another_thread_writes_the_knots():
    """Values and derivatives over enough points to run without the interpreter
    lock, while another thread writes the knots in place, all equal for a few
    milliseconds and back: the span the walk found first may be gone when it
    looks for the last one, from the other end of four million knots."""
    n, p = 4_000_000, 1
    knots = np.concatenate([[0.0, 0.0], np.ones(n + p)])
    t = Trajectory1d()
    t._dset_data(knots.tobytes(), np.linspace(0.0, 1.0, n + 1).tobytes(), p, n, 0, True)
    view = t.get_knotvector_asarray()
    points = np.linspace(0.0, 1.0, 16_384)
    done = threading.Event()

    def write():
        while not done.is_set():
            view[:] = 0.0
            time.sleep(0.005)
            view[:] = knots
            time.sleep(0.002)

    writer = threading.Thread(target=write)
    sys.setswitchinterval(1e-5)
    writer.start()
    try:
        for _ in range(100):
            attempt(lambda: t.dceval(points.copy(), 1), lambda: t.ceval(points.copy()))
    finally:
        done.set()
        writer.join()

if __name__ == "__main__":
    limits.limit_address_space()
    CASES[sys.argv[1]]()
    print("done")
