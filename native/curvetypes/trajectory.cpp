// Trajectory1d: the record, its lifecycle, properties, array views, copies,
// text forms and attribute dictionary.
#include "curvetypes/numpy_api.h"

#include "curvetypes/trajectory.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "curvetypes/module_state.h"

#include <cstring>

namespace pykesta::curvetypes {

Trajectory1dVTable trajectory_vtable;

void set_storage(Trajectory1dObject* self, Ref knot_storage, Ref cpts_storage) {
    PyObject* old_knots = self->knot_storage;
    PyObject* old_cpts = self->cpts_storage;
    self->knot_storage = knot_storage.release();
    self->cpts_storage = cpts_storage.release();
    self->_knotvector =
        self->knot_storage ? reinterpret_cast<StorageObject*>(self->knot_storage)->data : nullptr;
    self->_cpts =
        self->cpts_storage ? reinterpret_cast<StorageObject*>(self->cpts_storage)->data : nullptr;
    Py_XDECREF(old_knots);
    Py_XDECREF(old_cpts);
}

static Ref allocate_trajectory() {
    return Ref::steal(Trajectory1d_Type.tp_alloc(&Trajectory1d_Type, 0));
}

Ref new_trajectory(OwnedArray knots, OwnedArray cpts, int32_t p, int32_t n, uint32_t order,
                   bool owner_flag) {
    Ref knot_storage = adopt_storage(std::move(knots));
    Ref cpts_storage = adopt_storage(std::move(cpts));
    Ref result = allocate_trajectory();
    Trajectory1dObject* t = as_trajectory(result.get());
    t->p = p;
    t->n = n;
    t->order = order;
    t->ptrs_owner = owner_flag;
    set_storage(t, std::move(knot_storage), std::move(cpts_storage));
    return result;
}

Ref expect_trajectory(Ref obj) {
    if (!PyObject_TypeCheck(obj.get(), &Trajectory1d_Type))
        raise_format(PyExc_TypeError, "Cannot convert %.200s to %.200s",
                     Py_TYPE(obj.get())->tp_name, Trajectory1d_Type.tp_name);
    return obj;
}

static bool compare_with_bound(PyObject* self, double x, PyObject* bound_name, int op) {
    Trajectory1dObject* t = as_trajectory(self);
    if (Py_TYPE(self) == &Trajectory1d_Type && t->_knotvector != nullptr) {
        double bound = bound_name == module_state().names.start ? t->_knotvector[0]
                                                                : t->_knotvector[knot_count(t) - 1];
        return op == Py_LT ? x < bound : x > bound;
    }
    Ref bound = Ref::steal(PyObject_GetAttr(self, bound_name));
    Ref value = new_float(x);
    int result = PyObject_RichCompareBool(value.get(), bound.get(), op);
    check_status(result);
    return result == 1;
}

void check_trajectory_arg(PyObject* obj, const char* name, bool none_allowed) {
    check_arg_type(obj, &Trajectory1d_Type, name, none_allowed);
}

bool before_start(PyObject* self, double x) {
    return compare_with_bound(self, x, module_state().names.start, Py_LT);
}
bool after_stop(PyObject* self, double x) {
    return compare_with_bound(self, x, module_state().names.stop, Py_GT);
}

// ---- construction and lifecycle -------------------------------------------

static PyObject* trajectory_new(PyTypeObject* type, PyObject*, PyObject*) {
    // Every argument is accepted and ignored: the result is an empty trajectory.
    return type->tp_alloc(type, 0);
}

static void trajectory_dealloc(PyObject* self) {
    set_storage(as_trajectory(self), Ref(), Ref());
    Py_TYPE(self)->tp_free(self);
}

static PyObject* from_ptrs_entry(double* knotvector, double* cpts, int32_t p, int32_t n,
                                 uint32_t order, int owner) {
    return guard_object([&] {
        // Each array is adopted at once, so that a failure releases what it owns.
        Ref knot_storage;
        try {
            if (knotvector) knot_storage = wrap_storage(knotvector, int64_t{n} + p + 2, owner != 0);
        } catch (const python_error&) {
            if (owner) PyMem_Free(cpts);
            throw;
        }
        Ref cpts_storage = cpts ? wrap_storage(cpts, int64_t{n} + 1, owner != 0) : Ref();
        Ref result = allocate_trajectory();
        Trajectory1dObject* t = as_trajectory(result.get());
        t->p = p;
        t->n = n;
        t->order = order;
        t->ptrs_owner = owner != 0;
        set_storage(t, std::move(knot_storage), std::move(cpts_storage));
        return result;
    });
}

static PyObject* new_struct_entry(int32_t p, int32_t n, uint32_t order) {
    return guard_object([&] {
        OwnedArray knots(int64_t{n} + p + 2);
        OwnedArray cpts(int64_t{n} + 1);
        return new_trajectory(std::move(knots), std::move(cpts), p, n, order);
    });
}

// ---- copy ------------------------------------------------------------------

static Ref copy_native(PyObject* self) {
    Trajectory1dObject* t = as_trajectory(self);
    if (t->_knotvector == nullptr || t->_cpts == nullptr) return allocate_trajectory();
    OwnedArray knots = OwnedArray::copy_of(t->_knotvector, knot_count(t));
    OwnedArray cpts = OwnedArray::copy_of(t->_cpts, cpts_count(t));
    return new_trajectory(std::move(knots), std::move(cpts), t->p, t->n, t->order);
}

Ref copy(PyObject* self) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.copy))
        return expect_trajectory(call(redefined.get()));
    return copy_native(self);
}

