"""Evaluation and knot insertion against scipy.interpolate on the same work in
the same run: the rows of the performance targets, plus two threads evaluating
two arrays against the floor the machine allows.

    PYTHONPATH=<staged package> python benchmarks/bench_evaluation.py

Each row names the scipy route it is measured against: the fastest one a scipy
user has for that work (the (t, c, k) tuple functions where they beat the
BSpline methods). Times are medians of repeated runs after a warm-up
(time.perf_counter). A ratio is the other side's time over ours ("x faster"),
except in the rows whose target reads "ours / theirs", where it is our time
over the other side's and smaller is better. The thread rows compare two arrays
evaluated by two threads at once with the same two evaluated one after the
other; the numpy row among them is the floor: two threads each scaling an array
of the same size in place, memory traffic like ceval's with nothing serial in
it. They need two idle cores, so the load average printed above the table
matters.
"""

import math
import os
import platform
import statistics
import threading
import time

import numpy as np
import scipy
from scipy.interpolate import BSpline, insert, splantider, splder, splev

import pykesta

DEGREE = 3
CONTROL_POINTS = 1_000
POINTS = 1_000_000
LARGE_POINTS = 5_000_000
BANDWIDTH_POINTS = 10_000_000
SMALL_CONTROL_POINTS = 20
SCALAR_CALLS = 2_000


def random_spline(count, rng):
    """Knots and control points of a clamped cubic on [0, 10] with random interior knots."""
    interior = np.sort(rng.uniform(0.0, 10.0, count - DEGREE - 1))
    knots = np.concatenate([np.zeros(DEGREE + 1), interior, np.full(DEGREE + 1, 10.0)])
    return knots, rng.normal(size=count)


def tck(knots, cpts):
    """The tuple form of scipy's FITPACK functions: as many coefficients as knots."""
    return knots, np.concatenate([cpts, np.zeros(DEGREE + 1)]), DEGREE


def median_time(action, repeats, prepare=None, calls=1):
    """Median seconds per call of `action` over `repeats` runs of `calls` calls,
    `prepare` run before each run and outside the timing, after one warm-up run."""
    times = []
    for run in range(repeats + 1):
        if prepare is not None:
            prepare()
        start = time.perf_counter()
        for _ in range(calls):
            action()
        if run > 0:
            times.append((time.perf_counter() - start) / calls)
    return statistics.median(times)


def loop_time(function, values, repeats):
    """Median seconds per call of function(v) in a Python loop over values."""

    def loop():
        for v in values:
            function(v)

    return median_time(loop, repeats) / len(values)


class Row:
    """One line of the table: the work, our time, the other side's time and the target."""

    def __init__(self, work, ours, theirs, target, faster=True, basis=None):
        # faster: the target is a minimum of theirs / ours; otherwise a maximum of ours / theirs.
        # basis: how the target was reached, when it derives from another row.
        self.work, self.ours, self.theirs, self.target, self.faster, self.basis = (
            work, ours, theirs, target, faster, basis)

    @property
    def ratio(self):
        return self.theirs / self.ours if self.faster else self.ours / self.theirs

    @property
    def verdict(self):
        if self.target is None:
            return "-"
        met = self.ratio >= self.target if self.faster else self.ratio <= self.target
        return "pass" if met else "falls short"

    @property
    def target_text(self):
        if self.target is None:
            return "(the floor)"
        basis = f" ({self.basis})" if self.basis else ""
        if self.faster:
            return f">= {self.target:.3g}x faster{basis}"
        return f"ours / theirs <= {self.target:.3g}{basis}"


