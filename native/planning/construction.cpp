// interpolate and fit: trajectories from point conditions and from samples.
#include "planning/numpy_api.h"

#include "planning/planning.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/gil.h"
#include "planmath/fitting.h"
#include "planmath/interpolation.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace pykesta::planning {

using planmath::Condition;

// Systems with this many unknowns, or fits of this many samples, are solved
// without the interpreter lock.
constexpr int64_t unlocked_size = 4096;

// What the caller passed in, to name conditions in messages: a sample i has
// source i, constraint j has source -1 - j.
struct Inputs {
    const double* t = nullptr;
    const double* y = nullptr;
    int64_t m = 0;
    uint32_t order = 0;
};

static Ref describe(const Inputs& in, const Condition& c) {
    if (c.source >= 0)
        return Ref::steal(PyUnicode_FromFormat("the sample t[%d]=%R, y=%R", c.source,
                                               new_float(c.t).get(), new_float(c.value).get()));
    return Ref::steal(PyUnicode_FromFormat(
        "constraints[%d] (t=%R, val=%R, order %u)", -1 - c.source, new_float(c.t).get(),
        new_float(c.value).get(), static_cast<unsigned>(c.nu + in.order)));
}

static void check_positional_count(const char* func, Py_ssize_t nargsf, Py_ssize_t allowed) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (nargs > allowed)
        raise_format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd were given",
                     func, allowed, nargs);
}

// Degrees beyond this would need (p + 1)^2 scratch per basis evaluation and a
// band of 3p + 1 diagonals without any use in motion planning.
constexpr int32_t max_degree = 64;

static int32_t read_degree(PyObject* obj) {
    const int32_t p = read_order(obj, "p", 3);
    if (p > max_degree)
        raise_format(PyExc_ValueError, "'p' must lie in 0..%d, got %d", max_degree, p);
    return p;
}

// A one-dimensional array of finite numbers (numpy's conversions).
static FloatArray read_vector(PyObject* obj, const char* name) {
    FloatArray a = read_float_array(obj, name);
    if (a.ndim != 1)
        raise_format(PyExc_ValueError, "'%s' must be one-dimensional, got %d dimensions", name,
                     a.ndim);
    if (a.size > INT32_MAX) raise_format(PyExc_ValueError, "'%s' is too long", name);
    for (int64_t i = 0; i < a.size; ++i)
        if (!std::isfinite(a.data[i]))
            raise_format(PyExc_ValueError, "'%s' must be finite, got %R at index %zd", name,
                         new_float(a.data[i]).get(), static_cast<Py_ssize_t>(i));
    return a;
}

static void check_same_length(const FloatArray& a, const char* a_name, const FloatArray& b,
                              const char* b_name) {
    if (a.size != b.size)
        raise_format(PyExc_ValueError, "'%s' and '%s' differ in length: %zd and %zd", a_name,
                     b_name, static_cast<Py_ssize_t>(a.size), static_cast<Py_ssize_t>(b.size));
}

// One constraint: a Point1d or a (t, val, order) sequence.
static Condition read_constraint(PyObject* item, Py_ssize_t index, uint32_t order, int32_t p) {
    double t, value;
    long long physical;
    if (PyObject_TypeCheck(item, module_state().api->Point1d_type)) {
        const auto& point = reinterpret_cast<curvetypes::Point1dObject*>(item)->p;
        t = point.t;
        value = point.val;
        physical = point.order;
    } else {
        Ref tuple = Ref::steal_or_null(PySequence_Tuple(item));
        if (!tuple || PyTuple_GET_SIZE(tuple.get()) != 3) {
            PyErr_Clear();
            raise_format(
                PyExc_TypeError,
                "constraints[%zd] must be a Point1d or a (t, val, order) tuple, got %.200R", index,
                item);
        }
        t = read_double(PyTuple_GET_ITEM(tuple.get(), 0), "t of a constraint", 0.0);
        value = read_double(PyTuple_GET_ITEM(tuple.get(), 1), "val of a constraint", 0.0);
        physical = read_order(PyTuple_GET_ITEM(tuple.get(), 2), "order of a constraint", 0);
    }
    if (!std::isfinite(t) || !std::isfinite(value))
        raise_format(PyExc_ValueError,
                     "constraints[%zd] must have a finite time and value, got %.200R", index, item);
    const long long nu = physical - static_cast<long long>(order);
    if (nu < 0 || nu > p)
        raise_format(PyExc_ValueError,
                     "constraints[%zd] has order %lld, so derivative %lld of a trajectory of order "
                     "%u and degree %d: it must lie in 0..%d",
                     index, physical, nu, order, p, p);
    return {t, value, static_cast<int32_t>(nu), static_cast<int32_t>(-1 - index)};
}

