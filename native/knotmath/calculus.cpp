// Control points of derivatives and antiderivatives.
#include "knotmath/checks.h"
#include "knotmath/kernels.h"

#include <algorithm>

namespace pykesta::knotmath {
namespace {

// Drops, in every interior run of knots longer than q + 1, the excess copies
// together with the coefficients of the basis functions of zero width they
// carry (those whose q + 2 knots all lie in the run). U holds `size` knots and
// P size - q - 1 coefficients; returns the new number of knots.
int32_t drop_zero_width_functions(double* U, int32_t size, double* P, int32_t q) {
    const int32_t coefficients = size - q - 1;
    int32_t kept_knots = 0, kept_coefficients = 0;
    for (int32_t first = 0; first < size;) {
        int32_t last = first;
        while (last + 1 < size && U[last + 1] == U[first]) ++last;
        const bool interior = first > 0 && last < size - 1;
        const int32_t excess = interior ? std::max(0, last - first - q) : 0;
        for (int32_t i = first; i <= last; ++i) {
            if (i < first + excess) continue;
            U[kept_knots++] = U[i];
            if (i < coefficients) P[kept_coefficients++] = P[i];
        }
        first = last + 1;
    }
    return kept_knots;
}

} // namespace

int32_t dsplcpts2(const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,
                  double* Uo, int32_t nUo, double* Po, int32_t nPo) {
    if (!sizes_fit(nU, nP, p) || nUo != nU || nPo != nP || nu < 0) {
        fill_nan(Uo, nUo);
        fill_nan(Po, nPo);
        return 0;
    }
    const auto zero_function = [&] {
        Uo[0] = U[0];
        Uo[1] = U[nU - 1];
        Po[0] = 0.0;
        return 0;
    };
    if (nu > p) return zero_function();
    std::copy_n(U, nU, Uo);
    std::copy_n(P, nP, Po);
    int32_t size = nU;
    for (int32_t q = p; q > p - nu; --q) {
        // Q_i = q (P_{i+1} - P_i) / (U_{i+q+1} - U_{i+1}) on the knots U[1 .. size - 2].
        const int32_t n = size - q - 2;
        if (n < 1) return zero_function();
        for (int32_t i = 0; i < n; ++i)
            Po[i] = q * safe_div(Po[i + 1] - Po[i], Uo[i + q + 1] - Uo[i + 1]);
        std::copy(Uo + 1, Uo + size - 1, Uo);
        size = drop_zero_width_functions(Uo, size - 2, Po, q - 1);
    }
    return size - (p - nu) - 2;
}

void asplcpts(const double* U, int32_t nU, const double* P, int32_t nP, int32_t p, int32_t nu,
              double* Uo, int32_t nUo, double* Po, int32_t nPo) {
    if (!sizes_fit(nU, nP, p) || nu < 0 || nUo != nU + 2 * int64_t{nu} || nPo != nP + int64_t{nu}) {
        fill_nan(Uo, nUo);
        fill_nan(Po, nPo);
        return;
    }
    std::copy_n(U, nU, Uo);
    std::copy_n(P, nP, Po);
    int32_t size = nU;
    for (int32_t q = p; q < p + nu; ++q) {
        // Q_0 = 0, Q_{i+1} = Q_i + P_i (U_{i+q+1} - U_i) / (q + 1): the integral
        // from the first knot, on the knots with one more copy at each end.
        const int32_t count = size - q - 1;
        double integral = 0.0;
        double next = Po[0];
        Po[0] = 0.0;
        for (int32_t i = 0; i < count; ++i) {
            const double current = next;
            if (i + 1 < count) next = Po[i + 1];
            integral += current * (Uo[i + q + 1] - Uo[i]) / (q + 1);
            Po[i + 1] = integral;
        }
        std::copy_backward(Uo, Uo + size, Uo + size + 1);
        Uo[size + 1] = Uo[size];
        size += 2;
    }
}

} // namespace pykesta::knotmath
