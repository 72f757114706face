#include "planmath/analysis.h"

#include "planmath/polynomial_roots.h"
#include "planmath/quadratic_sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pykesta::planmath {

namespace {

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

// Values within this fraction of the derivative's largest magnitude count as
// equal to the target: rounding in the expansion stays far below it, so that
// touching roots and constant stretches are recognised.
constexpr double relative_tolerance = 1e-13;

// The largest of |c_j| r^j, r = max(|u0|, |u1|, 1): a bound on the size of
// the piece's terms over the stretch.
double magnitude(const Stretch& s) {
    const double r = std::max({1.0, std::fabs(s.u0), std::fabs(s.u1)});
    double power = 1.0, largest = 0.0;
    for (int32_t j = 0; j <= s.piece.degree; ++j) {
        const double term = std::fabs(s.piece.c[j]) * power;
        if (term > largest) largest = term; // NaN left out
        power *= r;
    }
    return largest;
}

} // namespace

double integral(const Spline& spline, double a, double b) {
    if (a > b) return -integral(spline, b, a);
    double total = 0.0;
    with_pieces(spline, 0, [&](auto& pieces, auto) {
        pieces.for_each_stretch(a, b, [&](const Stretch& s) {
            // half * sum c_j (u1^(j+1) - u0^(j+1)) / (j + 1), by Horner in u.
            const auto antiderivative = [&](double u) {
                double v = 0.0;
                for (int32_t j = s.piece.degree; j >= 0; --j) v = (v + s.piece.c[j] / (j + 1)) * u;
                return v;
            };
            total += s.piece.half * (antiderivative(s.u1) - antiderivative(s.u0));
        });
    });
    return total;
}

Extrema extrema(const Spline& spline, int32_t nu, double a, double b) {
    Extrema found{};
    extrema_of_orders(spline, &nu, 1, a, b, &found);
    return found;
}

namespace {

// The extrema of one quantity, gathered stretch by stretch in time order.
struct Gathered {
    Extrema found{nan_value, nan_value, nan_value, nan_value};
    bool undefined = false;

    // A strict comparison keeps the earliest time on ties.
    void candidate(double t, double value) {
        if (std::isnan(value)) undefined = true;
        if (std::isnan(found.min) || value < found.min) found.min = value, found.tmin = t;
        if (std::isnan(found.max) || value > found.max) found.max = value, found.tmax = t;
    }

    void add(const Stretch& s, PolynomialRoots& solver, double* slope,
             std::vector<double>& turning) {
        // Nothing beyond the extrema so far can come from inside the hull.
        if (s.within(found.min, found.max)) return;
        const Piece& piece = s.piece;
        for (int32_t j = 0; j <= piece.degree; ++j)
            if (std::isnan(piece.b[j])) undefined = true;
        candidate(s.t0, s.start_value());
        // Interior extrema: sign changes of the piece's slope.
        for (int32_t j = 0; j < piece.degree; ++j) slope[j] = (j + 1) * piece.c[j + 1];
        turning.clear();
        solver.interior(slope, piece.degree - 1, s.u0, s.u1, 0.0, turning);
        for (double u : turning)
            candidate(std::clamp(piece.time_of(u), s.t0, s.t1), piece.value(u));
        candidate(s.t1, s.end_value());
    }
};

} // namespace

void extrema_of_orders(const Spline& spline, const int32_t* orders, int32_t count, double a,
                       double b, Extrema* found) {
    const int32_t lowest = *std::min_element(orders, orders + count);
    const int32_t highest = *std::max_element(orders, orders + count);
    std::vector<Gathered> gathered(static_cast<std::size_t>(count));
    with_pieces(spline, lowest, [&](auto& pieces, auto degree) {
        const int32_t q = degree;
        // Orders above lowest + q share the zero piece at level q + 1.
        const int32_t levels = std::min(highest - lowest, q + 1) + 1;
        const std::size_t size = static_cast<std::size_t>(q) + 1;
        std::vector<double> derived(2 * size * static_cast<std::size_t>(levels - 1));
        std::vector<double> slope(size), turning;
        PolynomialRoots solver(q);
        const auto each = [&](Stretch s) {
            for (int32_t level = 0; level < levels; ++level) {
                if (level > 0) {
                    double* room = derived.data() + 2 * size * static_cast<std::size_t>(level - 1);
                    s.piece = differentiate(s.piece, room, room + size);
                }
                for (int32_t i = 0; i < count; ++i)
                    if (std::min(orders[i] - lowest, q + 1) == level)
                        gathered[i].add(s, solver, slope.data(), turning);
            }
        };
        // With one order, a span whose coefficients lie within the extrema so
        // far holds nothing new.
        const Extrema& single = gathered[0].found;
        pieces.for_each_stretch(a, b, each, [&](const double* d, auto degree, double, double) {
            return count == 1 && all_within(d, degree, single.min, single.max);
        });
    });
    for (int32_t i = 0; i < count; ++i)
        found[i] = gathered[i].undefined ? Extrema{nan_value, nan_value, nan_value, nan_value}
                                         : gathered[i].found;
}

