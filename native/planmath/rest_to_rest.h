// Time-optimal rest-to-rest displacement profiles under velocity,
// acceleration and (optionally) jerk limits, as exact B-splines. No Python.
#pragma once

#include <array>

namespace pykesta::planmath {

// Limits of a move; jerk <= 0 means no jerk limit (trapezoidal profile).
struct MoveLimits {
    double velocity;
    double acceleration;
    double jerk;
};

// The top derivative of the profile (acceleration without a jerk limit, jerk
// with one) is piecewise constant: `level[k]` during `duration[k]`, for a
// positive distance. Pieces may have zero length.
struct Phases {
    static constexpr int max_pieces = 7;
    int degree; // 2 trapezoidal, 3 jerk-limited
    int pieces;
    std::array<double, max_pieces> duration;
    std::array<double, max_pieces> level;
};

// The phases of the fastest move over `distance` (> 0, finite) within
// `limits` (positive and finite, jerk as above), planned 1e-11 inside them.
Phases rest_to_rest_phases(double distance, const MoveLimits& limits);

// A clamped B-spline of degree 2 or 3 whose interior knots are the phase
// boundaries, each once.
struct ProfileSpline {
    static constexpr int max_knots = Phases::max_pieces + 2 * 3 + 1;
    static constexpr int max_cpts = Phases::max_pieces + 3;
    int degree;
    int knot_count;
    int cpts_count;
    std::array<double, max_knots> knots;
    std::array<double, max_cpts> cpts;
};

// The displacement spline of `phases` travelling `distance` (either sign)
// from 0, starting at time `start`. Phases that vanish once their boundaries
// are rounded to doubles are dropped and neighbours of equal level merged;
// `knot_count` is 0 when nothing is left or a boundary is not finite.
ProfileSpline profile_spline(const Phases& phases, double distance, double start);

} // namespace pykesta::planmath
