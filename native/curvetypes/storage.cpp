#include "curvetypes/numpy_api.h"

#include "curvetypes/storage.h"

#include <cstring>

namespace pykesta::curvetypes {

Buffer::Buffer(int64_t count) {
    if (count < 0 || count > INT32_MAX) raise_no_memory();
    data_ = static_cast<double*>(PyMem_Malloc(static_cast<size_t>(count) * sizeof(double)));
    if (data_ == nullptr) raise_no_memory();
    size_ = static_cast<int32_t>(count);
}

Buffer Buffer::copy_of(const double* source, int64_t count) {
    Buffer buffer(count);
    if (count > 0) std::memcpy(buffer.data_, source, static_cast<size_t>(count) * sizeof(double));
    return buffer;
}

void Buffer::shrink(int64_t count) {
    if (count < 0 || count > size_) raise_no_memory();
    // PyMem_Realloc to zero bytes still returns a valid block.
    void* smaller = PyMem_Realloc(data_, static_cast<size_t>(count) * sizeof(double));
    if (smaller == nullptr) raise_no_memory();
    data_ = static_cast<double*>(smaller);
    size_ = static_cast<int32_t>(count);
}

static void storage_dealloc(PyObject* self) {
    auto* storage = reinterpret_cast<StorageObject*>(self);
    if (storage->frees) PyMem_Free(storage->data);
    Py_TYPE(self)->tp_free(self);
}

PyTypeObject Storage_Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "pykesta.curvetypes._Storage",
    .tp_basicsize = sizeof(StorageObject),
    .tp_dealloc = storage_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "Memory of one trajectory array.",
};

Ref wrap_storage(double* data, Py_ssize_t size, bool frees) {
    auto* storage = PyObject_New(StorageObject, &Storage_Type);
    if (storage == nullptr) {
        if (frees) PyMem_Free(data);
        throw python_error{};
    }
    storage->data = data;
    storage->size = size;
    storage->frees = frees;
    return Ref::steal(reinterpret_cast<PyObject*>(storage));
}

Ref adopt_storage(Buffer buffer) {
    int32_t size = buffer.size();
    return wrap_storage(buffer.release(), size, true);
}

Ref view_of_storage(PyObject* holder) {
    auto* storage = reinterpret_cast<StorageObject*>(holder);
    npy_intp length = storage->size;
    Ref array = Ref::steal(
        PyArray_SimpleNewFromData(1, &length, NPY_DOUBLE, static_cast<void*>(storage->data)));
    Py_INCREF(holder);
    check_status(PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(array.get()), holder));
    return array;
}

} // namespace pykesta::curvetypes