namespace {

// The roots of the pieces, stretch by stretch in time order, where values
// within `tol` of the target count as on it. Speculative, with a tol that is
// an upper bound on the true one, it stops as `unsure` at the first decision
// that a smaller tol could change (a value within tol of the target): when
// none comes, the roots are those of every tol below it.
class RootScan {
  public:
    // For pieces of degree q.
    RootScan(double value, double tol, double merge, bool speculative, int32_t q)
        : value_(value), tol_(tol), merge_(merge),
          above_(std::nextafter(value + (q + 2) * tol, infinity)),
          below_(std::nextafter(value - (q + 2) * tol, -infinity)), speculative_(speculative),
          times_(16) {}

    bool unsure() const { return unsure_; }

    // Settles a stretch [t0, t1] whose values bound[0 .. degree] (a hull of
    // them) lie clearly beyond tol of the target on one side: no root, not
    // flat (the magnitude is at least |b[0]| / (degree + 1)), one sign throughout.
    template <class DegreeType>
    bool settled_beyond(const double* bound, DegreeType degree, double t0, double t1) {
        if (unsure_) return true;
        bool above = true, below = true;
        for (int32_t j = 0; j <= degree; ++j) {
            above &= bound[j] >= above_;
            below &= bound[j] <= below_;
        }
        if (!(above | below)) return false;
        const int side = above ? 1 : -1;
        if (times_.size() < count_ + 1) times_.resize(2 * times_.size());
        append(t0, flat_before_ || side * sign_before_ < 0);
        next(false, side, t1);
        return true;
    }

    void add(const Stretch& s, PolynomialRoots& solver, double* shifted) {
        if (unsure_) return;
        if (times_.size() < count_ + 4) times_.resize(2 * times_.size());
        if (speculative_ && s.inside && s.piece.degree <= 2) return add_quadratic(s);
        const Piece& piece = s.piece;
        const int32_t q = piece.degree;
        if (s.inside && settled_beyond(piece.b, q, s.t0, s.t1)) return;
        if (speculative_ && !s.inside) return give_up();
        // The piece minus the target.
        std::copy_n(piece.c, q + 1, shifted);
        shifted[0] -= value_;
        Stretch g = s;
        g.piece.c = shifted;
        const double size = magnitude(g);
        const double start_value = s.start_value() - value_, end_value = s.end_value() - value_;
        if (speculative_ &&
            !(size > tol_ && std::fabs(start_value) > tol_ && std::fabs(end_value) > tol_))
            return give_up();
        const bool flat = size <= tol_;
        if (flat) {
            append(s.t0, !flat_before_); // a stretch equal to the target begins
        } else {
            const int start_sign = sign_beyond(start_value, tol_);
            // The end of a stretch equal to the target, a value on it, or a jump across it.
            append(s.t0, flat_before_ || start_sign == 0 || start_sign * sign_before_ < 0);
            inside_.clear();
            if (solver.interior(shifted, q, g.u0, g.u1, tol_, inside_) && speculative_)
                return give_up();
            if (times_.size() < count_ + inside_.size() + 2)
                times_.resize(2 * (count_ + inside_.size() + 2));
            for (double u : inside_) append(std::clamp(piece.time_of(u), s.t0, s.t1), true);
            append(s.t1, sign_beyond(end_value, tol_) == 0);
        }
        next(flat, sign_beyond(end_value, tol_), s.t1);
    }

    // add() for the whole spans first .. last of the degree-q (q <= 2) spline
    // with the B-spline coefficients `coefficients` over the knots U,
    // speculative, a block at a time: the sweep finds the candidates, and
    // this pass keeps them in time order.
    void add_whole_spans(const double* U, const double* coefficients, int32_t q, int32_t first,
                         int32_t last) {
        if (unsure_) return;
        SweptSpans swept;
        const SweepTarget target{value_, tol_, above_, below_};
        double sign = sign_before_;
        for (int32_t k0 = first; k0 <= last; k0 += SweptSpans::capacity) {
            const int32_t count = std::min(last - k0 + 1, SweptSpans::capacity);
            sweep_whole_spans(U, coefficients, q, k0, count, target, swept);
            const std::size_t room = count_ + 3 * static_cast<std::size_t>(count);
            if (times_.size() < room) times_.resize(2 * room);
            // The candidates taken, then append()'s merging of close times,
            // which rarely drops one: apart, neither loop has a branch on
            // random data.
            double* times = times_.data();
            std::size_t found = count_;
            double near = 0.0;
            for (int32_t i = 0; i < count; ++i) {
                if (!(U[k0 + i] < U[k0 + i + 1])) continue;
                near += swept.near[i];
                if (swept.start_sign[i] * sign < 0.0) times[found++] = U[k0 + i]; // a jump across
                times[found] = swept.early[i];
                found += swept.count[i] > 0.5;
                times[found] = swept.late[i];
                found += swept.count[i] > 1.5;
                sign = swept.end_sign[i];
            }
            std::size_t kept = count_;
            double newest = kept > 0 ? times[kept - 1] : -infinity;
            const double merge = merge_;
            for (std::size_t j = kept; j < found; ++j) {
                const double t = times[j];
                if (t > newest + merge) times[kept++] = newest = t;
            }
            count_ = kept;
            if (near > 0.0) return give_up();
        }
        next(false, static_cast<int>(sign), U[last + 1]);
    }

