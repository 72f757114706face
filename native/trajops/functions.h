// The functions of pykesta.trajops. Each file contributes its interpreter
// functions (and publishes its native entry points) through one add_* call.
#pragma once

#include "common/native_api.h"
#include "trajops/module_state.h"
#include "trajops/trajops.h"

#include <vector>

namespace pykesta::trajops {

using FunctionList = std::vector<PyMethodDef>;

void add_join(FunctionList& functions, PyObject* module);
void add_slicing(FunctionList& functions, PyObject* module);
void add_thin_functions(FunctionList& functions, PyObject* module);
void add_constraints(FunctionList& functions, PyObject* module);
void add_saving(FunctionList& functions, PyObject* module);

// Publishes the native entry `name##_entry` of the calling file under its name
// and signature (trajops.h); `module` must be in scope.
#define PYKESTA_EXPORT(name)                                                                       \
    export_function(module, #name, reinterpret_cast<void*>(name##_entry), name##_signature)

// A guarded result (new reference or null), typed as the native entries return it.
inline Trajectory1dObject* trajectory_result(PyObject* result) {
    return reinterpret_cast<Trajectory1dObject*>(result);
}

} // namespace pykesta::trajops
