// Cutting a trajectory in two at a time (trajsli) and reflecting it in time
// about the end of its domain (mirror).
#include "trajops/functions.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/gil.h"
#include "common/native_api.h"
#include "trajops/docstrings.h"
#include "trajops/trajops.h"

#include <algorithm>
#include <vector>

namespace pykesta::trajops {

static bool compare_attribute(PyObject* obj, const char* name, PyObject* value, int op) {
    Ref bound_value = Ref::steal(PyObject_GetAttrString(obj, name));
    int result = PyObject_RichCompareBool(value, bound_value.get(), op);
    check_status(result);
    return result == 1;
}

static Ref trajsli_native(Trajectory1dObject* traj, double x) {
    auto* obj = reinterpret_cast<PyObject*>(traj);
    Ref value = new_float(x);
    if (compare_attribute(obj, "start", value.get(), Py_LT) ||
        compare_attribute(obj, "stop", value.get(), Py_GT))
        raise_format(PyExc_ValueError, "'x' out of domain: %S", value.get());
    Arrays a = require_arrays(traj);
    int64_t n = traj->n, p = traj->p;
    OwnedArray Uk(n + 2 * p + 3);
    OwnedArray Pk(n + p + 2);
    knotmath::IndexPair pieces = module_state().splcsli(a.U, a.nU, a.P, a.nP, traj->p, x, Uk.data(),
                                                        Uk.size(), Pk.data(), Pk.size());
    int64_t nl = pieces.first, nr = pieces.second;
    if (nl < 0 || nr < 0 || nl + nr + p + 3 > Uk.size() || nl + nr + 2 > Pk.size())
        raise(PyExc_SystemError, "the slicing kernel returned pieces that do not fit its arrays");
    // The right piece is copied out; the left one keeps the leading part of the arrays.
    OwnedArray Ur = OwnedArray::copy_of(Uk.data() + nl + 1, nr + p + 2);
    OwnedArray Pr = OwnedArray::copy_of(Pk.data() + nl + 1, nr + 1);
    Uk.shrink(nl + p + 2);
    Pk.shrink(nl + 1);
    Ref left = adopt_trajectory(std::move(Uk), std::move(Pk), traj->p, static_cast<int32_t>(nl),
                                traj->order);
    Ref right = adopt_trajectory(std::move(Ur), std::move(Pr), traj->p, static_cast<int32_t>(nr),
                                 traj->order);
    return Ref::steal(PyTuple_Pack(2, left.get(), right.get()));
}

// The reflection touches plain arrays only, so it runs without the interpreter lock.
static void reflect(const double* U, const double* P, int32_t n, int32_t p, double* Uh, double* Ph,
                    std::vector<double>& spans) {
    for (int32_t i = 0; i <= n; ++i) Ph[i] = P[n - i];
    for (int32_t i = 0; i <= n - p; ++i) spans[i] = U[p + 1 + i] - U[p + i];
    double stop = U[n + p + 1];
    double far_end = stop + stop - U[0];
    for (int32_t i = 0; i <= p; ++i) {
        Uh[i] = stop;
        Uh[n + p + 1 - i] = far_end;
    }
    for (int32_t k = p + 1; k <= n; ++k) Uh[k] = Uh[k - 1] + spans[n + 1 - k];
}

static Ref mirror_native(Trajectory1dObject* traj) {
    Arrays a = require_arrays(traj);
    int32_t n = traj->n, p = traj->p;
    // Another thread may replace the input's arrays meanwhile: keep these alive.
    Ref knot_storage = Ref::borrow(traj->knot_storage);
    Ref cpts_storage = Ref::borrow(traj->cpts_storage);
    std::vector<double> spans(static_cast<size_t>(std::max(n - p + 1, 0)));
    OwnedArray Uh(a.nU);
    OwnedArray Ph(a.nP);
    run_without_gil_if(true, [&] { reflect(a.U, a.P, n, p, Uh.data(), Ph.data(), spans); });
    return adopt_trajectory(std::move(Uh), std::move(Ph), p, n, traj->order);
}

static PyObject* trajsli_entry(Trajectory1dObject* traj, double x) {
    return guard_object([&] { return trajsli_native(traj, x); });
}

static Trajectory1dObject* mirror_entry(Trajectory1dObject* traj) {
    return trajectory_result(guard_object([&] { return mirror_native(traj); }));
}

static PyObject* py_trajsli(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object([&] {
        auto [traj, x] = parse_args(Params<2>{"trajsli", {"traj", "x"}}, args, nargs, kwnames);
        check_trajectory(traj, "traj");
        return trajsli_native(reinterpret_cast<Trajectory1dObject*>(traj), to_double(x));
    });
}

static PyObject* py_mirror(PyObject*, PyObject* traj) {
    return guard_object([&] {
        check_trajectory(traj, "traj");
        return mirror_native(reinterpret_cast<Trajectory1dObject*>(traj));
    });
}

void add_slicing(FunctionList& functions, PyObject* module) {
    PYKESTA_EXPORT(trajsli);
    PYKESTA_EXPORT(mirror);
    functions.push_back({"trajsli", reinterpret_cast<PyCFunction>(py_trajsli),
                         METH_FASTCALL | METH_KEYWORDS, trajsli_doc});
    functions.push_back({"mirror", py_mirror, METH_O, mirror_doc});
}

} // namespace pykesta::trajops
