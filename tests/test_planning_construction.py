"""Trajectories from point conditions (interpolate) and from samples (fit)."""

import doctest

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from scipy.interpolate import BSpline, make_interp_spline, make_lsq_spline

import pykesta
from pykesta.curvetypes import Point1d
from pykesta.planning import fit, interpolate


def basis(knots, p, x, nu=0):
    """Dense matrix of the nu-th derivatives of every basis function at x (scipy)."""
    eye = np.eye(len(knots) - p - 1)
    return BSpline(knots, eye, p)(np.asarray(x, float), nu)


def penalty_gram(knots, p, q):
    """Integral of B_i^(q) B_j^(q), by Gauss-Legendre on every span (numpy)."""
    nodes, weights = np.polynomial.legendre.leggauss(p + 1)
    gram = np.zeros((len(knots) - p - 1,) * 2)
    for a, b in zip(knots[:-1], knots[1:]):
        if b > a:
            x = 0.5 * (a + b) + 0.5 * (b - a) * nodes
            d = basis(knots, p, x, q)
            gram += d.T @ (0.5 * (b - a) * weights[:, None] * d)
    return gram


def dense_fit(knots, p, t, y, w, constraints, smoothing=0.0, penalty=2):
    """The same constrained problem written as one dense KKT system."""
    a = basis(knots, p, t) * w[:, None]
    normal = a.T @ a + smoothing * penalty_gram(knots, p, penalty)
    c = np.array([basis(knots, p, [ct], nu)[0] for ct, _, nu in constraints])
    d = np.array([v for _, v, _ in constraints])
    k = len(constraints)
    kkt = np.block([[2 * normal, c.T], [c, np.zeros((k, k))]])
    rhs = np.concatenate([2 * a.T @ (w * y), d])
    return np.linalg.solve(kkt, rhs)[: len(normal)]


def relative(a, b):
    return np.max(np.abs(a - b)) / max(np.max(np.abs(b)), 1e-300)


# ---- interpolate -------------------------------------------------------------------------

SCIPY_CASES = [(seed, p) for p in (2, 3, 4, 5) for seed in range(3)]


@pytest.mark.parametrize("seed, p", SCIPY_CASES)
def test_interpolate_equals_scipy_with_its_knots_and_end_conditions(seed, p):
    rng = np.random.default_rng(seed)
    x = np.sort(rng.uniform(0.0, 5.0, 25))
    y = rng.normal(size=25)
    ends = (p - 1) // 2
    left = [(1 + i, rng.normal()) for i in range(ends)]
    right = [(1 + i, rng.normal()) for i in range(p - 1 - ends)]
    spline = make_interp_spline(x, y, k=p, bc_type=(left or None, right or None))
    constraints = [(x[0], v, nu) for nu, v in left] + [Point1d(x[-1], v, nu) for nu, v in right]
    shuffled = rng.permutation(25)
    traj = interpolate(x[shuffled], y[shuffled], p=p, constraints=constraints, knots=spline.t)
    assert (traj.p, traj.n, traj.order) == (p, len(spline.c) - 1, 0)
    assert relative(traj.get_cpts_asarray(), spline.c) < 1e-10


@pytest.mark.parametrize("seed, p", SCIPY_CASES)
def test_interpolate_meets_interior_derivative_constraints(seed, p):
    rng = np.random.default_rng(100 + seed)
    x = np.sort(rng.uniform(0.0, 4.0, 12))
    y = rng.normal(size=12)
    # Hermite data: several derivatives at one interior time, single ones elsewhere,
    # some of them at the sample times.
    constraints = [(2.0, rng.normal(), nu) for nu in range(p + 1)]
    constraints += [(x[3], rng.normal(), 1), (rng.uniform(0.0, 4.0), rng.normal(), p)]
    constraints += [(x[0], rng.normal(), 1), (x[-1], rng.normal(), 2)]
    traj = interpolate(x, y, p=p, constraints=constraints)
    assert traj.n + 1 == len(x) + len(constraints)
    assert (traj.start, traj.stop) == (x[0], x[-1])
    scale = max(1.0, np.max(np.abs(traj.get_cpts_asarray())))
    np.testing.assert_allclose(traj(x), y, rtol=0, atol=1e-9 * scale)
    for t, value, nu in constraints:
        got = BSpline(traj.get_knotvector_asarray(), traj.get_cpts_asarray(), p)(t, nu)
        assert abs(got - value) <= 1e-9 * max(1.0, abs(value), scale * 10**nu)


