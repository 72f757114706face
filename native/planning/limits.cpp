// check_limits and retime: the extrema of physical quantities against limits.
#include "planning/analysis.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/gil.h"
#include "planmath/analysis.h"

#include <cmath>
#include <vector>

namespace pykesta::planning {

namespace {

// A limit holds when it is exceeded by no more than this fraction of the
// bound, so that a trajectory meeting it with equality after rounding passes.
constexpr double limit_slack = 1e-12;

struct Quantity {
    const char* name;
    int32_t physical_order; // 0 position, 1 velocity, 2 acceleration, 3 jerk
};

constexpr Quantity position{"position", 0}, velocity{"velocity", 1},
    acceleration{"acceleration", 2}, jerk{"jerk", 3};

struct Limit {
    double lower;
    double upper;
};

[[noreturn]] void raise_bad_limit(const char* name, PyObject* obj) {
    raise_format(PyExc_ValueError,
                 "'%s' must be a positive number or a pair (lower, upper) with lower <= upper, "
                 "got %.200R",
                 name, obj);
}

Limit read_limit(PyObject* obj, const char* name) {
    if (PyTuple_Check(obj) || PyList_Check(obj)) {
        if (PySequence_Size(obj) != 2) raise_bad_limit(name, obj);
        Ref lower = Ref::steal(PySequence_GetItem(obj, 0));
        Ref upper = Ref::steal(PySequence_GetItem(obj, 1));
        const Limit limit{read_double(lower.get(), name, 0.0), read_double(upper.get(), name, 0.0)};
        if (!(limit.lower <= limit.upper)) raise_bad_limit(name, obj);
        return limit;
    }
    const double bound = read_double(obj, name, 0.0);
    if (!(bound > 0.0)) raise_bad_limit(name, obj);
    return {-bound, bound};
}

// The derivative of the trajectory that is the quantity; ValueError below its order.
int32_t relative_order(const TrajectoryData& traj, const Quantity& quantity) {
    if (static_cast<int64_t>(quantity.physical_order) < static_cast<int64_t>(traj.order))
        raise_format(PyExc_ValueError,
                     "'%s' is of order %d, below the order of 'traj' (%lu): the trajectory "
                     "describes a higher derivative",
                     quantity.name, quantity.physical_order,
                     static_cast<unsigned long>(traj.order));
    return quantity.physical_order - static_cast<int32_t>(traj.order);
}

struct Given {
    const Quantity& quantity;
    PyObject* limit; // null or None when not given
};

bool present(PyObject* obj) { return obj != nullptr && obj != Py_None; }

// The limits given, read, with the exact extrema of their quantities (all
// found in one pass over the spans).
struct Checked {
    const Quantity* quantity;
    Limit limit;
    planmath::Extrema found;
};

std::vector<Checked> check_given(const TrajectoryData& traj, const Given* given, int count) {
    std::vector<Checked> checked;
    std::vector<int32_t> orders;
    for (int i = 0; i < count; ++i) {
        if (!present(given[i].limit)) continue;
        const Limit limit = read_limit(given[i].limit, given[i].quantity.name);
        orders.push_back(relative_order(traj, given[i].quantity));
        checked.push_back({&given[i].quantity, limit, {}});
    }
    if (checked.empty()) return checked;
    std::vector<planmath::Extrema> found(checked.size());
    run_without_gil_if(traj.n() - traj.p() >= unlocked_spans, [&] {
        planmath::extrema_of_orders(traj.spline, orders.data(), static_cast<int32_t>(orders.size()),
                                    traj.start(), traj.stop(), found.data());
    });
    for (std::size_t i = 0; i < checked.size(); ++i) checked[i].found = found[i];
    return checked;
}

bool within(const planmath::Extrema& found, const Limit& limit) {
    return found.min >= limit.lower - limit_slack * std::fabs(limit.lower) &&
           found.max <= limit.upper + limit_slack * std::fabs(limit.upper);
}

// ---- the report: a dict of LimitCheck items with an `ok` property ----------------------

const char limit_check_doc[] =
    "LimitCheck(min, tmin, max, tmax, lower, upper, ok)\n\n"
    "One quantity checked against its limit: its extrema, where they are\n"
    "reached, the limit and whether it holds, as a named tuple.\n\n"
    "Parameters\n----------\n"
    "min : float\n"
    "    The quantity's infimum.\n"
    "tmin : float\n"
    "    The earliest time of the infimum.\n"
    "max : float\n"
    "    The quantity's supremum.\n"
    "tmax : float\n"
    "    The earliest time of the supremum.\n"
    "lower, upper : float\n"
    "    The limit: -L and L for a single bound L, else the pair given.\n"
    "ok : bool\n"
    "    Whether lower <= min and max <= upper, each up to 1e-12 of the bound.\n\n"
    "See Also\n--------\n"
    "check_limits : Returns them in a LimitReport.\n"
    "Extrema : The extrema alone.\n\n"
    "Examples\n--------\n"
    ">>> from pykesta.planning import check_limits, profile\n"
    ">>> move = profile(1.0, velocity=1.0, acceleration=1.0)\n"
    ">>> check = check_limits(move, acceleration=(-0.5, 2.0))[\"acceleration\"]\n"
    ">>> check.ok, check.lower, check.upper, round(check.min, 6)\n"
    "(False, -0.5, 2.0, -1.0)\n";

const char limit_report_doc[] =
    "LimitReport: the result of check_limits.\n\n"
    "A dict from each quantity checked (\"position\", \"velocity\", \"acceleration\",\n"
    "\"jerk\") to its LimitCheck, with ``ok``, true when every limit holds.\n\n"
    "Attributes\n----------\n"
    "ok : bool\n"
    "    True when every limit of the report holds.\n\n"
    "See Also\n--------\n"
    "check_limits : Returns it.\n"
    "LimitCheck : Its items.\n\n"
    "Examples\n--------\n"
    ">>> from pykesta.planning import check_limits, profile\n"
    ">>> move = profile(1.0, velocity=1.0, acceleration=1.0)\n"
    ">>> report = check_limits(move, velocity=0.5, jerk=5.0)\n"
    ">>> sorted(report), report.ok\n"
    "(['jerk', 'velocity'], False)\n";

const char report_ok_doc[] =
    "True when every limit of the report holds.\n\n"
    "Returns\n-------\n"
    "bool\n"
    "    Whether every LimitCheck in the report is ok; True for an empty report.\n\n"
    "See Also\n--------\n"
    "LimitCheck : One quantity checked against its limit.\n\n"
    "Examples\n--------\n"
    ">>> from pykesta.planning import check_limits, profile\n"
    ">>> move = profile(1.0, velocity=1.0, acceleration=1.0)\n"
    ">>> check_limits(move, velocity=1.0, acceleration=1.0).ok\n"
    "True\n"
    ">>> check_limits(move).ok\n"
    "True\n";

PyObject* report_ok(PyObject* self, void*) {
    return guard_object([&] {
        Py_ssize_t position = 0;
        PyObject *key, *item;
        while (PyDict_Next(self, &position, &key, &item)) {
            Ref ok = Ref::steal(PyObject_GetAttrString(item, "ok"));
            const int truth = PyObject_IsTrue(ok.get());
            check_status(truth);
            if (!truth) return Ref::borrow(Py_False);
        }
        return Ref::borrow(Py_True);
    });
}

PyGetSetDef report_getset[] = {{"ok", report_ok, nullptr, report_ok_doc, nullptr},
                               {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyType_Slot report_slots[] = {
    {Py_tp_getset, report_getset}, {Py_tp_doc, const_cast<char*>(limit_report_doc)}, {0, nullptr}};

PyType_Spec report_spec = {"pykesta.planning.LimitReport", 0, 0, Py_TPFLAGS_DEFAULT, report_slots};

// ---- the functions -------------------------------------------------------------------

void check_positional(const char* func, Py_ssize_t nargsf) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (nargs > 1)
        raise_format(PyExc_TypeError, "%s() takes 1 positional argument but %zd were given", func,
                     nargs);
}

Ref check_limits(PyObject* traj_obj, const Given* given, int count) {
    TrajectoryData traj = read_trajectory(traj_obj, "traj");
    Ref report = Ref::steal(PyObject_CallNoArgs(module_state().limit_report_type.get()));
    for (const Checked& c : check_given(traj, given, count)) {
        const Limit& limit = c.limit;
        const planmath::Extrema& found = c.found;
        Ref item = make_named_tuple(
            module_state().limit_check_type.get(), new_float(found.min), new_float(found.tmin),
            new_float(found.max), new_float(found.tmax), new_float(limit.lower),
            new_float(limit.upper), Ref::borrow(within(found, limit) ? Py_True : Py_False));
        check_status(PyDict_SetItemString(report.get(), c.quantity->name, item.get()));
    }
    return report;
}

// The time scale k that brings the quantity within its limit with equality on
// its worse side: the quantity scales by k^-order, order its physical order.
// 0 when the quantity is zero throughout (any k meets the limit).
double required_scale(const Checked& checked) {
    const Quantity& quantity = *checked.quantity;
    const Limit& limit = checked.limit;
    const planmath::Extrema& found = checked.found;
    if (std::isnan(found.min) || std::isnan(found.max) || std::isinf(found.min) ||
        std::isinf(found.max))
        raise_format(PyExc_ValueError, "'traj' has a %s that is not finite", quantity.name);
    double ratio = 0.0; // the largest of peak / bound over the two sides
    if (found.max > 0.0) {
        if (!(limit.upper > 0.0))
            raise_format(PyExc_ValueError,
                         "'%s' cannot be met by retiming: the upper bound is %R and the "
                         "trajectory reaches %R",
                         quantity.name, new_float(limit.upper).get(), new_float(found.max).get());
        ratio = std::fmax(ratio, found.max / limit.upper);
    }
    if (found.min < 0.0) {
        if (!(limit.lower < 0.0))
            raise_format(PyExc_ValueError,
                         "'%s' cannot be met by retiming: the lower bound is %R and the "
                         "trajectory reaches %R",
                         quantity.name, new_float(limit.lower).get(), new_float(found.min).get());
        ratio = std::fmax(ratio, found.min / limit.lower);
    }
    if (ratio == 0.0) return 0.0;
    return quantity.physical_order == 0 ? 0.0 : std::pow(ratio, 1.0 / quantity.physical_order);
}

Ref retime(PyObject* traj_obj, const Given* given, int count) {
    TrajectoryData traj = read_trajectory(traj_obj, "traj");
    double k = 0.0;
    for (const Checked& c : check_given(traj, given, count)) k = std::fmax(k, required_scale(c));
    if (!(k > 0.0)) k = 1.0; // nothing limited moves: a copy
    if (!std::isfinite(k))
        raise(PyExc_ValueError, "'traj' cannot be retimed: the time scale would be infinite");
    return scaled_in_time(traj, k);
}

} // namespace

PyObject* py_check_limits(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        check_positional("check_limits", nargs);
        auto [traj, p, v, a, j] = parse_args(
            Params<5>{"check_limits", {"traj", "position", "velocity", "acceleration", "jerk"}, 1},
            args, nargs, kw);
        const Given given[] = {{position, p}, {velocity, v}, {acceleration, a}, {jerk, j}};
        return check_limits(traj, given, 4);
    });
}

