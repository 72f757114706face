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
// Scanned in blocks without an early exit inside them, which the compiler vectorises.
inline bool issorted(const double* arr, int64_t n) {
    constexpr int64_t block = 4096;
    for (int64_t begin = 1; begin < n; begin += block) {
        const int64_t end = std::min(n, begin + block);
        double descents = 0.0;
        for (int64_t i = begin; i < end; ++i) descents = arr[i - 1] >= arr[i] ? 1.0 : descents;
        if (descents != 0.0) return false;
    }
    return true;
}

} // namespace pykesta::curvetypes
