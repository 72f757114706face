// sample, integral, extrema and roots.
#include "planning/numpy_api.h"

#include "planning/analysis.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/gil.h"
#include "planmath/analysis.h"

#include <cmath>

namespace pykesta::planning {

// Large point sets are evaluated without the interpreter lock.
constexpr int64_t unlocked_points = 16384;

static void check_in_domain(const TrajectoryData& traj, double x, const char* name) {
    if (!std::isfinite(x))
        raise_format(PyExc_ValueError, "'%s' must be finite, got %R", name, new_float(x).get());
    if (x < traj.start() || x > traj.stop())
        raise_format(PyExc_ValueError, "'%s' out of domain [%R, %R]: %R", name,
                     new_float(traj.start()).get(), new_float(traj.stop()).get(),
                     new_float(x).get());
}

Interval read_interval(const TrajectoryData& traj, PyObject* a, PyObject* b,
                       bool reversed_allowed) {
    Interval interval{read_double(a, "a", traj.start()), read_double(b, "b", traj.stop())};
    check_in_domain(traj, interval.a, "a");
    check_in_domain(traj, interval.b, "b");
    if (!reversed_allowed && interval.a > interval.b)
        raise_format(PyExc_ValueError, "'a' must not exceed 'b', got a=%R, b=%R",
                     new_float(interval.a).get(), new_float(interval.b).get());
    return interval;
}

static bool large(const TrajectoryData& traj) { return traj.n() - traj.p() >= unlocked_spans; }

// ---- sample ---------------------------------------------------------------------------

static Ref sample(PyObject* traj_obj, PyObject* x_obj, PyObject* upto_obj) {
    TrajectoryData traj = read_trajectory(traj_obj, "traj");
    FloatArray x = read_float_array(x_obj, "x");
    const int32_t upto = read_order(upto_obj, "upto", 2);
    if (upto == INT32_MAX) raise_format(PyExc_ValueError, "'upto' is too large: %d", upto);
    if (x.size > INT32_MAX) raise(PyExc_ValueError, "'x' has too many points");
    const int32_t m = static_cast<int32_t>(x.size);
    for (int32_t j = 0; j < m; ++j) {
        const double t = x.data[j];
        if (t < traj.start() || t > traj.stop())
            raise_format(PyExc_ValueError, "'x' out of domain [%R, %R]: %R",
                         new_float(traj.start()).get(), new_float(traj.stop()).get(),
                         new_float(t).get());
    }
    auto* points = reinterpret_cast<PyArrayObject*>(x.array.get());
    int64_t shape[NPY_MAXDIMS];
    shape[0] = int64_t{upto} + 1;
    for (int i = 0; i < x.ndim && i + 1 < NPY_MAXDIMS; ++i) shape[i + 1] = PyArray_DIM(points, i);
    NewArray out = new_float_array(x.ndim + 1, shape);
    const planmath::Spline& s = traj.spline;
    if (m == 0) return out.array;
    run_without_gil_if(m >= unlocked_points, [&] {
        module_state().kernels.dsplcev(x.data, m, s.U, traj.knot_count(), s.P, traj.cpts_count(),
                                       s.p, 0, upto, out.data, upto + 1, m);
    });
    return out.array;
}

// ---- integral, extrema, roots ------------------------------------------------------------

static Ref integral(PyObject* traj_obj, PyObject* a, PyObject* b) {
    TrajectoryData traj = read_trajectory(traj_obj, "traj");
    const Interval interval = read_interval(traj, a, b, true);
    double result = 0.0;
    run_without_gil_if(large(traj),
                       [&] { result = planmath::integral(traj.spline, interval.a, interval.b); });
    return new_float(result);
}

static Ref extrema(PyObject* traj_obj, PyObject* nu_obj, PyObject* a, PyObject* b) {
    TrajectoryData traj = read_trajectory(traj_obj, "traj");
    const int32_t nu = read_order(nu_obj, "nu", 0);
    const Interval interval = read_interval(traj, a, b, false);
    planmath::Extrema found{};
    run_without_gil_if(large(traj),
                       [&] { found = planmath::extrema(traj.spline, nu, interval.a, interval.b); });
    return make_named_tuple(module_state().extrema_type.get(), new_float(found.tmin),
                            new_float(found.min), new_float(found.tmax), new_float(found.max));
}

static Ref roots(PyObject* traj_obj, PyObject* value_obj, PyObject* nu_obj, PyObject* a,
                 PyObject* b) {
    TrajectoryData traj = read_trajectory(traj_obj, "traj");
    const double value = read_finite(value_obj, "value", 0.0);
    const int32_t nu = read_order(nu_obj, "nu", 0);
    const Interval interval = read_interval(traj, a, b, false);
    std::vector<double> found;
    run_without_gil_if(large(traj), [&] {
        found = planmath::roots(traj.spline, nu, value, interval.a, interval.b);
    });
    const int64_t count = static_cast<int64_t>(found.size());
    NewArray out = new_float_array(1, &count);
    std::copy(found.begin(), found.end(), out.data);
    return out.array;
}

// ---- interpreter functions ----------------------------------------------------------------

static PyObject* py_sample(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        auto [traj, x, upto] =
            parse_args(Params<3>{"sample", {"traj", "x", "upto"}, 2}, args, nargs, kw);
        return sample(traj, x, upto);
    });
}

