// Writing a curve on a finer knot vector, shared by insertion, refinement,
// sums and slicing.
#pragma once

#include <cstdint>

namespace pykesta::knotmath {

// Control points Pbar (nUbar - p - 1 of them) of the curve (U, P, p) on the
// knot vector Ubar, which holds every knot of U (as a multiset) and more.
// Requires is_spline(nU, nU - p - 1, p) and nUbar >= p + 2; Ubar must not alias U.
void refine_to(const double* U, int32_t nU, const double* P, int32_t p, const double* Ubar,
               int32_t nUbar, double* Pbar);

} // namespace pykesta::knotmath
