"""Derivative, antiderivative and degree elevation of Trajectory1d: sizes, derivation
order, argument errors, and the curves compared with scipy.interpolate.BSpline."""

import gc

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kernel_strategies import MAX_DEGREE, Spline, assert_close, clamped_splines, domain_points
from pykesta.curvetypes import Trajectory1d
from trajectory_factory import make_trajectory


def spline_of(t):
    return Spline(t.get_knotvector_asarray().copy(), t.get_cpts_asarray().copy(), t.p)


def cubic(order=0):
    """A cubic with n = 5 on [0, 3]."""
    knots = [0, 0, 0, 0, 1, 2, 3, 3, 3, 3]
    return make_trajectory(knots, [1.0, -2.0, 0.5, 3.0, -1.0, 2.0], 3, order=order)


def sizes(t):
    return t.p, t.n, t.order, len(t.get_knotvector_asarray()), len(t.get_cpts_asarray())


# ---- sizes and derivation order ------------------------------------------------------

@pytest.mark.parametrize("nu, p, order", [(None, 2, 1), (1, 2, 1), (2, 1, 2), (3, 0, 3), (0, 3, 0)])
def test_derivative_degree_and_order(nu, p, order):
    t = cubic()
    d = t.derivative() if nu is None else t.derivative(nu)
    assert type(d) is Trajectory1d
    assert (d.p, d.order) == (p, order)
    assert len(d.get_knotvector_asarray()) == d.n + d.p + 2
    assert len(d.get_cpts_asarray()) == d.n + 1


def test_derivative_of_order_zero_is_a_copy():
    t = cubic(order=2)
    d = t.derivative(0)
    assert d.__getstate__() == t.__getstate__()
    assert not np.shares_memory(d.get_cpts_asarray(), t.get_cpts_asarray())


@pytest.mark.parametrize("nu", [4, 5, 1000, 2**31 - 1])
def test_derivative_above_the_degree_is_the_zero_function(nu):
    t = cubic(order=1)
    d = t.derivative(nu)
    assert sizes(d) == (0, 0, 1 + nu, 2, 1)
    np.testing.assert_array_equal(d.get_knotvector_asarray(), [0.0, 3.0])
    np.testing.assert_array_equal(d.get_cpts_asarray(), [0.0])
    assert d(1.5) == 0.0


def test_derivative_order_must_stay_unsigned_32_bit():
    t = make_trajectory([0, 1], [2.0], 0, order=2**32 - 2)
    assert t.derivative(1).order == 2**32 - 1
    with pytest.raises(OverflowError, match="^value too large to convert to unsigned int$"):
        t.derivative(2)


def test_antiderivative_sizes():
    a = cubic(order=2).antiderivative(2)
    assert sizes(a) == (5, 7, 0, 14, 8)
    assert sizes(cubic(order=1).antiderivative()) == (4, 6, 0, 12, 7)


def test_degree_elevation_sizes_and_values():
    knots = [0, 0, 0, 0, 1, 2, 2, 2, 2]
    t = make_trajectory(knots, [1.0, -2.0, 0.5, 3.0, -1.0], 3, order=1)
    e = t.degelev(1)
    assert sizes(e) == (4, 6, 1, 12, 7)
    points = np.linspace(0.0, 2.0, 41)
    np.testing.assert_allclose(e(points), t(points), rtol=0, atol=1e-13)
    assert sizes(t.degelev(0)) == sizes(t)
    assert sizes(t.degelev()) == sizes(e)


# ---- argument errors -----------------------------------------------------------------