def test_interpolate_from_constraints_alone_and_order():
    # A rest-to-rest quintic: the constraints say everything.
    rest = [(0.0, 0.0, 0), (0.0, 0.0, 1), (0.0, 0.0, 2),
            (2.0, 1.0, 0), (2.0, 0.0, 1), (2.0, 0.0, 2)]
    traj = interpolate([], [], p=5, constraints=rest)
    s = np.linspace(0.0, 1.0, 11)
    np.testing.assert_allclose(traj(2 * s), 10 * s**3 - 15 * s**4 + 6 * s**5, atol=1e-13)
    # On a velocity trajectory an acceleration constraint is its first derivative.
    velocity = interpolate([0.0, 1.0, 2.0], [0.0, 1.0, 0.0], p=2, order=1,
                           constraints=[(0.0, 2.0, 2)])
    assert velocity.order == 1 and abs(velocity(0.0, 1) - 2.0) < 1e-12


@given(seed=st.integers(0, 2**32 - 1), p=st.integers(1, 5), spans=st.integers(1, 8))
@settings(max_examples=40, deadline=None)
def test_interpolate_reproduces_a_spline_from_its_values_at_greville_sites(seed, p, spans):
    rng = np.random.default_rng(seed)
    interior = np.sort(rng.uniform(0.0, 1.0, spans - 1))
    knots = np.concatenate([[0.0] * (p + 1), interior, [1.0] * (p + 1)])
    if np.any(np.diff(knots[p:-p]) < 1e-3):
        return
    cpts = rng.normal(size=len(knots) - p - 1)
    sites = np.array([knots[i + 1:i + p + 1].mean() for i in range(len(cpts))])
    values = BSpline(knots, cpts, p)(sites)
    traj = interpolate(sites, values, p=p, knots=knots)
    np.testing.assert_allclose(traj.get_cpts_asarray(), cpts, atol=1e-8 * np.max(np.abs(cpts)))


def test_interpolate_of_many_values_equals_scipy():
    rng = np.random.default_rng(7)
    x = np.sort(rng.uniform(0.0, 100.0, 20_000))
    y = np.sin(x)
    spline = make_interp_spline(x, y, k=3)
    traj = interpolate(x, y, knots=spline.t)
    assert relative(traj.get_cpts_asarray(), spline.c) < 1e-10


BAD_INTERPOLATION = [
    (dict(t=[0, 1, 2, 3], y=[0, 1, 2, np.nan]), "'y' must be finite"),
    (dict(t=[0, 1, 2, 3], y=[0, 1, 2]), "'t' and 'y' differ in length"),
    (dict(t=[0, 1, 2], y=[0, 1, 2]), "too few for degree 3"),
    (dict(t=[0, 1, 2, 3], y=[0, 1, 2, 3], constraints=[(1, 5.0, 0)]), "contradict each other"),
    (dict(t=[0, 1, 2, 3], y=[0, 1, 2, 3], constraints=[(1, 1.0, 0)]), "conditions repeat"),
    (dict(t=[0, 1, 2, 3], y=[0, 1, 2, 3], constraints=[(1, 1.0, 4)]), "must lie in 0..3"),
    (dict(t=[0, 1, 2, 3], y=[0, 1, 2, 3], order=1, constraints=[(1, 1.0, 0)]),
     "derivative -1"),
    (dict(t=[0, 1, 2, 3, 4], y=[0, 1, 2, 3, 4], knots=[0, 0, 0, 0, 0.5, 4, 4, 4]),
     "must have 9 knots"),
    (dict(t=[0, 1, 2, 3, 4], y=[0, 1, 2, 3, 4], knots=[0, 0, 0, 0, 3, 2, 4, 4, 4]),
     "non-decreasing"),
    (dict(t=[0, 1, 2, 3, 4], y=[0, 1, 2, 3, 4], knots=[0, 0, 0, 1, 2, 3, 4, 4, 4]),
     "must be clamped"),
    (dict(t=[0, 1, 2, 3, 4, 5], y=[0, 1, 2, 3, 4, 5], knots=[0, 0, 0, 0, 0.2, 0.4, 5, 5, 5, 5]),
     r"the sample t\[1\]=1.0, y=1.0 lies outside the support"),
    (dict(t=[], y=[], constraints=[(0, 0, 1), (1, 1, 1), (2, 0, 1), (3, 1, 1)]),
     r"singular: the conditions around constraints\[\d\]"),
    (dict(t=[1, 1, 1, 1], y=[0, 0, 0, 0]), "same time"),
]


