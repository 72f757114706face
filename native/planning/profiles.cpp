// Time-optimal point-to-point profiles: profile, synchronize, move.
#include "planning/planning.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "planmath/rest_to_rest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace pykesta::planning {

namespace {

// The interned keyword names of profile and move: a call spelling them in its
// source passes these very objects, so matching is a pointer comparison.
struct Keywords {
    PyObject* velocity;
    PyObject* acceleration;
    PyObject* jerk;
    PyObject* start;
} keywords;

// The arguments of profile and move: the first positional, the rest keyword-only.
struct MoveArgs {
    PyObject* first = nullptr;
    PyObject* velocity = nullptr;
    PyObject* acceleration = nullptr;
    PyObject* jerk = nullptr;
    PyObject* start = nullptr;
};

MoveArgs parse_move_args(const char* func, const char* first_name, PyObject* const* args,
                         Py_ssize_t nargsf, PyObject* kwnames) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (nargs > 1)
        raise_format(PyExc_TypeError, "%s() takes 1 positional argument but %zd were given", func,
                     nargs);
    MoveArgs out;
    if (nargs == 1) out.first = args[0];
    PyObject** slots[] = {&out.velocity, &out.acceleration, &out.jerk, &out.start};
    PyObject* names[] = {keywords.velocity, keywords.acceleration, keywords.jerk, keywords.start};
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        PyObject** slot = nullptr;
        for (int i = 0; i < 4 && slot == nullptr; ++i)
            if (key == names[i]) slot = slots[i];
        for (int i = 0; i < 4 && slot == nullptr; ++i)
            if (PyUnicode_Check(key) && PyUnicode_Compare(key, names[i]) == 0) slot = slots[i];
        if (slot == nullptr && PyUnicode_Check(key) &&
            PyUnicode_CompareWithASCIIString(key, first_name) == 0) {
            if (nargs == 1)
                raise_format(PyExc_TypeError, "%s() got multiple values for argument '%s'", func,
                             first_name);
            slot = &out.first;
        }
        if (slot == nullptr)
            raise_format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", func,
                         key);
        *slot = args[nargs + k];
    }
    if (out.first == nullptr)
        raise_format(PyExc_TypeError, "%s() missing 1 required positional argument: '%s'", func,
                     first_name);
    if (out.velocity == nullptr || out.acceleration == nullptr)
        raise_format(PyExc_TypeError, "%s() missing 1 required keyword-only argument: '%s'", func,
                     out.velocity == nullptr ? "velocity" : "acceleration");
    return out;
}

double positive_limit(double value, const char* name) {
    if (!(value > 0.0) || !std::isfinite(value))
        raise_format(PyExc_ValueError, "'%s' must be positive and finite, got %R", name,
                     new_float(value).get());
    return value;
}

double moved_distance(double value, const char* name) {
    if (value == 0.0 || !std::isfinite(value))
        raise_format(PyExc_ValueError, "'%s' must be finite and not 0, got %R", name,
                     new_float(value).get());
    return value;
}

Ref trajectory_of(const planmath::ProfileSpline& spline, double distance, double start) {
    if (spline.knot_count == 0)
        raise_format(PyExc_ValueError,
                     "the move over distance=%R starting at start=%R has phases too short or "
                     "too long for doubles under these limits",
                     new_float(distance).get(), new_float(start).get());
    OwnedArray knots(spline.knot_count);
    std::memcpy(knots.data(), spline.knots.data(), sizeof(double) * spline.knot_count);
    OwnedArray cpts(spline.cpts_count);
    std::memcpy(cpts.data(), spline.cpts.data(), sizeof(double) * spline.cpts_count);
    return new_trajectory(std::move(knots), std::move(cpts), spline.degree, 0);
}

Ref profile_trajectory(double distance, const planmath::MoveLimits& limits, double start) {
    planmath::Phases phases = planmath::rest_to_rest_phases(std::fabs(distance), limits);
    return trajectory_of(planmath::profile_spline(phases, distance, start), distance, start);
}

