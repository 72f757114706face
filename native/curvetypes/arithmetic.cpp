#include "curvetypes/types.h"

namespace pykesta::curvetypes {

void add_arithmetic(TypeParts&, Trajectory1dVTable&) {}

} // namespace pykesta::curvetypes
