// The polynomial pieces of a B-spline, span by span, in a scaled power basis:
// on span k = [left, right] the piece is sum c[j] u^j with
// u = (t - centre) / half in [-1, 1], centre the span's midpoint and half its
// half-width. The scaling makes every coefficient the size of the piece's
// variation over the span whatever the time unit, which keeps root finding
// and bounds on the coefficients free of the knots' scale.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace pykesta::planmath {

// A B-spline's arrays as a trajectory holds them: n + p + 2 knots U and n + 1
// control points P, n >= p >= 0. Every span index handed to a function lies
// in [p, n].
struct Spline {
    const double* U;
    const double* P;
    int32_t n;
    int32_t p;
};

// One span's piece of the nu-th derivative (degree p - nu, at least 0).
struct Piece {
    double left;
    double right;
    double centre;
    double half;
    int32_t degree;
    const double* c; // degree + 1 coefficients

    double time_of(double u) const { return centre + half * u; }
    double value(double u) const {
        double v = c[degree];
        for (int32_t j = degree - 1; j >= 0; --j) v = v * u + c[j];
        return v;
    }
};

// The part of a piece inside [a, b]: times t0 <= t1 and the matching u0 <= u1.
struct Stretch {
    Piece piece;
    double t0;
    double t1;
    double u0;
    double u1;
};

// Expands spans of one spline, reusing its scratch between spans.
class PieceExpander {
  public:
    PieceExpander(const Spline& spline, int32_t nu);
    // Span k's piece of the nu-th derivative (k in [p, n], U[k] <= U[k + 1]).
    // The piece's coefficients stay valid until the next call.
    Piece expand(int32_t k);
    // The piece of a higher derivative (order >= nu) of the span expanded last.
    Piece derivative(int32_t order);

    // f(stretch) for the pieces of the nu-th derivative over [a, b], left to
    // right; a == b gives the one piece that evaluation uses at a.
    template <class F> void for_each_stretch(double a, double b, F&& f);

  private:
    std::pair<int32_t, int32_t> spans() const;
    int32_t span_of(double t) const;
    Spline spline_;
    int32_t nu_;
    std::vector<double> taylor_, diff_, work_, coefficients_;
    double left_ = 0.0, right_ = 0.0;
};

template <class F> void PieceExpander::for_each_stretch(double a, double b, F&& f) {
    const auto [first, last] = spans();
    const double start = spline_.U[0], stop = spline_.U[spline_.n + spline_.p + 1];
    const auto stretch = [&](int32_t k, double t0, double t1) {
        const Piece piece = expand(k);
        const auto u = [&](double t) { return piece.half > 0.0 ? (t - piece.centre) / piece.half : 0.0; };
        f(Stretch{piece, t0, t1, u(t0), u(t1)});
    };
    if (!(a < b)) return stretch(span_of(a), a, a);
    for (int32_t k = span_of(a); k <= last; ++k) {
        const double low = k == first ? start : spline_.U[k];
        const double high = k == last ? stop : spline_.U[k + 1];
        if (!(low < high)) continue;
        if (!(low < b)) break;
        stretch(k, low > a ? low : a, high < b ? high : b);
    }
}

} // namespace pykesta::planmath