@pytest.mark.parametrize("kwargs, message", BAD_INTERPOLATION)
def test_interpolate_refuses_what_cannot_hold(kwargs, message):
    with pytest.raises(ValueError, match=message):
        interpolate(**kwargs)


# ---- fit ------------------------------------------------------------------------------------


def samples(seed, m=400):
    rng = np.random.default_rng(seed)
    t = np.sort(rng.uniform(0.0, 2.0, m))
    t[0], t[-1] = 0.0, 2.0
    return rng, t, np.sin(3 * t) + 0.05 * rng.normal(size=m), rng.uniform(0.2, 3.0, m)


def knot_vector(rng, p, interior=9):
    return np.concatenate([[0.0] * (p + 1), np.sort(rng.uniform(0.05, 1.95, interior)),
                           [2.0] * (p + 1)])


@pytest.mark.parametrize("seed, p", [(s, p) for p in (1, 3, 5) for s in range(3)])
def test_fit_equals_scipy_least_squares(seed, p):
    rng, t, y, w = samples(seed)
    knots = knot_vector(rng, p)
    spline = make_lsq_spline(t, y, knots, k=p, w=w)
    order = rng.permutation(len(t))
    traj = fit(t[order], y[order], p=p, knots=knots, weights=w[order])
    assert relative(traj.get_cpts_asarray(), spline.c) < 1e-9


@pytest.mark.parametrize("seed, p, smoothing, penalty",
                         [(0, 3, 0.0, 2), (1, 3, 1e-2, 2), (2, 5, 1e-3, 3), (3, 4, 1.0, 1)])
def test_fit_with_constraints_equals_the_dense_kkt_solution(seed, p, smoothing, penalty):
    rng, t, y, w = samples(seed)
    knots = knot_vector(rng, p)
    constraints = [(0.0, 0.0, 0), (0.0, 0.0, 1), (2.0, 0.5, 0), (2.0, 0.0, 1),
                   (1.0, rng.normal(), 2), (float(t[100]), rng.normal(), 1)]
    traj = fit(t, y, p=p, knots=knots, weights=w, constraints=constraints,
               smoothing=smoothing, penalty=penalty)
    expected = dense_fit(knots, p, t, y, w, constraints, smoothing, penalty)
    assert relative(traj.get_cpts_asarray(), expected) < 1e-8
    for ct, value, nu in constraints:
        assert abs(traj(ct, nu) - value) < 1e-9 * max(1.0, abs(value))


def penalty_integral(traj, q):
    knots, cpts = traj.get_knotvector_asarray(), traj.get_cpts_asarray()
    return cpts @ penalty_gram(knots, traj.p, q) @ cpts


@pytest.mark.parametrize("penalty", [2, 3])
def test_smoothing_lowers_the_penalty_down_to_a_constrained_polynomial(penalty):
    rng, t, y, w = samples(5)
    constraints = [(0.0, 0.2, 0)] + ([(2.0, -0.3, 1)] if penalty == 3 else [])
    integrals = [penalty_integral(fit(t, y, n=15, constraints=constraints, smoothing=s,
                                      penalty=penalty), penalty)
                 for s in [0.0, 1e-4, 1e-3, 1e-2, 1e-1, 1.0]]
    assert all(a > b for a, b in zip(integrals, integrals[1:]))
    # The limit: least squares over polynomials of degree penalty - 1 under the constraints.
    flat = fit(t, y, n=15, constraints=constraints, smoothing=1e7, penalty=penalty)
    powers = np.vander(t, penalty, increasing=True)
    rows = [np.array([ct**j if nu == 0 else j * ct ** (j - 1) if j else 0.0
                      for j in range(penalty)]) for ct, _, nu in constraints]
    kkt = np.block([[2 * powers.T @ powers, np.array(rows).T],
                    [np.array(rows), np.zeros((len(rows), len(rows)))]])
    coef = np.linalg.solve(kkt, np.concatenate([2 * powers.T @ y,
                                                [v for _, v, _ in constraints]]))[:penalty]
    grid = np.linspace(0.0, 2.0, 50)
    np.testing.assert_allclose(flat(grid), np.polynomial.polynomial.polyval(grid, coef),
                               atol=1e-5)


