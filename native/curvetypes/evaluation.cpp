// Evaluation of a trajectory and its derivatives at one point (peval,
// dpeval), over an increasing array in place (ceval, dceval), and through the
// call operator for any scalar or array-like input.
#include "curvetypes/numpy_api.h"

#include "curvetypes/trajectory.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/double_view.h"
#include "common/gil.h"
#include "common/radix_sort.h"
#include "curvetypes/module_state.h"
#include "curvetypes/predicates.h"

#include <algorithm>
#include <memory>

namespace pykesta::curvetypes {

[[noreturn]] static void raise_negative_nu() {
    raise(PyExc_ValueError, "'nu' must be non-negative number");
}

static void check_point_in_domain(PyObject* self, double x) {
    if (before_start(self, x) || after_stop(self, x)) {
        Ref value = new_float(x);
        raise_format(PyExc_ValueError, "'x' out of domain: %S", value.get());
    }
}

// From this many points on, the kernels run without the interpreter lock, so
// that other threads (evaluating other arrays, say) can run meanwhile; the
// buffer export keeps the points in place.
constexpr int32_t unlocked_evaluation_points = 16384;

// The checks that ceval and dceval share, in their order. The scan for order
// takes about as long as the evaluation itself, so it runs without the lock too.
static void check_points(PyObject* self, const double* xp, int32_t m) {
    if (m == 0) raise(PyExc_ValueError, "zero size arrays are not allowed");
    bool sorted = false;
    run_without_gil_if(m >= unlocked_evaluation_points, [&] { sorted = issorted(xp, m); });
    if (!sorted) raise(PyExc_ValueError, "'xp' must be increasing");
    if (before_start(self, xp[0]) || after_stop(self, xp[m - 1]))
        raise(PyExc_ValueError, "domain error");
}

// ---- native operations ----------------------------------------------------------

// The arrays, the degree, and references to the storage holders: the domain
// tests may run interpreter code (redefined start/stop) that replaces the
// arrays, and large evaluations run without the interpreter lock; either way
// the kernel reads storage that stays alive and consistent with the degree.
struct HeldArrays {
    Arrays arrays;
    int32_t p;
    Ref knot_storage;
    Ref cpts_storage;
};

static HeldArrays hold_arrays(PyObject* self) {
    Arrays arrays = require_arrays(self);
    Trajectory1dObject* t = as_trajectory(self);
    return {arrays, t->p, Ref::borrow(t->knot_storage), Ref::borrow(t->cpts_storage)};
}

static double peval_native(PyObject* self, double x) {
    require_arrays(self);
    check_point_in_domain(self, x);
    // Read after the domain test, which may run interpreter code (redefined
    // start/stop) that replaces the arrays; nothing runs between here and the kernel.
    Arrays a = require_arrays(self);
    return module_state().kernels.splpev(x, a.U, a.nU, a.P, a.nP, as_trajectory(self)->p);
}

static double dpeval_native(PyObject* self, double x, int32_t nu) {
    if (nu < -1) {
        // The derivative table would have a negative length: numpy's own error.
        npy_intp length = npy_intp{nu} + 1;
        Ref never = Ref::steal(PyArray_SimpleNew(1, &length, NPY_DOUBLE));
    }
    require_arrays(self);
    check_point_in_domain(self, x);
    if (nu < 0) raise_negative_nu();
    int32_t p = as_trajectory(self)->p;
    if (nu > p) return 0.0; // every derivative above the degree vanishes
    double derivatives[64];
    std::unique_ptr<double[]> large;
    double* D = derivatives;
    if (nu >= 64) D = (large = std::make_unique<double[]>(nu + 1)).get();
    // Read after the domain test (see peval_native).
    Arrays a = require_arrays(self);
    module_state().kernels.dsplpev(x, a.U, a.nU, a.P, a.nP, p, nu, D, nu + 1);
    return D[nu];
}

static void ceval_native(PyObject* self, PyObject* xp_obj) {
    HeldArrays held = hold_arrays(self);
    const Arrays& a = held.arrays;
    DoubleView xp(xp_obj, DoubleView::writable, 1, true);
    int32_t m = xp.size();
    check_points(self, xp.data(), m);
    int32_t p = held.p;
    run_without_gil_if(m >= unlocked_evaluation_points, [&] {
        module_state().kernels.splcev(xp.data(), m, a.U, a.nU, a.P, a.nP, p);
    });
}

static void dceval_native(PyObject* self, PyObject* xp_obj, int32_t nu) {
    HeldArrays held = hold_arrays(self);
    const Arrays& a = held.arrays;
    DoubleView xp(xp_obj, DoubleView::writable, 1, true);
    int32_t m = xp.size();
    check_points(self, xp.data(), m);
    if (nu < 0) raise_negative_nu();
    int32_t p = held.p;
    // One order: the kernel writes the derivatives over the points themselves.
    run_without_gil_if(m >= unlocked_evaluation_points, [&] {
        module_state().kernels.dsplcev(xp.data(), m, a.U, a.nU, a.P, a.nP, p, nu, nu, xp.data(), 1,
                                       m);
    });
}

// ---- dispatching forms -----------------------------------------------------------

double peval(PyObject* self, double x) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.peval))
        return to_double(call(redefined.get(), new_float(x).get()).get());
    return peval_native(self, x);
}

