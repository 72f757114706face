// Domain transforms: moving and stretching a trajectory along its time axis in
// place. Only the knot vector changes; control points, degree and order stay.
#include "curvetypes/trajectory.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "curvetypes/operations.h"

namespace pykesta::curvetypes {

// ---- primitives (no redefinition) ---------------------------------------------------

void c_shift(PyObject* self, double x) {
    Trajectory1dObject* t = as_trajectory(self);
    if (t->_knotvector == nullptr) return;
    double* U = t->_knotvector;
    for (int32_t i = 0, count = knot_count(t); i < count; ++i) U[i] += x;
}

void c_hscale(PyObject* self, double k) {
    Trajectory1dObject* t = as_trajectory(self);
    if (t->_knotvector == nullptr) return;
    double* U = t->_knotvector;
    // U[0] is left as it is, so the start of the domain does not move by rounding.
    const double d = (k - 1.0) * U[0];
    for (int32_t i = 1, count = knot_count(t); i < count; ++i) U[i] = k * U[i] - d;
}

// ---- native operations --------------------------------------------------------------

// value - self.<name>, subtracted by the interpreter (a None attribute raises its
// TypeError).
static double minus_attribute(PyObject* self, double value, PyObject* name) {
    Ref attribute = Ref::steal(PyObject_GetAttr(self, name));
    Ref difference = Ref::steal(PyNumber_Subtract(new_float(value).get(), attribute.get()));
    return to_double(difference.get());
}

static void ashift_native(PyObject* self, double x) {
    c_shift(self, minus_attribute(self, x, module_state().names.start));
}

static void adapt_native(PyObject* self, double start, double stop) {
    if (start >= stop) raise(PyExc_ValueError, "'stop' must be strictly greater than 'start'");
    Ref old_stop = Ref::steal(PyObject_GetAttr(self, module_state().names.stop));
    Ref old_start = Ref::steal(PyObject_GetAttr(self, module_state().names.start));
    Ref old_width = Ref::steal(PyNumber_Subtract(old_stop.get(), old_start.get()));
    Ref factor = Ref::steal(PyNumber_TrueDivide(new_float(stop - start).get(), old_width.get()));
    c_hscale(self, to_double(factor.get()));

    Ref requested_start = new_float(start);
    Ref scaled_start = Ref::steal(PyObject_GetAttr(self, module_state().names.start));
    int differs = PyObject_RichCompareBool(scaled_start.get(), requested_start.get(), Py_NE);
    check_status(differs);
    if (differs == 0) return;
    Ref delta = Ref::steal(PyNumber_Subtract(requested_start.get(), old_start.get()));
    c_shift(self, to_double(delta.get()));
}

// ---- dispatching forms --------------------------------------------------------------

void rshift(PyObject* self, double x) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.rshift)) {
        call(redefined.get(), new_float(x).get());
        return;
    }
    c_shift(self, x);
}

void ashift(PyObject* self, double x) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.ashift)) {
        call(redefined.get(), new_float(x).get());
        return;
    }
    ashift_native(self, x);
}

void hscale(PyObject* self, double k) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.hscale)) {
        call(redefined.get(), new_float(k).get());
        return;
    }
    c_hscale(self, k);
}

void adapt(PyObject* self, double start, double stop) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.adapt)) {
        call(redefined.get(), new_float(start).get(), new_float(stop).get());
        return;
    }
    adapt_native(self, start, stop);
}

// ---- interpreter methods ------------------------------------------------------------

static PyObject* py_rshift(PyObject* self, PyObject* x) {
    return guard_object([&] {
        c_shift(self, to_double(x));
        return Ref::borrow(Py_None);
    });
}

static PyObject* py_ashift(PyObject* self, PyObject* x) {
    return guard_object([&] {
        ashift_native(self, to_double(x));
        return Ref::borrow(Py_None);
    });
}

static PyObject* py_hscale(PyObject* self, PyObject* k) {
    return guard_object([&] {
        c_hscale(self, to_double(k));
        return Ref::borrow(Py_None);
    });
}

static PyObject* py_adapt(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
    return guard_object([&] {
        auto [start, stop] =
            parse_args(Params<2>{"adapt", {"start", "stop"}}, args, nargs, kwnames);
        double new_start = to_double(start);
        double new_stop = to_double(stop);
        adapt_native(self, new_start, new_stop);
        return Ref::borrow(Py_None);
    });
}

// ---- table entries ------------------------------------------------------------------

static int c_shift_entry(PyObject* self, double x) {
    return guard_status([&] { c_shift(self, x); });
}
static int rshift_entry(PyObject* self, double x) {
    return guard_status([&] { rshift(self, x); });
}
static int ashift_entry(PyObject* self, double x) {
    return guard_status([&] { ashift(self, x); });
}
static int c_hscale_entry(PyObject* self, double k) {
    return guard_status([&] { c_hscale(self, k); });
}
static int hscale_entry(PyObject* self, double k) {
    return guard_status([&] { hscale(self, k); });
}
static int adapt_entry(PyObject* self, double start, double stop) {
    return guard_status([&] { adapt(self, start, stop); });
}

