#include "planmath/conditions.h"

#include "knotmath/span.h"

#include <algorithm>

namespace pykesta::planmath {

void sort_conditions(std::vector<Condition>& conditions) {
    auto before = [](const Condition& a, const Condition& b) {
        return a.t < b.t || (a.t == b.t && a.nu < b.nu);
    };
    // Samples usually come sorted, with a few constraints after them.
    const auto tail = std::is_sorted_until(conditions.begin(), conditions.end(), before);
    std::stable_sort(tail, conditions.end(), before);
    std::inplace_merge(conditions.begin(), tail, conditions.end(), before);
}

int32_t find_repeated(const std::vector<Condition>& sorted) {
    for (size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i].t == sorted[i - 1].t && sorted[i].nu == sorted[i - 1].nu)
            return static_cast<int32_t>(i - 1);
    return -1;
}

void averaged_knots(const double* times, int32_t count, int32_t p, double* U) {
    const int32_t n = count - 1;
    for (int32_t i = 0; i <= p; ++i) {
        U[i] = times[0];
        U[n + 1 + i] = times[n];
    }
    auto average = [&](int32_t from, int32_t to) {
        double sum = 0.0;
        for (int32_t i = from; i <= to; ++i) sum += times[i];
        return sum / (to - from + 1);
    };
    for (int32_t j = 1; j <= n - p; ++j) {
        const double below = times[j - 1], above = times[p + j];
        double knot = p > 0 ? average(j, j + p - 1) : below;
        if (!(below < knot && knot < above)) knot = average(j - 1, p + j);
        U[p + j] = knot;
    }
}

void quantile_knots(const double* sorted, int64_t m, int32_t n, int32_t p, double* U) {
    for (int32_t i = 0; i <= p; ++i) {
        U[i] = sorted[0];
        U[n + 1 + i] = sorted[m - 1];
    }
    const int32_t inner = n - p;
    for (int32_t j = 1; j <= inner; ++j) {
        const double position = static_cast<double>(j) * static_cast<double>(m - 1) / (inner + 1);
        const auto below = std::min<int64_t>(static_cast<int64_t>(position), m - 1);
        const auto above = std::min<int64_t>(below + 1, m - 1);
        const double fraction = position - static_cast<double>(below);
        U[p + j] = sorted[below] + fraction * (sorted[above] - sorted[below]);
    }
}

int32_t span_of(const double* U, int32_t n, int32_t p, double t) {
    return knotmath::find_span(U, knotmath::nonempty_spans(U, n, p), t);
}

} // namespace pykesta::planmath
