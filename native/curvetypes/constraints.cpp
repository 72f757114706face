// Point constraints imposed on a trajectory in place: setValueTr adds one
// constant to every control point, setValueAm multiplies them by one constant.
// The constraint is a Point1d (its values read through attribute access, so a
// subclass's properties count) or an exact tuple (t, val, order).
#include "curvetypes/trajectory.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "curvetypes/operations.h"
#include "curvetypes/point.h"

namespace pykesta::curvetypes {

static Ref attribute(PyObject* obj, PyObject* name) {
    return Ref::steal(PyObject_GetAttr(obj, name));
}

// nu = p.order - self.order, with interpreter integers, as a signed 32-bit int.
static int32_t order_difference(PyObject* self, PyObject* point) {
    Ref point_order = attribute(point, module_state().names.order);
    Ref own_order = new_uint(as_trajectory(self)->order);
    return to_int32(Ref::steal(PyNumber_Subtract(point_order.get(), own_order.get())).get());
}

// ---- native operations -------------------------------------------------------------
// Every step before the last may fail; only the last one changes the trajectory.

static void setValueTr_point_native(PyObject* self, PyObject* point) {
    int32_t nu = order_difference(self, point);
    if (nu < 0)
        raise(PyExc_ValueError,
              "this method cannot be used to set a constraint on the n-th antiderivative");
    double v = dpeval(self, to_double(attribute(point, module_state().names.t).get()), nu);
    Ref value = attribute(point, module_state().names.val);
    Ref shift = Ref::steal(PyNumber_Subtract(value.get(), new_float(v).get()));
    c_iadd(self, to_double(shift.get()));
}

// The value that setValueAm scales: the derivative of order nu at t, or for
// nu < 0 the antiderivative of order -nu built from the trajectory.
static double scaled_quantity(PyObject* self, double t, int32_t nu) {
    if (nu >= 0) return dpeval(self, t, nu);
    int64_t count = -int64_t{nu};
    if (count > INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
    Ref integral = antiderivative(self, static_cast<int32_t>(count));
    return peval(integral.get(), t);
}

static void setValueAm_point_native(PyObject* self, PyObject* point) {
    int32_t nu = order_difference(self, point);
    double v = scaled_quantity(self, to_double(attribute(point, module_state().names.t).get()), nu);
    Ref value = attribute(point, module_state().names.val);
    Ref factor = Ref::steal(PyNumber_TrueDivide(value.get(), new_float(v).get()));
    c_imul(self, to_double(factor.get()));
}

// The tuple forms take exactly a tuple (None fails inside from_tuple).
static Ref point_of_tuple(PyObject* tuple) {
    check_arg_exact_type(tuple, &PyTuple_Type, "p", true);
    return point_from_tuple(tuple);
}

static void setValueTr_tuple_native(PyObject* self, PyObject* tuple) {
    setValueTr_point_native(self, point_of_tuple(tuple).get());
}

static void setValueAm_tuple_native(PyObject* self, PyObject* tuple) {
    setValueAm_point_native(self, point_of_tuple(tuple).get());
}

// ---- dispatching forms ------------------------------------------------------------

// Runs the redefinition of `name` with `p` when the class of `self` has one.
static bool ran_override(PyObject* self, PyObject* name, PyObject* p) {
    Ref redefined = find_override(self, &Trajectory1d_Type, name);
    if (!redefined) return false;
    call(redefined.get(), p);
    return true;
}

void setValueTr_point(PyObject* self, PyObject* p) {
    if (!ran_override(self, module_state().names.setValueTr, p)) setValueTr_point_native(self, p);
}

void setValueTr_tuple(PyObject* self, PyObject* p) {
    if (!ran_override(self, module_state().names.setValueTr, p)) setValueTr_tuple_native(self, p);
}

void setValueAm_point(PyObject* self, PyObject* p) {
    if (!ran_override(self, module_state().names.setValueAm, p)) setValueAm_point_native(self, p);
}

void setValueAm_tuple(PyObject* self, PyObject* p) {
    if (!ran_override(self, module_state().names.setValueAm, p)) setValueAm_tuple_native(self, p);
}

// ---- interpreter methods ----------------------------------------------------------

using NativeForm = void (*)(PyObject* self, PyObject* p);

// Chooses the point or the tuple form from the one positional argument.
static PyObject* run_chosen_form(const char* func, NativeForm point_form, NativeForm tuple_form,
                                 PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    return guard_object([&] {
        if (nargs == 0) raise(PyExc_TypeError, "Expected at least 2 arguments, got 1");
        PyObject* p = args[0];
        NativeForm form;
        if (PyObject_TypeCheck(p, &Point1d_Type))
            form = point_form;
        else if (PyTuple_Check(p))
            form = tuple_form;
        else
            raise(PyExc_TypeError, "No matching signature found");
        if (nargs > 1) raise_arg_count(func, 1, 1, nargs);
        form(self, p);
        return Ref::borrow(Py_None);
    });
}

static PyObject* py_setValueTr(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    return run_chosen_form("setValueTr", setValueTr_point_native, setValueTr_tuple_native, self,
                           args, nargs);
}

static PyObject* py_setValueAm(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    return run_chosen_form("setValueAm", setValueAm_point_native, setValueAm_tuple_native, self,
                           args, nargs);
}

// ---- table entries ------------------------------------------------------------------

static int setValueTr_point_entry(PyObject* self, PyObject* p) {
    return guard_status([&] { setValueTr_point(self, p); });
}
static int setValueTr_tuple_entry(PyObject* self, PyObject* p) {
    return guard_status([&] { setValueTr_tuple(self, p); });
}
static int setValueAm_point_entry(PyObject* self, PyObject* p) {
    return guard_status([&] { setValueAm_point(self, p); });
}
static int setValueAm_tuple_entry(PyObject* self, PyObject* p) {
    return guard_status([&] { setValueAm_tuple(self, p); });
}

static const char setValueTr_doc[] =
    "setValueTr($self, p, /)\n"
    "--\n"
    "\n"
    "Sets a condition by vertical shift of the trajectory: the same constant is\n"
    "added to every control point.\n"
    "\n"
    "The constant is p.val minus the trajectory's derivative of order\n"
    "p.order - self.order at p.t; for a constraint of the trajectory's own order\n"
    "the trajectory then takes the value p.val at p.t. The knots are unchanged.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "p : constr (fused type: Point1d or 3-elements tuple)\n"
    "    Constraint to be set. If 3-elements tuple must be in format\n"
    "    (t, val, order). See the Point1d class documentation for the meaning of\n"
    "    t, val and order.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "None\n"
    "    The trajectory is changed in place.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"this method cannot be used to set a constraint on the n-th\n"
    "    antiderivative\" when p.order is below self.order; the errors of dpeval,\n"
    "    such as \"'x' out of domain: ...\" for p.t outside the domain.\n"
    "TypeError\n"
    "    \"No matching signature found\" when p is neither a Point1d nor a tuple;\n"
    "    the errors of Point1d.from_tuple for a malformed tuple.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "setValueAm : Sets a constraint by scaling.\n"
    "dpeval : The derivative value the shift is computed from.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "This method cannot be used to set a constraint on the n-th antiderivative.\n"
    "The trajectory is unchanged when an error is raised.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> from pykesta.curvetypes import Point1d\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> t.setValueTr(Point1d(0.5, 2.0, 0))\n"
    ">>> t(0.5)\n"
    "2.0\n"
    ">>> t.setValueTr((0.0, 1.0, 0))\n"
    ">>> t.get_cpts_asarray()\n"
    "array([1., 2., 4.])\n";

static const char setValueAm_doc[] =
    "setValueAm($self, p, /)\n"
    "--\n"
    "\n"
    "Sets a constraint multiplying the trajectory by a calculated constant.\n"
    "\n"
    "The constant is p.val divided by the trajectory's quantity of order p.order\n"
    "at p.t: its derivative of order p.order - self.order, or for a lower p.order\n"
    "the value of its antiderivative of order self.order - p.order.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "p : constr (fused type: Point1d or 3-elements tuple)\n"
    "    Constraint to be set. If 3-elements tuple must be in format\n"
    "    (t, val, order). See the Point1d class documentation for the meaning of\n"
    "    t, val and order.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "None\n"
    "    The trajectory is changed in place.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ZeroDivisionError\n"
    "    \"float division by zero\" when the selected quantity is 0.0 at p.t.\n"
    "ValueError\n"
    "    The errors of dpeval and antiderivative, such as \"'x' out of domain: ...\"\n"
    "    for p.t outside the domain.\n"
    "TypeError\n"
    "    \"No matching signature found\" when p is neither a Point1d nor a tuple;\n"
    "    the errors of Point1d.from_tuple for a malformed tuple.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "setValueTr : Sets a constraint by vertical shift.\n"
    "antiderivative : Used for a constraint of a lower order.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "This function cannot be used to set a constraint close to zero,\n"
    "otherwise the whole trajectory is set to zero.\n"
    "The trajectory is unchanged when an error is raised.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> from pykesta.curvetypes import Point1d\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> t.setValueAm(Point1d(0.5, 6.0, 1))  # velocity 3.0 at 0.5 becomes 6.0\n"
    ">>> t.get_cpts_asarray()\n"
    "array([0., 2., 6.])\n"
    ">>> t.setValueAm((0.0, 1.0, 0))\n"
    "Traceback (most recent call last):\n"
    "    ...\n"
    "ZeroDivisionError: float division by zero\n";

void add_constraints(TypeParts& parts, Trajectory1dVTable& vtable) {
    vtable.setValueTr_point = setValueTr_point_entry;
    vtable.setValueTr_tuple = setValueTr_tuple_entry;
    vtable.setValueAm_point = setValueAm_point_entry;
    vtable.setValueAm_tuple = setValueAm_tuple_entry;

    parts.methods.insert(parts.methods.end(),
                         {
                             {"setValueTr", reinterpret_cast<PyCFunction>(py_setValueTr),
                              METH_FASTCALL, setValueTr_doc},
                             {"setValueAm", reinterpret_cast<PyCFunction>(py_setValueAm),
                              METH_FASTCALL, setValueAm_doc},
                         });
}

} // namespace pykesta::curvetypes