static PyObject* py_copy(PyObject* self, PyObject*) {
    return guard_object([&] { return copy_native(self); });
}

static PyObject* py_dunder_copy(PyObject* self, PyObject*) {
    return guard_object([&] { return copy(self); });
}

static PyObject* py_dunder_deepcopy(PyObject* self, PyObject*) {
    return guard_object([&] { return copy(self); });
}

// ---- properties and views ----------------------------------------------------

static PyObject* get_p(PyObject* self, void*) { return PyLong_FromLong(as_trajectory(self)->p); }
static PyObject* get_n(PyObject* self, void*) { return PyLong_FromLong(as_trajectory(self)->n); }
static PyObject* get_order(PyObject* self, void*) {
    return PyLong_FromUnsignedLong(as_trajectory(self)->order);
}
static PyObject* get_start(PyObject* self, void*) {
    Trajectory1dObject* t = as_trajectory(self);
    if (t->_knotvector == nullptr) Py_RETURN_NONE;
    return PyFloat_FromDouble(t->_knotvector[0]);
}
static PyObject* get_stop(PyObject* self, void*) {
    Trajectory1dObject* t = as_trajectory(self);
    if (t->_knotvector == nullptr) Py_RETURN_NONE;
    return PyFloat_FromDouble(t->_knotvector[knot_count(t) - 1]);
}

static PyObject* py_get_knotvector_asarray(PyObject* self, PyObject*) {
    Trajectory1dObject* t = as_trajectory(self);
    if (t->knot_storage == nullptr) Py_RETURN_NONE;
    return guard_object([&] { return view_of_storage(t->knot_storage); });
}

static PyObject* py_get_cpts_asarray(PyObject* self, PyObject*) {
    Trajectory1dObject* t = as_trajectory(self);
    if (t->cpts_storage == nullptr) Py_RETURN_NONE;
    return guard_object([&] { return view_of_storage(t->cpts_storage); });
}

static PyObject* py_get_xcpts(PyObject* self, PyObject*) {
    return guard_object([&] {
        Arrays a = require_arrays(self);
        npy_intp length = a.nP;
        Ref result = Ref::steal(PyArray_SimpleNew(1, &length, NPY_DOUBLE));
        auto* x =
            static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(result.get())));
        module_state().kernels.averagcpts(a.U, a.nU, as_trajectory(self)->p, x, a.nP);
        return result;
    });
}

// ---- text forms and attribute dictionary ---------------------------------------

static PyObject* trajectory_str(PyObject* self) {
    return guard_object([&] {
        Trajectory1dObject* t = as_trajectory(self);
        Ref start = Ref::steal(PyObject_GetAttr(self, module_state().names.start));
        Ref stop = Ref::steal(PyObject_GetAttr(self, module_state().names.stop));
        return Ref::steal(PyUnicode_FromFormat(
            "Trajectory1d(start = %S, stop = %S, p = %d, n = %d, order = %lu)", start.get(),
            stop.get(), t->p, t->n, static_cast<unsigned long>(t->order)));
    });
}

static PyObject* trajectory_repr(PyObject* self) {
    return guard_object([&] {
        Trajectory1dObject* t = as_trajectory(self);
        Ref start = Ref::steal(PyObject_GetAttr(self, module_state().names.start));
        Ref stop = Ref::steal(PyObject_GetAttr(self, module_state().names.stop));
        return Ref::steal(PyUnicode_FromFormat(
            "{'start': %S, 'stop': %S, 'p': %d, 'n': %d, 'order': %lu}", start.get(), stop.get(),
            t->p, t->n, static_cast<unsigned long>(t->order)));
    });
}

