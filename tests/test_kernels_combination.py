"""Kernels that combine or cut splines: knot union, sum, join and slice."""

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kernel_strategies import (
    MAX_DEGREE,
    RTOL,
    Spline,
    any_splines,
    assert_close,
    assert_same_curve,
    clamped_splines,
    domain_points,
    inner_value,
    scipy_insert,
    spline_pairs,
    union_knots,
)
from pykesta import knotmath

any_pairs = st.booleans().flatmap(lambda jumps: spline_pairs(discontinuous=jumps))


def scipy_refine_to(spline: Spline, knots: np.ndarray) -> Spline:
    """spline written on `knots`, a clamped superset of its own knot vector."""
    result = spline.copy()
    values, counts = np.unique(knots, return_counts=True)
    for value, count in zip(values[1:-1], counts[1:-1]):
        result = scipy_insert(result, float(value), int(count) - spline.multiplicity(value))
    return result


@settings(max_examples=80, deadline=None)
@given(any_pairs)
def test_knotuniondim_counts_the_union(pair):
    first, second = pair
    union = union_knots(first.U, second.U)
    m, n = knotmath.knotuniondim(first.U, second.U, first.p)
    assert (m, n) == (len(union) - 1, len(union) - first.p - 2)


@pytest.mark.parametrize(
    "U1, U2, p, expected",
    [
        ([0, 0, 1, 1], [0, 0, 1, 1], 1, (3, 1)),
        ([0, 0, 0.5, 1, 1], [0, 0, 0.25, 0.5, 0.5, 1, 1], 1, (6, 4)),
        ([0, 0, 0, 2, 2, 3, 3, 3], [0, 0, 0, 1, 2, 3, 3, 3], 2, (8, 5)),
    ],
)
def test_knotuniondim_examples(U1, U2, p, expected):
    U1, U2 = np.array(U1, dtype=float), np.array(U2, dtype=float)
    assert knotmath.knotuniondim(U1, U2, p) == expected


def kernel_sum(first: Spline, second: Spline) -> Spline:
    m, n = knotmath.knotuniondim(first.U, second.U, first.p)
    U = np.full(m + 1, np.nan)
    P = np.full(n + 1, np.nan)
    assert knotmath.splcsum(first.U, first.P, second.U, second.P, first.p, m, U, n, P) is None
    return Spline(U, P, first.p)


@settings(max_examples=80, deadline=None)
@given(any_pairs)
def test_splcsum_is_the_sum_on_the_union(pair):
    first, second = pair
    result = kernel_sum(first, second)
    union = union_knots(first.U, second.U)
    np.testing.assert_array_equal(result.U, union)
    scale = first.scale() + second.scale()
    expected = scipy_refine_to(first, union).P + scipy_refine_to(second, union).P
    assert_close(result.P, expected, scale)
    points = domain_points(first, dense=51)
    assert_close(result.oracle()(points), first.oracle()(points) + second.oracle()(points), scale)


@pytest.mark.parametrize(
    "dm, dU, dn, dP",
    [(1, 1, 1, 1), (1, 1, 0, 0), (0, 0, -1, -1), (0, 1, 0, 0), (0, 0, 0, -1)],
    ids=["both", "m", "n", "U", "P"],
)
@settings(max_examples=10, deadline=None)
@given(pair=any_pairs)
def test_splcsum_with_sizes_off_the_union_writes_nan(pair, dm, dU, dn, dP):
    first, second = pair
    m, n = knotmath.knotuniondim(first.U, second.U, first.p)
    U = np.zeros(m + 1 + dU)
    P = np.zeros(n + 1 + dP)
    knotmath.splcsum(first.U, first.P, second.U, second.P, first.p, m + dm, U, n + dn, P)
    assert np.isnan(U).all() and np.isnan(P).all()


@st.composite
def joinable_pairs(draw):
    """Two splines of one degree on unrelated domains."""
    p = draw(st.integers(0, MAX_DEGREE))
    first = draw(clamped_splines(degrees=[p], discontinuous=draw(st.booleans())))
    second = draw(clamped_splines(degrees=[p], discontinuous=draw(st.booleans())))
    return first, second


