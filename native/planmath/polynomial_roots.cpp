#include "planmath/polynomial_roots.h"

#include <cmath>
#include <limits>

namespace pykesta::planmath {

namespace {
constexpr double epsilon = std::numeric_limits<double>::epsilon();
// Enough for bisection alone to exhaust a double's bits.
constexpr int max_steps = 2200;
} // namespace

double bracketed_root(const double* c, int32_t degree, double lo, double hi, int lo_sign) {
    double x = 0.5 * lo + 0.5 * hi;
    for (int step = 0; step < max_steps; ++step) {
        double f = c[degree], df = 0.0;
        for (int32_t j = degree - 1; j >= 0; --j) {
            df = df * x + f;
            f = f * x + c[j];
        }
        if (f == 0.0) return x;
        if ((f > 0.0) == (lo_sign > 0))
            lo = x;
        else
            hi = x;
        double next = x - f / df;
        if (!(next > lo && next < hi)) next = 0.5 * lo + 0.5 * hi; // also for NaN
        const double resolution = 2.0 * epsilon * std::fmax(std::fabs(x), 1e-300);
        if (std::fabs(next - x) <= resolution || !(hi - lo > resolution)) return next;
        x = next;
    }
    return x;
}

PolynomialRoots::PolynomialRoots(int32_t max_degree)
    : derivative_(static_cast<std::size_t>(std::max(max_degree, 1))),
      critical_(static_cast<std::size_t>(std::max(max_degree, 1))) {
    for (auto& level : derivative_) level.resize(static_cast<std::size_t>(max_degree) + 1);
}

void PolynomialRoots::interior(const double* c, int32_t degree, double lo, double hi, double tol,
                               std::vector<double>& out) {
    if (!(lo < hi)) return;
    solve(0, c, degree, lo, hi, tol, out);
}

void PolynomialRoots::solve(int32_t level, const double* c, int32_t degree, double lo, double hi,
                            double tol, std::vector<double>& out) {
    // Leading zeros lower the degree (the derivative of an exact constant is 0).
    while (degree > 0 && c[degree] == 0.0) --degree;
    if (degree <= 0) return;
    if (degree == 1) {
        const double root = -c[0] / c[1];
        if (root > lo && root < hi) out.push_back(root);
        return;
    }
    double* d = derivative_[level].data();
    for (int32_t j = 0; j < degree; ++j) d[j] = (j + 1) * c[j + 1];
    std::vector<double>& critical = critical_[level];
    critical.clear();
    // The turning points matter only as separators: sign changes suffice.
    solve(level + 1, d, degree - 1, lo, hi, 0.0, critical);
    double left = lo;
    double left_value = horner(c, degree, lo);
    for (std::size_t i = 0; i <= critical.size(); ++i) {
        const bool at_end = i == critical.size();
        const double right = at_end ? hi : critical[i];
        const double right_value = horner(c, degree, right);
        const int left_sign = sign_beyond(left_value, tol);
        const int right_sign = sign_beyond(right_value, tol);
        if (left_sign * right_sign < 0) {
            out.push_back(bracketed_root(c, degree, left, right, left_sign));
        }
        if (!at_end && right_sign == 0 && !std::isnan(right_value) &&
            (out.empty() || out.back() < right))
            out.push_back(right);
        left = right;
        left_value = right_value;
    }
}

} // namespace pykesta::planmath
