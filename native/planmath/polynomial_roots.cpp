#include "planmath/polynomial_roots.h"

#include <cmath>
#include <limits>

namespace pykesta::planmath {

namespace {
constexpr double epsilon = std::numeric_limits<double>::epsilon();
// Enough for bisection alone to exhaust a double's bits.
constexpr int max_steps = 2200;

// The root of the quadratic c (c[2] != 0) in [lo, hi], where its values have
// opposite signs (lo_sign at lo): the numerically stable formula, Newton's
// bracketed steps should rounding put both roots outside.
double quadratic_root(const double* c, double lo, double hi, int lo_sign) {
    const double discriminant = c[1] * c[1] - 4.0 * c[2] * c[0];
    if (discriminant >= 0.0) {
        const double q = -0.5 * (c[1] + std::copysign(std::sqrt(discriminant), c[1]));
        const double first = q / c[2];
        if (first >= lo && first <= hi) return first;
        const double second = c[0] / q;
        if (second >= lo && second <= hi) return second;
    }
    return bracketed_root(c, 2, lo, hi, lo_sign);
}
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

PolynomialRoots::PolynomialRoots(int32_t max_degree) {
    if (max_degree <= 2) return;
    derivative_.resize(static_cast<std::size_t>(max_degree));
    critical_.resize(static_cast<std::size_t>(max_degree));
    for (auto& level : derivative_) level.resize(static_cast<std::size_t>(max_degree) + 1);
}

// The roots between consecutive critical points (sorted, inside (lo, hi)) of
// c; true when a value there or at lo or hi lay within tol of zero.
template <class Root>
static bool between_critical(const double* c, int32_t degree, double lo, double hi, double tol,
                             const double* critical, std::size_t count, Root&& root,
                             std::vector<double>& out) {
    double left = lo;
    double left_value = horner(c, degree, lo);
    bool near = !(std::fabs(left_value) > tol);
    for (std::size_t i = 0; i <= count; ++i) {
        const bool at_end = i == count;
        const double right = at_end ? hi : critical[i];
        const double right_value = horner(c, degree, right);
        const int left_sign = sign_beyond(left_value, tol);
        const int right_sign = sign_beyond(right_value, tol);
        near = near || right_sign == 0;
        if (left_sign * right_sign < 0) out.push_back(root(left, right, left_sign));
        if (!at_end && right_sign == 0 && !std::isnan(right_value) &&
            (out.empty() || out.back() < right))
            out.push_back(right); // a touching root
        left = right;
        left_value = right_value;
    }
    return near;
}

bool PolynomialRoots::low_degree(const double* c, int32_t degree, double lo, double hi, double tol,
                                 std::vector<double>& out) {
    if (degree <= 0) return false;
    if (degree == 1) {
        const double root = -c[0] / c[1];
        if (root > lo && root < hi) out.push_back(root);
        return false;
    }
    const double vertex = -c[1] / (2.0 * c[2]);
    const bool turns = vertex > lo && vertex < hi;
    return between_critical(
        c, 2, lo, hi, tol, &vertex, turns ? 1 : 0,
        [&](double left, double right, int left_sign) {
            return quadratic_root(c, left, right, left_sign);
        },
        out);
}

bool PolynomialRoots::solve(int32_t level, const double* c, int32_t degree, double lo, double hi,
                            double tol, std::vector<double>& out) {
    while (degree > 0 && c[degree] == 0.0) --degree;
    if (degree <= 2) return low_degree(c, degree, lo, hi, tol, out);
    double* d = derivative_[level].data();
    for (int32_t j = 0; j < degree; ++j) d[j] = (j + 1) * c[j + 1];
    std::vector<double>& critical = critical_[level];
    critical.clear();
    // The turning points matter only as separators: sign changes suffice.
    solve(level + 1, d, degree - 1, lo, hi, 0.0, critical);
    return between_critical(
        c, degree, lo, hi, tol, critical.data(), critical.size(),
        [&](double left, double right, int left_sign) {
            return bracketed_root(c, degree, left, right, left_sign);
        },
        out);
}

} // namespace pykesta::planmath
