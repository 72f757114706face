// The polynomial pieces of a B-spline's derivative, span by span, in two
// forms. The Bernstein coefficients b on the span [left, right] bound the
// piece there (convex hull) and give its values at the knots exactly. The
// scaled power basis, sum c[j] u^j with u = (t - centre) / half in [-1, 1]
// (centre the span's midpoint, half its half-width), makes every coefficient
// the size of the piece's variation over the span whatever the time unit,
// which keeps root finding free of the knots' scale.
#pragma once

#include "knotmath/degree.h"
#include "knotmath/span.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace pykesta::planmath {

using knotmath::Degree;

// A B-spline's arrays as a trajectory holds them: n + p + 2 knots U and n + 1
// control points P, n >= p >= 0. Every span index handed to a function lies
// in [p, n].
struct Spline {
    const double* U;
    const double* P;
    int32_t n;
    int32_t p;
};

// Whether values[0 .. degree] all lie in [low, high] (false for NaN). Without
// early exits: on random data each would be a coin toss.
template <class DegreeType>
bool all_within(const double* values, DegreeType degree, double low, double high) {
    bool all = true;
    for (int32_t j = 0; j <= degree; ++j) all &= (values[j] >= low) & (values[j] <= high);
    return all;
}

// One span's piece of a derivative.
struct Piece {
    double left;
    double right;
    double centre;
    double half;
    int32_t degree;
    const double* b; // degree + 1 Bernstein coefficients on [left, right]
    const double* c; // degree + 1 scaled power coefficients

    double time_of(double u) const { return centre + half * u; }
    double value(double u) const {
        double v = c[degree];
        for (int32_t j = degree - 1; j >= 0; --j) v = v * u + c[j];
        return v;
    }
};

// The part of a piece inside [a, b]: times t0 <= t1 and the matching u0 <= u1.
// Left of the first non-empty span and right of the last one a stretch may
// reach beyond its piece's span (the polynomial continued): `inside` says
// whether it lies within [left, right], where the Bernstein coefficients bound it.
struct Stretch {
    Piece piece;
    double t0;
    double t1;
    double u0;
    double u1;
    bool inside;

    double start_value() const { return t0 == piece.left ? piece.b[0] : piece.value(u0); }
    double end_value() const { return t1 == piece.right ? piece.b[piece.degree] : piece.value(u1); }
    // Whether every value over the stretch lies in [low, high] (false for NaN).
    bool within(double low, double high) const {
        return inside && all_within(piece.b, piece.degree, low, high);
    }
};

// The next derivative of a piece into b and c (max(degree, 1) coefficients
// each); a constant or a zero-width piece gives zeros.
Piece differentiate(const Piece& piece, double* b, double* c);

// The B-spline coefficients of a spline's nu-th derivative, a spline of degree
// max(p - nu, 0) over the same knots (zero above the degree): coefficient i
// (of nu .. n) belongs where control point i does, so that span k's piece has
// the coefficients k - degree .. k.
class DerivativeCoefficients {
  public:
    DerivativeCoefficients(const Spline& spline, int32_t nu);
    const double* data() const { return data_; }
    int32_t degree() const { return degree_; }

  private:
    std::vector<double> owned_; // empty for nu = 0
    const double* data_;
    int32_t degree_;
};

// The Bernstein coefficients of span k's piece of a degree-q spline with the
// coefficients points[0 .. q] (those of k - q .. k): b[j] is the blossom at
// U[k] (q - j times) and U[k + 1] (j times). work: 3 (q + 1)^2 doubles.
void bernstein_of_span(const double* U, const double* points, int32_t q, int32_t k, double* b,
                       double* work);
inline void bernstein_of_span(const double*, const double* points, Degree<0>, int32_t, double* b,
                              double*) {
    b[0] = points[0];
}
inline void bernstein_of_span(const double*, const double* points, Degree<1>, int32_t, double* b,
                              double*) {
    b[0] = points[0];
    b[1] = points[1];
}
// What a degree-2 piece's blossom at U[k + 1] weighs its control points k - 1
// and k with: the share of span k in the spans k and k + 1. Span k's
// Bernstein coefficients need it at k - 1 and k, which neighbours share.
inline double knot_ratio(const double* U, int32_t k) {
    return knotmath::safe_div(U[k + 1] - U[k], U[k + 2] - U[k]);
}
// The Bernstein coefficients of a degree-2 piece from its control points and
// the knot ratios before (at k - 1) and after (at k) it: the blossoms at
// (U[k], U[k]), (U[k], U[k + 1]) and (U[k + 1], U[k + 1]), de Boor's
// recurrence with its steps of weight 0 and 1 left out.
inline void bernstein_of_quadratic(const double* points, double before, double after, double* b) {
    b[0] = (1.0 - before) * points[0] + before * points[1];
    b[1] = points[1];
    b[2] = (1.0 - after) * points[1] + after * points[2];
}
inline void bernstein_of_span(const double* U, const double* points, Degree<2>, int32_t k,
                              double* b, double*) {
    bernstein_of_quadratic(points, knot_ratio(U, k - 1), knot_ratio(U, k), b);
}
template <int32_t D>
void bernstein_of_span(const double* U, const double* points, Degree<D>, int32_t k, double* b,
                       double* work) {
    bernstein_of_span(U, points, D, k, b, work);
}