static void set_text(PyObject* dict, const char* key, Ref text) {
    check_status(PyDict_SetItemString(dict, key, text.get()));
}

static Ref get_attrib_native(PyObject* self) {
    Trajectory1dObject* t = as_trajectory(self);
    Ref dict = Ref::steal(PyDict_New());
    set_text(dict.get(), "p", Ref::steal(PyUnicode_FromFormat("%d", t->p)));
    set_text(dict.get(), "n", Ref::steal(PyUnicode_FromFormat("%d", t->n)));
    set_text(dict.get(), "owner",
             Ref::steal(PyUnicode_FromString(t->ptrs_owner ? "True" : "False")));
    set_text(dict.get(), "order",
             Ref::steal(PyUnicode_FromFormat("%lu", static_cast<unsigned long>(t->order))));
    for (PyObject* name : {module_state().names.start, module_state().names.stop}) {
        Ref value = Ref::steal(PyObject_GetAttr(self, name));
        Ref text = Ref::steal(PyObject_Str(value.get()));
        check_status(PyDict_SetItem(dict.get(), name, text.get()));
    }
    return dict;
}

static PyObject* get_attrib_entry(PyObject* self) {
    return guard_object([&] {
        if (Ref redefined =
                find_override(self, &Trajectory1d_Type, module_state().names._getAttrib))
            return call(redefined.get());
        return get_attrib_native(self);
    });
}

static PyObject* py_get_attrib(PyObject* self, PyObject*) {
    return guard_object([&] { return get_attrib_native(self); });
}

// ---- assembly ------------------------------------------------------------------

static PyObject* copy_entry(PyObject* self) {
    return guard_object([&] { return copy(self); });
}

static const char copy_doc[] =
    "copy($self, /)\n"
    "--\n"
    "\n"
    "Return a copy of the object.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    A new trajectory owning copies of both arrays, whatever the owner flag\n"
    "    of self; a copy of an empty trajectory is empty.\n"
    "\n"
    "Raises\n"
    "------\n"
    "MemoryError\n"
    "    \"memory allocation failed\" when the arrays cannot be allocated.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "get_knotvector_asarray, get_cpts_asarray : Views that share the storage.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "copy.copy and copy.deepcopy call this method, so an override in a subclass\n"
    "serves both.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> c = t.copy()\n"
    ">>> c += 1.0\n"
    ">>> t(0.5), c(0.5)\n"
    "(1.25, 2.25)\n";

static const char knotvector_view_doc[] =
    "get_knotvector_asarray($self, /)\n"
    "--\n"
    "\n"
    "Creates an array wrapper around '_knotvector' pointer. If the new array\n"
    "        is deallocated the memory is not freed.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "numpy.ndarray or None\n"
    "    A writeable view of the n + p + 2 knots; it keeps the memory alive.\n"
    "    Writing to it changes the trajectory. None for an empty trajectory.\n"
    "\n"
    "Raises\n"
    "------\n"
    "MemoryError\n"
    "    Only when numpy cannot allocate the view object; an empty trajectory\n"
    "    gives None, not an error.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "get_cpts_asarray : The view of the control points.\n"
    "copy : A trajectory with arrays of its own.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> t.get_knotvector_asarray()\n"
    "array([0., 0., 0., 1., 1., 1.])\n";

static const char cpts_view_doc[] =
    "get_cpts_asarray($self, /)\n"
    "--\n"
    "\n"
    "Creates an array wrapper around '_cpts' pointer. If the new array is\n"
    "        deallocated the memory is not freed.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "numpy.ndarray or None\n"
    "    A writeable view of the n + 1 control points; it keeps the memory alive.\n"
    "    Writing to it changes the trajectory. None for an empty trajectory.\n"
    "\n"
    "Raises\n"
    "------\n"
    "MemoryError\n"
    "    Only when numpy cannot allocate the view object; an empty trajectory\n"
    "    gives None, not an error.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "get_knotvector_asarray : The view of the knots.\n"
    "get_xcpts : The abscissae of the control points.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> cpts = t.get_cpts_asarray()\n"
    ">>> cpts[0] = 1.0\n"
    ">>> t(0.0)\n"
    "1.0\n";