static std::vector<Condition> read_constraints(PyObject* obj, uint32_t order, int32_t p) {
    std::vector<Condition> out;
    if (obj == nullptr || obj == Py_None) return out;
    Ref iterator = Ref::steal_or_null(PyObject_GetIter(obj));
    if (!iterator) {
        PyErr_Clear();
        raise_format(PyExc_TypeError,
                     "'constraints' must be an iterable of constraints, got %.200R", obj);
    }
    while (PyObject* item = PyIter_Next(iterator.get())) {
        Ref held = Ref::steal(item);
        if (out.size() >= static_cast<size_t>(INT32_MAX / 2))
            raise(PyExc_ValueError, "'constraints' has too many items");
        out.push_back(read_constraint(item, static_cast<Py_ssize_t>(out.size()), order, p));
    }
    if (PyErr_Occurred()) throw python_error{};
    return out;
}

// A knot vector given by the caller: count knots, finite, non-decreasing and
// clamped (p + 1 equal knots at each end).
static void check_knots(const FloatArray& knots, int64_t count, int32_t p) {
    if (knots.size != count)
        raise_format(PyExc_ValueError, "'knots' must have %zd knots here, got %zd",
                     static_cast<Py_ssize_t>(count), static_cast<Py_ssize_t>(knots.size));
    const double* U = knots.data;
    for (int64_t i = 1; i < count; ++i)
        if (U[i] < U[i - 1])
            raise_format(PyExc_ValueError, "'knots' must be non-decreasing, got %R after %R",
                         new_float(U[i]).get(), new_float(U[i - 1]).get());
    for (int32_t i = 1; i <= p; ++i)
        if (U[i] != U[0] || U[count - 1 - i] != U[count - 1])
            raise_format(PyExc_ValueError,
                         "'knots' must be clamped: %d equal knots at each end for degree %d", p + 1,
                         p);
    if (!(U[0] < U[count - 1]))
        raise_format(PyExc_ValueError, "'knots' span an empty domain [%R, %R]",
                     new_float(U[0]).get(), new_float(U[count - 1]).get());
}

static Ref new_trajectory_from(const double* U, int32_t n, int32_t p, OwnedArray cpts,
                               uint32_t order) {
    return new_trajectory(OwnedArray::copy_of(U, int64_t{n} + p + 2), std::move(cpts), p, order);
}

// ---- interpolate ----------------------------------------------------------------------

