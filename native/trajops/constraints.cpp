// Constraint functions: setValueTr and setValueAm on a copy, and setValueSm
// adding a scaled second trajectory; each with a Point1d and a tuple form.
#include "trajops/functions.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/dispatch.h"
#include "common/native_api.h"
#include "trajops/docstrings.h"
#include "trajops/trajops.h"

namespace pykesta::trajops {

using Traj = Trajectory1dObject;
using Point = curvetypes::Point1dObject;
using MethodEntry = int (*)(PyObject* self, PyObject* p);

static PyObject* as_object(void* obj) { return static_cast<PyObject*>(obj); }

// setValueTr / setValueAm: the method of the same form on a copy.
static Ref constrained_copy(Traj* traj, PyObject* p, MethodEntry method) {
    Ref result = owned(trajectory_table().copy(as_object(traj)));
    check_status(method(result.get(), p));
    return result;
}

static Ref attribute(PyObject* obj, const char* name) {
    return Ref::steal(PyObject_GetAttrString(obj, name));
}

// traj1's quantity of derivation order p.order at p.t, evaluated on `tmp`
// (a copy of traj1): the value itself, a derivative or an antiderivative.
static double quantity_at(PyObject* tmp, double t, int32_t nu) {
    const auto& table = trajectory_table();
    double value = 0.0;
    if (nu == 0) {
        check_status(table.peval(tmp, t, &value));
    } else if (nu > 0) {
        check_status(table.dpeval(tmp, t, nu, &value));
    } else {
        if (nu == INT32_MIN) raise(PyExc_OverflowError, "value too large to convert to int");
        Ref integral = owned(table.antiderivative(tmp, -nu));
        check_status(table.peval(integral.get(), t, &value));
    }
    return value;
}

// traj1 + k * traj2, k chosen so that the quantity of order p.order at p.t
// takes p.val; traj2 is scaled in place.
static Ref set_value_sum(Traj* traj1, Traj* traj2, PyObject* p) {
    if (traj1->order != traj2->order)
        raise(PyExc_ValueError, "the trajectories must have the same 'order'");
    Ref point = Ref::borrow(p);
    if (!PyObject_TypeCheck(p, module_state().api->Point1d_type))
        point = call_method(reinterpret_cast<PyObject*>(module_state().api->Point1d_type),
                            Ref::steal(PyUnicode_FromString("from_tuple")).get(), p);
    Ref order = attribute(point.get(), "order");
    Ref own_order = new_uint(traj1->order);
    Ref difference = Ref::steal(PyNumber_Subtract(order.get(), own_order.get()));
    int32_t nu = to_int32(difference.get());
    Ref tmp = owned(trajectory_table().copy(as_object(traj1)));
    Ref t = attribute(point.get(), "t");
    double v = quantity_at(tmp.get(), to_double(t.get()), nu);
    Ref val = attribute(point.get(), "val");
    Ref d = Ref::steal(PyNumber_Subtract(val.get(), new_float(v).get()));
    Ref d_value = new_float(to_double(d.get()));
    Ref q = Ref::steal(
        PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(module_state().api->Point1d_type),
                                     t.get(), d_value.get(), order.get(), nullptr));
    check_status(trajectory_table().setValueAm_point(as_object(traj2), q.get()));
    return owned(trajectory_table().c_splcsum(tmp.get(), as_object(traj2)));
}

// ---- native entries ---------------------------------------------------------------

static Traj* setValueTr_point_entry(Traj* traj, Point* p) {
    return trajectory_result(guard_object(
        [&] { return constrained_copy(traj, as_object(p), trajectory_table().setValueTr_point); }));
}
static Traj* setValueTr_tuple_entry(Traj* traj, PyObject* p) {
    return trajectory_result(guard_object(
        [&] { return constrained_copy(traj, p, trajectory_table().setValueTr_tuple); }));
}
static Traj* setValueAm_point_entry(Traj* traj, Point* p) {
    return trajectory_result(guard_object(
        [&] { return constrained_copy(traj, as_object(p), trajectory_table().setValueAm_point); }));
}
static Traj* setValueAm_tuple_entry(Traj* traj, PyObject* p) {
    return trajectory_result(guard_object(
        [&] { return constrained_copy(traj, p, trajectory_table().setValueAm_tuple); }));
}
static Traj* setValueSm_point_entry(Traj* traj1, Traj* traj2, Point* p) {
    return trajectory_result(
        guard_object([&] { return set_value_sum(traj1, traj2, as_object(p)); }));
}
static Traj* setValueSm_tuple_entry(Traj* traj1, Traj* traj2, PyObject* p) {
    return trajectory_result(guard_object([&] { return set_value_sum(traj1, traj2, p); }));
}

