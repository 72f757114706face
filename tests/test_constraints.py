"""Point constraints imposed in place: setValueTr (vertical shift) and
setValueAm (scaling), with a Point1d or a tuple, from the interpreter and
through the table of virtual operations."""

import ctypes
from collections import namedtuple

import numpy as np
import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st
from scipy.interpolate import BSpline

from pykesta import curvetypes
from pykesta.curvetypes import Point1d, Trajectory1d
from trajectory_factory import clamped_knots, make_trajectory

UINT32_MAX = 4294967295
METHODS = ["setValueTr", "setValueAm"]

KNOTS = clamped_knots([0.25, 0.5, 0.75], 3)
CPTS = [0.5, -1.0, 2.0, 3.5, 1.0, -0.5, 2.5]


def cubic(order=0, cls=Trajectory1d, cpts=CPTS):
    return make_trajectory(KNOTS, cpts, 3, order=order, cls=cls)


def oracle(t, nu=0):
    """scipy's value (nu = 0) or derivative of order nu of the trajectory."""
    spline = BSpline(t.get_knotvector_asarray().copy(), t.get_cpts_asarray().copy(), t.p)
    return lambda x: float(spline(x, nu)) if nu <= t.p else 0.0


def snapshot(t):
    return (t._sget_knotvector(), t._sget_cpts(), t.p, t.n, t.order)


def assert_shifted(t, before, shift):
    np.testing.assert_array_equal(t.get_knotvector_asarray(), np.frombuffer(before[0]))
    np.testing.assert_allclose(t.get_cpts_asarray(), np.frombuffer(before[1]) + shift,
                               rtol=1e-13, atol=1e-13)
    assert (t.p, t.n, t.order) == before[2:]


def assert_scaled(t, before, factor):
    np.testing.assert_array_equal(t.get_knotvector_asarray(), np.frombuffer(before[0]))
    np.testing.assert_allclose(t.get_cpts_asarray(), np.frombuffer(before[1]) * factor,
                               rtol=1e-13, atol=1e-13)
    assert (t.p, t.n, t.order) == before[2:]


def as_point(args):
    return Point1d(*args)


def as_tuple(args):
    return tuple(args)


def call_with_point(t, method, args):
    return getattr(t, method)(Point1d(*args))


def call_with_tuple(t, method, args):
    return getattr(t, method)(tuple(args))


CALLS = [call_with_point, call_with_tuple]


# ---- setValueTr ------------------------------------------------------------------------


@pytest.mark.parametrize("call", CALLS)
def test_shift_meets_a_value_constraint(call):
    t = cubic()
    before = snapshot(t)
    assert call(t, "setValueTr", (0.5, 2.0, 0)) is None
    assert t.peval(0.5) == pytest.approx(2.0, abs=1e-13)
    assert_shifted(t, before, 2.0 - oracle(cubic())(0.5))


@pytest.mark.parametrize("call", CALLS)
def test_shift_for_a_derivative_constraint_keeps_the_derivative(call):
    t = cubic()
    velocity = oracle(t, 1)(0.5)
    before = snapshot(t)
    call(t, "setValueTr", (0.5, 1.0, 1))
    assert_shifted(t, before, 1.0 - velocity)
    assert t.dpeval(0.5, 1) == pytest.approx(velocity, rel=1e-12)


def test_shift_relative_to_the_trajectory_order():
    t = cubic(order=2)
    before = snapshot(t)
    t.setValueTr((0.3, -4.0, 3))
    assert_shifted(t, before, -4.0 - oracle(cubic(), 1)(0.3))


def test_shift_above_the_degree_adds_the_value():
    t = cubic()
    before = snapshot(t)
    t.setValueTr(Point1d(0.3, 1.25, 4))
    assert_shifted(t, before, 1.25)


def test_shift_refuses_an_antiderivative_constraint():
    t = cubic(order=1)
    before = snapshot(t)
    with pytest.raises(ValueError) as info:
        t.setValueTr(Point1d(0.5, 2.0, 0))
    assert str(info.value) == (
        "this method cannot be used to set a constraint on the n-th antiderivative")
    assert snapshot(t) == before


# ---- setValueAm ------------------------------------------------------------------------


@pytest.mark.parametrize("call", CALLS)
def test_scaling_meets_a_value_constraint(call):
    t = cubic()
    before = snapshot(t)
    assert call(t, "setValueAm", (0.5, 3.0, 0)) is None
    assert t.peval(0.5) == pytest.approx(3.0, rel=1e-13)
    assert_scaled(t, before, 3.0 / oracle(cubic())(0.5))


@pytest.mark.parametrize("call", CALLS)
def test_scaling_meets_a_derivative_constraint(call):
    t = cubic()
    before = snapshot(t)
    call(t, "setValueAm", (0.5, 3.0, 1))
    assert t.dpeval(0.5, 1) == pytest.approx(3.0, rel=1e-12)
    assert_scaled(t, before, 3.0 / oracle(cubic(), 1)(0.5))


