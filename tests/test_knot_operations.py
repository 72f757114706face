"""Knot insertion, refinement and removal on Trajectory1d: checks and their order,
sizes of the results, and the curves compared with scipy.interpolate."""

import array

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kernel_strategies import (
    MAX_DEGREE,
    Spline,
    assert_close,
    clamped_splines,
    domain_points,
    inner_value,
    scipy_insert,
    scipy_refine,
)
from pykesta.curvetypes import Trajectory1d
from trajectory_factory import make_trajectory

# Removals that only undo an insertion differ from the original by rounding.
UNDO_RTOL = 1e-9
CUBIC_KNOTS = [0, 0, 0, 0, 1, 2, 2, 2, 2]


def spline_of(t):
    return Spline(t.get_knotvector_asarray().copy(), t.get_cpts_asarray().copy(), t.p)


def trajectory_of(spline, order=0, cls=Trajectory1d):
    return make_trajectory(spline.U, spline.P, spline.p, order=order, cls=cls)


def cubic(cls=Trajectory1d):
    """The cubic on [0, 2] with the single interior knot 1 (n = 4), order 1."""
    return make_trajectory(CUBIC_KNOTS, [1.0, -2.0, 0.5, 3.0, -1.0], 3, order=1, cls=cls)


def removable_cubic(perturbation=0.0):
    """A cubic polynomial written on CUBIC_KNOTS, so that the knot 1 can be removed
    exactly; `perturbation` moves one control point off the polynomial."""
    bezier = Spline(np.repeat([0.0, 2.0], 4), np.array([1.0, -2.0, 3.0, 0.5]), 3)
    spline = scipy_insert(bezier, 1.0, 1)
    spline.P[2] += perturbation
    return trajectory_of(spline, order=1)


def sizes(t):
    return t.p, t.n, t.order, len(t.get_knotvector_asarray()), len(t.get_cpts_asarray())


# ---- literal cases -------------------------------------------------------------------

@pytest.mark.parametrize("operation, n", [
    (lambda t: t.knotins(1.5, 1), 5),
    (lambda t: t.knotins(0.5, 3), 7),
    (lambda t: t.knotins(r=2, u=1.0), 6),
    (lambda t: t.knotins(0.0, 1), 5),
    (lambda t: t.knotins(2.0, 3), 7),
    (lambda t: t.knotins(0.5, 0), 4),
    (lambda t: t.knotref(np.array([0.5, 1.5])), 6),
    (lambda t: t.knotref(np.array([-1.0, 0.5, 3.0])), 7),
    (lambda t: t.knotref(np.array([])), 4),
    (lambda t: t.knotref(None), 4),
    (lambda t: t.knotref(array.array("d", [0.25])), 5),
    (lambda t: t.knotrem(0.5, 1), 4),
    (lambda t: t.knotrem(1.0, 5, float("inf")), 3),
    (lambda t: t.knotrem(1.0, 0, float("inf")), 4),
    (lambda t: t.knotrem(u=1.0, r=5, tol=1e300), 3),
    (lambda t: t.knotrem_notol(1.0, 5), 3),
    (lambda t: t.knotrem_notol(r=1, u=1.0), 3),
    (lambda t: t.knotrem_notol(0.0, 5), 4),
    (lambda t: t.knotsrem(tol=float("inf")), 3),
])
def test_sizes(operation, n):
    t = cubic()
    state = t.__getstate__()
    result = operation(t)
    assert type(result) is Trajectory1d
    assert sizes(result) == (3, n, 1, n + 5, n + 1)
    assert t.__getstate__() == state


def test_inserted_knots_in_place():
    np.testing.assert_array_equal(cubic().knotins(1.5, 1).get_knotvector_asarray(),
                                  [0, 0, 0, 0, 1, 1.5, 2, 2, 2, 2])
    np.testing.assert_array_equal(
        cubic().knotref(np.array([0.5, 1.5])).get_knotvector_asarray(),
        [0, 0, 0, 0, 0.5, 1, 1.5, 2, 2, 2, 2])


@pytest.mark.parametrize("operation", [
    lambda t: t.knotref(None),
    lambda t: t.knotref(np.empty(0)),
    lambda t: t.knotins(1.0, 0),
    lambda t: t.knotrem(0.5, 1),
    lambda t: t.knotrem(1.0, 1),
    lambda t: t.knotrem_notol(1.0, 0),
    lambda t: t.knotsrem(0.0),
])
def test_operations_that_change_nothing_copy(operation):
    t = cubic()
    result = operation(t)
    assert result.__getstate__() == t.__getstate__()
    assert not np.shares_memory(result.get_cpts_asarray(), t.get_cpts_asarray())


