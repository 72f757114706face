// Owning reference to an interpreter object, and the C++ error that carries a
// pending interpreter exception up to the nearest entry boundary.
#pragma once

#include <Python.h>

#include <utility>

namespace pykesta {

// Thrown after a failed C-API call has set the interpreter's error indicator.
struct python_error {};

// Throws python_error when `p` is null (the error indicator is set); returns `p`.
template <class T> inline T* check(T* p) {
    if (p == nullptr) throw python_error{};
    return p;
}

inline void check_status(int status) {
    if (status < 0) throw python_error{};
}

class Ref {
  public:
    Ref() = default;
    Ref(const Ref& other) : p_(other.p_) { Py_XINCREF(p_); }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    // Takes over a new reference; throws python_error when it is null.
    static Ref steal(PyObject* p) { return Ref(check(p)); }
    // Takes over a new reference that may be null without an error.
    static Ref steal_or_null(PyObject* p) { return Ref(p); }
    // Adds a reference to a borrowed one.
    static Ref borrow(PyObject* p) {
        Py_XINCREF(p);
        return Ref(p);
    }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

  private:
    explicit Ref(PyObject* p) : p_(p) {}
    PyObject* p_ = nullptr;
};

} // namespace pykesta
