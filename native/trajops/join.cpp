// Joining trajectories end to end: join and its fold joins.
#include "trajops/functions.h"

#include "common/argparse.h"
#include "common/native_api.h"
#include "trajops/docstrings.h"
#include "trajops/trajops.h"

namespace pykesta::trajops {

static Ref join_native(Trajectory1dObject* a, Trajectory1dObject* b) {
    if (a->p != b->p) raise(PyExc_ValueError, "the input traiectories must have the same order");
    if (a->order != b->order)
        raise(PyExc_ValueError, "the trajectories must have the same 'order'");
    Arrays first = require_arrays(a);
    Arrays second = require_arrays(b);
    int64_t nA = a->n, nB = b->n, p = a->p;
    OwnedArray knots(nA + nB + p + 3);
    OwnedArray cpts(nA + nB + 2);
    module_state().splcjoin(first.U, first.nU, first.P, first.nP, second.U, second.nU, second.P,
                            second.nP, a->p, knots.data(), knots.size(), cpts.data(), cpts.size());
    return adopt_trajectory(std::move(knots), std::move(cpts), a->p,
                            static_cast<int32_t>(nA + nB + 1), a->order);
}

static Trajectory1dObject* join_entry(Trajectory1dObject* a, Trajectory1dObject* b) {
    return trajectory_result(guard_object([&] { return join_native(a, b); }));
}

static PyObject* py_join(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object([&] {
        auto [a, b] = parse_args(Params<2>{"join", {"traj1", "traj2"}}, args, nargs, kwnames);
        check_trajectory(a, "traj1");
        check_trajectory(b, "traj2");
        return join_native(reinterpret_cast<Trajectory1dObject*>(a),
                           reinterpret_cast<Trajectory1dObject*>(b));
    });
}

static void check_foldable(PyObject* obj) {
    if (!PyObject_TypeCheck(obj, module_state().api->Trajectory1d_type))
        raise_format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(obj)->tp_name,
                     module_state().api->Trajectory1d_type->tp_name);
}

static PyObject* py_joins(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object([&] {
        if (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) > 0)
            raise(PyExc_TypeError, "joins() takes no keyword arguments");
        if (nargs == 0) raise(PyExc_ValueError, "at least 1 item required");
        check_foldable(args[0]);
        Ref result = Ref::borrow(args[0]);
        for (Py_ssize_t i = 1; i < nargs; ++i) {
            check_foldable(args[i]);
            result = join_native(reinterpret_cast<Trajectory1dObject*>(result.get()),
                                 reinterpret_cast<Trajectory1dObject*>(args[i]));
        }
        return result;
    });
}

void add_join(FunctionList& functions, PyObject* module) {
    PYKESTA_EXPORT(join);
    constexpr int fastcall = METH_FASTCALL | METH_KEYWORDS;
    functions.insert(functions.end(),
                     {
                         {"join", reinterpret_cast<PyCFunction>(py_join), fastcall, join_doc},
                         {"joins", reinterpret_cast<PyCFunction>(py_joins), fastcall, joins_doc},
                     });
}

} // namespace pykesta::trajops
