// How another native module binds the API of pykesta.curvetypes: the capsule,
// then the instance sizes it was built against, so that a stale build fails at
// import instead of reading the objects wrongly.
#pragma once

#include "common/native_api.h"
#include "curvetypes/curvetypes.h"

namespace pykesta::curvetypes {

inline void check_instance_size(const char* name, Py_ssize_t expected, Py_ssize_t found) {
    if (expected != found)
        raise_format(PyExc_ValueError,
                     "pykesta.curvetypes.%s size changed, may indicate binary incompatibility. "
                     "Expected %zd, got %zd",
                     name, expected, found);
}

// Throws python_error.
inline const CurvetypesAPI* import_api(PyObject* curvetypes_module) {
    const auto* api =
        static_cast<const CurvetypesAPI*>(import_function(curvetypes_module, "api", api_signature));
    check_instance_size("PyKESTAObject", sizeof(PyKESTAObjectObject), api->PyKESTAObject_size);
    check_instance_size("Point1d", sizeof(Point1dObject), api->Point1d_size);
    check_instance_size("Trajectory1d", sizeof(Trajectory1dObject), api->Trajectory1d_size);
    return api;
}

} // namespace pykesta::curvetypes
