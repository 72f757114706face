"""Knot insertion, refinement and removal kernels, with scipy's insert as the oracle."""

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kernel_strategies import (
    MAX_DEGREE,
    Spline,
    any_splines,
    assert_close,
    assert_same_curve,
    clamped_splines,
    domain_points,
    fractions,
    inner_value,
    remove_copies,
    scipy_insert,
    scipy_refine,
)
from pykesta import knotmath

# Tolerance of removals that only undo an insertion: rounding, amplified by the
# back substitution of the removal.
UNDO_RTOL = 1e-9
# An accepted removal moves the curve by at most its tolerance; after t removals
# the curve stays within REMOVAL_SLACK * t * tol of the original.
REMOVAL_SLACK = 2


def kernel_insert(spline: Spline, u: float, r: int) -> Spline:
    Uo = np.full(len(spline.U) + r, np.nan)
    Po = np.full(len(spline.P) + r, np.nan)
    assert knotmath.splkins(spline.U, spline.P, spline.p, u, r, Uo, Po) is None
    return Spline(Uo, Po, spline.p)


def points_before_stop(spline: Spline):
    """Domain points scipy evaluates correctly also on vectors with more than p + 1
    copies of the last knot."""
    points = domain_points(spline, dense=61)
    return points[points < spline.stop]


def assert_deviation_at_most(reduced: Spline, original: Spline, bound: float):
    """The curves differ by at most bound, plus rounding."""
    points = points_before_stop(original)
    deviation = np.max(np.abs(reduced.oracle()(points) - original.oracle()(points)))
    assert deviation <= bound + UNDO_RTOL * original.scale()


@st.composite
def insertions(draw, discontinuous=False):
    """A spline, a value strictly inside its domain and a count r <= p that keeps
    the value's multiplicity at most p + 1."""
    spline = draw(clamped_splines(discontinuous=discontinuous))
    u = draw(inner_value(spline, max_multiplicity=spline.p))
    room = spline.p + 1 - spline.multiplicity(u)
    r = draw(st.integers(0, min(spline.p, room)))
    return spline, u, r


@settings(max_examples=100, deadline=None)
@given(insertions())
def test_splkins_matches_scipy(case):
    spline, u, r = case
    result = kernel_insert(spline, u, r)
    expected = scipy_insert(spline, u, r)
    np.testing.assert_array_equal(result.U, expected.U)
    assert_close(result.P, expected.P, spline.scale())


@settings(max_examples=40, deadline=None)
@given(insertions(discontinuous=True), fractions())
def test_splkins_keeps_values_around_discontinuities(case, chosen):
    spline, u, r = case
    result = kernel_insert(spline, u, r)
    np.testing.assert_array_equal(result.U, np.sort(np.concatenate([spline.U, [u] * r])))
    assert_same_curve(spline, result, domain_points(spline, chosen, dense=61))


@settings(max_examples=60, deadline=None)
@given(clamped_splines(degrees=range(1, MAX_DEGREE + 1)), st.data())
def test_splkins_at_the_ends_and_at_knots_keeps_values(spline, data):
    """Inserting at the ends, or at a knot past multiplicity p + 1, leaves basis
    functions of zero width; on the domain the curve must not change."""
    values, _ = spline.interior_knots()
    u = data.draw(st.sampled_from([spline.start, spline.stop, *values]))
    r = data.draw(st.integers(1, spline.p))
    result = kernel_insert(spline, u, r)
    np.testing.assert_array_equal(result.U, np.sort(np.concatenate([spline.U, [u] * r])))
    assert_same_curve(spline, result, points_before_stop(spline))


@settings(max_examples=80, deadline=None)
@given(clamped_splines(discontinuous=True), st.data())
def test_splkins_agrees_with_splkref_of_repeated_values(spline, data):
    """Insertion inside one span takes its own recurrence, refinement the general
    one; anywhere (ends, knots, past multiplicity p) the two give the same spline."""
    values, _ = spline.interior_knots()
    u = data.draw(st.one_of(st.sampled_from([spline.start, spline.stop, *values]),
                            inner_value(spline, max_multiplicity=spline.p)))
    r = data.draw(st.integers(0, spline.p + 1))
    inserted = kernel_insert(spline, u, r)
    Uo = np.full(len(spline.U) + r, np.nan)
    Po = np.full(len(spline.P) + r, np.nan)
    knotmath.splkref(spline.U, spline.P, spline.p, np.full(r, u), Uo, Po)
    np.testing.assert_array_equal(inserted.U, Uo)
    assert_close(inserted.P, Po, spline.scale())


@settings(max_examples=80, deadline=None)
@given(clamped_splines(), st.data())
def test_splkref_matches_scipy(spline, data):
    # Strictly increasing values inside the domain, some of them knots of
    # multiplicity at most p (so the refined multiplicities stay at most p + 1).
    values = data.draw(st.lists(inner_value(spline, max_multiplicity=spline.p), max_size=12))
    X = np.unique(np.array(values, dtype=float))
    Uo = np.full(len(spline.U) + len(X), np.nan)
    Po = np.full(len(spline.P) + len(X), np.nan)
    assert knotmath.splkref(spline.U, spline.P, spline.p, X, Uo, Po) is None
    expected = scipy_refine(spline, X)
    np.testing.assert_array_equal(Uo, expected.U)
    assert_close(Po, expected.P, spline.scale())


