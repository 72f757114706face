// Native entry points of pykesta.trajops for other native modules. Each is
// published in the module's "__native_api__" dict under its name, as a
// capsule named by its signature text; bind one with
//   pykesta::import_function(trajops_module, "join", pykesta::trajops::join_signature)
// (common/native_api.h). An entry returning an object returns a new
// reference, or null with the interpreter's error set; `savexml` reports a
// failure through the error indicator alone. `derivative`/`antiderivative`
// take nu explicitly: pass 1 for the interpreter functions' default.
#pragma once

#include "curvetypes/curvetypes.h"

namespace pykesta::trajops {

using curvetypes::Point1dObject;
using curvetypes::PyKESTAObjectObject;
using curvetypes::Trajectory1dObject;

#define PYKESTA_TRAJOPS_ENTRIES(X)                                                                 \
    X(join, Trajectory1dObject*, (Trajectory1dObject * traj1, Trajectory1dObject * traj2))         \
    X(trajsli, PyObject*, (Trajectory1dObject * traj, double x))                                   \
    X(mirror, Trajectory1dObject*, (Trajectory1dObject * traj))                                    \
    X(add, Trajectory1dObject*, (Trajectory1dObject * traj1, Trajectory1dObject * traj2))          \
    X(rshift, Trajectory1dObject*, (Trajectory1dObject * traj, double x))                          \
    X(ashift, Trajectory1dObject*, (Trajectory1dObject * traj, double x))                          \
    X(hscale, Trajectory1dObject*, (Trajectory1dObject * traj, double x))                          \
    X(adapt, Trajectory1dObject*, (Trajectory1dObject * traj, double start, double stop))          \
    X(derivative, Trajectory1dObject*, (Trajectory1dObject * traj, int32_t nu))                    \
    X(antiderivative, Trajectory1dObject*, (Trajectory1dObject * traj, int32_t nu))                \
    X(savexml, void, (PyKESTAObjectObject * obj, PyObject * fname, PyObject * ID))                 \
    X(setValueTr_point, Trajectory1dObject*, (Trajectory1dObject * traj, Point1dObject * p))       \
    X(setValueTr_tuple, Trajectory1dObject*, (Trajectory1dObject * traj, PyObject * p))            \
    X(setValueAm_point, Trajectory1dObject*, (Trajectory1dObject * traj, Point1dObject * p))       \
    X(setValueAm_tuple, Trajectory1dObject*, (Trajectory1dObject * traj, PyObject * p))            \
    X(setValueSm_point, Trajectory1dObject*,                                                       \
      (Trajectory1dObject * traj1, Trajectory1dObject * traj2, Point1dObject * p))                 \
    X(setValueSm_tuple, Trajectory1dObject*,                                                       \
      (Trajectory1dObject * traj1, Trajectory1dObject * traj2, PyObject * p))

#define PYKESTA_DECLARE_ENTRY(name, ret, params)                                                   \
    using name##_fn = ret(*) params;                                                               \
    inline constexpr const char name##_signature[] = #ret " " #params;

PYKESTA_TRAJOPS_ENTRIES(PYKESTA_DECLARE_ENTRY)

#undef PYKESTA_DECLARE_ENTRY

} // namespace pykesta::trajops