static PyObject* py_integral(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        auto [traj, a, b] =
            parse_args(Params<3>{"integral", {"traj", "a", "b"}, 1}, args, nargs, kw);
        return integral(traj, a, b);
    });
}

static PyObject* py_extrema(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        auto [traj, nu, a, b] =
            parse_args(Params<4>{"extrema", {"traj", "nu", "a", "b"}, 1}, args, nargs, kw);
        return extrema(traj, nu, a, b);
    });
}

static PyObject* py_roots(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        auto [traj, value, nu, a, b] =
            parse_args(Params<5>{"roots", {"traj", "value", "nu", "a", "b"}, 1}, args, nargs, kw);
        return roots(traj, value, nu, a, b);
    });
}

// ---- docstrings ---------------------------------------------------------------------------

static const char sample_doc[] =
    "sample(traj, x, upto=2)\n--\n\n"
    "Values and derivatives 0 .. upto of a trajectory at many times, in one pass.\n\n"
    "Each time's span is found once and serves every order, which is faster than\n"
    "calling ``traj(x, k)`` once per order.\n\n"
    "Parameters\n----------\n"
    "traj : Trajectory1d\n"
    "    The trajectory to evaluate.\n"
    "x : array_like\n"
    "    Times in the domain [traj.start, traj.stop], of any shape and in any\n"
    "    order, repeats allowed.\n"
    "upto : int, optional\n"
    "    The highest derivative order (default 2).\n\n"
    "Returns\n-------\n"
    "numpy.ndarray\n"
    "    Shape (upto + 1,) + x.shape: row k holds traj(x, k); orders above the\n"
    "    degree give zeros.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    \"Argument 'traj' has incorrect type (expected\n"
    "    pykesta.curvetypes.Trajectory1d, got ...)\", \"'x' must be real numbers,\n"
    "    got ...\" or \"'upto' must be an integer, got ...\".\n"
    "ValueError\n"
    "    \"'x' out of domain [start, stop]: value\" for a time outside the domain,\n"
    "    \"'upto' must be non-negative, got ...\" for a negative order.\n\n"
    "See Also\n--------\n"
    "pykesta.curvetypes.Trajectory1d.__call__ : One derivative order per call.\n"
    "extrema : Exact extrema between the samples.\n"
    "roots : The times where a derivative takes a value.\n\n"
    "Examples\n--------\n"
    "Position, velocity and acceleration of a trapezoidal move of 2 m (1 m/s,\n"
    "1 m/s**2) while accelerating, cruising and at its end:\n\n"
    ">>> import numpy as np\n"
    ">>> from pykesta.planning import profile, sample\n"
    ">>> move = profile(2.0, velocity=1.0, acceleration=1.0)\n"
    ">>> print(np.round(sample(move, [0.5, 1.5, 3.0]), 6) + 0.0)\n"
    "[[ 0.125  1.     2.   ]\n"
    " [ 0.5    1.     0.   ]\n"
    " [ 1.     0.    -1.   ]]\n";