// The matrix taking Bernstein coefficients of degree q on [-1, 1] to power
// coefficients: entry [j (q + 1) + i] is the coefficient of u^j in
// binomial(q, i) ((1 + u) / 2)^i ((1 - u) / 2)^(q - i).
constexpr void fill_bernstein_to_power(int32_t q, double* M) {
    const int32_t size = q + 1;
    for (int32_t i = 0; i < size * size; ++i) M[i] = 0.0;
    for (int32_t i = 0; i <= q; ++i) {
        double binomial = 1.0;
        for (int32_t j = 1; j <= i; ++j) binomial = binomial * (q - j + 1) / j;
        double column_scale = binomial;
        for (int32_t j = 0; j < q; ++j) column_scale /= 2.0;
        M[i] = column_scale;
        // Multiply the column's polynomial by (1 + u) i times, then by (1 - u).
        for (int32_t m = 0; m < q; ++m) {
            const double sign = m < i ? 1.0 : -1.0;
            for (int32_t j = m + 1; j >= 1; --j) M[j * size + i] += sign * M[(j - 1) * size + i];
        }
    }
}

template <int32_t D> constexpr std::array<double, (D + 1) * (D + 1)> bernstein_to_power() {
    std::array<double, (D + 1) * (D + 1)> M{};
    fill_bernstein_to_power(D, M.data());
    return M;
}

// Per-piece scratch: on the stack for a compile-time degree, allocated once
// otherwise.
template <class DegreeType> struct PieceScratch {
    explicit PieceScratch(int32_t q)
        : b(static_cast<std::size_t>(q) + 1), c(b.size()), work(3 * b.size() * b.size()),
          to_power(b.size() * b.size()) {
        fill_bernstein_to_power(q, to_power.data());
    }
    std::vector<double> b, c, work, to_power;
};

template <int32_t D> struct PieceScratch<Degree<D>> {
    explicit PieceScratch(int32_t) {}
    std::array<double, D + 1> b{}, c{};
    std::array<double, 3 * (D + 1) * (D + 1)> work{};
    static constexpr std::array<double, (D + 1) * (D + 1)> to_power = bernstein_to_power<D>();
};

// The pieces of a degree-q spline (the coefficients of a derivative of
// `spline`, over its knots) on the spans of `spline`, q given as a
// compile-time Degree for the specialised degrees.
template <class DegreeType> class SpanPieces {
  public:
    SpanPieces(const Spline& spline, const double* coefficients, DegreeType degree)
        : spline_(spline), coefficients_(coefficients), degree_(degree),
          spans_(knotmath::nonempty_spans(spline.U, spline.n, spline.p)), scratch_(degree) {}

    // f(stretch) for the pieces over [a, b], left to right; a == b gives the
    // one piece that evaluation uses at a. A piece's coefficients stay valid
    // until f returns. Before a stretch inside its span is expanded,
    // hull(coefficients, degree, t0, t1) may settle it from the span's
    // B-spline coefficients [0 .. degree] alone, which bound it: it returns
    // true to skip it.
    template <class F, class Hull> void for_each_stretch(double a, double b, F&& f, Hull&& hull);
    template <class F> void for_each_stretch(double a, double b, F&& f) {
        for_each_stretch(a, b, f, [](const double*, DegreeType, double, double) { return false; });
    }
    // As above, but the stretches that are whole spans (t0 = U[k], t1 =
    // U[k + 1]), consecutive spans first .. last with empty ones among them,
    // go together to whole(coefficients, first, last), between the stretches
    // before and after them.
    template <class F, class Hull, class Whole>
    void for_each_stretch(double a, double b, F&& f, Hull&& hull, Whole&& whole);

    // A bound on |c[j]| of every piece that for_each_stretch gives with
    // `inside` (the B-spline coefficients bound the Bernstein ones); NaN or
    // infinite when a coefficient is.
    double bound() const;

  private:
    Piece expand(int32_t k);

    Spline spline_;
    const double* coefficients_;
    DegreeType degree_;
    knotmath::Spans spans_;
    PieceScratch<DegreeType> scratch_;
};

