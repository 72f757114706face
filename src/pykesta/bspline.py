"""Conversion from and to ``scipy.interpolate.BSpline`` (scipy is imported only when needed)."""

from __future__ import annotations

from typing import TYPE_CHECKING, SupportsIndex

import numpy as np

from pykesta.curvetypes import Trajectory1d
from pykesta.factory import from_arrays

if TYPE_CHECKING:
    from scipy.interpolate import BSpline


def _clamped(knots: np.ndarray, p: int) -> bool:
    # The domain of a trajectory runs from the first to the last knot; scipy's
    # runs from t[k] to t[-k-1]. They agree only on clamped knot vectors.
    return bool(knots[0] == knots[p] and knots[-1] == knots[-p - 1])


def from_bspline(b: BSpline, order: SupportsIndex = 0) -> Trajectory1d:
    """Builds a trajectory with the knots, coefficients and degree of a scipy B-spline.

    Parameters
    ----------
    b : scipy.interpolate.BSpline
        A B-spline with one-dimensional coefficients over a clamped knot vector
        (the first k + 1 knots equal, and the last k + 1). Coefficients beyond
        the len(t) - k - 1 the knots need are ignored, as scipy ignores them.
    order : int
        Derivation order of the quantity the trajectory describes. Default is 0.

    Returns
    -------
    Trajectory1d
        A new trajectory owning copies of the arrays.

    Raises
    ------
    ValueError
        When the coefficients are not one-dimensional ("a trajectory holds
        one-dimensional coefficients, got shape (2, 2)") or the knots are not
        clamped ("a trajectory needs clamped knots ...").

    See Also
    --------
    to_bspline : the conversion the other way.
    pykesta.from_arrays : builds a trajectory from plain arrays.

    Examples
    --------
    The parabola x**2 on [0, 2]:

    >>> import numpy as np
    >>> from scipy.interpolate import BSpline
    >>> from pykesta import from_bspline
    >>> b = BSpline(np.array([0.0, 0, 0, 1, 2, 2, 2]), np.array([0.0, 0, 2, 4]), 2)
    >>> traj = from_bspline(b)
    >>> print(traj)
    Trajectory1d(start = 0.0, stop = 2.0, p = 2, n = 3, order = 0)
    >>> print(float(traj(1.5)))
    2.25
    """
    knots = np.asarray(b.t, dtype=np.float64)
    cpts = np.asarray(b.c, dtype=np.float64)
    k = int(b.k)
    if cpts.ndim != 1:
        raise ValueError(f"a trajectory holds one-dimensional coefficients, got shape {cpts.shape}")
    if knots.ndim != 1 or not 0 <= k < len(knots) // 2:
        raise ValueError(f"{len(knots)} knots cannot carry a B-spline of degree {k}")
    if not _clamped(knots, k):
        raise ValueError("a trajectory needs clamped knots (the first k + 1 equal, and the last "
                         "k + 1): the B-spline is defined on [t[k], t[-k-1]] only")
    return from_arrays(knots, cpts[:len(knots) - k - 1], k, order)


def to_bspline(traj: Trajectory1d) -> BSpline:
    """Returns a ``scipy.interpolate.BSpline`` with the trajectory's knots, control points
    and degree, which evaluates to NaN outside the domain (``extrapolate=False``).

    Parameters
    ----------
    traj : Trajectory1d
        A trajectory with clamped knots; its derivation order is not carried over.

    Returns
    -------
    scipy.interpolate.BSpline
        A B-spline owning copies of the arrays.

    Raises
    ------
    ValueError
        When the trajectory has no data ("the trajectory holds no data") or its
        knots are not clamped.

    See Also
    --------
    from_bspline : the conversion the other way.

    Examples
    --------
    >>> import numpy as np
    >>> from pykesta import from_arrays, to_bspline
    >>> b = to_bspline(from_arrays([0, 0, 0, 1, 2, 2, 2], [0, 0, 2, 4], 2))
    >>> print(b(np.array([0.5, 1.5, 3.0])))
    [0.25 2.25  nan]
    >>> print(b.derivative()(1.5))
    3.0
    """
    from scipy.interpolate import BSpline

    knots = traj.get_knotvector_asarray()
    cpts = traj.get_cpts_asarray()
    if knots is None or cpts is None:
        raise ValueError("the trajectory holds no data")
    if not _clamped(knots, traj.p):
        raise ValueError("only a trajectory with clamped knots (the first p + 1 equal, and the "
                         "last p + 1) has the same domain as a scipy B-spline")
    return BSpline(knots.copy(), cpts.copy(), traj.p, extrapolate=False)
