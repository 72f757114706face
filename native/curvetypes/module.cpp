// Import of pykesta.curvetypes: the classes, the kernels, the modules it
// uses, its published names, the exception classes and the native API.
#define PYKESTA_IMPORTS_NUMPY
#include "curvetypes/numpy_api.h"

#include "common/module_init.h"
#include "common/native_api.h"
#include "curvetypes/base.h"
#include "curvetypes/module_state.h"
#include "curvetypes/storage.h"
#include "curvetypes/types.h"

#include <cstring>

namespace pykesta::curvetypes {

ModuleState* current_state;

static c_point1d make_point(double u, double value, uint32_t order) { return {u, value, order}; }

static const CurvetypesAPI api = {
    &PyKESTAObject_Type,
    &Point1d_Type,
    &Trajectory1d_Type,
    &base_vtable,
    &point_vtable,
    &trajectory_vtable,
    sizeof(PyKESTAObjectObject),
    sizeof(Point1dObject),
    sizeof(Trajectory1dObject),
    make_point,
};

static const char module_doc[] =
    "\nIn this module there are the data structures necessary for the working of the\n"
    "library.\n\n";

static PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "pykesta.curvetypes", module_doc, -1,
                                 nullptr};

// Imports `name` and enters it into the module as `alias`; returns it.
static Ref import_as(PyObject* module, const char* name, const char* alias) {
    Ref imported = Ref::steal(PyImport_ImportModule(name));
    check_status(PyModule_AddObjectRef(module, alias, imported.get()));
    return imported;
}

// `from lxml import etree`, with the interpreter's error when etree is missing.
static Ref import_etree(PyObject* module) {
    Ref lxml = Ref::steal(PyImport_ImportModule("lxml"));
    Ref etree = Ref::steal_or_null(PyObject_GetAttrString(lxml.get(), "etree"));
    if (!etree) {
        PyErr_Clear();
        etree = Ref::steal_or_null(PyImport_ImportModule("lxml.etree"));
        if (!etree) {
            if (!PyErr_ExceptionMatches(PyExc_ImportError)) throw python_error{};
            PyErr_Clear();
            Ref missing = Ref::steal(PyUnicode_FromString("etree"));
            raise_format(PyExc_ImportError, "cannot import name %S", missing.get());
        }
    }
    check_status(PyModule_AddObjectRef(module, "etree", etree.get()));
    return etree;
}

static const char convergence_doc[] =
    "\n"
    "    An error when a macro-instruction loop fails.\n"
    "    \n"
    "    Published for callers: no operation of the library raises it.\n"
    "\n"
    "    See Also\n"
    "    --------\n"
    "    CorruptedFileError : The error the library raises for a damaged file.\n"
    "\n"
    "    Examples\n"
    "    --------\n"
    "    >>> from pykesta.curvetypes import ConvergenceError\n"
    "    >>> issubclass(ConvergenceError, Exception)\n"
    "    True\n";

static const char corrupted_doc[] =
    "\n"
    "    An error when an uploaded file is corrupted.\n"
    "    \n"
    "    Raised by savexml when the existing file's root element is not\n"
    "    PyKESTAObjectList, or when it holds an object's class and ID more than\n"
    "    once; the file is then left unchanged.\n"
    "\n"
    "    See Also\n"
    "    --------\n"
    "    PyKESTAObject.savexml : The method that raises it.\n"
    "\n"
    "    Examples\n"
    "    --------\n"
    "    >>> import os, tempfile\n"
    "    >>> from pykesta.curvetypes import CorruptedFileError, Point1d\n"
    "    >>> with tempfile.TemporaryDirectory() as folder:\n"
    "    ...     fname = os.path.join(folder, 'notes.xml')\n"
    "    ...     with open(fname, 'w') as file:\n"
    "    ...         _ = file.write('<notes/>')\n"
    "    ...     try:\n"
    "    ...         Point1d(0.5, 2.0, 1).savexml(fname, 'a')\n"
    "    ...     except CorruptedFileError as error:\n"
    "    ...         print(error)\n"
    "    corrupt root node in the uploaded file: notes\n";

static Ref new_exception(PyObject* module, const char* name, const char* doc) {
    Ref type = Ref::steal(PyErr_NewExceptionWithDoc(name, doc, PyExc_Exception, nullptr));
    const char* short_name = std::strrchr(name, '.') + 1;
    check_status(PyModule_AddObjectRef(module, short_name, type.get()));
    return type;
}

static void initialise(PyObject* module) {
    ModuleState& st = module_state();
    intern_names(st.names);
    check_status(PyType_Ready(&Storage_Type));
    create_classes(module);
    import_as(module, "numpy", "np"); // numpy's array types are needed from here on
    bind_kernels(st.kernels, import_as(module, "pykesta.knotmath", "knotmath").get());
    st.np = import_as(module, "numpy", "np");
    if (_import_array() < 0) {
        PyErr_Clear();
        raise(PyExc_ImportError, "numpy.core.multiarray failed to import");
    }
    st.os = import_as(module, "os", "os");
    st.etree = import_etree(module);
    import_as(module, "re", "re");
    st.package = import_as(module, "pykesta", "pykesta");
    Ref all = Ref::steal(Py_BuildValue("[sssss]", "ConvergenceError", "CorruptedFileError",
                                       "PyKESTAObject", "Trajectory1d", "Point1d"));
    check_status(PyModule_AddObjectRef(module, "__all__", all.get()));
    st.ConvergenceError =
        new_exception(module, "pykesta.curvetypes.ConvergenceError", convergence_doc);
    st.CorruptedFileError =
        new_exception(module, "pykesta.curvetypes.CorruptedFileError", corrupted_doc);
    Ref extension = Ref::steal(PyUnicode_FromString(".pykesta"));
    check_status(PyModule_AddObjectRef(module, "DEF_EXT", extension.get()));
    st.DEF_EXT = extension;
    st.unpickle_function = add_unpickle_function(module);
    export_function(module, "make_point", reinterpret_cast<void*>(make_point),
                    "pykesta::curvetypes::c_point1d (double u, double value, uint32_t order)");
    export_function(module, "api", const_cast<CurvetypesAPI*>(&api), api_signature);
}

} // namespace pykesta::curvetypes

PyMODINIT_FUNC PyInit_curvetypes() {
    using namespace pykesta::curvetypes;
    return pykesta::create_module(&module_def, current_state, initialise);
}
