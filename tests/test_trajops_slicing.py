"""trajsli cuts a trajectory in two at a time; mirror reflects it in time about the
end of its domain."""

import os
import threading

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kernel_strategies import Spline, assert_close, clamped_splines, inner_value
from pykesta.curvetypes import Trajectory1d
from pykesta.trajops import join, mirror, rshift, trajsli
from trajectory_factory import clamped_knots, make_trajectory

CPTS = [1.0, -2.0, 3.0, 0.5, 2.0, 4.0]
TESTS = os.path.dirname(os.path.abspath(__file__))


def knots_of(t):
    return t.get_knotvector_asarray().copy()


def cpts_of(t):
    return t.get_cpts_asarray().copy()


def on_zero_to_two(order=0):
    """Degree 2 on [0, 2] with a double interior knot at 1."""
    return make_trajectory(clamped_knots([0.5, 1.0, 1.0], 2, 0.0, 2.0), CPTS, 2, order)


def grid(start, stop, count=33):
    return np.linspace(start, stop, count)


# ---- trajsli: literal cases ------------------------------------------------------------------


def test_slicing_inside_the_domain():
    t = on_zero_to_two()
    state = t.__getstate__()
    left, right = trajsli(t, 0.5)
    assert type(left) is Trajectory1d and type(right) is Trajectory1d
    assert (left.start, left.stop, right.start, right.stop) == (0.0, 0.5, 0.5, 2.0)
    np.testing.assert_array_equal(knots_of(left)[-3:], [0.5] * 3)
    np.testing.assert_array_equal(knots_of(right)[:3], [0.5] * 3)
    np.testing.assert_allclose(left(grid(0.0, 0.5)), t(grid(0.0, 0.5)), rtol=1e-13, atol=1e-13)
    np.testing.assert_allclose(right(grid(0.5, 2.0)), t(grid(0.5, 2.0)), rtol=1e-13, atol=1e-13)
    assert t.__getstate__() == state


def test_pieces_are_complete_owning_trajectories():
    t = make_trajectory(clamped_knots([0.5, 1.0, 1.0], 2, 0.0, 2.0), CPTS, 2, 3, owner=False)
    left, right = trajsli(t, 0.25)
    for piece in (left, right):
        assert (piece.p, piece.order) == (2, 3)
        assert piece._getAttrib()["owner"] == "True"
    # knots before the cut, then the cut p + 1 times; the cut p + 1 times, then those after it
    np.testing.assert_array_equal(knots_of(left), [0, 0, 0, 0.25, 0.25, 0.25])
    np.testing.assert_array_equal(knots_of(right), [0.25] * 3 + [0.5, 1, 1, 2, 2, 2])
    assert (left.n, right.n) == (2, 5)


def test_slicing_at_an_interior_knot_keeps_the_control_points():
    t = on_zero_to_two()
    left, right = trajsli(t, 1.0)
    np.testing.assert_array_equal(knots_of(left), [0, 0, 0, 0.5, 1, 1, 1])
    np.testing.assert_array_equal(knots_of(right), [1, 1, 1, 2, 2, 2])
    np.testing.assert_allclose(cpts_of(left), CPTS[:4], rtol=1e-14)
    np.testing.assert_allclose(cpts_of(right), CPTS[3:], rtol=1e-14)


@pytest.mark.parametrize("x, empty", [(0.0, 0), (2.0, 1)])
def test_slicing_at_an_end_gives_one_zero_length_piece(x, empty):
    t = on_zero_to_two()
    state = t.__getstate__()
    pieces = trajsli(t, x)
    point, whole = pieces[empty], pieces[1 - empty]
    assert (point.start, point.stop) == (x, x)
    assert np.all(knots_of(point) == x)
    assert point.p == 2 and len(knots_of(point)) == point.n + point.p + 2
    assert point(x) == pytest.approx(t(x), abs=1e-13)
    assert (whole.start, whole.stop) == (0.0, 2.0)
    np.testing.assert_allclose(whole(grid(0.0, 2.0)), t(grid(0.0, 2.0)), rtol=1e-13, atol=1e-13)
    assert t.__getstate__() == state


@pytest.mark.parametrize("x, text", [
    (-1.0, "-1.0"), (2.0000001, "2.0000001"), (-1e-300, "-1e-300"), (float("inf"), "inf"),
    (3, "3.0"),
])
def test_slicing_outside_the_domain(x, text):
    with pytest.raises(ValueError, match=f"^'x' out of domain: {text}$"):
        trajsli(on_zero_to_two(), x)


