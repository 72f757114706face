// Arithmetic and equality of trajectories: the two in-place primitives (add a
// number to every control point, multiply every control point by a number),
// the sum of two trajectories over the union of their knot vectors, the number
// operators built on those, and == / != with a tolerance.
//
// A B-spline reproduces constants and is linear in its control points, so
// adding x to (multiplying by k) every control point adds x to (multiplies by
// k) the curve everywhere.
#include "curvetypes/trajectory.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "curvetypes/module_state.h"
#include "curvetypes/operations.h"
#include "curvetypes/predicates.h"

namespace pykesta::curvetypes {

// ---- primitives -------------------------------------------------------------------

void c_iadd(PyObject* self, double x) {
    Trajectory1dObject* t = as_trajectory(self);
    if (t->_cpts == nullptr) return;
    for (int32_t i = 0, count = cpts_count(t); i < count; ++i) t->_cpts[i] += x;
}

void c_imul(PyObject* self, double k) {
    Trajectory1dObject* t = as_trajectory(self);
    if (t->_cpts == nullptr) return;
    for (int32_t i = 0, count = cpts_count(t); i < count; ++i) t->_cpts[i] *= k;
}

bool c_eq(PyObject* self, PyObject* other) {
    check_trajectory_arg(other, "other", false);
    const Trajectory1dObject* a = as_trajectory(self);
    const Trajectory1dObject* b = as_trajectory(other);
    // The owner flag takes part: a trajectory wrapping borrowed arrays never
    // equals one that owns its arrays.
    if (a->p != b->p || a->n != b->n || a->order != b->order ||
        (a->ptrs_owner != 0) != (b->ptrs_owner != 0))
        return false;
    Arrays x = require_arrays(self);
    Arrays y = require_arrays(other);
    return isclose(x.U, x.nU, y.U, y.nU) && isclose(x.P, x.nP, y.P, y.nP);
}

// ---- sum and product of two trajectories ----------------------------------------------

// Interpreter equality of the attribute `name` of both objects, so that
// properties redefined by a subclass are the ones compared.
static bool same_attribute(PyObject* a, PyObject* b, PyObject* name) {
    Ref x = Ref::steal(PyObject_GetAttr(a, name));
    Ref y = Ref::steal(PyObject_GetAttr(b, name));
    Ref equal = Ref::steal(PyObject_RichCompare(x.get(), y.get(), Py_EQ));
    int truth = PyObject_IsTrue(equal.get());
    check_status(truth);
    return truth != 0;
}

static Ref c_splcsum_native(PyObject* self, PyObject* other) {
    check_trajectory_arg(other, "other", false);
    const Trajectory1dObject* a = as_trajectory(self);
    const Trajectory1dObject* b = as_trajectory(other);
    if (a->p != b->p) raise(PyExc_ValueError, "the input traiectories must have the same order");
    if (!same_attribute(self, other, module_state().names.start) ||
        !same_attribute(self, other, module_state().names.stop))
        raise(PyExc_ValueError, "the input traiectories must have the same extremes of domain");
    if (a->order != b->order)
        raise(PyExc_ValueError, "the trajectories must have the same 'order'");
    Arrays x = require_arrays(self);
    Arrays y = require_arrays(other);
    const int32_t p = a->p;
    auto [m, n] = module_state().kernels.knotuniondim(x.U, x.nU, y.U, y.nU, p);
    // The kernel answers {0, 0} to inputs it cannot merge; the result must
    // keep the record's invariant m = n + p + 1.
    if (n < 0 || int64_t{m} != int64_t{n} + p + 1)
        raise(PyExc_ValueError, "the knot vectors of the trajectories cannot be merged");
    OwnedArray U(int64_t{m} + 1);
    OwnedArray P(int64_t{n} + 1);
    module_state().kernels.splcsum(x.U, x.nU, x.P, x.nP, y.U, y.nU, y.P, y.nP, p, m, U.data(),
                                   U.size(), n, P.data(), P.size());
    return new_trajectory(std::move(U), std::move(P), p, n, a->order);
}

static Ref c_splcmul_native(PyObject*, PyObject* other) {
    check_trajectory_arg(other, "other", false);
    PyErr_SetNone(PyExc_NotImplementedError);
    throw python_error{};
}

Ref c_splcsum(PyObject* self, PyObject* other) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.c_splcsum))
        return expect_trajectory(call(redefined.get(), other));
    return c_splcsum_native(self, other);
}

Ref c_splcmul(PyObject* self, PyObject* other) {
    if (Ref redefined = find_override(self, &Trajectory1d_Type, module_state().names.c_splcmul))
        return expect_trajectory(call(redefined.get(), other));
    return c_splcmul_native(self, other);
}

// ---- number operators --------------------------------------------------------------------
//
// The interpreter calls the two-operand operators with a trajectory on at
// least one side; the left operand is examined first. They reach copy, the
// in-place operators, c_splcsum and c_splcmul by attribute lookup, so that a
// subclass redefining them is heard.

