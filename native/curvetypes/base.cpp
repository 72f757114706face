// PyKESTAObject: the abstract persistable base, its pickling, and the
// reconstructor __unpickle_PyKESTAObject.
#include "curvetypes/base.h"

#include "common/argparse.h"
#include "common/dispatch.h"
#include "curvetypes/module_state.h"
#include "curvetypes/types.h"

namespace pykesta::curvetypes {

PyKESTAObjectVTable base_vtable;

// Checksum of the base's (empty) field list, carried by its pickles.
static constexpr long pickle_checksum = 0xd41d8cd;

[[noreturn]] static void raise_abstract() { raise(PyExc_NotImplementedError, "abstract method"); }

void check_file_args(PyObject* fname, PyObject* ID) {
    check_arg_type(fname, &PyUnicode_Type, "fname", true);
    check_arg_type(ID, &PyUnicode_Type, "ID", true);
}

std::pair<PyObject*, PyObject*> parse_file_args(const char* func, PyObject* const* args,
                                                Py_ssize_t nargs, PyObject* kwnames) {
    auto [fname, ID] = parse_args(Params<2>{func, {"fname", "ID"}}, args, nargs, kwnames);
    check_file_args(fname, ID);
    return {fname, ID};
}

static PyObject* base_new(PyTypeObject* type, PyObject*, PyObject*) {
    return type->tp_alloc(type, 0);
}

static PyObject* base_c_loadxml(PyTypeObject*, PyObject*, PyObject*) { Py_RETURN_NONE; }

static PyObject* base_get_attrib_entry(PyObject* self) {
    return guard_object([&]() -> Ref {
        if (Ref redefined =
                find_override(self, &PyKESTAObject_Type, module_state().names._getAttrib))
            return call(redefined.get());
        raise_abstract();
    });
}

static int base_add_entry(PyObject* self, PyObject* root, PyObject* ID) {
    return guard_status([&] {
        if (Ref redefined =
                find_override(self, &PyKESTAObject_Type, module_state().names._addPyKESTAObject)) {
            call(redefined.get(), root, ID);
            return;
        }
        raise_abstract();
    });
}

static int base_update_entry(PyObject* self, PyObject* tree, PyObject* node, PyObject* ID) {
    return guard_status([&] {
        if (Ref redefined = find_override(self, &PyKESTAObject_Type,
                                          module_state().names._updatePyKESTAObject)) {
            call(redefined.get(), tree, node, ID);
            return;
        }
        raise_abstract();
    });
}

static PyObject* py_loadxml(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object([&]() -> Ref {
        parse_file_args("loadxml", args, nargs, kwnames);
        raise_abstract();
    });
}

static PyObject* py_abstract_noargs(PyObject*, PyObject*) {
    return guard_object([&]() -> Ref { raise_abstract(); });
}

static PyObject* py_add(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object([&]() -> Ref {
        parse_args(Params<2>{"_addPyKESTAObject", {"root", "ID"}}, args, nargs, kwnames);
        raise_abstract();
    });
}

static PyObject* py_update(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object([&]() -> Ref {
        parse_args(Params<3>{"_updatePyKESTAObject", {"tree", "node", "ID"}}, args, nargs, kwnames);
        raise_abstract();
    });
}

// ---- pickling ----------------------------------------------------------------

static void apply_state(PyObject* obj, PyObject* state) {
    if (!PyTuple_Check(state)) {
        if (state == Py_None) raise(PyExc_TypeError, "object of type 'NoneType' has no len()");
        raise_format(PyExc_TypeError, "Expected %.16s, got %.200s", "tuple",
                     Py_TYPE(state)->tp_name);
    }
    if (PyTuple_GET_SIZE(state) < 1) return;
    Ref dict = Ref::steal_or_null(PyObject_GetAttr(obj, module_state().names.__dict__));
    if (!dict) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw python_error{};
        PyErr_Clear();
        return;
    }
    call_method(dict.get(), module_state().names.update, PyTuple_GET_ITEM(state, 0));
}

static PyObject* py_reduce(PyObject* self, PyObject*) {
    return guard_object([&] {
        Ref cls = Ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(self)));
        Ref dict = Ref::steal_or_null(PyObject_GetAttr(self, module_state().names.__dict__));
        if (!dict) {
            if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw python_error{};
            PyErr_Clear();
        }
        if (dict && dict.get() != Py_None) {
            Ref state = Ref::steal(PyTuple_Pack(1, dict.get()));
            return Ref::steal(Py_BuildValue("(O(OlO)O)", module_state().unpickle_function.get(),
                                            cls.get(), pickle_checksum, Py_None, state.get()));
        }
        Ref state = Ref::steal(PyTuple_New(0));
        return Ref::steal(Py_BuildValue("(O(OlO))", module_state().unpickle_function.get(),
                                        cls.get(), pickle_checksum, state.get()));
    });
}

