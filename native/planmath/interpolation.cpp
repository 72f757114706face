#include "planmath/interpolation.h"

#include "planmath/banded_lu.h"
#include "planmath/basis.h"

#include "knotmath/span.h"

#include <algorithm>
#include <cmath>

namespace pykesta::planmath {

namespace {
// Below this fraction of its column's scale a pivot counts as zero.
constexpr double pivot_tolerance = 1e-12;
} // namespace

InterpolationFailure interpolate_conditions(const std::vector<Condition>& sorted, const double* U,
                                            int32_t p, double* P) {
    const auto count = static_cast<int32_t>(sorted.size());
    const int32_t n = count - 1;
    if (int32_t i = find_repeated(sorted); i >= 0)
        return {InterpolationFailure::repeated, i, i + 1};

    // Condition i must fall within the support of B[i] (spans i .. i + p):
    // otherwise conditions 0 .. i (or i .. n) share too few basis functions.
    // This also bounds the band: row i touches columns i - p .. i + p.
    // The times increase, so the spans are found in one walk.
    const knotmath::Spans nonempty = knotmath::nonempty_spans(U, n, p);
    std::vector<int32_t> spans(count);
    int32_t k = nonempty.first;
    for (int32_t i = 0; i < count; ++i) {
        while (k < nonempty.last && sorted[i].t >= U[k + 1]) ++k;
        spans[i] = k;
        if (spans[i] - p > i || spans[i] < i) return {InterpolationFailure::outside_support, i};
    }

    BandedLU system(count, p, p);
    BasisEvaluator basis(U, p);
    std::vector<double> rows((p + 1) * (p + 1));
    for (int32_t i = 0; i < count; ++i) {
        const Condition& c = sorted[i];
        if (c.nu == 0)
            basis.values(spans[i], c.t, rows.data());
        else
            basis.derivatives(spans[i], c.t, c.nu, rows.data());
        const double* row = rows.data() + c.nu * (p + 1);
        // Equilibrated rows keep pivoting fair between derivative orders,
        // whose sizes differ by powers of the spans' widths. Value rows need
        // none: they sum to 1 with entries in [0, 1].
        double scale = 1.0;
        if (c.nu > 0) {
            double largest = 0.0;
            for (int32_t r = 0; r <= p; ++r) largest = std::max(largest, std::abs(row[r]));
            if (largest > 0.0) scale = 1.0 / largest;
        }
        for (int32_t r = 0; r <= p; ++r) system.at(i, spans[i] - p + r) = row[r] * scale;
        P[i] = c.value * scale;
    }
    if (int32_t j = system.factor(pivot_tolerance); j >= 0)
        return {InterpolationFailure::singular, j};
    system.solve(P);
    return {};
}

} // namespace pykesta::planmath
