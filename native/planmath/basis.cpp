#include "planmath/basis.h"

#include <algorithm>

namespace pykesta::planmath {

BasisEvaluator::BasisEvaluator(const double* U, int32_t p)
    : U_(U), p_(p), left_(p + 1), right_(p + 1), ndu_((p + 1) * (p + 1)), a_(2 * (p + 1)) {}

// Cox-de Boor's triangle. On a non-empty span every denominator spans it, so
// none is zero.
void BasisEvaluator::values(int32_t k, double x, double* out) {
    out[0] = 1.0;
    for (int32_t j = 1; j <= p_; ++j) {
        left_[j] = x - U_[k + 1 - j];
        right_[j] = U_[k + j] - x;
        double saved = 0.0;
        for (int32_t r = 0; r < j; ++r) {
            const double temp = out[r] / (right_[r + 1] + left_[j - r]);
            out[r] = saved + right_[r + 1] * temp;
            saved = left_[j - r] * temp;
        }
        out[j] = saved;
    }
}

// The triangle of every lower degree kept in ndu (values above the diagonal,
// knot differences below), then the derivatives as combinations of the
// degree p - d functions.
void BasisEvaluator::derivatives(int32_t k, double x, int32_t nd, double* out) {
    const int32_t p = p_, w = p + 1;
    auto ndu = [&](int32_t i, int32_t j) -> double& { return ndu_[i * w + j]; };
    ndu(0, 0) = 1.0;
    for (int32_t j = 1; j <= p; ++j) {
        left_[j] = x - U_[k + 1 - j];
        right_[j] = U_[k + j] - x;
        double saved = 0.0;
        for (int32_t r = 0; r < j; ++r) {
            ndu(j, r) = right_[r + 1] + left_[j - r];
            const double temp = ndu(r, j - 1) / ndu(j, r);
            ndu(r, j) = saved + right_[r + 1] * temp;
            saved = left_[j - r] * temp;
        }
        ndu(j, j) = saved;
    }
    std::fill(out, out + (nd + 1) * w, 0.0);
    for (int32_t r = 0; r <= p; ++r) out[r] = ndu(r, p);
    const int32_t top = std::min(nd, p);
    for (int32_t r = 0; r <= p; ++r) {
        double* a0 = a_.data();
        double* a1 = a_.data() + w;
        a0[0] = 1.0;
        for (int32_t d = 1; d <= top; ++d) {
            double sum = 0.0;
            const int32_t rd = r - d, pd = p - d;
            if (r >= d) {
                a1[0] = a0[0] / ndu(pd + 1, rd);
                sum = a1[0] * ndu(rd, pd);
            }
            const int32_t j1 = rd >= -1 ? 1 : -rd;
            const int32_t j2 = r - 1 <= pd ? d - 1 : p - r;
            for (int32_t j = j1; j <= j2; ++j) {
                a1[j] = (a0[j] - a0[j - 1]) / ndu(pd + 1, rd + j);
                sum += a1[j] * ndu(rd + j, pd);
            }
            if (r <= pd) {
                a1[d] = -a0[d - 1] / ndu(pd + 1, r);
                sum += a1[d] * ndu(r, pd);
            }
            out[d * w + r] = sum;
            std::swap(a0, a1);
        }
    }
    double factor = p;
    for (int32_t d = 1; d <= top; ++d) {
        for (int32_t r = 0; r <= p; ++r) out[d * w + r] *= factor;
        factor *= p - d;
    }
}

} // namespace pykesta::planmath