static const char integral_doc[] =
    "integral(traj, a=None, b=None)\n--\n\n"
    "The definite integral of a trajectory over [a, b].\n\n"
    "Exact: each span's polynomial is integrated in closed form.\n\n"
    "Parameters\n----------\n"
    "traj : Trajectory1d\n"
    "    The trajectory to integrate.\n"
    "a, b : float, optional\n"
    "    Bounds in the domain (default: its ends); a > b gives the negative.\n\n"
    "Returns\n-------\n"
    "float\n"
    "    The integral of traj(t) dt from a to b.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    \"Argument 'traj' has incorrect type (expected\n"
    "    pykesta.curvetypes.Trajectory1d, got ...)\", or \"'a' must be a real\n"
    "    number, got ...\" (likewise 'b').\n"
    "ValueError\n"
    "    \"'a' must be finite, got nan\" or \"'a' out of domain [start, stop]:\n"
    "    value\" (likewise 'b').\n\n"
    "See Also\n--------\n"
    "pykesta.curvetypes.Trajectory1d.antiderivative : The integral as a trajectory.\n"
    "extrema : Exact extrema of a trajectory or its derivatives.\n\n"
    "Examples\n--------\n"
    "The distance a move covers is the integral of its velocity:\n\n"
    ">>> from pykesta.planning import integral, profile\n"
    ">>> move = profile(2.0, velocity=1.0, acceleration=1.0)\n"
    ">>> velocity = move.derivative(1)\n"
    ">>> round(integral(velocity), 9), round(integral(velocity, 0.0, 1.0), 9)\n"
    "(2.0, 0.5)\n"
    ">>> round(integral(velocity, 1.0, 0.0), 9)\n"
    "-0.5\n";

static const char extrema_doc[] =
    "extrema(traj, nu=0, a=None, b=None)\n--\n\n"
    "The exact infimum and supremum of the nu-th derivative over [a, b].\n\n"
    "Candidates are a, b, every turning point inside a span and the knots;\n"
    "where the derivative jumps at a knot inside (a, b) both one-sided limits\n"
    "count, at a and b only the limit from inside. The earliest time wins ties.\n\n"
    "Parameters\n----------\n"
    "traj : Trajectory1d\n"
    "    The trajectory to examine.\n"
    "nu : int, optional\n"
    "    Derivative order relative to the trajectory (default 0).\n"
    "a, b : float, optional\n"
    "    a <= b in the domain (default: its ends).\n\n"
    "Returns\n-------\n"
    "Extrema\n"
    "    (tmin, min, tmax, max).\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    \"Argument 'traj' has incorrect type (expected\n"
    "    pykesta.curvetypes.Trajectory1d, got ...)\", \"'nu' must be an integer,\n"
    "    got ...\" or \"'a' must be a real number, got ...\" (likewise 'b').\n"
    "ValueError\n"
    "    \"'nu' must be non-negative, got ...\", \"'a' out of domain [start, stop]:\n"
    "    value\" (likewise 'b') or \"'a' must not exceed 'b', got a=..., b=...\".\n\n"
    "See Also\n--------\n"
    "roots : The times where a derivative takes a value.\n"
    "check_limits : Extrema of velocity, acceleration and jerk against limits.\n"
    "sample : Values and derivatives at given times.\n\n"
    "Examples\n--------\n"
    ">>> import pykesta\n"
    ">>> from pykesta.planning import extrema\n"
    ">>> traj = pykesta.from_arrays([0, 0, 0, 1, 1, 1], [0, 1, 0], 2)  # 2t(1 - t)\n"
    ">>> extrema(traj)\n"
    "Extrema(tmin=0.0, min=0.0, tmax=0.5, max=0.5)\n\n"
    "The peak acceleration of a jerk-limited move, and when it is first reached:\n\n"
    ">>> from pykesta.planning import profile\n"
    ">>> move = profile(1.0, velocity=1.0, acceleration=2.0, jerk=10.0)\n"
    ">>> peak = extrema(move, nu=2)\n"
    ">>> round(peak.max, 6), round(peak.tmax, 6)\n"
    "(2.0, 0.2)\n";

