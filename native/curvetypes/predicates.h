// The two array predicates used by equality, evaluation and refinement.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace pykesta::curvetypes {

// Pairwise closeness: |a - b| <= max(rtol * max(|a|, |b|), atol); a NaN is never close.
inline bool isclose(const double* a, int64_t na, const double* b, int64_t nb, double rtol = 1e-9,
                    double atol = 1e-13) {
    if (na != nb) return false;
    for (int64_t i = 0; i < na; ++i) {
        double x = a[i], y = b[i];
        double bound = std::max(rtol * std::max(std::fabs(x), std::fabs(y)), atol);
        if (!(std::fabs(x - y) <= bound)) return false;
    }
    return true;
}

// Strictly increasing over the first n elements; a comparison with NaN does not fail it.
inline bool issorted(const double* arr, int64_t n) {
    for (int64_t i = 1; i < n; ++i)
        if (arr[i - 1] >= arr[i]) return false;
    return true;
}

} // namespace pykesta::curvetypes