@pytest.mark.parametrize("call, error, message", [
    (lambda t: t.derivative(-1), ValueError, "'nu' must be greater than or equal to zero: -1"),
    (lambda t: t.derivative(-2**31), ValueError,
     "'nu' must be greater than or equal to zero: -2147483648"),
    (lambda t: t.antiderivative(-1), ValueError,
     "'nu' must be greater than or equal to zero: -1"),
    (lambda t: t.antiderivative(), ValueError, "negative 'order' not allowed"),
    (lambda t: t.degelev(-1), ValueError, "'nu' must be non-negative number"),
    (lambda t: t.derivative(2**31), OverflowError, "value too large to convert to int"),
    (lambda t: t.antiderivative("1"), TypeError, "an integer is required"),
    (lambda t: t.degelev(None), TypeError, "an integer is required"),
    (lambda t: t.derivative(1, 2), TypeError,
     "derivative() takes at most 1 positional argument (2 given)"),
    (lambda t: t.degelev(n=1), TypeError, "degelev() got an unexpected keyword argument 'n'"),
])
def test_argument_errors(call, error, message):
    t = cubic()
    state = t.__getstate__()
    with pytest.raises(error) as raised:
        call(t)
    assert str(raised.value) == message
    assert t.__getstate__() == state


@pytest.mark.parametrize("order, nu", [(0, 1), (1, 2), (2, 3)])
def test_antiderivative_at_most_order_times(order, nu):
    with pytest.raises(ValueError, match="^negative 'order' not allowed$"):
        cubic(order=order).antiderivative(nu)
    assert cubic(order=order).antiderivative(order).order == 0


def test_keyword_form():
    t = cubic(order=2)
    assert t.derivative(nu=2).p == 1
    assert t.antiderivative(nu=2).p == 5
    assert t.degelev(nu=2).p == 5


@pytest.mark.parametrize("call, message", [
    (lambda t: t.derivative(), None),
    (lambda t: t.derivative(7), None),
    (lambda t: t.antiderivative(0), None),
    (lambda t: t.degelev(), None),
    # The tests on nu and order come first.
    (lambda t: t.derivative(-1), "'nu' must be greater than or equal to zero: -1"),
    (lambda t: t.antiderivative(), "negative 'order' not allowed"),
    (lambda t: t.degelev(-1), "'nu' must be non-negative number"),
])
def test_empty_trajectory(call, message):
    with pytest.raises(ValueError) as raised:
        call(Trajectory1d())
    if message is not None:
        assert str(raised.value) == message


@pytest.mark.parametrize("method, texts", [
    ("derivative", ["Returns a Trajectory1d object representing the derivative.",
                    "Derivative order. Default is 1."]),
    ("antiderivative", ["Returns a Trajectory1d object representing the antiderivative.",
                        "Antiderivative order. Default is 1."]),
    ("degelev", ["Increases the degree of the B-Spline interpolating the trajectory.",
                 "Number of degree elevation times.",
                 "New Trajectory1d object with the same shape and degree"]),
])
def test_documentation(method, texts):
    assert getattr(Trajectory1d, method).__text_signature__ == "($self, /, nu=1)"
    assert all(text in getattr(Trajectory1d, method).__doc__ for text in texts)


# ---- the curves, compared with scipy -------------------------------------------------

def smooth_splines(**kwargs):
    return clamped_splines(max_control_points=25, **kwargs)


@settings(max_examples=60, deadline=None)
@given(st.booleans().flatmap(lambda jumps: smooth_splines(discontinuous=jumps)), st.data())
def test_derivative_is_scipys(spline, data):
    nu = data.draw(st.integers(0, spline.p))
    order = data.draw(st.integers(0, 3))
    t = make_trajectory(spline.U, spline.P, spline.p, order=order)
    state = t.__getstate__()
    d = t.derivative(nu)
    assert t.__getstate__() == state
    assert (d.p, d.order) == (spline.p - nu, order + nu)
    assert d.n <= spline.n - nu
    points = domain_points(spline, dense=51)
    assert_close(spline_of(d).oracle()(points), spline.oracle()(points, nu=nu),
                 spline.derivative_scale(nu))


@settings(max_examples=60, deadline=None)
@given(smooth_splines(), st.integers(1, 3))
def test_antiderivative_is_scipys_and_zero_at_the_start(spline, nu):
    t = make_trajectory(spline.U, spline.P, spline.p, order=nu + 1)
    state = t.__getstate__()
    a = t.antiderivative(nu)
    assert t.__getstate__() == state
    assert (a.p, a.n, a.order) == (spline.p + nu, spline.n + nu, 1)
    integral = spline_of(a)
    scale = spline.scale() * max(spline.length, 1.0) ** nu
    assert abs(a.peval(spline.start)) <= 1e-12 * scale
    points = domain_points(spline, dense=51)
    expected = spline.oracle().antiderivative(nu)
    assert_close(integral.oracle()(points), expected(points) - expected(spline.start), scale)


