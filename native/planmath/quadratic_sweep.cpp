#include "planmath/quadratic_sweep.h"

#include "knotmath/fastest.h"
#include "planmath/pieces.h"

namespace pykesta::planmath {

namespace {

// One loop without branches over the block, so that it runs four spans per
// instruction where AVX2 is there. The arrays read are `restrict` and the
// target a copy: the runtime checks that the outputs overlap none of them
// would be too many for the compiler to vectorise.
template <int32_t D>
void sweep(const double* __restrict U, const double* __restrict coefficients, Degree<D> degree,
           int32_t k0, int32_t count, SweepTarget target, SweptSpans& swept) {
    static constexpr auto to_power = bernstein_to_power<D>();
    // Neighbouring quadratic spans share a knot ratio: one division per span.
    double ratio[SweptSpans::capacity + 1];
    if constexpr (D == 2)
        for (int32_t i = 0; i <= count; ++i) ratio[i] = knot_ratio(U, k0 - 1 + i);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t k = k0 + i;
        const double* points = coefficients + (k - D);
        double b[D + 1];
        if constexpr (D == 2)
            bernstein_of_quadratic(points, ratio[i], ratio[i + 1], b);
        else
            bernstein_of_span(U, points, degree, k, b, nullptr);
        double c[3] = {0.0, 0.0, 0.0};
        for (int32_t j = 0; j <= D; ++j)
            for (int32_t m = 0; m <= D; ++m) c[j] += to_power[j * (D + 1) + m] * b[m];
        c[0] -= target.value;
        bool above = true, below = true;
        for (int32_t j = 0; j <= D; ++j) {
            above &= points[j] >= target.above;
            below &= points[j] <= target.below;
        }
        const bool settled = above | below;
        const double start_value = b[0] - target.value, end_value = b[D] - target.value;
        const QuadraticCrossings crossings =
            quadratic_crossings(c[0], c[1], c[2], -1.0, 1.0, start_value, end_value, target.tol);
        const double left = U[k], right = U[k + 1];
        // Halves first: no overflow.
        const double centre = 0.5 * left + 0.5 * right, half = 0.5 * right - 0.5 * left;
        swept.early[i] = std::clamp(centre + half * crossings.early, left, right);
        swept.late[i] = std::clamp(centre + half * crossings.late, left, right);
        swept.count[i] = settled ? 0.0 : crossings.count;
        swept.start_sign[i] = start_value > 0.0 ? 1.0 : -1.0;
        swept.end_sign[i] = end_value > 0.0 ? 1.0 : -1.0;
        swept.near[i] = crossings.near & !settled ? 1.0 : 0.0;
    }
}

} // namespace

void sweep_whole_spans(const double* U, const double* coefficients, int32_t q, int32_t k0,
                       int32_t count, const SweepTarget& target, SweptSpans& swept) {
    knotmath::run_fastest([&] {
        knotmath::with_degree_up_to(Degree<2>{}, q, [&](auto degree) {
            sweep(U, coefficients, degree, k0, count, target, swept);
        });
    });
}

} // namespace pykesta::planmath
