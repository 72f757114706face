// Interned attribute and method names, created once at import and owned by
// the module state.
#pragma once

#include <Python.h>

namespace pykesta::curvetypes {

// The formatter does not settle on this list.
// clang-format off
#define PYKESTA_NAMES(X)                                                                         \
    X(copy) X(peval) X(ceval) X(dpeval) X(dceval) X(_dset_data) X(_sget_knotvector)              \
    X(_sget_cpts) X(rshift) X(ashift) X(hscale) X(adapt) X(derivative) X(antiderivative)         \
    X(degelev) X(knotins) X(knotref) X(knotrem) X(knotsrem) X(knotrem_notol) X(c_splcsum)        \
    X(c_splcmul) X(setValueTr) X(setValueAm) X(_getAttrib) X(_addPyKESTAObject)                  \
    X(_updatePyKESTAObject) X(savexml) X(start) X(stop) X(t) X(val) X(order) X(__iadd__)         \
    X(__isub__) X(__imul__) X(__itruediv__) X(__eq__) X(__dict__) X(__name__) X(__class__)       \
    X(__version__) X(__getstate__) X(update)
// clang-format on

struct Names {
#define PYKESTA_NAME_FIELD(name) PyObject* name = nullptr;
    PYKESTA_NAMES(PYKESTA_NAME_FIELD)
#undef PYKESTA_NAME_FIELD

    Names() = default;
    Names(const Names&) = delete;
    Names& operator=(const Names&) = delete;
    ~Names() {
#define PYKESTA_NAME_RELEASE(name) Py_XDECREF(name);
        PYKESTA_NAMES(PYKESTA_NAME_RELEASE)
#undef PYKESTA_NAME_RELEASE
    }
};

// Fills `names`; throws python_error when interning fails.
void intern_names(Names& names);

} // namespace pykesta::curvetypes
