// The import of a native module of the package: create the module, fill it,
// and on failure leave an "init <module name>" entry in the traceback.
#pragma once

#include "common/compat.h"
#include "common/errors.h"

namespace pykesta {

// Creates the module of `def` and its state (`state`, released only if the
// import fails), then runs `initialise(module)`. On failure the module is
// dropped and null is returned with the error set.
template <class State, class Initialise>
inline PyObject* create_module(PyModuleDef* def, State*& state, Initialise&& initialise) noexcept {
    PyObject* module = PyModule_Create(def);
    if (module == nullptr) return nullptr;
    if (guard_status([&] {
            state = new State();
            initialise(module);
        }) < 0) {
        char entry[200];
        PyOS_snprintf(entry, sizeof entry, "init %s", def->m_name);
        add_traceback_entry(entry, __FILE__, __LINE__);
        delete state;
        state = nullptr;
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

} // namespace pykesta
