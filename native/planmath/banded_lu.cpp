#include "planmath/banded_lu.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace pykesta::planmath {

// Column-major band storage: column j holds rows j - kl - ku .. j + kl, the
// upper kl of those for the fill that row exchanges bring. column(j)[i - j]
// is entry (i, j).
BandedLU::BandedLU(int32_t size, int32_t kl, int32_t ku)
    : size_(size), kl_(kl), ku_(ku), stride_(2 * kl + ku + 1),
      band_(static_cast<size_t>(size) * stride_, 0.0), pivots_(size), inverses_(size) {}

int32_t BandedLU::factor(double tolerance) {
    const int32_t upper = kl_ + ku_;
    for (int32_t j = 0; j < size_; ++j) {
        double* pivot_column = column(j);
        const int32_t below = std::min(kl_, size_ - 1 - j);
        int32_t best = 0;
        double largest = std::abs(pivot_column[0]);
        for (int32_t s = 1; s <= below; ++s) {
            if (std::abs(pivot_column[s]) > largest) {
                largest = std::abs(pivot_column[s]);
                best = s;
            }
        }
        pivots_[j] = j + best;
        // The column's scale: its entries as elimination has left them.
        double scale = largest;
        for (int32_t s = -std::min(upper, j); s < 0; ++s)
            scale = std::max(scale, std::abs(pivot_column[s]));
        if (!(largest > tolerance * scale)) return j;
        const int32_t last = std::min(size_ - 1, j + upper);
        if (best != 0) {
            for (int32_t c = j; c <= last; ++c) {
                double* col = column(c);
                std::swap(col[j - c], col[j + best - c]);
            }
        }
        const double inverse = 1.0 / pivot_column[0];
        inverses_[j] = inverse;
        for (int32_t s = 1; s <= below; ++s) pivot_column[s] *= inverse;
        for (int32_t c = j + 1; c <= last; ++c) {
            double* col = column(c) + (j - c); // col[s] is entry (j + s, c)
            const double a = col[0];
            if (a == 0.0) continue;
            for (int32_t s = 1; s <= below; ++s) col[s] -= pivot_column[s] * a;
        }
    }
    return -1;
}

void BandedLU::solve(double* b) const {
    const int32_t upper = kl_ + ku_;
    for (int32_t j = 0; j < size_; ++j) {
        std::swap(b[j], b[pivots_[j]]);
        const double* l = column(j);
        const int32_t below = std::min(kl_, size_ - 1 - j);
        for (int32_t s = 1; s <= below; ++s) b[j + s] -= l[s] * b[j];
    }
    for (int32_t j = size_ - 1; j >= 0; --j) {
        const double* u = column(j);
        b[j] *= inverses_[j]; // a division here would lengthen the chain through b
        for (int32_t s = -std::min(upper, j); s < 0; ++s) b[j + s] -= u[s] * b[j];
    }
}

} // namespace pykesta::planmath
