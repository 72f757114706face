#include "curvetypes/xml/xml_loading.h"

#include "common/convert.h"
#include "curvetypes/module_state.h"
#include "curvetypes/point.h"
#include "curvetypes/trajectory.h"
#include "curvetypes/xml/number_text.h"
#include "curvetypes/xml/xml_document.h"

namespace pykesta::curvetypes {

// The first element stored under (tag, ID): ValueError when there is none.
static Ref stored_element(PyObject* tree, PyObject* tag, PyObject* id) {
    Ref found = find_stored(tree, tag, id);
    Py_ssize_t count = PyObject_Length(found.get());
    if (count < 0) throw python_error{};
    if (count == 0) raise_format(PyExc_ValueError, "no match for ID: %S", id);
    return first_found(found.get());
}

// The attribute's text, or None when the element has no such attribute (the
// conversions then raise their own errors for None).
static Ref attribute_text(PyObject* element, const char* name) {
    return Ref::steal(PyObject_CallMethod(element, "get", "s", name));
}

static int32_t int_attribute(PyObject* element, const char* name) {
    Ref text = attribute_text(element, name);
    Ref number = Ref::steal(PyNumber_Long(text.get()));
    return to_int32(number.get());
}

// Any non-empty text sets the flag, "False" included.
static bool flag_attribute(PyObject* element, const char* name) {
    Ref text = attribute_text(element, name);
    int truth = PyObject_IsTrue(text.get());
    check_status(truth);
    return truth != 0;
}

// The first `count` numbers of a number list element. The pieces are counted
// before anything is allocated, so a damaged count never sizes an allocation.
static OwnedArray stored_numbers(PyObject* element, const char* tag, int64_t count) {
    Ref text = Ref::steal(PyObject_GetAttrString(element, "text"));
    NumberList numbers(text.get());
    if (numbers.size() < count)
        raise_format(module_state().CorruptedFileError.get(),
                     "too few numbers in '%s' of the uploaded file: %lld needed, %lld found", tag,
                     static_cast<long long>(count), static_cast<long long>(numbers.size()));
    OwnedArray buffer(count);
    numbers.convert(buffer.data(), count);
    return buffer;
}

Ref load_trajectory(PyObject* fname, PyObject* ID) {
    Ref path = document_file_name(fname);
    Ref tree = parse_document(path.get(), BlankText::keep);
    Ref tag = Ref::steal(PyUnicode_FromString("Trajectory1d"));
    Ref id = id_text(ID);
    Ref element = stored_element(tree.get(), tag.get(), id.get());
    int32_t p = int_attribute(element.get(), "p");
    int32_t n = int_attribute(element.get(), "n");
    // Read as a signed number and kept bit for bit: a stored -1 is 4294967295.
    auto order = static_cast<uint32_t>(int_attribute(element.get(), "order"));
    bool owner = flag_attribute(element.get(), "owner");
    if (p < 0 || n < 0)
        raise_format(module_state().CorruptedFileError.get(),
                     "negative degree or index in the uploaded file: p = %d, n = %d", p, n);
    Ref knots_element = first_found(find_stored(tree.get(), tag.get(), id.get(), "knots").get());
    Ref cpts_element = first_found(find_stored(tree.get(), tag.get(), id.get(), "cpts").get());
    OwnedArray knots = stored_numbers(knots_element.get(), "knots", int64_t{n} + p + 2);
    OwnedArray cpts = stored_numbers(cpts_element.get(), "cpts", int64_t{n} + 1);
    return new_trajectory(std::move(knots), std::move(cpts), p, n, order, owner);
}

// Assigns float() or int() of the attribute through the point's property.
static void set_from_attribute(PyObject* point, PyObject* property, PyObject* element,
                               const char* name, PyObject* (*convert)(PyObject*)) {
    Ref text = attribute_text(element, name);
    Ref value = Ref::steal(convert(text.get()));
    check_status(PyObject_SetAttr(point, property, value.get()));
}

Ref load_point(PyObject* fname, PyObject* ID) {
    Ref point = new_point();
    Ref path = document_file_name(fname);
    Ref tree = parse_document(path.get(), BlankText::keep);
    Ref tag = Ref::steal(PyUnicode_FromString("Point1d"));
    Ref id = id_text(ID);
    Ref element = stored_element(tree.get(), tag.get(), id.get());
    set_from_attribute(point.get(), module_state().names.t, element.get(), "t", PyNumber_Float);
    set_from_attribute(point.get(), module_state().names.val, element.get(), "val", PyNumber_Float);
    set_from_attribute(point.get(), module_state().names.order, element.get(), "order",
                       PyNumber_Long);
    return point;
}

} // namespace pykesta::curvetypes
