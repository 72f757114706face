// Exact analysis of a B-spline over an interval [a, b] of its domain
// [U[0], U[n + p + 1]]: definite integral, extrema and roots of a derivative.
// Left of the first non-empty span and right of the last one the spline is
// their polynomial continued, as evaluation does. Requires finite,
// nondecreasing knots and U[0] <= a <= b <= U[n + p + 1]; control points may
// hold anything (NaN gives NaN, never a read outside the arrays).
#pragma once

#include "planmath/pieces.h"

#include <vector>

namespace pykesta::planmath {

// The integral over [a, b]; a > b gives the negative of the one over [b, a].
double integral(const Spline& spline, double a, double b);

struct Extrema {
    double tmin;
    double min;
    double tmax;
    double max;
};

// Infimum and supremum of the nu-th derivative over [a, b] and where they are
// reached (the earliest time on ties). A derivative that jumps at a knot
// inside (a, b) counts both one-sided limits there. NaN anywhere gives NaN.
Extrema extrema(const Spline& spline, int32_t nu, double a, double b);

// extrema() of several derivative orders at once (one expansion per span):
// found[i] for orders[i], count >= 1.
void extrema_of_orders(const Spline& spline, const int32_t* orders, int32_t count, double a,
                       double b, Extrema* found);

// The distinct times in [a, b], increasing, where the nu-th derivative
// equals `value`: sign changes, touching roots, a jump across `value` at a
// knot, and the two ends of every stretch where it equals `value` throughout.
std::vector<double> roots(const Spline& spline, int32_t nu, double value, double a, double b);

} // namespace pykesta::planmath
