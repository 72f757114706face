"""setValueTr, setValueAm and setValueSm: a point constraint imposed on a copy by a
vertical shift, by scaling, or by adding a scaled second trajectory (scaled in place).
Each takes the constraint as a Point1d or as a tuple (t, val, order)."""

from collections import namedtuple

import numpy as np
import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st

from kernel_strategies import inner_value, spline_pairs
from pykesta.curvetypes import Point1d, Trajectory1d
from pykesta.trajops import setValueAm, setValueSm, setValueTr
from trajectory_factory import clamped_knots, make_trajectory

CPTS = [0.5, -1.25, 3.0, 2.0, -0.75]
OTHER_CPTS = [1.0, 2.0, 0.5, 4.0, 3.0]


def cubic(cpts=CPTS, order=0, cls=Trajectory1d, stop=1.0, interior=(0.5,)):
    return make_trajectory(clamped_knots(interior, 3, 0.0, stop), cpts, 3, order, cls=cls)


def cpts_of(t):
    return t.get_cpts_asarray().copy()


def quantity(t, x, nu):
    """The trajectory's quantity nu orders above (below, for nu < 0) its own at x."""
    return t.dpeval(x, nu) if nu >= 0 else t.antiderivative(-nu).peval(x)


class Tuple(tuple):
    pass


Named = namedtuple("Named", "t val order")


class ShiftedPoint(Point1d):
    """A constraint whose properties answer with other values than its record."""

    t = property(lambda self: 0.25)
    val = property(lambda self: -3.0)
    order = property(lambda self: 0)


# ---- setValueTr and setValueAm ---------------------------------------------------------------


@pytest.mark.parametrize("function", [setValueTr, setValueAm])
@pytest.mark.parametrize("constraint", [Point1d(0.5, 2.0, 0), (0.5, 2.0, 0), Point1d(0.3, -1, 0),
                                        (0.75, 0.25, 1), Point1d(0.2, 5.0, 2), (1.0, 4.0, 0)])
def test_the_result_meets_the_constraint(function, constraint):
    t = cubic()
    state = t.__getstate__()
    x, val, order = constraint if isinstance(constraint, tuple) else (
        constraint.t, constraint.val, constraint.order)
    result = function(t, constraint)
    assert type(result) is Trajectory1d and result is not t
    if function is setValueAm or order == 0:
        assert quantity(result, x, order) == pytest.approx(val, rel=1e-12, abs=1e-12)
    np.testing.assert_array_equal(result.get_knotvector_asarray(), t.get_knotvector_asarray())
    assert t.__getstate__() == state


def test_the_two_forms_agree():
    t = cubic()
    for function in (setValueTr, setValueAm):
        assert function(t, Point1d(0.5, 2.0, 0)) == function(t, (0.5, 2.0, 0))
        assert function(t, Point1d(0.5, 2.0, 1)) == function(t, (0.5, 2.0, 1))


def test_shift_for_a_derivative_constraint_adds_the_difference():
    t = cubic()
    result = setValueTr(t, Point1d(0.5, 1.0, 1))
    np.testing.assert_allclose(cpts_of(result), cpts_of(t) + 1.0 - t.dpeval(0.5, 1), rtol=1e-14)
    assert result.dpeval(0.5, 1) == pytest.approx(t.dpeval(0.5, 1), rel=1e-13)


def test_scaling_for_an_antiderivative_constraint():
    velocity = cubic(order=1)
    result = setValueAm(velocity, (0.5, 2.0, 0))
    factor = 2.0 / velocity.antiderivative(1).peval(0.5)
    np.testing.assert_allclose(cpts_of(result), cpts_of(velocity) * factor, rtol=1e-14)
    assert result.antiderivative(1).peval(0.5) == pytest.approx(2.0, rel=1e-12)