@settings(max_examples=20, deadline=None)
@given(clamped_splines())
def test_splkref_without_values_copies(spline):
    Uo = np.full(len(spline.U), np.nan)
    Po = np.full(len(spline.P), np.nan)
    knotmath.splkref(spline.U, spline.P, spline.p, np.empty(0), Uo, Po)
    np.testing.assert_array_equal(Uo, spline.U)
    np.testing.assert_array_equal(Po, spline.P)


@st.composite
def inserted_knots(draw):
    """(original, refined, u, r): refined is the original with u inserted r >= 1
    times by scipy; u's multiplicity in refined is at most p + 1."""
    spline = draw(clamped_splines(degrees=range(1, MAX_DEGREE + 1)))
    u = draw(inner_value(spline, max_multiplicity=spline.p))
    room = spline.p + 1 - spline.multiplicity(u)
    r = draw(st.integers(1, min(spline.p, room)))
    return spline, scipy_insert(spline, u, r), u, r


@settings(max_examples=100, deadline=None)
@given(inserted_knots())
def test_splkrem_undoes_insertion(case):
    original, refined, u, r = case
    U, P = refined.U.copy(), refined.P.copy()
    tol = UNDO_RTOL * original.scale()
    t = knotmath.splkrem(U, P, original.p, u, r, tol)
    assert t == r
    np.testing.assert_array_equal(U[: len(original.U)], original.U)
    assert_close(P[: len(original.P)], original.P, original.scale(), rtol=UNDO_RTOL)


@settings(max_examples=100, deadline=None)
@given(inserted_knots())
def test_splkrem_notol_undoes_insertion(case):
    original, refined, u, r = case
    U, P = refined.U.copy(), refined.P.copy()
    assert knotmath.splkrem_notol(U, P, original.p, u, r) == r
    np.testing.assert_array_equal(U[: len(original.U)], original.U)
    assert_close(P[: len(original.P)], original.P, original.scale(), rtol=UNDO_RTOL)


@settings(max_examples=40, deadline=None)
@given(clamped_splines(discontinuous=True, min_extra=1), st.data())
def test_splkrem_notol_removes_at_most_the_multiplicity(spline, data):
    values, counts = spline.interior_knots()
    which = data.draw(st.integers(0, len(values) - 1))
    u, s = float(values[which]), int(counts[which])
    r = data.draw(st.sampled_from([0, 1, s, s + 1, 1000, 2**31 - 1]))
    U, P = spline.U.copy(), spline.P.copy()
    t = knotmath.splkrem_notol(U, P, spline.p, u, r)
    assert t == min(r, s)
    np.testing.assert_array_equal(U[: len(U) - t], remove_copies(spline.U, u, t))


@settings(max_examples=100, deadline=None)
@given(
    clamped_splines(degrees=range(1, MAX_DEGREE + 1), discontinuous=True, min_extra=1),
    st.data(),
    st.sampled_from([0.0, 1e-6, 1e-3, 0.1, 1.0, 10.0]),
)
def test_splkrem_stays_within_tolerance(spline, data, relative_tol):
    values, counts = spline.interior_knots()
    which = data.draw(st.integers(0, len(values) - 1))
    u, s = float(values[which]), int(counts[which])
    r = data.draw(st.integers(0, s + 1))
    tol = relative_tol * spline.scale()
    U, P = spline.U.copy(), spline.P.copy()
    t = knotmath.splkrem(U, P, spline.p, u, r, tol)
    assert 0 <= t <= min(r, s)
    np.testing.assert_array_equal(U[: len(U) - t], remove_copies(spline.U, u, t))
    if t == 0:
        np.testing.assert_array_equal(P, spline.P)
    reduced = Spline(U[: len(U) - t], P[: len(P) - t], spline.p)
    assert_deviation_at_most(reduced, spline, REMOVAL_SLACK * t * tol)


@pytest.mark.parametrize(
    "p, U, P, tol, removed",
    [
        # One control point to check (odd case): P[1] is 0.5 away from its neighbours' line.
        (1, [0, 0, 1, 2, 3, 3], [0, 1, 1, 0], 0.5, 1),
        (1, [0, 0, 1, 2, 3, 3], [0, 1, 1, 0], 0.49, 0),
        # Two computed control points (even case): 2 * P1 - P0 = 2 and 2 * P2 - P3 = 4.
        (2, [0, 0, 0, 1, 2, 2, 2], [0, 1, 2, 0], 2.0, 1),
        (2, [0, 0, 0, 1, 2, 2, 2], [0, 1, 2, 0], 1.99, 0),
    ],
)
def test_splkrem_accepts_a_removal_exactly_up_to_tol(p, U, P, tol, removed):
    original = Spline(np.array(U, dtype=float), np.array(P, dtype=float), p)
    U, P = original.U.copy(), original.P.copy()
    assert knotmath.splkrem(U, P, p, 1.0, 1, tol) == removed
    np.testing.assert_array_equal(U[: len(U) - removed], remove_copies(original.U, 1.0, removed))
    assert_deviation_at_most(Spline(U[: len(U) - removed], P[: len(P) - removed], p),
                             original, tol)