    // The times found, after the last stretch: a stretch equal to the target
    // reaching b ends there.
    std::vector<double> finish() {
        append(t_before_, !unsure_ && flat_before_);
        times_.resize(count_);
        return std::move(times_);
    }

  private:
    // add() for a piece of degree at most 2 inside its span, speculative.
    void add_quadratic(const Stretch& s) {
        const Piece& piece = s.piece;
        const double c1 = piece.degree >= 1 ? piece.c[1] : 0.0;
        const double c2 = piece.degree == 2 ? piece.c[2] : 0.0;
        const double start_value = s.start_value() - value_, end_value = s.end_value() - value_;
        const QuadraticCrossings crossings = quadratic_crossings(
            piece.c[0] - value_, c1, c2, s.u0, s.u1, start_value, end_value, tol_);
        if (crossings.near) return give_up();
        const int start_sign = start_value > 0.0 ? 1 : -1;
        append(s.t0, start_sign * sign_before_ < 0); // a jump across the target
        append(std::clamp(piece.time_of(crossings.early), s.t0, s.t1), crossings.count >= 1);
        append(std::clamp(piece.time_of(crossings.late), s.t0, s.t1), crossings.count == 2);
        next(false, end_value > 0.0 ? 1 : -1, s.t1);
    }

    // Appends t when `take` and it is not the last time seen again (room for
    // it is made before).
    void append(double t, bool take) {
        take &= !(count_ > 0 && !(t > times_[count_ - 1] + merge_));
        times_[count_] = t;
        count_ += take;
    }
    void next(bool flat, int sign, double t) {
        flat_before_ = flat;
        sign_before_ = sign;
        t_before_ = t;
    }
    void give_up() { unsure_ = true; }

    double value_, tol_, merge_;
    double above_, below_; // clearly beyond tol of the target
    bool speculative_;
    std::vector<double> times_; // count_ found, room after them
    std::size_t count_ = 0;
    std::vector<double> inside_;
    bool unsure_ = false;
    bool flat_before_ = false;
    int sign_before_ = 0; // of the previous piece's value at its right end
    double t_before_ = 0.0;
};

} // namespace

std::vector<double> roots(const Spline& spline, int32_t nu, double value, double a, double b) {
    std::vector<double> found;
    if (std::isnan(value)) return found;
    // Roots closer than this are one root seen from two pieces.
    const double merge = std::fmax(1e-12 * (b - a), 8 * std::numeric_limits<double>::epsilon() *
                                                        std::fmax(std::fabs(a), std::fabs(b)));
    with_pieces(spline, nu, [&](auto& pieces, auto degree) {
        const int32_t q = degree;
        PolynomialRoots solver(q);
        std::vector<double> shifted(static_cast<std::size_t>(q) + 1);
        const auto scan = [&](double tol, bool speculative) {
            RootScan roots(value, tol, merge, speculative, q);
            const auto add = [&](const Stretch& s) { roots.add(s, solver, shifted.data()); };
            const auto hull = [&](const double* d, auto degree, double t0, double t1) {
                return roots.settled_beyond(d, degree, t0, t1);
            };
            if (speculative && q <= 2)
                pieces.for_each_stretch(
                    a, b, add, hull, [&](const double* coefficients, int32_t first, int32_t last) {
                        roots.add_whole_spans(spline.U, coefficients, q, first, last);
                    });
            else
                pieces.for_each_stretch(a, b, add, hull);
            found = roots.finish();
            return !roots.unsure();
        };
        // The tolerance is relative to the largest magnitude over [a, b]: first
        // try one bounding it from above, which almost always decides alike.
        const double bound = std::fmax(std::fabs(value), pieces.bound());
        if (std::isfinite(bound) && scan(relative_tolerance * bound, true)) return;
        double largest = std::fabs(value);
        pieces.for_each_stretch(
            a, b, [&](const Stretch& s) { largest = std::max(largest, magnitude(s)); });
        if (std::isnan(largest)) return;
        scan(relative_tolerance * largest, false);
    });
    return found;
}

} // namespace pykesta::planmath
