// Module-level objects of pykesta.curvetypes, set once during import.
#pragma once

#include <Python.h>

namespace pykesta::curvetypes {

struct ModuleGlobals {
    PyObject* module;      // pykesta.curvetypes itself (borrowed)
    PyObject* np;          // numpy
    PyObject* os;          // os
    PyObject* etree;       // lxml.etree
    PyObject* package;     // pykesta
    PyObject* ConvergenceError;
    PyObject* CorruptedFileError;
    PyObject* DEF_EXT;     // ".pykesta"
};

extern ModuleGlobals globals;

} // namespace pykesta::curvetypes
