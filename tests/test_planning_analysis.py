"""Sampling, integrals, exact extrema and roots, limit checks and retiming."""

import doctest

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from scipy.interpolate import BSpline, PPoly
from scipy.optimize import minimize_scalar

import pykesta
from pykesta import planning, trajops


def random_spline(seed, p, spans=6):
    """Clamped on [0, 3] with interior knots of every multiplicity 1 .. p + 1."""
    rng = np.random.default_rng(seed)
    values = np.sort(rng.uniform(0.1, 2.9, spans))
    multiplicities = [1 + i % (p + 1) for i in range(spans)]
    interior = np.repeat(values, multiplicities)
    knots = np.concatenate([[0.0] * (p + 1), interior, [3.0] * (p + 1)])
    cpts = rng.normal(size=len(knots) - p - 1)
    return knots, cpts


def pieces(knots, cpts, p, nu):
    """scipy's piecewise-polynomial form of the nu-th derivative and its non-empty intervals."""
    pp = PPoly.from_spline(BSpline(knots, cpts, p, extrapolate=False)).derivative(nu)
    return pp, [i for i in range(len(pp.x) - 1) if pp.x[i] < pp.x[i + 1]]


def dense_extrema(knots, cpts, p, nu):
    """Dense sampling of every piece on its closed interval, then local refinement."""
    pp, intervals = pieces(knots, cpts, p, nu)
    lowest, highest = np.inf, -np.inf
    for i in intervals:
        x0, x1 = pp.x[i], pp.x[i + 1]
        piece = np.poly1d(pp.c[:, i])
        t = np.linspace(0.0, x1 - x0, 201)
        values = piece(t)
        for sign in (1.0, -1.0):
            j = np.argmin(sign * values)
            bracket = (t[max(j - 1, 0)], t[min(j + 1, 200)])
            refined = minimize_scalar(lambda s: sign * piece(s), bounds=bracket, method="bounded",
                                      options={"xatol": 1e-14})
            best = min(sign * values[j], refined.fun)
            if sign > 0:
                lowest = min(lowest, best)
            else:
                highest = max(highest, -best)
    return lowest, highest


CASES = [(seed, p) for p in (3, 5) for seed in range(4)]


@pytest.mark.parametrize("seed, p", CASES)
def test_sample_rows_are_the_call_operator(seed, p):
    knots, cpts = random_spline(seed, p)
    traj = pykesta.from_arrays(knots, cpts, p)
    x = np.random.default_rng(seed).uniform(0, 3, 300)
    x[:10] = x[10:20]  # repeats, in no order
    rows = planning.sample(traj, x, upto=p + 1)
    assert rows.shape == (p + 2, 300)
    distinct, back = np.unique(x, return_inverse=True)  # the call operator needs distinct times
    for k in range(p + 2):
        np.testing.assert_allclose(rows[k], traj(distinct, k)[back], rtol=1e-12, atol=1e-12)
    assert planning.sample(traj, 1.5, upto=1).shape == (2,)


@pytest.mark.parametrize("seed, p", CASES)
def test_integral_matches_scipy(seed, p):
    knots, cpts = random_spline(seed, p)
    traj = pykesta.from_arrays(knots, cpts, p)
    oracle = BSpline(knots, cpts, p)
    a, b = np.random.default_rng(seed).uniform(0, 3, 2)
    assert planning.integral(traj) == pytest.approx(oracle.integrate(0, 3), abs=1e-12)
    assert planning.integral(traj, a, b) == pytest.approx(oracle.integrate(a, b), abs=1e-12)


@pytest.mark.parametrize("seed, p", CASES)
@pytest.mark.parametrize("nu", [0, 1, 2])
def test_extrema_match_dense_sampling(seed, p, nu):
    knots, cpts = random_spline(seed, p)
    traj = pykesta.from_arrays(knots, cpts, p)
    found = planning.extrema(traj, nu)
    lowest, highest = dense_extrema(knots, cpts, p, nu)
    scale = max(abs(lowest), abs(highest))
    assert found.min == pytest.approx(lowest, abs=1e-9 * scale)
    assert found.max == pytest.approx(highest, abs=1e-9 * scale)
    # the times are where the values are reached (as limits where the derivative jumps)
    for t, value in ((found.tmin, found.min), (found.tmax, found.max)):
        near = [traj(s, nu) for s in np.clip([t - 1e-9, t, t + 1e-9], 0, 3)]
        assert np.min(np.abs(np.subtract(near, value))) <= 1e-6 * scale


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("p, nu", [(3, 0), (3, 1), (5, 0), (5, 2)])
@pytest.mark.parametrize("level", [0.0, 0.3])
def test_roots_match_scipy_on_smooth_splines(seed, p, nu, level):
    knots, cpts = random_spline(seed, p)
    knots = np.concatenate([[0.0] * p, np.linspace(0, 3, 12), [3.0] * p])  # simple knots
    cpts = np.random.default_rng(seed).normal(size=len(knots) - p - 1)
    traj = pykesta.from_arrays(knots, cpts, p)
    pp, _ = pieces(knots, cpts, p, nu)
    expected = np.unique(pp.solve(level, extrapolate=False))
    found = planning.roots(traj, level, nu)
    np.testing.assert_allclose(found, expected, atol=1e-12 * 3)


