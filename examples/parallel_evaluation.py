"""
Scaling one evaluation out with dask: the peak acceleration over 10^9 samples
=============================================================================

Sending a large time array to workers costs more than evaluating it: one call
evaluates millions of points per millisecond, while pickling and copying the
array takes longer. What pays is work whose data never travels: each task
generates its own slice of the time grid, evaluates it in place and sends back
two numbers (the slice's peak absolute acceleration and its time). The trajectory
itself is a small object that enters the task graph once; on a
dask.distributed cluster, send it once with
``client.scatter(trajectory, broadcast=True)`` and pass the future instead.

10^9 samples as one float64 array would take 8 GB, more than one process
should hold; in tasks of 2^22 samples each task holds 32 MB. Run it as::

    python examples/parallel_evaluation.py [SAMPLES [SAMPLES_IN_ONE_CALL]]
"""

import sys
import time

import numpy as np

import pykesta
from pykesta import Trajectory1d

TASK_SAMPLES = 1 << 22


def profile() -> Trajectory1d:
    """A cubic position profile on [0, 10] s with 50 knot spans: a smooth move out and back."""
    knots = np.concatenate([[0.0] * 4, np.linspace(0.0, 10.0, 50)[1:-1], [10.0] * 4])
    cpts = np.exp(-np.linspace(-3.0, 3.0, len(knots) - 4) ** 2)
    return pykesta.from_arrays(knots, cpts, 3)


def peak_acceleration(trajectory: Trajectory1d, samples: int, first: int,
                      stop: int) -> tuple[float, float]:
    """The peak |acceleration| and its time over samples first..stop-1 of an even grid
    of `samples` times across the domain (the grid is made here, not sent)."""
    start, end = trajectory.start, trajectory.stop
    assert start is not None and end is not None, "a trajectory without data has no domain"
    step = (end - start) / (samples - 1)
    values = start + step * np.arange(first, stop, dtype=np.float64)
    values[-1] = min(values[-1], end)    # rounding must not step past the domain
    trajectory.dceval(values, 2)         # in place: the times become accelerations
    np.abs(values, out=values)
    at = int(np.argmax(values))
    return float(values[at]), min(start + step * (first + at), end)


def in_one_call(trajectory: Trajectory1d, samples: int) -> tuple[float, float]:
    return peak_acceleration(trajectory, samples, 0, samples)


def strongest(peaks: list[tuple[float, float]]) -> tuple[float, float]:
    # The first of equal peaks wins, as np.argmax picks it in one call.
    return max(peaks, key=lambda peak: peak[0])


def with_dask(trajectory: Trajectory1d, samples: int,
              scheduler: str = "threads") -> tuple[float, float]:
    from dask.delayed import delayed

    shared = delayed(trajectory, pure=True)      # one key in the graph, not one per task
    task = delayed(peak_acceleration, pure=True)
    peaks = [task(shared, samples, first, min(first + TASK_SAMPLES, samples))
             for first in range(0, samples, TASK_SAMPLES)]
    peak: tuple[float, float] = delayed(strongest)(peaks).compute(scheduler=scheduler)
    return peak


def show(label: str, samples: int, peak: tuple[float, float], seconds: float) -> None:
    print(f"{label}, {samples:,} samples: peak |a| = {peak[0]!r} at t = {peak[1]!r} s, "
          f"{seconds:.3f} s")


def main(samples: int = 10**9, in_one: int = 10**7) -> None:
    trajectory = profile()
    began = time.perf_counter()
    single = in_one_call(trajectory, in_one)
    show("one call", in_one, single, time.perf_counter() - began)
    try:
        import dask.delayed  # noqa: F401
    except ImportError:
        print("dask is not installed (pip install 'pykesta[dist]'); skipped")
        return
    for count in (in_one, samples):
        began = time.perf_counter()
        peak = with_dask(trajectory, count)
        show("dask", count, peak, time.perf_counter() - began)
    print(f"{samples:,} samples as one float64 array: {samples * 8 / 1e9:.1f} GB")


if __name__ == "__main__":
    main(*map(int, sys.argv[1:]))
