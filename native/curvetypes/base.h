// Pieces of the persistable base that the other classes share.
#pragma once

#include "common/errors.h"

#include <utility>

namespace pykesta::curvetypes {

// Argument-type checks of savexml and loadxml: each must be a str or None.
void check_file_args(PyObject* fname, PyObject* ID);

// Parses the (fname, ID) pair of savexml/loadxml, by position or keyword, and checks it.
std::pair<PyObject*, PyObject*> parse_file_args(const char* func, PyObject* const* args,
                                                Py_ssize_t nargs, PyObject* kwnames);

// Enters __unpickle_PyKESTAObject into the module.
Ref add_unpickle_function(PyObject* module);

} // namespace pykesta::curvetypes
