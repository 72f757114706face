#include "planning/planning.h"

namespace pykesta::planning {

PyMethodDef analysis_methods[] = {{nullptr, nullptr, 0, nullptr}};

void init_analysis(PyObject*) {}

} // namespace pykesta::planning
