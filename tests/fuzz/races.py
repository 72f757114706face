"""Evaluation racing writers: the "races" area of the fuzz runs.

A thread changes a trajectory's knots and control points in place, over and
over (transforms, in-place arithmetic, writes through both views, _dset_data
swaps), while the main thread evaluates it: scalar and array forms, above and
below the number of points from which evaluation lets go of the interpreter
lock, sorted and unsorted, values and derivatives, and mirror. The numbers
that come out may be anything; the process must survive, and the only
exception an evaluation may raise is ValueError (a point out of the domain
or out of order as the trajectory stands at that moment).
"""

import operator
import sys
import threading
import time

import numpy as np
from hypothesis import strategies as st

import values
from concurrency import UNLOCKED_POINTS
from operations import operation
from pykesta import trajops
from pykesta.curvetypes import Trajectory1d

# What an evaluation may raise while another thread rewrites the trajectory.
DOCUMENTED = (ValueError,)

FACTORS = (0.0, 0.0, 0.5, 2.0, -1.0, 1e300, float("nan"), float("inf"))
KNOT_WRITES = ("zeros", "nan", "reversed", "shuffled", "original", "original", "original")
PAUSES = (0.0005, 0.002, 0.005)
IN_PLACE = {"+=": operator.iadd, "-=": operator.isub, "*=": operator.imul,
            "/=": operator.itruediv}


def _knot_write(kind, original, rng):
    """What a write through the knot view stores: values that break the vector
    (repeated, NaN, decreasing, unsorted) or the original ones back."""
    if kind == "zeros":
        return np.zeros_like(original)
    if kind == "nan":
        return np.full_like(original, np.nan)
    if kind == "reversed":
        return original[::-1].copy()
    if kind == "shuffled":
        return rng.permutation(original)
    return original


def _through_view(get_view, stored):
    def write(t):
        view = get_view(t)
        if view.size == stored.size:
            view[:] = stored
        else:
            view[:] = stored[0] if stored.size else 0.0
    return write


def mutations(w, t, original_knots, original_cpts, swaps):
    """A drawn cycle of in-place changes to t, as (description, function) pairs."""
    rng = np.random.default_rng(w.draw(st.integers(0, 2**32 - 1)))
    cycle = []
    kinds = ("transform", "adapt", "arithmetic", "knots", "knots", "cpts", "swap", "pause")
    for kind in w.draw(st.lists(st.sampled_from(kinds), min_size=1, max_size=8)):
        if kind == "pause":
            # lets a state last for a whole evaluation, or most of one
            seconds = w.choose(PAUSES)
            cycle.append((f"sleep({seconds})", lambda t, s=seconds: time.sleep(s)))
        elif kind == "transform":
            name, factor = w.choose(("hscale", "rshift", "ashift")), w.choose(FACTORS)
            cycle.append((f"{name}({factor})",
                          lambda t, name=name, f=factor: getattr(t, name)(f)))
        elif kind == "adapt":
            start, stop = w.choose(FACTORS), w.choose(FACTORS)
            cycle.append((f"adapt({start}, {stop})", lambda t, a=start, b=stop: t.adapt(a, b)))
        elif kind == "arithmetic":
            symbol, number = w.choose(sorted(IN_PLACE)), w.choose(FACTORS)
            cycle.append((f"t {symbol} {number}",
                          lambda t, op=IN_PLACE[symbol], c=number: op(t, c)))
        elif kind == "knots":
            written = w.choose(KNOT_WRITES)
            stored = _knot_write(written, original_knots, rng)
            cycle.append((f"knot view = {written}",
                          _through_view(Trajectory1d.get_knotvector_asarray, stored)))
        elif kind == "cpts":
            stored = rng.uniform(-1.0, 1.0, original_cpts.size) * w.choose(FACTORS)
            cycle.append(("control point view = drawn values",
                          _through_view(Trajectory1d.get_cpts_asarray, stored)))
        else:
            state = w.choose(swaps)
            cycle.append((f"_dset_data(p={state[2]}, n={state[3]})",
                          lambda t, s=state: Trajectory1d._dset_data(t, *s)))
    # Back to the drawn knots, for a while: evaluations that start then pass
    # their checks, and the next cycle's changes land in the middle of them.
    cycle.append(("knot view = original",
                  _through_view(Trajectory1d.get_knotvector_asarray, original_knots)))
    rest = w.choose(PAUSES)
    cycle.append((f"sleep({rest})", lambda t: time.sleep(rest)))
    return cycle


class Writer(threading.Thread):
    """Runs a cycle of in-place changes on a trajectory until told to stop."""

    def __init__(self, trajectory, cycle):
        super().__init__(daemon=True)
        self.trajectory = trajectory
        self.cycle = cycle
        self.halt = threading.Event()

    def run(self):
        while not self.halt.is_set():
            for _, change in self.cycle:
                try:
                    change(self.trajectory)
                except Exception:
                    pass  # a refused change leaves the trajectory to the next one


def _points(w, start, stop):
    count = w.choose((w.draw(st.integers(1, 40)), w.draw(st.integers(UNLOCKED_POINTS,
                                                                      2 * UNLOCKED_POINTS))))
    points = np.linspace(start, stop, count)
    if w.chance(3):
        points = points[np.random.default_rng(count).permutation(count)]
    return points


def evaluate(w, t, start, stop):
    """A drawn evaluation of t, or mirror, a few times over."""
    name = w.choose(("peval", "dpeval", "ceval", "dceval", "call", "call", "mirror"))
    x = float(w.draw(st.floats(start, stop))) if start <= stop else start
    nu = w.draw(st.integers(0, 4))
    strict = {"keep": False, "allowed": DOCUMENTED}
    points = _points(w, start, stop)
    for _ in range(w.draw(st.integers(1, 10))):
        if name == "peval":
            w.invoke(t, "peval", x, **strict)
        elif name == "dpeval":
            w.invoke(t, "dpeval", x, nu, **strict)
        elif name in ("ceval", "dceval"):
            args = (np.sort(points),) if name == "ceval" else (np.sort(points), nu)
            w.invoke(t, name, *args, **strict)
        elif name == "call":
            w.call("call", t, x if w.chance(4) else points, nu, **strict)
        else:
            w.call("mirror", trajops.mirror, t, **strict)


@operation("races", among_all=False)
def racing_writer(w):
    """Evaluations of a trajectory whose arrays another thread changes in place."""
    p = w.draw(st.integers(0, 5))
    n = w.draw(st.one_of(st.integers(p, p + 40), st.integers(p, 200_000),
                         st.integers(p, 4_000_000)))
    knots = values.knot_vector(w.draw, n + p + 2, p)
    cpts = values.float_array(w.draw, n + 1)
    state = (knots.tobytes(), cpts.tobytes(), p, n, 0, True)
    small = w.draw(values.recipes())
    swaps = [state, (small.knots, small.cpts, small.p, small.n, 0, True)]
    t = Trajectory1d()
    Trajectory1d._dset_data(t, *state)
    cycle = mutations(w, t, knots, cpts, swaps)
    w.journal.write(f"{w.label(t)}: n = {n}, p = {p}, knots {knots[:3]} .. {knots[-3:]}; "
                    f"a thread repeats {[label for label, _ in cycle]}")
    start, stop = (float(knots[p]), float(knots[n + 1])) if np.isfinite(knots).all() else (0, 1)
    writer = Writer(t, cycle)
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    writer.start()
    try:
        for _ in range(w.draw(st.integers(1, 6))):
            evaluate(w, t, start, stop)
    finally:
        writer.halt.set()
        writer.join()
        sys.setswitchinterval(interval)
