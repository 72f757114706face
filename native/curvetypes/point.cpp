// Point1d: the object form of a point constraint (t, val, order): construction,
// properties, copies, text forms, equality, attribute texts and the refusal
// to be pickled.
#include "curvetypes/point.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/dispatch.h"
#include "curvetypes/module_state.h"
#include "curvetypes/types.h"

namespace pykesta::curvetypes {

Point1dVTable point_vtable;

// ---- construction -----------------------------------------------------------------

static PyObject* point_new(PyTypeObject* type, PyObject*, PyObject*) {
    // The allocator zero-fills: t = 0.0, val = 0.0, order = 0.
    return type->tp_alloc(type, 0);
}

Ref new_point() { return Ref::steal(point_new(&Point1d_Type, nullptr, nullptr)); }

static int point_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guard_status([&] {
        auto [t, val, order] =
            parse_tuple_args(Params<3>{"__init__", {"t", "val", "order"}}, args, kwargs);
        // All three are converted before any field changes.
        c_point1d converted{to_double(t), to_double(val), to_uint32(order)};
        as_point(self)->p = converted;
    });
}

// Reads item `index` of `tuple` into the property `name` of `point`.
static void assign_item(PyObject* point, PyObject* name, PyObject* tuple, Py_ssize_t index) {
    if (PyTuple_GET_SIZE(tuple) <= index) raise(PyExc_IndexError, "tuple index out of range");
    check_status(PyObject_SetAttr(point, name, PyTuple_GET_ITEM(tuple, index)));
}

Ref point_from_tuple(PyObject* tuple) {
    check_arg_exact_type(tuple, &PyTuple_Type, "pnt", true);
    Ref point = new_point();
    if (tuple == Py_None) raise(PyExc_TypeError, "'NoneType' object is not subscriptable");
    assign_item(point.get(), module_state().names.t, tuple, 0);
    assign_item(point.get(), module_state().names.val, tuple, 1);
    assign_item(point.get(), module_state().names.order, tuple, 2);
    return point;
}

static PyObject* py_from_tuple(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
    return guard_object([&] {
        auto [pnt] = parse_args(Params<1>{"from_tuple", {"pnt"}}, args, nargs, kwnames);
        return point_from_tuple(pnt);
    });
}

// ---- properties -----------------------------------------------------------------------

[[noreturn]] static void refuse_deletion() { raise(PyExc_NotImplementedError, "__del__"); }

static PyObject* get_t(PyObject* self, void*) { return PyFloat_FromDouble(as_point(self)->p.t); }
static PyObject* get_val(PyObject* self, void*) {
    return PyFloat_FromDouble(as_point(self)->p.val);
}
static PyObject* get_order(PyObject* self, void*) {
    return PyLong_FromUnsignedLong(as_point(self)->p.order);
}

static int set_t(PyObject* self, PyObject* value, void*) {
    return guard_status([&] {
        if (value == nullptr) refuse_deletion();
        as_point(self)->p.t = to_double(value);
    });
}

static int set_val(PyObject* self, PyObject* value, void*) {
    return guard_status([&] {
        if (value == nullptr) refuse_deletion();
        as_point(self)->p.val = to_double(value);
    });
}

static int set_order(PyObject* self, PyObject* value, void*) {
    return guard_status([&] {
        if (value == nullptr) refuse_deletion();
        as_point(self)->p.order = to_uint32(value);
    });
}

// ---- copy ---------------------------------------------------------------------------

// The values come through attribute access, so redefined properties of a
// subclass are copied; the copy itself is always a plain Point1d.
static Ref copy_native(PyObject* self) {
    Ref copied = new_point();
    Ref t = Ref::steal(PyObject_GetAttr(self, module_state().names.t));
    Ref val = Ref::steal(PyObject_GetAttr(self, module_state().names.val));
    Ref order = Ref::steal(PyObject_GetAttr(self, module_state().names.order));
    as_point(copied.get())->p = {to_double(t.get()), to_double(val.get()), to_uint32(order.get())};
    return copied;
}

