// Reading one stored object back from an XML document: the loaders behind
// Point1d.loadxml and Trajectory1d.loadxml.
#pragma once

#include "common/pyref.h"

namespace pykesta::curvetypes {

// A new Trajectory1d from the first element Trajectory1d stored under ID in
// the file (the file name rule applies). Whatever its stored owner flag, the
// trajectory frees the arrays it is given when it ends.
Ref load_trajectory(PyObject* fname, PyObject* ID);

// A new plain Point1d from the first element Point1d stored under ID.
Ref load_point(PyObject* fname, PyObject* ID);

} // namespace pykesta::curvetypes