@pytest.mark.parametrize("call, error, message", [
    (lambda t: t.knotins(0.5, 4), ValueError, "'r' must be less than or equal to 'p'"),
    (lambda t: t.knotins(0.5, -1), ValueError, "'r' must be non-negative number"),
    (lambda t: t.knotins(2.5, 1), ValueError, "'u' out of domain: 2.5"),
    (lambda t: t.knotins(-1, 1), ValueError, "'u' out of domain: -1.0"),
    # The domain is tested before r.
    (lambda t: t.knotins(2.5, -1), ValueError, "'u' out of domain: 2.5"),
    (lambda t: t.knotins(2.5, 4), ValueError, "'u' out of domain: 2.5"),
    (lambda t: t.knotref(np.array([0.5, 0.5])), ValueError, "'X' must be increasing"),
    (lambda t: t.knotref(np.array([1.5, 0.5])), ValueError, "'X' must be increasing"),
    (lambda t: t.knotref(np.array([0.5, np.inf, 1.5])), ValueError, "'X' must be increasing"),
    (lambda t: t.knotrem(2.0000001, 1), ValueError, "'u' out of domain: 2.0000001"),
    (lambda t: t.knotrem(1.0, -1), ValueError, "'r' must be non-negative number"),
    (lambda t: t.knotrem(-0.5, -1, 1.0), ValueError, "'u' out of domain: -0.5"),
    (lambda t: t.knotrem_notol(3.0, 1), ValueError, "'u' out of domain: 3.0"),
    (lambda t: t.knotrem_notol(1.0, -2), ValueError, "'r' must be non-negative number"),
    (lambda t: t.knotins(1.0, 2**31), OverflowError, "value too large to convert to int"),
    (lambda t: t.knotrem(1.0, "1"), TypeError, "an integer is required"),
    (lambda t: t.knotins(1.0), TypeError,
     "knotins() takes exactly 2 positional arguments (1 given)"),
    (lambda t: t.knotrem(1.0), TypeError,
     "knotrem() takes at least 2 positional arguments (1 given)"),
    (lambda t: t.knotrem(1.0, 1, 1e-3, 4), TypeError,
     "knotrem() takes at most 3 positional arguments (4 given)"),
    (lambda t: t.knotsrem(1e-3, 1), TypeError,
     "knotsrem() takes at most 1 positional argument (2 given)"),
    (lambda t: t.knotrem_notol(1.0, 1, tol=1.0), TypeError,
     "knotrem_notol() got an unexpected keyword argument 'tol'"),
])
def test_argument_errors(call, error, message):
    t = cubic()
    state = t.__getstate__()
    with pytest.raises(error) as raised:
        call(t)
    assert str(raised.value) == message
    assert t.__getstate__() == state


@pytest.mark.parametrize("X, error, message", [
    (np.array([0, 1]), ValueError, "dtype mismatch"),
    (np.array([0.5], dtype=np.float32), ValueError, "dtype mismatch"),
    (np.array([[0.5, 1.5]]), ValueError, "wrong number of dimensions"),
    (np.linspace(0.0, 1.0, 6)[::2], ValueError, "contiguous"),
    ([0.5, 1.5], TypeError, "list"),
])
def test_knotref_buffer_conversion(X, error, message):
    with pytest.raises(error, match=message):
        cubic().knotref(X)


@pytest.mark.parametrize("call", [
    lambda t: t.knotref(X=np.array([0.5])),
    lambda t: t.knotref(),
    lambda t: t.knotref(np.array([0.5]), np.array([1.5])),
])
def test_knotref_takes_one_positional_argument(call):
    with pytest.raises(TypeError, match=r"knotref\(\) takes"):
        call(cubic())


@pytest.mark.parametrize("call", [
    lambda t: t.knotins(0.5, 1),
    lambda t: t.knotins(0.5, -1),
    lambda t: t.knotref(None),
    lambda t: t.knotref(np.array([1.0, 0.0])),
    lambda t: t.knotrem(0.5, 1),
    lambda t: t.knotrem(0.5, -1),
    lambda t: t.knotsrem(),
    lambda t: t.knotrem_notol(0.5, 1),
])
def test_empty_trajectory(call):
    with pytest.raises(ValueError) as raised:
        call(Trajectory1d())
    assert "'r'" not in str(raised.value) and "'X'" not in str(raised.value)


@pytest.mark.parametrize("method, text_signature, texts", [
    ("knotins", "($self, /, u, r)",
     ["Returns a new Trajectory1d object with same shape and the knot 'u'", "Knot to insert.",
      "Number of times the knot must be inserted."]),
    ("knotref", "($self, X, /)",
     ["Returns a new Trajectory1d object with same shape and new knots"]),
    ("knotrem", "($self, /, u, r, tol=1e-13)", []),
    ("knotsrem", "($self, /, tol=1e-13)",
     ["The knot removal tolerance is applied step by step, it is not"]),
    ("knotrem_notol", "($self, /, u, r)",
     ["Returns a new Trajectory1d object with knot 'u' removed 'r' times"]),
])
def test_documentation(method, text_signature, texts):
    assert getattr(Trajectory1d, method).__text_signature__ == text_signature
    assert all(text in getattr(Trajectory1d, method).__doc__ for text in texts)


