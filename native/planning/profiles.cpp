#include "planning/planning.h"

namespace pykesta::planning {

PyMethodDef profile_methods[] = {{nullptr, nullptr, 0, nullptr}};

void init_profiles(PyObject*) {}

} // namespace pykesta::planning
