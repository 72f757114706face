// Derivative, antiderivative and degree elevation: new trajectories built by
// the kernels from a trajectory that is only read. The derivation order
// follows along: up by nu for a derivative, down by nu for an antiderivative.
#include "curvetypes/trajectory.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "curvetypes/module_state.h"
#include "curvetypes/operations.h"

namespace pykesta::curvetypes {

static void check_derivation_count(int32_t nu) {
    if (nu < 0)
        raise_format(PyExc_ValueError, "'nu' must be greater than or equal to zero: %d", nu);
}

// The derivation order of a derivative; it must stay an unsigned 32-bit integer.
static uint32_t raised_order(uint32_t order, int32_t nu) {
    uint64_t raised = uint64_t{order} + static_cast<uint64_t>(nu);
    if (raised > UINT32_MAX)
        raise(PyExc_OverflowError, "value too large to convert to unsigned int");
    return static_cast<uint32_t>(raised);
}

// Every derivative above the degree vanishes: the zero function of degree 0
// over the same domain.
static Ref zero_function(const Arrays& a, uint32_t order) {
    OwnedArray knots(2);
    knots.data()[0] = a.U[0];
    knots.data()[1] = a.U[a.nU - 1];
    OwnedArray cpts(1);
    cpts.data()[0] = 0.0;
    return new_trajectory(std::move(knots), std::move(cpts), 0, 0, order);
}

// ---- native operations --------------------------------------------------------------

static Ref derivative_native(PyObject* self, int32_t nu) {
    check_derivation_count(nu);
    Arrays a = require_arrays(self);
    Trajectory1dObject* t = as_trajectory(self);
    uint32_t order = raised_order(t->order, nu);
    if (nu > t->p) return zero_function(a, order);
    const int32_t degree = t->p - nu;
    OwnedArray knots(a.nU);
    OwnedArray cpts(a.nP);
    // Knots of too high a multiplicity are merged, so the result may be shorter.
    int32_t nk = module_state().kernels.dsplcpts2(a.U, a.nU, a.P, a.nP, t->p, nu, knots.data(),
                                                  knots.size(), cpts.data(), cpts.size());
    knots.shrink(int64_t{nk} + degree + 2);
    cpts.shrink(int64_t{nk} + 1);
    return new_trajectory(std::move(knots), std::move(cpts), degree, nk, order);
}

static Ref antiderivative_native(PyObject* self, int32_t nu) {
    check_derivation_count(nu);
    Trajectory1dObject* t = as_trajectory(self);
    if (t->order < static_cast<uint32_t>(nu))
        raise(PyExc_ValueError, "negative 'order' not allowed");
    Arrays a = require_arrays(self);
    // Each integration adds a knot at both ends and one control point.
    OwnedArray knots(int64_t{a.nU} + 2 * int64_t{nu});
    OwnedArray cpts(int64_t{a.nP} + nu);
    module_state().kernels.asplcpts(a.U, a.nU, a.P, a.nP, t->p, nu, knots.data(), knots.size(),
                                    cpts.data(), cpts.size());
    return new_trajectory(std::move(knots), std::move(cpts), t->p + nu, t->n + nu,
                          t->order - static_cast<uint32_t>(nu));
}

static Ref degelev_native(PyObject* self, int32_t nu) {
    if (nu < 0) raise(PyExc_ValueError, "'nu' must be non-negative number");
    Arrays a = require_arrays(self);
    Trajectory1dObject* t = as_trajectory(self);
    // Every distinct knot, the two ends and the s interior ones, gains nu copies.
    int64_t s = module_state().kernels.distintknots(a.U, a.nU, t->p);
    OwnedArray knots(int64_t{a.nU} + nu * (s + 2));
    OwnedArray cpts(int64_t{a.nP} + nu * (s + 1));
    module_state().kernels.degelevc(a.U, a.nU, a.P, a.nP, t->p, nu, knots.data(), knots.size(),
                                    cpts.data(), cpts.size());
    const int32_t n = cpts.size() - 1;
    return new_trajectory(std::move(knots), std::move(cpts), t->p + nu, n, t->order);
}

// ---- dispatching forms --------------------------------------------------------------

Ref derivative(PyObject* self, int32_t nu) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.derivative))
        return expect_trajectory(call(redefined.get(), new_int(nu).get()));
    return derivative_native(self, nu);
}

Ref antiderivative(PyObject* self, int32_t nu) {
    if (Ref redefined =
            find_override(self, &Trajectory1d_Type, module_state().names.antiderivative))
        return expect_trajectory(call(redefined.get(), new_int(nu).get()));
    return antiderivative_native(self, nu);
}

Ref degelev(PyObject* self, int32_t nu) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.degelev))
        return expect_trajectory(call(redefined.get(), new_int(nu).get()));
    return degelev_native(self, nu);
}

// ---- interpreter methods ------------------------------------------------------------

// The optional argument nu (default 1) of the three methods.
static int32_t parse_nu(const char* func, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    auto [nu] = parse_args(Params<1>{func, {"nu"}, 0}, args, nargs, kwnames);
    return nu ? to_int32(nu) : 1;
}

