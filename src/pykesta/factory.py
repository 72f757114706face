"""Building trajectories from arrays, with the checks a B-spline needs."""

import operator

import numpy as np

from pykesta.curvetypes import Trajectory1d


def _vector(values, name):
    array = np.array(values, dtype=np.float64, copy=True)
    if array.ndim != 1:
        raise ValueError(f"'{name}' must be one-dimensional, got {array.ndim} dimensions")
    if not np.all(np.isfinite(array)):
        raise ValueError(f"'{name}' must hold finite values only")
    return np.ascontiguousarray(array)


def from_arrays(knots, cpts, p, order=0):
    """Builds a trajectory that owns copies of the given arrays.

    Parameters
    ----------
    knots : array_like
        The knot vector: n + p + 2 finite, non-decreasing values; the domain
        runs from the first to the last one and must not be empty.
    cpts : array_like
        The n + 1 finite control points, with n >= p.
    p : int
        Degree of the B-spline, p >= 0.
    order : int
        Derivation order of the quantity the trajectory describes
        (0 displacement, 1 velocity, 2 acceleration, ...). Default is 0.

    Returns
    -------
    Trajectory1d
        A new trajectory owning its arrays.

    Raises
    ------
    ValueError
        When an argument does not describe a B-spline; the message names the problem.
    """
    p = operator.index(p)
    order = operator.index(order)
    if p < 0:
        raise ValueError(f"'p' must be non-negative, got {p}")
    if order < 0:
        raise ValueError(f"'order' must be non-negative, got {order}")
    knots = _vector(knots, "knots")
    cpts = _vector(cpts, "cpts")
    n = len(cpts) - 1
    if n < p:
        raise ValueError(f"a B-spline of degree {p} needs at least {p + 1} control points, "
                         f"got {len(cpts)}")
    if len(knots) != n + p + 2:
        raise ValueError(f"{len(cpts)} control points of degree {p} need {n + p + 2} knots, "
                         f"got {len(knots)}")
    if np.any(np.diff(knots) < 0):
        raise ValueError("'knots' must be non-decreasing")
    if not knots[0] < knots[-1]:
        raise ValueError("the domain [knots[0], knots[-1]] must not be empty")
    trajectory = Trajectory1d()
    trajectory._dset_data(knots.tobytes(), cpts.tobytes(), p, n, order, True)
    return trajectory
