"""Building trajectories from arrays, with the checks a B-spline needs."""

import operator
from typing import SupportsIndex

import numpy as np
import numpy.typing as npt

from pykesta.curvetypes import Trajectory1d


def _vector(values: npt.ArrayLike, name: str) -> npt.NDArray[np.float64]:
    array = np.array(values, dtype=np.float64, copy=True)
    if array.ndim != 1:
        raise ValueError(f"'{name}' must be one-dimensional, got {array.ndim} dimensions")
    if not np.all(np.isfinite(array)):
        raise ValueError(f"'{name}' must hold finite values only")
    return np.ascontiguousarray(array)


def from_arrays(knots: npt.ArrayLike, cpts: npt.ArrayLike, p: SupportsIndex,
                order: SupportsIndex = 0) -> Trajectory1d:
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
        When an argument does not describe a B-spline; the message names the
        problem, for example "'knots' must be non-decreasing", "2 control points
        of degree 1 need 4 knots, got 5" or "'cpts' must hold finite values only".
    TypeError
        When p or order is not an integer ("'float' object cannot be interpreted
        as an integer").

    See Also
    --------
    pykesta.from_bspline : builds a trajectory from a scipy B-spline.
    pykesta.curvetypes.Trajectory1d.loadxml : loads a saved trajectory.

    Examples
    --------
    A velocity ramp from 0 to 2 over [0, 1], as a B-spline of degree 1:

    >>> from pykesta import from_arrays
    >>> v = from_arrays([0, 0, 1, 1], [0, 2], 1, order=1)
    >>> print(v.p, v.n, v.order, v.start, v.stop)
    1 1 1 0.0 1.0
    >>> print(float(v(0.25)))
    0.5
    >>> from_arrays([0, 1, 0.5, 1], [0, 2], 1)
    Traceback (most recent call last):
        ...
    ValueError: 'knots' must be non-decreasing
    """
    degree = operator.index(p)
    derivation = operator.index(order)
    if degree < 0:
        raise ValueError(f"'p' must be non-negative, got {degree}")
    if derivation < 0:
        raise ValueError(f"'order' must be non-negative, got {derivation}")
    knot_vector = _vector(knots, "knots")
    points = _vector(cpts, "cpts")
    n = len(points) - 1
    if n < degree:
        raise ValueError(f"a B-spline of degree {degree} needs at least {degree + 1} "
                         f"control points, got {len(points)}")
    if len(knot_vector) != n + degree + 2:
        raise ValueError(f"{len(points)} control points of degree {degree} need "
                         f"{n + degree + 2} knots, got {len(knot_vector)}")
    if np.any(np.diff(knot_vector) < 0):
        raise ValueError("'knots' must be non-decreasing")
    if not knot_vector[0] < knot_vector[-1]:
        raise ValueError("the domain [knots[0], knots[-1]] must not be empty")
    trajectory = Trajectory1d()
    trajectory._dset_data(knot_vector.tobytes(), points.tobytes(), degree, n, derivation, True)
    return trajectory