@pytest.mark.parametrize("call, exception, message", [
    (lambda t: setValueTr(t, (0.5, 2.0, 0)), ValueError,
     "this method cannot be used to set a constraint on the n-th antiderivative"),
    (lambda t: setValueTr(t, Point1d(0.5, 2.0, 0)), ValueError,
     "this method cannot be used to set a constraint on the n-th antiderivative"),
    (lambda t: setValueAm(t, Point1d(0.5, 2.0, 5)), ZeroDivisionError, "float division by zero"),
    (lambda t: setValueAm(t, (1.0, 2.0, 1)), ZeroDivisionError, "float division by zero"),
    (lambda t: setValueTr(t, (2.0, 2.0, 1)), ValueError, "'x' out of domain: 2.0"),
    (lambda t: setValueAm(t, ("a", 2.0, 1)), TypeError, "must be real number, not str"),
    (lambda t: setValueTr(t, (0.5, 2.0, -1)), OverflowError,
     "can't convert negative value to unsigned int"),
])
def test_failures_leave_the_trajectory_unchanged(call, exception, message):
    # a velocity whose value at 1.0 is zero
    t = cubic([1.0, 2.0, -1.0, 3.0, 0.0], order=1)
    state = t.__getstate__()
    with pytest.raises(exception, match=f"^{message}$"):
        call(t)
    assert t.__getstate__() == state


def test_a_zero_value_clears_the_scaled_copy():
    t = cubic()
    assert not np.any(cpts_of(setValueAm(t, (0.5, 0.0, 0))))
    assert np.any(cpts_of(t))


# ---- choosing the form -----------------------------------------------------------------------


@pytest.mark.parametrize("function, trajectories", [
    (setValueTr, 1), (setValueAm, 1), (setValueSm, 2)])
@pytest.mark.parametrize("constraint", [[0.5, 2.0, 0], None, 5, "p", {"t": 0.5}])
def test_no_matching_signature(function, trajectories, constraint):
    t = cubic()
    args = (t,) * trajectories
    with pytest.raises(TypeError, match="^No matching signature found$"):
        function(*args, constraint)
    with pytest.raises(TypeError, match="^No matching signature found$"):
        function(*args, p=constraint)


@pytest.mark.parametrize("call, message", [
    (lambda t: setValueTr(t), "Expected at least 2 arguments, got 1"),
    (lambda t: setValueAm(t), "Expected at least 2 arguments, got 1"),
    (lambda t: setValueTr(), "Expected at least 2 arguments, got 0"),
    (lambda t: setValueAm(traj=t), "Expected at least 2 arguments, got 0"),
    (lambda t: setValueSm(t, t), "Expected at least 3 arguments, got 2"),
    (lambda t: setValueSm(t), "Expected at least 3 arguments, got 1"),
    (lambda t: setValueSm(traj1=t, traj2=t), "Expected at least 3 arguments, got 0"),
    (lambda t: setValueSm(t, traj2=t), "Expected at least 3 arguments, got 1"),
])
def test_a_missing_constraint(call, message):
    with pytest.raises(TypeError, match=f"^{message}$"):
        call(cubic())


@pytest.mark.parametrize("function, trajectories", [
    (setValueTr, 1), (setValueAm, 1), (setValueSm, 2)])
@pytest.mark.parametrize("constraint, type_name", [
    (Tuple((0.5, 2.0, 0)), "Tuple"), (Named(0.5, 2.0, 0), "Named")])
def test_the_tuple_form_takes_exactly_tuples(function, trajectories, constraint, type_name):
    t = cubic(OTHER_CPTS)
    state = t.__getstate__()
    message = f"^Argument 'p' has incorrect type \\(expected tuple, got {type_name}\\)$"
    with pytest.raises(TypeError, match=message):
        function(*(t,) * trajectories, constraint)
    assert t.__getstate__() == state


@pytest.mark.parametrize("function, trajectories", [
    (setValueTr, 1), (setValueAm, 1), (setValueSm, 2)])