static const char xcpts_doc[] =
    "get_xcpts($self, /)\n"
    "--\n"
    "\n"
    "Returns the x-coordinates of the control points.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "numpy.ndarray\n"
    "    A new array of the n + 1 Greville abscissae: the averages of p\n"
    "    consecutive knots.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"the trajectory holds no knot vector or control points\" for an empty\n"
    "    trajectory.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "get_cpts_asarray : The y-coordinates.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 0.5, 1, 1, 1], [0.0, 1.0, 2.0, 3.0], p=2)\n"
    ">>> t.get_xcpts()\n"
    "array([0.  , 0.25, 0.75, 1.  ])\n";

static const char p_doc[] = "Degree of the univariate B-spline that parameterizes the trajectory.\n"
                            "\n"
                            "Read-only int.\n"
                            "\n"
                            "See Also\n"
                            "--------\n"
                            "n : The highest index of the control points.\n"
                            "\n"
                            "Examples\n"
                            "--------\n"
                            ">>> from pykesta import from_arrays\n"
                            ">>> from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2).p\n"
                            "2\n";

static const char n_doc[] = "The highest index of the trajectory parameterization coefficients.\n"
                            "len(cpts) = n + 1\n"
                            "\n"
                            "Read-only int; the knot vector holds n + p + 2 knots.\n"
                            "\n"
                            "See Also\n"
                            "--------\n"
                            "p : The degree.\n"
                            "\n"
                            "Examples\n"
                            "--------\n"
                            ">>> from pykesta import from_arrays\n"
                            ">>> from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2).n\n"
                            "2\n";

static const char order_doc[] =
    "Order of derivation the curve refers to, greater than or equal to zero\n"
    "(0 displacement, 1 velocity, 2 acceleration, 3 jerk, ...).\n"
    "\n"
    "Read-only int.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "derivative, antiderivative : Raise and lower the order.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> t.order, t.derivative().order\n"
    "(0, 1)\n";

static const char start_doc[] =
    "Left end of the curve domain.\n"
    "\n"
    "Read-only float: the first knot, or None for an empty trajectory.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "stop : Right end of the curve domain.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2).start\n"
    "0.0\n";

static const char stop_doc[] = "Right end of the curve domain.\n"
                               "\n"
                               "Read-only float: the last knot, or None for an empty trajectory.\n"
                               "\n"
                               "See Also\n"
                               "--------\n"
                               "start : Left end of the curve domain.\n"
                               "\n"
                               "Examples\n"
                               "--------\n"
                               ">>> from pykesta import from_arrays\n"
                               ">>> from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2).stop\n"
                               "1.0\n";

void add_trajectory_record(TypeParts& parts, Trajectory1dVTable& vtable) {
    PyTypeObject& type = parts.type;
    type.tp_new = trajectory_new;
    type.tp_dealloc = trajectory_dealloc;
    type.tp_str = trajectory_str;
    type.tp_repr = trajectory_repr;
    vtable.base._getAttrib = get_attrib_entry;
    vtable.from_ptrs = from_ptrs_entry;
    vtable.new_struct = new_struct_entry;
    vtable.copy = copy_entry;

    parts.methods.insert(
        parts.methods.end(),
        {
            {"copy", py_copy, METH_NOARGS, copy_doc},
            {"__copy__", py_dunder_copy, METH_NOARGS,
             "__copy__($self, /)\n--\n\nReturn self.copy().\n"},
            {"__deepcopy__", py_dunder_deepcopy, METH_O,
             "__deepcopy__($self, memo, /)\n--\n\nReturn self.copy(); memo is ignored.\n"},
            {"get_knotvector_asarray", py_get_knotvector_asarray, METH_NOARGS, knotvector_view_doc},
            {"get_cpts_asarray", py_get_cpts_asarray, METH_NOARGS, cpts_view_doc},
            {"get_xcpts", py_get_xcpts, METH_NOARGS, xcpts_doc},
            {"_getAttrib", py_get_attrib, METH_NOARGS,
             "_getAttrib($self, /)\n--\n\nReturns the attributes of the object as a dictionary.\n"},
        });
    parts.properties.insert(parts.properties.end(),
                            {
                                {"p", get_p, nullptr, p_doc, nullptr},
                                {"n", get_n, nullptr, n_doc, nullptr},
                                {"order", get_order, nullptr, order_doc, nullptr},
                                {"start", get_start, nullptr, start_doc, nullptr},
                                {"stop", get_stop, nullptr, stop_doc, nullptr},
                            });
}

} // namespace pykesta::curvetypes
