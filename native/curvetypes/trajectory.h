// The trajectory record: access to its arrays, building new trajectories,
// and the overridable operations that other files of the module call.
#pragma once

#include "common/dispatch.h"
#include "curvetypes/arrays.h"
#include "curvetypes/module_state.h"
#include "curvetypes/storage.h"
#include "curvetypes/types.h"

namespace pykesta::curvetypes {

inline Trajectory1dObject* as_trajectory(PyObject* obj) {
    return reinterpret_cast<Trajectory1dObject*>(obj);
}

inline Arrays require_arrays(PyObject* self) { return require_arrays(as_trajectory(self)); }

// A new plain Trajectory1d adopting both buffers (released when it ends,
// whatever the visible owner flag says).
Ref new_trajectory(OwnedArray knots, OwnedArray cpts, int32_t p, int32_t n, uint32_t order,
                   bool owner_flag = true);

// Replaces the arrays of `self` by the two holders (either may be empty).
void set_storage(Trajectory1dObject* self, Ref knot_storage, Ref cpts_storage);

// Raises TypeError "Cannot convert <type> to pykesta.curvetypes.Trajectory1d"
// unless `obj` is a trajectory; returns it.
Ref expect_trajectory(Ref obj);

// True when x lies left of `start` / right of `stop`, both read as the object's
// attributes (so redefined properties count) and compared as interpreter numbers.
bool before_start(PyObject* self, double x);
bool after_stop(PyObject* self, double x);

// Overridable operations: a redefinition in an interpreter subclass is called
// when there is one, the native operation otherwise.
Ref copy(PyObject* self);
double peval(PyObject* self, double x);
void ceval(PyObject* self, PyObject* xp);
double dpeval(PyObject* self, double x, int32_t nu);
void dceval(PyObject* self, PyObject* xp, int32_t nu);
Ref sget_knotvector(PyObject* self);
Ref sget_cpts(PyObject* self);
void dset_data(PyObject* self, PyObject* knots, PyObject* cpts, int32_t p, int32_t n,
               uint32_t order, bool owner);

} // namespace pykesta::curvetypes
