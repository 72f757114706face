// What pykesta.trajops keeps between calls: one state holding the classes and
// tables of pykesta.curvetypes and the two kernels it calls, bound at import.
#pragma once

#include "common/owned_array.h"
#include "curvetypes/arrays.h"
#include "knotmath/kernels.h"

namespace pykesta::trajops {

using curvetypes::Arrays;
using curvetypes::require_arrays;
using curvetypes::Trajectory1dObject;

struct ModuleState {
    Ref curvetypes; // keeps the module that published `api` alive
    const curvetypes::CurvetypesAPI* api = nullptr;
    knotmath::splcjoin_fn splcjoin = nullptr;
    knotmath::splcsli_fn splcsli = nullptr;
};

// Set by the import, released only when the import fails: the functions are
// reachable for as long as the module is, which single-phase modules never leave.
extern ModuleState* current_state;

inline ModuleState& module_state() { return *current_state; }

// Binds the classes of pykesta.curvetypes (checking the instance sizes this
// module was built against) and the kernels; throws python_error.
void bind_curvetypes(ModuleState& state, Ref curvetypes_module);
void bind_kernels(ModuleState& state, PyObject* knotmath_module);

inline const curvetypes::Trajectory1dVTable& trajectory_table() {
    return *module_state().api->Trajectory1d_vtable;
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