# ---- tolerance defaults --------------------------------------------------------------

@pytest.mark.parametrize("remove", [
    lambda t: t.knotrem(1.0, 1),
    lambda t: t.knotrem(1.0, 1, 1e-13),
    lambda t: t.knotsrem(),
    lambda t: t.knotsrem(tol=1e-13),
])
@pytest.mark.parametrize("perturbation, removed", [(0.0, 1), (1e-15, 1), (1e-9, 0)])
def test_default_tolerance(remove, perturbation, removed):
    t = removable_cubic(perturbation)
    assert remove(t).n == t.n - removed


def test_knotrem_removes_a_single_knot_at_most_once():
    t = removable_cubic()
    reduced = t.knotrem(1.0, 5)
    assert sizes(reduced) == (3, 3, 1, 8, 4)
    np.testing.assert_array_equal(reduced.get_knotvector_asarray(), np.repeat([0.0, 2.0], 4))
    np.testing.assert_allclose(reduced.get_cpts_asarray(), [1.0, -2.0, 3.0, 0.5], atol=1e-13)


# ---- the curves, compared with scipy -------------------------------------------------

@st.composite
def insertions(draw, degrees=range(0, MAX_DEGREE + 1), least=0):
    """A spline, a value strictly inside its domain and a count r >= least, r <= p,
    that keeps the value's multiplicity at most p + 1."""
    spline = draw(clamped_splines(degrees=degrees, max_control_points=25))
    u = draw(inner_value(spline, max_multiplicity=spline.p))
    room = spline.p + 1 - spline.multiplicity(u)
    r = draw(st.integers(least, min(spline.p, room)))
    return spline, u, r


@settings(max_examples=60, deadline=None)
@given(insertions(), st.integers(0, 3))
def test_knotins_is_scipys_insert(case, order):
    spline, u, r = case
    t = trajectory_of(spline, order)
    state = t.__getstate__()
    inserted = t.knotins(u, r)
    assert t.__getstate__() == state
    assert sizes(inserted)[:3] == (spline.p, spline.n + r, order)
    expected = scipy_insert(spline, u, r)
    result = spline_of(inserted)
    np.testing.assert_array_equal(result.U, expected.U)
    assert_close(result.P, expected.P, spline.scale())


@settings(max_examples=60, deadline=None)
@given(clamped_splines(max_control_points=25), st.lists(st.floats(1e-9, 1.0), max_size=8))
def test_knotref_keeps_the_curve(spline, fractions):
    # Fractions above 1e-9: scipy's evaluation breaks down on spans of subnormal width.
    X = np.unique(spline.start + np.asarray(fractions) * spline.length)
    X = X[(X > spline.start) & (X < spline.stop)]
    t = trajectory_of(spline, order=2)
    state = t.__getstate__()
    refined = t.knotref(X)
    assert t.__getstate__() == state
    assert sizes(refined)[:3] == (spline.p, spline.n + len(X), 2)
    result = spline_of(refined)
    np.testing.assert_array_equal(result.U, np.sort(np.concatenate([spline.U, X])))
    if spline.p > 0:
        assert_close(result.P, scipy_refine(spline, X).P, spline.scale())
    points = domain_points(spline, dense=51)
    assert_close(result.oracle()(points), spline.oracle()(points), spline.scale())


@settings(max_examples=60, deadline=None)
@given(insertions(degrees=range(1, MAX_DEGREE + 1), least=1))
def test_knotrem_undoes_knotins(case):
    spline, u, r = case
    t = trajectory_of(spline, order=1)
    inserted = t.knotins(u, r)
    state = inserted.__getstate__()
    for restored in (inserted.knotrem(u, r, UNDO_RTOL * spline.scale()),
                     inserted.knotrem_notol(u, r)):
        assert inserted.__getstate__() == state
        assert sizes(restored) == sizes(t)
        np.testing.assert_array_equal(restored.get_knotvector_asarray(), spline.U)
        assert_close(restored.get_cpts_asarray(), spline.P, spline.scale(), rtol=UNDO_RTOL)


