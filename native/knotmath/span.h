// Span search and de Boor's recurrence, the building blocks of every kernel
// that evaluates a polynomial piece.
#pragma once

#include "knotmath/checks.h"

#include <algorithm>
#include <cstdint>

namespace pykesta::knotmath {

// First and last non-empty span (U[k] < U[k+1]) in [p, n]; both p when every
// span is empty.
struct Spans {
    int32_t first;
    int32_t last;
};

// Requires n >= p (U holds n + p + 2 knots). Both searches are bounded by
// indices alone: another thread may write U meanwhile (evaluation over many
// points runs without the interpreter lock), so the span found first need not
// be there when the second search arrives, and p <= first <= last <= n holds
// whatever U holds.
inline Spans nonempty_spans(const double* U, int32_t n, int32_t p) {
    int32_t first = p;
    while (first <= n && !(U[first] < U[first + 1])) ++first;
    if (first > n) return {p, p};
    int32_t last = n;
    while (last > first && !(U[last] < U[last + 1])) --last;
    return {first, last};
}

// The span of x: U[k] <= x < U[k+1] among the non-empty spans, the first one
// for anything left of it (and NaN), the last one for anything at or beyond
// its left knot. Each step of the search narrows by four with three probes
// whose loads are independent, so that a step costs about one load's latency,
// and how many steps there are does not depend on x (random points would
// mispredict the branches of a search that stops early). Whatever U holds,
// unsorted or changing meanwhile, it ends in [first, last]: only the indices
// bound the probes.
inline int32_t find_span(const double* U, Spans spans, double x) {
    if (spans.first == spans.last || !(x >= U[spans.first + 1])) return spans.first;
    if (x >= U[spans.last]) return spans.last;
    // U[low] <= x < U[low + count]
    int32_t low = spans.first + 1;
    int32_t count = spans.last - low;
    while (count >= 4) {
        const int32_t quarter = count / 4;
        const int32_t passed = int32_t{x >= U[low + quarter]} + int32_t{x >= U[low + 2 * quarter]} +
                               int32_t{x >= U[low + 3 * quarter]};
        low += passed * quarter;
        count -= 3 * quarter;
    }
    while (count > 1) {
        const int32_t half = count / 2;
        low = x < U[low + half] ? low : low + half;
        count -= half;
    }
    return low;
}

// The blossom of the degree-p piece of span k at the arguments arg(0) ..
// arg(p - 1): de Boor's recurrence with one argument per level (all equal to x
// gives the value at x). points[0 .. p] are the piece's control points
// P[k - p .. k]; U must hold the knots U[k - p + 1 .. k + p]. work: p + 1 doubles.
template <class Degree, class Args>
double blossom(const double* U, const double* points, Degree degree, int32_t k, Args&& arg,
               double* work) {
    const int32_t p = degree;
    for (int32_t i = 0; i <= p; ++i) work[i] = points[i];
    for (int32_t r = 1; r <= p; ++r) {
        const double x = arg(r - 1);
        for (int32_t i = p; i >= r; --i) {
            const double left = U[k - p + i];
            const double alpha = safe_div(x - left, U[k + i + 1 - r] - left);
            work[i] = (1.0 - alpha) * work[i - 1] + alpha * work[i];
        }
    }
    return work[p];
}

// The value at x of the degree-p piece of span k (the blossom at x, ..., x),
// unrolled completely for a compile-time degree: a single point's evaluation
// then keeps the recurrence in registers, and its divisions overlap.
template <class Degree>
double de_boor(const double* U, const double* points, Degree degree, int32_t k, double x,
               double* work) {
    const int32_t p = degree;
#pragma GCC unroll 8
    for (int32_t i = 0; i <= p; ++i) work[i] = points[i];
#pragma GCC unroll 8
    for (int32_t r = 1; r <= p; ++r) {
#pragma GCC unroll 8
        for (int32_t i = p; i >= r; --i) {
            const double left = U[k - p + i];
            const double alpha = safe_div(x - left, U[k + i + 1 - r] - left);
            work[i] = (1.0 - alpha) * work[i - 1] + alpha * work[i];
        }
    }
    return work[p];
}

// Derivatives of orders lowest .. highest of span k's piece at x: out[j] =
// f^(j)(x), divided by j! when `taylor` (the Taylor coefficients around x).
// Step j turns diff into the control points of the j-th derivative (degree
// p - j, same knots; scaled by 1 / j! when `taylor`), whose value at x de
// Boor's recurrence gives. diff, work: p + 1 doubles.
template <class DegreeType>
void derivatives_at(const double* U, const double* points, DegreeType degree, int32_t k, double x,
                    int32_t lowest, int32_t highest, bool taylor, double* out, double* diff,
                    double* work) {
    const int32_t p = degree;
    std::copy_n(points, p + 1, diff);
    for (int32_t j = 0; j <= highest; ++j) {
        if (j > 0) {
            const double factor = taylor ? static_cast<double>(p - j + 1) / j : p - j + 1;
            for (int32_t i = p; i >= j; --i)
                diff[i] = factor * safe_div(diff[i] - diff[i - 1], U[k + i - j + 1] - U[k - p + i]);
        }
        if (j >= lowest) out[j] = de_boor(U, diff + j, p - j, k, x, work);
    }
}

} // namespace pykesta::knotmath