// `traj` run k times as slowly (scaled_in_time), its domain ending exactly at `stop`.
Ref stretched(const TrajectoryData& traj, double k, double stop) {
    Ref result = scaled_in_time(traj, k);
    auto* t = reinterpret_cast<curvetypes::Trajectory1dObject*>(result.get());
    const int32_t count = t->n + t->p + 2;
    const double last = t->_knotvector[count - 1];
    for (int32_t i = 0; i < count; ++i)
        if (t->_knotvector[i] >= last || t->_knotvector[i] > stop) t->_knotvector[i] = stop;
    return result;
}

// Each trajectory stretched to `duration` (> 0) from its own start.
std::vector<Ref> synchronized(const std::vector<TrajectoryData>& trajs, double duration) {
    std::vector<Ref> out;
    out.reserve(trajs.size());
    for (const TrajectoryData& traj : trajs) {
        const double width = traj.stop() - traj.start();
        out.push_back(stretched(traj, duration / width, traj.start() + duration));
    }
    return out;
}

Ref list_of(std::vector<Ref>& items) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    for (std::size_t i = 0; i < items.size(); ++i)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), items[i].release());
    return list;
}

// ---- profile ----------------------------------------------------------------

PyObject* profile(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guard_object([&] {
        MoveArgs a = parse_move_args("profile", "distance", args, nargsf, kwnames);
        const double distance = moved_distance(read_double(a.first, "distance", 0.0), "distance");
        planmath::MoveLimits limits{
            positive_limit(read_double(a.velocity, "velocity", 0.0), "velocity"),
            positive_limit(read_double(a.acceleration, "acceleration", 0.0), "acceleration"),
            a.jerk == nullptr || a.jerk == Py_None
                ? 0.0
                : positive_limit(read_double(a.jerk, "jerk", 0.0), "jerk")};
        const double start = read_finite(a.start, "start", 0.0);
        return profile_trajectory(distance, limits, start);
    });
}

// ---- synchronize ------------------------------------------------------------

std::vector<TrajectoryData> read_trajectories(PyObject* obj) {
    Ref sequence = Ref::steal_or_null(PySequence_Fast(obj, ""));
    if (!sequence) {
        PyErr_Clear();
        raise_format(PyExc_TypeError, "'trajs' must be a sequence of Trajectory1d, got %.200R",
                     obj);
    }
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence.get());
    std::vector<TrajectoryData> trajs;
    trajs.reserve(static_cast<std::size_t>(count));
    char name[32];
    for (Py_ssize_t i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "trajs[%zd]", i);
        trajs.push_back(read_trajectory(PySequence_Fast_GET_ITEM(sequence.get(), i), name));
        if (!(trajs.back().stop() > trajs.back().start()))
            raise_format(PyExc_ValueError, "'%s' has a domain of zero width, at %R", name,
                         new_float(trajs.back().start()).get());
    }
    return trajs;
}

PyObject* synchronize(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guard_object([&] {
        static const Params<2> params{"synchronize", {"trajs", "duration"}, 1};
        Args<2> a = parse_args(params, args, nargsf, kwnames);
        std::vector<TrajectoryData> trajs = read_trajectories(a[0]);
        double longest = 0.0;
        for (const TrajectoryData& traj : trajs)
            longest = std::max(longest, traj.stop() - traj.start());
        double duration = longest;
        if (a[1] != nullptr && a[1] != Py_None) {
            duration = read_double(a[1], "duration", 0.0);
            if (!(duration > 0.0) || !std::isfinite(duration))
                raise_format(PyExc_ValueError, "'duration' must be positive and finite, got %R",
                             new_float(duration).get());
            if (duration < longest * (1.0 - 1e-12))
                raise_format(PyExc_ValueError,
                             "'duration' is %R, shorter than the longest trajectory (%R): "
                             "synchronising would speed it up",
                             new_float(duration).get(), new_float(longest).get());
        }
        std::vector<Ref> out = synchronized(trajs, duration);
        return list_of(out);
    });
}

// ---- move -------------------------------------------------------------------

// A number, or one value per axis.
struct PerAxis {
    FloatArray values;
    const char* name;