Ref point_copy(PyObject* self) {
    if (Ref redefined = find_override(self, &Point1d_Type, module_state().names.copy)) {
        Ref result = call(redefined.get());
        if (!PyObject_TypeCheck(result.get(), &Point1d_Type))
            raise_format(PyExc_TypeError, "Cannot convert %.200s to %.200s",
                         Py_TYPE(result.get())->tp_name, Point1d_Type.tp_name);
        return result;
    }
    return copy_native(self);
}

static PyObject* py_copy(PyObject* self, PyObject*) {
    return guard_object([&] { return copy_native(self); });
}

static PyObject* py_dunder_copy(PyObject* self, PyObject*) {
    return guard_object([&] { return point_copy(self); });
}

static PyObject* py_dunder_deepcopy(PyObject* self, PyObject*) {
    return guard_object([&] { return point_copy(self); });
}

static PyObject* copy_entry(PyObject* self) {
    return guard_object([&] { return point_copy(self); });
}

// ---- text forms and attribute texts ---------------------------------------------------

struct AttributeTexts {
    Ref t, val, order;
};

// str() of the three attributes, read through attribute access.
static AttributeTexts attribute_texts(PyObject* self) {
    AttributeTexts texts;
    Ref* slots[] = {&texts.t, &texts.val, &texts.order};
    PyObject* attributes[] = {module_state().names.t, module_state().names.val,
                              module_state().names.order};
    for (int i = 0; i < 3; ++i) {
        Ref value = Ref::steal(PyObject_GetAttr(self, attributes[i]));
        *slots[i] = Ref::steal(PyObject_Str(value.get()));
    }
    return texts;
}

static PyObject* point_str(PyObject* self) {
    return guard_object([&] {
        AttributeTexts texts = attribute_texts(self);
        return Ref::steal(PyUnicode_FromFormat("Point1d(t = %U, val = %U, order = %U)",
                                               texts.t.get(), texts.val.get(), texts.order.get()));
    });
}

static PyObject* point_repr(PyObject* self) {
    return guard_object([&] {
        AttributeTexts texts = attribute_texts(self);
        return Ref::steal(PyUnicode_FromFormat("{'t': %U, 'val': %U, 'order': %U}", texts.t.get(),
                                               texts.val.get(), texts.order.get()));
    });
}

static Ref get_attrib_native(PyObject* self) {
    AttributeTexts texts = attribute_texts(self);
    Ref dict = Ref::steal(PyDict_New());
    check_status(PyDict_SetItem(dict.get(), module_state().names.t, texts.t.get()));
    check_status(PyDict_SetItem(dict.get(), module_state().names.val, texts.val.get()));
    check_status(PyDict_SetItem(dict.get(), module_state().names.order, texts.order.get()));
    return dict;
}

// The XML writer fills element attributes from the result: a redefinition
// must hand back a dict.
static PyObject* get_attrib_entry(PyObject* self) {
    return guard_object([&] {
        if (Ref redefined = find_override(self, &Point1d_Type, module_state().names._getAttrib)) {
            Ref result = call(redefined.get());
            if (!PyDict_Check(result.get()))
                raise_format(PyExc_TypeError, "Expected %.16s, got %.200s", "dict",
                             Py_TYPE(result.get())->tp_name);
            return result;
        }
        return get_attrib_native(self);
    });
}

static PyObject* py_get_attrib(PyObject* self, PyObject*) {
    return guard_object([&] { return get_attrib_native(self); });
}

// ---- equality -------------------------------------------------------------------------

static Ref compare_attribute(PyObject* a, PyObject* b, PyObject* name) {
    Ref left = Ref::steal(PyObject_GetAttr(a, name));
    Ref right = Ref::steal(PyObject_GetAttr(b, name));
    return Ref::steal(PyObject_RichCompare(left.get(), right.get(), Py_EQ));
}

