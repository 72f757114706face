#include <Python.h>

static PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "pykesta.curvetypes", nullptr, -1, nullptr};

PyMODINIT_FUNC PyInit_curvetypes() { return PyModule_Create(&module_def); }
