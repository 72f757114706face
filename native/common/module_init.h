// The import of a native module of the package: create the module, fill it,
// and on failure leave an "init <module name>" entry in the traceback.
#pragma once

#include "common/compat.h"
#include "common/errors.h"

namespace pykesta {

// Creates the module of `def` and runs `initialise(module)`. On failure,
// `discard()` releases what the initialisation kept, the module is dropped and
// null is returned with the error set.
template <class Initialise, class Discard>
inline PyObject* create_module(PyModuleDef* def, Initialise&& initialise,
                               Discard&& discard) noexcept {
    PyObject* module = PyModule_Create(def);
    if (module == nullptr) return nullptr;
    if (guard_status([&] { initialise(module); }) < 0) {
        char entry[200];
        PyOS_snprintf(entry, sizeof entry, "init %s", def->m_name);
        add_traceback_entry(entry, __FILE__, __LINE__);
        discard();
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

} // namespace pykesta
