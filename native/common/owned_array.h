// An owned array of doubles from the interpreter's allocator (PyMem_Malloc), the
// storage every trajectory owns, held until a trajectory adopts it.
#pragma once

#include "common/errors.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace pykesta {

class OwnedArray {
  public:
    OwnedArray() = default;
    // Raises MemoryError "memory allocation failed" when `count` doubles cannot be had.
    explicit OwnedArray(int64_t count) {
        if (count < 0 || count > INT32_MAX) raise_no_memory();
        data_ = static_cast<double*>(PyMem_Malloc(static_cast<size_t>(count) * sizeof(double)));
        if (data_ == nullptr) raise_no_memory();
        size_ = static_cast<int32_t>(count);
    }
    OwnedArray(OwnedArray&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    OwnedArray& operator=(OwnedArray&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        return *this;
    }
    ~OwnedArray() { PyMem_Free(data_); }

    // A new buffer holding a copy of `count` doubles from `source`.
    static OwnedArray copy_of(const double* source, int64_t count) {
        OwnedArray buffer(count);
        if (count > 0)
            std::memcpy(buffer.data_, source, static_cast<size_t>(count) * sizeof(double));
        return buffer;
    }
    // Keeps the leading `count` doubles (count <= size()).
    void shrink(int64_t count) {
        if (count < 0 || count > size_) raise_no_memory();
        // PyMem_Realloc to zero bytes still returns a valid block.
        void* smaller = PyMem_Realloc(data_, static_cast<size_t>(count) * sizeof(double));
        if (smaller == nullptr) raise_no_memory();
        data_ = static_cast<double*>(smaller);
        size_ = static_cast<int32_t>(count);
    }

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

} // namespace pykesta
