"""Domain transforms of Trajectory1d: rshift, ashift, hscale and adapt, in place on
the knot vector only."""

import os

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kernel_strategies import Spline, assert_close, clamped_splines, domain_points
from pykesta.curvetypes import Trajectory1d
from trajectory_factory import make_trajectory


def knots_of(t):
    return t.get_knotvector_asarray().copy()


def linear(knots):
    """A degree-1 trajectory on the given clamped knots."""
    return make_trajectory(knots, np.arange(len(knots) - 2, dtype=float), 1)


def quadratic():
    return make_trajectory([0, 0, 0, 1, 2, 2, 2], [1.0, -2.0, 3.0, 0.5], 2)


def spline_of(t):
    return Spline(knots_of(t), t.get_cpts_asarray().copy(), t.p)


# ---- literal cases -------------------------------------------------------------------

@pytest.mark.parametrize("operation, expected", [
    (lambda t: t.rshift(1.5), [1.5, 1.5, 1.5, 2.5, 3.5, 3.5, 3.5]),
    (lambda t: t.ashift(5), [5, 5, 5, 6, 7, 7, 7]),
    (lambda t: t.hscale(0.5), [0, 0, 0, 0.5, 1, 1, 1]),
    (lambda t: t.adapt(-1, 3), [-1, -1, -1, 1, 3, 3, 3]),
])
def test_only_the_knots_change(operation, expected):
    t = quadratic()
    state = t.__getstate__()
    assert operation(t) is None
    np.testing.assert_array_equal(knots_of(t), expected)
    assert t.__getstate__()[1:] == state[1:]


@pytest.mark.parametrize("k, expected", [
    (2, [1, 1, 3, 5, 5]),
    (1, [1, 1, 2, 3, 3]),
    (0, [1, 1, 1, 1, 1]),
    (-1, [1, 1, 0, -1, -1]),
])
def test_hscale_keeps_the_start(k, expected):
    t = linear([1, 1, 2, 3, 3])
    t.hscale(k)
    np.testing.assert_array_equal(knots_of(t), expected)


@pytest.mark.parametrize("start, stop, expected", [
    (10, 20, [10, 10, 15, 20, 20]),
    (0, 4, [0, 0, 2, 4, 4]),
    (-2, -1, [-2, -2, -1.5, -1, -1]),
])
def test_adapt(start, stop, expected):
    t = linear([0, 0, 1, 2, 2])
    t.adapt(start, stop)
    np.testing.assert_array_equal(knots_of(t), expected)


def test_adapt_by_keyword():
    t = linear([0, 0, 1, 2, 2])
    t.adapt(stop=20, start=10)
    np.testing.assert_array_equal(knots_of(t), [10, 10, 15, 20, 20])


@pytest.mark.parametrize("start, stop", [(3, 3), (4, 3), (0.0, -0.0)])
def test_adapt_needs_an_increasing_domain(start, stop):
    t = linear([0, 0, 1, 2, 2])
    with pytest.raises(ValueError, match=r"^'stop' must be strictly greater than 'start'$"):
        t.adapt(start, stop)
    np.testing.assert_array_equal(knots_of(t), [0, 0, 1, 2, 2])


def test_adapt_of_a_zero_width_domain_divides_by_zero():
    t = linear([1, 1, 1, 1])
    with pytest.raises(ZeroDivisionError):
        t.adapt(0, 1)
    np.testing.assert_array_equal(knots_of(t), [1, 1, 1, 1])


@pytest.mark.parametrize("operation", [
    lambda t: t.rshift("a"),
    lambda t: t.ashift(None),
    lambda t: t.hscale([2.0]),
    lambda t: t.adapt("0", 1),
    lambda t: t.adapt(0, object()),
])
def test_conversion_errors_change_nothing(operation):
    t = quadratic()
    state = t.__getstate__()
    with pytest.raises(TypeError):
        operation(t)
    assert t.__getstate__() == state


@pytest.mark.parametrize("call, message", [
    (lambda t: t.rshift(x=1.0), r"rshift\(\) takes no keyword arguments$"),
    (lambda t: t.ashift(), r"ashift\(\) takes exactly one argument \(0 given\)$"),
    (lambda t: t.hscale(1.0, 2.0), r"hscale\(\) takes exactly one argument \(2 given\)$"),
    (lambda t: t.adapt(1.0), r"^adapt\(\) takes exactly 2 positional arguments \(1 given\)$"),
    (lambda t: t.adapt(1.0, 2.0, 3.0),
     r"^adapt\(\) takes exactly 2 positional arguments \(3 given\)$"),
    (lambda t: t.adapt(1.0, end=2.0), r"^adapt\(\) got an unexpected keyword argument 'end'$"),
])
def test_argument_forms(call, message):
    t = quadratic()
    state = t.__getstate__()
    with pytest.raises(TypeError, match=message):
        call(t)
    assert t.__getstate__() == state