static Ref interpolate(PyObject* t_obj, PyObject* y_obj, PyObject* p_obj, PyObject* constraints_obj,
                       PyObject* order_obj, PyObject* knots_obj) {
    const FloatArray t = read_vector(t_obj, "t");
    const FloatArray y = read_vector(y_obj, "y");
    check_same_length(t, "t", y, "y");
    const int32_t p = read_degree(p_obj);
    const Inputs in{t.data, y.data, t.size,
                    static_cast<uint32_t>(read_order(order_obj, "order", 0))};
    const std::vector<Condition> constraints = read_constraints(constraints_obj, in.order, p);
    const int64_t count = t.size + static_cast<int64_t>(constraints.size());
    if (count < int64_t{p} + 1)
        raise_format(PyExc_ValueError,
                     "%zd conditions (values and constraints) are too few for degree %d: at least "
                     "%d are needed",
                     static_cast<Py_ssize_t>(count), p, p + 1);
    if (count + p + 1 > INT32_MAX) raise(PyExc_ValueError, "too many conditions");
    std::vector<Condition> conditions;
    conditions.reserve(static_cast<size_t>(count));
    for (int64_t i = 0; i < t.size; ++i)
        conditions.push_back({t.data[i], y.data[i], 0, static_cast<int32_t>(i)});
    conditions.insert(conditions.end(), constraints.begin(), constraints.end());
    planmath::sort_conditions(conditions);
    const double a = conditions.front().t, b = conditions.back().t;
    if (!(a < b))
        raise_format(PyExc_ValueError,
                     "every condition is at the same time %R: the domain is empty",
                     new_float(a).get());

    const auto n = static_cast<int32_t>(count - 1);
    std::vector<double> U(static_cast<size_t>(n) + p + 2);
    if (knots_obj != nullptr && knots_obj != Py_None) {
        const FloatArray knots = read_vector(knots_obj, "knots");
        check_knots(knots, int64_t{n} + p + 2, p);
        if (knots.data[0] != a || knots.data[n + p + 1] != b)
            raise_format(PyExc_ValueError,
                         "'knots' must be clamped to the conditions' domain [%R, %R], got [%R, %R]",
                         new_float(a).get(), new_float(b).get(), new_float(knots.data[0]).get(),
                         new_float(knots.data[n + p + 1]).get());
        std::copy_n(knots.data, U.size(), U.begin());
    } else {
        std::vector<double> times(conditions.size());
        for (size_t i = 0; i < times.size(); ++i) times[i] = conditions[i].t;
        planmath::averaged_knots(times.data(), n + 1, p, U.data());
    }

    OwnedArray cpts(int64_t{n} + 1);
    planmath::InterpolationFailure failure;
    run_without_gil_if(count >= unlocked_size, [&] {
        failure = planmath::interpolate_conditions(conditions, U.data(), p, cpts.data());
    });
    using Failure = planmath::InterpolationFailure;
    switch (failure.kind) {
    case Failure::none:
        break;
    case Failure::repeated: {
        const Condition &c1 = conditions[failure.first], &c2 = conditions[failure.second];
        if (c1.value != c2.value)
            raise_format(PyExc_ValueError,
                         "conditions contradict each other: %S and %S give two values for the "
                         "same time and order",
                         describe(in, c1).get(), describe(in, c2).get());
        raise_format(PyExc_ValueError,
                     "conditions repeat: %S and %S fix the same derivative at the same time, "
                     "which leaves the system singular",
                     describe(in, c1).get(), describe(in, c2).get());
    }
    case Failure::outside_support:
        raise_format(PyExc_ValueError,
                     "the system is singular: %S lies outside the support of the control point "
                     "it determines (too many conditions before or after it for these knots)",
                     describe(in, conditions[failure.first]).get());
    case Failure::singular:
        raise_format(PyExc_ValueError,
                     "the system is singular: the conditions around %S cannot all hold (more "
                     "derivatives at one time than the degree allows, or knots that do not fit "
                     "the times)",
                     describe(in, conditions[failure.first]).get());
    }
    return new_trajectory_from(U.data(), n, p, std::move(cpts), in.order);
}

// ---- fit -----------------------------------------------------------------------------

