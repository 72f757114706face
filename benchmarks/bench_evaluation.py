"""Evaluation against scipy.interpolate on the same work in the same run: the
rows of the performance targets, plus two threads evaluating two arrays.

    PYTHONPATH=<staged package> python benchmarks/bench_evaluation.py

Times are medians of repeated runs after a warm-up (time.perf_counter). A
ratio is the other side's time over ours ("x faster"), except in the rows
whose target reads "ours / theirs", where it is our time over the other
side's and smaller is better. The thread rows compare two arrays evaluated by
two threads at once with the same two evaluated one after the other; they need
two idle cores, so the load average printed above the table matters.
"""

import math
import os
import platform
import statistics
import threading
import time

import numpy as np
import scipy
from scipy.interpolate import BSpline, insert

import pykesta

DEGREE = 3
CONTROL_POINTS = 1_000
POINTS = 1_000_000
BANDWIDTH_POINTS = 10_000_000
SMALL_CONTROL_POINTS = 20
SCALAR_CALLS = 2_000


def random_spline(count, rng):
    """Knots and control points of a clamped cubic on [0, 10] with random interior knots."""
    interior = np.sort(rng.uniform(0.0, 10.0, count - DEGREE - 1))
    knots = np.concatenate([np.zeros(DEGREE + 1), interior, np.full(DEGREE + 1, 10.0)])
    return knots, rng.normal(size=count)


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

    def __init__(self, work, ours, theirs, target, faster=True):
        # faster: the target is a minimum of theirs / ours; otherwise a maximum of ours / theirs.
        self.work, self.ours, self.theirs, self.target, self.faster = (
            work, ours, theirs, target, faster)

    @property
    def ratio(self):
        return self.theirs / self.ours if self.faster else self.ours / self.theirs

    @property
    def verdict(self):
        met = self.ratio >= self.target if self.faster else self.ratio <= self.target
        return "pass" if met else "falls short"

    @property
    def target_text(self):
        if self.faster:
            return f">= {self.target:g}x faster"
        return f"ours / theirs <= {self.target:g}"


def format_seconds(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def array_rows(trajectory, spline, rng):
    x = np.linspace(trajectory.start, trajectory.stop, POINTS)
    shuffled = rng.uniform(trajectory.start, trajectory.stop, POINTS)
    work = np.empty_like(x)

    def refill():
        np.copyto(work, x)

    return [
        Row("call t(x), 1M sorted points vs BSpline(x)",
            median_time(lambda: trajectory(x), 9), median_time(lambda: spline(x), 7), 10),
        Row("ceval(x), 1M sorted points in place vs BSpline(x)",
            median_time(lambda: trajectory.ceval(work), 15, refill),
            median_time(lambda: spline(x), 7), 15),
        Row("call t(x), 1M unsorted points vs BSpline(x)",
            median_time(lambda: trajectory(shuffled), 7),
            median_time(lambda: spline(shuffled), 7), 1),
        Row("dceval(x, 2), 1M sorted points vs BSpline(x, nu=2)",
            median_time(lambda: trajectory.dceval(work, 2), 15, refill),
            median_time(lambda: spline(x, nu=2), 7), 10),
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


def small_rows(rng):
    knots, cpts = random_spline(SMALL_CONTROL_POINTS, rng)
    # A velocity (order 1), so that it has an antiderivative.
    trajectory = pykesta.from_arrays(knots, cpts, DEGREE, order=1)
    spline = BSpline(knots, cpts, DEGREE)
    u = float(np.mean(knots[DEGREE + 1 : DEGREE + 3]))  # inside the first interior span
    calls = 2_000
    return [
        Row("derivative(), 20 control points vs BSpline.derivative()",
            median_time(trajectory.derivative, 9, calls=calls),
            median_time(spline.derivative, 9, calls=calls // 10), 10),
        Row("antiderivative(), 20 control points vs BSpline.antiderivative()",
            median_time(trajectory.antiderivative, 9, calls=calls),
            median_time(spline.antiderivative, 9, calls=calls // 10), 10),
        Row("knotins(u, 1), 20 control points vs scipy.interpolate.insert",
            median_time(lambda: trajectory.knotins(u, 1), 9, calls=calls),
            median_time(lambda: insert(u, spline, 1), 9, calls=calls // 10), 10),
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


def thread_row(label, evaluate, trajectory):
    """Two arrays of POINTS evaluated by two threads at once against one after
    the other, both with threads that already exist (no start-up in the timing)."""
    x = np.linspace(trajectory.start, trajectory.stop, POINTS)
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
    return Row(label, parallel, sequential, 0.65, faster=False)


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
    rows = (array_rows(trajectory, spline, rng) + scalar_rows(trajectory, spline, rng)
            + small_rows(rng) + [bandwidth_row(trajectory)])
    rows.append(thread_row("2 threads x ceval(x), 1M points each vs one after the other",
                           trajectory.ceval, trajectory))
    rows.append(thread_row("2 threads x dceval(x, 2), 1M points each vs one after the other",
                           lambda xp: trajectory.dceval(xp, 2), trajectory))
    print(f"pykesta {pykesta.__version__}, scipy {scipy.__version__}, numpy {np.__version__}; "
          f"cubic B-splines; {machine()}; "
          f"load average {load_before:.2f} before, {os.getloadavg()[0]:.2f} after")
    print_table(rows)


if __name__ == "__main__":
    main()