def format_seconds(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def nearly_sorted(x, swaps, rng):
    """x with `swaps` random pairs of its points exchanged."""
    y = x.copy()
    first, second = rng.integers(0, len(x), (2, swaps))
    y[first], y[second] = x[second], x[first]
    return y


def array_rows(trajectory, spline, knots, cpts, rng):
    x = np.linspace(trajectory.start, trajectory.stop, POINTS)
    shuffled = rng.permutation(x)
    swapped = nearly_sorted(x, 10, rng)
    middle = len(knots) // 2
    clustered = rng.uniform(knots[middle], knots[middle + 1], POINTS)
    work = np.empty_like(x)
    fitpack = tck(knots, cpts)

    def refill():
        np.copyto(work, x)

    return [
        Row("call t(x), 1M sorted points vs BSpline(x)",
            median_time(lambda: trajectory(x), 9), median_time(lambda: spline(x), 7), 10),
        Row("ceval(x), 1M sorted points in place vs BSpline(x)",
            median_time(lambda: trajectory.ceval(work), 15, refill),
            median_time(lambda: spline(x), 7), 15),
        Row("call t(x), 1M shuffled points vs BSpline(x)",
            median_time(lambda: trajectory(shuffled), 9),
            median_time(lambda: spline(shuffled), 5), 5),
        Row("call t(x), 1M sorted points with 10 swaps vs BSpline(x)",
            median_time(lambda: trajectory(swapped), 9),
            median_time(lambda: spline(swapped), 5), 1),
        Row("call t(x), 1M unsorted points in one span vs BSpline(x)",
            median_time(lambda: trajectory(clustered), 9),
            median_time(lambda: spline(clustered), 5), 1),
        Row("dceval(x, 2), 1M sorted points vs splev(x, tck, der=2)",
            median_time(lambda: trajectory.dceval(work, 2), 15, refill),
            median_time(lambda: splev(x, fitpack, der=2), 7), 10),
    ]


def scalar_rows(trajectory, spline, rng):
    values = rng.uniform(trajectory.start, trajectory.stop, SCALAR_CALLS).tolist()
    peval = loop_time(trajectory.peval, values, 15)
    return [
        Row("peval(x) per call in a loop vs BSpline(x)", peval,
            loop_time(spline, values, 5), 15),
        Row("peval(x) per call in a loop vs math.fabs(x)", peval,
            loop_time(math.fabs, values, 15), 3, faster=False),
    ]


def first_span_middle(knots):
    """A value inside the first interior span, where insertion changes the most."""
    return float((knots[DEGREE + 1] + knots[DEGREE + 2]) / 2)


def small_rows(rng):
    knots, cpts = random_spline(SMALL_CONTROL_POINTS, rng)
    # A velocity (order 1), so that it has an antiderivative.
    trajectory = pykesta.from_arrays(knots, cpts, DEGREE, order=1)
    fitpack = tck(knots, cpts)
    u = first_span_middle(knots)
    calls = 2_000
    return [
        Row("derivative(), 20 control points vs splder(tck)",
            median_time(trajectory.derivative, 9, calls=calls),
            median_time(lambda: splder(fitpack), 9, calls=calls // 10), 10),
        Row("antiderivative(), 20 control points vs splantider(tck)",
            median_time(trajectory.antiderivative, 9, calls=calls),
            median_time(lambda: splantider(fitpack), 9, calls=calls // 10), 10),
        Row("knotins(u, 1), 20 control points vs insert(u, tck, 1)",
            median_time(lambda: trajectory.knotins(u, 1), 9, calls=calls),
            median_time(lambda: insert(u, fitpack, 1), 9, calls=calls // 10), 10),
    ]


def insertion_rows(trajectory, spline, knots, cpts):
    fitpack = tck(knots, cpts)
    u = first_span_middle(knots)
    calls = 2_000
    ours = median_time(lambda: trajectory.knotins(u, 1), 9, calls=calls)
    return [
        Row("knotins(u, 1), 1000 control points vs insert(u, tck, 1)", ours,
            median_time(lambda: insert(u, fitpack, 1), 9, calls=calls // 10), 2),
        Row("knotins(u, 1), 1000 control points vs BSpline.insert_knot(u)", ours,
            median_time(lambda: spline.insert_knot(u), 9, calls=calls // 10), 2),
        Row("knotins(u, 1), 1000 control points vs copy()", ours,
            median_time(trajectory.copy, 9, calls=calls), 2, faster=False),
    ]


def bandwidth_row(trajectory):
    x = np.linspace(trajectory.start, trajectory.stop, BANDWIDTH_POINTS)
    work = np.empty_like(x)

    def refill():
        np.copyto(work, x)

    ours = median_time(lambda: trajectory.ceval(work), 9, refill)
    numpy = median_time(lambda: np.multiply(work, 2.0, out=work), 9, refill)
    return Row("ceval(x), 10M sorted points vs np.multiply(x, 2.0, out=x)", ours, numpy, 4,
               faster=False)


def thread_row(label, evaluate, points, trajectory, floor=None):
    """Two arrays of `points` evaluated by two threads at once against one after
    the other, both with threads that already exist (no start-up in the timing).
    Without a floor row the row is the floor; with one, the target is the floor's
    ratio plus 0.05."""
    x = np.linspace(trajectory.start, trajectory.stop, points)
    first, second = np.empty_like(x), np.empty_like(x)
    start_work, work_done = threading.Barrier(2), threading.Barrier(2)
    stop = False

    def helper():
        while True:
            start_work.wait()
            if stop:
                return
            evaluate(second)
            work_done.wait()

    def refill():
        np.copyto(first, x)
        np.copyto(second, x)

    def together():
        start_work.wait()
        evaluate(first)
        work_done.wait()

    worker = threading.Thread(target=helper, daemon=True)
    worker.start()
    try:
        parallel = median_time(together, 25, refill)
        sequential = median_time(lambda: (evaluate(first), evaluate(second)), 25, refill)
    finally:
        stop = True
        start_work.wait()
        worker.join()
    if floor is None:
        return Row(label, parallel, sequential, None, faster=False)
    return Row(label, parallel, sequential, floor.ratio + 0.05, faster=False,
               basis="floor + 0.05")


def thread_rows(trajectory):
    ceval, dceval = trajectory.ceval, lambda xp: trajectory.dceval(xp, 2)
    rows = [Row(r.work, r.ours, r.theirs, 0.65, faster=False) for r in (
        thread_row("2 threads x ceval(x), 1M points each vs one after the other", ceval,
                   POINTS, trajectory),
        thread_row("2 threads x dceval(x, 2), 1M points each vs one after the other", dceval,
                   POINTS, trajectory))]
    # At 5M points the work outlasts the hand-over between the threads by far.
    floor = thread_row("2 threads x np.multiply(x, 2.0, out=x), 5M points each vs one after "
                       "the other", lambda xp: np.multiply(xp, 2.0, out=xp), LARGE_POINTS,
                       trajectory)
    return rows + [
        floor,
        thread_row("2 threads x ceval(x), 5M points each vs one after the other", ceval,
                   LARGE_POINTS, trajectory, floor),
        thread_row("2 threads x dceval(x, 2), 5M points each vs one after the other", dceval,
                   LARGE_POINTS, trajectory, floor),
    ]


def machine():
    """The processor's name (from /proc/cpuinfo where there is one) and the core count."""
    name = platform.machine()
    try:
        with open("/proc/cpuinfo") as info:
            models = [line for line in info if line.startswith("model name")]
        if models:
            name = models[0].split(":", 1)[1].strip()
    except OSError:
        pass
    return f"{name}, {os.cpu_count()} cores"


def print_table(rows):
    headers = ("work", "ours", "theirs", "ratio", "target", "result")
    cells = [(r.work, format_seconds(r.ours), format_seconds(r.theirs), f"{r.ratio:.3g}",
              r.target_text, r.verdict) for r in rows]
    widths = [max(len(h), *(len(c[i]) for c in cells)) for i, h in enumerate(headers)]
    line = "| " + " | ".join(h.ljust(w) for h, w in zip(headers, widths)) + " |"
    print(line)
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for c in cells:
        print("| " + " | ".join(v.ljust(w) for v, w in zip(c, widths)) + " |")


def main():
    rng = np.random.default_rng(8)
    knots, cpts = random_spline(CONTROL_POINTS, rng)
    trajectory = pykesta.from_arrays(knots, cpts, DEGREE)
    spline = BSpline(knots, cpts, DEGREE)
    load_before = os.getloadavg()[0]
    rows = (array_rows(trajectory, spline, knots, cpts, rng)
            + scalar_rows(trajectory, spline, rng) + small_rows(rng)
            + insertion_rows(trajectory, spline, knots, cpts) + [bandwidth_row(trajectory)]
            + thread_rows(trajectory))
    print(f"pykesta {pykesta.__version__}, scipy {scipy.__version__}, numpy {np.__version__}; "
          f"cubic B-splines; {machine()}; "
          f"load average {load_before:.2f} before, {os.getloadavg()[0]:.2f} after")
    print_table(rows)


if __name__ == "__main__":
    main()
