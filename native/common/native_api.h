// Publishing and binding native functions between the extension modules of
// the package: each module keeps a dict "__native_api__" mapping a name to a
// capsule whose name is the function's signature text.
#pragma once

#include "common/errors.h"

namespace pykesta {

inline void export_function(PyObject* module, const char* name, void* fn, const char* signature) {
    PyObject* table = PyObject_GetAttrString(module, "__native_api__");
    Ref dict;
    if (table == nullptr) {
        PyErr_Clear();
        dict = Ref::steal(PyDict_New());
        check_status(PyModule_AddObjectRef(module, "__native_api__", dict.get()));
    } else {
        dict = Ref::steal(table);
    }
    Ref capsule = Ref::steal(PyCapsule_New(fn, signature, nullptr));
    check_status(PyDict_SetItemString(dict.get(), name, capsule.get()));
}

inline void* import_function(PyObject* module, const char* name, const char* signature) {
    const char* module_name = PyModule_GetName(module);
    if (module_name == nullptr) throw python_error{};
    Ref table = Ref::steal_or_null(PyObject_GetAttrString(module, "__native_api__"));
    PyObject* capsule = nullptr;
    if (!table) {
        PyErr_Clear();
    } else if (PyDict_Check(table.get())) {
        capsule = PyDict_GetItemString(table.get(), name);
    }
    if (capsule == nullptr)
        raise_format(PyExc_ImportError, "%.200s does not export expected C function %.200s",
                     module_name, name);
    if (!PyCapsule_IsValid(capsule, signature)) {
        const char* found = PyCapsule_GetName(capsule);
        PyErr_Clear();
        raise_format(PyExc_TypeError,
                     "C function %.200s.%.200s has wrong signature (expected %.500s, got %.500s)",
                     module_name, name, signature, found ? found : "");
    }
    return PyCapsule_GetPointer(capsule, signature);
}

} // namespace pykesta