def test_argument_counts_and_keywords_of_the_chosen_form(function, trajectories):
    t = cubic(OTHER_CPTS)
    args = (t,) * trajectories
    name = function.__name__
    with pytest.raises(TypeError, match=f"^{name}\\(\\) takes"):
        function(*args, Point1d(0.5, 2.0, 0), 1)
    with pytest.raises(TypeError, match=f"^{name}\\(\\) got an unexpected keyword argument 'q'$"):
        function(*args, (0.5, 2.0, 0), q=1)
    with pytest.raises(TypeError):
        function(*args, (0.5, 2.0, 0), p=(0.5, 2.0, 0))


@pytest.mark.parametrize("function, names", [
    (setValueTr, ["traj"]), (setValueAm, ["traj"]), (setValueSm, ["traj1", "traj2"])])
@pytest.mark.parametrize("constraint", [Point1d(0.5, 2.0, 0), (0.5, 2.0, 0)])
def test_trajectory_arguments_of_both_forms(function, names, constraint):
    t = cubic(OTHER_CPTS)
    for position, name in enumerate(names):
        for bad, type_name in [(None, "NoneType"), (5, "int"),
                               (Point1d(0, 0, 0), "pykesta.curvetypes.Point1d")]:
            args = [t] * len(names)
            args[position] = bad
            message = (f"^Argument '{name}' has incorrect type "
                       f"\\(expected pykesta.curvetypes.Trajectory1d, got {type_name}\\)$")
            with pytest.raises(TypeError, match=message):
                function(*args, constraint)


def test_keyword_forms():
    t1, t2 = cubic(), cubic(OTHER_CPTS)
    point = Point1d(0.5, 2.0, 0)
    expected = setValueTr(t1, point)
    assert setValueTr(traj=t1, p=point) == expected
    assert setValueTr(p=(0.5, 2.0, 0), traj=t1) == expected
    assert setValueAm(t1, p=point) == setValueAm(t1, point)
    assert setValueSm(p=point, traj2=t2.copy(), traj1=t1) == setValueSm(t1, t2.copy(), point)
    assert setValueSm(t1, traj2=t2.copy(), p=(0.5, 2.0, 0)) == setValueSm(t1, t2.copy(), point)


def test_a_point_subclass_takes_the_point_form():
    t1, t2 = cubic(), cubic(OTHER_CPTS)
    # the constraint's values are read through its properties
    result = setValueSm(t1, t2, ShiftedPoint(0.9, 9.0, 3))
    assert result(0.25) == pytest.approx(-3.0, rel=1e-12)
    assert setValueTr(t1, ShiftedPoint(0.9, 9.0, 3))(0.25) == pytest.approx(-3.0, rel=1e-12)


# ---- setValueSm ------------------------------------------------------------------------------


@pytest.mark.parametrize("constraint", [Point1d(0.5, 2.0, 0), (0.5, 2.0, 0)])
def test_sum_meets_the_constraint_and_scales_traj2(constraint):
    t1, t2 = cubic(), cubic(OTHER_CPTS, interior=(0.25, 0.75))
    state1, original2 = t1.__getstate__(), cpts_of(t2)
    result = setValueSm(t1, t2, constraint)
    assert type(result) is Trajectory1d and result not in (t1, t2)
    assert result(0.5) == pytest.approx(2.0, rel=1e-12)
    assert t2(0.5) == pytest.approx(2.0 - t1(0.5), rel=1e-12)
    factor = (2.0 - t1(0.5)) / cubic(original2, interior=(0.25, 0.75))(0.5)
    np.testing.assert_allclose(cpts_of(t2), original2 * factor, rtol=1e-13)
    xs = np.linspace(0.0, 1.0, 21)
    np.testing.assert_allclose(result(xs), t1(xs) + t2(xs), rtol=1e-12, atol=1e-12)
    assert t1.__getstate__() == state1
    # the union of the two knot vectors
    np.testing.assert_array_equal(result.get_knotvector_asarray(),
                                  clamped_knots([0.25, 0.5, 0.75], 3))