static const char roots_doc[] =
    "roots(traj, value=0.0, nu=0, a=None, b=None)\n--\n\n"
    "The distinct times in [a, b] where the nu-th derivative equals value.\n\n"
    "Sign changes, touching roots, roots on knots (once), a jump across value\n"
    "at a knot (reported at the knot), and for a stretch where the derivative\n"
    "equals value throughout, the stretch's two ends.\n\n"
    "Parameters\n----------\n"
    "traj : Trajectory1d\n"
    "    The trajectory to examine.\n"
    "value : float, optional\n"
    "    The target (default 0).\n"
    "nu : int, optional\n"
    "    Derivative order relative to the trajectory (default 0).\n"
    "a, b : float, optional\n"
    "    a <= b in the domain (default: its ends).\n\n"
    "Returns\n-------\n"
    "numpy.ndarray\n"
    "    The times, increasing.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    \"Argument 'traj' has incorrect type (expected\n"
    "    pykesta.curvetypes.Trajectory1d, got ...)\", \"'value' must be a real\n"
    "    number, got ...\" or \"'nu' must be an integer, got ...\".\n"
    "ValueError\n"
    "    \"'value' must be finite, got ...\", \"'nu' must be non-negative, got ...\",\n"
    "    \"'a' out of domain [start, stop]: value\" (likewise 'b') or \"'a' must not\n"
    "    exceed 'b', got a=..., b=...\".\n\n"
    "See Also\n--------\n"
    "extrema : The infimum and supremum of a derivative.\n"
    "sample : Values and derivatives at given times.\n\n"
    "Examples\n--------\n"
    ">>> import pykesta\n"
    ">>> from pykesta.planning import roots\n"
    ">>> traj = pykesta.from_arrays([0, 0, 0, 1, 1, 1], [0, 1, 0], 2)  # 2t(1 - t)\n"
    ">>> roots(traj, 0.375).tolist(), roots(traj, nu=1).tolist()\n"
    "([0.25, 0.75], [0.5])\n\n"
    "When a trapezoidal move of 2 m passes its middle, and where its velocity\n"
    "is 0.5 m/s:\n\n"
    ">>> from pykesta.planning import profile\n"
    ">>> move = profile(2.0, velocity=1.0, acceleration=1.0)\n"
    ">>> print(roots(move, 1.0).round(6), roots(move, 0.5, nu=1).round(6))\n"
    "[1.5] [0.5 2.5]\n";

static const char extrema_type_doc[] =
    "Extrema(tmin, min, tmax, max)\n\n"
    "The infimum and supremum of a quantity and the earliest times they are\n"
    "reached, as a named tuple.\n\n"
    "Parameters\n----------\n"
    "tmin : float\n"
    "    The earliest time of the infimum.\n"
    "min : float\n"
    "    The infimum.\n"
    "tmax : float\n"
    "    The earliest time of the supremum.\n"
    "max : float\n"
    "    The supremum.\n\n"
    "See Also\n--------\n"
    "extrema : Returns it.\n"
    "LimitCheck : The extrema of a quantity checked against a limit.\n\n"
    "Examples\n--------\n"
    ">>> from pykesta.planning import extrema, profile\n"
    ">>> move = profile(1.0, velocity=1.0, acceleration=1.0)\n"
    ">>> tmin, low, tmax, high = extrema(move, nu=1)\n"
    ">>> round(tmax, 6), round(high, 6)\n"
    "(1.0, 1.0)\n";

#define PYKESTA_FAST(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f))

PyMethodDef analysis_methods[] = {
    {"sample", PYKESTA_FAST(py_sample), METH_FASTCALL | METH_KEYWORDS, sample_doc},
    {"integral", PYKESTA_FAST(py_integral), METH_FASTCALL | METH_KEYWORDS, integral_doc},
    {"extrema", PYKESTA_FAST(py_extrema), METH_FASTCALL | METH_KEYWORDS, extrema_doc},
    {"roots", PYKESTA_FAST(py_roots), METH_FASTCALL | METH_KEYWORDS, roots_doc},
    {"check_limits", PYKESTA_FAST(py_check_limits), METH_FASTCALL | METH_KEYWORDS,
     check_limits_doc},
    {"retime", PYKESTA_FAST(py_retime), METH_FASTCALL | METH_KEYWORDS, retime_doc},
    {nullptr, nullptr, 0, nullptr}};

#undef PYKESTA_FAST

void init_analysis(PyObject* module) {
    module_state().extrema_type = add_named_tuple(module, "Extrema",
                                                  {{"tmin", "The earliest time of the infimum."},
                                                   {"min", "The infimum."},
                                                   {"tmax", "The earliest time of the supremum."},
                                                   {"max", "The supremum."}},
                                                  extrema_type_doc);
    init_limits(module);
}

} // namespace pykesta::planning