    double at(int64_t axis) const { return values.data[values.ndim == 0 ? 0 : axis]; }
};

PerAxis per_axis(PyObject* obj, const char* name, int64_t axes) {
    PerAxis out{read_float_array(obj, name), name};
    if (out.values.ndim > 1 || (out.values.ndim == 1 && out.values.size != axes))
        raise_format(PyExc_ValueError, "'%s' must be a number or %lld values, one per axis, got %R",
                     name, static_cast<long long>(axes), obj);
    return out;
}

double axis_limit(const PerAxis& limit, int64_t axis) {
    if (limit.values.ndim == 0) return positive_limit(limit.at(0), limit.name);
    char name[48];
    std::snprintf(name, sizeof name, "%s[%lld]", limit.name, static_cast<long long>(axis));
    return positive_limit(limit.at(axis), name);
}

// A constant 0 of degree p over [start, stop].
Ref standing_still(int32_t p, double start, double stop) {
    OwnedArray knots(2 * (p + 1));
    for (int32_t i = 0; i <= p; ++i) {
        knots.data()[i] = start;
        knots.data()[p + 1 + i] = stop;
    }
    OwnedArray cpts(p + 1);
    std::fill(cpts.data(), cpts.data() + p + 1, 0.0);
    return new_trajectory(std::move(knots), std::move(cpts), p, 0);
}

PyObject* move(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guard_object([&] {
        MoveArgs a = parse_move_args("move", "distances", args, nargsf, kwnames);
        FloatArray distances = read_float_array(a.first, "distances");
        if (distances.ndim != 1)
            raise_format(PyExc_ValueError, "'distances' must be a sequence of numbers, got %R",
                         a.first);
        const int64_t axes = distances.size;
        const bool jerk_limited = a.jerk != nullptr && a.jerk != Py_None;
        PerAxis velocity = per_axis(a.velocity, "velocity", axes);
        PerAxis acceleration = per_axis(a.acceleration, "acceleration", axes);
        PerAxis jerk = jerk_limited ? per_axis(a.jerk, "jerk", axes) : PerAxis{};
        const double start = read_finite(a.start, "start", 0.0);

        std::vector<Ref> profiles(static_cast<std::size_t>(axes));
        std::vector<TrajectoryData> moving;
        double duration = 0.0;
        char name[48];
        for (int64_t i = 0; i < axes; ++i) {
            planmath::MoveLimits limits{axis_limit(velocity, i), axis_limit(acceleration, i),
                                        jerk_limited ? axis_limit(jerk, i) : 0.0};
            const double distance = distances.data[i];
            if (distance == 0.0) continue;
            std::snprintf(name, sizeof name, "distances[%lld]", static_cast<long long>(i));
            moved_distance(distance, name);
            profiles[i] = profile_trajectory(distance, limits, start);
            moving.push_back(read_trajectory(profiles[i].get(), name));
            duration = std::max(duration, moving.back().stop() - start);
        }
        if (moving.empty())
            raise_format(PyExc_ValueError, "'distances' are all 0, got %R", a.first);
        std::vector<Ref> stretched_profiles = synchronized(moving, duration);
        const int32_t p = jerk_limited ? 3 : 2;
        std::size_t next = 0;
        for (Ref& profile : profiles)
            profile = profile ? std::move(stretched_profiles[next++])
                              : standing_still(p, start, start + duration);
        return list_of(profiles);
    });
}

// ---- docstrings ---------------------------------------------------------------

