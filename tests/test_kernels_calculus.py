"""Derivative and antiderivative control points and degree elevation, compared with
scipy.interpolate.BSpline (derivatives, antiderivatives, values)."""

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kernel_strategies import (
    MAX_DEGREE,
    Spline,
    any_splines,
    as_spline,
    assert_close,
    domain_points,
    smallest_span,
)
from pykesta import knotmath


def capped_multiplicities(U: np.ndarray, most: int) -> np.ndarray:
    """U with every interior value's multiplicity limited to `most`."""
    values, counts = np.unique(U, return_counts=True)
    interior = (values > U[0]) & (values < U[-1])
    counts[interior] = np.minimum(counts[interior], most)
    return np.repeat(values, counts)


def kernel_derivative(spline: Spline, nu: int) -> tuple[int, np.ndarray, np.ndarray]:
    Uo = np.full(len(spline.U), np.nan)
    Po = np.full(len(spline.P), np.nan)
    nk = knotmath.dsplcpts2(spline.U, spline.P, spline.p, nu, Uo, Po)
    return nk, Uo, Po


def kernel_antiderivative(spline: Spline, nu: int) -> Spline:
    Uo = np.full(len(spline.U) + 2 * nu, np.nan)
    Po = np.full(len(spline.P) + nu, np.nan)
    assert knotmath.asplcpts(spline.U, spline.P, spline.p, nu, Uo, Po) is None
    return Spline(Uo, Po, spline.p + nu)


@settings(max_examples=120, deadline=None)
@given(any_splines, st.data())
def test_dsplcpts2_is_scipys_derivative(spline, data):
    p = spline.p
    nu = data.draw(st.integers(0, p))
    nk, Uo, Po = kernel_derivative(spline, nu)
    # Interior multiplicities above the new order p - nu + 1 lose their extra copies.
    knots = capped_multiplicities(spline.U[nu : len(spline.U) - nu], p - nu + 1)
    assert nk == len(knots) - (p - nu) - 2
    np.testing.assert_array_equal(Uo[: nk + p - nu + 2], knots)
    derivative = Spline(Uo[: nk + p - nu + 2], Po[: nk + 1], p - nu)
    points = domain_points(spline, dense=51)
    assert_close(derivative.oracle()(points), spline.oracle()(points, nu=nu),
                 spline.derivative_scale(nu))


@settings(max_examples=20, deadline=None)
@given(any_splines)
def test_dsplcpts2_order_zero_copies(spline):
    nk, Uo, Po = kernel_derivative(spline, 0)
    assert nk == spline.n
    np.testing.assert_array_equal(Uo, spline.U)
    np.testing.assert_array_equal(Po, spline.P)


@settings(max_examples=20, deadline=None)
@given(any_splines, st.integers(1, 3))
def test_dsplcpts2_beyond_the_degree_is_zero(spline, excess):
    nk, Uo, Po = kernel_derivative(spline, spline.p + excess)
    assert nk == 0
    assert (Uo[0], Uo[1], Po[0]) == (spline.start, spline.stop, 0.0)


@settings(max_examples=80, deadline=None)
@given(any_splines, st.integers(1, 3))
def test_asplcpts_is_scipys_antiderivative(spline, nu):
    result = kernel_antiderivative(spline, nu)
    expected = as_spline(spline.oracle().antiderivative(nu))
    np.testing.assert_array_equal(result.U, expected.U)
    # Anchored at the start: the scale of a nu-fold integral over the domain.
    scale = spline.scale() * spline.length**nu
    assert_close(result.P, expected.P, scale)
    np.testing.assert_array_equal(result.P[:nu], 0.0)
    points = domain_points(spline, dense=51)
    assert_close(result.oracle()(points), expected.oracle()(points), scale)


@settings(max_examples=60, deadline=None)
@given(any_splines, st.integers(1, 3))
def test_derivative_of_antiderivative_is_the_curve(spline, nu):
    integral = kernel_antiderivative(spline, nu)
    nk, Uo, Po = kernel_derivative(integral, nu)
    assert nk == spline.n
    np.testing.assert_array_equal(Uo[: len(spline.U)], spline.U)
    # Each differentiation divides differences of values of size |P| * length by
    # knot spans as small as the smallest one.
    conditioning = (spline.length / smallest_span(spline.U)) ** nu
    assert_close(Po[: len(spline.P)], spline.P, spline.scale() * conditioning)


def test_antiderivative_example():
    # The integral of the constant 2 over [0, 3] from 0 is 2x.
    U = np.array([0.0, 3.0])
    integral = kernel_antiderivative(Spline(U, np.array([2.0]), 0), 1)
    np.testing.assert_array_equal(integral.U, [0, 0, 3, 3])
    np.testing.assert_allclose(integral.P, [0, 6], atol=1e-15)


def elevated_knots(U: np.ndarray, nu: int) -> np.ndarray:
    values, counts = np.unique(U, return_counts=True)
    return np.repeat(values, counts + nu)


@settings(max_examples=100, deadline=None)
@given(any_splines, st.integers(0, 3))
def test_degelevc_keeps_values(spline, nu):
    s = len(spline.interior_knots()[0])
    Uo = np.full(len(spline.U) + nu * (s + 2), np.nan)
    Po = np.full(len(spline.P) + nu * (s + 1), np.nan)
    assert knotmath.degelevc(spline.U, spline.P, spline.p, nu, Uo, Po) is None
    np.testing.assert_array_equal(Uo, elevated_knots(spline.U, nu))
    elevated = Spline(Uo, Po, spline.p + nu)
    points = domain_points(spline, dense=51, margin=0.5)
    assert_close(elevated.oracle()(points), spline.oracle()(points), spline.scale())
    if nu == 0:
        np.testing.assert_array_equal(Po, spline.P)


@pytest.mark.parametrize("p", range(1, MAX_DEGREE + 1))
def test_degelevc_of_a_line_has_evenly_spaced_control_points(p):
    # On one Bezier segment the line x has its control points at i / degree.
    U = np.repeat([0.0, 1.0], p + 1)
    P = np.linspace(0.0, 1.0, p + 1)
    nu = 2
    Uo = np.full(len(U) + 2 * nu, np.nan)
    Po = np.full(len(P) + nu, np.nan)
    knotmath.degelevc(U, P, p, nu, Uo, Po)
    np.testing.assert_array_equal(Uo, np.repeat([0.0, 1.0], p + nu + 1))
    np.testing.assert_allclose(Po, np.linspace(0.0, 1.0, p + nu + 1), atol=1e-14)
