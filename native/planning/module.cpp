// Import of pykesta.planning: numpy, the classes of pykesta.curvetypes, the
// kernels of pykesta.knotmath, then each group's types and functions.
#define PYKESTA_IMPORTS_NUMPY
#include "planning/numpy_api.h"

#include "planning/planning.h"

#include "common/module_init.h"

#include <vector>

namespace pykesta::planning {

static const char module_doc[] =
    "Motion planning over trajectories: analysis (sampling, integrals, exact\n"
    "extrema and roots, limit checks, retiming), construction of trajectories\n"
    "from data, and time-optimal profiles.\n";

static PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "pykesta.planning", module_doc, -1,
                                 nullptr};

static std::vector<PyMethodDef> functions; // must outlive the module's function objects

static void append(const PyMethodDef* table) {
    for (; table->ml_name != nullptr; ++table) functions.push_back(*table);
}

static void initialise(PyObject* module) {
    if (_import_array() < 0) throw python_error{};
    bind_curvetypes(module_state(), Ref::steal(PyImport_ImportModule("pykesta.curvetypes")));
    Ref knotmath = Ref::steal(PyImport_ImportModule("pykesta.knotmath"));
    bind_kernels(module_state(), knotmath.get());
    functions.clear();
    append(analysis_methods);
    append(construction_methods);
    append(profile_methods);
    functions.push_back({nullptr, nullptr, 0, nullptr});
    check_status(PyModule_AddFunctions(module, functions.data()));
    init_analysis(module);
    init_construction(module);
    init_profiles(module);
    Ref all = Ref::steal(PyList_New(0));
    Ref names = Ref::steal(PyObject_Dir(module));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(names.get()); ++i) {
        PyObject* name = PyList_GET_ITEM(names.get(), i);
        if (PyUnicode_READ_CHAR(name, 0) != '_') check_status(PyList_Append(all.get(), name));
    }
    check_status(PyModule_AddObjectRef(module, "__all__", all.get()));
}

} // namespace pykesta::planning

PyMODINIT_FUNC PyInit_planning() {
    using namespace pykesta::planning;
    return pykesta::create_module(&module_def, current_state, initialise);
}