def test_empty_trajectory():
    t = Trajectory1d()
    t.rshift(1.0)
    t.hscale(2.0)
    with pytest.raises(TypeError, match="unsupported operand"):
        t.ashift(1.0)
    with pytest.raises(TypeError, match="unsupported operand"):
        t.adapt(0.0, 1.0)
    assert t.start is None and t.get_knotvector_asarray() is None


def test_adapt_without_shift_when_the_start_stays():
    # A shift by zero would still turn -0.0 into 0.0.
    t = linear([-0.0, -0.0, 1, 2, 2])
    t.adapt(-0.0, 4)
    assert np.signbit(knots_of(t)[0])


def test_views_see_the_change():
    t = quadratic()
    view = t.get_knotvector_asarray()
    t.rshift(1.0)
    np.testing.assert_array_equal(view, [1, 1, 1, 2, 3, 3, 3])


@pytest.mark.parametrize("method, text_signature, texts", [
    ("rshift", "($self, x, /)",
     ["Relative translation of 'self' along x-axis.", "Translation value."]),
    ("ashift", "($self, x, /)", ["Reference x-coordinate."]),
    ("hscale", "($self, k, /)",
     ["Scales 'self' horizontally keeping the start of the domain fixed.", "Scale factor."]),
    ("adapt", "($self, /, start, stop)",
     ["Adapts 'self' in a new domain.", "New domain start.",
      "New domain stop. Must be greather than 'start'."]),
])
def test_documentation(method, text_signature, texts):
    assert getattr(Trajectory1d, method).__text_signature__ == text_signature
    assert all(text in getattr(Trajectory1d, method).__doc__ for text in texts)


# ---- arithmetic forms ----------------------------------------------------------------

def any_splines():
    return clamped_splines(max_control_points=15)


@settings(max_examples=40, deadline=None)
@given(any_splines(), st.floats(-1e3, 1e3))
def test_rshift_adds_to_every_knot(spline, x):
    t = make_trajectory(spline.U, spline.P, spline.p)
    t.rshift(x)
    np.testing.assert_array_equal(knots_of(t), spline.U + x)


@settings(max_examples=40, deadline=None)
@given(any_splines(), st.floats(-1e3, 1e3))
def test_ashift_moves_the_start_to_x(spline, x):
    t = make_trajectory(spline.U, spline.P, spline.p)
    t.ashift(x)
    np.testing.assert_array_equal(knots_of(t), spline.U + (x - spline.U[0]))


@settings(max_examples=40, deadline=None)
@given(any_splines(), st.floats(-10.0, 10.0))
def test_hscale_arithmetic(spline, k):
    t = make_trajectory(spline.U, spline.P, spline.p)
    t.hscale(k)
    expected = k * spline.U - (k - 1.0) * spline.U[0]
    expected[0] = spline.U[0]
    np.testing.assert_array_equal(knots_of(t), expected)


@settings(max_examples=40, deadline=None)
@given(any_splines(), st.floats(-100.0, 100.0), st.floats(0.01, 100.0))
def test_adapt_arithmetic(spline, start, width):
    stop = start + width
    t = make_trajectory(spline.U, spline.P, spline.p)
    t.adapt(start, stop)
    k = (stop - start) / (spline.U[-1] - spline.U[0])
    expected = k * spline.U - (k - 1.0) * spline.U[0]
    expected[0] = spline.U[0]
    if spline.U[0] != start:
        expected = expected + (start - spline.U[0])
    np.testing.assert_array_equal(knots_of(t), expected)


def away_from_knots(points, spline):
    """The points not within rounding of a knot, where a moved knot could fall on
    either side of a moved point (a step of a degree-0 curve, say)."""
    distance = np.min(np.abs(points[:, None] - spline.U[None, :]), axis=1)
    return points[distance > 1e-9 * spline.length]


# ---- the curve keeps its values at the mapped times ----------------------------------

@settings(max_examples=40, deadline=None)
@given(any_splines(), st.floats(-100.0, 100.0), st.floats(0.01, 100.0))
def test_adapt_maps_the_curve_linearly(spline, start, width):
    t = make_trajectory(spline.U, spline.P, spline.p)
    t.adapt(start, start + width)
    moved = spline_of(t)
    before = away_from_knots(domain_points(spline, dense=41), spline)
    after = moved.start + (before - spline.start) * (moved.length / spline.length)
    np.testing.assert_array_equal(moved.P, spline.P)
    # Rounding may leave the clamped end knots a few ulps apart, out of order even,
    # which scipy refuses: the trajectory evaluates itself.
    assert_close(t(after), spline.oracle()(before), spline.scale(), rtol=1e-8)
    assert abs(moved.stop - (start + width)) <= 1e-12 * max(abs(start), width, 1.0) * 10