static PyObject* py_derivative(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
    return guard_object(
        [&] { return derivative_native(self, parse_nu("derivative", args, nargs, kwnames)); });
}

static PyObject* py_antiderivative(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
    return guard_object([&] {
        return antiderivative_native(self, parse_nu("antiderivative", args, nargs, kwnames));
    });
}

static PyObject* py_degelev(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return guard_object(
        [&] { return degelev_native(self, parse_nu("degelev", args, nargs, kwnames)); });
}

// ---- table entries ------------------------------------------------------------------

static PyObject* derivative_entry(PyObject* self, int32_t nu) {
    return guard_object([&] { return derivative(self, nu); });
}
static PyObject* antiderivative_entry(PyObject* self, int32_t nu) {
    return guard_object([&] { return antiderivative(self, nu); });
}
static PyObject* degelev_entry(PyObject* self, int32_t nu) {
    return guard_object([&] { return degelev(self, nu); });
}

static const char derivative_doc[] =
    "derivative($self, /, nu=1)\n"
    "--\n"
    "\n"
    "Returns a Trajectory1d object representing the derivative.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "nu : int\n"
    "    Derivative order. Default is 1.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    A new trajectory of degree p - nu and derivation order self.order + nu;\n"
    "    above the degree, the zero function of degree 0 over the same domain.\n"
    "    self is unchanged.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'nu' must be greater than or equal to zero: \" followed by nu for a\n"
    "    negative nu; \"the trajectory holds no knot vector or control points\" for\n"
    "    an empty trajectory.\n"
    "OverflowError\n"
    "    When nu does not fit a 32-bit integer, or the derivation order would pass\n"
    "    4294967295.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "antiderivative : The inverse operation.\n"
    "dpeval, dceval : Derivative values without a new trajectory.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> v = t.derivative()\n"
    ">>> print(v)\n"
    "Trajectory1d(start = 0.0, stop = 1.0, p = 1, n = 1, order = 1)\n"
    ">>> v(0.5)\n"
    "3.0\n";

static const char antiderivative_doc[] =
    "antiderivative($self, /, nu=1)\n"
    "--\n"
    "\n"
    "Returns a Trajectory1d object representing the antiderivative.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "nu : int\n"
    "    Antiderivative order. Default is 1.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    A new trajectory of degree p + nu, highest index n + nu and derivation\n"
    "    order self.order - nu, zero at the start of the domain. self is\n"
    "    unchanged.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'nu' must be greater than or equal to zero: \" followed by nu for a\n"
    "    negative nu; \"negative 'order' not allowed\" when nu exceeds self.order;\n"
    "    \"the trajectory holds no knot vector or control points\" for an empty\n"
    "    trajectory.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "derivative : The inverse operation.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "A trajectory can be integrated at most 'order' times: a displacement\n"
    "(order 0) has no antiderivative, an acceleration (order 2) can be integrated\n"
    "once or twice.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> v = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2, order=1)\n"
    ">>> x = v.antiderivative()  # x**3 / 3 + x**2\n"
    ">>> print(x)\n"
    "Trajectory1d(start = 0.0, stop = 1.0, p = 3, n = 3, order = 0)\n"
    ">>> round(x(1.0), 12)\n"
    "1.333333333333\n"
    ">>> x.antiderivative()\n"
    "Traceback (most recent call last):\n"
    "    ...\n"
    "ValueError: negative 'order' not allowed\n";

static const char degelev_doc[] =
    "degelev($self, /, nu=1)\n"
    "--\n"
    "\n"
    "Increases the degree of the B-Spline interpolating the trajectory.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "nu : int\n"
    "    Number of degree elevation times.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    New Trajectory1d object with the same shape and degree p + nu, the same\n"
    "    derivation order, and every distinct knot's multiplicity raised by nu.\n"
    "    self is unchanged.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"'nu' must be non-negative number\" for a negative nu; \"the trajectory\n"
    "    holds no knot vector or control points\" for an empty trajectory.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "knotins, knotref : Other representation changes that keep the shape.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> e = t.degelev()\n"
    ">>> print(e)\n"
    "Trajectory1d(start = 0.0, stop = 1.0, p = 3, n = 3, order = 0)\n"
    ">>> round(e(0.5), 12)\n"
    "1.25\n";

void add_calculus(TypeParts& parts, Trajectory1dVTable& vtable) {
    vtable.derivative = derivative_entry;
    vtable.antiderivative = antiderivative_entry;
    vtable.degelev = degelev_entry;
    parts.methods.insert(parts.methods.end(),
                         {
                             {"derivative", reinterpret_cast<PyCFunction>(py_derivative),
                              METH_FASTCALL | METH_KEYWORDS, derivative_doc},
                             {"antiderivative", reinterpret_cast<PyCFunction>(py_antiderivative),
                              METH_FASTCALL | METH_KEYWORDS, antiderivative_doc},
                             {"degelev", reinterpret_cast<PyCFunction>(py_degelev),
                              METH_FASTCALL | METH_KEYWORDS, degelev_doc},
                         });
}

} // namespace pykesta::curvetypes
