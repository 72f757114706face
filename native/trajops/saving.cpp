// saveallxml: saving a sequence of persistable objects, one savexml each.
#include "trajops/functions.h"

#include "common/argparse.h"
#include "trajops/docstrings.h"

namespace pykesta::trajops {

static Ref id_at(PyObject* ids, Py_ssize_t i) {
    Ref ID;
    if (PyList_CheckExact(ids) || PyTuple_CheckExact(ids)) {
        ID = Ref::borrow(PySequence_Fast_GET_SIZE(ids) > i ? PySequence_Fast_GET_ITEM(ids, i)
                                                           : nullptr);
        if (!ID)
            raise(PyExc_IndexError,
                  PyList_CheckExact(ids) ? "list index out of range" : "tuple index out of range");
    } else {
        Ref index = Ref::steal(PyLong_FromSsize_t(i));
        ID = Ref::steal(PyObject_GetItem(ids, index.get()));
    }
    if (ID.get() != Py_None && !PyUnicode_Check(ID.get()))
        raise_format(PyExc_TypeError, "Expected %.16s, got %.200s", "unicode",
                     Py_TYPE(ID.get())->tp_name);
    return ID;
}

static void save_one(PyObject* obj, Py_ssize_t i, PyObject* fname, PyObject* ids) {
    if (!PyObject_TypeCheck(obj, module_state().api->PyKESTAObject_type))
        raise_format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(obj)->tp_name,
                     module_state().api->PyKESTAObject_type->tp_name);
    Ref ID = id_at(ids, i);
    check_status(persistable_table(obj).savexml(obj, fname, ID.get()));
}

static PyObject* py_saveallxml(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
    return guard_object([&] {
        auto [objects, fname, ids] =
            parse_args(Params<3>{"saveallxml", {"PyKESTAObjectList", "fname", "IDList"}}, args,
                       nargs, kwnames);
        check_arg_type(fname, &PyUnicode_Type, "fname", true);
        if (PyList_CheckExact(objects) || PyTuple_CheckExact(objects)) {
            // The sequence may change under savexml redefinitions: re-read its size each time.
            for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(objects); ++i) {
                Ref obj = Ref::borrow(PySequence_Fast_GET_ITEM(objects, i));
                save_one(obj.get(), i, fname, ids);
            }
        } else {
            Ref iterator = Ref::steal(PyObject_GetIter(objects));
            Py_ssize_t i = 0;
            while (Ref obj = Ref::steal_or_null(PyIter_Next(iterator.get())))
                save_one(obj.get(), i++, fname, ids);
            if (PyErr_Occurred()) throw python_error{};
        }
        return Ref::borrow(Py_None);
    });
}

void add_saving(FunctionList& functions, PyObject*) {
    functions.push_back({"saveallxml", reinterpret_cast<PyCFunction>(py_saveallxml),
                         METH_FASTCALL | METH_KEYWORDS, saveallxml_doc});
}

} // namespace pykesta::trajops
