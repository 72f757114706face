#include "curvetypes/types.h"

namespace pykesta::curvetypes {

void add_base_persistence(TypeParts&, PyKESTAObjectVTable&) {}
void add_point_persistence(TypeParts&, Point1dVTable&) {}
void add_trajectory_persistence(TypeParts&, Trajectory1dVTable&) {}

} // namespace pykesta::curvetypes
