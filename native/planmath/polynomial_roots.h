// Real roots of one polynomial piece on an interval, by isolation: the roots
// of the derivative split the interval into stretches where the polynomial is
// monotone, each holding at most one root, in closed form up to degree 2 and
// by Newton steps kept inside a shrinking bracket above.
#pragma once

#include <cstdint>
#include <vector>

namespace pykesta::planmath {

inline double horner(const double* c, int32_t degree, double u) {
    double v = c[degree];
    for (int32_t j = degree - 1; j >= 0; --j) v = v * u + c[j];
    return v;
}

// -1, 0 or 1: the sign of v, 0 within tol of zero (and for NaN).
inline int sign_beyond(double v, double tol) { return v > tol ? 1 : (v < -tol ? -1 : 0); }

class PolynomialRoots {
  public:
    // Room for polynomials up to `max_degree` (allocated only above degree 2).
    explicit PolynomialRoots(int32_t max_degree);

    // The roots of c[0] + c[1] u + ... + c[degree] u^degree in the open
    // interval (lo, hi), increasing, appended to `out`: every sign change
    // (values within tol of zero do not count as a sign), and every critical
    // point where |value| <= tol (a touching root). degree <= max_degree.
    // True when a value that decided (at lo, hi or a critical point) lay
    // within tol of zero, so that a smaller tol could find other roots.
    bool interior(const double* c, int32_t degree, double lo, double hi, double tol,
                  std::vector<double>& out) {
        if (!(lo < hi)) return false;
        // Leading zeros lower the degree (the derivative of an exact constant is 0).
        while (degree > 0 && c[degree] == 0.0) --degree;
        if (degree <= 2) return low_degree(c, degree, lo, hi, tol, out);
        return solve(0, c, degree, lo, hi, tol, out);
    }

  private:
    // Degree 0 .. 2, c[degree] != 0 for degree > 0.
    static bool low_degree(const double* c, int32_t degree, double lo, double hi, double tol,
                           std::vector<double>& out);
    bool solve(int32_t level, const double* c, int32_t degree, double lo, double hi, double tol,
               std::vector<double>& out);

    // Per recursion level: the derivative's coefficients and its roots.
    std::vector<std::vector<double>> derivative_, critical_;
};

// The root of c in [lo, hi], where c(lo) has the sign `lo_sign` (+-1) and
// c(hi) the other: Newton steps, bisection when a step leaves the bracket.
double bracketed_root(const double* c, int32_t degree, double lo, double hi, int lo_sign);

} // namespace pykesta::planmath