static Ref fit(PyObject* const* a) {
    const FloatArray t = read_vector(a[0], "t");
    const FloatArray y = read_vector(a[1], "y");
    check_same_length(t, "t", y, "y");
    const int32_t p = read_degree(a[2]);
    PyObject* knots_obj = a[3] == Py_None ? nullptr : a[3];
    PyObject* n_obj = a[4] == Py_None ? nullptr : a[4];
    FloatArray weights{};
    if (a[5] != nullptr && a[5] != Py_None) {
        weights = read_vector(a[5], "weights");
        check_same_length(t, "t", weights, "weights");
        for (int64_t i = 0; i < weights.size; ++i)
            if (weights.data[i] < 0.0)
                raise_format(PyExc_ValueError,
                             "'weights' must be non-negative, got %R at index %zd",
                             new_float(weights.data[i]).get(), static_cast<Py_ssize_t>(i));
    }
    const double smoothing = read_finite(a[7], "smoothing", 0.0);
    if (smoothing < 0.0)
        raise_format(PyExc_ValueError, "'smoothing' must be non-negative, got %R",
                     new_float(smoothing).get());
    const int32_t penalty = read_order(a[8], "penalty", 2);
    if (smoothing > 0.0 && penalty > p)
        raise_format(PyExc_ValueError, "'penalty' must not exceed the degree %d, got %d", p,
                     penalty);
    const Inputs in{t.data, y.data, t.size, static_cast<uint32_t>(read_order(a[9], "order", 0))};
    std::vector<Condition> constraints = read_constraints(a[6], in.order, p);
    if ((knots_obj == nullptr) == (n_obj == nullptr))
        raise(PyExc_ValueError, "give either 'knots' or 'n' (the highest control-point index)");

    std::vector<double> U;
    int32_t n;
    if (knots_obj != nullptr) {
        const FloatArray knots = read_vector(knots_obj, "knots");
        if (knots.size < 2 * int64_t{p} + 2)
            raise_format(PyExc_ValueError,
                         "'knots' must have at least %d knots for degree %d, got %zd", 2 * p + 2, p,
                         static_cast<Py_ssize_t>(knots.size));
        n = static_cast<int32_t>(knots.size - p - 2);
        check_knots(knots, knots.size, p);
        U.assign(knots.data, knots.data + knots.size);
    } else {
        n = read_order(n_obj, "n", 0);
        // At most a knot per sample and condition: more leaves control points
        // that only smoothing fixes, and lets a small call ask for any memory.
        const int64_t most = t.size + static_cast<int64_t>(constraints.size()) + p;
        if (n < p || n > most)
            raise_format(PyExc_ValueError,
                         "'n' must lie in %d..%zd for degree %d and %zd samples, got %d", p,
                         static_cast<Py_ssize_t>(most), p, static_cast<Py_ssize_t>(t.size), n);
        if (t.size < 2) raise(PyExc_ValueError, "'t' needs at least two samples to place knots");
        std::vector<double> sorted(t.data, t.data + t.size);
        std::sort(sorted.begin(), sorted.end());
        if (!(sorted.front() < sorted.back()))
            raise_format(PyExc_ValueError,
                         "every sample is at the same time %R: the domain is empty",
                         new_float(sorted.front()).get());
        U.resize(static_cast<size_t>(n) + p + 2);
        planmath::quantile_knots(sorted.data(), t.size, n, p, U.data());
    }
    const double start = U.front(), stop = U.back();
    for (int64_t i = 0; i < t.size; ++i)
        if (t.data[i] < start || t.data[i] > stop)
            raise_format(PyExc_ValueError, "'t' out of the domain [%R, %R]: %R at index %zd",
                         new_float(start).get(), new_float(stop).get(), new_float(t.data[i]).get(),
                         static_cast<Py_ssize_t>(i));
    for (const Condition& c : constraints)
        if (c.t < start || c.t > stop)
            raise_format(PyExc_ValueError, "%S lies outside the domain [%R, %R]",
                         describe(in, c).get(), new_float(start).get(), new_float(stop).get());
    planmath::sort_conditions(constraints);

    OwnedArray cpts(int64_t{n} + 1);
    const planmath::FitProblem problem{U.data(),     n,      p,         t.data,  y.data,
                                       weights.data, t.size, smoothing, penalty, constraints};
    planmath::FitFailure failure;
    run_without_gil_if(t.size + n >= unlocked_size,
                       [&] { failure = planmath::fit_spline(problem, cpts.data()); });
    using Failure = planmath::FitFailure;
    switch (failure.kind) {
    case Failure::none:
        break;
    case Failure::repeated: {
        const Condition &c1 = constraints[failure.first], &c2 = constraints[failure.second];
        raise_format(PyExc_ValueError,
                     "constraints %s: %S and %S fix the same derivative at the same time",
                     c1.value != c2.value ? "contradict each other" : "repeat",
                     describe(in, c1).get(), describe(in, c2).get());
    }
    case Failure::too_many_constraints:
        raise_format(PyExc_ValueError,
                     "%zd constraints are more than the %d free coefficients (control points)",
                     constraints.size(), n + 1);
    case Failure::undetermined: {
        const int32_t j = failure.first;
        raise_format(PyExc_ValueError,
                     "control point %d (knots %R to %R) is not determined: too few samples there "
                     "and no smoothing or constraint fixes it",
                     j, new_float(U[j]).get(), new_float(U[j + p + 1]).get());
    }
    case Failure::dependent:
        raise_format(PyExc_ValueError,
                     "%S repeats or contradicts the other constraints (they are linearly "
                     "dependent)",
                     describe(in, constraints[failure.first]).get());
    }
    return new_trajectory_from(U.data(), n, p, std::move(cpts), in.order);
}

