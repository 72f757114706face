// Writing a curve on a finer knot vector, shared by insertion, refinement,
// sums and slicing.
#pragma once

#include <cstdint>
#include <vector>

namespace pykesta::knotmath {

// Control points Pbar (nUbar - p - 1 of them) of the curve (U, P, p) on the
// knot vector Ubar, which is U with the nadded knots at the increasing
// positions added[0 .. nadded-1] of Ubar put in (NaN throughout when nadded is
// not nUbar - nU). Requires is_spline(nU, nU - p - 1, p), nUbar >= p + 2 and
// positions in [0, nUbar); Ubar must not alias U.
void refine_to(const double* U, int32_t nU, const double* P, int32_t p, const double* Ubar,
               int32_t nUbar, const int32_t* added, int32_t nadded, double* Pbar);

// The positions in Ubar of its knots that are not U's, for a Ubar that holds
// every knot of U (as a multiset): copies of a value match first come, first
// served. Always nUbar - nU of them (none when that is negative).
std::vector<int32_t> added_positions(const double* U, int32_t nU, const double* Ubar,
                                     int32_t nUbar);

} // namespace pykesta::knotmath
