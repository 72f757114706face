"""Conversion between trajectories and scipy's B-splines."""

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st
from scipy.interpolate import BSpline

import pykesta
from kernel_strategies import assert_close, clamped_splines, domain_points


@given(clamped_splines(), st.integers(0, 3))
def test_round_trips_are_exact(spline, order):
    traj = pykesta.from_bspline(spline.oracle(), order)
    back = pykesta.to_bspline(traj)
    assert (back.k, back.extrapolate) == (spline.p, False)
    assert np.array_equal(back.t, spline.U) and np.array_equal(back.c, spline.P)
    assert pykesta.from_bspline(back, traj.order) == traj
    points = domain_points(spline)
    assert_close(traj(points), back(points), spline.scale())


def test_coefficients_beyond_the_knots_are_ignored_as_scipy_does():
    b = BSpline([0, 0, 0, 1, 2, 2, 2], [1.0, 2.0, 0.5, 3.0, 9.0, 9.0], 2)
    traj = pykesta.from_bspline(b)
    assert traj.n + 1 == 4
    points = np.linspace(0, 2, 11)
    np.testing.assert_allclose(traj(points), b(points), rtol=1e-14)


def test_outside_the_domain_scipy_answers_nan():
    traj = pykesta.from_arrays([0, 0, 1, 1], [1.0, 2.0], 1)
    assert np.isnan(pykesta.to_bspline(traj)([-0.5, 1.5])).all()


@pytest.mark.parametrize("b, message", [
    (BSpline([0, 0, 1, 1], np.ones((2, 3)), 1), "one-dimensional"),
    (BSpline(np.arange(8.0), np.ones(4), 3), "clamped"),
    (BSpline([0, 0, 0, 1, 1, 2], np.ones(3), 2), "clamped"),
])
def test_what_a_trajectory_cannot_hold_is_refused(b, message):
    with pytest.raises(ValueError, match=message):
        pykesta.from_bspline(b)


def test_unclamped_and_empty_trajectories_are_refused():
    with pytest.raises(ValueError, match="clamped"):
        pykesta.to_bspline(pykesta.from_arrays([0, 1, 2, 3], [1.0, 2.0], 1))
    with pytest.raises(ValueError, match="no data"):
        pykesta.to_bspline(pykesta.Trajectory1d())
