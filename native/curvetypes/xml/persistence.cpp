// Saving objects into the XML document (savexml of the base, the add and
// update operations of Point1d and Trajectory1d) and the loaders' entries.
#include "curvetypes/types.h"

#include "common/argparse.h"
#include "common/dispatch.h"
#include "curvetypes/base.h"
#include "curvetypes/module_state.h"
#include "curvetypes/trajectory.h"
#include "curvetypes/xml/document_file.h"
#include "curvetypes/xml/number_text.h"
#include "curvetypes/xml/xml_document.h"
#include "curvetypes/xml/xml_loading.h"

namespace pykesta::curvetypes {

// ---- elements of stored objects ----------------------------------------------------

// self._getAttrib() through the table, so that a redefinition is used.
static Ref attributes_of(PyObject* self) {
    Ref attributes = Ref::steal(vtable_of(self)._getAttrib(self));
    if (!PyDict_Check(attributes.get()))
        raise_format(PyExc_TypeError, "Expected %.16s, got %.200s", "dict",
                     Py_TYPE(attributes.get())->tp_name);
    return attributes;
}

// Appends the element of `self` to `root`: tagged with its class name, with
// the attribute ID first and then those of _getAttrib() in their order.
static Ref append_object_element(PyObject* self, PyObject* root, PyObject* ID) {
    Ref attributes = Ref::steal(PyDict_New());
    Ref id = id_text(ID);
    check_status(PyDict_SetItemString(attributes.get(), "ID", id.get()));
    Ref own = attributes_of(self);
    check_status(PyDict_Update(attributes.get(), own.get()));
    Ref tag = class_name_of(self);
    return append_element(root, tag.get(), attributes.get());
}

// Sets the attributes of _getAttrib() on `element`: an existing one keeps its
// place, a new one is appended, the others stay as they are.
static void update_attributes(PyObject* self, PyObject* element) {
    Ref own = attributes_of(self);
    Ref items = Ref::steal(PyDict_Items(own.get()));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
        PyObject* item = PyList_GET_ITEM(items.get(), i);
        Ref done = Ref::steal(PyObject_CallMethod(element, "set", "OO", PyTuple_GET_ITEM(item, 0),
                                                  PyTuple_GET_ITEM(item, 1)));
    }
}

static void set_text(PyObject* element, PyObject* text) {
    check_status(PyObject_SetAttrString(element, "text", text));
}

static void point_add_native(PyObject* self, PyObject* root, PyObject* ID) {
    append_object_element(self, root, ID);
}

static void point_update_native(PyObject* self, PyObject*, PyObject* node, PyObject*) {
    update_attributes(self, node);
}

struct NumberTexts {
    Ref cpts;
    Ref knots;
};

// Both texts are made before any interpreter code runs, so the arrays read
// are the ones require_arrays found.
static NumberTexts number_texts(PyObject* self) {
    Arrays arrays = require_arrays(self);
    Ref cpts = number_list_text(arrays.P, arrays.nP);
    return {std::move(cpts), number_list_text(arrays.U, arrays.nU)};
}

static void append_text_child(PyObject* element, const char* tag, PyObject* text) {
    Ref child_tag = Ref::steal(PyUnicode_FromString(tag));
    set_text(append_element(element, child_tag.get()).get(), text);
}

static void trajectory_add_native(PyObject* self, PyObject* root, PyObject* ID) {
    NumberTexts texts = number_texts(self);
    Ref element = append_object_element(self, root, ID);
    append_text_child(element.get(), "cpts", texts.cpts.get());
    append_text_child(element.get(), "knots", texts.knots.get());
}

static void trajectory_update_native(PyObject* self, PyObject* tree, PyObject* node, PyObject* ID) {
    NumberTexts texts = number_texts(self);
    update_attributes(self, node);
    Ref tag = class_name_of(self);
    Ref id = id_text(ID);
    Ref cpts = first_found(find_stored(tree, tag.get(), id.get(), "cpts").get());
    set_text(cpts.get(), texts.cpts.get());
    Ref knots = first_found(find_stored(tree, tag.get(), id.get(), "knots").get());
    set_text(knots.get(), texts.knots.get());
}

// ---- add and update: dispatch, table entries, interpreter methods -----------------

