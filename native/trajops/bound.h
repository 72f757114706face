// What pykesta.trajops binds at import: the classes and tables of
// pykesta.curvetypes, and the two kernels it calls.
#pragma once

#include "common/owned_array.h"
#include "curvetypes/arrays.h"
#include "knotmath/kernels.h"

namespace pykesta::trajops {

using curvetypes::Arrays;
using curvetypes::require_arrays;
using curvetypes::Trajectory1dObject;

struct Bound {
    const curvetypes::CurvetypesAPI* api;
    knotmath::splcjoin_fn splcjoin;
    knotmath::splcsli_fn splcsli;
};

extern Bound bound;

// Binds the classes of pykesta.curvetypes (checking the instance sizes this
// module was built against); throws python_error.
void bind_curvetypes(PyObject* curvetypes_module);
void bind_kernels(PyObject* knotmath_module);

inline const curvetypes::Trajectory1dVTable& trajectory_table() {
    return *bound.api->Trajectory1d_vtable;
}

// A C-API result of a table entry: throws when it is null.
inline Ref owned(PyObject* result) { return Ref::steal(result); }

// The table of the native class of a persistable object (its savexml entry
// reaches redefinitions).
const curvetypes::PyKESTAObjectVTable& persistable_table(PyObject* obj);

// The "Argument '<name>' has incorrect type" check for a trajectory (None refused).
void check_trajectory(PyObject* obj, const char* name);


// A new trajectory adopting both buffers, built by the curvetypes constructor.
Ref adopt_trajectory(OwnedArray knots, OwnedArray cpts, int32_t p, int32_t n, uint32_t order);

} // namespace pykesta::trajops
