// Knot insertion, refinement and removal: new trajectories of the same degree
// and order with a changed knot vector. Insertion keeps the curve exactly,
// removal within a tolerance; the trajectory operated on is only read.
#include "curvetypes/trajectory.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/double_view.h"
#include "curvetypes/module_state.h"
#include "curvetypes/operations.h"
#include "curvetypes/predicates.h"

namespace pykesta::curvetypes {

static constexpr double default_tolerance = 1e-13;

// The ends of the domain belong to it. Comparing with `start` and `stop` may
// run interpreter code (redefined properties), so arrays fetched before this
// test must be fetched again after it.
static void check_knot_in_domain(PyObject* self, double u) {
    if (before_start(self, u) || after_stop(self, u)) {
        Ref value = new_float(u);
        raise_format(PyExc_ValueError, "'u' out of domain: %S", value.get());
    }
}

static void check_count_not_negative(int32_t r) {
    if (r < 0) raise(PyExc_ValueError, "'r' must be non-negative number");
}

// Copies of a trajectory's arrays, with the fields that size them, for the
// removal kernels that work in place.
struct WorkingCopy {
    OwnedArray knots;
    OwnedArray cpts;
    int32_t p;
    uint32_t order;
};

static WorkingCopy working_copy(PyObject* self) {
    Arrays a = require_arrays(self);
    Trajectory1dObject* t = as_trajectory(self);
    return {OwnedArray::copy_of(a.U, a.nU), OwnedArray::copy_of(a.P, a.nP), t->p, t->order};
}

// The trajectory left in the leading entries of the copies after `removed` removals.
static Ref trimmed_result(WorkingCopy& copy, int32_t removed) {
    copy.knots.shrink(int64_t{copy.knots.size()} - removed);
    copy.cpts.shrink(int64_t{copy.cpts.size()} - removed);
    const int32_t n = copy.cpts.size() - 1;
    return new_trajectory(std::move(copy.knots), std::move(copy.cpts), copy.p, n, copy.order);
}

// ---- native operations --------------------------------------------------------------

static Ref knotins_native(PyObject* self, double u, int32_t r) {
    require_arrays(self); // an empty trajectory is refused before the domain test
    check_knot_in_domain(self, u);
    check_count_not_negative(r);
    Trajectory1dObject* t = as_trajectory(self);
    if (r > t->p) raise(PyExc_ValueError, "'r' must be less than or equal to 'p'");
    Arrays a = require_arrays(self);
    OwnedArray knots(int64_t{a.nU} + r);
    OwnedArray cpts(int64_t{a.nP} + r);
    module_state().kernels.splkins(a.U, a.nU, a.P, a.nP, t->p, u, r, knots.data(), knots.size(),
                                   cpts.data(), cpts.size());
    return new_trajectory(std::move(knots), std::move(cpts), t->p, t->n + r, t->order);
}

static Ref knotref_native(PyObject* self, PyObject* X_obj) {
    DoubleView X(X_obj, DoubleView::read_only, 1, true);
    const int32_t r = X.size();
    Arrays a = require_arrays(self);
    OwnedArray knots(int64_t{a.nU} + r);
    OwnedArray cpts(int64_t{a.nP} + r);
    if (!issorted(X.data(), r)) raise(PyExc_ValueError, "'X' must be increasing");
    Trajectory1dObject* t = as_trajectory(self);
    module_state().kernels.splkref(a.U, a.nU, a.P, a.nP, t->p, X.data(), r, knots.data(),
                                   knots.size(), cpts.data(), cpts.size());
    return new_trajectory(std::move(knots), std::move(cpts), t->p, t->n + r, t->order);
}

static Ref knotrem_native(PyObject* self, double u, int32_t r, double tol) {
    WorkingCopy copy = working_copy(self);
    check_knot_in_domain(self, u);
    check_count_not_negative(r);
    int32_t removed =
        module_state().kernels.splkrem(copy.knots.data(), copy.knots.size(), copy.cpts.data(),
                                       copy.cpts.size(), copy.p, u, r, tol);
    return trimmed_result(copy, removed);
}

static Ref knotsrem_native(PyObject* self, double tol) {
    WorkingCopy copy = working_copy(self);
    int32_t removed = module_state().kernels.splksrem(
        copy.knots.data(), copy.knots.size(), copy.cpts.data(), copy.cpts.size(), copy.p, tol);
    return trimmed_result(copy, removed);
}

static Ref knotrem_notol_native(PyObject* self, double u, int32_t r) {
    WorkingCopy copy = working_copy(self);
    check_knot_in_domain(self, u);
    check_count_not_negative(r);
    int32_t removed = module_state().kernels.splkrem_notol(
        copy.knots.data(), copy.knots.size(), copy.cpts.data(), copy.cpts.size(), copy.p, u, r);
    return trimmed_result(copy, removed);
}

// ---- dispatching forms --------------------------------------------------------------

Ref knotins(PyObject* self, double u, int32_t r) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.knotins))
        return expect_trajectory(call(redefined.get(), new_float(u).get(), new_int(r).get()));
    return knotins_native(self, u, r);
}

