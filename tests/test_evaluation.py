"""Evaluation: peval, dpeval, ceval, dceval and the call operator."""

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from scipy.interpolate import BSpline

from pykesta.curvetypes import Trajectory1d
from trajectory_factory import clamped_knots, make_trajectory


@st.composite
def splines(draw, max_degree=5):
    p = draw(st.integers(0, max_degree))
    n_interior = draw(st.integers(0, 12))
    interior = sorted(draw(st.lists(st.floats(0.01, 0.99), min_size=n_interior,
                                    max_size=n_interior)))
    knots = clamped_knots(interior, p, 0.0, 2.0)
    # Interior knots with multiplicity above p would make the curve discontinuous
    # there; keep them at most p (at most 1 for degree 0, which is discontinuous anyway).
    values, counts = np.unique(knots[p + 1:len(knots) - p - 1], return_counts=True)
    if len(counts) and counts.max() > max(p, 1):
        knots = clamped_knots(values, p, 0.0, 2.0)
    n = len(knots) - p - 2
    cpts = np.array(draw(st.lists(st.floats(-100, 100), min_size=n + 1, max_size=n + 1)))
    return knots, cpts, p


def scipy_spline(knots, cpts, p):
    return BSpline(knots, cpts, p, extrapolate=False)


def sample_points(knots, count=57):
    return np.linspace(knots[0], knots[-1], count)


def assert_close(ours, theirs, scale):
    np.testing.assert_allclose(ours, theirs, rtol=1e-10, atol=1e-10 * scale)


@settings(max_examples=150, deadline=None)
@given(splines())
def test_values_equal_scipy(spline):
    knots, cpts, p = spline
    t = make_trajectory(knots, cpts, p)
    xs = sample_points(knots)
    expected = scipy_spline(knots, cpts, p)(xs[:-1])
    scale = max(1.0, np.abs(cpts).max())
    assert_close([t.peval(x) for x in xs[:-1]], expected, scale)
    assert_close(t(xs[:-1]), expected, scale)
    inplace = xs[:-1].copy()
    t.ceval(inplace)
    assert_close(inplace, expected, scale)
    # The end of the domain belongs to the domain and gives the last piece's value.
    assert_close(t.peval(knots[-1]), BSpline(knots, cpts, p)(knots[-1] - 1e-12 * 0), scale)


@settings(max_examples=100, deadline=None)
@given(splines(), st.integers(1, 6))
def test_derivatives_equal_scipy(spline, nu):
    knots, cpts, p = spline
    t = make_trajectory(knots, cpts, p)
    xs = sample_points(knots)[1:-1]
    spline_ = scipy_spline(knots, cpts, p)
    expected = spline_(xs, nu) if nu <= p else np.zeros_like(xs)
    scale = max(1.0, np.abs(cpts).max()) * 50.0 ** min(nu, p)
    # Points on knots have one-sided derivatives that may differ; avoid them.
    inside = np.array([not np.isclose(x, knots).any() for x in xs])
    xs, expected = xs[inside], expected[inside]
    if len(xs) == 0:
        return
    assert_close([t.dpeval(x, nu) for x in xs], expected, scale)
    assert_close(t(xs, nu), expected, scale)
    inplace = xs.copy()
    t.dceval(inplace, nu)
    assert_close(inplace, expected, scale)


@settings(max_examples=50, deadline=None)
@given(splines(), st.randoms(use_true_random=False))
def test_call_operator_keeps_the_callers_order(spline, random):
    knots, cpts, p = spline
    t = make_trajectory(knots, cpts, p)
    xs = list(np.unique(np.linspace(knots[0], knots[-1], 40)[:-1]))
    random.shuffle(xs)
    given_points = np.array(xs)
    values = t(given_points)
    np.testing.assert_array_equal(given_points, np.array(xs))
    np.testing.assert_allclose(values, [t.peval(x) for x in xs], rtol=1e-13,
                               atol=1e-13 * max(1.0, np.abs(cpts).max()))


@pytest.fixture
def unit():
    return make_trajectory(clamped_knots([0.3, 0.6], 3), [0.0, 1.0, 3.0, -2.0, 4.0, 1.0], 3)


def test_domain_ends(unit):
    assert unit.peval(0.0) == 0.0 and unit.peval(1.0) == 1.0
    with pytest.raises(ValueError) as info:
        unit.peval(1.0000001)
    assert str(info.value) == "'x' out of domain: 1.0000001"
    with pytest.raises(ValueError) as info:
        unit.dpeval(-5, 1)
    assert str(info.value) == "'x' out of domain: -5.0"


def test_dpeval_orders(unit):
    assert unit.dpeval(0.4, 0) == unit.peval(0.4)
    assert unit.dpeval(0.4, 4) == 0.0
    assert unit.dpeval(0.4) == unit.dpeval(0.4, nu=1)
    with pytest.raises(ValueError, match="^'nu' must be non-negative number$"):
        unit.dpeval(0.4, -1)
    with pytest.raises(ValueError, match="negative dimensions"):
        unit.dpeval(5.0, -2)
    with pytest.raises(OverflowError, match="^value too large to convert to int$"):
        unit.dpeval(0.4, 2**31)
    assert unit.dpeval(0.4, 2**31 - 1) == 0.0


