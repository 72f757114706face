// The XML document of stored objects, worked through lxml.etree: file names,
// parsing, the identity lookup, new documents and serialisation.
#pragma once

#include "common/pyref.h"

namespace pykesta::curvetypes {

// `fname` with DEF_EXT appended when os.path.splitext finds no extension
// (None fails there with the interpreter's TypeError).
Ref document_file_name(PyObject* fname);

// Whether the parser drops whitespace-only text between elements, so that a
// rewritten document is indented afresh.
enum class BlankText { keep, remove };

// Parses the file (an ElementTree). External entities are never resolved and
// the network is never used, whatever the document declares.
Ref parse_document(PyObject* path, BlankText blank_text);

// The root element of a parsed document; CorruptedFileError "corrupt root
// node in the uploaded file: <tag>" unless it is PyKESTAObjectList.
Ref checked_root(PyObject* tree);

// A new ElementTree: the header comment with the package version, then an
// empty root element PyKESTAObjectList.
Ref new_document();

// The whole document as UTF-8 bytes: declaration, pretty printed.
Ref serialise_document(PyObject* tree);

// The text under which an object is stored: str(ID), so None is "None".
Ref id_text(PyObject* ID);

// The tag of an object's element: the __name__ of its __class__.
Ref class_name_of(PyObject* self);

// Stored elements of (class name, ID), in document order, as a list: the
// direct children of the root PyKESTAObjectList with that tag and ID
// attribute, or with `child` given (a tag), those children of them. The ID
// is an XPath variable, so any text, apostrophes included, matches itself.
Ref find_stored(PyObject* tree, PyObject* class_name, PyObject* id_text,
                const char* child = nullptr);

// Item 0 of a lookup result: IndexError "list index out of range" when empty.
Ref first_found(PyObject* found);

// Appends etree.SubElement(parent, tag, attributes) (attributes may be null).
Ref append_element(PyObject* parent, PyObject* tag, PyObject* attributes = nullptr);

} // namespace pykesta::curvetypes
