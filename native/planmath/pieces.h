// The polynomial pieces of a B-spline, span by span, in a scaled power basis:
// on span k = [left, right] the piece is sum c[j] u^j with
// u = (t - centre) / half in [-1, 1], centre the span's midpoint and half its
// half-width. The scaling makes every coefficient the size of the piece's
// variation over the span whatever the time unit, which keeps root finding
// and bounds on the coefficients free of the knots' scale.
#pragma once

#include <cstdint>
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

// Expands spans of one spline, reusing its scratch between spans.
class PieceExpander {
  public:
    PieceExpander(const Spline& spline, int32_t nu);
    // Span k's piece of the nu-th derivative (k in [p, n], U[k] <= U[k + 1]).
    // The piece's coefficients stay valid until the next call.
    Piece expand(int32_t k);

  private:
    Spline spline_;
    int32_t nu_;
    std::vector<double> taylor_, diff_, work_, coefficients_;
};

} // namespace pykesta::planmath
