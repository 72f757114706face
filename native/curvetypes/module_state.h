// Everything pykesta.curvetypes keeps between calls: one state, created at the
// start of the import and reached through module_state().
#pragma once

#include "common/pyref.h"
#include "curvetypes/kernel_table.h"
#include "curvetypes/names.h"

namespace pykesta::curvetypes {

struct ModuleState {
    Names names;
    Kernels kernels;
    Ref np;      // numpy
    Ref os;      // os
    Ref etree;   // lxml.etree
    Ref package; // pykesta
    Ref ConvergenceError;
    Ref CorruptedFileError;
    Ref DEF_EXT;           // ".pykesta"
    Ref unpickle_function; // __unpickle_PyKESTAObject
};

// Set by the import. The classes are static and may be used for as long as the
// process runs, so the state is released only when the import fails (see
// module.cpp); with per-interpreter classes it would move into the module.
extern ModuleState* current_state;

inline ModuleState& module_state() { return *current_state; }

} // namespace pykesta::curvetypes