@pytest.mark.parametrize("constraint", [Point1d(0.5, 3.0, 1), (0.5, 3.0, 1), (0.3, -2.0, 2)])
def test_sum_meets_a_derivative_constraint(constraint):
    t1, t2 = cubic(), cubic(OTHER_CPTS)
    x, val, order = tuple(constraint) if isinstance(constraint, tuple) else (
        constraint.t, constraint.val, constraint.order)
    result = setValueSm(t1, t2, constraint)
    assert result.order == 0
    assert result.dpeval(x, order) == pytest.approx(val, rel=1e-12)
    assert t2.dpeval(x, order) == pytest.approx(val - t1.dpeval(x, order), rel=1e-12)


@pytest.mark.parametrize("order, constraint_order", [(1, 0), (2, 0), (2, 1), (3, 1)])
def test_sum_meets_an_antiderivative_constraint(order, constraint_order):
    t1, t2 = cubic(order=order), cubic(OTHER_CPTS, order=order)
    nu = constraint_order - order
    result = setValueSm(t1, t2, (0.5, 2.0, constraint_order))
    assert result.order == order
    assert quantity(result, 0.5, nu) == pytest.approx(2.0, rel=1e-12)
    assert quantity(t2, 0.5, nu) == pytest.approx(2.0 - quantity(t1, 0.5, nu), rel=1e-12)


def test_sum_refuses_different_orders_before_touching_anything():
    t1, t2 = cubic(), cubic(OTHER_CPTS, order=1)
    states = t1.__getstate__(), t2.__getstate__()
    for constraint in (Point1d(0.5, 2.0, 0), (0.5, 2.0, 0), ("bad", 2.0, 0)):
        with pytest.raises(ValueError, match="^the trajectories must have the same 'order'$"):
            setValueSm(t1, t2, constraint)
    assert (t1.__getstate__(), t2.__getstate__()) == states


@pytest.mark.parametrize("t2, message", [
    (make_trajectory(clamped_knots([0.5], 4), [1.0, 2.0, 0.5, 4.0, 3.0, 1.0], 4),
     "the input traiectories must have the same order"),
    (cubic(OTHER_CPTS, stop=2.0), "the input traiectories must have the same extremes of domain"),
])
def test_a_failing_sum_comes_after_traj2_is_scaled(t2, message):
    t1 = cubic()
    state1 = t1.__getstate__()
    with pytest.raises(ValueError, match=f"^{message}$"):
        setValueSm(t1, t2, Point1d(0.5, 2.0, 0))
    assert t2(0.5) == pytest.approx(2.0 - t1(0.5), rel=1e-12)
    assert t1.__getstate__() == state1


@pytest.mark.parametrize("constraint, exception, message", [
    # traj2 is zero at 1.0: the scaling step fails
    (Point1d(1.0, 2.0, 0), ZeroDivisionError, "float division by zero"),
    ((1.0, 2.0, 0), ZeroDivisionError, "float division by zero"),
    ((0.5, 2.0, -1), OverflowError, "can't convert negative value to unsigned int"),
    (("a", 2.0, 0), TypeError, "must be real number, not str"),
    ((1.5, 2.0, 0), ValueError, "'x' out of domain: 1.5"),
])
def test_failures_before_the_scaling_leave_traj2_unchanged(constraint, exception, message):
    t1, t2 = cubic(), cubic([1.0, 2.0, 0.5, 4.0, 0.0])
    states = t1.__getstate__(), t2.__getstate__()
    with pytest.raises(exception, match=f"^{message}$"):
        setValueSm(t1, t2, constraint)
    assert (t1.__getstate__(), t2.__getstate__()) == states


@st.composite
def constrained_pairs(draw):
    """Two trajectories of one degree, domain and order, and a constraint order."""
    first, second = draw(spline_pairs())
    order = draw(st.integers(0, 3))
    constraint_order = draw(st.integers(0, order + min(first.p, 3)))
    x = draw(inner_value(first, allow_knots=False))
    value = draw(st.floats(-100.0, 100.0))
    return first, second, order, Point1d(x, value, constraint_order)


def quantity_bound(spline, nu):
    """Bound of the quantity nu orders above (below) the spline's own."""
    if nu >= 0:
        return spline.derivative_scale(nu)
    return spline.scale() * spline.length ** -nu


