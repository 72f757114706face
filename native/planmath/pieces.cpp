#include "planmath/pieces.h"

#include "knotmath/span.h"

#include <algorithm>

namespace pykesta::planmath {

PieceExpander::PieceExpander(const Spline& spline, int32_t nu)
    : spline_(spline), nu_(std::max(nu, 0)),
      taylor_(static_cast<std::size_t>(spline.p) + 1),
      diff_(static_cast<std::size_t>(spline.p) + 1), work_(static_cast<std::size_t>(spline.p) + 1),
      coefficients_(static_cast<std::size_t>(spline.p) + 1) {}

std::pair<int32_t, int32_t> PieceExpander::spans() const {
    const knotmath::Spans spans = knotmath::nonempty_spans(spline_.U, spline_.n, spline_.p);
    return {spans.first, spans.last};
}

int32_t PieceExpander::span_of(double t) const {
    return knotmath::find_span(spline_.U, knotmath::nonempty_spans(spline_.U, spline_.n, spline_.p),
                               t);
}

Piece PieceExpander::expand(int32_t k) {
    const int32_t p = spline_.p;
    const double left = spline_.U[k], right = spline_.U[k + 1];
    const double centre = 0.5 * left + 0.5 * right; // halves first: no overflow
    const double half = 0.5 * right - 0.5 * left;
    Piece piece{left, right, centre, half, std::max(p - nu_, 0), coefficients_.data()};
    if (nu_ > p) {
        coefficients_[0] = 0.0;
        return piece;
    }
    // taylor_[j] = f^(j)(centre) / j!; the nu-th derivative's j-th Taylor
    // coefficient is taylor_[j + nu] (j + nu)! / j!, and u = (t - centre) / half
    // scales it by half^j.
    knotmath::derivatives_at(spline_.U, spline_.P + (k - p), p, k, centre, nu_, p, true,
                             taylor_.data(), diff_.data(), work_.data());
    double power = 1.0;
    for (int32_t j = 0; j <= p - nu_; ++j) {
        double falling = 1.0;
        for (int32_t i = j + 1; i <= j + nu_; ++i) falling *= i;
        coefficients_[j] = taylor_[j + nu_] * falling * power;
        power *= half;
    }
    return piece;
}

} // namespace pykesta::planmath
