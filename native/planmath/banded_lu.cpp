#include "planmath/banded_lu.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace pykesta::planmath {

// Column-major band storage: column j holds rows j - kl - ku .. j + kl, the
// upper kl of those for the fill that row exchanges bring.
BandedLU::BandedLU(int32_t size, int32_t kl, int32_t ku)
    : size_(size), kl_(kl), ku_(ku), stride_(2 * kl + ku + 1),
      band_(static_cast<size_t>(size) * stride_, 0.0), pivots_(size) {}

int32_t BandedLU::factor(double tolerance) {
    const int32_t upper = kl_ + ku_;
    for (int32_t j = 0; j < size_; ++j) {
        const int32_t below = std::min(kl_, size_ - 1 - j);
        int32_t best = j;
        double largest = std::abs(get(j, j));
        for (int32_t i = j + 1; i <= j + below; ++i) {
            if (std::abs(get(i, j)) > largest) {
                largest = std::abs(get(i, j));
                best = i;
            }
        }
        pivots_[j] = best;
        // The column's scale: its entries as elimination has left them.
        double scale = largest;
        for (int32_t i = std::max(0, j - upper); i < j; ++i) scale = std::max(scale, std::abs(get(i, j)));
        if (!(largest > tolerance * scale)) return j;
        const int32_t last = std::min(size_ - 1, j + upper);
        if (best != j)
            for (int32_t c = j; c <= last; ++c) std::swap(at(j, c), at(best, c));
        const double inverse = 1.0 / get(j, j);
        for (int32_t i = j + 1; i <= j + below; ++i) at(i, j) *= inverse;
        for (int32_t c = j + 1; c <= last; ++c) {
            const double a = get(j, c);
            if (a == 0.0) continue;
            for (int32_t i = j + 1; i <= j + below; ++i) at(i, c) -= get(i, j) * a;
        }
    }
    return -1;
}

void BandedLU::solve(double* b) const {
    const int32_t upper = kl_ + ku_;
    for (int32_t j = 0; j < size_; ++j) {
        std::swap(b[j], b[pivots_[j]]);
        const int32_t below = std::min(kl_, size_ - 1 - j);
        for (int32_t i = j + 1; i <= j + below; ++i) b[i] -= get(i, j) * b[j];
    }
    for (int32_t j = size_ - 1; j >= 0; --j) {
        b[j] /= get(j, j);
        for (int32_t i = std::max(0, j - upper); i < j; ++i) b[i] -= get(i, j) * b[j];
    }
}

} // namespace pykesta::planmath
