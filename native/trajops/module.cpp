#include <Python.h>

static PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "pykesta.trajops", nullptr, -1, nullptr};

PyMODINIT_FUNC PyInit_trajops() { return PyModule_Create(&module_def); }