# (knots, cpts, p, nu, value, expected roots): roots on knots, touching roots,
# jumps, stretches equal to the value.
CONSTRUCTED = [
    ([0, 0, 1, 2, 2], [-1, 0, 1], 1, 0, 0.0, [1.0]),                   # on a knot
    ([0, 0, 0, 1, 1, 1], [0.25, -0.25, 0.25], 2, 0, 0.0, [0.5]),       # (t - 1/2)^2 touches
    ([0, 0, 0, 1, 2, 2, 2], [1, 0, 0, 1], 2, 0, 0.0, [1.0]),           # touches on a knot
    ([0, 1, 2], [-1, 1], 0, 0, 0.0, [1.0]),                            # a jump across 0
    ([0, 1, 2, 3], [-1, 2, -2], 0, 0, 0.5, [1.0, 2.0]),                # jumps across 0.5
    ([0, 0, 1, 1, 2, 2], [-1, -0.5, 0.5, 1], 1, 0, 0.0, [1.0]),        # a jump at a double knot
    ([0, 0, 1, 2, 3, 4, 4], [1, 0, 0, 0, 1], 1, 0, 0.0, [1.0, 3.0]),   # a zero stretch
    ([0, 0, 1, 2, 2], [1, 0, 0], 1, 0, 0.0, [1.0, 2.0]),               # ... reaching the end
    ([0, 0, 0, 1, 2, 2, 2], [0, 0, 1, 2], 2, 1, 0.0, [0.0]),           # velocity 0 at the start
    ([0, 0, 1, 2, 3, 3], [2, 2, 2, 5], 1, 0, 2.0, [0.0, 2.0]),         # a stretch on the value
    ([0, 0, 0, 0, 1, 1, 1, 1], [0, 1, 2, 3], 3, 2, 0.0, [0.0, 1.0]),   # acceleration 0 throughout
]


@pytest.mark.parametrize("knots, cpts, p, nu, value, expected", CONSTRUCTED)
def test_roots_of_constructed_cases(knots, cpts, p, nu, value, expected):
    traj = pykesta.from_arrays(knots, cpts, p)
    np.testing.assert_allclose(planning.roots(traj, value, nu), expected, atol=1e-12)


@settings(max_examples=40, deadline=None)
@given(st.integers(0, 2**32 - 1), st.sampled_from([(1, 0), (2, 0), (2, 1), (3, 1), (3, 2)]),
       st.sampled_from([3, 300, 700]), st.sampled_from(["domain", "knots", "inside"]),
       st.floats(-1.0, 1.0))
def test_roots_of_long_splines_in_windows_match_scipy(seed, p_nu, spans, window, value):
    # Long enough for several blocks of whole spans, with windows that cut spans or end on knots.
    p, nu = p_nu
    rng = np.random.default_rng(seed)
    interior = np.sort(rng.uniform(0.0, 10.0, spans - 1))
    knots = np.concatenate([[0.0] * (p + 1), interior, [10.0] * (p + 1)])
    cpts = rng.normal(size=len(knots) - p - 1)
    a, b = {"domain": (0.0, 10.0), "knots": sorted(rng.choice(interior, 2, replace=False)),
            "inside": sorted(rng.uniform(0.0, 10.0, 2))}[window]
    pp = PPoly.from_spline(BSpline(knots, cpts, p)).derivative(nu)
    expected = np.unique(pp.solve(value, extrapolate=False))
    expected = expected[(expected >= a) & (expected <= b)]
    expected = expected[np.diff(expected, prepend=-np.inf) > 1e-11]  # one root seen from two pieces
    found = planning.roots(pykesta.from_arrays(knots, cpts, p), value, nu, a, b)
    np.testing.assert_allclose(found, expected, atol=1e-11)


@settings(max_examples=40, deadline=None)
@given(st.integers(0, 2**32 - 1), st.sampled_from([(1, 0), (2, 0), (3, 1)]), st.booleans(),
       st.booleans())
