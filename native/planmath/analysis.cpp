#include "planmath/analysis.h"

#include "planmath/polynomial_roots.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pykesta::planmath {

namespace {

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();

// Values within this fraction of the derivative's largest magnitude count as
// equal to the target: rounding in the expansion stays far below it, so that
// touching roots and constant stretches are recognised.
constexpr double relative_tolerance = 1e-13;

// The largest of |c_j| r^j, r = max(|u0|, |u1|, 1): a bound on the size of
// the piece's terms over the stretch.
double magnitude(const Stretch& s) {
    const double r = std::fmax(1.0, std::fmax(std::fabs(s.u0), std::fabs(s.u1)));
    double power = 1.0, largest = 0.0;
    for (int32_t j = 0; j <= s.piece.degree; ++j) {
        largest = std::fmax(largest, std::fabs(s.piece.c[j]) * power);
        power *= r;
    }
    return largest;
}

} // namespace

double integral(const Spline& spline, double a, double b) {
    if (a > b) return -integral(spline, b, a);
    PieceExpander expander(spline, 0);
    double total = 0.0;
    expander.for_each_stretch(a, b, [&](const Stretch& s) {
        // half * sum c_j (u1^(j+1) - u0^(j+1)) / (j + 1), by Horner in u.
        const auto antiderivative = [&](double u) {
            double v = 0.0;
            for (int32_t j = s.piece.degree; j >= 0; --j) v = (v + s.piece.c[j] / (j + 1)) * u;
            return v;
        };
        total += s.piece.half * (antiderivative(s.u1) - antiderivative(s.u0));
    });
    return total;
}

Extrema extrema(const Spline& spline, int32_t nu, double a, double b) {
    Extrema found{};
    extrema_of_orders(spline, &nu, 1, a, b, &found);
    return found;
}

void extrema_of_orders(const Spline& spline, const int32_t* orders, int32_t count, double a,
                       double b, Extrema* found) {
    const int32_t lowest = *std::min_element(orders, orders + count);
    PieceExpander expander(spline, lowest);
    PolynomialRoots solver(spline.p);
    std::vector<double> turning;
    std::vector<double> slope(static_cast<std::size_t>(spline.p) + 1);
    std::vector<char> undefined(static_cast<std::size_t>(count), 0);
    std::fill(found, found + count, Extrema{nan_value, nan_value, nan_value, nan_value});
    expander.for_each_stretch(a, b, [&](const Stretch& s) {
        for (int32_t i = 0; i < count; ++i) {
            Extrema& e = found[i];
            // Candidates come in time order: a strict comparison keeps the earliest on ties.
            const auto candidate = [&](double t, double value) {
                if (std::isnan(value)) undefined[i] = 1;
                if (std::isnan(e.min) || value < e.min) e.min = value, e.tmin = t;
                if (std::isnan(e.max) || value > e.max) e.max = value, e.tmax = t;
            };
            const Piece piece = expander.derivative(orders[i]);
            candidate(s.t0, piece.value(s.u0));
            // Interior extrema: sign changes of the piece's slope.
            for (int32_t j = 0; j < piece.degree; ++j) slope[j] = (j + 1) * piece.c[j + 1];
            turning.clear();
            solver.interior(slope.data(), piece.degree - 1, s.u0, s.u1, 0.0, turning);
            for (double u : turning)
                candidate(std::clamp(piece.time_of(u), s.t0, s.t1), piece.value(u));
            candidate(s.t1, piece.value(s.u1));
        }
    });
    for (int32_t i = 0; i < count; ++i)
        if (undefined[i]) found[i] = {nan_value, nan_value, nan_value, nan_value};
}

std::vector<double> roots(const Spline& spline, int32_t nu, double value, double a, double b) {
    // Two passes: the tolerance depends on the largest magnitude over [a, b].
    // The first stores every piece, shifted by -value.
    PieceExpander expander(spline, nu);
    std::vector<double> coefficients;
    std::vector<Stretch> stretches;
    double largest = std::fabs(value);
    expander.for_each_stretch(a, b, [&](const Stretch& s) {
        stretches.push_back(s);
        const std::size_t constant = coefficients.size();
        coefficients.insert(coefficients.end(), s.piece.c, s.piece.c + s.piece.degree + 1);
        coefficients[constant] -= value;
        largest = std::fmax(largest, magnitude(s));
    });
    std::vector<double> found;
    if (std::isnan(largest) || std::isnan(value)) return found;
    const double tol = relative_tolerance * largest;
    // Roots closer than this are one root seen from two pieces.
    const double merge =
        std::fmax(1e-12 * (b - a), 8 * std::numeric_limits<double>::epsilon() *
                                       std::fmax(std::fabs(a), std::fabs(b)));
    const auto add = [&](double t) {
        if (found.empty() || t > found.back() + merge) found.push_back(t);
    };
    PolynomialRoots solver(spline.p);
    std::vector<double> inside;
    std::size_t offset = 0;
    bool flat_before = false;
    double value_before = nan_value; // the previous piece's value at its right end
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        Stretch& s = stretches[i];
        s.piece.c = coefficients.data() + offset;
        offset += static_cast<std::size_t>(s.piece.degree) + 1;
        const Piece& g = s.piece;
        const bool flat = magnitude(s) <= tol;
        const double start_value = g.value(s.u0);
        const double end_value = g.value(s.u1);
        if (flat) {
            if (!flat_before) add(s.t0); // a stretch equal to the target begins
        } else {
            if (flat_before) add(s.t0); // ... and ends
            const int start_sign = sign_beyond(start_value, tol);
            if (start_sign == 0 || (i > 0 && start_sign * sign_beyond(value_before, tol) < 0))
                add(s.t0); // on the target, or a jump across it at the knot
            inside.clear();
            solver.interior(g.c, g.degree, s.u0, s.u1, tol, inside);
            for (double u : inside) add(std::clamp(g.time_of(u), s.t0, s.t1));
            if (sign_beyond(end_value, tol) == 0) add(s.t1);
        }
        if (flat && i + 1 == stretches.size()) add(s.t1);
        flat_before = flat;
        value_before = end_value;
    }
    return found;
}

} // namespace pykesta::planmath
