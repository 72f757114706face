// Everything that differs between the interpreter versions we build for
// (3.10 and newer), written against the public C API only.
#pragma once

#include "common/pyref.h"

#include <frameobject.h>

namespace pykesta {

// The attribute `name` as the class `type` shows it (what `getattr(type, name)`
// returns), or an empty Ref when the class has no such attribute. Goes through
// the interpreter's method cache like the private lookup it replaces; a method
// defined natively comes back as its own descriptor, so two classes sharing it
// give the same object.
inline Ref class_attribute(PyTypeObject* type, PyObject* name) {
    Ref found = Ref::steal_or_null(PyObject_GetAttr(reinterpret_cast<PyObject*>(type), name));
    if (!found) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw python_error{};
        PyErr_Clear();
    }
    return found;
}

// Adds a traceback entry named `function` at `file`:`line` to the pending
// exception, as a frame the traceback module can show. The private helper that
// did this is gone in 3.13; a frame built from an empty code object is the
// public equivalent. If building it fails, the pending exception stays as it is.
inline void add_traceback_entry(const char* function, const char* file, int line) {
#if PY_VERSION_HEX >= 0x030C0000
    PyObject* pending = PyErr_GetRaisedException();
#else
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
#endif
    PyObject* globals = PyDict_New();
    PyCodeObject* code = PyCode_NewEmpty(file, function, line);
    PyFrameObject* frame = nullptr;
    if (globals != nullptr && code != nullptr)
        frame = PyFrame_New(PyThreadState_Get(), code, globals, nullptr);
    PyErr_Clear();
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(pending);
#else
    PyErr_Restore(type, value, traceback);
#endif
    if (frame != nullptr) PyTraceBack_Here(frame);
    Py_XDECREF(frame);
    Py_XDECREF(code);
    Py_XDECREF(globals);
}

// Critical sections guard an object's state on free-threaded builds (3.13+);
// elsewhere the interpreter lock already does, and the shims expand to a block.
#ifdef Py_BEGIN_CRITICAL_SECTION
#define PYKESTA_BEGIN_CRITICAL_SECTION(op) Py_BEGIN_CRITICAL_SECTION(op)
#define PYKESTA_END_CRITICAL_SECTION() Py_END_CRITICAL_SECTION()
#else
#define PYKESTA_BEGIN_CRITICAL_SECTION(op) {
#define PYKESTA_END_CRITICAL_SECTION() }
#endif

} // namespace pykesta
