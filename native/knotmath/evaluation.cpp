// Evaluation kernels: values and derivatives at one point or along sorted
// points, Greville abscissae and the count of distinct interior knots.
//
// Along sorted points the spans are walked once from left to right. A span
// holding several points is converted once to its Taylor polynomial around
// the span's left knot, which then costs a Horner evaluation per point (per
// derivative order); a span holding few points uses de Boor's recurrence.
#include "knotmath/kernels.h"

#include "knotmath/checks.h"
#include "knotmath/degree.h"
#include "knotmath/span.h"

#include <algorithm>
#include <cmath>

namespace pykesta::knotmath {
namespace {

// Converting a span costs about p^3 / 6 recurrence steps against p^2 / 2 per
// point for de Boor, so the conversion pays from about 2 + p / 3 points.
bool prefers_taylor(int32_t points, int32_t p) { return points >= 2 + p / 3; }

// The span of x for a walk that last stood on span k: forward from k while x
// is at or past k's left knot, a binary search when x lies left of it.
int32_t next_span(const double* U, Spans spans, int32_t k, double x) {
    if (k != spans.first && x < U[k]) return find_span(U, spans, x);
    while (k < spans.last && !(x < U[k + 1])) ++k;
    return k;
}

// One past the last of X[begin], X[begin + 1], ... that lie in span k (the
// first span reaches to -inf, the last one to +inf).
int32_t group_end(const double* X, int32_t begin, int32_t m, const double* U, Spans spans,
                  int32_t k) {
    const double low = k == spans.first ? -infinity : U[k];
    const double high = k == spans.last ? infinity : U[k + 1];
    int32_t end = begin + 1;
    while (end < m && X[end] >= low && X[end] < high) ++end;
    return end;
}

// Derivatives of orders lowest .. highest of span k's piece at x: out[j] =
// f^(j)(x), divided by j! when `taylor` (the Taylor coefficients around x).
// Step j turns diff into the control points of the j-th derivative (degree
// p - j, same knots; scaled by 1 / j! when `taylor`), whose value at x de
// Boor's recurrence gives. diff, work: p + 1 doubles.
template <class DegreeType>
void derivatives_at(const double* U, const double* points, DegreeType degree, int32_t k,
                    double x, int32_t lowest, int32_t highest, bool taylor, double* out,
                    double* diff, double* work) {
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

// Taylor coefficients c[lowest .. p] of span k's piece around its left knot.
template <class DegreeType>
void taylor_coefficients(const double* U, const double* points, DegreeType degree, int32_t k,
                         int32_t lowest, double* c, double* diff, double* work) {
    derivatives_at(U, points, degree, k, U[k], lowest, degree, true, c, diff, work);
}

template <class DegreeType> double horner(const double* c, DegreeType degree, double t) {
    const int32_t p = degree;
    double value = c[p];
    for (int32_t j = p - 1; j >= 0; --j) value = value * t + c[j];
    return value;
}

template <class DegreeType>
void evaluate_sorted(double* X, int32_t m, const double* U, const double* P, int32_t n,
                     DegreeType degree) {
    const int32_t p = degree;
    Scratch<DegreeType> coefficients(p), diff(p), work(p);
    const Spans spans = nonempty_spans(U, n, p);
    int32_t k = spans.first;
    for (int32_t begin = 0; begin < m;) {
        const double x = X[begin];
        if (std::isnan(x)) {
            ++begin;
            continue;
        }
        k = next_span(U, spans, k, x);
        const int32_t end = group_end(X, begin, m, U, spans, k);
        const double* points = P + (k - p);
        if (prefers_taylor(end - begin, p)) {
            taylor_coefficients(U, points, degree, k, 0, coefficients.data(), diff.data(),
                                work.data());
            for (int32_t j = begin; j < end; ++j)
                X[j] = horner(coefficients.data(), degree, X[j] - U[k]);
        } else {
            for (int32_t j = begin; j < end; ++j)
                X[j] = de_boor(U, points, degree, k, X[j], work.data());
        }
        begin = end;
    }
}

// Derivatives of orders d1 .. d2 along sorted X into D (row stride cols). A
// span with several points: its Taylor coefficients, then each order's series
// by differentiating the previous one (c'[i] = (i + 1) c[i + 1]), evaluated by
// Horner. A span with few points: the orders asked for, directly at each point.
// Orders above p are 0.
template <class DegreeType>
void differentiate_sorted(const double* X, int32_t m, const double* U, const double* P,
                          int32_t n, DegreeType degree, int32_t d1, int32_t d2, double* D,
                          int32_t cols) {
    const int32_t p = degree;
    const int32_t top = std::min(d2, p);
    // Orders run in 64 bits: d2 may be INT32_MAX.
    const auto at = [D, d1, cols](int64_t order, int32_t j) -> double& {
        return D[(order - d1) * cols + j];
    };
    Scratch<DegreeType> series(p), diff(p), work(p);
    double* g = series.data();
    const Spans spans = nonempty_spans(U, n, p);
    int32_t k = spans.first;
    for (int32_t begin = 0; begin < m;) {
        const double x = X[begin];
        if (std::isnan(x)) {
            for (int64_t order = d1; order <= d2; ++order) at(order, begin) = nan_value;
            ++begin;
            continue;
        }
        k = next_span(U, spans, k, x);
        const int32_t end = group_end(X, begin, m, U, spans, k);
        const double* points = P + (k - p);
        if (d1 <= top && prefers_taylor(end - begin, p)) {
            taylor_coefficients(U, points, degree, k, d1, g, diff.data(), work.data());
            for (int32_t order = 0; order <= top; ++order) {
                // Only g[d1 - order ..] is known before order d1; that is all that is needed.
                if (order > 0)
                    for (int32_t i = std::max(0, d1 - order); i <= p - order; ++i)
                        g[i] = (i + 1) * g[i + 1];
                if (order < d1) continue;
                for (int32_t j = begin; j < end; ++j)
                    at(order, j) = horner(g, p - order, X[j] - U[k]);
            }
        } else if (d1 <= top) {
            for (int32_t j = begin; j < end; ++j) {
                derivatives_at(U, points, degree, k, X[j], d1, top, false, g, diff.data(),
                               work.data());
                for (int32_t order = d1; order <= top; ++order) at(order, j) = g[order];
            }
        }
        for (int64_t order = std::max(int64_t{d1}, int64_t{top} + 1); order <= d2; ++order)
            for (int32_t j = begin; j < end; ++j) at(order, j) = 0.0;
        begin = end;
    }
}

} // namespace

int32_t distintknots(const double* U, int32_t nU, int32_t p) {
    if (p < 0 || int64_t{nU} < int64_t{p} + 2) return 0;
    int32_t count = 0;
    for (int32_t i = 1; i < nU - 1; ++i)
        if (U[i] != U[i - 1] && U[0] < U[i] && U[i] < U[nU - 1]) ++count;
    return count;
}

void averagcpts(const double* U, int32_t nU, int32_t p, double* X, int32_t nX) {
    if (p < 0 || nX < 1 || int64_t{nX} != int64_t{nU} - p - 1) return fill_nan(X, nX);
    if (p == 0) {
        for (int32_t i = 0; i < nX; ++i) X[i] = (U[i] + U[i + 1]) / 2.0;
        return;
    }
    for (int32_t i = 0; i < nX; ++i) {
        double sum = 0.0;
        for (int32_t j = i + 1; j <= i + p; ++j) sum += U[j];
        X[i] = sum / p;
    }
}

double splpev(double x, const double* U, int32_t nU, const double* P, int32_t nP, int32_t p) {
    if (!is_spline(nU, nP, p) || std::isnan(x)) return nan_value;
    return with_degree(p, [&](auto degree) {
        Scratch<decltype(degree)> work(p);
        const Spans spans = nonempty_spans(U, nP - 1, p);
        const int32_t k = find_span(U, spans, x);
        return de_boor(U, P + (k - p), degree, k, x, work.data());
    });
}

void splcev(double* X, int32_t m, const double* U, int32_t nU, const double* P, int32_t nP,
            int32_t p) {
    if (!is_spline(nU, nP, p)) return fill_nan(X, m);
    with_degree(p, [&](auto degree) { evaluate_sorted(X, m, U, P, nP - 1, degree); });
}

void dsplcev(const double* X, int32_t m, const double* U, int32_t nU, const double* P,
             int32_t nP, int32_t p, int32_t d1, int32_t d2, double* D, int32_t rows,
             int32_t cols) {
    if (!is_spline(nU, nP, p) || m < 0 || d1 < 0 || d2 < d1 ||
        int64_t{rows} < int64_t{d2} - d1 + 1 || cols < m)
        return fill_nan(D, rows < 0 || cols < 0 ? 0 : int64_t{rows} * cols);
    with_degree(p, [&](auto degree) {
        differentiate_sorted(X, m, U, P, nP - 1, degree, d1, d2, D, cols);
    });
}

void dsplpev(double x, const double* U, int32_t nU, const double* P, int32_t nP, int32_t p,
             int32_t nu, double* D, int32_t nD) {
    if (!is_spline(nU, nP, p) || nu < 0 || int64_t{nD} < int64_t{nu} + 1) return fill_nan(D, nD);
    dsplcev(&x, 1, U, nU, P, nP, p, 0, nu, D, nu + 1, 1);
}

} // namespace pykesta::knotmath
