#include "curvetypes/numpy_api.h"

#include "curvetypes/storage.h"

namespace pykesta::curvetypes {

static void storage_dealloc(PyObject* self) {
    auto* storage = reinterpret_cast<StorageObject*>(self);
    if (storage->frees) PyMem_Free(storage->data);
    Py_TYPE(self)->tp_free(self);
}

PyTypeObject Storage_Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "pykesta.curvetypes._Storage",
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

Ref adopt_storage(OwnedArray buffer) {
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