const char profile_doc[] =
    "profile($module, /, distance, *, velocity, acceleration, jerk=None, start=0.0)\n--\n\n"
    "The time-optimal rest-to-rest move over a distance.\n\n"
    "Without `jerk` the trapezoidal profile (triangular when the velocity limit\n"
    "is not reached), a degree-2 B-spline; with `jerk` the jerk-limited profile\n"
    "of up to seven phases, a degree-3 B-spline. Its interior knots are the\n"
    "phase boundaries, where the acceleration (degree 2) or the jerk (degree 3)\n"
    "changes, each once.\n\n"
    "Parameters\n----------\n"
    "distance : float\n"
    "    Distance travelled, positive or negative, not 0.\n"
    "velocity, acceleration : float\n"
    "    Bounds on the absolute velocity and acceleration, positive.\n"
    "jerk : float, optional\n"
    "    Bound on the absolute jerk, positive; None for no bound.\n"
    "start : float, optional\n"
    "    Time at which the move starts.\n\n"
    "Returns\n-------\n"
    "Trajectory1d\n"
    "    The displacement (order 0), from 0 at rest to `distance` at rest.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    \"profile() missing 1 required keyword-only argument: 'velocity'\"\n"
    "    (likewise 'acceleration'), \"profile() takes 1 positional argument but 2\n"
    "    were given\", or \"'velocity' must be a real number, got ...\" (likewise\n"
    "    the others).\n"
    "ValueError\n"
    "    \"'distance' must be finite and not 0, got 0.0\", \"'velocity' must be\n"
    "    positive and finite, got ...\" (likewise acceleration and jerk), \"'start'\n"
    "    must be finite, got ...\", or \"the move over distance=... starting at\n"
    "    start=... has phases too short or too long for doubles under these\n"
    "    limits\".\n\n"
    "See Also\n--------\n"
    "move : Profiles of several axes that start and stop together.\n"
    "retime : Scale an existing trajectory to limits.\n"
    "check_limits : Verify the limits of any trajectory.\n\n"
    "Notes\n-----\n"
    "The profile is planned for limits 1e-11 (relative) below those given, so\n"
    "that the rounding of the stored displacements does not show as an excess\n"
    "over a limit met with equality.\n\n"
    "Examples\n--------\n"
    ">>> import pykesta.planning as planning\n"
    ">>> x = planning.profile(2.0, velocity=1.0, acceleration=1.0)\n"
    ">>> round(x.stop, 9), round(x.peval(x.stop), 12)\n"
    "(3.0, 2.0)\n\n"
    "A jerk-limited move of 0.3 m (0.5 m/s, 2 m/s**2, 20 m/s**3) takes 0.95 s\n"
    "in seven phases, whose boundaries are the interior knots:\n\n"
    ">>> s = planning.profile(0.3, velocity=0.5, acceleration=2.0, jerk=20.0)\n"
    ">>> s.p, round(s.stop, 9)\n"
    "(3, 0.95)\n"
    ">>> print(s.get_knotvector_asarray()[s.p + 1:-(s.p + 1)].round(9))\n"
    "[0.1  0.25 0.35 0.6  0.7  0.85]\n";

const char synchronize_doc[] =
    "synchronize($module, /, trajs, duration=None)\n--\n\n"
    "The trajectories stretched in time to one duration.\n\n"
    "Each is run k times as slowly about its start (its values scaled by\n"
    "k**-order, so that it follows the same path), k being `duration` over its\n"
    "own. Stretching only slows a motion down, so each stays within the limits\n"
    "it met.\n\n"
    "Parameters\n----------\n"
    "trajs : sequence of Trajectory1d\n"
    "    Trajectories whose domains have a width.\n"
    "duration : float, optional\n"
    "    The common duration, at least the longest one's; by default the\n"
    "    longest one's.\n\n"
    "Returns\n-------\n"
    "list of Trajectory1d\n"
    "    New trajectories, each starting where its original starts.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    \"'trajs' must be a sequence of Trajectory1d, got ...\", \"Argument\n"
    "    'trajs[i]' has incorrect type (expected pykesta.curvetypes.Trajectory1d,\n"
    "    got ...)\" or \"'duration' must be a real number, got ...\".\n"
    "ValueError\n"
    "    \"'trajs[i]' has a domain of zero width, at ...\", \"'duration' must be\n"
    "    positive and finite, got ...\", or \"'duration' is ..., shorter than the\n"
    "    longest trajectory (...): synchronising would speed it up\".\n\n"
    "See Also\n--------\n"
    "move : Profiles of several axes, synchronised.\n"
    "retime : The time scaling that meets limits.\n\n"
    "Examples\n--------\n"
    ">>> import pykesta.planning as planning\n"
    ">>> a = planning.profile(1.0, velocity=1.0, acceleration=1.0)\n"
    ">>> b = planning.profile(4.0, velocity=1.0, acceleration=1.0)\n"
    ">>> [round(t.stop, 9) for t in planning.synchronize([a, b])]\n"
    "[5.0, 5.0]\n"
    ">>> [round(t.stop, 9) for t in planning.synchronize([a, b], duration=8.0)]\n"
    "[8.0, 8.0]\n";

