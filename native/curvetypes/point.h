// Point1d pieces that the constraint and persistence code use.
#pragma once

#include "common/pyref.h"
#include "curvetypes/curvetypes.h"

namespace pykesta::curvetypes {

inline Point1dObject* as_point(PyObject* obj) { return reinterpret_cast<Point1dObject*>(obj); }

// A new plain Point1d holding zeros (no initialiser runs).
Ref new_point();

// Point1d.from_tuple: `tuple` must be an exact tuple (or None, which fails as
// the interpreter's subscript of None does).
Ref point_from_tuple(PyObject* tuple);

// The overridable copy of a Point1d (always a plain Point1d).
Ref point_copy(PyObject* self);

} // namespace pykesta::curvetypes