static bool is_trajectory(PyObject* obj) { return PyObject_TypeCheck(obj, &Trajectory1d_Type); }

// A copy of `t` by its `copy` method, to which `t.<in_place>(x)` is applied.
static Ref copy_then(PyObject* t, PyObject* in_place, PyObject* x) {
    Ref result = call_method(t, module_state().names.copy);
    call_method(result.get(), in_place, x);
    return result;
}

// A copy of `t` by its `copy` method, negated.
static Ref negated_copy(PyObject* t) {
    Ref result = expect_trajectory(call_method(t, module_state().names.copy));
    c_imul(result.get(), -1.0);
    return result;
}

static PyObject* trajectory_add(PyObject* a, PyObject* b) {
    return guard_object([&] {
        if (!is_trajectory(a)) return copy_then(b, module_state().names.__iadd__, a);
        if (is_trajectory(b)) return call_method(a, module_state().names.c_splcsum, b);
        return copy_then(a, module_state().names.__iadd__, b);
    });
}

static PyObject* trajectory_subtract(PyObject* a, PyObject* b) {
    return guard_object([&] {
        if (!is_trajectory(a)) {
            Ref result = negated_copy(b);
            c_iadd(result.get(), to_double(a));
            return result;
        }
        if (is_trajectory(b)) {
            Ref negated = negated_copy(b);
            return call_method(a, module_state().names.c_splcsum, negated.get());
        }
        return copy_then(a, module_state().names.__isub__, b);
    });
}

static PyObject* trajectory_multiply(PyObject* a, PyObject* b) {
    return guard_object([&] {
        if (!is_trajectory(a)) return copy_then(b, module_state().names.__imul__, a);
        if (is_trajectory(b)) return call_method(a, module_state().names.c_splcmul, b);
        return copy_then(a, module_state().names.__imul__, b);
    });
}

// Dividing by a trajectory has no meaning: the interpreter then reports the
// unsupported operands.
static PyObject* trajectory_true_divide(PyObject* a, PyObject* b) {
    return guard_object([&] {
        if (!is_trajectory(a) || is_trajectory(b)) return Ref::borrow(Py_NotImplemented);
        return copy_then(a, module_state().names.__itruediv__, b);
    });
}

// The in-place forms take numbers only; a failed conversion leaves the
// trajectory unchanged.
static PyObject* trajectory_inplace_add(PyObject* self, PyObject* x) {
    return guard_object([&] {
        c_iadd(self, to_double(x));
        return Ref::borrow(self);
    });
}

static PyObject* trajectory_inplace_subtract(PyObject* self, PyObject* x) {
    return guard_object([&] {
        Ref minus_x = Ref::steal(PyNumber_Negative(x));
        c_iadd(self, to_double(minus_x.get()));
        return Ref::borrow(self);
    });
}

static PyObject* trajectory_inplace_multiply(PyObject* self, PyObject* x) {
    return guard_object([&] {
        c_imul(self, to_double(x));
        return Ref::borrow(self);
    });
}

// Division is a multiplication by the reciprocal, x ** -1.0 as the
// interpreter computes it (and fails it).
static PyObject* trajectory_inplace_true_divide(PyObject* self, PyObject* x) {
    return guard_object([&] {
        Ref exponent = new_float(-1.0);
        Ref reciprocal = Ref::steal(PyNumber_Power(x, exponent.get(), Py_None));
        c_imul(self, to_double(reciprocal.get()));
        return Ref::borrow(self);
    });
}

// Unary minus negates the trajectory itself and makes no new object.
static PyObject* trajectory_negative(PyObject* self) {
    c_imul(self, -1.0);
    return Py_NewRef(self);
}

static PyNumberMethods trajectory_number_methods = {
    .nb_add = trajectory_add,
    .nb_subtract = trajectory_subtract,
    .nb_multiply = trajectory_multiply,
    .nb_negative = trajectory_negative,
    .nb_inplace_add = trajectory_inplace_add,
    .nb_inplace_subtract = trajectory_inplace_subtract,
    .nb_inplace_multiply = trajectory_inplace_multiply,
    .nb_true_divide = trajectory_true_divide,
    .nb_inplace_true_divide = trajectory_inplace_true_divide,
};

// ---- equality ----------------------------------------------------------------------------

// An object of another class (tested against self.__class__) is simply unequal.
static bool equals(PyObject* self, PyObject* other) {
    Ref cls = Ref::steal(PyObject_GetAttr(self, module_state().names.__class__));
    int instance = PyObject_IsInstance(other, cls.get());
    check_status(instance);
    return instance != 0 && c_eq(self, other);
}