using AddFunction = void (*)(PyObject* self, PyObject* root, PyObject* ID);
using UpdateFunction = void (*)(PyObject* self, PyObject* tree, PyObject* node, PyObject* ID);

template <PyTypeObject* type, AddFunction native>
static int add_entry(PyObject* self, PyObject* root, PyObject* ID) {
    return guard_status([&] {
        if (Ref redefined = find_override(self, type, module_state().names._addPyKESTAObject))
            call(redefined.get(), root, ID);
        else
            native(self, root, ID);
    });
}

template <PyTypeObject* type, UpdateFunction native>
static int update_entry(PyObject* self, PyObject* tree, PyObject* node, PyObject* ID) {
    return guard_status([&] {
        if (Ref redefined = find_override(self, type, module_state().names._updatePyKESTAObject))
            call(redefined.get(), tree, node, ID);
        else
            native(self, tree, node, ID);
    });
}

template <AddFunction native>
static PyObject* py_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    return guard_object([&] {
        auto [root, ID] =
            parse_args(Params<2>{"_addPyKESTAObject", {"root", "ID"}}, args, nargs, kwnames);
        check_arg_type(ID, &PyUnicode_Type, "ID", true);
        native(self, root, ID);
        return Ref::borrow(Py_None);
    });
}

template <UpdateFunction native>
static PyObject* py_update(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    return guard_object([&] {
        auto [tree, node, ID] = parse_args(
            Params<3>{"_updatePyKESTAObject", {"tree", "node", "ID"}}, args, nargs, kwnames);
        check_arg_type(ID, &PyUnicode_Type, "ID", true);
        native(self, tree, node, ID);
        return Ref::borrow(Py_None);
    });
}

// ---- savexml ------------------------------------------------------------------------

// The file's document with `self` added under ID, or its element rewritten.
static Ref updated_document(PyObject* self, PyObject* path, PyObject* ID) {
    Ref tree = parse_document(path, BlankText::remove);
    Ref root = checked_root(tree.get());
    Ref tag = class_name_of(self);
    Ref id = id_text(ID);
    Ref found = find_stored(tree.get(), tag.get(), id.get());
    Py_ssize_t count = PyObject_Length(found.get());
    if (count < 0) throw python_error{};
    if (count > 1)
        raise_format(module_state().CorruptedFileError.get(),
                     "multiple matches in the uploaded file: %S", id.get());
    if (count == 0) {
        check_status(vtable_of(self)._addPyKESTAObject(self, root.get(), ID));
    } else {
        Ref element = first_found(found.get());
        check_status(vtable_of(self)._updatePyKESTAObject(self, tree.get(), element.get(), ID));
    }
    return tree;
}

static Ref created_document(PyObject* self, PyObject* ID) {
    Ref tree = new_document();
    Ref root = checked_root(tree.get());
    check_status(vtable_of(self)._addPyKESTAObject(self, root.get(), ID));
    return tree;
}

static void savexml_native(PyObject* self, PyObject* fname, PyObject* ID) {
    Ref path = document_file_name(fname);
    for (;;) {
        DocumentFile file(path.get());
        Ref tree =
            file.exists() ? updated_document(self, path.get(), ID) : created_document(self, ID);
        Ref contents = serialise_document(tree.get());
        if (file.publish(contents.get())) return;
    }
}

static void savexml(PyObject* self, PyObject* fname, PyObject* ID) {
    if (Ref redefined = find_override(self, &PyKESTAObject_Type, module_state().names.savexml)) {
        call(redefined.get(), fname, ID);
        return;
    }
    savexml_native(self, fname, ID);
}

static int savexml_entry(PyObject* self, PyObject* fname, PyObject* ID) {
    return guard_status([&] { savexml(self, fname, ID); });
}

static PyObject* py_savexml(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return guard_object([&] {
        auto [fname, ID] = parse_file_args("savexml", args, nargs, kwnames);
        savexml_native(self, fname, ID);
        return Ref::borrow(Py_None);
    });
}

// ---- loaders ------------------------------------------------------------------------

using LoadFunction = Ref (*)(PyObject* fname, PyObject* ID);

