// Weighted least squares on a B-spline basis with a smoothing penalty, under
// point conditions met exactly.
#pragma once

#include "planmath/conditions.h"

#include <cstdint>
#include <vector>

namespace pykesta::planmath {

struct FitProblem {
    const double* U; // n + p + 2 finite, non-decreasing knots, clamped
    int32_t n;
    int32_t p;
    const double* t; // m sample times inside [U[0], U[n + p + 1]], any order
    const double* y;
    const double* w; // m non-negative weights, or null for all 1
    int64_t m;
    double smoothing;                          // >= 0: factor of the integral of the squared ...
    int32_t penalty;                           // ... penalty-th derivative, 0 <= penalty
    const std::vector<Condition>& constraints; // sorted, each nu in 0 .. p
};

// Why a problem has no unique solution. `first`, `second` index the sorted
// constraints, except for `undetermined`, where `first` is the control point
// that neither samples, smoothing nor constraints fix.
struct FitFailure {
    enum Kind {
        none,
        repeated,             // constraints first and second fix the same derivative at one time
        too_many_constraints, // more constraints than control points
        undetermined,         // control point first is free
        dependent,            // constraint first repeats or contradicts the others
    } kind = none;
    int32_t first = -1;
    int32_t second = -1;
};

// Minimises sum (w_i (s(t_i) - y_i))^2 + smoothing * integral of
// (s^(penalty))^2 subject to the constraints; writes the n + 1 control
// points into P unless it fails.
FitFailure fit_spline(const FitProblem& problem, double* P);

} // namespace pykesta::planmath
