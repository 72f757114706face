"""pykesta.from_arrays: the validating way to build a trajectory."""

import numpy as np
import pytest
from scipy.interpolate import BSpline

import pykesta


def test_builds_an_owning_trajectory_equal_to_scipy():
    knots = [0, 0, 0, 1, 2, 3, 3, 3]
    cpts = [0.0, 1.0, 3.0, 2.0, 5.0]
    t = pykesta.from_arrays(knots, cpts, 2, order=1)
    assert (t.p, t.n, t.order, t.start, t.stop) == (2, 4, 1, 0.0, 3.0)
    assert t._getAttrib()["owner"] == "True"
    xs = np.linspace(0, 3, 31)
    np.testing.assert_allclose(t(xs), BSpline(np.array(knots, float), cpts, 2)(xs), rtol=1e-13)


def test_inputs_are_copied():
    knots = np.array([0.0, 0.0, 1.0, 1.0])
    cpts = np.array([1.0, 2.0])
    t = pykesta.from_arrays(knots, cpts, 1)
    cpts[0] = 100.0
    assert t(0.0) == 1.0


@pytest.mark.parametrize("knots, cpts, p, message", [
    ([[0, 0, 1, 1]], [1, 2], 1, "'knots' must be one-dimensional"),
    ([0, 0, 1, 1], [[1, 2]], 1, "'cpts' must be one-dimensional"),
    ([0, 0, np.nan, 1], [1, 2], 1, "'knots' must hold finite values only"),
    ([0, 0, 1, 1], [1, np.inf], 1, "'cpts' must hold finite values only"),
    ([0, 0, 1, 1], [1, 2], -1, "'p' must be non-negative"),
    ([0, 0, 1, 1, 1], [1, 2], 1, "2 control points of degree 1 need 4 knots, got 5"),
    ([0, 0, 0, 1, 1, 1], [1, 2], 2, "a B-spline of degree 2 needs at least 3 control points"),
    ([0, 0, 2, 1, 3, 3], [1, 2, 3, 4], 1, "'knots' must be non-decreasing"),
    ([1, 1, 1, 1], [1, 2], 1, "the domain [knots[0], knots[-1]] must not be empty"),
])
def test_refuses_what_is_not_a_bspline(knots, cpts, p, message):
    with pytest.raises(ValueError) as info:
        pykesta.from_arrays(knots, cpts, p)
    assert str(info.value).startswith(message)


@pytest.mark.parametrize("p, order", [(1.5, 0), (1, "0")])
def test_integers_are_required(p, order):
    with pytest.raises(TypeError):
        pykesta.from_arrays([0, 0, 1, 1], [1, 2], p, order)


def test_negative_order_is_refused():
    with pytest.raises(ValueError, match="'order' must be non-negative"):
        pykesta.from_arrays([0, 0, 1, 1], [1, 2], 1, -1)