// `a == b`: False unless b is an instance of a's class; then t, val and order
// are compared in turn, the first false answer being returned as it is.
static Ref points_equal(PyObject* a, PyObject* b) {
    int same_class = PyObject_IsInstance(b, reinterpret_cast<PyObject*>(Py_TYPE(a)));
    check_status(same_class);
    if (!same_class) return Ref::borrow(Py_False);
    for (PyObject* name : {module_state().names.t, module_state().names.val}) {
        Ref answer = compare_attribute(a, b, name);
        int truth = PyObject_IsTrue(answer.get());
        check_status(truth);
        if (!truth) return answer;
    }
    return compare_attribute(a, b, module_state().names.order);
}

// `a != b` negates a's own __eq__, so a subclass's equality governs both.
static Ref points_differ(PyObject* a, PyObject* b) {
    Ref equal = call_method(a, module_state().names.__eq__, b);
    int truth = PyObject_IsTrue(equal.get());
    check_status(truth);
    return Ref::borrow(truth ? Py_False : Py_True);
}

static PyObject* point_richcompare(PyObject* a, PyObject* b, int op) {
    return guard_object([&] {
        if (op == Py_EQ) return points_equal(a, b);
        if (op == Py_NE) return points_differ(a, b);
        return Ref::borrow(Py_NotImplemented);
    });
}

// ---- pickling -------------------------------------------------------------------------

[[noreturn]] static void refuse_pickling() {
    raise(PyExc_TypeError, "pickling of the record field self.p has to be requested explicitly");
}

static PyObject* py_reduce(PyObject*, PyObject*) {
    return guard_object([&]() -> Ref { refuse_pickling(); });
}

static PyObject* py_setstate(PyObject*, PyObject*) {
    return guard_object([&]() -> Ref { refuse_pickling(); });
}

// ---- assembly -------------------------------------------------------------------------

static const char from_tuple_doc[] =
    "from_tuple(pnt)\n"
    "--\n"
    "\n"
    "Factory function to create Point1d objects from given tuple.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "pnt : tuple\n"
    "    (t, val, order); items after the third are ignored. Exactly a tuple: a\n"
    "    subclass such as a named tuple is refused.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Point1d\n"
    "    A new plain point holding the three values.\n"
    "\n"
    "Raises\n"
    "------\n"
    "TypeError\n"
    "    \"Argument 'pnt' has incorrect type (expected tuple, got ...)\" for another\n"
    "    type; \"'NoneType' object is not subscriptable\" for None; the conversion\n"
    "    errors of an item without float or integer conversion.\n"
    "OverflowError\n"
    "    \"can't convert negative value to unsigned int\" for a negative order.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "Point1d : The constructor, Point1d(t, val, order).\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta.curvetypes import Point1d\n"
    ">>> print(Point1d.from_tuple((0.5, 2.0, 1)))\n"
    "Point1d(t = 0.5, val = 2.0, order = 1)\n"
    ">>> Point1d.from_tuple([0.5, 2.0, 1])\n"
    "Traceback (most recent call last):\n"
    "    ...\n"
    "TypeError: Argument 'pnt' has incorrect type (expected tuple, got list)\n";

static const char copy_doc[] =
    "copy($self, /)\n"
    "--\n"
    "\n"
    "Return a copy of the object.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Point1d\n"
    "    A new plain Point1d with the values of t, val and order, also for an\n"
    "    instance of a subclass.\n"
    "\n"
    "Raises\n"
    "------\n"
    "TypeError, OverflowError\n"
    "    When a property redefined in a subclass gives a value that does not\n"
    "    convert.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "from_tuple : A point from a tuple.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "copy.copy and copy.deepcopy call this method.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta.curvetypes import Point1d\n"
    ">>> a = Point1d(0.5, 2.0, 1)\n"
    ">>> b = a.copy()\n"
    ">>> b.val = 3.0\n"
    ">>> a == b, a.val\n"
    "(False, 2.0)\n";