@pytest.mark.parametrize("constraint_order", [0, 1])
def test_scaling_meets_an_antiderivative_constraint(constraint_order):
    t = cubic(order=2)
    before = snapshot(t)
    integrals = 2 - constraint_order
    unscaled = t.antiderivative(integrals).peval(0.6)
    t.setValueAm((0.6, -1.5, constraint_order))
    assert_scaled(t, before, -1.5 / unscaled)
    assert t.antiderivative(integrals).peval(0.6) == pytest.approx(-1.5, rel=1e-12)


@pytest.mark.parametrize("nu", [0, 1])
def test_scaling_where_the_quantity_is_zero_fails(nu):
    # A line through zero at 0.5, and a constant whose derivative is zero.
    t = make_trajectory([0.0, 0.0, 1.0, 1.0], [-1.0, 1.0] if nu == 0 else [2.0, 2.0], 1)
    before = snapshot(t)
    with pytest.raises(ZeroDivisionError) as info:
        t.setValueAm(Point1d(0.5, 3.0, nu))
    assert str(info.value) == "float division by zero"
    assert snapshot(t) == before


def test_scaling_to_zero_clears_every_control_point():
    t = cubic()
    t.setValueAm((0.5, 0.0, 0))
    assert not t.get_cpts_asarray().any()


# ---- both methods: properties -------------------------------------------------------------


INTERIOR_KNOTS = (0.25, 0.5, 0.75)


@st.composite
def constrained_cubics(draw, max_nu):
    cpts = draw(st.lists(st.floats(-10, 10), min_size=7, max_size=7))
    nu = draw(st.integers(0, max_nu))
    x = draw(st.floats(0.0, 1.0))
    # The third derivative of a cubic jumps at its simple knots.
    assume(nu < 3 or x not in INTERIOR_KNOTS)
    val = draw(st.floats(-10, 10))
    return cpts, x, val, nu


@settings(max_examples=60, deadline=None)
@given(constrained_cubics(max_nu=4), st.sampled_from([as_point, as_tuple]))
def test_shift_matches_scipy(drawn, form):
    cpts, x, val, nu = drawn
    t = cubic(cpts=cpts)
    expected = np.array(cpts) + (val - oracle(t, nu)(x))
    t.setValueTr(form((x, val, nu)))
    scale = 1.0 + max(abs(c) for c in cpts) + abs(val)
    np.testing.assert_allclose(t.get_cpts_asarray(), expected, rtol=0,
                               atol=1e-12 * scale * 12**min(nu, 3))
    np.testing.assert_array_equal(t.get_knotvector_asarray(), KNOTS)
    if nu == 0:
        assert t.peval(x) == pytest.approx(val, abs=1e-12 * scale)


@settings(max_examples=60, deadline=None)
@given(constrained_cubics(max_nu=3), st.sampled_from([as_point, as_tuple]))
def test_scaling_meets_the_constraint_to_rounding(drawn, form):
    cpts, x, val, nu = drawn
    t = cubic(cpts=cpts)
    quantity = oracle(t, nu)(x)
    assume(abs(quantity) > 1e-3)
    expected = np.array(cpts) * (val / quantity)
    t.setValueAm(form((x, val, nu)))
    np.testing.assert_allclose(t.get_cpts_asarray(), expected, rtol=1e-9,
                               atol=1e-9 * np.abs(expected).max())
    assert t.dpeval(x, nu) == pytest.approx(val, rel=1e-8, abs=1e-10)


# ---- both methods: choosing the form and its failures ----------------------------------------


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("argument", [[0.5, 2.0, 0], None, 0.5, "abc", {"t": 0.5}])
def test_no_matching_signature(method, argument):
    t = cubic()
    before = snapshot(t)
    with pytest.raises(TypeError) as info:
        getattr(t, method)(argument)
    assert str(info.value) == "No matching signature found"
    assert snapshot(t) == before


@pytest.mark.parametrize("method", METHODS)
def test_missing_argument(method):
    with pytest.raises(TypeError) as info:
        getattr(cubic(), method)()
    assert str(info.value) == "Expected at least 2 arguments, got 1"


@pytest.mark.parametrize("method", METHODS)
def test_too_many_arguments(method):
    t = cubic()
    before = snapshot(t)
    with pytest.raises(TypeError) as info:
        getattr(t, method)(Point1d(0.5, 2.0, 0), 1)
    assert str(info.value) == method + "() takes exactly 1 positional argument (2 given)"
    assert snapshot(t) == before


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("args, kwargs", [((), {"p": (0.5, 2.0, 0)}),
                                          (((0.5, 2.0, 0),), {"q": 1})])
