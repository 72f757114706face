// The spline of degree p that meets n + 1 point conditions exactly: a square,
// banded collocation system.
#pragma once

#include "planmath/conditions.h"

#include <cstdint>
#include <vector>

namespace pykesta::planmath {

// Why a set of conditions has no unique interpolant. `first` (and `second`)
// index the sorted conditions.
struct InterpolationFailure {
    enum Kind {
        none,
        repeated,        // first and second fix the same derivative at the same time
        outside_support, // first lies outside the support of its basis function
        singular,        // the system is singular at first
    } kind = none;
    int32_t first = -1;
    int32_t second = -1;
};

// Sorted conditions (n + 1 of them, n >= p, every nu in 0 .. p) and n + p + 2
// finite, non-decreasing knots clamped at the conditions' first and last times.
// Writes the n + 1 control points into P unless it fails.
InterpolationFailure interpolate_conditions(const std::vector<Condition>& sorted, const double* U,
                                            int32_t p, double* P);

} // namespace pykesta::planmath
