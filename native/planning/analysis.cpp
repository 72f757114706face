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

#define PYKESTA_FAST(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f))

PyMethodDef analysis_methods[] = {
    {"sample", PYKESTA_FAST(py_sample), METH_FASTCALL | METH_KEYWORDS,
     "sample(traj, x, upto=2)\n--\n\n"
     "Values and derivatives 0 .. upto of a trajectory at many times, in one pass.\n\n"
     "Parameters\n----------\n"
     "traj : Trajectory1d\n"
     "x : array_like\n    Times in the domain, in any order, repeats allowed.\n"
     "upto : int, optional\n    The highest derivative order (default 2).\n\n"
     "Returns\n-------\nnumpy.ndarray\n"
     "    Shape (upto + 1,) + x.shape: row k holds traj(x, k); orders above the\n"
     "    degree give zeros.\n\n"
     "Examples\n--------\n"
     ">>> import pykesta\n"
     ">>> from pykesta.planning import sample\n"
     ">>> traj = pykesta.from_arrays([0, 0, 0, 1, 1, 1], [0, 0, 1], 2)  # t**2\n"
     ">>> sample(traj, [0.5, 1.0]).tolist()\n"
     "[[0.25, 1.0], [1.0, 2.0], [2.0, 2.0]]\n"},
    {"integral", PYKESTA_FAST(py_integral), METH_FASTCALL | METH_KEYWORDS,
     "integral(traj, a=None, b=None)\n--\n\n"
     "The definite integral of a trajectory over [a, b].\n\n"
     "Parameters\n----------\n"
     "traj : Trajectory1d\n"
     "a, b : float, optional\n"
     "    Bounds in the domain (default: its ends); a > b gives the negative.\n\n"
     "Returns\n-------\nfloat\n\n"
     "Examples\n--------\n"
     ">>> import pykesta\n"
     ">>> from pykesta.planning import integral\n"
     ">>> traj = pykesta.from_arrays([0, 0, 0, 1, 1, 1], [0, 0, 1], 2)  # t**2\n"
     ">>> round(integral(traj), 12), round(integral(traj, 1.0, 0.0), 12)\n"
     "(0.333333333333, -0.333333333333)\n"},
    {"extrema", PYKESTA_FAST(py_extrema), METH_FASTCALL | METH_KEYWORDS,
     "extrema(traj, nu=0, a=None, b=None)\n--\n\n"
     "The exact infimum and supremum of the nu-th derivative over [a, b].\n\n"
     "Candidates are a, b, every turning point inside a span and the knots;\n"
     "where the derivative jumps at a knot inside (a, b) both one-sided limits\n"
     "count, at a and b only the limit from inside. The earliest time wins ties.\n\n"
     "Parameters\n----------\n"
     "traj : Trajectory1d\n"
     "nu : int, optional\n    Derivative order relative to the trajectory (default 0).\n"
     "a, b : float, optional\n    a <= b in the domain (default: its ends).\n\n"
     "Returns\n-------\nExtrema\n    (tmin, min, tmax, max).\n\n"
     "Examples\n--------\n"
     ">>> import pykesta\n"
     ">>> from pykesta.planning import extrema\n"
     ">>> traj = pykesta.from_arrays([0, 0, 0, 1, 1, 1], [0, 1, 0], 2)  # 2t(1 - t)\n"
     ">>> extrema(traj)\n"
     "Extrema(tmin=0.0, min=0.0, tmax=0.5, max=0.5)\n"},
    {"roots", PYKESTA_FAST(py_roots), METH_FASTCALL | METH_KEYWORDS,
     "roots(traj, value=0.0, nu=0, a=None, b=None)\n--\n\n"
     "The distinct times in [a, b] where the nu-th derivative equals value.\n\n"
     "Sign changes, touching roots, roots on knots (once), a jump across value\n"
     "at a knot (reported at the knot), and for a stretch where the derivative\n"
     "equals value throughout, the stretch's two ends.\n\n"
     "Parameters\n----------\n"
     "traj : Trajectory1d\n"
     "value : float, optional\n    The target (default 0).\n"
     "nu : int, optional\n    Derivative order relative to the trajectory (default 0).\n"
     "a, b : float, optional\n    a <= b in the domain (default: its ends).\n\n"
     "Returns\n-------\nnumpy.ndarray\n    The times, increasing.\n\n"
     "Examples\n--------\n"
     ">>> import pykesta\n"
     ">>> from pykesta.planning import roots\n"
     ">>> traj = pykesta.from_arrays([0, 0, 0, 1, 1, 1], [0, 1, 0], 2)  # 2t(1 - t)\n"
     ">>> roots(traj, 0.375).tolist(), roots(traj, nu=1).tolist()\n"
     "([0.25, 0.75], [0.5])\n"},
    {"check_limits", PYKESTA_FAST(py_check_limits), METH_FASTCALL | METH_KEYWORDS,
     check_limits_doc},
    {"retime", PYKESTA_FAST(py_retime), METH_FASTCALL | METH_KEYWORDS, retime_doc},
    {nullptr, nullptr, 0, nullptr}};

#undef PYKESTA_FAST

void init_analysis(PyObject* module) {
    module_state().extrema_type =
        add_named_tuple(module, "Extrema", "tmin min tmax max",
                        "Extrema(tmin, min, tmax, max): the infimum and supremum of a "
                        "quantity and the earliest times they are reached.");
    init_limits(module);
}

} // namespace pykesta::planning
