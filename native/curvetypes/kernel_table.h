// The kernels of pykesta.knotmath that this module binds by name at import.
#pragma once

#include "knotmath/kernels.h"

#include <Python.h>

namespace pykesta::curvetypes {

struct Kernels {
#define PYKESTA_KERNEL_POINTER(name, ret, params) knotmath::name##_fn name;
    PYKESTA_KERNELS(PYKESTA_KERNEL_POINTER)
#undef PYKESTA_KERNEL_POINTER
};

// Binds the sixteen kernels this module uses, in their import order; throws
// python_error with the import error of a missing or mismatched kernel.
void bind_kernels(Kernels& kernels, PyObject* knotmath_module);

} // namespace pykesta::curvetypes
