// Overridable trajectory operations that other files (and the constraint and
// persistence code) call: each runs a redefinition from an interpreter
// subclass when there is one, the native operation otherwise. The c_*
// primitives cannot be redefined. All throw python_error on failure.
#pragma once

#include "common/pyref.h"

#include <cstdint>

namespace pykesta::curvetypes {

// Domain transforms (transforms.cpp).
void c_shift(PyObject* self, double x);
void c_hscale(PyObject* self, double k);
void rshift(PyObject* self, double x);
void ashift(PyObject* self, double x);
void hscale(PyObject* self, double k);
void adapt(PyObject* self, double start, double stop);

// Derivative, antiderivative, degree elevation (calculus.cpp).
Ref derivative(PyObject* self, int32_t nu);
Ref antiderivative(PyObject* self, int32_t nu);
Ref degelev(PyObject* self, int32_t nu);

// Knot insertion, refinement and removal (knot_operations.cpp).
Ref knotins(PyObject* self, double u, int32_t r);
Ref knotref(PyObject* self, PyObject* X);
Ref knotrem(PyObject* self, double u, int32_t r, double tol);
Ref knotsrem(PyObject* self, double tol);
Ref knotrem_notol(PyObject* self, double u, int32_t r);

// Arithmetic and equality (arithmetic.cpp).
bool c_eq(PyObject* self, PyObject* other);
void c_iadd(PyObject* self, double x);
void c_imul(PyObject* self, double k);
Ref c_splcsum(PyObject* self, PyObject* other);
Ref c_splcmul(PyObject* self, PyObject* other);

// Point constraints (constraints.cpp); `p` is a Point1d or an exact tuple.
void setValueTr_point(PyObject* self, PyObject* p);
void setValueTr_tuple(PyObject* self, PyObject* p);
void setValueAm_point(PyObject* self, PyObject* p);
void setValueAm_tuple(PyObject* self, PyObject* p);

} // namespace pykesta::curvetypes
