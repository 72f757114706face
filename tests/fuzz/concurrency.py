"""Calls that run without the interpreter lock (mirror, evaluation over many
points, saving) while another thread replaces the arrays of the trajectory they
work on: the "threads" area of the fuzz runs."""

import sys
import threading

import numpy as np
from hypothesis import strategies as st

import values
from operations import operation
from pykesta import trajops
from pykesta.curvetypes import Trajectory1d

# Evaluation over this many points, and mirror, let go of the interpreter lock.
UNLOCKED_POINTS = 16_384


class Swapper(threading.Thread):
    """Replaces the arrays of a trajectory, and writes into views of them, over
    and over until told to stop."""

    def __init__(self, trajectory, states):
        super().__init__(daemon=True)
        self.trajectory = trajectory
        self.states = states
        self.halt = threading.Event()

    def run(self):
        while not self.halt.is_set():
            for state in self.states:
                try:
                    Trajectory1d._dset_data(self.trajectory, *state)
                    view = self.trajectory.get_cpts_asarray()
                    view[:: max(1, view.size // 7)] = -1.0
                except Exception:
                    pass  # whatever fails here, the calls of the main thread go on


@operation("threads", among_all=False)
def concurrent(w):
    """Calls that run without the interpreter lock on a trajectory whose arrays
    another thread replaces meanwhile (big, small, of other degrees)."""
    n = w.draw(st.integers(UNLOCKED_POINTS, 3 * UNLOCKED_POINTS))
    p = w.draw(st.integers(0, 5))
    big = (values.knot_vector(w.draw, n + p + 2, p).tobytes(),
           values.float_array(w.draw, n + 1).tobytes(), p, n, 0, True)
    small = w.draw(values.recipes())
    states = [big, (small.knots, small.cpts, small.p, small.n, 0, True)]
    t = Trajectory1d()
    Trajectory1d._dset_data(t, *big)
    w.journal.write(f"{w.label(t)}: n = {n}, p = {p}, swapped with <{small!r}> by a thread")
    points = np.linspace(0.0, 1.0, w.draw(st.integers(UNLOCKED_POINTS, 2 * UNLOCKED_POINTS)))
    swapper = Swapper(t, states)
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    swapper.start()
    try:
        for _ in range(w.draw(st.integers(1, 4))):
            name = w.choose(("mirror", "ceval", "dceval", "call", "save"))
            if name == "mirror":
                w.call("mirror", trajops.mirror, t, keep=False)
            elif name == "ceval":
                w.invoke(t, "ceval", points.copy(), keep=False)
            elif name == "dceval":
                w.invoke(t, "dceval", points.copy(), w.draw(st.integers(0, 3)), keep=False)
            elif name == "call":
                w.call("call", t, points[::-1], keep=False)
            else:
                w.invoke(t, "savexml", w.file_name(), "a", keep=False)
    finally:
        swapper.halt.set()
        swapper.join()
        sys.setswitchinterval(interval)
