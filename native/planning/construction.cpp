#include "planning/planning.h"

namespace pykesta::planning {

PyMethodDef construction_methods[] = {{nullptr, nullptr, 0, nullptr}};

void init_construction(PyObject*) {}

} // namespace pykesta::planning
