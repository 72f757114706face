#include "curvetypes/types.h"

namespace pykesta::curvetypes {

void add_transforms(TypeParts&, Trajectory1dVTable&) {}

} // namespace pykesta::curvetypes