def test_roots_of_a_window_are_those_of_its_two_halves(seed, p_nu, clamped, split_on_a_knot):
    # Whole spans, the stretches cut at the split and, unclamped, the spans
    # continued beyond their knots must agree on every root.
    p, nu = p_nu
    rng = np.random.default_rng(seed)
    interior = np.sort(rng.uniform(0.0, 10.0, 400))
    steps = np.arange(1, p + 2) * 0.01 if not clamped else np.zeros(p + 1)
    knots = np.concatenate([-steps[::-1], interior, 10.0 + steps])
    traj = pykesta.from_arrays(knots, rng.normal(size=len(knots) - p - 1), p)
    a, b = traj.start, traj.stop
    m = rng.choice(interior) if split_on_a_knot else rng.uniform(a, b)
    whole = planning.roots(traj, 0.0, nu)
    left, right = planning.roots(traj, 0.0, nu, a, m), planning.roots(traj, 0.0, nu, m, b)
    assert np.all(left <= m) and np.all(right >= m)
    halves = np.concatenate([left, right[right > m] if left.size and left[-1] == m else right])
    np.testing.assert_allclose(whole, halves, atol=1e-11)


def test_a_stretch_on_the_value_inside_a_long_spline():
    # A broken line through 601 random points, three of them on the value.
    rng = np.random.default_rng(7)
    knots = np.concatenate([[0.0, 0.0], np.sort(rng.uniform(0.0, 10.0, 600)), [10.0, 10.0]])
    x, y = knots[1:-1], rng.normal(size=len(knots) - 2)
    y[300:303] = 0.25
    s = y - 0.25
    crossing = np.flatnonzero(s[:-1] * s[1:] < 0)
    lines = x[crossing] - s[crossing] * (x[crossing + 1] - x[crossing]) / (s[crossing + 1] -
                                                                          s[crossing])
    expected = np.sort(np.concatenate([lines, [x[300], x[302]]]))
    found = planning.roots(pykesta.from_arrays(knots, y, 1), 0.25)
    np.testing.assert_allclose(found, expected, atol=1e-12)


@pytest.mark.parametrize("a, b", [(0.0, 1.0), (1.0, 2.0), (1.0, 1.0)])
def test_a_root_at_an_end_of_the_window_is_reported_once(a, b):
    traj = pykesta.from_arrays([0, 0, 1, 2, 2], [-1, 0, 1], 1)
    assert planning.roots(traj, a=a, b=b).tolist() == [1.0]


@pytest.mark.parametrize("a, b, expected", [
    (0.0, 3.0, (1.0, -3.0, 2.0, 4.0)),  # the plateaus of a jump profile
    (1.0, 2.0, (1.0, -3.0, 1.0, -3.0)),  # at a and b only the inside counts
    (0.5, 1.0, (0.5, 2.0, 0.5, 2.0)),
    (1.5, 1.5, (1.5, -3.0, 1.5, -3.0)),
])
def test_extrema_of_a_piecewise_constant_jerk(a, b, expected):
    jerk = pykesta.from_arrays([0, 1, 2, 3], [2, -3, 4], 0, order=3)
    assert planning.extrema(jerk, a=a, b=b) == planning.Extrema(*expected)


def test_extrema_take_the_earliest_time_on_ties():
    traj = pykesta.from_arrays([0, 0, 0, 1, 2, 2, 2], [1, -1, -1, 1], 2)
    low = planning.extrema(traj)
    assert (low.tmax, low.max) == (0.0, 1.0)
    assert planning.extrema(traj, nu=3) == planning.Extrema(0.0, 0.0, 0.0, 0.0)


def velocity_profile():
    """A velocity trajectory: 0 -> 2 -> 0 over [0, 4], accelerations +-2 and 0."""
    return pykesta.from_arrays([0, 0, 1, 3, 4, 4], [0, 2, 2, 0], 1, order=1)


def test_check_limits_reads_quantities_by_physical_order():
    report = planning.check_limits(velocity_profile(), velocity=2.0, acceleration=(-1.0, 3.0),
                                   jerk=None)
    assert set(report) == {"velocity", "acceleration"}
    assert report["velocity"] == planning.LimitCheck(0.0, 0.0, 2.0, 1.0, -2.0, 2.0, True)
    assert report["acceleration"].min == -2.0 and not report["acceleration"].ok
    assert not report.ok
    assert planning.check_limits(velocity_profile()).ok
    with pytest.raises(ValueError, match="'position' is of order 0, below the order"):
        planning.check_limits(velocity_profile(), position=1.0)