static const char t_doc[] = "Time coordinate.\n"
                            "\n"
                            "A float; deleting it raises NotImplementedError \"__del__\".\n"
                            "\n"
                            "See Also\n"
                            "--------\n"
                            "val, order : The other two coordinates.\n"
                            "\n"
                            "Examples\n"
                            "--------\n"
                            ">>> from pykesta.curvetypes import Point1d\n"
                            ">>> pt = Point1d(0, 2.0, 1)\n"
                            ">>> pt.t\n"
                            "0.0\n"
                            ">>> pt.t = 0.25\n"
                            ">>> pt.t\n"
                            "0.25\n";

static const char val_doc[] = "Numeric value.\n"
                              "\n"
                              "A float; deleting it raises NotImplementedError \"__del__\".\n"
                              "\n"
                              "See Also\n"
                              "--------\n"
                              "t, order : The other two coordinates.\n"
                              "\n"
                              "Examples\n"
                              "--------\n"
                              ">>> from pykesta.curvetypes import Point1d\n"
                              ">>> Point1d(0.5, 2, 1).val\n"
                              "2.0\n";

static const char order_doc[] =
    "Order of derivation to which the coordinate refers, greater than or equal\n"
    "to zero (0 displacement, 1 velocity, 2 acceleration, 3 jerk, ...).\n"
    "\n"
    "An int from 0 to 4294967295: assigning a negative value raises\n"
    "OverflowError \"can't convert negative value to unsigned int\" and leaves it\n"
    "unchanged; deleting it raises NotImplementedError \"__del__\".\n"
    "\n"
    "See Also\n"
    "--------\n"
    "t, val : The other two coordinates.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta.curvetypes import Point1d\n"
    ">>> pt = Point1d(0.5, 2.0, 1)\n"
    ">>> pt.order = 2\n"
    ">>> pt.order\n"
    "2\n"
    ">>> pt.order = -1\n"
    "Traceback (most recent call last):\n"
    "    ...\n"
    "OverflowError: can't convert negative value to unsigned int\n";

void add_point(TypeParts& parts, Point1dVTable& vtable) {
    PyTypeObject& type = parts.type;
    type.tp_new = point_new;
    type.tp_init = point_init;
    type.tp_str = point_str;
    type.tp_repr = point_repr;
    type.tp_richcompare = point_richcompare;
    type.tp_hash = PyObject_HashNotImplemented;
    vtable.base._getAttrib = get_attrib_entry;
    vtable.copy = copy_entry;

    parts.methods.insert(
        parts.methods.end(),
        {
            {"from_tuple", reinterpret_cast<PyCFunction>(py_from_tuple),
             METH_FASTCALL | METH_KEYWORDS | METH_STATIC, from_tuple_doc},
            {"copy", py_copy, METH_NOARGS, copy_doc},
            {"__copy__", py_dunder_copy, METH_NOARGS,
             "__copy__($self, /)\n--\n\nReturn self.copy().\n"},
            {"__deepcopy__", py_dunder_deepcopy, METH_O,
             "__deepcopy__($self, memo, /)\n--\n\nReturn self.copy(); memo is ignored.\n"},
            {"_getAttrib", py_get_attrib, METH_NOARGS,
             "_getAttrib($self, /)\n--\n\nReturns the attributes of the object as a dictionary.\n\n"
             "Returns\n-------\ndict\n    The texts of t, val and order, under those keys.\n"},
            {"__reduce__", py_reduce, METH_NOARGS,
             "__reduce__($self, /)\n--\n\nRefused: a point cannot be pickled.\n"},
            {"__setstate__", py_setstate, METH_O,
             "__setstate__($self, state, /)\n--\n\nRefused: a point cannot be pickled.\n"},
        });
    parts.properties.insert(parts.properties.end(),
                            {
                                {"t", get_t, set_t, t_doc, nullptr},
                                {"val", get_val, set_val, val_doc, nullptr},
                                {"order", get_order, set_order, order_doc, nullptr},
                            });
}

} // namespace pykesta::curvetypes