double dpeval(PyObject* self, double x, int32_t nu) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.dpeval))
        return to_double(call(redefined.get(), new_float(x).get(), new_int(nu).get()).get());
    return dpeval_native(self, x, nu);
}

void ceval(PyObject* self, PyObject* xp) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.ceval)) {
        call(redefined.get(), xp);
        return;
    }
    ceval_native(self, xp);
}

void dceval(PyObject* self, PyObject* xp, int32_t nu) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.dceval)) {
        call(redefined.get(), xp, new_int(nu).get());
        return;
    }
    dceval_native(self, xp, nu);
}

// ---- the call operator -------------------------------------------------------------

static bool is_scalar(PyObject* x) {
    if (PyFloat_Check(x) || PyLong_Check(x)) return true;
    Ref isscalar = Ref::steal(PyObject_GetAttrString(module_state().np.get(), "isscalar"));
    Ref answer = call(isscalar.get(), x);
    int truth = PyObject_IsTrue(answer.get());
    check_status(truth);
    return truth != 0;
}

// A fresh one-dimensional, C-contiguous float64 copy of `x`, as
// numpy.array(x, copy=True, ndmin=1) then ascontiguousarray(ravel, float64):
// the caller's object is never written.
static Ref points_copy(PyObject* x) {
    if (PyArray_CheckExact(x)) {
        auto* a = reinterpret_cast<PyArrayObject*>(x);
        if (PyArray_NDIM(a) == 1 && PyArray_TYPE(a) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(a))
            return Ref::steal(PyArray_NewCopy(a, NPY_CORDER));
    }
    Ref array_function = Ref::steal(PyObject_GetAttrString(module_state().np.get(), "array"));
    Ref kwargs = Ref::steal(Py_BuildValue("{sOsi}", "copy", Py_True, "ndmin", 1));
    Ref args = Ref::steal(PyTuple_Pack(1, x));
    Ref array = Ref::steal(PyObject_Call(array_function.get(), args.get(), kwargs.get()));
    if (!PyArray_Check(array.get()) ||
        PyArray_NDIM(reinterpret_cast<PyArrayObject*>(array.get())) > 1)
        raise(PyExc_ValueError, "'x' must be one-dimensional");
    // Any cast, as ascontiguousarray: longdouble, objects holding numbers, other byte orders.
    return Ref::steal(PyArray_FromAny(array.get(), PyArray_DescrFromType(NPY_DOUBLE), 1, 1,
                                      NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED |
                                          NPY_ARRAY_NOTSWAPPED | NPY_ARRAY_FORCECAST,
                                      nullptr));
}

static Ref new_vector(npy_intp m, int type) { return Ref::steal(PyArray_SimpleNew(1, &m, type)); }

template <class T> static T* data_of(const Ref& array) {
    return static_cast<T*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
}

static Ref evaluate_array(PyObject* self, PyObject* x, int32_t nu) {
    // Our own copy: it takes the results back in the caller's order at the end.
    Ref points = points_copy(x);
    const npy_intp m = PyArray_SIZE(reinterpret_cast<PyArrayObject*>(points.get()));
    Ref sorted; // the points in increasing order, when they needed sorting
    Ref order;  // with where each came from
    if (!issorted(data_of<double>(points), m)) {
        if (m > INT32_MAX) raise(PyExc_ValueError, "array too large");
        sorted = new_vector(m, NPY_DOUBLE);
        order = new_vector(m, NPY_UINT64);
        Ref work = new_vector(m, NPY_UINT64);
        run_without_gil_if(m >= unlocked_evaluation_points, [&] {
            sort_with_order(data_of<double>(points), static_cast<uint32_t>(m),
                            data_of<double>(sorted), data_of<uint64_t>(order),
                            data_of<uint64_t>(work));
        });
    }
    if (nu < 0) raise_negative_nu();
    const Ref& evaluated = sorted ? sorted : points;
    // A redefined ceval or dceval gets the array itself and may resize it: the
    // results are read from it only while it still holds the m points handed over.
    auto* array = reinterpret_cast<PyArrayObject*>(evaluated.get());
    const void* data = PyArray_DATA(array);
    if (nu == 0)
        ceval(self, evaluated.get());
    else
        dceval(self, evaluated.get(), nu);
    if (PyArray_SIZE(array) != m || PyArray_DATA(array) != data)
        raise_format(PyExc_ValueError,
                     "the redefined %s changed the size of the array it was given",
                     nu == 0 ? "ceval" : "dceval");
    if (sorted) {
        run_without_gil_if(m >= unlocked_evaluation_points, [&] {
            restore_order(data_of<double>(sorted), data_of<uint64_t>(order),
                          static_cast<uint32_t>(m), data_of<double>(points));
        });
    }
    return points;
}