@settings(max_examples=80, deadline=None)
@given(constrained_pairs(), st.booleans())
def test_sum_meets_random_constraints(case, as_tuple):
    first, second, order, point = case
    nu = point.order - order
    t1 = make_trajectory(first.U, first.P, first.p, order)
    t2 = make_trajectory(second.U, second.P, second.p, order)
    before = quantity(t2, point.t, nu)
    bound = max(quantity_bound(first, nu), quantity_bound(second, nu))
    # a subnormal value would scale traj2 past the largest double
    assume(abs(before) > max(1e-4 * bound, 1e-200))
    state1 = t1.__getstate__()
    constraint = (point.t, point.val, point.order) if as_tuple else point
    result = setValueSm(t1, t2, constraint)
    v = quantity(t1, point.t, nu)
    # traj2 is scaled by (val - v) / before, which scales its rounding errors too
    tolerance = 1e-9 * (abs(point.val) + bound * (1 + abs(point.val - v) / abs(before)))
    assert abs(quantity(result, point.t, nu) - point.val) <= tolerance
    assert abs(quantity(t2, point.t, nu) - (point.val - v)) <= tolerance
    assert (result.p, result.order) == (first.p, order)
    assert t1.__getstate__() == state1


# ---- redefinitions in subclasses -------------------------------------------------------------


class Recording(Trajectory1d):
    """Records the redefinitions reached; its copies are Recording objects too."""

    calls = []

    def copy(self):
        self.calls.append("copy")
        return make_trajectory(self.get_knotvector_asarray(), self.get_cpts_asarray(), self.p,
                               self.order, cls=Recording)

    def setValueTr(self, p):
        self.calls.append(("setValueTr", p))
        super().setValueTr(p)

    def setValueAm(self, p):
        self.calls.append(("setValueAm", p))
        super().setValueAm(p)

    def peval(self, x):
        self.calls.append("peval")
        return super().peval(x)

    def dpeval(self, x, nu=1):
        self.calls.append(("dpeval", nu))
        return super().dpeval(x, nu)

    def antiderivative(self, nu=1):
        self.calls.append(("antiderivative", nu))
        return super().antiderivative(nu)

    def c_splcsum(self, other):
        self.calls.append("c_splcsum")
        return super().c_splcsum(other)


@pytest.fixture
def calls():
    Recording.calls = []
    return Recording.calls


@pytest.mark.parametrize("function", [setValueTr, setValueAm])
@pytest.mark.parametrize("constraint", [Point1d(0.5, 2.0, 0), (0.5, 2.0, 0)])
def test_shift_and_scaling_reach_the_redefinitions(calls, function, constraint):
    t = cubic(cls=Recording)
    calls.clear()
    result = function(t, constraint)
    assert type(result) is Recording
    assert calls[0] == "copy"
    assert calls[1][0] == function.__name__ and calls[1][1] is constraint
    assert result(0.5) == pytest.approx(2.0, rel=1e-12)


@pytest.mark.parametrize("order, constraint_order, evaluation", [
    (0, 0, ["peval"]),
    (0, 2, [("dpeval", 2)]),
    (2, 1, [("antiderivative", 1)]),
])
def test_sum_reaches_the_redefinitions(calls, order, constraint_order, evaluation):
    t1 = cubic(order=order, cls=Recording)
    t2 = cubic(OTHER_CPTS, order=order, cls=Recording)
    calls.clear()
    result = setValueSm(t1, t2, (0.5, 2.0, constraint_order))
    assert calls[:len(evaluation) + 1] == ["copy"] + evaluation
    scaling = calls[len(evaluation) + 1]
    assert scaling[0] == "setValueAm" and type(scaling[1]) is Point1d
    assert (scaling[1].t, scaling[1].order) == (0.5, constraint_order)
    assert calls[-1] == "c_splcsum"
    assert type(result) is Trajectory1d
    assert quantity(result, 0.5, constraint_order - order) == pytest.approx(2.0, rel=1e-12)