// == and != only. != negates the left operand's own __eq__, so a subclass
// redefining __eq__ governs both.
static PyObject* trajectory_richcompare(PyObject* self, PyObject* other, int op) {
    return guard_object([&] {
        if (op == Py_EQ) return Ref::borrow(equals(self, other) ? Py_True : Py_False);
        if (op != Py_NE) return Ref::borrow(Py_NotImplemented);
        Ref equal = call_method(self, module_state().names.__eq__, other);
        int truth = PyObject_IsTrue(equal.get());
        check_status(truth);
        return Ref::borrow(truth ? Py_False : Py_True);
    });
}

// ---- interpreter methods ---------------------------------------------------------------------

static PyObject* py_c_splcsum(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return guard_object([&] {
        auto [other] = parse_args(Params<1>{"c_splcsum", {"other"}}, args, nargs, kwnames);
        return c_splcsum_native(self, other);
    });
}

static PyObject* py_c_splcmul(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return guard_object([&] {
        auto [other] = parse_args(Params<1>{"c_splcmul", {"other"}}, args, nargs, kwnames);
        return c_splcmul_native(self, other);
    });
}

// ---- table entries -----------------------------------------------------------------------------

static int c_eq_entry(PyObject* self, PyObject* other) {
    return guard<int>(-1, [&] { return c_eq(self, other) ? 1 : 0; });
}

static int c_iadd_entry(PyObject* self, double x) {
    return guard_status([&] { c_iadd(self, x); });
}

static int c_imul_entry(PyObject* self, double k) {
    return guard_status([&] { c_imul(self, k); });
}

static PyObject* c_splcsum_entry(PyObject* self, PyObject* other) {
    return guard_object([&] { return c_splcsum(self, other); });
}

static PyObject* c_splcmul_entry(PyObject* self, PyObject* other) {
    return guard_object([&] { return c_splcmul(self, other); });
}

static const char c_splcsum_doc[] =
    "c_splcsum($self, /, other)\n"
    "--\n"
    "\n"
    "Sum of two trajectories.\n"
    "\n"
    "The operator t1 + t2 calls this method.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "other : Trajectory1d\n"
    "    A trajectory with the same degree, domain and order of derivation.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    A new trajectory over the union of the two knot vectors whose value\n"
    "    is everywhere the sum of the two. Both operands are unchanged.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"the input traiectories must have the same order\" when the degrees\n"
    "    differ; \"the input traiectories must have the same extremes of domain\"\n"
    "    when the domains differ; \"the trajectories must have the same 'order'\"\n"
    "    when the derivation orders differ.\n"
    "TypeError\n"
    "    When other is not a Trajectory1d.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "c_splcmul : The product, not provided.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "The two trajectories may have different interior knots.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> a = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> b = from_arrays([0, 0, 0, 0.5, 1, 1, 1], [1.0, 1.0, 1.0, 1.0], p=2)\n"
    ">>> s = a.c_splcsum(b)\n"
    ">>> s.get_knotvector_asarray()\n"
    "array([0. , 0. , 0. , 0.5, 1. , 1. , 1. ])\n"
    ">>> s(0.5)\n"
    "2.25\n";

static const char c_splcmul_doc[] =
    "c_splcmul($self, /, other)\n"
    "--\n"
    "\n"
    "Product of two trajectories.\n"
    "\n"
    "The operator t1 * t2 calls this method.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "other : Trajectory1d\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    Never: the product is not provided.\n"
    "\n"
    "Raises\n"
    "------\n"
    "NotImplementedError\n"
    "    Always, without a message.\n"
    "TypeError\n"
    "    When other is not a Trajectory1d.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "c_splcsum : The sum of two trajectories.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "Not implemented: always raises NotImplementedError. A trajectory times a\n"
    "number works (t * 2.0).\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> a = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> a.c_splcmul(a)\n"
    "Traceback (most recent call last):\n"
    "    ...\n"
    "NotImplementedError\n";

void add_arithmetic(TypeParts& parts, Trajectory1dVTable& vtable) {
    // tp_hash stays null: with a rich comparison of its own the class gets
    // __hash__ = None, so trajectories are unhashable.
    parts.type.tp_as_number = &trajectory_number_methods;
    parts.type.tp_richcompare = trajectory_richcompare;
    vtable.c_eq = c_eq_entry;
    vtable.c_iadd = c_iadd_entry;
    vtable.c_imul = c_imul_entry;
    vtable.c_splcsum = c_splcsum_entry;
    vtable.c_splcmul = c_splcmul_entry;
    parts.methods.insert(parts.methods.end(),
                         {
                             {"c_splcsum", reinterpret_cast<PyCFunction>(py_c_splcsum),
                              METH_FASTCALL | METH_KEYWORDS, c_splcsum_doc},
                             {"c_splcmul", reinterpret_cast<PyCFunction>(py_c_splcmul),
                              METH_FASTCALL | METH_KEYWORDS, c_splcmul_doc},
                         });
}

} // namespace pykesta::curvetypes