def test_the_constraint_is_positional_only(method, args, kwargs):
    t = cubic()
    before = snapshot(t)
    with pytest.raises(TypeError) as info:
        getattr(t, method)(*args, **kwargs)
    # The interpreter's own message, which names the class from 3.10 on.
    assert str(info.value).endswith(method + "() takes no keyword arguments")
    assert snapshot(t) == before


@pytest.mark.parametrize("method", METHODS)
def test_tuple_subclass_is_refused(method):
    Constraint = namedtuple("Constraint", "t val order")
    t = cubic()
    before = snapshot(t)
    with pytest.raises(TypeError) as info:
        getattr(t, method)(Constraint(0.5, 2.0, 0))
    assert str(info.value) == (
        "Argument 'p' has incorrect type (expected tuple, got Constraint)")
    assert snapshot(t) == before


class Failing(Point1d):
    @property
    def val(self):
        raise RuntimeError("no value")


FAILURES = [
    ((0.5, 2.0), IndexError, "tuple index out of range"),
    (("x", 2.0, 0), TypeError, "must be real number, not str"),
    ((0.5, 2.0, -1), OverflowError, "can't convert negative value to unsigned int"),
    (Point1d(0.5, 2.0, UINT32_MAX), OverflowError, "value too large to convert to int"),
    (Point1d(1.5, 2.0, 0), ValueError, "'x' out of domain: 1.5"),
    (Point1d(-0.5, 2.0, 1), ValueError, "'x' out of domain: -0.5"),
    (Failing(0.5, 2.0, 0), RuntimeError, "no value"),
]


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("argument, error, message", FAILURES)
def test_failures_leave_the_trajectory_unchanged(method, argument, error, message):
    t = cubic()
    before = snapshot(t)
    with pytest.raises(error) as info:
        getattr(t, method)(argument)
    assert str(info.value) == message
    assert snapshot(t) == before


def test_scaling_by_an_antiderivative_order_beyond_int32_is_refused():
    # nu = -2**31 fits the signed type, its negation does not.
    t = cubic(order=2**31)
    before = snapshot(t)
    with pytest.raises(OverflowError) as info:
        t.setValueAm((0.5, 1.0, 0))
    assert str(info.value) == "value too large to convert to int"
    assert snapshot(t) == before


@pytest.mark.parametrize("method", METHODS)
def test_an_empty_trajectory_is_refused(method):
    t = Trajectory1d()
    with pytest.raises(ValueError):
        getattr(t, method)(Point1d(0.5, 2.0, 0))
    assert snapshot(t) == (None, None, 0, 0, 0)


# ---- subclasses of Point1d ------------------------------------------------------------------


class Redirected(Point1d):
    """Answers with its own values, whatever the record holds; records the reads."""

    reads = []

    @property
    def t(self):
        self.reads.append("t")
        return 0.3

    @property
    def val(self):
        self.reads.append("val")
        return 4

    @property
    def order(self):
        self.reads.append("order")
        return 1


@pytest.fixture
def redirected():
    Redirected.reads = []
    return Redirected(0.9, -7.0, 0)


def test_shift_reads_the_point_properties(redirected):
    t = cubic()
    before = snapshot(t)
    t.setValueTr(redirected)
    assert_shifted(t, before, 4.0 - oracle(cubic(), 1)(0.3))
    assert Redirected.reads == ["order", "t", "val"]


def test_scaling_reads_the_point_properties(redirected):
    t = cubic()
    before = snapshot(t)
    t.setValueAm(redirected)
    assert_scaled(t, before, 4.0 / oracle(cubic(), 1)(0.3))
    assert Redirected.reads == ["order", "t", "val"]


def test_refused_shift_reads_only_the_order(redirected):
    t = cubic(order=2)
    with pytest.raises(ValueError):
        t.setValueTr(redirected)
    assert Redirected.reads == ["order"]


# ---- subclasses of Trajectory1d ----------------------------------------------------------------


class Offset(Trajectory1d):
    """Its derivatives read one more than the curve's, and its calls are recorded."""

    calls = []

    def dpeval(self, x, nu=1):
        self.calls.append(("dpeval", x, nu))
        return super().dpeval(x, nu) + 1.0


class ConstantIntegral(Trajectory1d):
    def peval(self, x):
        return 4.0


class Integrating(Trajectory1d):
    calls = []

    def antiderivative(self, nu=1):
        self.calls.append(("antiderivative", nu))
        return make_trajectory(clamped_knots([], 1), [0.0, 1.0], 1, cls=ConstantIntegral)


