// Override dispatch: a native operation that is also an interpreter method
// runs natively unless the object's class (written in the interpreter)
// redefines the method, in which case the redefinition is called.
#pragma once

#include "common/compat.h"

namespace pykesta {

// The bound redefinition of `name` on `self`, or an empty Ref when the class of
// `self` uses the method that `native_type` defines.
inline Ref find_override(PyObject* self, PyTypeObject* native_type, PyObject* name) {
    PyTypeObject* type = Py_TYPE(self);
    if (type == native_type) return {};
    Ref found = class_attribute(type, name);
    if (!found || found.get() == class_attribute(native_type, name).get()) return {};
    return Ref::steal(PyObject_GetAttr(self, name));
}

// Calls a bound method with positional arguments; returns the new result.
template <class... A> inline Ref call(PyObject* callable, A... args) {
    PyObject* argv[] = {nullptr, args...};
    return Ref::steal(PyObject_Vectorcall(callable, argv + 1,
                                          sizeof...(A) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

inline Ref call(PyObject* callable) { return Ref::steal(PyObject_CallNoArgs(callable)); }

// Calls `self.name(*args)` through attribute lookup.
template <class... A> inline Ref call_method(PyObject* self, PyObject* name, A... args) {
    PyObject* argv[] = {self, args...};
    return Ref::steal(PyObject_VectorcallMethod(
        name, argv, (1 + sizeof...(A)) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

} // namespace pykesta
