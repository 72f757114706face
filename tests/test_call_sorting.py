"""The call operator on points in any order: the points it sorts for evaluation
and the results it puts back in the caller's order, on inputs chosen to strain
the sort (runs of keys that agree in all but their last bits, subnormals, signed
zeros, NaN) at sizes on either side of its thresholds."""

import numpy as np
import pytest
from scipy.interpolate import BSpline

from pykesta.curvetypes import Trajectory1d
from trajectory_factory import clamped_knots, make_trajectory

KNOTS = clamped_knots([0.3, 0.6], 3)
CPTS = [0.0, 1.0, 3.0, -2.0, 4.0, 1.0]
# Insertion sort below 32 keys; the interpreter lock released from 16384 points;
# positions take one bit more at each power of two.
SIZES = [2, 3, 31, 32, 33, 1024, 1025, 16383, 16384, 16385, 100_003]


class SortedPointsSeen(Trajectory1d):
    """Keeps a copy of the array the call operator hands to ceval."""

    def ceval(self, xp):
        self.seen = xp.copy()
        super().ceval(xp)


def adversarial(kind, m, rng):
    if kind == "reversed":
        return np.linspace(0.0, 1.0, m)[::-1].copy()
    if kind == "shuffled":
        return rng.permutation(np.linspace(0.0, 1.0, m))
    if kind == "shuffled with NaN last":  # a NaN among the points hides descents from the scan
        return np.append(rng.permutation(np.linspace(0.0, 1.0, m - 1)), np.nan)
    if kind == "two swaps":
        x = np.linspace(0.0, 1.0, m)
        x[[0, m - 1]] = x[[m - 1, 0]]
        x[[m // 2, m // 3]] = x[[m // 3, m // 2]]
        return x
    if kind == "neighbouring doubles":  # equal in all but the lowest bits of their keys
        return rng.permutation(0.5 + np.arange(m) * np.spacing(0.5))
    if kind == "subnormals and zero":
        return rng.permutation(np.arange(m) * 5e-324)
    if kind == "every exponent":
        return np.ldexp(rng.uniform(0.5, 1.0, m), -rng.integers(1, 1060, m))
    raise ValueError(kind)


KINDS = ["reversed", "shuffled", "shuffled with NaN last", "two swaps", "neighbouring doubles", "subnormals and zero",
         "every exponent"]


@pytest.mark.parametrize("m", SIZES)
@pytest.mark.parametrize("kind", KINDS)
def test_sorted_for_evaluation_and_returned_in_the_callers_order(kind, m):
    x = adversarial(kind, m, np.random.default_rng(m))
    assert len(np.unique(x)) == m
    t = make_trajectory(KNOTS, CPTS, 3, cls=SortedPointsSeen)
    values = t(x)
    np.testing.assert_array_equal(t.seen, np.sort(x))
    np.testing.assert_allclose(values, BSpline(KNOTS, CPTS, 3)(x), rtol=1e-13, atol=1e-13)


@pytest.mark.parametrize("m", SIZES)
@pytest.mark.parametrize("duplicate", ["all equal", "one pair", "signed zeros"])
def test_repeated_points_are_refused(duplicate, m):
    rng = np.random.default_rng(m)
    if duplicate == "all equal":
        x = np.full(m, 0.25)
    else:
        x = rng.permutation(np.linspace(0.0, 1.0, m))
        pair = rng.choice(m, 2, replace=False)
        x[pair] = (-0.0, 0.0) if duplicate == "signed zeros" else x[pair[0]]
    t = make_trajectory(KNOTS, CPTS, 3)
    with pytest.raises(ValueError, match="^'xp' must be increasing$"):
        t(x)


@pytest.mark.parametrize("m", [3, 33, 16385])
def test_nan_points_give_nan(m):
    rng = np.random.default_rng(m)
    x = rng.permutation(np.linspace(0.0, 1.0, m))
    holes = rng.choice(m, 2, replace=False)
    x[holes] = (np.nan, -np.nan)
    t = make_trajectory(KNOTS, CPTS, 3)
    values = t(x)
    assert np.isnan(values[holes]).all()
    kept = np.ones(m, bool)
    kept[holes] = False
    np.testing.assert_allclose(values[kept], BSpline(KNOTS, CPTS, 3)(x[kept]), rtol=1e-13,
                               atol=1e-13)


@pytest.mark.parametrize("x", [[0.5], [0.75, 0.25], [1.0, 0.0]])
def test_one_and_two_points(x):
    t = make_trajectory(KNOTS, CPTS, 3)
    np.testing.assert_allclose(t(x), BSpline(KNOTS, CPTS, 3)(x), rtol=1e-13, atol=1e-13)