template <LoadFunction load> static PyObject* loadxml_entry(PyObject* fname, PyObject* ID) {
    return guard_object([&] { return load(fname, ID); });
}

// The inherited class-level slot forwards to the class's own loader.
template <LoadFunction load>
static PyObject* loadxml_class_entry(PyTypeObject*, PyObject* fname, PyObject* ID) {
    return loadxml_entry<load>(fname, ID);
}

template <LoadFunction load>
static PyObject* py_loadxml(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object([&] {
        auto [fname, ID] = parse_file_args("loadxml", args, nargs, kwnames);
        return load(fname, ID);
    });
}

// ---- assembly -------------------------------------------------------------------------

static const char savexml_doc[] =
    "savexml($self, /, fname, ID)\n"
    "--\n"
    "\n"
    "Method to save a PyKESTAObject object to a file in .xml format.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "fname : str\n"
    "    File name; the default extension '.pykesta' is added when it has none.\n"
    "ID : str\n"
    "    Object ID.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "None\n"
    "    The file is written.\n"
    "\n"
    "Raises\n"
    "------\n"
    "TypeError\n"
    "    \"Argument 'fname' has incorrect type (expected str, got ...)\", and the\n"
    "    same for ID; the TypeError of the path functions for an fname of None.\n"
    "CorruptedFileError\n"
    "    \"corrupt root node in the uploaded file: \" followed by the tag, when the\n"
    "    existing file's root element is not PyKESTAObjectList; \"multiple matches\n"
    "    in the uploaded file: \" followed by ID, when it holds the object's class\n"
    "    and ID more than once. The file is unchanged then.\n"
    "NotImplementedError\n"
    "    \"abstract method\" for a plain PyKESTAObject.\n"
    "OSError\n"
    "    When the file cannot be read or written; lxml's XMLSyntaxError when the\n"
    "    existing file is not well-formed XML.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "Point1d.loadxml, Trajectory1d.loadxml : Loading the object back.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "The file is created when missing; an object of the same class and ID already in it is\n"
    "rewritten in place, otherwise the object is appended. The file is replaced in one step,\n"
    "so it never holds a partly written document, and saves into one file from several\n"
    "threads or processes all arrive.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import os, tempfile\n"
    ">>> from pykesta.curvetypes import Point1d\n"
    ">>> with tempfile.TemporaryDirectory() as folder:\n"
    "...     fname = os.path.join(folder, 'points')\n"
    "...     Point1d(0.5, 2.0, 1).savexml(fname, 'start')\n"
    "...     print(os.listdir(folder))\n"
    "...     print(Point1d.loadxml(fname, 'start'))\n"
    "['points.pykesta']\n"
    "Point1d(t = 0.5, val = 2.0, order = 1)\n";

static const char point_loadxml_doc[] =
    "loadxml(fname, ID)\n"
    "--\n"
    "\n"
    "Method to load a Point1d object from a file in .xml format.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "fname : str\n"
    "    File name; the default extension '.pykesta' is added when it has none.\n"
    "ID : str\n"
    "    Object ID.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Point1d\n"
    "    The first point stored under ID.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"no match for ID: \" followed by ID when the file stores no point under\n"
    "    ID.\n"
    "TypeError\n"
    "    \"Argument 'fname' has incorrect type (expected str, got ...)\", and the\n"
    "    same for ID.\n"
    "OSError\n"
    "    When the file is missing or cannot be read; lxml's XMLSyntaxError when it\n"
    "    is not well-formed XML.\n"
    "OverflowError\n"
    "    When the stored order is negative.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "PyKESTAObject.savexml : Saving the point.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import os, tempfile\n"
    ">>> from pykesta.curvetypes import Point1d\n"
    ">>> with tempfile.TemporaryDirectory() as folder:\n"
    "...     fname = os.path.join(folder, 'points.xml')\n"
    "...     Point1d(0.5, 2.0, 1).savexml(fname, 'start')\n"
    "...     print(Point1d.loadxml(fname, 'start'))\n"
    "...     Point1d.loadxml(fname, 'stop')\n"
    "Traceback (most recent call last):\n"
    "    ...\n"
    "ValueError: no match for ID: stop\n";

