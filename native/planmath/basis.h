// The B-spline basis functions that do not vanish on one span, and their
// derivatives: the rows of collocation, least-squares and penalty matrices.
#pragma once

#include <cstdint>
#include <vector>

namespace pykesta::planmath {

// For a knot vector U of degree p and a non-empty span k (U[k] < U[k + 1],
// p <= k), the p + 1 functions B[k - p .. k] at x. Scratch is kept between
// calls, so one evaluator serves a whole loop.
class BasisEvaluator {
  public:
    BasisEvaluator(const double* U, int32_t p);

    // out[r] = B[k - p + r](x), r = 0 .. p.
    void values(int32_t k, double x, double* out);
    // out[d * (p + 1) + r] = d-th derivative of B[k - p + r] at x, d = 0 .. nd
    // (zero above p).
    void derivatives(int32_t k, double x, int32_t nd, double* out);

  private:
    const double* U_;
    int32_t p_;
    std::vector<double> left_, right_, ndu_, a_;
};

} // namespace pykesta::planmath
