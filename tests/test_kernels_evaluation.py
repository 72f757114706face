"""Evaluation kernels (values, derivatives, Greville abscissae, distinct knots)
compared with scipy.interpolate.BSpline."""

import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kernel_strategies import (
    MAX_DEGREE,
    Spline,
    any_splines,
    assert_close,
    clamped_splines,
    domain_points,
    fractions,
)
from pykesta import knotmath


def derivative_rows(spline: Spline, points, orders):
    """scipy's derivatives, one row per order; orders above p are zero."""
    oracle = spline.oracle()
    return np.array([oracle(points, nu=k) if k <= spline.p else 0 * points for k in orders])


@settings(max_examples=60, deadline=None)
@given(any_splines, fractions())
def test_splpev_matches_scipy(spline, chosen):
    points = domain_points(spline, chosen, dense=41, margin=0.5)
    values = [knotmath.splpev(float(x), spline.U, spline.P, spline.p) for x in points]
    assert_close(values, spline.oracle()(points), spline.scale())


@settings(max_examples=80, deadline=None)
@given(any_splines, fractions(), st.sampled_from([0, 3, 50, 1000]))
def test_splcev_matches_scipy(spline, chosen, dense):
    # Few points skip spans; many points per span exercise the per-span polynomial.
    points = domain_points(spline, chosen, dense=dense, margin=0.5)
    values = points.copy()
    assert knotmath.splcev(values, spline.U, spline.P, spline.p) is None
    assert_close(values, spline.oracle()(points), spline.scale())


@settings(max_examples=30, deadline=None)
@given(
    clamped_splines(degrees=range(MAX_DEGREE + 1, MAX_DEGREE + 5), max_control_points=20),
    st.sampled_from([5, 300]),
)
def test_degrees_beyond_the_specialised_ones_match_scipy(spline, dense):
    points = domain_points(spline, dense=dense, margin=0.5)
    values = points.copy()
    knotmath.splcev(values, spline.U, spline.P, spline.p)
    assert_close(values, spline.oracle()(points), spline.scale())
    orders = range(spline.p + 2)
    D = np.full((len(orders), len(points)), np.nan)
    knotmath.dsplcev(points, spline.U, spline.P, spline.p, 0, spline.p + 1, D)
    expected = derivative_rows(spline, points, orders)
    for k in orders:
        assert_close(D[k], expected[k], spline.derivative_scale(k))


@settings(max_examples=40, deadline=None)
@given(any_splines, st.floats(0.0, 1.0))
def test_splcev_single_point_equals_splpev(spline, fraction):
    x = spline.start + fraction * spline.length
    values = np.array([x])
    knotmath.splcev(values, spline.U, spline.P, spline.p)
    single = knotmath.splpev(x, spline.U, spline.P, spline.p)
    assert_close(values, [single], spline.scale(), rtol=1e-12)


@settings(max_examples=60, deadline=None)
@given(any_splines, fractions(max_size=10), st.integers(0, MAX_DEGREE + 2), st.integers(0, 2))
def test_dsplpev_matches_scipy(spline, chosen, nu, spare):
    points = domain_points(spline, chosen, dense=11, margin=0.5)
    expected = derivative_rows(spline, points, range(nu + 1))
    computed = np.empty_like(expected)
    for j, x in enumerate(points):
        D = np.full(nu + 1 + spare, np.nan)
        assert knotmath.dsplpev(float(x), spline.U, spline.P, spline.p, nu, D) is None
        computed[:, j] = D[: nu + 1]
    for k in range(nu + 1):
        assert_close(computed[k], expected[k], spline.derivative_scale(k))


@settings(max_examples=80, deadline=None)
@given(
    any_splines,
    fractions(),
    st.sampled_from([0, 7, 400]),
    st.integers(0, MAX_DEGREE + 1),
    st.integers(0, MAX_DEGREE + 1),
    st.integers(0, 2),
    st.integers(0, 3),
)
def test_dsplcev_matches_scipy(spline, chosen, dense, d1, extent, spare_rows, spare_cols):
    d2 = d1 + extent
    points = domain_points(spline, chosen, dense=dense, margin=0.5)
    m = len(points)
    D = np.full((d2 - d1 + 1 + spare_rows, m + spare_cols), np.nan)
    assert knotmath.dsplcev(points, spline.U, spline.P, spline.p, d1, d2, D) is None
    expected = derivative_rows(spline, points, range(d1, d2 + 1))
    for row, order in enumerate(range(d1, d2 + 1)):
        assert_close(D[row, :m], expected[row], spline.derivative_scale(order))


@settings(max_examples=40, deadline=None)
@given(clamped_splines(), st.integers(0, MAX_DEGREE))
def test_dsplcev_single_order_equals_dsplpev(spline, nu):
    points = domain_points(spline, dense=23)
    D = np.full((1, len(points)), np.nan)
    knotmath.dsplcev(points, spline.U, spline.P, spline.p, nu, nu, D)
    singles = []
    for x in points:
        single = np.full(nu + 1, np.nan)
        knotmath.dsplpev(float(x), spline.U, spline.P, spline.p, nu, single)
        singles.append(single[nu])
    assert_close(D[0], singles, spline.derivative_scale(nu), rtol=1e-12)


