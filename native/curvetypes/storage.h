// Trajectory storage. Arrays come from the interpreter's allocator
// (PyMem_Malloc). While being filled an array is held by a Buffer; a
// trajectory then keeps it in a small reference-counted Storage object, which
// array views take as their base, so a view never outlives the memory it
// shows. Whether the memory is released is decided once, by the Storage.
#pragma once

#include "common/errors.h"

#include <cstdint>
#include <utility>

namespace pykesta::curvetypes {

class Buffer {
  public:
    Buffer() = default;
    // Raises MemoryError "memory allocation failed" when `count` doubles cannot be had.
    explicit Buffer(int64_t count);
    Buffer(Buffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    Buffer& operator=(Buffer&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        return *this;
    }
    ~Buffer() { PyMem_Free(data_); }

    // A new buffer holding a copy of `count` doubles from `source`.
    static Buffer copy_of(const double* source, int64_t count);
    // Keeps the leading `count` doubles (count <= size()).
    void shrink(int64_t count);

    double* data() const { return data_; }
    int32_t size() const { return size_; }
    double* release() {
        size_ = 0;
        return std::exchange(data_, nullptr);
    }

  private:
    double* data_ = nullptr;
    int32_t size_ = 0;
};

struct StorageObject {
    PyObject_HEAD
    double* data;
    Py_ssize_t size;
    bool frees; // release `data` with PyMem_Free when the holder ends
};

extern PyTypeObject Storage_Type;

// A holder that adopts the buffer and releases it at its end.
Ref adopt_storage(Buffer buffer);
// A holder around memory owned by someone else unless `frees`.
Ref wrap_storage(double* data, Py_ssize_t size, bool frees);

// A writeable one-dimensional float64 numpy array viewing the holder's memory.
Ref view_of_storage(PyObject* storage);

} // namespace pykesta::curvetypes