// ---- interpreter functions: choosing the form from the constraint ----------------------

enum class Form { point, tuple };

// The constraint is the positional argument after the trajectories, or else keyword `p`.
static Form choose_form(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                        Py_ssize_t trajectories) {
    PyObject* p = nullptr;
    if (nargs > trajectories) {
        p = args[trajectories];
    } else if (kwnames != nullptr) {
        for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(kwnames); ++k)
            if (PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(kwnames, k), "p") == 0)
                p = args[nargs + k];
    }
    if (p == nullptr)
        raise_format(PyExc_TypeError, "Expected at least %d argument%s, got %d",
                     static_cast<int>(trajectories + 1), "s", static_cast<int>(nargs));
    if (PyObject_TypeCheck(p, module_state().api->Point1d_type)) return Form::point;
    if (PyTuple_Check(p)) return Form::tuple;
    raise(PyExc_TypeError, "No matching signature found");
}

static void check_constraint(PyObject* p, Form form) {
    if (form == Form::point)
        check_arg_type(p, module_state().api->Point1d_type, "p", false);
    else
        check_arg_exact_type(p, &PyTuple_Type, "p", false);
}

static Ref set_value_function(const char* func, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames, MethodEntry point_form, MethodEntry tuple_form) {
    Form form = choose_form(args, nargs, kwnames, 1);
    auto [traj, p] = parse_args(Params<2>{func, {"traj", "p"}}, args, nargs, kwnames);
    check_trajectory(traj, "traj");
    check_constraint(p, form);
    return constrained_copy(reinterpret_cast<Traj*>(traj), p,
                            form == Form::point ? point_form : tuple_form);
}

static PyObject* py_setValueTr(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
    return guard_object([&] {
        return set_value_function("setValueTr", args, nargs, kwnames,
                                  trajectory_table().setValueTr_point,
                                  trajectory_table().setValueTr_tuple);
    });
}

static PyObject* py_setValueAm(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
    return guard_object([&] {
        return set_value_function("setValueAm", args, nargs, kwnames,
                                  trajectory_table().setValueAm_point,
                                  trajectory_table().setValueAm_tuple);
    });
}

static PyObject* py_setValueSm(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
    return guard_object([&] {
        Form form = choose_form(args, nargs, kwnames, 2);
        auto [traj1, traj2, p] =
            parse_args(Params<3>{"setValueSm", {"traj1", "traj2", "p"}}, args, nargs, kwnames);
        check_trajectory(traj1, "traj1");
        check_trajectory(traj2, "traj2");
        check_constraint(p, form);
        return set_value_sum(reinterpret_cast<Traj*>(traj1), reinterpret_cast<Traj*>(traj2), p);
    });
}

void add_constraints(FunctionList& functions, PyObject* module) {
    PYKESTA_EXPORT(setValueTr_point);
    PYKESTA_EXPORT(setValueTr_tuple);
    PYKESTA_EXPORT(setValueAm_point);
    PYKESTA_EXPORT(setValueAm_tuple);
    PYKESTA_EXPORT(setValueSm_point);
    PYKESTA_EXPORT(setValueSm_tuple);
    constexpr int fastcall = METH_FASTCALL | METH_KEYWORDS;
    functions.insert(
        functions.end(),
        {
            {"setValueTr", reinterpret_cast<PyCFunction>(py_setValueTr), fastcall, setValueTr_doc},
            {"setValueAm", reinterpret_cast<PyCFunction>(py_setValueAm), fastcall, setValueAm_doc},
            {"setValueSm", reinterpret_cast<PyCFunction>(py_setValueSm), fastcall, setValueSm_doc},
        });
}

} // namespace pykesta::trajops