@settings(max_examples=80, deadline=None)
@given(joinable_pairs())
def test_splcjoin_layout_and_pieces(pair):
    first, second = pair
    p, nA, nB = first.p, first.n, second.n
    U = np.full(nA + nB + p + 3, np.nan)
    P = np.full(nA + nB + 2, np.nan)
    assert knotmath.splcjoin(first.U, first.P, second.U, second.P, p, U, P) is None
    np.testing.assert_array_equal(P, np.concatenate([first.P, second.P]))
    np.testing.assert_array_equal(U[: nA + p + 2], first.U)
    shift = first.U[-1] - second.U[0]
    shifted = second.U[p + 1 :] + shift
    ulps = 4 * np.finfo(float).eps * np.max(np.abs(shifted))
    np.testing.assert_allclose(U[nA + p + 2 :], shifted, rtol=0, atol=ulps)
    joined = Spline(U, P, p)
    # Left of the junction the first curve, from the junction on the second one.
    left = domain_points(first, dense=41)
    left = left[left < first.stop]
    assert_close(joined.oracle()(left), first.oracle()(left), first.scale())
    junction = joined.oracle()(first.stop)
    assert_close(junction, second.P[0], max(first.scale(), second.scale()))
    # Shifted knots may differ from the computed ones by an ulp or two: compare
    # between knots, allowing for such a move.
    points = domain_points(second, dense=41)
    right = (points[:-1] + points[1:]) / 2 + shift
    moved = Spline(second.U + shift, second.P, p)
    slack = 16 * np.finfo(float).eps * np.max(np.abs(right)) * second.derivative_scale(1)
    np.testing.assert_allclose(joined.oracle()(right), moved.oracle()(right),
                               rtol=0, atol=RTOL * second.scale() + slack)


def kernel_slice(spline: Spline, x: float):
    n, p = spline.n, spline.p
    Uk = np.full(n + 2 * p + 3, np.nan)
    Pk = np.full(n + p + 2, np.nan)
    nl, nr = knotmath.splcsli(spline.U, spline.P, p, x, Uk, Pk)
    return nl, nr, Uk, Pk


@settings(max_examples=100, deadline=None)
@given(any_splines.flatmap(lambda spline: st.tuples(st.just(spline), inner_value(spline))))
def test_splcsli_inside_the_domain(case):
    spline, x = case
    p, s = spline.p, spline.multiplicity(x)
    inserted = max(0, p + 1 - s)
    nl, nr, Uk, Pk = kernel_slice(spline, x)
    expected = scipy_insert(spline, x, inserted)
    assert nl == int(np.flatnonzero(expected.U == x)[0]) - 1
    assert nr == len(expected.P) - nl - 2
    np.testing.assert_array_equal(Uk[: nl + nr + p + 3], expected.U)
    assert_close(Pk[: nl + nr + 2], expected.P, spline.scale())
    np.testing.assert_array_equal(Uk[nl + 1 : nl + p + 2], x)
    left = Spline(Uk[: nl + p + 2], Pk[: nl + 1], p)
    right = Spline(Uk[nl + 1 : nl + nr + p + 3], Pk[nl + 1 : nl + nr + 2], p)
    points = domain_points(spline, dense=41)
    # At x the left piece gives the left limit: the value unless x is a jump.
    assert_same_curve(spline, left, points[points < x] if s > p else points[points <= x])
    assert_same_curve(spline, right, points[points >= x])


@settings(max_examples=40, deadline=None)
@given(any_splines)
def test_splcsli_at_the_first_knot(spline):
    p, n, x = spline.p, spline.n, spline.start
    nl, nr, Uk, Pk = kernel_slice(spline, x)
    assert (nl, nr) == (p, n)
    np.testing.assert_array_equal(Uk, np.concatenate([[x] * (p + 1), spline.U]))
    np.testing.assert_array_equal(Pk[p + 1 :], spline.P)
    assert_close(Pk[: p + 1], np.full(p + 1, spline.P[0]), spline.scale(), rtol=1e-12)


@settings(max_examples=40, deadline=None)
@given(any_splines)
def test_splcsli_at_the_last_knot(spline):
    p, n, x = spline.p, spline.n, spline.stop
    nl, nr, Uk, Pk = kernel_slice(spline, x)
    assert (nl, nr) == (n, p)
    np.testing.assert_array_equal(Uk, np.concatenate([spline.U, [x] * (p + 1)]))
    np.testing.assert_array_equal(Pk[: n + 1], spline.P)
    assert_close(Pk[n + 1 :], np.full(p + 1, spline.P[-1]), spline.scale(), rtol=1e-12)