// ---- entries ---------------------------------------------------------------------------

static PyObject* py_interpolate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        check_positional_count("interpolate", nargs, 2);
        auto [t, y, p, constraints, order, knots] = parse_args(
            Params<6>{"interpolate", {"t", "y", "p", "constraints", "order", "knots"}, 2}, args,
            nargs, kw);
        return interpolate(t, y, p, constraints, order, knots);
    });
}

static PyObject* py_fit(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        check_positional_count("fit", nargs, 2);
        auto parsed = parse_args(Params<10>{"fit",
                                            {"t", "y", "p", "knots", "n", "weights", "constraints",
                                             "smoothing", "penalty", "order"},
                                            2},
                                 args, nargs, kw);
        return fit(parsed.data());
    });
}

// ---- docstrings ------------------------------------------------------------------------

static const char interpolate_doc[] =
    "interpolate(t, y, *, p=3, constraints=(), order=0, knots=None)\n--\n\n"
    "The trajectory through the values y at the times t that meets every\n"
    "constraint exactly.\n\n"
    "The trajectory has degree p and n + 1 = len(t) + len(constraints) control\n"
    "points on the domain [smallest time, largest time] of values and constraints.\n"
    "Without knots, the knots are clamped at the domain's ends and the interior\n"
    "ones average p consecutive condition times (repeated times included), which\n"
    "makes the system solvable whenever the conditions allow it.\n\n"
    "Parameters\n----------\n"
    "t, y : array_like\n"
    "    Times (any order) and values, of equal length; may be empty.\n"
    "p : int, optional\n"
    "    Degree, 0..64 (default 3).\n"
    "constraints : iterable of Point1d or (t, val, order), optional\n"
    "    Extra conditions; a constraint's derivative order on the result is its\n"
    "    order minus `order` and must lie in 0..p.\n"
    "order : int, optional\n"
    "    Derivation order of the result (default 0).\n"
    "knots : array_like, optional\n"
    "    n + p + 2 non-decreasing knots, clamped to the domain.\n\n"
    "Returns\n-------\n"
    "Trajectory1d\n"
    "    Degree p, order `order`, n + 1 control points.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    For arguments of the wrong kind:\n\n"
    "    - \"'t' must be real numbers, got ...\" (likewise y and knots)\n"
    "    - \"'p' must be an integer, got ...\" (likewise order)\n"
    "    - \"'constraints' must be an iterable of constraints, got ...\"\n"
    "    - \"constraints[i] must be a Point1d or a (t, val, order) tuple, got ...\"\n"
    "ValueError\n"
    "    For malformed arguments:\n\n"
    "    - \"'t' must be finite, got nan at index i\" (likewise y and knots)\n"
    "    - \"'t' and 'y' differ in length: 3 and 2\"\n"
    "    - \"'p' must lie in 0..64, got ...\"\n"
    "    - \"constraints[i] has order ..., so derivative ... of a trajectory of\n"
    "      order ... and degree ...: it must lie in 0..p\"\n"
    "    - \"k conditions (values and constraints) are too few for degree p: at\n"
    "      least p + 1 are needed\"\n"
    "    - \"every condition is at the same time ...: the domain is empty\"\n"
    "    - \"'knots' must have ... knots here, got ...\", \"'knots' must be\n"
    "      non-decreasing, got ... after ...\", \"'knots' must be clamped: p + 1\n"
    "      equal knots at each end for degree p\", \"'knots' must be clamped to\n"
    "      the conditions' domain [a, b], got [...]\"\n\n"
    "    and for conditions that cannot all hold, naming them:\n\n"
    "    - \"conditions contradict each other: the sample t[0]=0.0, y=0.0 and\n"
    "      constraints[0] (t=0.0, val=1.0, order 0) give two values for the same\n"
    "      time and order\"\n"
    "    - \"conditions repeat: ... fix the same derivative at the same time,\n"
    "      which leaves the system singular\"\n"
    "    - \"the system is singular: ... lies outside the support of the control\n"
    "      point it determines (...)\" or \"the system is singular: the conditions\n"
    "      around ... cannot all hold (...)\"\n\n"
    "See Also\n--------\n"
    "fit : Least squares through many samples, with constraints.\n"
    "pykesta.from_arrays : A trajectory from its knots and control points.\n"
    "profile : The time-optimal move between two rests.\n\n"
    "Examples\n--------\n"
    "A quintic through four waypoints (0 m at 0 s, 0.2 m at 1 s, 0.8 m at 2 s,\n"
    "1 m at 3 s), at rest at both ends: velocity and acceleration 0.\n\n"
    ">>> from pykesta.planning import interpolate\n"
    ">>> rest = [(0.0, 0.0, 1), (0.0, 0.0, 2), (3.0, 0.0, 1), (3.0, 0.0, 2)]\n"
    ">>> traj = interpolate([0.0, 1.0, 2.0, 3.0], [0.0, 0.2, 0.8, 1.0], p=5,\n"
    "...                    constraints=rest)\n"
    ">>> traj.n, round(traj(1.0), 12), round(traj(2.0), 12)\n"
    "(7, 0.2, 0.8)\n"
    ">>> round(traj(3.0, 1), 12) + 0.0, round(traj(3.0, 2), 12) + 0.0\n"
    "(0.0, 0.0)\n";