def test_slicing_by_keyword():
    t = on_zero_to_two()
    left, right = trajsli(x=1.5, traj=t)
    assert (left.stop, right.start) == (1.5, 1.5)


def test_slicing_an_empty_trajectory_fails():
    # its start reads None, which cannot be compared with x
    with pytest.raises(TypeError):
        trajsli(Trajectory1d(), 0.0)


def test_slicing_refuses_none():
    message = ("^Argument 'traj' has incorrect type "
               "\\(expected pykesta.curvetypes.Trajectory1d, got NoneType\\)$")
    with pytest.raises(TypeError, match=message):
        trajsli(None, 0.5)


# ---- trajsli: random trajectories ------------------------------------------------------------


def expected_pieces(spline: Spline, x: float):
    """Knots of the two pieces: those before / after x, with x p + 1 times at the cut."""
    cut = [x] * (spline.p + 1)
    return (np.concatenate([spline.U[spline.U < x], cut]),
            np.concatenate([cut, spline.U[spline.U > x]]))


@st.composite
def spline_and_cut(draw):
    spline = draw(clamped_splines(degrees=range(1, 6), max_control_points=25))
    return spline, draw(inner_value(spline))


@settings(max_examples=60, deadline=None)
@given(spline_and_cut())
def test_pieces_against_the_input(case):
    spline, x = case
    t = make_trajectory(spline.U, spline.P, spline.p)
    left, right = trajsli(t, x)
    left_knots, right_knots = expected_pieces(spline, x)
    np.testing.assert_array_equal(knots_of(left), left_knots)
    np.testing.assert_array_equal(knots_of(right), right_knots)
    assert (left.n, right.n) == (len(left_knots) - spline.p - 2, len(right_knots) - spline.p - 2)
    oracle, scale = spline.oracle(), spline.scale()
    on_left, on_right = grid(spline.start, x), grid(x, spline.stop)
    assert_close(left(on_left), oracle(on_left), scale)
    assert_close(right(on_right), oracle(on_right), scale)
    # the pieces are B-splines in their own right: scipy agrees with their arrays
    assert_close(left(on_left), Spline(knots_of(left), cpts_of(left), left.p).oracle()(on_left),
                 scale)


@settings(max_examples=60, deadline=None)
@given(spline_and_cut())
def test_slicing_then_joining_evaluates_like_the_input(case):
    spline, x = case
    t = make_trajectory(spline.U, spline.P, spline.p)
    rejoined = join(*trajsli(t, x))
    assert (rejoined.start, rejoined.stop) == (spline.start, spline.stop)
    points = grid(spline.start, spline.stop, 101)
    assert_close(rejoined(points), spline.oracle()(points), spline.scale())


@settings(max_examples=30, deadline=None)
@given(clamped_splines(degrees=range(0, 6), max_control_points=25), st.booleans())
def test_slicing_at_either_end_of_random_trajectories(spline, at_start):
    t = make_trajectory(spline.U, spline.P, spline.p)
    x = spline.start if at_start else spline.stop
    left, right = trajsli(t, x)
    point, whole = (left, right) if at_start else (right, left)
    assert np.all(knots_of(point) == x)
    assert_close(point(x), spline.oracle()(x), spline.scale())
    points = grid(spline.start, spline.stop)
    assert_close(whole(points), t(points), spline.scale())


# ---- mirror ----------------------------------------------------------------------------------


@pytest.mark.parametrize("knots, p, mirrored", [
    ([0, 0, 0, 1, 2, 2, 2], 2, [2, 2, 2, 3, 4, 4, 4]),
    ([0, 0, 0, 1, 3, 3, 3], 2, [3, 3, 3, 5, 6, 6, 6]),
    ([0, 0, 0, 0.5, 1, 1, 2, 2, 2], 2, [2, 2, 2, 3, 3, 3.5, 4, 4, 4]),
    # no interior knots: p + 1 copies of stop, then of 2 stop - start
    ([-1, -1, -1, 1, 1, 1], 2, [1, 1, 1, 3, 3, 3]),
    ([5.0, 6.0], 0, [6.0, 7.0]),
])
def test_mirror_reflects_the_knots_and_reverses_the_control_points(knots, p, mirrored):
    cpts = np.arange(1.0, len(knots) - p)
    t = make_trajectory(knots, cpts, p, order=1)
    state = t.__getstate__()
    result = mirror(t)
    assert type(result) is Trajectory1d and result is not t
    np.testing.assert_array_equal(knots_of(result), mirrored)
    np.testing.assert_array_equal(cpts_of(result), cpts[::-1])
    assert (result.p, result.n, result.order) == (t.p, t.n, 1)
    assert result._getAttrib()["owner"] == "True"
    assert t.__getstate__() == state