PyObject* py_retime(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
    return guard_object([&] {
        check_positional("retime", nargs);
        auto [traj, v, a, j] = parse_args(
            Params<4>{"retime", {"traj", "velocity", "acceleration", "jerk"}, 1}, args, nargs, kw);
        const Given given[] = {{velocity, v}, {acceleration, a}, {jerk, j}};
        return retime(traj, given, 3);
    });
}

const char check_limits_doc[] =
    "check_limits(traj, *, position=None, velocity=None, acceleration=None, jerk=None)\n--\n\n"
    "Whether the trajectory stays within limits everywhere, not just at samples.\n\n"
    "A quantity's derivative of the trajectory is its physical order (position 0,\n"
    "velocity 1, acceleration 2, jerk 3) minus traj.order; its exact extrema are\n"
    "compared with the limit, which holds when exceeded by no more than 1e-12 of\n"
    "the bound.\n\n"
    "Parameters\n----------\n"
    "traj : Trajectory1d\n"
    "    The trajectory to check; its order says what it describes.\n"
    "position, velocity, acceleration, jerk : float or (float, float), optional\n"
    "    A positive L (meaning -L .. L) or a pair (lower, upper); quantities not\n"
    "    given are not checked.\n\n"
    "Returns\n-------\n"
    "LimitReport\n"
    "    A dict from each given quantity's name to its LimitCheck (min, tmin, max,\n"
    "    tmax, lower, upper, ok), and ok: every limit holds.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    \"Argument 'traj' has incorrect type (expected\n"
    "    pykesta.curvetypes.Trajectory1d, got ...)\", \"check_limits() takes 1\n"
    "    positional argument but 2 were given\", or \"'velocity' must be a real\n"
    "    number, got ...\" for a limit that is no number (likewise the others).\n"
    "ValueError\n"
    "    \"'velocity' must be a positive number or a pair (lower, upper) with\n"
    "    lower <= upper, got ...\" for a malformed limit, and for a quantity below\n"
    "    the trajectory's order \"'position' is of order 0, below the order of\n"
    "    'traj' (1): the trajectory describes a higher derivative\".\n\n"
    "See Also\n--------\n"
    "retime : The fastest time scaling that meets the limits.\n"
    "extrema : The exact extrema of any derivative.\n"
    "LimitReport, LimitCheck : The result and its items.\n\n"
    "Examples\n--------\n"
    "A trapezoidal move of 2 m cruising at 1 m/s, checked against a velocity\n"
    "limit of 0.8 m/s and an acceleration limit of 1.5 m/s**2:\n\n"
    ">>> from pykesta.planning import check_limits, profile\n"
    ">>> move = profile(2.0, velocity=1.0, acceleration=1.0)\n"
    ">>> report = check_limits(move, velocity=0.8, acceleration=1.5)\n"
    ">>> report.ok, report[\"velocity\"].ok, report[\"acceleration\"].ok\n"
    "(False, False, True)\n"
    ">>> v = report[\"velocity\"]\n"
    ">>> round(v.max, 6), round(v.tmax, 6), (v.lower, v.upper)\n"
    "(1.0, 1.0, (-0.8, 0.8))\n";

