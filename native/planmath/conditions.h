// Point conditions on a spline (value or derivative at a time) and the knot
// rules that make a system of them solvable.
#pragma once

#include "planmath/pieces.h"

#include <cstdint>
#include <vector>

namespace pykesta::planmath {

// The nu-th derivative must equal `value` at t. `source` says where the caller
// got it from (an index of its own), for messages.
struct Condition {
    double t;
    double value;
    int32_t nu;
    int32_t source;
};

// Sorts by time, then by derivative order (stable for equal pairs); fast when
// only a tail is out of order.
void sort_conditions(std::vector<Condition>& conditions);

// The first adjacent pair of sorted conditions on the same derivative at the
// same time, as the index of its first member, or -1.
int32_t find_repeated(const std::vector<Condition>& sorted);

// Knots of degree p clamped at the first and last of the sorted times
// (count >= p + 1, no p + 2 of them equal) for count coefficients. Interior
// knot p + j must lie strictly between times j - 1 and p + j for every
// condition to fall inside the support of its own basis function (Hermite
// data included); it is the average of the p times j .. j + p - 1 (de Boor's
// rule) where that lies strictly between, else the average of the p + 2 times
// j - 1 .. p + j, which always does. Either way the knots increase with j.
// U receives count + p + 1 knots.
void averaged_knots(const double* times, int32_t count, int32_t p, double* U);

// Knots of degree p for n + 1 coefficients clamped at the first and last of
// the sorted times (m of them): interior knot j = 1 .. n - p at the j / (n - p
// + 1) quantile, so that the spans hold about equally many samples.
void quantile_knots(const double* sorted, int64_t m, int32_t n, int32_t p, double* U);

// The span of the spline's knots whose piece gives the derivatives at t: the
// non-empty span with U[k] <= t < U[k + 1], the last one at the domain's end.
int32_t span_of(const double* U, int32_t n, int32_t p, double t);

} // namespace pykesta::planmath
