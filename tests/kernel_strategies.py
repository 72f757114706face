"""Hypothesis strategies and scipy-based helpers shared by the kernel tests.

A spline here is what the kernels take: a knot vector U of n + p + 2 doubles,
n + 1 control points P and the degree p. The strategies produce clamped,
non-decreasing knot vectors on domains of assorted position and length, with
control points of assorted magnitude, so that tolerances relative to the
spline's scale are meaningful.
"""

from dataclasses import dataclass
from math import perm

import numpy as np
from hypothesis import strategies as st
from scipy.interpolate import BSpline, insert

MAX_DEGREE = 5
MAX_CONTROL_POINTS = 40
# Agreement with scipy, relative to the scale of the compared quantity.
RTOL = 1e-10


@dataclass(frozen=True, eq=False)
class Spline:
    """Knots U, control points P and degree p, as the kernels take them."""

    U: np.ndarray
    P: np.ndarray
    p: int

    @property
    def n(self) -> int:
        return len(self.P) - 1

    @property
    def start(self) -> float:
        return float(self.U[0])

    @property
    def stop(self) -> float:
        return float(self.U[-1])

    @property
    def length(self) -> float:
        return self.stop - self.start

    def oracle(self) -> BSpline:
        return BSpline(self.U, self.P, self.p)

    def scale(self) -> float:
        """Bound of the curve's values (convex hull of the control points)."""
        return max(float(np.max(np.abs(self.P))), np.finfo(float).tiny)

    def derivative_scale(self, order: int) -> float:
        """Bound of the order-th derivative's control points."""
        if order > self.p:
            return self.scale()
        return self.scale() * perm(self.p, order) / smallest_span(self.U) ** order

    def interior_knots(self) -> tuple[np.ndarray, np.ndarray]:
        """Distinct values strictly inside the domain and their multiplicities."""
        inside = self.U[(self.U > self.U[0]) & (self.U < self.U[-1])]
        return np.unique(inside, return_counts=True)

    def multiplicity(self, u: float) -> int:
        return int(np.count_nonzero(self.U == u))

    def copy(self) -> "Spline":
        return Spline(self.U.copy(), self.P.copy(), self.p)


def smallest_span(U: np.ndarray) -> float:
    gaps = np.diff(np.unique(U))
    return float(gaps.min()) if len(gaps) else 1.0


def as_spline(bspline: BSpline) -> Spline:
    """scipy's result as a Spline, dropping the padding FITPACK leaves in c."""
    t = np.ascontiguousarray(bspline.t, dtype=float)
    c = np.ascontiguousarray(bspline.c[: len(t) - bspline.k - 1], dtype=float)
    return Spline(t.copy(), c.copy(), int(bspline.k))


def scipy_insert(spline: Spline, u: float, r: int) -> Spline:
    """u inserted r times by scipy (FITPACK); valid for u strictly inside the domain."""
    result = spline.copy()
    if r > 0:
        result = as_spline(insert(u, result.oracle(), r))
    return result


def scipy_refine(spline: Spline, values) -> Spline:
    result = spline.copy()
    for u in values:
        result = scipy_insert(result, float(u), 1)
    return result


def remove_copies(U: np.ndarray, u: float, count: int) -> np.ndarray:
    """U with `count` copies of the value u taken out."""
    where = np.flatnonzero(U == u)[:count]
    return np.delete(U, where)


def union_knots(U1: np.ndarray, U2: np.ndarray) -> np.ndarray:
    """Sorted union where each value keeps the larger of its two multiplicities."""
    values = np.unique(np.concatenate([U1, U2]))
    counts = [max(np.count_nonzero(U1 == v), np.count_nonzero(U2 == v)) for v in values]
    return np.repeat(values, counts)


def domain_points(spline: Spline, fractions=(), dense: int = 101, margin: float = 0.0):
    """Strictly increasing points: every knot value, a uniform grid and the given
    fractions of the domain, and with a margin a few points outside the domain, at
    most margin times the width of the first / last knot span away."""
    a, b = spline.start, spline.stop
    grid = np.linspace(a, b, dense) if dense else np.empty(0)
    chosen = a + np.asarray(fractions, dtype=float) * spline.length
    breaks = np.unique(spline.U)
    outside = np.empty(0)
    if margin > 0 and len(breaks) > 1:
        steps = margin * np.array([0.1, 0.5, 1.0])
        first, last = breaks[1] - breaks[0], breaks[-1] - breaks[-2]
        outside = np.concatenate([a - steps * first, b + steps * last])
    points = np.unique(np.concatenate([spline.U, grid, chosen, outside]))
    return np.ascontiguousarray(points, dtype=float)


