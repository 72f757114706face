"""join and joins: trajectories end to end, the second moved to start where the first
stops, with no continuity imposed at the junction."""

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kernel_strategies import Spline, assert_close, clamped_splines
from pykesta.curvetypes import Trajectory1d
from pykesta.trajops import join, joins
from trajectory_factory import clamped_knots, make_trajectory

FIRST_CPTS = [1.0, -2.0, 0.5, 3.0]
SECOND_CPTS = [4.0, 0.0, -1.0, 2.5, 1.5]


def knots_of(t):
    return t.get_knotvector_asarray().copy()


def cpts_of(t):
    return t.get_cpts_asarray().copy()


def first():
    """Degree 2 on [0, 1], n = 3."""
    return make_trajectory(clamped_knots([0.5], 2), FIRST_CPTS, 2)


def second():
    """Degree 2 on [5, 7], n = 4."""
    return make_trajectory(clamped_knots([5.5, 6.25], 2, 5.0, 7.0), SECOND_CPTS, 2)


def expected_layout(a: Spline, b: Spline):
    """The joined arrays: the second's knots after its first p + 1, moved by d."""
    d = a.stop - b.start
    return np.concatenate([a.U, b.U[b.p + 1:] + d]), np.concatenate([a.P, b.P]), d


# ---- literal cases ---------------------------------------------------------------------------


def test_join_puts_the_second_after_the_first():
    a, b = first(), second()
    states = a.__getstate__(), b.__getstate__()
    joined = join(a, b)
    assert type(joined) is Trajectory1d
    assert (joined.p, joined.n, joined.order) == (2, 8, 0)
    assert (joined.start, joined.stop) == (0.0, 3.0)
    np.testing.assert_array_equal(knots_of(joined),
                                  [0, 0, 0, 0.5, 1, 1, 1, 1.5, 2.25, 3, 3, 3])
    np.testing.assert_array_equal(cpts_of(joined), FIRST_CPTS + SECOND_CPTS)
    assert joined._getAttrib()["owner"] == "True"
    assert (a.__getstate__(), b.__getstate__()) == states


def test_join_evaluates_like_its_inputs():
    a, b = first(), second()
    joined = join(a, b)
    left = np.linspace(0.0, 1.0, 11)[:-1]
    right = np.linspace(1.0, 3.0, 21)[1:]
    np.testing.assert_allclose(joined(left), a(left), rtol=1e-13, atol=1e-13)
    np.testing.assert_allclose(joined(right), b(right + 4.0), rtol=1e-13, atol=1e-13)


def test_the_junction_may_jump():
    a = make_trajectory(clamped_knots([], 1), [0.0, 1.0], 1)
    b = make_trajectory(clamped_knots([], 1), [5.0, 6.0], 1)
    joined = join(a, b)
    np.testing.assert_array_equal(knots_of(joined), [0, 0, 1, 1, 2, 2])
    assert joined(1.0 - 1e-9) == pytest.approx(1.0)
    assert joined(1.0 + 1e-9) == pytest.approx(5.0)


@pytest.mark.parametrize("start, stop", [(0.0, 1.0), (0.5, 0.75), (-3.0, 4.0), (1.0, 1.0)])
def test_the_second_always_starts_where_the_first_stops(start, stop):
    a = make_trajectory(clamped_knots([], 1), [0.0, 1.0], 1)
    b = make_trajectory(clamped_knots([], 1, start, stop), [2.0, 3.0], 1)
    joined = join(a, b)
    length = stop - start
    np.testing.assert_array_equal(knots_of(joined), [0, 0, 1, 1, 1 + length, 1 + length])


def test_join_of_wrapping_trajectories_owns_its_arrays():
    a = make_trajectory(clamped_knots([], 1), [0.0, 1.0], 1, owner=False)
    joined = join(a, a)
    assert joined._getAttrib()["owner"] == "True"
    joined.get_cpts_asarray()[0] = 9.0
    assert a.get_cpts_asarray()[0] == 0.0


def test_join_keeps_the_derivation_order():
    a = make_trajectory(clamped_knots([], 1), [0.0, 1.0], 1, order=2)
    assert join(a, a).order == 2


def test_join_accepts_subclasses_and_returns_a_plain_trajectory():
    class Sub(Trajectory1d):
        pass

    a = make_trajectory(clamped_knots([], 1), [0.0, 1.0], 1, cls=Sub)
    assert type(join(a, a)) is Trajectory1d
    assert type(joins(a, a)) is Trajectory1d


# ---- failures --------------------------------------------------------------------------------


@pytest.mark.parametrize("b, message", [
    (make_trajectory(clamped_knots([], 3), [0.0, 1.0, 2.0, 3.0], 3),
     "the input traiectories must have the same order"),
    (make_trajectory(clamped_knots([], 2), [0.0, 1.0, 2.0], 2, order=1),
     "the trajectories must have the same 'order'"),
    # both differ: the degree is tested first
    (make_trajectory(clamped_knots([], 3), [0.0, 1.0, 2.0, 3.0], 3, order=1),
     "the input traiectories must have the same order"),
])
def test_join_checks_degree_then_order(b, message):
    a = make_trajectory(clamped_knots([], 2), [1.0, 1.0, 1.0], 2)
    states = a.__getstate__(), b.__getstate__()
    with pytest.raises(ValueError, match=f"^{message}$"):
        join(a, b)
    with pytest.raises(ValueError, match=f"^{message}$"):
        joins(a, b)
    assert (a.__getstate__(), b.__getstate__()) == states


