// Declarations that pykesta.curvetypes publishes to other native modules: the
// records, the object layouts, the tables of virtual operations and the API
// capsule through which they are bound.
//
// Every table entry follows the C-API convention: an object result is a new
// reference or null with the interpreter's error set; an int status is 0, or
// -1 with the error set (c_eq: 1 true, 0 false, -1 error); doubles come back
// through an out-parameter. Entries that are also interpreter methods reach a
// redefinition in an interpreter subclass.
#pragma once

#include <Python.h>

#include <cstdint>

namespace pykesta::curvetypes {

struct c_point1d {
    double t;
    double val;
    uint32_t order;
};

struct PyKESTAObjectObject {
    PyObject_HEAD
};

struct Point1dObject {
    PyKESTAObjectObject base;
    c_point1d p;
};

struct Trajectory1dObject {
    PyKESTAObjectObject base;
    int32_t p;
    int32_t n;
    uint32_t order;
    double* _knotvector; // n + p + 2 doubles, or null
    double* _cpts;       // n + 1 doubles, or null
    int ptrs_owner;      // the visible owner flag
    // Holders keeping the two arrays alive for the trajectory and its views.
    PyObject* knot_storage;
    PyObject* cpts_storage;
};

struct PyKESTAObjectVTable {
    PyObject* (*c_loadxml)(PyTypeObject* cls, PyObject* fname, PyObject* ID);
    PyObject* (*_getAttrib)(PyObject* self);
    int (*_addPyKESTAObject)(PyObject* self, PyObject* root, PyObject* ID);
    int (*_updatePyKESTAObject)(PyObject* self, PyObject* tree, PyObject* node, PyObject* ID);
    int (*savexml)(PyObject* self, PyObject* fname, PyObject* ID);
};

struct Point1dVTable {
    PyKESTAObjectVTable base;
    PyObject* (*c_loadxml)(PyObject* fname, PyObject* ID);
    PyObject* (*copy)(PyObject* self);
};

struct Trajectory1dVTable {
    PyKESTAObjectVTable base;
    PyObject* (*from_ptrs)(double* knotvector, double* cpts, int32_t p, int32_t n, uint32_t order,
                           int owner);
    PyObject* (*new_struct)(int32_t p, int32_t n, uint32_t order);
    PyObject* (*c_loadxml)(PyObject* fname, PyObject* ID);
    int (*c_eq)(PyObject* self, PyObject* other);
    int (*c_iadd)(PyObject* self, double x);
    int (*c_imul)(PyObject* self, double k);
    PyObject* (*c_splcsum)(PyObject* self, PyObject* other);
    PyObject* (*c_splcmul)(PyObject* self, PyObject* other);
    PyObject* (*_sget_knotvector)(PyObject* self);
    PyObject* (*_sget_cpts)(PyObject* self);
    int (*_dset_data)(PyObject* self, PyObject* knots, PyObject* cpts, int32_t p, int32_t n,
                      uint32_t order, int owner);
    int (*peval)(PyObject* self, double x, double* result);
    int (*ceval)(PyObject* self, PyObject* xp);
    int (*dpeval)(PyObject* self, double x, int32_t nu, double* result);
    int (*dceval)(PyObject* self, PyObject* xp, int32_t nu);
    int (*c_shift)(PyObject* self, double x);
    int (*rshift)(PyObject* self, double x);
    int (*ashift)(PyObject* self, double x);
    int (*c_hscale)(PyObject* self, double k);
    int (*hscale)(PyObject* self, double k);
    int (*adapt)(PyObject* self, double start, double stop);
    PyObject* (*derivative)(PyObject* self, int32_t nu);
    PyObject* (*antiderivative)(PyObject* self, int32_t nu);
    PyObject* (*knotins)(PyObject* self, double u, int32_t r);
    PyObject* (*knotref)(PyObject* self, PyObject* X);
    PyObject* (*knotrem)(PyObject* self, double u, int32_t r, double tol);
    PyObject* (*knotsrem)(PyObject* self, double tol);
    PyObject* (*knotrem_notol)(PyObject* self, double u, int32_t r);
    PyObject* (*copy)(PyObject* self);
    PyObject* (*degelev)(PyObject* self, int32_t nu);
    int (*setValueTr_point)(PyObject* self, PyObject* p);
    int (*setValueTr_tuple)(PyObject* self, PyObject* p);
    int (*setValueAm_point)(PyObject* self, PyObject* p);
    int (*setValueAm_tuple)(PyObject* self, PyObject* p);
};

// Published as __native_api__["api"] of pykesta.curvetypes.
struct CurvetypesAPI {
    PyTypeObject* PyKESTAObject_type;
    PyTypeObject* Point1d_type;
    PyTypeObject* Trajectory1d_type;
    const PyKESTAObjectVTable* PyKESTAObject_vtable;
    const Point1dVTable* Point1d_vtable;
    const Trajectory1dVTable* Trajectory1d_vtable;
    Py_ssize_t PyKESTAObject_size;
    Py_ssize_t Point1d_size;
    Py_ssize_t Trajectory1d_size;
    c_point1d (*make_point)(double u, double value, uint32_t order);
};

inline constexpr const char api_signature[] = "const pykesta::curvetypes::CurvetypesAPI *";

} // namespace pykesta::curvetypes