const char move_doc[] =
    "move($module, /, distances, *, velocity, acceleration, jerk=None, start=0.0)\n--\n\n"
    "A time-optimal rest-to-rest move of several axes that start and stop together.\n\n"
    "Each axis gets its `profile`, then all are synchronised to the slowest,\n"
    "which stays time-optimal. An axis with distance 0 gets a constant 0 over\n"
    "the common domain.\n\n"
    "Parameters\n----------\n"
    "distances : sequence of float\n"
    "    Distance per axis, not all 0.\n"
    "velocity, acceleration : float or sequence of float\n"
    "    Bounds on the absolute velocity and acceleration, positive: one for\n"
    "    every axis or one per axis.\n"
    "jerk : float or sequence of float, optional\n"
    "    Bounds on the absolute jerk, likewise; None for no bound.\n"
    "start : float, optional\n"
    "    Time at which the move starts.\n\n"
    "Returns\n-------\n"
    "list of Trajectory1d\n"
    "    The displacement of every axis, all on one domain.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    \"move() missing 1 required keyword-only argument: 'velocity'\" (likewise\n"
    "    'acceleration'), \"move() takes 1 positional argument but 2 were given\",\n"
    "    or \"'velocity' must be real numbers, got ...\" (likewise the others).\n"
    "ValueError\n"
    "    \"'distances' must be a sequence of numbers, got ...\", \"'distances' are\n"
    "    all 0, got ...\", \"'distances[i]' must be finite and not 0, got ...\",\n"
    "    \"'velocity' must be a number or 3 values, one per axis, got ...\" and\n"
    "    \"'velocity[i]' must be positive and finite, got ...\" (likewise the\n"
    "    other limits), or \"'start' must be finite, got ...\".\n\n"
    "See Also\n--------\n"
    "profile : The move of one axis.\n"
    "synchronize : Stretch any trajectories to one duration.\n\n"
    "Examples\n--------\n"
    ">>> import pykesta.planning as planning\n"
    ">>> x, y, z = planning.move([1.0, 4.0, 0.0], velocity=1.0, acceleration=1.0)\n"
    ">>> [round(t.stop, 9) for t in (x, y, z)]\n"
    "[5.0, 5.0, 5.0]\n\n"
    "A jerk-limited move of three axes lasts as long as its slowest axis alone:\n\n"
    ">>> axes = planning.move([0.3, -0.1, 0.05], velocity=0.5, acceleration=2.0, jerk=20.0)\n"
    ">>> slowest = planning.profile(0.3, velocity=0.5, acceleration=2.0, jerk=20.0)\n"
    ">>> [round(a.stop, 9) for a in axes], round(slowest.stop, 9)\n"
    "([0.95, 0.95, 0.95], 0.95)\n";

} // namespace

PyMethodDef profile_methods[] = {
    {"profile", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(profile)),
     METH_FASTCALL | METH_KEYWORDS, profile_doc},
    {"synchronize", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(synchronize)),
     METH_FASTCALL | METH_KEYWORDS, synchronize_doc},
    {"move", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(move)),
     METH_FASTCALL | METH_KEYWORDS, move_doc},
    {nullptr, nullptr, 0, nullptr}};

void init_profiles(PyObject*) {
    if (keywords.velocity != nullptr) return; // interned once for the process
    keywords = {PyUnicode_InternFromString("velocity"), PyUnicode_InternFromString("acceleration"),
                PyUnicode_InternFromString("jerk"), PyUnicode_InternFromString("start")};
    if (!keywords.velocity || !keywords.acceleration || !keywords.jerk || !keywords.start)
        throw python_error{};
}

} // namespace pykesta::planning
