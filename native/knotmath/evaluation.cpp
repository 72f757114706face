// Evaluation kernels: values and derivatives at one point or along many
// points, Greville abscissae and the count of distinct interior knots.
//
// Along increasing points the spans are walked once from left to right, a
// block of points at a time: a search finds where the current span's points
// end, a check confirms that each of them lies in the span, and they are
// evaluated together. A span holding several points is converted once to its
// Taylor polynomial around the span's midpoint, after which a point costs p
// multiply-adds in a loop without branches that the compiler vectorises; a
// span holding few points uses de Boor's recurrence per point. Points out of
// order get the same values (to rounding) by a search per point.
#include "knotmath/kernels.h"

#include "knotmath/checks.h"
#include "knotmath/degree.h"
#include "knotmath/fastest.h"
#include "knotmath/span.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace pykesta::knotmath {
namespace {

// Points handled together: a block stays in the first-level cache between the
// check that its points lie in the span and their evaluation.
constexpr int32_t block_size = 512;

// Converting a span costs about p^3 / 6 recurrence steps against p^2 / 2 per
// point for de Boor, so the conversion pays from about 2 + p / 3 points.
bool prefers_taylor(int32_t points, int32_t p) { return points >= 2 + p / 3; }

// The span of x for a walk that last stood on span k: k or one of the next
// few spans, the usual steps along increasing points, else a search (points
// far apart or out of order).
int32_t next_span(const double* U, Spans spans, int32_t k, double x) {
    if (k == spans.first || x >= U[k]) {
        for (int32_t steps = 0; steps < 4; ++steps, ++k)
            if (k == spans.last || x < U[k + 1]) return k;
    }
    return find_span(U, spans, x);
}

// The points that belong to span k: [low, high), reaching to -inf for the
// first span and to +inf for the last one. NaN belongs to none.
struct Interval {
    double low;
    double high;

