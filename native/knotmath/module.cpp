#include <Python.h>

static PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "pykesta.knotmath", nullptr, -1, nullptr};

PyMODINIT_FUNC PyInit_knotmath() { return PyModule_Create(&module_def); }
