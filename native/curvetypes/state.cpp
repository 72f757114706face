// Trajectory1d's pickled state: the two arrays as byte strings and the four
// scalar fields, read by _sget_knotvector/_sget_cpts and written by _dset_data.
#include "curvetypes/trajectory.h"

#include "common/argparse.h"
#include "common/convert.h"

#include <cstring>

namespace pykesta::curvetypes {

static Ref bytes_of(const double* data, int64_t count) {
    if (data == nullptr) return Ref::borrow(Py_None);
    return Ref::steal(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(data),
                                                static_cast<Py_ssize_t>(count) * 8));
}

static Ref sget_knotvector_native(PyObject* self) {
    Trajectory1dObject* t = as_trajectory(self);
    return bytes_of(t->_knotvector, knot_count(t));
}

static Ref sget_cpts_native(PyObject* self) {
    Trajectory1dObject* t = as_trajectory(self);
    return bytes_of(t->_cpts, cpts_count(t));
}

Ref sget_knotvector(PyObject* self) {
    if (Ref redefined =
            find_override(self, &Trajectory1d_Type, module_state().names._sget_knotvector))
        return call(redefined.get());
    return sget_knotvector_native(self);
}

Ref sget_cpts(PyObject* self) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names._sget_cpts))
        return call(redefined.get());
    return sget_cpts_native(self);
}

// Copies the leading `count` doubles of a byte string into new storage.
static OwnedArray buffer_from_bytes(PyObject* bytes, int64_t count, const char* what) {
    if (bytes == Py_None) raise(PyExc_TypeError, "expected bytes, NoneType found");
    if (PyBytes_GET_SIZE(bytes) / 8 < count)
        raise_format(PyExc_ValueError, "'%s' holds %zd bytes, %lld are needed", what,
                     PyBytes_GET_SIZE(bytes), static_cast<long long>(count) * 8);
    OwnedArray buffer(count);
    std::memcpy(buffer.data(), PyBytes_AS_STRING(bytes), static_cast<size_t>(count) * 8);
    return buffer;
}

// The trajectory is empty after any failure: the old arrays are dropped first
// and the new ones are attached only when both are complete.
static void dset_data_native(PyObject* self, PyObject* knots, PyObject* cpts, int32_t p, int32_t n,
                             uint32_t order, bool owner) {
    Trajectory1dObject* t = as_trajectory(self);
    set_storage(t, Ref(), Ref());
    t->order = order;
    t->ptrs_owner = owner;
    t->p = p;
    t->n = n;
    if (p < 0 || n < 0) raise(PyExc_ValueError, "'p' and 'n' must be non-negative");
    int64_t knot_total = int64_t{n} + p + 2;
    if (knot_total > INT32_MAX) raise(PyExc_ValueError, "'p' and 'n' are too large");
    OwnedArray knot_buffer = buffer_from_bytes(knots, knot_total, "knots");
    OwnedArray cpts_buffer = buffer_from_bytes(cpts, int64_t{n} + 1, "cpts");
    Ref knot_storage = adopt_storage(std::move(knot_buffer));
    Ref cpts_storage = adopt_storage(std::move(cpts_buffer));
    set_storage(t, std::move(knot_storage), std::move(cpts_storage));
}

void dset_data(PyObject* self, PyObject* knots, PyObject* cpts, int32_t p, int32_t n,
               uint32_t order, bool owner) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names._dset_data)) {
        call(redefined.get(), knots, cpts, new_int(p).get(), new_int(n).get(),
             new_uint(order).get(), owner ? Py_True : Py_False);
        return;
    }
    dset_data_native(self, knots, cpts, p, n, order, owner);
}

// ---- interpreter methods --------------------------------------------------------

static PyObject* py_sget_knotvector(PyObject* self, PyObject*) {
    return guard_object([&] { return sget_knotvector_native(self); });
}

static PyObject* py_sget_cpts(PyObject* self, PyObject*) {
    return guard_object([&] { return sget_cpts_native(self); });
}

static PyObject* py_dset_data(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return guard_object([&] {
        auto a = parse_args(Params<6>{"_dset_data", {"knots", "cpts", "p", "n", "order", "owner"}},
                            args, nargs, kwnames);
        check_arg_exact_type(a[0], &PyBytes_Type, "knots", true);
        check_arg_exact_type(a[1], &PyBytes_Type, "cpts", true);
        int32_t p = to_int32(a[2]);
        int32_t n = to_int32(a[3]);
        uint32_t order = to_uint32(a[4]);
        int owner = PyObject_IsTrue(a[5]);
        check_status(owner);
        dset_data_native(self, a[0], a[1], p, n, order, owner != 0);
        return Ref::borrow(Py_None);
    });
}