    bool holds(double x) const { return x >= low && x < high; }
};

Interval span_interval(const double* U, Spans spans, int32_t k) {
    return {k == spans.first ? -infinity : U[k], k == spans.last ? infinity : U[k + 1]};
}

// Whether every point of X[begin .. end - 1] lies in the span. Written as a
// conditional reduction without branches or an early exit, which the compiler
// vectorises.
bool all_inside(const double* X, int32_t begin, int32_t end, Interval span) {
    double misplaced = 0.0;
    for (int32_t j = begin; j < end; ++j) {
        misplaced = X[j] >= span.low ? misplaced : 1.0;
        misplaced = X[j] < span.high ? misplaced : 1.0;
    }
    return misplaced == 0.0;
}

// One past the points X[begin], X[begin + 1], ... before `limit` that lie in
// the span, X[begin] counting as one of them (the caller chose the span for
// it). For increasing points a search finds them: the whole block when its
// last point lies in the span, else a galloping search for the first point
// beyond. Points out of order are caught by the check, and a scan then stops
// at the first point outside the span.
int32_t points_in_span(const double* X, int32_t begin, int32_t limit, Interval span) {
    int32_t inside = begin;
    int32_t outside = limit;
    if (span.holds(X[limit - 1])) {
        inside = limit - 1;
    } else {
        int32_t step = 1;
        while (step < limit - inside && span.holds(X[inside + step])) {
            inside += step;
            step *= 2;
        }
        outside = std::min(inside + step, limit);
    }
    while (outside - inside > 1) {
        const int32_t middle = inside + (outside - inside) / 2;
        if (span.holds(X[middle]))
            inside = middle;
        else
            outside = middle;
    }
    if (all_inside(X, begin + 1, outside, span)) return outside;
    int32_t end = begin + 1;
    while (end < limit && span.holds(X[end])) ++end;
    return end;
}

// Walks the points from left to right: group(k, begin, end) for each run
// X[begin .. end - 1] of points in span k (at most block_size long),
// point(k, j) for a point X[j] in span k met on its own, and nan_point(j) for
// each NaN X[j]. Where a point lies below its predecessor the points are out
// of order, and a search per point serves the next block better than the
// walk. X[j] is read before any callback for j is called and never after, so
// the callbacks may overwrite it. Requires n >= p.
template <class Group, class Point, class NanPoint>
void walk_spans(const double* X, int32_t m, const double* U, int32_t n, int32_t p, Group&& group,
                Point&& point, NanPoint&& nan_point) {
    const Spans spans = nonempty_spans(U, n, p);
    int32_t k = spans.first;
    for (int32_t begin = 0; begin < m;) {
        const double x = X[begin];
        if (std::isnan(x)) {
            nan_point(begin);
            ++begin;
            continue;
        }
        k = next_span(U, spans, k, x);
        const int32_t limit = begin + std::min(block_size, m - begin);
        const int32_t end = points_in_span(X, begin, limit, span_interval(U, spans, k));
        const double last = X[end - 1];
        group(k, begin, end);
        begin = end;
        if (begin == m || !(X[begin] < last)) continue;
        for (const int32_t stop = begin + std::min(block_size, m - begin); begin < stop; ++begin) {
            if (std::isnan(X[begin]))
                nan_point(begin);
            else
                point(find_span(U, spans, X[begin]), begin);
        }
    }
}

// Span k's piece in powers of (x - centre), centre the span's midpoint:
// coefficients[j] = f^(j)(centre) / j! for j >= the lowest order asked for.
// Around the midpoint the powers stay below half the span's width to the
// power, which keeps Horner's rule accurate for high degrees too.
template <class DegreeType> class SpanPolynomial {
  public:
    explicit SpanPolynomial(int32_t p) : coefficients_(p), diff_(p), work_(p) {}

    // Converts span k unless it is the one converted last.
    void convert(const double* U, const double* P, DegreeType degree, int32_t k, int32_t lowest) {
        if (k == span_) return;
        span_ = k;
        centre_ = 0.5 * U[k] + 0.5 * U[k + 1]; // halves first: no overflow
        derivatives_at(U, P + (k - degree), degree, k, centre_, lowest, degree, true,
                       coefficients_.data(), diff_.data(), work_.data());
    }

    bool holds(int32_t k) const { return k == span_; }
    double centre() const { return centre_; }
    double* coefficients() { return coefficients_.data(); }

  private:
    Scratch<DegreeType> coefficients_, diff_, work_;
    double centre_ = 0.0;
    int32_t span_ = -1;
};

// values[j] = sum a[i] (X[j] - centre)^i for j < count by Horner's rule;
// `values` may be X itself.
template <class DegreeType>
void horner_loop(const double* a, DegreeType degree, double centre, const double* X, double* values,
                 int32_t count) {
    const int32_t p = degree;
    for (int32_t j = 0; j < count; ++j) {
        const double t = X[j] - centre;
        double value = a[p];
        for (int32_t i = p - 1; i >= 0; --i) value = value * t + a[i];
        values[j] = value;
    }
}

// horner_loop for a compile-time degree, over a local copy of the
// coefficients: the compiler then sees that writing `values` cannot change
// them, keeps them in registers and vectorises over the points.
template <int32_t D>
void horner_block(const double* c, Degree<D> degree, double centre, const double* X, double* values,
                  int32_t count) {
    std::array<double, D + 1> local;
    std::copy_n(c, D + 1, local.begin());
    horner_loop(local.data(), degree, centre, X, values, count);
}

void horner_block(const double* c, int32_t p, double centre, const double* X, double* values,
                  int32_t count) {
    horner_loop(c, p, centre, X, values, count);
}

template <class DegreeType>
void evaluate_sorted(double* X, int32_t m, const double* U, const double* P, int32_t n,
                     DegreeType degree) {
    const int32_t p = degree;
    SpanPolynomial<DegreeType> polynomial(p);
    Scratch<DegreeType> work(p);
    const auto point = [&](int32_t k, int32_t j) {
        X[j] = de_boor(U, P + (k - p), degree, k, X[j], work.data());
    };
    const auto group = [&](int32_t k, int32_t begin, int32_t end) {
        if (polynomial.holds(k) || prefers_taylor(end - begin, p)) {
            polynomial.convert(U, P, degree, k, 0);
            horner_block(polynomial.coefficients(), degree, polynomial.centre(), X + begin,
                         X + begin, end - begin);
            return;
        }
        for (int32_t j = begin; j < end; ++j) point(k, j);
    };
    // A NaN point stays NaN.
    walk_spans(X, m, U, n, p, group, point, [](int32_t) {});
}

// Derivatives of orders d1 .. d2 along sorted X into D (row stride cols). A
// span with several points: its Taylor coefficients, then each order's series
// by differentiating the previous one (c'[i] = (i + 1) c[i + 1]), evaluated by
// Horner. A span with few points: the orders asked for, directly at each point.
// Orders above p are 0. With a single order, D may be X itself (in place).
template <class DegreeType>
void differentiate_sorted(const double* X, int32_t m, const double* U, const double* P, int32_t n,
                          DegreeType degree, int32_t d1, int32_t d2, double* D, int32_t cols) {
    const int32_t p = degree;
    const int32_t top = std::min(d2, p);
    // Orders run in 64 bits: d2 may be INT32_MAX.
    const auto row = [D, d1, cols](int64_t order) { return D + (order - d1) * cols; };
    SpanPolynomial<DegreeType> polynomial(p);
    Scratch<DegreeType> series(p), diff(p), work(p);
    double* g = series.data();
    const auto zeros_above_top = [&](int32_t begin, int32_t end) {
        for (int64_t order = std::max(int64_t{d1}, int64_t{top} + 1); order <= d2; ++order)
            std::fill(row(order) + begin, row(order) + end, 0.0);
    };
    const auto point = [&](int32_t k, int32_t j) {
        if (d1 <= top) {
            derivatives_at(U, P + (k - p), degree, k, X[j], d1, top, false, g, diff.data(),
                           work.data());
            for (int32_t order = d1; order <= top; ++order) row(order)[j] = g[order];
        }
        zeros_above_top(j, j + 1);
    };
    const auto by_series = [&](int32_t k, int32_t begin, int32_t end) {
        polynomial.convert(U, P, degree, k, d1);
        std::copy_n(polynomial.coefficients(), p + 1, g);
        for (int32_t order = 0; order <= top; ++order) {
            // Only g[d1 - order ..] is known before order d1; that is all that is needed.
            if (order > 0)
                for (int32_t i = std::max(0, d1 - order); i <= p - order; ++i)
                    g[i] = (i + 1) * g[i + 1];
            if (order < d1) continue;
            with_degree_up_to(degree, p - order, [&](auto series_degree) {
                horner_block(g, series_degree, polynomial.centre(), X + begin, row(order) + begin,
                             end - begin);
            });
        }
        zeros_above_top(begin, end);
    };
    const auto group = [&](int32_t k, int32_t begin, int32_t end) {
        if (d1 > top) return zeros_above_top(begin, end);
        if (polynomial.holds(k) || prefers_taylor(end - begin, p)) return by_series(k, begin, end);
        for (int32_t j = begin; j < end; ++j) point(k, j);
    };
    const auto nan_point = [&](int32_t j) {
        for (int64_t order = d1; order <= d2; ++order) row(order)[j] = nan_value;
    };
    walk_spans(X, m, U, n, p, group, point, nan_point);
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
    run_fastest(
        [&] { with_degree(p, [&](auto degree) { evaluate_sorted(X, m, U, P, nP - 1, degree); }); });
}

void dsplcev(const double* X, int32_t m, const double* U, int32_t nU, const double* P, int32_t nP,
             int32_t p, int32_t d1, int32_t d2, double* D, int32_t rows, int32_t cols) {
    if (!is_spline(nU, nP, p) || m < 0 || d1 < 0 || d2 < d1 ||
        int64_t{rows} < int64_t{d2} - d1 + 1 || cols < m)
        return fill_nan(D, rows < 0 || cols < 0 ? 0 : int64_t{rows} * cols);
    run_fastest([&] {
        with_degree(p, [&](auto degree) {
            differentiate_sorted(X, m, U, P, nP - 1, degree, d1, d2, D, cols);
        });
    });
}

void dsplpev(double x, const double* U, int32_t nU, const double* P, int32_t nP, int32_t p,
             int32_t nu, double* D, int32_t nD) {
    if (!is_spline(nU, nP, p) || nu < 0 || int64_t{nD} < int64_t{nu} + 1) return fill_nan(D, nD);
    dsplcev(&x, 1, U, nU, P, nP, p, 0, nu, D, nu + 1, 1);
}

} // namespace pykesta::knotmath
