// Roots of pieces of degree at most 2 in closed form, with few branches, for
// each branch on a sign of random data is a coin toss. One piece at a time,
// or the whole spans of a run together: a first pass over a block of spans
// without branches, which the compiler vectorises, finds each span's
// candidate roots, and the caller merges them in time order.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace pykesta::planmath {

// Where c0 + c1 u + c2 u^2 (the target already subtracted) crosses zero in
// the open interval (lo, hi).
struct QuadraticCrossings {
    double early; // the first root, when count >= 1
    double late;  // the second, when count == 2
    double count; // 0, 1 or 2 (a double, for loops that vectorise)
    bool near;    // a value that decided lay within tol of zero: the caller gives up
};

// start_value and end_value: the piece's values at lo and hi. Without values
// within tol of zero every root is simple, a sign change, and the parity of
// their count checks the formula.
inline QuadraticCrossings quadratic_crossings(double c0, double c1, double c2, double lo, double hi,
                                              double start_value, double end_value, double tol) {
    // The vertex lies inside where the slope changes sign; its value is
    // -discriminant / (4 c2). Both without a division.
    const double slope_lo = 2.0 * c2 * lo + c1, slope_hi = 2.0 * c2 * hi + c1;
    const bool vertex_inside =
        ((slope_lo < 0.0) & (slope_hi > 0.0)) | ((slope_lo > 0.0) & (slope_hi < 0.0));
    // The stable formula: c2 = 0 leaves the linear root in `second`. A
    // negative discriminant gives NaN roots, which lie nowhere.
    const double discriminant = c1 * c1 - 4.0 * c2 * c0;
    const double q = -0.5 * (c1 + std::copysign(std::sqrt(discriminant), c1));
    const double first = q / c2, second = c0 / q;
    const bool first_in = (first > lo) & (first < hi);
    const bool second_in = (second > lo) & (second < hi);
    const bool sign_change = (start_value > 0.0) != (end_value > 0.0);
    const double size = std::max(std::max(std::fabs(c0), std::fabs(c1)), std::fabs(c2));
    const bool near = !(size > tol) | !(std::fabs(start_value) > tol) |
                      !(std::fabs(end_value) > tol) |
                      (vertex_inside & !(std::fabs(discriminant) > 4.0 * tol * std::fabs(c2))) |
                      ((first_in != second_in) != sign_change);
    const double early = first_in & !(second_in & (second < first)) ? first : second;
    const double count = (first_in ? 1.0 : 0.0) + (second_in ? 1.0 : 0.0);
    return {early, std::max(first, second), count, near};
}

// What the sweep finds on a block of whole spans, per span: the candidate
// roots as times clamped to the span, and the signs (+-1) of the piece minus
// the target at the span's ends.
struct SweptSpans {
    static constexpr int32_t capacity = 256;
    std::array<double, capacity> early, late, count, start_sign, end_sign;
    std::array<double, capacity> near; // 1 where a value within tol of the target decided
};

// Where the sweep looks: values within tol of `value` count as on it; a span
// whose coefficients all lie at or above `above` (at or below `below`) is
// settled on that side without a look.
struct SweepTarget {
    double value;
    double tol;
    double above;
    double below;
};

// Fills `swept` for the spans k0 .. k0 + count - 1 (count <= capacity, all
// within the non-empty spans' range) of the spline of degree q <= 2 with the
// B-spline coefficients `coefficients` (span k's are [k - q .. k]) over the
// knots U. An empty span's entries are meaningless: the caller skips it.
void sweep_whole_spans(const double* U, const double* coefficients, int32_t q, int32_t k0,
                       int32_t count, const SweepTarget& target, SweptSpans& swept);

} // namespace pykesta::planmath