static PyObject* py_getstate(PyObject* self, PyObject*) {
    return guard_object([&] {
        Ref knots = sget_knotvector(self);
        Ref cpts = sget_cpts(self);
        Trajectory1dObject* t = as_trajectory(self);
        return Ref::steal(Py_BuildValue("(OOiikO)", knots.get(), cpts.get(), t->p, t->n,
                                        static_cast<unsigned long>(t->order),
                                        t->ptrs_owner ? Py_True : Py_False));
    });
}

static PyObject* py_setstate(PyObject* self, PyObject* state) {
    return guard_object([&] {
        Ref args = Ref::steal(PySequence_Tuple(state));
        Ref method = Ref::steal(PyObject_GetAttr(self, module_state().names._dset_data));
        Ref result = Ref::steal(PyObject_Call(method.get(), args.get(), nullptr));
        return Ref::borrow(Py_None);
    });
}

// The interpreter's standard reduction for a class with state methods, which the
// base's own __reduce__ would otherwise hide: the object is recreated by
// cls.__new__(cls), then given what __getstate__ returned.
static PyObject* py_reduce(PyObject* self, PyObject*) {
    return guard_object([&] {
        Ref copyreg = Ref::steal(PyImport_ImportModule("copyreg"));
        Ref recreate = Ref::steal(PyObject_GetAttrString(copyreg.get(), "__newobj__"));
        Ref state = call_method(self, module_state().names.__getstate__);
        return Ref::steal(Py_BuildValue("(O(O)O)", recreate.get(), Py_TYPE(self), state.get()));
    });
}

// ---- table entries ----------------------------------------------------------------

static PyObject* sget_knotvector_entry(PyObject* self) {
    return guard_object([&] { return sget_knotvector(self); });
}

static PyObject* sget_cpts_entry(PyObject* self) {
    return guard_object([&] { return sget_cpts(self); });
}

static int dset_data_entry(PyObject* self, PyObject* knots, PyObject* cpts, int32_t p, int32_t n,
                           uint32_t order, int owner) {
    return guard_status([&] { dset_data(self, knots, cpts, p, n, order, owner != 0); });
}

void add_state(TypeParts& parts, Trajectory1dVTable& vtable) {
    vtable._sget_knotvector = sget_knotvector_entry;
    vtable._sget_cpts = sget_cpts_entry;
    vtable._dset_data = dset_data_entry;
    parts.methods.insert(
        parts.methods.end(),
        {
            {"_sget_knotvector", py_sget_knotvector, METH_NOARGS,
             "_sget_knotvector($self, /)\n--\n\nThe knot vector as bytes (native doubles), or "
             "None.\n\n"
             "Notes\n-----\nNeed to pickle protocol.\n"},
            {"_sget_cpts", py_sget_cpts, METH_NOARGS,
             "_sget_cpts($self, /)\n--\n\nThe control points as bytes (native doubles), or "
             "None.\n\n"
             "Notes\n-----\nNeed to pickle protocol.\n"},
            {"_dset_data", reinterpret_cast<PyCFunction>(py_dset_data),
             METH_FASTCALL | METH_KEYWORDS,
             "_dset_data($self, /, knots, cpts, p, n, order, owner)\n--\n\n"
             "Replaces the whole content of the trajectory.\n\n"
             "Parameters\n----------\nknots : bytes\n    n + p + 2 doubles in native byte order.\n"
             "cpts : bytes\n    n + 1 doubles in native byte order.\np, n : int\norder : int\n"
             "owner : bool\n    The owner flag the trajectory shows.\n\n"
             "Notes\n-----\nNeed to pickle protocol. The values are not checked against the knot "
             "rules.\n"},
            {"__getstate__", py_getstate, METH_NOARGS,
             "__getstate__($self, /)\n--\n\n"
             "(knots bytes, cpts bytes, p, n, order, owner flag): the pickled state.\n"},
            {"__setstate__", py_setstate, METH_O,
             "__setstate__($self, state, /)\n--\n\nRestores the pickled state with _dset_data.\n"},
            {"__reduce__", py_reduce, METH_NOARGS,
             "__reduce__($self, /)\n--\n\nHelper for pickle."},
        });
}

} // namespace pykesta::curvetypes