static const char rshift_doc[] =
    "rshift($self, x, /)\n"
    "--\n"
    "\n"
    "Relative translation of 'self' along x-axis.\n"
    "\n"
    "Every knot moves by x, in place; the control points stay.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : double\n"
    "    Translation value.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "None\n"
    "    The trajectory is changed in place.\n"
    "\n"
    "Raises\n"
    "------\n"
    "TypeError\n"
    "    When x has no float conversion; the trajectory is unchanged.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "ashift : Translation to an absolute start.\n"
    "adapt : Adaptation to a new domain.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 2, 2, 2], [0.0, 1.0, 3.0, 4.0], p=2)\n"
    ">>> t.rshift(1.5)\n"
    ">>> t.get_knotvector_asarray()\n"
    "array([1.5, 1.5, 1.5, 2.5, 3.5, 3.5, 3.5])\n";

static const char ashift_doc[] =
    "ashift($self, x, /)\n"
    "--\n"
    "\n"
    "Translates 'self' along the x-axis so that the curve starts at the x\n"
    "coordinate.\n"
    "\n"
    "Every knot moves by x - start, in place; the control points stay.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : double\n"
    "    Reference x-coordinate.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "None\n"
    "    The trajectory is changed in place.\n"
    "\n"
    "Raises\n"
    "------\n"
    "TypeError\n"
    "    When x has no float conversion, or the trajectory is empty (its start is\n"
    "    None); the trajectory is unchanged.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "rshift : Translation by a relative amount.\n"
    "adapt : Adaptation to a new domain.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 2, 2, 2], [0.0, 1.0, 3.0, 4.0], p=2)\n"
    ">>> t.ashift(5)\n"
    ">>> t.get_knotvector_asarray()\n"
    "array([5., 5., 5., 6., 7., 7., 7.])\n";

static const char hscale_doc[] =
    "hscale($self, k, /)\n"
    "--\n"
    "\n"
    "Scales 'self' horizontally keeping the start of the domain fixed.\n"
    "\n"
    "Every other knot u moves to start + k * (u - start), in place.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "k : double\n"
    "    Scale factor.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "None\n"
    "    The trajectory is changed in place.\n"
    "\n"
    "Raises\n"
    "------\n"
    "TypeError\n"
    "    When k has no float conversion; the trajectory is unchanged.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "adapt : Scaling and translation onto a given domain.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "The control points are not rescaled: the values stay, the times at\n"
    "which they are taken change. For a trajectory of a derivative (velocity,\n"
    "acceleration) the true derivative of the stretched motion differs by a\n"
    "power of k. A factor k <= 0 is accepted, but the knot vector then no longer\n"
    "increases, which evaluation and the knot operations do not support.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([1, 1, 2, 3, 3], [0.0, 1.0, 2.0], p=1)\n"
    ">>> t.hscale(2)\n"
    ">>> t.get_knotvector_asarray()\n"
    "array([1., 1., 3., 5., 5.])\n"
    ">>> t(5.0)\n"
    "2.0\n";

static const char adapt_doc[] =
    "adapt($self, /, start, stop)\n"
    "--\n"
    "\n"
    "Adapts 'self' in a new domain.\n"
    "\n"
    "The domain is mapped linearly onto [start, stop], in place: the knots are\n"
    "scaled about the current start, then translated. The new ends equal start\n"
    "and stop up to rounding.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "start : double\n"
    "    New domain start.\n"
    "stop : double\n"
    "    New domain stop. Must be greather than 'start'.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "None\n"
    "    The trajectory is changed in place.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'stop' must be strictly greater than 'start'\" when start >= stop.\n"
    "ZeroDivisionError\n"
    "    When the current domain has zero width.\n"
    "TypeError\n"
    "    When an argument has no float conversion, or the trajectory is empty.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "hscale : Scaling about the start of the domain.\n"
    "rshift, ashift : Translations.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 1, 2, 2], [0.0, 1.0, 2.0], p=1)\n"
    ">>> t.adapt(10, 20)\n"
    ">>> t.get_knotvector_asarray()\n"
    "array([10., 10., 15., 20., 20.])\n"
    ">>> t.adapt(20, 10)\n"
    "Traceback (most recent call last):\n"
    "    ...\n"
    "ValueError: 'stop' must be strictly greater than 'start'\n";

void add_transforms(TypeParts& parts, Trajectory1dVTable& vtable) {
    vtable.c_shift = c_shift_entry;
    vtable.rshift = rshift_entry;
    vtable.ashift = ashift_entry;
    vtable.c_hscale = c_hscale_entry;
    vtable.hscale = hscale_entry;
    vtable.adapt = adapt_entry;
    parts.methods.insert(parts.methods.end(), {
                                                  {"rshift", py_rshift, METH_O, rshift_doc},
                                                  {"ashift", py_ashift, METH_O, ashift_doc},
                                                  {"hscale", py_hscale, METH_O, hscale_doc},
                                                  {"adapt", reinterpret_cast<PyCFunction>(py_adapt),
                                                   METH_FASTCALL | METH_KEYWORDS, adapt_doc},
                                              });
}

} // namespace pykesta::curvetypes