def test_mirror_of_mirror_is_shifted_by_twice_the_length():
    t = on_zero_to_two()
    twice = mirror(mirror(t))
    assert (twice.start, twice.stop) == (4.0, 6.0)
    assert twice == rshift(t, 4.0)


def test_mirror_takes_one_positional_trajectory():
    message = ("^Argument 'traj' has incorrect type "
               "\\(expected pykesta.curvetypes.Trajectory1d, got NoneType\\)$")
    with pytest.raises(TypeError, match=message):
        mirror(None)


def test_mirror_of_an_empty_trajectory_fails():
    with pytest.raises(ValueError):
        mirror(Trajectory1d())


@settings(max_examples=60, deadline=None)
@given(clamped_splines(degrees=range(0, 6), max_control_points=30), st.integers(0, 4))
def test_mirror_against_scipy(spline, order):
    t = make_trajectory(spline.U, spline.P, spline.p, order)
    result = mirror(t)
    start, stop = spline.start, spline.stop
    reflected = 2 * stop - spline.U[::-1]
    knots = knots_of(result)
    # the p + 1 knots at each end are exact, the interior ones accumulate span lengths
    np.testing.assert_array_equal(knots[:spline.p + 1], stop)
    np.testing.assert_array_equal(knots[-spline.p - 1:], stop + stop - start)
    assert_close(knots, reflected, max(np.max(np.abs(reflected)), 1.0), 1e-13)
    np.testing.assert_array_equal(cpts_of(result), spline.P[::-1])
    assert (result.p, result.n, result.order) == (spline.p, spline.n, order)
    # values: the input's at 2 stop - s, away from the knots where degree 0 jumps
    breaks = np.unique(reflected)
    inside = (breaks[:-1, None] + np.array([0.2, 0.5, 0.8]) * np.diff(breaks)[:, None]).ravel()
    assert_close(result(inside), spline.oracle()(2 * stop - inside), spline.scale(), 1e-8)


@settings(max_examples=40, deadline=None)
@given(clamped_splines(degrees=range(0, 6), max_control_points=30))
def test_mirror_of_mirror_against_the_shifted_input(spline):
    t = make_trajectory(spline.U, spline.P, spline.p)
    twice = mirror(mirror(t))
    shift = 2 * (spline.stop - spline.start)
    assert (twice.p, twice.n, twice.order) == (t.p, t.n, t.order)
    np.testing.assert_array_equal(cpts_of(twice), spline.P)
    shifted = spline.U + shift
    assert_close(knots_of(twice), shifted, max(np.max(np.abs(shifted)), 1.0), 1e-13)


def test_mirror_from_several_threads():
    count = 20001
    knots = clamped_knots(np.linspace(0.0, 1.0, count - 3)[1:-1], 3)
    cpts = np.sin(np.arange(count - 1, dtype=float))
    t = make_trajectory(knots, cpts, 3)
    expected = mirror(t)
    results = []

    def work():
        results.extend(mirror(t) for _ in range(5))

    threads = [threading.Thread(target=work) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(results) == 20
    assert all(result == expected for result in results)


# ---- inputs outside the contract must not bring the interpreter down -------------------------


def test_odd_inputs_do_not_crash(run_python):
    script = f"""
        import math
        import sys

        sys.path.insert(0, {TESTS!r})
        from pykesta.trajops import mirror, trajsli
        from trajectory_factory import make_trajectory

        t = make_trajectory([0, 0, 0, 1, 2, 2, 2], [1.0, -2.0, 3.0, 0.5], 2)
        unsorted = make_trajectory([0, 0, math.nan, 1, 1], [1.0, 2.0, 3.0], 1)
        backwards = make_trajectory([2, 2, 1, 0, 0], [1.0, 2.0, 3.0], 1)
        calls = [lambda: trajsli(t, math.nan), lambda: trajsli(unsorted, 0.5),
                 lambda: mirror(unsorted), lambda: mirror(backwards),
                 lambda: trajsli(mirror(unsorted), 1.5)]
        for call in calls:
            try:
                result = call()
            except (ValueError, SystemError):
                continue
            for piece in result if isinstance(result, tuple) else (result,):
                piece.get_knotvector_asarray().sum() + piece.get_cpts_asarray().sum()
        print("done")
    """
    completed = run_python(script)
    assert completed.returncode == 0, completed.stderr
    assert completed.stdout == "done\n"