def test_splksrem_goes_through_the_knots_in_increasing_order():
    # Either interior knot alone is removable within 0.6, not both; the first one goes.
    U, P = np.array([0, 0, 1, 2, 3, 3.0]), np.array([0, 1, 1, 0.0])
    assert knotmath.splksrem(U, P, 1, 0.6) == 1
    np.testing.assert_array_equal(U[:5], [0, 0, 2, 3, 3])
    np.testing.assert_array_equal(P[:3], [0, 1, 0])


@settings(max_examples=30, deadline=None)
@given(clamped_splines(degrees=range(1, MAX_DEGREE + 1)), st.floats(0.05, 0.95), st.data())
def test_removal_ignores_values_that_are_not_interior_knots(spline, fraction, data):
    breaks = np.unique(spline.U)
    span = data.draw(st.integers(0, len(breaks) - 2))
    inside = float(breaks[span] + fraction * (breaks[span + 1] - breaks[span]))
    p, r = spline.p, spline.p + 1
    for u in (inside, spline.stop + 1.0, spline.start, spline.stop):
        U, P = spline.U.copy(), spline.P.copy()
        assert knotmath.splkrem(U, P, p, u, r, 1e300) == 0
        np.testing.assert_array_equal(U, spline.U)
        np.testing.assert_array_equal(P, spline.P)
        assert knotmath.splkrem_notol(U, P, p, u, r) == 0
        np.testing.assert_array_equal(U, spline.U)
        np.testing.assert_array_equal(P, spline.P)


def check_sequential_removal(spline: Spline, tol: float) -> tuple[int, Spline]:
    """Runs splksrem; checks the shrunk layout and the accumulated error bound."""
    p = spline.p
    U, P = spline.U.copy(), spline.P.copy()
    t = knotmath.splksrem(U, P, p, tol)
    assert 0 <= t <= len(spline.U) - 2 * (p + 1)
    reduced = Spline(U[: len(U) - t], P[: len(P) - t], p)
    np.testing.assert_array_equal(reduced.U[: p + 1], spline.U[: p + 1])
    np.testing.assert_array_equal(reduced.U[-p - 1 :], spline.U[-p - 1 :])
    assert np.all(np.diff(reduced.U) >= 0)
    # What was removed is t interior copies of existing knots.
    remaining = list(spline.U)
    for value in reduced.U:
        remaining.remove(value)
    assert len(remaining) == t
    assert all(spline.start < value < spline.stop for value in remaining)
    assert_deviation_at_most(reduced, spline, REMOVAL_SLACK * t * tol)
    return t, reduced


@settings(max_examples=80, deadline=None)
@given(
    any_splines,
    st.sampled_from([0.0, 1e-6, 1e-3, 0.1, 1.0, 10.0]),
)
def test_splksrem_stays_within_accumulated_tolerance(spline, relative_tol):
    check_sequential_removal(spline, relative_tol * spline.scale())


@settings(max_examples=60, deadline=None)
@given(
    clamped_splines(degrees=range(1, MAX_DEGREE + 1), max_control_points=20),
    st.lists(st.floats(0.1, 0.9), min_size=1, max_size=8),
    st.data(),
)
def test_splksrem_removes_knots_inserted_by_refinement(spline, positions, data):
    breaks = np.unique(spline.U)
    spans = data.draw(st.lists(st.integers(0, len(breaks) - 2),
                               min_size=len(positions), max_size=len(positions)))
    added = np.unique([breaks[k] + f * (breaks[k + 1] - breaks[k])
                       for k, f in zip(spans, positions)])
    refined = scipy_refine(spline, added)
    t, _ = check_sequential_removal(refined, UNDO_RTOL * spline.scale())
    assert t >= len(added)


@pytest.mark.parametrize("p", range(1, MAX_DEGREE + 1))
def test_splksrem_reduces_a_refined_polynomial_to_its_bezier_form(p):
    # A single polynomial piece written on many knots loses every interior knot.
    bezier = Spline(np.repeat([-1.0, 2.0], p + 1), np.linspace(1.0, -3.0, p + 1) ** 2, p)
    refined = scipy_refine(bezier, [-0.5, 0.0, 0.25, 1.0, 1.5])
    refined = scipy_insert(refined, 0.25, p - 1)
    t, reduced = check_sequential_removal(refined, 1e-9)
    assert t == len(refined.U) - 2 * (p + 1)
    np.testing.assert_array_equal(reduced.U, bezier.U)
    assert_close(reduced.P, bezier.P, bezier.scale(), rtol=UNDO_RTOL)
