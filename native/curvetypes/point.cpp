// Point1d: the object form of a point constraint (t, val, order).
#include "curvetypes/types.h"

namespace pykesta::curvetypes {

Point1dVTable point_vtable;

void add_point(TypeParts&, Point1dVTable&) {}

} // namespace pykesta::curvetypes