Ref knotref(PyObject* self, PyObject* X) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.knotref))
        return expect_trajectory(call(redefined.get(), X));
    return knotref_native(self, X);
}

Ref knotrem(PyObject* self, double u, int32_t r, double tol) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.knotrem))
        return expect_trajectory(
            call(redefined.get(), new_float(u).get(), new_int(r).get(), new_float(tol).get()));
    return knotrem_native(self, u, r, tol);
}

Ref knotsrem(PyObject* self, double tol) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.knotsrem))
        return expect_trajectory(call(redefined.get(), new_float(tol).get()));
    return knotsrem_native(self, tol);
}

Ref knotrem_notol(PyObject* self, double u, int32_t r) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.knotrem_notol))
        return expect_trajectory(call(redefined.get(), new_float(u).get(), new_int(r).get()));
    return knotrem_notol_native(self, u, r);
}

// ---- interpreter methods ------------------------------------------------------------

static PyObject* py_knotins(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return guard_object([&] {
        auto [u, r] = parse_args(Params<2>{"knotins", {"u", "r"}}, args, nargs, kwnames);
        double knot = to_double(u);
        return knotins_native(self, knot, to_int32(r));
    });
}

static PyObject* py_knotref(PyObject* self, PyObject* X) {
    return guard_object([&] { return knotref_native(self, X); });
}

static PyObject* py_knotrem(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return guard_object([&] {
        auto [u, r, tol] =
            parse_args(Params<3>{"knotrem", {"u", "r", "tol"}, 2}, args, nargs, kwnames);
        double knot = to_double(u);
        int32_t times = to_int32(r);
        double tolerance = tol ? to_double(tol) : default_tolerance;
        return knotrem_native(self, knot, times, tolerance);
    });
}

static PyObject* py_knotsrem(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    return guard_object([&] {
        auto [tol] = parse_args(Params<1>{"knotsrem", {"tol"}, 0}, args, nargs, kwnames);
        return knotsrem_native(self, tol ? to_double(tol) : default_tolerance);
    });
}

static PyObject* py_knotrem_notol(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
    return guard_object([&] {
        auto [u, r] = parse_args(Params<2>{"knotrem_notol", {"u", "r"}}, args, nargs, kwnames);
        double knot = to_double(u);
        return knotrem_notol_native(self, knot, to_int32(r));
    });
}

// ---- table entries ------------------------------------------------------------------

static PyObject* knotins_entry(PyObject* self, double u, int32_t r) {
    return guard_object([&] { return knotins(self, u, r); });
}
static PyObject* knotref_entry(PyObject* self, PyObject* X) {
    return guard_object([&] { return knotref(self, X); });
}
static PyObject* knotrem_entry(PyObject* self, double u, int32_t r, double tol) {
    return guard_object([&] { return knotrem(self, u, r, tol); });
}
static PyObject* knotsrem_entry(PyObject* self, double tol) {
    return guard_object([&] { return knotsrem(self, tol); });
}
static PyObject* knotrem_notol_entry(PyObject* self, double u, int32_t r) {
    return guard_object([&] { return knotrem_notol(self, u, r); });
}

static const char knotins_doc[] =
    "knotins($self, /, u, r)\n"
    "--\n"
    "\n"
    "Returns a new Trajectory1d object with same shape and the knot 'u'\n"
    "inserted 'r' times.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "u : double\n"
    "    Knot to insert.\n"
    "r : int\n"
    "    Number of times the knot must be inserted.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    A new trajectory with highest index n + r, the same degree, order and\n"
    "    values. self is unchanged.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'u' out of domain: \" followed by u, when u lies outside [start, stop];\n"
    "    \"'r' must be non-negative number\"; \"'r' must be less than or equal to\n"
    "    'p'\"; \"the trajectory holds no knot vector or control points\" for an\n"
    "    empty trajectory.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "knotref : Insertion of several knots at once.\n"
    "knotrem : The inverse operation, under a tolerance.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> s = t.knotins(0.5, 1)\n"
    ">>> s.get_knotvector_asarray()\n"
    "array([0. , 0. , 0. , 0.5, 1. , 1. , 1. ])\n"
    ">>> abs(s(0.25) - t(0.25)) < 1e-12\n"
    "True\n";

