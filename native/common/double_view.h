// A borrowed view of a C-contiguous float64 buffer taken from any object that
// exports one (numpy arrays, array.array('d'), memoryviews), released on scope
// exit. None may stand for an empty array where the caller allows it.
#pragma once

#include "common/errors.h"

#include <cstdint>
#include <cstring>

namespace pykesta {

class DoubleView {
  public:
    enum Access { read_only, writable };

    DoubleView(PyObject* obj, Access access, int ndim = 1, bool none_is_empty = false) {
        if (obj == Py_None && none_is_empty) return;
        int flags = PyBUF_FORMAT | PyBUF_C_CONTIGUOUS | (access == writable ? PyBUF_WRITABLE : 0);
        check_status(PyObject_GetBuffer(obj, &view_, flags));
        held_ = true;
        if (!is_double_format(view_.format) || view_.itemsize != sizeof(double)) {
            release();
            raise_format(PyExc_ValueError, "Buffer dtype mismatch, expected 'double' but got '%s'",
                         view_.format ? view_.format : "B");
        }
        if (view_.ndim != ndim) {
            int got = view_.ndim;
            release();
            raise_format(PyExc_ValueError,
                         "Buffer has wrong number of dimensions (expected %d, got %d)", ndim, got);
        }
        // The kernels count elements in 32 bits.
        if (view_.len / static_cast<Py_ssize_t>(sizeof(double)) > INT32_MAX) {
            release();
            raise(PyExc_ValueError, "array too large");
        }
    }
    DoubleView(const DoubleView&) = delete;
    DoubleView& operator=(const DoubleView&) = delete;
    ~DoubleView() { release(); }

    double* data() const { return held_ ? static_cast<double*>(view_.buf) : nullptr; }
    // Number of doubles in the whole buffer.
    int32_t size() const {
        return held_ ? static_cast<int32_t>(view_.len / static_cast<Py_ssize_t>(sizeof(double)))
                     : 0;
    }
    // Extent of dimension `d` (for multi-dimensional buffers).
    int32_t extent(int d) const { return held_ ? static_cast<int32_t>(view_.shape[d]) : 0; }

  private:
    // "d", with an optional prefix meaning the machine's own byte order.
    static bool is_double_format(const char* f) {
        if (f == nullptr) return false;
        const char native = PY_LITTLE_ENDIAN ? '<' : '>';
        if (*f == '@' || *f == '=' || *f == native) ++f;
        return std::strcmp(f, "d") == 0;
    }
    void release() {
        if (held_) PyBuffer_Release(&view_);
        held_ = false;
    }
    Py_buffer view_{};
    bool held_ = false;
};

} // namespace pykesta