static const char fit_doc[] =
    "fit(t, y, *, p=3, knots=None, n=None, weights=None, constraints=(), smoothing=0.0, "
    "penalty=2, order=0)\n--\n\n"
    "The weighted least-squares trajectory through samples, with constraints met\n"
    "exactly and an optional smoothing penalty.\n\n"
    "Minimises sum((w_i * (s(t_i) - y_i))**2) + smoothing * integral of\n"
    "s^(penalty)(t)**2 over the domain (penalty 2 is the classic smoothing spline,\n"
    "3 penalises jerk), subject to every constraint.\n\n"
    "Parameters\n----------\n"
    "t, y : array_like\n"
    "    Sample times (any order) and values, of equal length.\n"
    "p : int, optional\n"
    "    Degree, 0..64 (default 3).\n"
    "knots : array_like, optional\n"
    "    The full clamped knot vector; every sample lies in its domain.\n"
    "n : int, optional\n"
    "    Instead of knots: n + 1 control points on [min t, max t], the interior\n"
    "    knot j = 1 .. n - p at the j / (n - p + 1) quantile of the sample times;\n"
    "    p <= n <= len(t) + len(constraints) + p.\n"
    "weights : array_like, optional\n"
    "    Non-negative factors of the residuals (default 1).\n"
    "constraints : iterable of Point1d or (t, val, order), optional\n"
    "    Conditions met exactly; derivative order on the result as in interpolate.\n"
    "smoothing : float, optional\n"
    "    Non-negative factor of the penalty (default 0).\n"
    "penalty : int, optional\n"
    "    Derivative order penalised, 0..p (default 2).\n"
    "order : int, optional\n"
    "    Derivation order of the result (default 0).\n\n"
    "Returns\n-------\n"
    "Trajectory1d\n"
    "    Degree p, order `order`, on the domain of the knots.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    For arguments of the wrong kind: \"'t' must be real numbers, got ...\"\n"
    "    (likewise y, knots and weights), \"'smoothing' must be a real number,\n"
    "    got ...\", \"'n' must be an integer, got ...\" (likewise p, penalty and\n"
    "    order), and for constraints as in interpolate.\n"
    "ValueError\n"
    "    For malformed arguments:\n\n"
    "    - \"'t' must be finite, got nan at index i\" (likewise y, knots, weights)\n"
    "    - \"'t' and 'y' differ in length: ...\" (likewise weights)\n"
    "    - \"'weights' must be non-negative, got ... at index i\"\n"
    "    - \"'smoothing' must be non-negative, got ...\"\n"
    "    - \"'penalty' must not exceed the degree p, got ...\" (with smoothing)\n"
    "    - \"give either 'knots' or 'n' (the highest control-point index)\"\n"
    "    - \"'n' must lie in p..m for degree p and k samples, got ...\"\n"
    "    - \"'knots' must have at least 2p + 2 knots for degree p, got ...\", or\n"
    "      not non-decreasing or clamped, as in interpolate\n"
    "    - \"'t' out of the domain [a, b]: value at index i\", \"constraints[i]\n"
    "      (...) lies outside the domain [a, b]\"\n\n"
    "    and when the solution is not unique:\n\n"
    "    - \"control point j (knots ... to ...) is not determined: too few\n"
    "      samples there and no smoothing or constraint fixes it\"\n"
    "    - \"k constraints are more than the m free coefficients (control points)\"\n"
    "    - \"constraints contradict each other: ... fix the same derivative at the\n"
    "      same time\" (or \"constraints repeat: ...\")\n"
    "    - \"constraints[i] (...) repeats or contradicts the other constraints\n"
    "      (they are linearly dependent)\"\n\n"
    "See Also\n--------\n"
    "interpolate : Through every value exactly.\n"
    "check_limits, retime : What to do with a fitted motion next.\n\n"
    "Examples\n--------\n"
    "Noisy position samples of a uniformly accelerated motion (0.5 t**2), fitted\n"
    "with a quadratic held at rest at t = 0:\n\n"
    ">>> import numpy as np\n"
    ">>> from pykesta.planning import fit\n"
    ">>> rng = np.random.default_rng(7)\n"
    ">>> t = np.linspace(0.0, 2.0, 200)\n"
    ">>> y = 0.5 * t**2 + 0.01 * rng.normal(size=t.size)\n"
    ">>> traj = fit(t, y, p=2, n=4, constraints=[(0.0, 0.0, 0), (0.0, 0.0, 1)])\n"
    ">>> round(traj(0.0, 1), 12) + 0.0, round(traj(1.0), 2), round(traj(2.0, 1), 1)\n"
    "(0.0, 0.5, 2.0)\n";

#define PYKESTA_FAST(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f))

PyMethodDef construction_methods[] = {
    {"interpolate", PYKESTA_FAST(py_interpolate), METH_FASTCALL | METH_KEYWORDS, interpolate_doc},
    {"fit", PYKESTA_FAST(py_fit), METH_FASTCALL | METH_KEYWORDS, fit_doc},
    {nullptr, nullptr, 0, nullptr}};

void init_construction(PyObject*) {}

} // namespace pykesta::planning