@pytest.mark.parametrize("a, b", [
    (Trajectory1d(), Trajectory1d()),
    (make_trajectory([0.0, 1.0], [2.0], 0), Trajectory1d()),
    (Trajectory1d(), make_trajectory([0.0, 1.0], [2.0], 0)),
])
def test_join_needs_arrays(a, b):
    with pytest.raises(ValueError):
        join(a, b)


@pytest.mark.parametrize("call, type_name", [
    (lambda t: join(None, t), "traj1"),
    (lambda t: join(t, None), "traj2"),
])
def test_join_refuses_none(call, type_name):
    message = (f"^Argument '{type_name}' has incorrect type "
               "\\(expected pykesta.curvetypes.Trajectory1d, got NoneType\\)$")
    with pytest.raises(TypeError, match=message):
        call(first())


# ---- joins -----------------------------------------------------------------------------------


def test_joins_of_one_is_that_trajectory():
    a = first()
    assert joins(a) is a


def test_joins_folds_join_in_the_order_given():
    a, b = first(), second()
    c = make_trajectory(clamped_knots([], 2, -1.0, 0.0), [7.0, 8.0, 9.0], 2)
    states = [t.__getstate__() for t in (a, b, c)]
    assert joins(a, b, c) == join(join(a, b), c)
    assert joins(c, b, a) == join(join(c, b), a)
    assert joins(a, b) == join(a, b)
    assert [t.__getstate__() for t in (a, b, c)] == states
    np.testing.assert_array_equal(cpts_of(joins(a, b, c)), FIRST_CPTS + SECOND_CPTS + [7, 8, 9])
    assert (joins(a, b, c).start, joins(a, b, c).stop) == (0.0, 4.0)


def test_joins_needs_an_argument():
    with pytest.raises(ValueError, match="^at least 1 item required$"):
        joins()


@pytest.mark.parametrize("arguments, type_name", [
    ((5,), "int"),
    ((None,), "NoneType"),
    (("first", None), "NoneType"),
    (("first", 5), "int"),
    (("first", "first", 2.5), "float"),
    (("first", None, "second"), "NoneType"),
])
def test_joins_checks_every_argument(arguments, type_name):
    a = first()
    state = a.__getstate__()
    arguments = [a if argument == "first" else argument for argument in arguments]
    message = f"^Cannot convert {type_name} to pykesta.curvetypes.Trajectory1d$"
    with pytest.raises(TypeError, match=message):
        joins(*arguments)
    assert a.__getstate__() == state


def test_joins_stops_at_the_first_failing_join():
    a, b = first(), second()
    cubic = make_trajectory(clamped_knots([], 3), [0.0, 1.0, 2.0, 3.0], 3)
    with pytest.raises(ValueError, match="^the input traiectories must have the same order$"):
        joins(a, b, cubic, 5)


def test_joins_takes_no_keywords():
    with pytest.raises(TypeError):
        joins(trajs=first())


# ---- random trajectories ---------------------------------------------------------------------


@st.composite
def joinable(draw):
    """Two clamped splines of one degree, domains anywhere."""
    p = draw(st.integers(0, 5))
    a = draw(clamped_splines(degrees=[p], max_control_points=20))
    b = draw(clamped_splines(degrees=[p], max_control_points=20))
    return a, b


def inside_spans(U):
    """Points well inside every knot span of nonzero width, away from the knots."""
    breaks = np.unique(U)
    fractions = np.array([0.1, 0.37, 0.5, 0.82, 0.9])
    return (breaks[:-1, None] + fractions * np.diff(breaks)[:, None]).ravel()


@settings(max_examples=60, deadline=None)
@given(joinable(), st.integers(0, 3))
def test_join_layout_and_values_against_the_inputs(pair, order):
    a, b = pair
    ta = make_trajectory(a.U, a.P, a.p, order)
    tb = make_trajectory(b.U, b.P, b.p, order)
    joined = join(ta, tb)
    knots, cpts, d = expected_layout(a, b)
    assert (joined.p, joined.n, joined.order) == (a.p, a.n + b.n + 1, order)
    np.testing.assert_array_equal(cpts_of(joined), cpts)
    # the first keeps its knots exactly; the second's are moved by d, up to rounding
    np.testing.assert_array_equal(knots_of(joined)[:len(a.U)], a.U)
    assert_close(knots_of(joined), knots, max(np.max(np.abs(knots)), 1.0), 1e-14)

    scale = max(a.scale(), b.scale())
    left, right = inside_spans(a.U), inside_spans(b.U)
    assert_close(joined(left), a.oracle()(left), scale, 1e-10)
    assert_close(joined(right + d), b.oracle()(right), scale, 1e-8)


@settings(max_examples=30, deadline=None)
@given(joinable(), clamped_splines(degrees=range(0, 6), max_control_points=10))
def test_joins_of_three_is_join_of_join(pair, c):
    a, b = pair
    if c.p != a.p:
        c = Spline(np.concatenate([[c.start] * (a.p + 1), [c.stop] * (a.p + 1)]),
                   np.ones(a.p + 1), a.p)
    ta, tb, tc = (make_trajectory(s.U, s.P, s.p) for s in (a, b, c))
    assert joins(ta, tb, tc) == join(join(ta, tb), tc)
    assert joins(ta, tb, tc).n == a.n + b.n + c.n + 2
