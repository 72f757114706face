#include "curvetypes/names.h"

#include "common/pyref.h"

namespace pykesta::curvetypes {

Names names;

void intern_names() {
#define PYKESTA_INTERN(name) names.name = check(PyUnicode_InternFromString(#name));
    PYKESTA_NAMES(PYKESTA_INTERN)
#undef PYKESTA_INTERN
}

} // namespace pykesta::curvetypes