static PyObject* py_setstate(PyObject* self, PyObject* state) {
    return guard_object([&] {
        apply_state(self, state);
        return Ref::borrow(Py_None);
    });
}

static PyObject* py_unpickle(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    return guard_object([&] {
        auto [cls, checksum, state] =
            parse_args(Params<3>{"__unpickle_PyKESTAObject", {"cls", "checksum", "state"}}, args,
                       nargs, kwnames);
        Ref expected = Ref::steal(PyLong_FromLong(pickle_checksum));
        int same = PyObject_RichCompareBool(checksum, expected.get(), Py_EQ);
        check_status(same);
        if (!same) {
            Ref pickle = Ref::steal(PyImport_ImportModule("pickle"));
            Ref error = Ref::steal(PyObject_GetAttrString(pickle.get(), "PickleError"));
            Ref text = Ref::steal(PyObject_Str(checksum));
            PyErr_Format(error.get(), "Incompatible checksums (%U vs 0xd41d8cd = ())", text.get());
            throw python_error{};
        }
        if (!PyType_Check(cls) ||
            !PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(cls), &PyKESTAObject_Type))
            raise_format(PyExc_TypeError, "%.200s is not a subtype of %.200s",
                         Py_TYPE(cls)->tp_name, PyKESTAObject_Type.tp_name);
        auto* type = reinterpret_cast<PyTypeObject*>(cls);
        Ref empty = Ref::steal(PyTuple_New(0));
        Ref obj = Ref::steal(PyKESTAObject_Type.tp_new(type, empty.get(), nullptr));
        if (state != Py_None) apply_state(obj.get(), state);
        return obj;
    });
}

static PyMethodDef unpickle_def = {
    "__unpickle_PyKESTAObject", reinterpret_cast<PyCFunction>(py_unpickle),
    METH_FASTCALL | METH_KEYWORDS, "Rebuilds a pickled PyKESTAObject."};

Ref add_unpickle_function(PyObject* module) {
    Ref module_name = Ref::steal(PyModule_GetNameObject(module));
    Ref function = Ref::steal(PyCFunction_NewEx(&unpickle_def, nullptr, module_name.get()));
    check_status(PyModule_AddObjectRef(module, "__unpickle_PyKESTAObject", function.get()));
    return function;
}

static const char base_loadxml_doc[] =
    "loadxml(fname, ID)\n"
    "--\n"
    "\n"
    "Abstract loader: each persistable class defines its own.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "fname : str\n"
    "    File name; the default extension '.pykesta' is added when it has none.\n"
    "ID : str\n"
    "    Object ID.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "PyKESTAObject\n"
    "    Never for the base class; Point1d.loadxml and Trajectory1d.loadxml\n"
    "    return the loaded object.\n"
    "\n"
    "Raises\n"
    "------\n"
    "NotImplementedError\n"
    "    \"abstract method\", always, after the argument checks.\n"
    "TypeError\n"
    "    \"Argument 'fname' has incorrect type (expected str, got ...)\", and the\n"
    "    same for ID.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "Point1d.loadxml, Trajectory1d.loadxml : The concrete loaders.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta.curvetypes import PyKESTAObject\n"
    ">>> PyKESTAObject.loadxml('moves', 'v1')\n"
    "Traceback (most recent call last):\n"
    "    ...\n"
    "NotImplementedError: abstract method\n";

void add_base(TypeParts& parts, PyKESTAObjectVTable& vtable) {
    parts.type.tp_new = base_new;
    vtable.c_loadxml = base_c_loadxml;
    vtable._getAttrib = base_get_attrib_entry;
    vtable._addPyKESTAObject = base_add_entry;
    vtable._updatePyKESTAObject = base_update_entry;
    parts.methods.insert(
        parts.methods.end(),
        {
            {"loadxml", reinterpret_cast<PyCFunction>(py_loadxml),
             METH_FASTCALL | METH_KEYWORDS | METH_STATIC, base_loadxml_doc},
            {"_getAttrib", py_abstract_noargs, METH_NOARGS,
             "_getAttrib($self, /)\n--\n\nReturns the attributes of the object as a dictionary.\n"},
            {"_addPyKESTAObject", reinterpret_cast<PyCFunction>(py_add),
             METH_FASTCALL | METH_KEYWORDS,
             "_addPyKESTAObject($self, /, root, ID)\n--\n\n"
             "Appends the element of this object to the document root.\n"},
            {"_updatePyKESTAObject", reinterpret_cast<PyCFunction>(py_update),
             METH_FASTCALL | METH_KEYWORDS,
             "_updatePyKESTAObject($self, /, tree, node, ID)\n--\n\n"
             "Rewrites the stored element of this object in place.\n"},
            {"__reduce__", py_reduce, METH_NOARGS,
             "__reduce__($self, /)\n--\n\nHelper for pickle."},
            {"__setstate__", py_setstate, METH_O,
             "__setstate__($self, state, /)\n--\n\nHelper for pickle."},
        });
}

} // namespace pykesta::curvetypes
