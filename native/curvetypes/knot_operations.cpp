#include "curvetypes/types.h"

namespace pykesta::curvetypes {

void add_knot_operations(TypeParts&, Trajectory1dVTable&) {}

} // namespace pykesta::curvetypes
