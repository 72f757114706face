// The two arrays of a trajectory and their sizes, as the kernels take them;
// shared by every module that reads trajectories.
#pragma once

#include "common/errors.h"
#include "curvetypes/curvetypes.h"

#include <cstdint>

namespace pykesta::curvetypes {

// Sizes of the two arrays. Computed in 64 bits: an empty trajectory may carry
// fields that a refused _dset_data left behind, whose sum exceeds 32 bits.
inline int64_t knot_count(const Trajectory1dObject* t) { return int64_t{t->n} + t->p + 2; }
inline int64_t cpts_count(const Trajectory1dObject* t) { return int64_t{t->n} + 1; }

// The two arrays of a trajectory that holds them.
struct Arrays {
    double* U;
    int32_t nU;
    double* P;
    int32_t nP;
};

// Raises ValueError when the trajectory holds no knot vector or no control points.
inline Arrays require_arrays(const Trajectory1dObject* t) {
    if (t->_knotvector == nullptr || t->_cpts == nullptr)
        raise(PyExc_ValueError, "the trajectory holds no knot vector or control points");
    // A trajectory holding arrays has sizes that fit (checked when they were set).
    return {t->_knotvector, static_cast<int32_t>(knot_count(t)), t->_cpts,
            static_cast<int32_t>(cpts_count(t))};
}

} // namespace pykesta::curvetypes