const char retime_doc[] =
    "retime(traj, *, velocity=None, acceleration=None, jerk=None)\n--\n\n"
    "The fastest uniform time scaling of the trajectory that meets every limit.\n\n"
    "Scaling time by k about traj.start multiplies the d-th time derivative by\n"
    "k**-d, so k is the largest over the limits of (peak / bound)**(1 / d), the\n"
    "worse side of a pair counting. The values are multiplied by k**-traj.order,\n"
    "so that the motion follows the same path. k < 1 speeds the motion up.\n\n"
    "Parameters\n----------\n"
    "traj : Trajectory1d\n"
    "    The trajectory to retime; its order says what it describes.\n"
    "velocity, acceleration, jerk : float or (float, float), optional\n"
    "    A positive L (meaning -L .. L) or a pair (lower, upper) with lower <= 0\n"
    "    <= upper on every side the trajectory reaches.\n\n"
    "Returns\n-------\n"
    "Trajectory1d\n"
    "    On [start, start + k (stop - start)]: the tightest limit holds with\n"
    "    equality; a copy when the limited quantities are zero throughout.\n\n"
    "Raises\n------\n"
    "TypeError\n"
    "    \"Argument 'traj' has incorrect type (expected\n"
    "    pykesta.curvetypes.Trajectory1d, got ...)\", \"retime() takes 1\n"
    "    positional argument but 2 were given\", or \"'velocity' must be a real\n"
    "    number, got ...\" (likewise the others).\n"
    "ValueError\n"
    "    For a malformed limit or a quantity below the trajectory's order, as in\n"
    "    check_limits; \"'velocity' cannot be met by retiming: the upper bound is\n"
    "    0.0 and the trajectory reaches ...\" for a side the limit closes (likewise\n"
    "    the lower bound); \"'traj' has a velocity that is not finite\"; \"'traj'\n"
    "    cannot be retimed: the time scale would be infinite\".\n\n"
    "See Also\n--------\n"
    "check_limits : Whether the limits hold, and by how much.\n"
    "synchronize : Stretch trajectories to one duration.\n"
    "profile : The time-optimal move under the same kind of limits.\n\n"
    "Examples\n--------\n"
    "A move planned for 1 m/s, slowed down to a 0.5 m/s limit: it takes twice\n"
    "as long, covers the same 2 m and meets the limit with equality.\n\n"
    ">>> from pykesta.planning import check_limits, profile, retime\n"
    ">>> move = profile(2.0, velocity=1.0, acceleration=1.0)\n"
    ">>> slow = retime(move, velocity=0.5)\n"
    ">>> round(slow.stop, 9), round(slow(slow.stop), 9)\n"
    "(6.0, 2.0)\n"
    ">>> report = check_limits(slow, velocity=0.5, acceleration=1.0)\n"
    ">>> report.ok, round(report[\"velocity\"].max, 9), round(report[\"acceleration\"].max, 9)\n"
    "(True, 0.5, 0.25)\n";

void init_limits(PyObject* module) {
    module_state().limit_check_type =
        add_named_tuple(module, "LimitCheck",
                        {{"min", "The quantity's infimum."},
                         {"tmin", "The earliest time of the infimum."},
                         {"max", "The quantity's supremum."},
                         {"tmax", "The earliest time of the supremum."},
                         {"lower", "The lower bound of the limit."},
                         {"upper", "The upper bound of the limit."},
                         {"ok", "Whether the limit holds."}},
                        limit_check_doc);
    Ref dict_type = Ref::borrow(reinterpret_cast<PyObject*>(&PyDict_Type));
    Ref bases = Ref::steal(PyTuple_Pack(1, dict_type.get()));
    module_state().limit_report_type =
        Ref::steal(PyType_FromSpecWithBases(&report_spec, bases.get()));
    check_status(
        PyModule_AddObjectRef(module, "LimitReport", module_state().limit_report_type.get()));
}

} // namespace pykesta::planning