static const char trajectory_loadxml_doc[] =
    "loadxml(fname, ID)\n"
    "--\n"
    "\n"
    "Method to load a Trajectory1d object from a file in .xml format.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "fname : str\n"
    "    File name; the default extension '.pykesta' is added when it has none.\n"
    "ID : str\n"
    "    Object ID.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "Trajectory1d\n"
    "    The first trajectory stored under ID, owning its arrays.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"no match for ID: \" followed by ID when the file stores no trajectory\n"
    "    under ID; the conversion errors of a malformed number.\n"
    "TypeError\n"
    "    \"Argument 'fname' has incorrect type (expected str, got ...)\", and the\n"
    "    same for ID.\n"
    "OSError\n"
    "    When the file is missing or cannot be read; lxml's XMLSyntaxError when it\n"
    "    is not well-formed XML.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "PyKESTAObject.savexml : Saving the trajectory.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import os, tempfile\n"
    ">>> from pykesta import from_arrays\n"
    ">>> from pykesta.curvetypes import Trajectory1d\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)\n"
    ">>> with tempfile.TemporaryDirectory() as folder:\n"
    "...     fname = os.path.join(folder, 'moves')\n"
    "...     t.savexml(fname, 'v1')\n"
    "...     loaded = Trajectory1d.loadxml(fname, 'v1')\n"
    ">>> loaded == t\n"
    "True\n";

static const char add_doc[] =
    "_addPyKESTAObject($self, /, root, ID)\n--\n\n"
    "Appends the element of this object to the document root.\n\n"
    "Parameters\n----------\nroot : lxml.etree._Element\n    Root of the document.\n"
    "ID : str\n    Object ID.\n";

static const char update_doc[] =
    "_updatePyKESTAObject($self, /, tree, node, ID)\n--\n\n"
    "Rewrites the stored element of this object in place.\n\n"
    "Parameters\n----------\ntree : lxml.etree._ElementTree\n    The parsed document.\n"
    "node : lxml.etree._Element\n    The element stored for this object.\n"
    "ID : str\n    Object ID.\n";

template <AddFunction add, UpdateFunction update, LoadFunction load>
static void append_methods(TypeParts& parts, const char* loadxml_doc) {
    parts.methods.insert(
        parts.methods.end(),
        {
            {"loadxml", reinterpret_cast<PyCFunction>(py_loadxml<load>),
             METH_FASTCALL | METH_KEYWORDS | METH_STATIC, loadxml_doc},
            {"_addPyKESTAObject", reinterpret_cast<PyCFunction>(py_add<add>),
             METH_FASTCALL | METH_KEYWORDS, add_doc},
            {"_updatePyKESTAObject", reinterpret_cast<PyCFunction>(py_update<update>),
             METH_FASTCALL | METH_KEYWORDS, update_doc},
        });
}

void add_base_persistence(TypeParts& parts, PyKESTAObjectVTable& vtable) {
    vtable.savexml = savexml_entry;
    parts.methods.push_back({"savexml", reinterpret_cast<PyCFunction>(py_savexml),
                             METH_FASTCALL | METH_KEYWORDS, savexml_doc});
}

void add_point_persistence(TypeParts& parts, Point1dVTable& vtable) {
    vtable.base.c_loadxml = loadxml_class_entry<load_point>;
    vtable.base._addPyKESTAObject = add_entry<&Point1d_Type, point_add_native>;
    vtable.base._updatePyKESTAObject = update_entry<&Point1d_Type, point_update_native>;
    vtable.c_loadxml = loadxml_entry<load_point>;
    append_methods<point_add_native, point_update_native, load_point>(parts, point_loadxml_doc);
}

void add_trajectory_persistence(TypeParts& parts, Trajectory1dVTable& vtable) {
    vtable.base.c_loadxml = loadxml_class_entry<load_trajectory>;
    vtable.base._addPyKESTAObject = add_entry<&Trajectory1d_Type, trajectory_add_native>;
    vtable.base._updatePyKESTAObject = update_entry<&Trajectory1d_Type, trajectory_update_native>;
    vtable.c_loadxml = loadxml_entry<load_trajectory>;
    append_methods<trajectory_add_native, trajectory_update_native, load_trajectory>(
        parts, trajectory_loadxml_doc);
}

} // namespace pykesta::curvetypes
