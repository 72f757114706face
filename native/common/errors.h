// Raising interpreter exceptions from C++ and the boundary that turns them
// back into the C-API convention (null or -1 with the error indicator set).
#pragma once

#include "common/pyref.h"

#include <exception>
#include <new>

namespace pykesta {

[[noreturn]] inline void raise(PyObject* type, const char* message) {
    PyErr_SetString(type, message);
    throw python_error{};
}

template <class... Args>
[[noreturn]] inline void raise_format(PyObject* type, const char* format, Args... args) {
    PyErr_Format(type, format, args...);
    throw python_error{};
}

[[noreturn]] inline void raise_no_memory() { raise(PyExc_MemoryError, "memory allocation failed"); }

namespace detail {
inline void translate_current_exception() {
    try {
        throw;
    } catch (const python_error&) {
        // The error indicator is already set.
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_SystemError, e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unknown C++ exception");
    }
}
} // namespace detail

// Runs `body` and converts any escaping C++ exception into a pending
// interpreter exception. `failed` is what the entry returns on failure.
template <class R, class F> inline R guard(R failed, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        detail::translate_current_exception();
        return failed;
    }
}

// Entry returning a new reference (null on failure).
template <class F> inline PyObject* guard_object(F&& body) noexcept {
    return guard<PyObject*>(nullptr, [&]() -> PyObject* { return body().release(); });
}

// Entry returning a status (0, or -1 on failure).
template <class F> inline int guard_status(F&& body) noexcept {
    return guard<int>(-1, [&]() -> int {
        body();
        return 0;
    });
}

} // namespace pykesta
