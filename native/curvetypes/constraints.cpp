#include "curvetypes/types.h"

namespace pykesta::curvetypes {

void add_constraints(TypeParts&, Trajectory1dVTable&) {}

} // namespace pykesta::curvetypes