static const char knotref_doc[] =
    "knotref($self, X, /)\n"
    "--\n"
    "\n"
    "Returns a new Trajectory1d object with same shape and new knots\n"
    "inserted.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "X : numpy.ndarray of float64 or None\n"
    "    One-dimensional and C-contiguous: the knots to insert, which must be\n"
    "    increasing. None inserts nothing.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    A new trajectory with highest index n + len(X), the same degree, order\n"
    "    and values. self is unchanged.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'X' must be increasing\" when X repeats or decreases; \"the trajectory\n"
    "    holds no knot vector or control points\" for an empty trajectory.\n"
    "    \"Buffer dtype mismatch, expected 'double' but got ...\" for an array of\n"
    "    another element type, such as integers.\n"
    "TypeError\n"
    "    \"a bytes-like object is required, not ...\" for an object that is not an\n"
    "    array, such as a list.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "knotins : Insertion of one knot value.\n"
    "knotsrem : Removal of every removable knot.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import numpy as np\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> s = t.knotref(np.array([0.25, 0.75]))\n"
    ">>> s.n\n"
    "4\n"
    ">>> s.get_knotvector_asarray()\n"
    "array([0.  , 0.  , 0.  , 0.25, 0.75, 1.  , 1.  , 1.  ])\n";

static const char knotrem_doc[] =
    "knotrem($self, /, u, r, tol=1e-13)\n"
    "--\n"
    "\n"
    "Returns a new Trajectory1d object with knot 'u' removed up to 'r' times,\n"
    "as many times as the tolerance allows.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "u : double\n"
    "    Knot to remove.\n"
    "r : int\n"
    "    Largest number of removals.\n"
    "tol : double\n"
    "    Knot removal tolerance. Default is 1e-13.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    A new trajectory with highest index n - t, t the removals made (0 when u\n"
    "    is not a knot). self is unchanged.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'u' out of domain: \" followed by u, when u lies outside [start, stop];\n"
    "    \"'r' must be non-negative number\"; \"the trajectory holds no knot vector\n"
    "    or control points\" for an empty trajectory.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "knotins : The inverse operation.\n"
    "knotrem_notol : Removal without tolerance.\n"
    "knotsrem : Removal of every removable knot.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> s = t.knotins(0.5, 1).knotrem(0.5, 1)\n"
    ">>> s.n\n"
    "2\n"
    ">>> s.get_knotvector_asarray()\n"
    "array([0., 0., 0., 1., 1., 1.])\n";

static const char knotsrem_doc[] =
    "knotsrem($self, /, tol=1e-13)\n"
    "--\n"
    "\n"
    "Returns a new Trajectory1d object with as many knots removed as the\n"
    "tolerance allows.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "tol : double\n"
    "    Knot removal tolerance. Default is 1e-13.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    A new trajectory with highest index n - t, t the removals made; the\n"
    "    same degree and order. self is unchanged.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"the trajectory holds no knot vector or control points\" for an empty\n"
    "    trajectory.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "knotrem : Removal of one knot value.\n"
    "knotref : Insertion of several knots.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "The knot removal tolerance is applied step by step, it is not\n"
    "indicative of the error band at the end of the iteration.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import numpy as np\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> s = t.knotref(np.array([0.25, 0.5, 0.75])).knotsrem()\n"
    ">>> s.n\n"
    "2\n";

static const char knotrem_notol_doc[] =
    "knotrem_notol($self, /, u, r)\n"
    "--\n"
    "\n"
    "Returns a new Trajectory1d object with knot 'u' removed 'r' times\n"
    "without tolerance check.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "u : double\n"
    "    Knot to remove.\n"
    "r : int\n"
    "    Number of removals.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    A new trajectory with highest index n - t, t the removals made; its\n"
    "    shape may differ from that of self, which is unchanged.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'u' out of domain: \" followed by u, when u lies outside [start, stop];\n"
    "    \"'r' must be non-negative number\"; \"the trajectory holds no knot vector\n"
    "    or control points\" for an empty trajectory.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "knotrem : Removal under a tolerance.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 0.5, 1, 1, 1], [0.0, 2.0, 0.0, 1.0], p=2)\n"
    ">>> s = t.knotrem_notol(0.5, 1)\n"
    ">>> s.n\n"
    "2\n"
    ">>> s.get_knotvector_asarray()\n"
    "array([0., 0., 0., 1., 1., 1.])\n";

void add_knot_operations(TypeParts& parts, Trajectory1dVTable& vtable) {
    vtable.knotins = knotins_entry;
    vtable.knotref = knotref_entry;
    vtable.knotrem = knotrem_entry;
    vtable.knotsrem = knotsrem_entry;
    vtable.knotrem_notol = knotrem_notol_entry;
    parts.methods.insert(parts.methods.end(),
                         {
                             {"knotins", reinterpret_cast<PyCFunction>(py_knotins),
                              METH_FASTCALL | METH_KEYWORDS, knotins_doc},
                             {"knotref", py_knotref, METH_O, knotref_doc},
                             {"knotrem", reinterpret_cast<PyCFunction>(py_knotrem),
                              METH_FASTCALL | METH_KEYWORDS, knotrem_doc},
                             {"knotsrem", reinterpret_cast<PyCFunction>(py_knotsrem),
                              METH_FASTCALL | METH_KEYWORDS, knotsrem_doc},
                             {"knotrem_notol", reinterpret_cast<PyCFunction>(py_knotrem_notol),
                              METH_FASTCALL | METH_KEYWORDS, knotrem_notol_doc},
                         });
}

} // namespace pykesta::curvetypes