def test_values_at_the_ends_are_the_end_control_points():
    spline = Spline(np.array([0, 0, 0, 0.5, 1, 1, 1.0]), np.array([3.0, -1.0, 2.0, 7.0]), 2)
    assert knotmath.splpev(0.0, spline.U, spline.P, 2) == pytest.approx(3.0, abs=1e-14)
    assert knotmath.splpev(1.0, spline.U, spline.P, 2) == pytest.approx(7.0, abs=1e-14)
    X = np.array([0.0, 1.0])
    knotmath.splcev(X, spline.U, spline.P, 2)
    np.testing.assert_allclose(X, [3.0, 7.0], atol=1e-14)


def test_discontinuity_takes_the_right_piece_and_the_end_its_left_limit():
    # Degree 1 with a jump at 1: 0 -> 1 on [0, 1), 5 -> 6 on [1, 2].
    U = np.array([0, 0, 1, 1, 2, 2.0])
    P = np.array([0, 1, 5, 6.0])
    assert knotmath.splpev(1.0, U, P, 1) == pytest.approx(5.0)
    assert knotmath.splpev(2.0, U, P, 1) == pytest.approx(6.0)
    X = np.array([0.5, 1.0, 1.5, 2.0])
    knotmath.splcev(X, U, P, 1)
    np.testing.assert_allclose(X, [0.5, 5.0, 5.5, 6.0], atol=1e-14)


@pytest.mark.parametrize("p", range(MAX_DEGREE + 1))
def test_nan_point_gives_nan(p):
    U = np.concatenate([np.zeros(p + 1), [0.5], np.ones(p + 1)])
    P = np.linspace(-1.0, 2.0, p + 2)
    assert math.isnan(knotmath.splpev(math.nan, U, P, p))
    D = np.zeros(p + 1)
    knotmath.dsplpev(math.nan, U, P, p, p, D)
    assert np.isnan(D).all()


@pytest.mark.parametrize("p", range(MAX_DEGREE + 1))
@pytest.mark.parametrize("extra", [0, 1, 4])
def test_zero_length_domain_gives_the_common_control_point(p, extra):
    count = p + 1 + extra
    U = np.full(count + p + 1, 4.0)
    P = np.full(count, -2.5)
    points = np.array([3.0, 4.0, 5.0])
    for x in points:
        assert knotmath.splpev(x, U, P, p) == pytest.approx(-2.5, rel=1e-14)
    values = points.copy()
    knotmath.splcev(values, U, P, p)
    np.testing.assert_allclose(values, -2.5, rtol=1e-14)
    D = np.full((1, 3), np.nan)
    knotmath.dsplcev(points, U, P, p, 0, 0, D)
    np.testing.assert_allclose(D[0], -2.5, rtol=1e-14)


def test_averagcpts_example():
    X = np.full(4, np.nan)
    assert knotmath.averagcpts(np.array([0, 0, 0, 0.5, 1, 1, 1.0]), 2, X) is None
    np.testing.assert_allclose(X, [0, 0.25, 0.75, 1], atol=1e-15)


def test_averagcpts_degree_zero_takes_midpoints():
    X = np.full(3, np.nan)
    knotmath.averagcpts(np.array([0, 1, 3, 4.0]), 0, X)
    np.testing.assert_allclose(X, [0.5, 2.0, 3.5], atol=1e-15)


@settings(max_examples=60, deadline=None)
@given(any_splines)
def test_averagcpts_are_greville_abscissae(spline):
    U, p = spline.U, spline.p
    X = np.full(len(U) - p - 1, np.nan)
    knotmath.averagcpts(U, p, X)
    if p == 0:
        expected = (U[:-1] + U[1:]) / 2
    else:
        expected = np.array([U[i + 1 : i + p + 1].mean() for i in range(len(X))])
    scale = max(abs(spline.start), abs(spline.stop))
    assert_close(X, expected, scale, rtol=1e-14)
    if p >= 1:
        # Linear precision: with the abscissae as control points the curve is x itself.
        points = domain_points(spline, dense=31)
        assert_close(Spline(U, X, p).oracle()(points), points, scale, rtol=1e-12)


@pytest.mark.parametrize(
    "U, p, expected",
    [
        ([0, 0, 0, 0, 1, 2, 2, 2, 2], 3, 1),
        ([0, 0, 0, 0.5, 1, 1, 1], 2, 1),
        ([0, 0, 1, 1, 2, 2], 1, 1),
        ([0, 0, 0, 1, 1, 1], 2, 0),
        ([0, 1, 2, 3, 4], 0, 3),
        ([-1, -1, 0, 0.5, 0.5, 0.75, 3, 3], 1, 3),
    ],
)
def test_distintknots_examples(U, p, expected):
    assert knotmath.distintknots(np.array(U, dtype=float), p) == expected


@settings(max_examples=60, deadline=None)
@given(any_splines)
def test_distintknots_counts_distinct_interior_values(spline):
    values, _ = spline.interior_knots()
    assert knotmath.distintknots(spline.U, spline.p) == len(values)
