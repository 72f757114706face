// Knot removal, shared by the removal kernels and degree elevation.
#pragma once

#include <cstdint>

namespace pykesta::knotmath {

// When a single removal is accepted.
struct Tolerance {
    double bound;
    bool accept_all;

    bool accepts(double distance) const { return accept_all || distance <= bound; }
};

// Removes up to `count` copies of the knot U[last] (the last copy of a run of
// `multiplicity` <= p + 1 copies, not touching either end of U), one at a time
// while `tolerance` accepts each (Tiller's algorithm). Works in place on U
// (n + p + 2 knots) and P (n + 1 points) and compacts them: afterwards
// U[0 .. n + p + 1 - t] and P[0 .. n - t] hold the result. Returns t.
// temp: 2p + 2 doubles. Index checks stop the removals before anything outside
// the arrays would be touched.
int32_t remove_knot_copies(double* U, int32_t n, double* P, int32_t p, int32_t last,
                           int32_t multiplicity, int32_t count, Tolerance tolerance, double* temp);

} // namespace pykesta::knotmath