@settings(max_examples=30, deadline=None)
@given(any_splines(), st.floats(-50.0, 50.0), st.floats(0.1, 10.0))
def test_shift_and_scale_keep_values(spline, x, k):
    t = make_trajectory(spline.U, spline.P, spline.p)
    t.rshift(x)
    t.hscale(k)
    points = away_from_knots(domain_points(spline, dense=31), spline)
    mapped = (spline.start + x) + k * (points - spline.start)
    assert_close(t(mapped), spline.oracle()(points), spline.scale(), rtol=1e-8)


# ---- dispatch and redefinitions ------------------------------------------------------

class Plain(Trajectory1d):
    pass


class ShiftTwice(Trajectory1d):
    def rshift(self, x):
        super().rshift(2 * x)

    def adapt(self, start, stop):
        super().adapt(start, stop)
        super().rshift(1.0)


class LateStart(Trajectory1d):
    """Reports its domain as starting one unit later than its first knot."""

    @property
    def start(self):
        return super().start + 1.0


def test_subclass_without_redefinitions():
    t = make_trajectory([0, 0, 1, 2, 2], [0.0, 1.0, 2.0], 1, cls=Plain)
    t.rshift(1.0)
    t.hscale(2.0)
    t.ashift(0.0)
    t.adapt(0.0, 2.0)
    np.testing.assert_array_equal(knots_of(t), [0, 0, 1, 2, 2])


def test_subclass_calling_super():
    t = make_trajectory([0, 0, 1, 2, 2], [0.0, 1.0, 2.0], 1, cls=ShiftTwice)
    t.rshift(1.0)
    np.testing.assert_array_equal(knots_of(t), [2, 2, 3, 4, 4])
    t.adapt(0.0, 4.0)
    np.testing.assert_array_equal(knots_of(t), [1, 1, 3, 5, 5])


def test_start_and_stop_are_read_as_attributes():
    t = make_trajectory([0, 0, 1, 2, 2], [0.0, 1.0, 2.0], 1, cls=LateStart)
    t.ashift(5.0)  # shifts by 5 - 1
    np.testing.assert_array_equal(knots_of(t), [4, 4, 5, 6, 6])
    # k = (2 - 0) / (6 - 5) scales about the first knot to [4, 4, 6, 8, 8]; the
    # start then reads 5, which differs from 0, so the knots move by 0 - 5.
    t.adapt(0.0, 2.0)
    np.testing.assert_array_equal(knots_of(t), [-1, -1, 1, 3, 3])


# ---- decreasing knot vectors ---------------------------------------------------------

def test_decreasing_knot_vectors_do_not_crash(run_python):
    script = """
        import math
        import numpy as np
        from trajectory_factory import make_trajectory

        def attempt(operation):
            try:
                operation()
            except (ValueError, ZeroDivisionError):
                pass

        changes = [
            lambda t: t.hscale(-1.0),
            lambda t: t.hscale(0.0),
            lambda t: t.hscale(math.nan),
            lambda t: (t.hscale(-1.0), t.adapt(0.0, 1.0)),
            lambda t: (t.hscale(-2.0), t.rshift(1.0)),
        ]
        for change in changes:
            for p in range(4):
                knots = np.concatenate([[0.0] * (p + 1), [0.5, 1.5], [3.0] * (p + 1)])
                t = make_trajectory(knots, np.linspace(-1.0, 2.0, p + 3), p, order=1)
                change(t)
                for x in (-4.0, -3.0, -1.0, 0.0, 0.5, 1.0, math.nan):
                    attempt(lambda: t.peval(x))
                    attempt(lambda: t.dpeval(x, 1))
                    attempt(lambda: t(x, 2))
                    attempt(lambda: t.knotins(x, p))
                    attempt(lambda: t.knotrem(x, 2, 1.0))
                    attempt(lambda: t.knotrem_notol(x, 2))
                attempt(lambda: t(np.linspace(-3.0, 3.0, 7)))
                attempt(lambda: t(np.linspace(-3.0, 3.0, 7), 2))
                attempt(lambda: t.derivative(2))
                attempt(lambda: t.antiderivative())
                attempt(lambda: t.degelev(2))
                attempt(lambda: t.knotref(np.array([-2.0, -1.0, 1.0])))
                attempt(lambda: t.knotsrem(1.0))
                attempt(lambda: t.get_xcpts())
        print("survived")
        """
    path = os.pathsep.join([os.path.dirname(__file__), os.environ.get("PYTHONPATH", "")])
    done = run_python(script, env=dict(os.environ, PYTHONPATH=path))
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "survived"
