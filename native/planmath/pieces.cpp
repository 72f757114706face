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
    left_ = spline_.U[k];
    right_ = spline_.U[k + 1];
    // taylor_[j] = f^(j)(centre) / j! for j >= nu.
    if (nu_ <= p)
        knotmath::derivatives_at(spline_.U, spline_.P + (k - p), p, k, 0.5 * left_ + 0.5 * right_,
                                 nu_, p, true, taylor_.data(), diff_.data(), work_.data());
    return derivative(nu_);
}

Piece PieceExpander::derivative(int32_t order) {
    const int32_t p = spline_.p;
    const double centre = 0.5 * left_ + 0.5 * right_; // halves first: no overflow
    const double half = 0.5 * right_ - 0.5 * left_;
    Piece piece{left_, right_, centre, half, std::max(p - order, 0), coefficients_.data()};
    if (order > p) {
        coefficients_[0] = 0.0;
        return piece;
    }
    // The order-th derivative's j-th Taylor coefficient is taylor_[j + order]
    // (j + order)! / j!, and u = (t - centre) / half scales it by half^j.
    double power = 1.0;
    for (int32_t j = 0; j <= p - order; ++j) {
        double falling = 1.0;
        for (int32_t i = j + 1; i <= j + order; ++i) falling *= i;
        coefficients_[j] = taylor_[j + order] * falling * power;
        power *= half;
    }
    return piece;
}

} // namespace pykesta::planmath