static PyObject* trajectory_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guard_object([&]() -> Ref {
        auto [x, nu_obj] = parse_tuple_args(Params<2>{"__call__", {"x", "nu"}, 1}, args, kwargs);
        int32_t nu = nu_obj ? to_int32(nu_obj) : 0;
        if (is_scalar(x)) {
            double value = to_double(x);
            if (nu == 0) return new_float(peval(self, value));
            if (nu < 0) raise_negative_nu();
            return new_float(dpeval(self, value, nu));
        }
        return evaluate_array(self, x, nu);
    });
}

// ---- interpreter methods --------------------------------------------------------------

static PyObject* py_peval(PyObject* self, PyObject* x) {
    return guard_object([&] { return new_float(peval_native(self, to_double(x))); });
}

static PyObject* py_dpeval(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    return guard_object([&] {
        auto [x, nu] = parse_args(Params<2>{"dpeval", {"x", "nu"}, 1}, args, nargs, kwnames);
        double value = to_double(x);
        return new_float(dpeval_native(self, value, nu ? to_int32(nu) : 1));
    });
}

static PyObject* py_ceval(PyObject* self, PyObject* xp) {
    return guard_object([&] {
        ceval_native(self, xp);
        return Ref::borrow(Py_None);
    });
}

static PyObject* py_dceval(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    return guard_object([&] {
        auto [xp, nu] = parse_args(Params<2>{"dceval", {"xp", "nu"}, 1}, args, nargs, kwnames);
        int32_t order = nu ? to_int32(nu) : 1;
        dceval_native(self, xp, order);
        return Ref::borrow(Py_None);
    });
}

// ---- table entries -------------------------------------------------------------------------

static int peval_entry(PyObject* self, double x, double* result) {
    return guard_status([&] { *result = peval(self, x); });
}
static int ceval_entry(PyObject* self, PyObject* xp) {
    return guard_status([&] { ceval(self, xp); });
}
static int dpeval_entry(PyObject* self, double x, int32_t nu, double* result) {
    return guard_status([&] { *result = dpeval(self, x, nu); });
}
static int dceval_entry(PyObject* self, PyObject* xp, int32_t nu) {
    return guard_status([&] { dceval(self, xp, nu); });
}

static const char peval_doc[] =
    "peval($self, x, /)\n"
    "--\n"
    "\n"
    "Evaluates the trajectory.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : double\n"
    "    Point in the domain [start, stop], ends included.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "float\n"
    "    The value at x.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'x' out of domain: \" followed by x, when x lies outside [start, stop];\n"
    "    \"the trajectory holds no knot vector or control points\" for an empty\n"
    "    trajectory.\n"
    "TypeError\n"
    "    When x has no float conversion.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "dpeval : Derivative at one point.\n"
    "ceval : Values over an increasing array, in place.\n"
    "__call__ : Values or derivatives at a scalar or at points in any order.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> t.peval(0.5)\n"
    "1.25\n"
    ">>> t.peval(2.0)\n"
    "Traceback (most recent call last):\n"
    "    ...\n"
    "ValueError: 'x' out of domain: 2.0\n";

static const char ceval_doc[] =
    "ceval($self, xp, /)\n"
    "--\n"
    "\n"
    "Evaluates the trajectory in a set of data points. The array 'xp' is\n"
    "        overwritten with the resultes.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "xp : numpy.ndarray of float64\n"
    "    One-dimensional, C-contiguous and writeable; points in the domain, must be\n"
    "    increasing.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "None\n"
    "    The values are written over xp.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"zero size arrays are not allowed\" for an empty xp, \"'xp' must be\n"
    "    increasing\" unless its points strictly increase, \"domain error\" when its\n"
    "    first or last point lies outside [start, stop]. xp is unchanged then.\n"
    "ValueError\n"
    "    \"Buffer dtype mismatch, expected 'double' but got ...\" or \"Buffer has\n"
    "    wrong number of dimensions (expected 1, got ...)\" for an array of another\n"
    "    kind.\n"
    "TypeError\n"
    "    \"a bytes-like object is required, not ...\" for an object that is not an\n"
    "    array, such as a list.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "peval : Value at one point.\n"
    "dceval : Derivatives over an increasing array, in place.\n"
    "__call__ : Values at points in any order, into a new array.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import numpy as np\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> xp = np.array([0.0, 0.5, 1.0])\n"
    ">>> t.ceval(xp)\n"
    ">>> xp\n"
    "array([0.  , 1.25, 3.  ])\n";

