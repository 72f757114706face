// Size checks, NaN results and the guarded division shared by the kernels.
#pragma once

#include <cstdint>
#include <limits>

namespace pykesta::knotmath {

inline constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
inline constexpr double infinity = std::numeric_limits<double>::infinity();

// num / den for ratios of knot differences: a zero denominator comes from a
// zero-width span, whose contribution counts as 0.
inline double safe_div(double num, double den) { return den != 0.0 ? num / den : 0.0; }

// nU knots, nP control points and degree p fit together: p >= 0, nP >= 1 and
// nU = nP + p + 1.
inline bool sizes_fit(int32_t nU, int32_t nP, int32_t p) {
    return p >= 0 && nP >= 1 && int64_t{nU} == int64_t{nP} + p + 1;
}

// As sizes_fit, and n >= p: there is at least one span in [p, n] to evaluate on.
inline bool is_spline(int32_t nU, int32_t nP, int32_t p) {
    return sizes_fit(nU, nP, p) && int64_t{nP} >= int64_t{p} + 1;
}

// The result of a kernel whose sizes do not fit: NaN as far as the output reaches.
inline void fill_nan(double* values, int64_t count) {
    for (int64_t i = 0; i < count; ++i) values[i] = nan_value;
}

} // namespace pykesta::knotmath