@settings(max_examples=60, deadline=None)
@given(
    st.booleans().flatmap(lambda jumps: clamped_splines(max_control_points=25,
                                                        discontinuous=jumps)),
    st.sampled_from([0.0, 1e-6, 1e-3, 0.1, 1.0]),
)
def test_knotsrem_within_the_stepwise_tolerance(spline, relative_tol):
    tol = relative_tol * spline.scale()
    t = trajectory_of(spline, order=3)
    state = t.__getstate__()
    reduced = t.knotsrem(tol)
    assert t.__getstate__() == state
    removed = spline.n - reduced.n
    assert sizes(reduced) == (spline.p, spline.n - removed, 3, len(spline.U) - removed,
                              len(spline.P) - removed)
    assert 0 <= removed <= len(spline.U) - 2 * (spline.p + 1)
    # Each removal moves the curve by at most tol; twice that absorbs rounding.
    points = domain_points(spline, dense=61)
    points = points[points < spline.stop]
    deviation = np.max(np.abs(spline_of(reduced).oracle()(points) - spline.oracle()(points)))
    assert deviation <= 2 * removed * tol + UNDO_RTOL * spline.scale()


@pytest.mark.parametrize("p", range(1, MAX_DEGREE + 1))
def test_knotsrem_reduces_a_refined_polynomial(p):
    bezier = make_trajectory(np.repeat([-1.0, 2.0], p + 1), np.linspace(1.0, -3.0, p + 1) ** 2, p)
    refined = bezier.knotref(np.array([-0.5, 0.0, 0.25, 1.0, 1.5])).knotins(0.25, p - 1)
    reduced = refined.knotsrem(1e-9)
    assert sizes(reduced) == sizes(bezier)
    np.testing.assert_array_equal(reduced.get_knotvector_asarray(),
                                  bezier.get_knotvector_asarray())
    np.testing.assert_allclose(reduced.get_cpts_asarray(), bezier.get_cpts_asarray(), atol=1e-9)


# ---- subclasses ----------------------------------------------------------------------

class Plain(Trajectory1d):
    pass


class Twice(Trajectory1d):
    def knotins(self, u, r):
        return super().knotins(u, 2 * r)

    def knotref(self, X):
        return super().knotref(np.concatenate([X, X + 0.25]))

    def knotrem(self, u, r, tol=1e-13):
        return super().knotrem(u, 2 * r, tol)

    def knotsrem(self, tol=1e-13):
        return super().knotsrem(2 * tol)

    def knotrem_notol(self, u, r):
        return super().knotrem_notol(u, 2 * r)


class LateStart(Trajectory1d):
    """Reports its domain as starting one unit later than its first knot."""

    @property
    def start(self):
        return super().start + 1.0


@pytest.mark.parametrize("cls, n_inserted, n_refined", [(Plain, 5, 5), (Twice, 6, 6)])
def test_subclasses(cls, n_inserted, n_refined):
    t = cubic(cls)
    results = [t.knotins(0.5, 1), t.knotref(np.array([0.5])), t.knotrem(1.0, 1),
               t.knotsrem(float("inf")), t.knotrem_notol(1.0, 1)]
    assert all(type(result) is Trajectory1d for result in results)
    assert [result.n for result in results] == [n_inserted, n_refined, 4, 3, 3]


def test_domain_test_reads_start_as_an_attribute():
    t = cubic(LateStart)
    with pytest.raises(ValueError, match=r"^'u' out of domain: 0\.5$"):
        t.knotins(0.5, 1)
    with pytest.raises(ValueError, match=r"^'u' out of domain: 0\.5$"):
        t.knotrem(0.5, 1)
    assert t.knotins(1.5, 1).n == 5


def test_arrays_replaced_during_the_domain_test(run_python):
    # A redefined `start` that swaps the arrays while the domain is tested: the
    # operations must work on what the trajectory holds afterwards, or on copies.
    script = """
        import numpy as np
        from pykesta.curvetypes import Trajectory1d

        class Swapping(Trajectory1d):
            @property
            def start(self):
                knots = np.array([0.0, 0.0, 2.0, 2.0])
                self._dset_data(knots.tobytes(), np.array([1.0, 3.0]).tobytes(), 1, 1, 0, True)
                return 0.0

        def fresh():
            t = Swapping()
            knots = np.array([0.0, 0.0, 0.0, 0.0, 0.5, 1.0, 1.0, 1.5, 2.0, 2.0, 2.0, 2.0])
            t._dset_data(knots.tobytes(), np.ones(8).tobytes(), 3, 7, 0, True)
            return t

        print(fresh().knotins(1.0, 1).n, fresh().knotrem(1.0, 3, 1e300).n,
              fresh().knotrem_notol(1.0, 1).n)
        t = fresh()
        t.ashift(1.0)
        t.adapt(0.0, 4.0)
        print(t.get_knotvector_asarray().tolist())
        """
    done = run_python(script)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split("\n")[:2] == ["2 5 6", "[0.0, 0.0, 2.0, 2.0]"]
