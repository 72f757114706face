"""Evaluating one trajectory over a large time array on several processes.

A trajectory pickles (its knots and control points travel as bytes), so a
process pool can evaluate chunks of a time array in parallel; with dask the
same work runs over a chunked array, on one machine or a cluster.
"""

from concurrent.futures import ProcessPoolExecutor

import numpy as np

import pykesta

POINTS = 2_000_000
CHUNKS = 8


def profile():
    knots = np.concatenate([[0.0] * 4, np.linspace(0.0, 10.0, 50)[1:-1], [10.0] * 4])
    cpts = np.sin(np.linspace(0.0, 6.0, len(knots) - 4))
    return pykesta.from_arrays(knots, cpts, 3)


def evaluate(trajectory, times):
    return trajectory(times)


def with_process_pool(trajectory, times, workers=2):
    chunks = np.array_split(times, CHUNKS)
    with ProcessPoolExecutor(max_workers=workers) as pool:
        parts = pool.map(evaluate, [trajectory] * len(chunks), chunks)
        return np.concatenate(list(parts))


def with_dask(trajectory, times, scheduler="threads"):
    import dask.array as da

    chunked = da.from_array(times, chunks=len(times) // CHUNKS)
    return chunked.map_blocks(trajectory, dtype=np.float64).compute(scheduler=scheduler)


def main():
    trajectory = profile()
    times = np.linspace(trajectory.start, trajectory.stop, POINTS)
    expected = trajectory(times)
    pooled = with_process_pool(trajectory, times)
    print(f"process pool: {len(pooled)} values, equal to one process: "
          f"{np.array_equal(pooled, expected)}")
    try:
        chunked = with_dask(trajectory, times)
    except ImportError:
        print("dask is not installed (pip install 'pykesta[dist]'); skipped")
    else:
        print(f"dask: {len(chunked)} values, equal to one process: "
              f"{np.array_equal(chunked, expected)}")


if __name__ == "__main__":
    main()
