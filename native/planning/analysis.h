// The analysis group of pykesta.planning, split over two files: evaluation
// (sample, integral, extrema, roots) and limits (check_limits, retime).
#pragma once

#include "planning/planning.h"

namespace pykesta::planning {

// [a, b] from optional arguments, defaulting to the trajectory's domain;
// ValueError naming the argument when it is not finite or lies outside the
// domain, or when a > b and `reversed_allowed` is false.
struct Interval {
    double a;
    double b;
};
Interval read_interval(const TrajectoryData& traj, PyObject* a, PyObject* b, bool reversed_allowed);

// The work of an analysis over this many spans runs without the interpreter lock.
inline constexpr int32_t unlocked_spans = 2048;

void init_limits(PyObject* module);

PyObject* py_check_limits(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* py_retime(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
extern const char check_limits_doc[];
extern const char retime_doc[];

} // namespace pykesta::planning
