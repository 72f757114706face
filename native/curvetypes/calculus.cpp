#include "curvetypes/types.h"

namespace pykesta::curvetypes {

void add_calculus(TypeParts&, Trajectory1dVTable&) {}

} // namespace pykesta::curvetypes