@pytest.mark.parametrize("nu", [0, 2])
def test_shift_reaches_a_redefined_dpeval(nu):
    Offset.calls = []
    t = cubic(cls=Offset)
    before = snapshot(t)
    t.setValueTr(Point1d(0.25, 2.0, nu))
    assert Offset.calls == [("dpeval", 0.25, nu)]
    assert_shifted(t, before, 2.0 - (oracle(cubic(), nu)(0.25) + 1.0))


def test_scaling_reaches_a_redefined_dpeval():
    Offset.calls = []
    t = cubic(cls=Offset)
    before = snapshot(t)
    t.setValueAm((0.25, 2.0, 0))
    assert Offset.calls == [("dpeval", 0.25, 0)]
    assert_scaled(t, before, 2.0 / (oracle(cubic())(0.25) + 1.0))


def test_scaling_reaches_a_redefined_antiderivative_and_its_peval():
    Integrating.calls = []
    t = cubic(order=3, cls=Integrating)
    before = snapshot(t)
    t.setValueAm(Point1d(0.25, 2.0, 1))
    assert Integrating.calls == [("antiderivative", 2)]
    assert_scaled(t, before, 0.5)


def test_a_failing_redefinition_leaves_the_trajectory_unchanged():
    class Refusing(Trajectory1d):
        def antiderivative(self, nu=1):
            raise ArithmeticError("refused")

    t = cubic(order=1, cls=Refusing)
    before = snapshot(t)
    with pytest.raises(ArithmeticError, match="^refused$"):
        t.setValueAm((0.5, 1.0, 0))
    assert snapshot(t) == before


def test_super_reaches_the_native_method():
    class Delegating(Trajectory1d):
        def setValueTr(self, p):
            super().setValueTr(p)

    t = cubic(cls=Delegating)
    t.setValueTr((0.5, 3.0, 0))
    assert t.peval(0.5) == pytest.approx(3.0, rel=1e-13)


# ---- table of virtual operations ----------------------------------------------------------------

POINTER = ctypes.sizeof(ctypes.c_void_p)
TRAJECTORY_TABLE = 5  # position of the Trajectory1d table in the published API record
# The four constraint entries close the Trajectory1d table.
ENTRIES = {("setValueTr", "point"): 35, ("setValueTr", "tuple"): 36,
           ("setValueAm", "point"): 37, ("setValueAm", "tuple"): 38}


def table_entry(method, form):
    get_pointer = ctypes.PYFUNCTYPE(ctypes.c_void_p, ctypes.py_object, ctypes.c_char_p)(
        ("PyCapsule_GetPointer", ctypes.pythonapi))
    api = get_pointer(curvetypes.__native_api__["api"],
                      b"const pykesta::curvetypes::CurvetypesAPI *")
    table = ctypes.c_void_p.from_address(api + TRAJECTORY_TABLE * POINTER).value
    entry = ctypes.c_void_p.from_address(table + ENTRIES[method, form] * POINTER).value
    return ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object, ctypes.py_object)(entry)


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("form, make", [("point", as_point), ("tuple", as_tuple)])
def test_table_entries_run_the_native_methods(method, form, make):
    t, expected = cubic(), cubic()
    assert table_entry(method, form)(t, make((0.5, 2.0, 1))) == 0
    getattr(expected, method)((0.5, 2.0, 1))
    assert snapshot(t) == snapshot(expected)


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("form, make", [("point", as_point), ("tuple", as_tuple)])
def test_table_entries_reach_redefined_methods(method, form, make):
    received = []

    def redefined(self, p):
        received.append(p)
        getattr(super(Redefining, self), method)(p)

    Redefining = type("Redefining", (Trajectory1d,), {method: redefined})
    t = cubic(cls=Redefining)
    constraint = make((0.5, 2.0, 0))
    assert table_entry(method, form)(t, constraint) == 0
    assert received == [constraint] and type(received[0]) is type(constraint)
    assert t.peval(0.5) == pytest.approx(2.0, rel=1e-13)


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize(
    "argument, error, message",
    [(namedtuple("Constraint", "t val order")(0.5, 2.0, 0), TypeError,
      "Argument 'p' has incorrect type (expected tuple, got Constraint)"),
     (None, TypeError, "'NoneType' object is not subscriptable")] +
    [(tuple(args), error, message) for args, error, message in FAILURES[:3]],
)
def test_tuple_entries_raise_the_method_errors(method, argument, error, message):
    t = cubic()
    before = snapshot(t)
    with pytest.raises(error) as info:
        table_entry(method, "tuple")(t, argument)
    assert str(info.value) == message
    assert snapshot(t) == before


@pytest.mark.parametrize("method", METHODS)
def test_point_entries_raise_the_method_errors(method):
    t = cubic(order=1)
    before = snapshot(t)
    with pytest.raises(ValueError, match="^'x' out of domain: 2.0$"):
        table_entry(method, "point")(t, Point1d(2.0, 1.0, 1))
    assert snapshot(t) == before
