// Function forms of trajectory methods: each works on a copy (or builds a new
// trajectory) and leaves its argument unchanged; and savexml.
#include "trajops/functions.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/native_api.h"
#include "trajops/docstrings.h"
#include "trajops/trajops.h"

namespace pykesta::trajops {

using Traj = Trajectory1dObject;

static PyObject* as_object(Traj* t) { return reinterpret_cast<PyObject*>(t); }

static Ref copy_of(Traj* traj) { return owned(trajectory_table().copy(as_object(traj))); }

// The primitives c_shift/c_hscale are applied directly, so redefinitions of
// rshift/hscale are not used; ashift/adapt go through the overridable entries.
static Ref rshift_native(Traj* traj, double x) {
    Ref c = copy_of(traj);
    check_status(trajectory_table().c_shift(c.get(), x));
    return c;
}

static Ref ashift_native(Traj* traj, double x) {
    Ref c = copy_of(traj);
    check_status(trajectory_table().ashift(c.get(), x));
    return c;
}

static Ref hscale_native(Traj* traj, double x) {
    Ref c = copy_of(traj);
    check_status(trajectory_table().c_hscale(c.get(), x));
    return c;
}

static Ref adapt_native(Traj* traj, double start, double stop) {
    Ref c = copy_of(traj);
    check_status(trajectory_table().adapt(c.get(), start, stop));
    return c;
}

static Ref derivative_native(Traj* traj, int32_t nu) {
    return owned(trajectory_table().derivative(as_object(traj), nu));
}

static Ref antiderivative_native(Traj* traj, int32_t nu) {
    return owned(trajectory_table().antiderivative(as_object(traj), nu));
}

static Ref add_native(Traj* a, Traj* b) {
    return owned(trajectory_table().c_splcsum(as_object(a), as_object(b)));
}

static void savexml_native(PyObject* obj, PyObject* fname, PyObject* ID) {
    check_status(persistable_table(obj).savexml(obj, fname, ID));
}

// ---- native entries -------------------------------------------------------------

static Traj* rshift_entry(Traj* t, double x) {
    return trajectory_result(guard_object([&] { return rshift_native(t, x); }));
}
static Traj* ashift_entry(Traj* t, double x) {
    return trajectory_result(guard_object([&] { return ashift_native(t, x); }));
}
static Traj* hscale_entry(Traj* t, double x) {
    return trajectory_result(guard_object([&] { return hscale_native(t, x); }));
}
static Traj* adapt_entry(Traj* t, double start, double stop) {
    return trajectory_result(guard_object([&] { return adapt_native(t, start, stop); }));
}
static Traj* derivative_entry(Traj* t, int32_t nu) {
    return trajectory_result(guard_object([&] { return derivative_native(t, nu); }));
}
static Traj* antiderivative_entry(Traj* t, int32_t nu) {
    return trajectory_result(guard_object([&] { return antiderivative_native(t, nu); }));
}
static Traj* add_entry(Traj* a, Traj* b) {
    return trajectory_result(guard_object([&] { return add_native(a, b); }));
}
static void savexml_entry(curvetypes::PyKESTAObjectObject* obj, PyObject* fname, PyObject* ID) {
    guard_status([&] { savexml_native(reinterpret_cast<PyObject*>(obj), fname, ID); });
}

// ---- interpreter functions -----------------------------------------------------------

static Traj* trajectory_arg(PyObject* obj, const char* name) {
    check_trajectory(obj, name);
    return reinterpret_cast<Traj*>(obj);
}

template <Ref (*operation)(Traj*, double)>
static PyObject* py_unary_double(const char* func, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
    return guard_object([&] {
        auto [traj, x] = parse_args(Params<2>{func, {"traj", "x"}}, args, nargs, kwnames);
        Traj* t = trajectory_arg(traj, "traj");
        return operation(t, to_double(x));
    });
}

static PyObject* py_rshift(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return py_unary_double<rshift_native>("rshift", args, nargs, kw);
}
static PyObject* py_ashift(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return py_unary_double<ashift_native>("ashift", args, nargs, kw);
}
static PyObject* py_hscale(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return py_unary_double<hscale_native>("hscale", args, nargs, kw);
}

static PyObject* py_adapt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        auto [traj, start, stop] =
            parse_args(Params<3>{"adapt", {"traj", "start", "stop"}}, args, nargs, kw);
        Traj* t = trajectory_arg(traj, "traj");
        double start_value = to_double(start);
        return adapt_native(t, start_value, to_double(stop));
    });
}

template <Ref (*operation)(Traj*, int32_t)>
static PyObject* py_calculus(const char* func, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    return guard_object([&] {
        auto [traj, nu] = parse_args(Params<2>{func, {"traj", "nu"}, 1}, args, nargs, kwnames);
        Traj* t = trajectory_arg(traj, "traj");
        return operation(t, nu ? to_int32(nu) : 1);
    });
}

static PyObject* py_derivative(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return py_calculus<derivative_native>("derivative", args, nargs, kw);
}
static PyObject* py_antiderivative(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kw) {
    return py_calculus<antiderivative_native>("antiderivative", args, nargs, kw);
}

static PyObject* py_add(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        auto [a, b] = parse_args(Params<2>{"add", {"traj1", "traj2"}}, args, nargs, kw);
        Traj* first = trajectory_arg(a, "traj1");
        return add_native(first, trajectory_arg(b, "traj2"));
    });
}

static PyObject* py_savexml(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        auto [obj, fname, ID] =
            parse_args(Params<3>{"savexml", {"obj", "fname", "ID"}}, args, nargs, kw);
        check_arg_type(obj, module_state().api->PyKESTAObject_type, "obj", false);
        check_arg_type(fname, &PyUnicode_Type, "fname", true);
        check_arg_type(ID, &PyUnicode_Type, "ID", true);
        savexml_native(obj, fname, ID);
        return Ref::borrow(Py_None);
    });
}

void add_thin_functions(FunctionList& functions, PyObject* module) {
    PYKESTA_EXPORT(add);
    PYKESTA_EXPORT(rshift);
    PYKESTA_EXPORT(ashift);
    PYKESTA_EXPORT(hscale);
    PYKESTA_EXPORT(adapt);
    PYKESTA_EXPORT(derivative);
    PYKESTA_EXPORT(antiderivative);
    PYKESTA_EXPORT(savexml);
    constexpr int fastcall = METH_FASTCALL | METH_KEYWORDS;
    functions.insert(
        functions.end(),
        {
            {"add", reinterpret_cast<PyCFunction>(py_add), fastcall, add_doc},
            {"rshift", reinterpret_cast<PyCFunction>(py_rshift), fastcall, rshift_doc},
            {"ashift", reinterpret_cast<PyCFunction>(py_ashift), fastcall, ashift_doc},
            {"hscale", reinterpret_cast<PyCFunction>(py_hscale), fastcall, hscale_doc},
            {"adapt", reinterpret_cast<PyCFunction>(py_adapt), fastcall, adapt_doc},
            {"derivative", reinterpret_cast<PyCFunction>(py_derivative), fastcall, derivative_doc},
            {"antiderivative", reinterpret_cast<PyCFunction>(py_antiderivative), fastcall,
             antiderivative_doc},
            {"savexml", reinterpret_cast<PyCFunction>(py_savexml), fastcall, savexml_doc},
        });
}

} // namespace pykesta::trajops
