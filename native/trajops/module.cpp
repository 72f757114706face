// Import of pykesta.trajops: its native entry points, the classes of
// pykesta.curvetypes, the two kernels it calls, and its sixteen functions.
#include "trajops/functions.h"

#include "common/module_init.h"

namespace pykesta::trajops {

static const char module_doc[] =
    "This module contains the basic functions to work on the trajectories.\n\n"
    "All functions\n-------------\n"
    "join\njoins\ntrajsli\nmirror\nadd\nrshift\nashift\nhscale\nadapt\nderivative\n"
    "antiderivative\nsetValueTr\nsetValueAm\nsetValueSm\nsavexml\nsaveallxml\n";

static PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "pykesta.trajops", module_doc, -1, nullptr};

static FunctionList functions; // must outlive the module's function objects

static void initialise(PyObject* module) {
    add_join(functions, module);
    add_slicing(functions, module);
    add_thin_functions(functions, module);
    add_constraints(functions, module);
    add_saving(functions, module);
    bind_curvetypes(module_state(), Ref::steal(PyImport_ImportModule("pykesta.curvetypes")));
    Ref numpy = Ref::steal(PyImport_ImportModule("numpy"));
    Ref knotmath = Ref::steal(PyImport_ImportModule("pykesta.knotmath"));
    bind_kernels(module_state(), knotmath.get());
    check_status(PyModule_AddObjectRef(module, "np", numpy.get()));
    Ref all = Ref::steal(Py_BuildValue("[ssssssssssssssss]", "join", "joins", "trajsli", "mirror",
                                       "add", "rshift", "ashift", "hscale", "adapt", "derivative",
                                       "antiderivative", "setValueTr", "setValueAm", "setValueSm",
                                       "savexml", "saveallxml"));
    check_status(PyModule_AddObjectRef(module, "__all__", all.get()));
    functions.push_back({nullptr, nullptr, 0, nullptr});
    check_status(PyModule_AddFunctions(module, functions.data()));
}

} // namespace pykesta::trajops

PyMODINIT_FUNC PyInit_trajops() {
    using namespace pykesta::trajops;
    return pykesta::create_module(&module_def, current_state, initialise);
}
