// Internal declarations shared by the files of pykesta.curvetypes: the three
// classes, their tables of virtual operations, and the pieces from which the
// files assemble them.
#pragma once

#include "common/errors.h"
#include "curvetypes/curvetypes.h"

#include <vector>

namespace pykesta::curvetypes {

extern PyTypeObject PyKESTAObject_Type;
extern PyTypeObject Point1d_Type;
extern PyTypeObject Trajectory1d_Type;

extern PyKESTAObjectVTable base_vtable;
extern Point1dVTable point_vtable;
extern Trajectory1dVTable trajectory_vtable;

// The table of the native class that `obj` is an instance of (Trajectory1d,
// Point1d or the base); its entries reach redefinitions of `obj`'s class.
const PyKESTAObjectVTable& vtable_of(PyObject* obj);

// Each concept file contributes its methods and properties, and may set type
// slots and table entries, through one add_* function called at class creation.
struct TypeParts {
    PyTypeObject& type;
    std::vector<PyMethodDef> methods;
    std::vector<PyGetSetDef> properties;
};

// Creates the three classes (filling their tables) and enters them into the module.
void create_classes(PyObject* module);

void add_base(TypeParts& parts, PyKESTAObjectVTable& vtable);
void add_point(TypeParts& parts, Point1dVTable& vtable);
void add_trajectory_record(TypeParts& parts, Trajectory1dVTable& vtable);
void add_state(TypeParts& parts, Trajectory1dVTable& vtable);
void add_evaluation(TypeParts& parts, Trajectory1dVTable& vtable);
void add_transforms(TypeParts& parts, Trajectory1dVTable& vtable);
void add_calculus(TypeParts& parts, Trajectory1dVTable& vtable);
void add_knot_operations(TypeParts& parts, Trajectory1dVTable& vtable);
void add_arithmetic(TypeParts& parts, Trajectory1dVTable& vtable);
void add_constraints(TypeParts& parts, Trajectory1dVTable& vtable);
// Saving and loading (the XML document): savexml on the base, the add/update
// operations and loaders of the two concrete classes.
void add_base_persistence(TypeParts& parts, PyKESTAObjectVTable& vtable);
void add_point_persistence(TypeParts& parts, Point1dVTable& vtable);
void add_trajectory_persistence(TypeParts& parts, Trajectory1dVTable& vtable);

// Documentation of Trajectory1d.__call__, installed on its call slot.
extern const char* const trajectory_call_doc;

// "Argument '<name>' has incorrect type (expected pykesta.curvetypes.Trajectory1d, ...)".
void check_trajectory_arg(PyObject* obj, const char* name, bool none_allowed);

} // namespace pykesta::curvetypes