@pytest.mark.parametrize("points, message", [
    ([0.0, 0.5, 0.5], "'xp' must be increasing"),
    ([0.5, 0.2], "'xp' must be increasing"),
    ([], "zero size arrays are not allowed"),
    ([-0.1, 0.5], "domain error"),
    ([0.5, 1.1], "domain error"),
])
def test_ceval_checks_leave_the_array_unchanged(unit, points, message):
    for method in (unit.ceval, lambda xp: unit.dceval(xp, 2)):
        xp = np.array(points, dtype=float)
        with pytest.raises(ValueError) as info:
            method(xp)
        assert str(info.value) == message
        np.testing.assert_array_equal(xp, points)


def test_ceval_none_is_empty_and_bad_buffers_are_refused(unit):
    with pytest.raises(ValueError, match="^zero size arrays are not allowed$"):
        unit.ceval(None)
    for bad in (np.array([0.1, 0.2], dtype=np.float32), np.linspace(0, 1, 6)[::2],
                np.array([[0.1, 0.2]])):
        with pytest.raises((ValueError, TypeError, BufferError)):
            unit.ceval(bad)
    readonly = np.array([0.1, 0.2])
    readonly.flags.writeable = False
    with pytest.raises((ValueError, TypeError, BufferError)):
        unit.ceval(readonly)


def test_dceval_checks_nu_after_the_points(unit):
    with pytest.raises(ValueError, match="^'nu' must be non-negative number$"):
        unit.dceval(np.array([0.1, 0.2]), -1)


def test_call_operator_forms(unit):
    assert isinstance(unit(0.25), float)
    assert isinstance(unit(np.float32(0.25)), float)
    single = unit([0.25])
    assert isinstance(single, np.ndarray) and single.shape == (1,)
    assert unit(np.array(0.25)).shape == (1,)
    np.testing.assert_array_equal(unit([0.9, 0.1]), [unit.peval(0.9), unit.peval(0.1)])
    np.testing.assert_array_equal(unit((0.9, 0.1), 2), [unit.dpeval(0.9, 2), unit.dpeval(0.1, 2)])
    assert unit(x=0.5, nu=1) == unit.dpeval(0.5, 1)


@pytest.mark.parametrize("x, nu, message", [
    ([[0.1, 0.2]], 0, "'x' must be one-dimensional"),
    (0.25, -1, "'nu' must be non-negative number"),
    ([0.2, 0.1], -1, "'nu' must be non-negative number"),
    ([0.2, 0.2], 0, "'xp' must be increasing"),
    ([], 0, "zero size arrays are not allowed"),
])
def test_call_operator_errors(unit, x, nu, message):
    with pytest.raises(ValueError) as info:
        unit(x, nu)
    assert str(info.value) == message


@pytest.mark.parametrize("dtype", [">f8", "<f8", ">f4", np.float32, np.float16, np.longdouble,
                                   object, np.int64, ">i2"])
@pytest.mark.parametrize("nu", [0, 2])
def test_call_operator_takes_what_numpy_converts_to_float64(dtype, nu):
    knots, cpts = clamped_knots([3.0, 5.0], 3, 0.0, 8.0), [0.0, 1.0, 3.0, -2.0, 4.0, 1.0]
    t = make_trajectory(knots, cpts, 3)
    xs = np.array([6.0, 2.0, 8.0, 4.0, 0.0]).astype(dtype)
    expected = BSpline(knots, cpts, 3)(xs.astype(np.float64), nu)
    np.testing.assert_allclose(t(xs, nu), expected, rtol=1e-13, atol=1e-13)
    order = np.argsort(xs.astype(np.float64))
    np.testing.assert_allclose(t(xs[order], nu), expected[order], rtol=1e-13, atol=1e-13)


def test_call_operator_never_writes_its_input(unit):
    xs = np.array([0.1, 0.2, 0.3])
    unit(xs)
    np.testing.assert_array_equal(xs, [0.1, 0.2, 0.3])


def test_nan_point_passes_the_domain_test(unit):
    assert np.isnan(unit.peval(float("nan")))


def test_empty_trajectory_refuses_evaluation():
    t = Trajectory1d()
    for call in (lambda: t.peval(0.0), lambda: t.dpeval(0.0, 1), lambda: t(0.0),
                 lambda: t.ceval(np.array([0.0])), lambda: t.dceval(np.array([0.0]), 1)):
        with pytest.raises(ValueError):
            call()


def test_derivative_order_matches_derivative_trajectory(unit):
    xs = np.array([0.1, 0.35, 0.7, 0.95])
    np.testing.assert_allclose(unit(xs, 2), BSpline(clamped_knots([0.3, 0.6], 3),
                                                    [0.0, 1.0, 3.0, -2.0, 4.0, 1.0], 3)(xs, 2))


def test_domain_test_that_replaces_the_arrays_is_safe(run_python):
    result = run_python("""
        import numpy as np
        from pykesta.curvetypes import Trajectory1d

        class Treacherous(Trajectory1d):
            @property
            def start(self):
                # Replaces (and so releases) the arrays the evaluation is about to read.
                self._dset_data(np.array([0., 0., 1., 1.]).tobytes(), np.array([5., 5.]).tobytes(),
                                1, 1, 0, True)
                return 0.0

        t = Treacherous()
        t._dset_data(np.linspace(0, 1, 40).tobytes(), np.ones(38).tobytes(), 1, 37, 0, True)
        for call in (lambda: t.peval(0.5), lambda: t.dpeval(0.5, 1), lambda: t(np.linspace(0, 1, 9)),
                     lambda: t(np.linspace(0, 1, 9), 1)):
            print(np.all(np.isfinite(call())))
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["True"] * 4