@pytest.mark.parametrize("limits", [
    {"velocity": 1.0}, {"acceleration": 0.5}, {"velocity": (-5.0, 1.5), "acceleration": 8.0},
    {"velocity": 4.0, "acceleration": 1.0, "jerk": 100.0},
])
@pytest.mark.parametrize("seed", range(3))
def test_retime_meets_the_tightest_limit_and_keeps_the_path(limits, seed):
    p = 3
    knots, cpts = random_spline(seed, p)
    position = pykesta.from_arrays(knots, cpts, p)
    velocity = trajops.derivative(position)
    assert velocity.order == 1
    for traj in (position, velocity):
        retimed = planning.retime(traj, **limits)
        assert retimed.start == traj.start
        report = planning.check_limits(retimed, **limits)
        assert report.ok
        closeness = [max(c.max / c.upper, c.min / c.lower) for c in report.values()]
        assert max(closeness) == pytest.approx(1.0, rel=1e-12)
        if traj.order == 0:
            assert retimed(retimed.stop) - retimed(retimed.start) == pytest.approx(
                traj(traj.stop) - traj(traj.start), rel=1e-12, abs=1e-12)
        else:
            assert planning.integral(retimed) == pytest.approx(planning.integral(traj),
                                                               rel=1e-12, abs=1e-12)


def test_retime_of_a_standstill_is_a_copy():
    hold = pykesta.from_arrays([0, 0, 2, 2], [1.5, 1.5], 1)
    moved = planning.retime(hold, velocity=1.0, acceleration=1.0)
    assert moved is not hold and moved == hold


@pytest.mark.parametrize("call, message", [
    (lambda t: planning.extrema(t, a=0.8, b=0.2), r"'a' must not exceed 'b', got a=0.8, b=0.2"),
    (lambda t: planning.roots(t, a=-1.0), r"'a' out of domain \[0.0, 1.0\]: -1.0"),
    (lambda t: planning.integral(t, b=float("nan")), r"'b' must be finite, got nan"),
    (lambda t: planning.sample(t, [0.5, 2.0]), r"'x' out of domain \[0.0, 1.0\]: 2.0"),
    (lambda t: planning.sample(t, 0.5, upto=-1), r"'upto' must be non-negative, got -1"),
    (lambda t: planning.check_limits(t, velocity=-1.0), r"'velocity' must be a positive number"),
    (lambda t: planning.check_limits(t, jerk=(2, 1)), r"'jerk' must be .* got \(2, 1\)"),
    (lambda t: planning.retime(t, velocity=(0.5, 1.0)), r"'velocity' cannot be met by retiming"),
])
def test_bad_arguments_are_named(call, message):
    traj = pykesta.from_arrays([0, 0, 0, 1, 1, 1], [1, 0, 1], 2)
    with pytest.raises(ValueError, match=message):
        call(traj)


def test_wrong_types_and_positional_limits():
    traj = pykesta.from_arrays([0, 0, 1, 1], [0, 1], 1)
    with pytest.raises(TypeError, match="Argument 'traj' has incorrect type"):
        planning.extrema([0, 1])
    with pytest.raises(TypeError, match="'x' must be real numbers"):
        planning.sample(traj, ["a"])
    with pytest.raises(TypeError, match="takes 1 positional argument"):
        planning.check_limits(traj, 1.0)


@settings(max_examples=60, deadline=None)
@given(st.integers(0, 10_000), st.sampled_from([1, 2, 3, 4]), st.floats(-1.5, 1.5),
       st.sampled_from([4, 300]))
def test_every_sign_change_between_samples_is_a_root(seed, p, value, spans):
    knots, cpts = random_spline(seed, p, spans=spans)
    traj = pykesta.from_arrays(knots, cpts, p)
    found = planning.roots(traj, value)
    assert np.all(np.diff(found) > 0)
    at, left, right = (planning.sample(traj, np.clip(found + h, 0, 3), upto=0)[0] - value
                       for h in (0.0, -1e-9, 1e-9))
    assert np.all((np.abs(at) <= 1e-9) | (left * right <= 0))  # on the value, or a jump across
    t = np.linspace(0, 3, 2001)
    above = traj(t) > value
    for i in np.flatnonzero(above[1:] != above[:-1]):
        assert np.any((found >= t[i]) & (found <= t[i + 1]))


@pytest.mark.parametrize("name", ["sample", "integral", "extrema", "roots", "check_limits",
                                  "retime"])
def test_docstring_examples_run(name):
    finder, runner = doctest.DocTestFinder(), doctest.DocTestRunner()
    for test in finder.find(getattr(planning, name), name, globs={}):
        runner.run(test)
    assert runner.summarize(verbose=False).failed == 0
