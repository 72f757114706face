// Trajectory storage. Arrays come from the interpreter's allocator
// (PyMem_Malloc). While being filled an array is held by an OwnedArray
// (common/owned_array.h); a trajectory then keeps it in a small reference-counted Storage object,
// which array views take as their base, so a view never outlives the memory it shows. Whether the
// memory is released is decided once, by the Storage.
#pragma once

#include "common/owned_array.h"

#include <cstdint>
#include <utility>

namespace pykesta::curvetypes {

struct StorageObject {
    PyObject_HEAD double* data;
    Py_ssize_t size;
    bool frees; // release `data` with PyMem_Free when the holder ends
};

extern PyTypeObject Storage_Type;

// A holder that adopts the buffer and releases it at its end.
Ref adopt_storage(OwnedArray buffer);
// A holder around memory owned by someone else unless `frees`.
Ref wrap_storage(double* data, Py_ssize_t size, bool frees);

// A writeable one-dimensional float64 numpy array viewing the holder's memory.
Ref view_of_storage(PyObject* storage);

} // namespace pykesta::curvetypes
