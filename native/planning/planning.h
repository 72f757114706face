// pykesta.planning: what its files share. Each file owns a group of the
// module's functions: a null-terminated method table and an initialiser that
// adds the group's types (named tuples) to the module; module.cpp joins them.
#pragma once

#include "common/errors.h"
#include "common/owned_array.h"
#include "curvetypes/curvetypes.h"
#include "knotmath/kernels.h"
#include "planmath/pieces.h"

#include <cstdint>
#include <initializer_list>

namespace pykesta::planning {

extern PyMethodDef analysis_methods[];
extern PyMethodDef construction_methods[];
extern PyMethodDef profile_methods[];

void init_analysis(PyObject* module);
void init_construction(PyObject* module);
void init_profiles(PyObject* module);

// The kernels of pykesta.knotmath, bound at import.
struct Kernels {
#define PYKESTA_KERNEL_POINTER(name, ret, params) knotmath::name##_fn name;
    PYKESTA_KERNELS(PYKESTA_KERNEL_POINTER)
#undef PYKESTA_KERNEL_POINTER
};

// Everything pykesta.planning keeps between calls: the classes of
// pykesta.curvetypes, the kernels and the module's own result types.
struct ModuleState {
    Ref curvetypes; // keeps the module that published `api` alive
    const curvetypes::CurvetypesAPI* api = nullptr;
    Kernels kernels{};
    Ref extrema_type;
    Ref limit_check_type;
    Ref limit_report_type;
};

// Set by the import, released only when the import fails: the functions are
// reachable for as long as the module is, which single-phase modules never leave.
extern ModuleState* current_state;

inline ModuleState& module_state() { return *current_state; }

// Bind the classes of pykesta.curvetypes (checking the instance size this
// module was built against) and the kernels; throw python_error.
void bind_curvetypes(ModuleState& state, Ref curvetypes_module);
void bind_kernels(ModuleState& state, PyObject* knotmath_module);

// A trajectory argument read for numerical work: its arrays and the
// references that keep them alive (also while the interpreter lock is
// released). Checked: a Trajectory1d holding arrays whose sizes fit (n >= p
// >= 0) and whose knots are finite and nondecreasing; the domain may have
// zero width.
struct TrajectoryData {
    planmath::Spline spline;
    uint32_t order;
    Ref knot_storage;
    Ref cpts_storage;

    int32_t p() const { return spline.p; }
    int32_t n() const { return spline.n; }
    const double* knots() const { return spline.U; }
    const double* cpts() const { return spline.P; }
    int32_t knot_count() const { return spline.n + spline.p + 2; }
    int32_t cpts_count() const { return spline.n + 1; }
    double start() const { return spline.U[0]; }
    double stop() const { return spline.U[knot_count() - 1]; }
};

// TypeError for anything but a trajectory, ValueError naming `name` for
// arrays that do not make a B-spline.
TrajectoryData read_trajectory(PyObject* obj, const char* name);

// A new Trajectory1d adopting both buffers (n + p + 2 knots, n + 1 control points).
Ref new_trajectory(OwnedArray knots, OwnedArray cpts, int32_t p, uint32_t order);

// The trajectory run k times as slowly, k > 0 and finite: time scaled by k
// about its start and the values by k^-order, so that the motion it stands
// for follows the same path (a velocity profile still covers the same
// distance).
Ref scaled_in_time(const TrajectoryData& traj, double k);

// Anything numpy turns into float64, as a C-contiguous array of any shape
// (a scalar gives ndim 0). TypeError/ValueError naming `name` otherwise.
struct FloatArray {
    Ref array;
    const double* data;
    int64_t size;
    int ndim;
};
FloatArray read_float_array(PyObject* obj, const char* name);

// A new float64 array of the given shape and its data.
struct NewArray {
    Ref array;
    double* data;
};
NewArray new_float_array(int ndim, const int64_t* shape);

// A real number argument; `fallback` when it is missing (null) or None.
// TypeError naming `name` when it is no number.
double read_double(PyObject* obj, const char* name, double fallback);
// As read_double, but the value must be finite (ValueError otherwise).
double read_finite(PyObject* obj, const char* name, double fallback);
// A non-negative int argument; `fallback` when missing.
int32_t read_order(PyObject* obj, const char* name, int32_t fallback);

// A field of a named tuple and its docstring.
struct Field {
    const char* name;
    const char* doc;
};

// Creates collections.namedtuple(name, <the fields' names>) with __module__
// pykesta.planning, the docstring `doc` and the fields' docstrings, adds it to
// the module and returns it.
Ref add_named_tuple(PyObject* module, const char* name, std::initializer_list<Field> fields,
                    const char* doc);

// An instance of a named tuple class from its field values.
template <class... Values> Ref make_named_tuple(PyObject* type, Values... values) {
    PyObject* argv[] = {nullptr, values.get()...};
    return Ref::steal(PyObject_Vectorcall(
        type, argv + 1, sizeof...(Values) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

} // namespace pykesta::planning