static const char dpeval_doc[] =
    "dpeval($self, /, x, nu=1)\n"
    "--\n"
    "\n"
    "Evaluates the derivative of the trajectory.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : double\n"
    "    Point in the domain [start, stop], ends included.\n"
    "nu : int\n"
    "    Derivative order. Must be non-negative number. Default is 1.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "float\n"
    "    The derivative of order nu at x: the value itself for nu = 0, 0.0 above\n"
    "    the degree p.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'x' out of domain: \" followed by x, when x lies outside [start, stop];\n"
    "    \"'nu' must be non-negative number\" for a negative nu.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "peval : Value at one point.\n"
    "dceval : Derivatives over an increasing array, in place.\n"
    "derivative : The derivative as a trajectory of its own.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> t.dpeval(0.5)\n"
    "3.0\n"
    ">>> t.dpeval(0.5, nu=2)\n"
    "2.0\n"
    ">>> t.dpeval(0.5, 3)\n"
    "0.0\n";

static const char dceval_doc[] =
    "dceval($self, /, xp, nu=1)\n"
    "--\n"
    "\n"
    "Evaluates the derivative of a set of data points. The array 'xp' is\n"
    "        overwritten with the resultes.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "xp : numpy.ndarray of float64\n"
    "    One-dimensional, C-contiguous and writeable; points in the domain, must be\n"
    "    increasing.\n"
    "nu : int\n"
    "    Derivative order. Must be non-negative number. Default is 1.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "None\n"
    "    The derivatives are written over xp.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"zero size arrays are not allowed\", \"'xp' must be increasing\" and\n"
    "    \"domain error\" as for ceval; \"'nu' must be non-negative number\" for a\n"
    "    negative nu. xp is unchanged then. The buffer errors of ceval for an\n"
    "    array of another kind.\n"
    "TypeError\n"
    "    As for ceval, for an object that is not an array.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "ceval : Values over an increasing array, in place.\n"
    "dpeval : Derivative at one point.\n"
    "derivative : The derivative as a trajectory of its own.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "For a large number of points it might be more efficient to use the\n"
    "        'self.derivative' and 'self.ceval' functions.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import numpy as np\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> xp = np.array([0.0, 0.5, 1.0])\n"
    ">>> t.dceval(xp)\n"
    ">>> xp\n"
    "array([2., 3., 4.])\n";

static const char call_doc[] =
    "__call__($self, /, x, nu=0)\n"
    "--\n"
    "\n"
    "Evaluates the trajectory or its dervative.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : double or array_like\n"
    "    Points to evaluate at, in any order; array_like input must be\n"
    "    one-dimensional (a scalar array counts as one point).\n"
    "nu : int\n"
    "    Derivative order. Default is 0.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "float or numpy.ndarray\n"
    "    A float for a scalar x, otherwise a new one-dimensional float64 array\n"
    "    whose values stand in the order of x. x itself is never written.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'x' must be one-dimensional\", \"'nu' must be non-negative number\", and\n"
    "    the errors of peval, dpeval, ceval and dceval: \"'x' out of domain: ...\",\n"
    "    \"domain error\", \"zero size arrays are not allowed\", and \"'xp' must be\n"
    "    increasing\" when x repeats a point.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "peval, dpeval : Evaluation at one point.\n"
    "ceval, dceval : Evaluation over an increasing array, in place.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> t(0.5)\n"
    "1.25\n"
    ">>> t([1.0, 0.0, 0.5])\n"
    "array([3.  , 0.  , 1.25])\n"
    ">>> t([1.0, 0.0, 0.5], 1)\n"
    "array([4., 2., 3.])\n";

const char* const trajectory_call_doc = call_doc;

void add_evaluation(TypeParts& parts, Trajectory1dVTable& vtable) {
    parts.type.tp_call = trajectory_call;
    vtable.peval = peval_entry;
    vtable.ceval = ceval_entry;
    vtable.dpeval = dpeval_entry;
    vtable.dceval = dceval_entry;
    parts.methods.insert(parts.methods.end(),
                         {
                             {"peval", py_peval, METH_O, peval_doc},
                             {"ceval", py_ceval, METH_O, ceval_doc},
                             {"dpeval", reinterpret_cast<PyCFunction>(py_dpeval),
                              METH_FASTCALL | METH_KEYWORDS, dpeval_doc},
                             {"dceval", reinterpret_cast<PyCFunction>(py_dceval),
                              METH_FASTCALL | METH_KEYWORDS, dceval_doc},
                         });
}

} // namespace pykesta::curvetypes