def assert_close(actual, expected, scale: float, rtol: float = RTOL):
    np.testing.assert_allclose(actual, expected, rtol=0.0, atol=rtol * scale)


def assert_same_curve(first: Spline, second: Spline, points, scale=None, rtol=RTOL):
    """The two splines, evaluated by scipy, agree at every point."""
    scale = scale if scale is not None else max(first.scale(), second.scale())
    assert_close(second.oracle()(points), first.oracle()(points), scale, rtol)


def _multiplicities(draw, total: int, largest: int) -> list[int]:
    runs = []
    while total > 0:
        run = draw(st.integers(1, min(largest, total)))
        runs.append(run)
        total -= run
    return runs


def _domain(draw, breaks: int) -> tuple[float, float, np.ndarray]:
    """start, stop and `breaks` increasing values between them, no two of them
    closer than a quarter of the widest gap."""
    weights = draw(st.lists(st.floats(0.25, 1.0), min_size=breaks + 1, max_size=breaks + 1))
    start = draw(st.floats(-10.0, 10.0))
    length = draw(st.floats(0.1, 100.0))
    inside = start + length * np.cumsum(weights)[:-1] / np.sum(weights)
    return start, start + length, inside


def _spline(draw, start: float, stop: float, interior: np.ndarray, p: int) -> Spline:
    """Clamped knots around `interior` and control points of a drawn magnitude."""
    U = np.concatenate([[start] * (p + 1), interior, [stop] * (p + 1)])
    count = len(U) - p - 1
    amplitude = 10.0 ** draw(st.integers(-3, 3))
    values = draw(st.lists(st.floats(-1.0, 1.0), min_size=count, max_size=count))
    P = amplitude * np.asarray(values, dtype=float)
    return Spline(np.ascontiguousarray(U, dtype=float), np.ascontiguousarray(P), p)


@st.composite
def clamped_splines(
    draw,
    degrees=range(0, MAX_DEGREE + 1),
    max_control_points: int = MAX_CONTROL_POINTS,
    discontinuous: bool = False,
    min_extra: int = 0,
):
    """Clamped splines: interior multiplicities up to p (up to p + 1 when
    discontinuous), n >= p + min_extra, at most max_control_points points."""
    p = draw(st.sampled_from(list(degrees)))
    count = draw(st.integers(p + 1 + min_extra, max(max_control_points, p + 1 + min_extra)))
    largest = p + 1 if discontinuous else max(p, 1)
    runs = _multiplicities(draw, count - p - 1, largest)
    start, stop, breaks = _domain(draw, len(runs))
    return _spline(draw, start, stop, np.repeat(breaks, runs), p)


# Splines with and without discontinuities (interior knots of multiplicity p + 1).
any_splines = st.booleans().flatmap(lambda jumps: clamped_splines(discontinuous=jumps))


def fractions(min_size: int = 0, max_size: int = 30, low: float = 0.0, high: float = 1.0):
    """Positions in the domain as fractions of its length."""
    return st.lists(st.floats(low, high), min_size=min_size, max_size=max_size)


@st.composite
def inner_value(draw, spline: Spline, allow_knots: bool = True, max_multiplicity=None):
    """A value strictly inside the domain: an interior knot (of multiplicity at most
    max_multiplicity) or a point in the middle 80% of a knot span."""
    values, counts = spline.interior_knots()
    if max_multiplicity is not None:
        values = values[counts <= max_multiplicity]
    if allow_knots and len(values) and draw(st.booleans()):
        return float(draw(st.sampled_from(list(values))))
    breaks = np.unique(spline.U)
    span = draw(st.integers(0, len(breaks) - 2))
    fraction = draw(st.floats(0.1, 0.9))
    return float(breaks[span] + fraction * (breaks[span + 1] - breaks[span]))


@st.composite
def spline_pairs(draw, discontinuous: bool = False):
    """Two clamped splines of one degree on one domain whose interior knots come
    from a common pool of values, so that some of them are exactly equal."""
    p = draw(st.integers(0, MAX_DEGREE))
    largest = p + 1 if discontinuous else max(p, 1)
    pool_size = draw(st.integers(0, min(12, (MAX_CONTROL_POINTS - p - 1) // largest)))
    start, stop, pool = _domain(draw, pool_size)
    splines = []
    for _ in range(2):
        runs = draw(st.lists(st.integers(0, largest), min_size=pool_size, max_size=pool_size))
        splines.append(_spline(draw, start, stop, np.repeat(pool, runs), p))
    return tuple(splines)
