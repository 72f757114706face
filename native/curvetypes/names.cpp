#include "curvetypes/names.h"

#include "common/pyref.h"

namespace pykesta::curvetypes {

void intern_names(Names& names) {
#define PYKESTA_INTERN(name) names.name = check(PyUnicode_InternFromString(#name));
    PYKESTA_NAMES(PYKESTA_INTERN)
#undef PYKESTA_INTERN
}

} // namespace pykesta::curvetypes