template <class DegreeType> Piece SpanPieces<DegreeType>::expand(int32_t k) {
    const int32_t q = degree_;
    const double left = spline_.U[k], right = spline_.U[k + 1];
    double* b = scratch_.b.data();
    double* c = scratch_.c.data();
    bernstein_of_span(spline_.U, coefficients_ + (k - q), degree_, k, b, scratch_.work.data());
    const double* M = scratch_.to_power.data();
    for (int32_t j = 0; j <= q; ++j) {
        double sum = 0.0;
        for (int32_t i = 0; i <= q; ++i) sum += M[j * (q + 1) + i] * b[i];
        c[j] = sum;
    }
    // Halves first: no overflow.
    return {left, right, 0.5 * left + 0.5 * right, 0.5 * right - 0.5 * left, q, b, c};
}

template <class DegreeType>
template <class F, class Hull>
void SpanPieces<DegreeType>::for_each_stretch(double a, double b, F&& f, Hull&& hull) {
    const double* U = spline_.U;
    const int32_t first = spans_.first, last = spans_.last, q = degree_;
    const double start = U[0], stop = U[spline_.n + spline_.p + 1];
    const auto stretch = [&](int32_t k, double t0, double t1) {
        if (t0 >= U[k] && t1 <= U[k + 1] && hull(coefficients_ + (k - q), degree_, t0, t1)) return;
        const Piece piece = expand(k);
        const auto u = [&](double t) {
            if (t == piece.left) return -1.0;
            if (t == piece.right) return 1.0;
            return piece.half > 0.0 ? (t - piece.centre) / piece.half : 0.0;
        };
        f(Stretch{piece, t0, t1, u(t0), u(t1), t0 >= piece.left && t1 <= piece.right});
    };
    const int32_t from = knotmath::find_span(U, spans_, a);
    if (!(a < b)) return stretch(from, a, a);
    for (int32_t k = from; k <= last; ++k) {
        const double low = k == first ? start : U[k];
        const double high = k == last ? stop : U[k + 1];
        if (!(low < high)) continue;
        if (!(low < b)) break;
        stretch(k, low > a ? low : a, high < b ? high : b);
    }
}

template <class DegreeType>
template <class F, class Hull, class Whole>
void SpanPieces<DegreeType>::for_each_stretch(double a, double b, F&& f, Hull&& hull,
                                              Whole&& whole) {
    const double* U = spline_.U;
    if (!(a < b)) return for_each_stretch(a, b, f, hull);
    // The whole spans are consecutive (knots are nondecreasing): from the span
    // of a, or the next one unless a is its left knot, to the one before the
    // span of b, or that span itself when b is the last span's right knot.
    const int32_t from = knotmath::find_span(U, spans_, a);
    const int32_t to = knotmath::find_span(U, spans_, b);
    const int32_t first = a == U[from] ? from : from + 1;
    const int32_t last = to == spans_.last && b == U[to + 1] ? to : to - 1;
    if (first > last) return for_each_stretch(a, b, f, hull);
    if (a < U[first]) for_each_stretch(a, U[first], f, hull);
    whole(coefficients_, first, last);
    if (U[last + 1] < b) for_each_stretch(U[last + 1], b, f, hull);
}

template <class DegreeType> double SpanPieces<DegreeType>::bound() const {
    const int32_t q = degree_;
    const double* M = scratch_.to_power.data();
    double factor = 0.0; // the largest row sum of |M|
    for (int32_t j = 0; j <= q; ++j) {
        double sum = 0.0;
        for (int32_t i = 0; i <= q; ++i) sum += std::fabs(M[j * (q + 1) + i]);
        factor = std::max(sum, factor);
    }
    double largest = 0.0;
    for (int32_t i = spans_.first - q; i <= spans_.last; ++i) {
        if (std::isnan(coefficients_[i])) return coefficients_[i];
        largest = std::max(std::fabs(coefficients_[i]), largest);
    }
    // Room for the rounding of the recurrences and the conversion.
    return largest * factor * (1.0 + 1e-12);
}

// f(pieces, degree) with the SpanPieces of the nu-th derivative of `spline`,
// its degree a compile-time Degree for the specialised degrees.
template <class F> decltype(auto) with_pieces(const Spline& spline, int32_t nu, F&& f) {
    const DerivativeCoefficients derivative(spline, nu);
    return knotmath::with_degree(derivative.degree(), [&](auto degree) {
        SpanPieces pieces(spline, derivative.data(), degree);
        return f(pieces, degree);
    });
}

} // namespace pykesta::planmath