def test_fit_places_interior_knots_at_sample_quantiles():
    rng = np.random.default_rng(3)
    t = rng.exponential(size=500)
    traj = fit(t, np.cos(t), p=3, n=10, weights=np.ones_like(t))
    knots = traj.get_knotvector_asarray()
    expected = np.quantile(t, np.arange(1, 8) / 8)
    np.testing.assert_allclose(knots[4:-4], expected, rtol=1e-14)
    assert knots[0] == knots[3] == t.min() and knots[-1] == knots[-4] == t.max()


def test_fit_of_many_samples_equals_scipy():
    rng = np.random.default_rng(11)
    t = np.sort(rng.uniform(0.0, 10.0, 100_000))
    y = np.sin(t) + 0.1 * rng.normal(size=t.size)
    knots = np.concatenate([[t[0]] * 4, np.linspace(t[0], t[-1], 300)[1:-1], [t[-1]] * 4])
    traj = fit(t, y, knots=knots, order=2)
    assert traj.order == 2
    assert relative(traj.get_cpts_asarray(), make_lsq_spline(t, y, knots, k=3).c) < 1e-9


T, Y = np.linspace(0.0, 1.0, 30), np.linspace(0.0, 1.0, 30) ** 2
BAD_FIT = [
    (dict(n=5, weights=-np.ones(30)), "'weights' must be non-negative"),
    (dict(n=5, smoothing=-1.0), "'smoothing' must be non-negative"),
    (dict(n=5, penalty=4, smoothing=1.0), "'penalty' must not exceed"),
    (dict(), "give either 'knots' or 'n'"),
    (dict(n=5, knots=[0, 0, 0, 0, 1, 1, 1, 1]), "give either 'knots' or 'n'"),
    (dict(n=2), "'n' must lie in 3..33"),
    (dict(n=34), "'n' must lie in 3..33"),
    (dict(n=5, p=65), "'p' must lie in 0..64"),
    (dict(knots=[0, 0, 0, 0, 0.5, 0.9, 0.9, 0.9, 0.9]), "out of the domain"),
    (dict(knots=[0, 0, 0, 0.1, 0.5, 1, 1, 1, 1]), "must be clamped"),
    (dict(knots=[0, 0, 0, 0, 0.5, 0.502, 0.504, 0.506, 0.508, 1, 1, 1, 1]),
     r"control point 4 \(knots 0.5 to 0.508\) is not determined"),
    (dict(n=3, constraints=[(0, 0, 0), (0, 0, 1), (1, 1, 0), (1, 0, 1), (0.5, 0, 0)]),
     "more than the 4 free coefficients"),
    (dict(n=5, constraints=[(0.5, 0.0, 1), (0.5, 1.0, 1)]), "contradict each other"),
    (dict(n=3, constraints=[(0.2, 0.0, 3), (0.7, 1.0, 3)]), "repeats or contradicts"),
    (dict(n=5, constraints=[(1.5, 0.0, 0)]), "outside the domain"),
]


@pytest.mark.parametrize("kwargs, message", BAD_FIT)
def test_fit_refuses_problems_without_a_unique_solution(kwargs, message):
    with pytest.raises(ValueError, match=message):
        fit(T, Y, **kwargs)


@pytest.mark.parametrize("t, y", [([0.0, np.nan, 1.0], [0, 1, 2]), ([0.0, 1.0], [0, 1, 2])])
def test_fit_refuses_bad_samples(t, y):
    with pytest.raises(ValueError, match="'y'|'t'"):
        fit(t, y, p=1, n=1)


def test_keyword_only_and_constraint_types():
    with pytest.raises(TypeError, match="2 positional arguments"):
        interpolate([0, 1, 2, 3], [0, 1, 2, 3], 3)
    with pytest.raises(TypeError, match=r"constraints\[0\] must be a Point1d"):
        fit(T, Y, n=5, constraints=[(0.0, 1.0)])
    traj = pykesta.from_arrays([0, 0, 1, 1], [0.0, 1.0], 1)
    assert fit([0, 0.5, 1], [0, 0.5, 1], p=1, knots=traj.get_knotvector_asarray()) == traj


@pytest.mark.parametrize("function", [interpolate, fit])
def test_docstring_examples_run(function):
    finder, runner = doctest.DocTestFinder(), doctest.DocTestRunner()
    tests = finder.find(function, function.__name__, globs={})
    assert tests and tests[0].examples
    for test in tests:
        runner.run(test)
    assert runner.summarize(verbose=False).failed == 0
