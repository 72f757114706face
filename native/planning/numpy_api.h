// numpy's C API, shared by every file of the module; module.cpp imports it.
#pragma once

#define PY_ARRAY_UNIQUE_SYMBOL pykesta_planning_ARRAY_API
#ifndef PYKESTA_IMPORTS_NUMPY
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