@settings(max_examples=60, deadline=None)
@given(smooth_splines(), st.integers(1, 3))
def test_derivative_of_the_antiderivative_is_the_curve(spline, nu):
    t = make_trajectory(spline.U, spline.P, spline.p, order=nu)
    back = t.antiderivative(nu).derivative(nu)
    assert (back.p, back.order) == (t.p, t.order)
    points = domain_points(spline, dense=51)
    assert_close(back(points), t(points), spline.scale(), rtol=1e-9)


def distinct_interior_knots(U):
    return len(np.unique(U[(U > U[0]) & (U < U[-1])]))


@settings(max_examples=60, deadline=None)
@given(st.booleans().flatmap(lambda jumps: smooth_splines(discontinuous=jumps)),
       st.integers(0, 3), st.integers(0, 3))
def test_degree_elevation_keeps_the_curve(spline, nu, order):
    t = make_trajectory(spline.U, spline.P, spline.p, order=order)
    state = t.__getstate__()
    e = t.degelev(nu)
    assert t.__getstate__() == state
    s = distinct_interior_knots(spline.U)
    assert (e.p, e.n, e.order) == (spline.p + nu, spline.n + nu * (s + 1), order)
    points = domain_points(spline, dense=51)
    assert_close(spline_of(e).oracle()(points), spline.oracle()(points), spline.scale())


@pytest.mark.parametrize("operation", [
    lambda t: t.derivative(2),
    lambda t: t.antiderivative(1),
    lambda t: t.degelev(2),
])
def test_result_outlives_the_original(operation):
    t = cubic(order=1)
    result = operation(t)
    points = np.linspace(0.0, 3.0, 13)
    before = result(points)
    del t
    gc.collect()
    np.testing.assert_array_equal(result(points), before)


# ---- subclasses ----------------------------------------------------------------------

class Plain(Trajectory1d):
    pass


class Doubled(Trajectory1d):
    def derivative(self, nu=1):
        return super().derivative(2 * nu)

    def antiderivative(self, nu=1):
        return super().antiderivative(nu).degelev()

    def degelev(self, nu=1):
        return super().degelev(nu + 1)


@pytest.mark.parametrize("cls", [Plain, Doubled])
def test_subclasses(cls):
    t = make_trajectory(cubic().get_knotvector_asarray(), cubic().get_cpts_asarray(), 3,
                        order=2, cls=cls)
    extra = 1 if cls is Doubled else 0
    d = t.derivative()
    a = t.antiderivative()
    e = t.degelev()
    assert all(type(result) is Trajectory1d for result in (d, a, e))
    assert (d.p, d.order) == (2 - extra, 3 + extra)
    assert (a.p, a.order) == (4 + extra, 1)
    assert e.p == 4 + extra
    points = np.linspace(0.0, 3.0, 13)
    np.testing.assert_allclose(e(points), t(points), rtol=0, atol=1e-12)
    np.testing.assert_allclose(a.derivative()(points), t(points), rtol=0, atol=1e-12)


@pytest.mark.parametrize("p", range(MAX_DEGREE + 1))
def test_every_degree_up_to_the_highest(p):
    knots = np.concatenate([[0.0] * (p + 1), [0.25, 0.5], [1.0] * (p + 1)])
    t = make_trajectory(knots, np.linspace(-1.0, 1.0, p + 3) ** 2, p, order=p)
    points = np.linspace(0.0, 1.0, 9)[1:-1]
    for nu in range(p + 2):
        np.testing.assert_allclose(t.derivative(nu)(points), t(points, nu), rtol=1e-10, atol=1e-10)
    np.testing.assert_allclose(t.antiderivative(p).derivative(p)(points), t(points), atol=1e-12)
