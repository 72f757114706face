// The interpreter's standard number conversions, with their exact messages.
#pragma once

#include "common/errors.h"

#include <cstdint>

namespace pykesta {

inline double to_double(PyObject* obj) {
    if (PyFloat_CheckExact(obj)) return PyFloat_AS_DOUBLE(obj);
    double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) throw python_error{};
    return value;
}

namespace detail {
// The integer behind `obj`: an int as it is, anything else through its __int__
// (so a float is truncated toward zero).
inline Ref integer_of(PyObject* obj) {
    if (PyLong_Check(obj)) return Ref::borrow(obj);
    PyNumberMethods* number = Py_TYPE(obj)->tp_as_number;
    if (number == nullptr || number->nb_int == nullptr)
        raise(PyExc_TypeError, "an integer is required");
    Ref result = Ref::steal(number->nb_int(obj));
    if (!PyLong_Check(result.get()))
        raise_format(PyExc_TypeError, "__int__ returned non-int (type %.200s)",
                     Py_TYPE(result.get())->tp_name);
    return result;
}
} // namespace detail

inline int32_t to_int32(PyObject* obj) {
    Ref integer = detail::integer_of(obj);
    int overflow = 0;
    long long value = PyLong_AsLongLongAndOverflow(integer.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) throw python_error{};
    if (overflow != 0 || value < INT32_MIN || value > INT32_MAX)
        raise(PyExc_OverflowError, "value too large to convert to int");
    return static_cast<int32_t>(value);
}

inline uint32_t to_uint32(PyObject* obj) {
    Ref integer = detail::integer_of(obj);
    int overflow = 0;
    long long value = PyLong_AsLongLongAndOverflow(integer.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) throw python_error{};
    if (overflow > 0 || (overflow == 0 && value > UINT32_MAX))
        raise(PyExc_OverflowError, "value too large to convert to unsigned int");
    if (overflow < 0 || value < 0)
        raise(PyExc_OverflowError, "can't convert negative value to unsigned int");
    return static_cast<uint32_t>(value);
}

inline Ref new_float(double value) { return Ref::steal(PyFloat_FromDouble(value)); }
inline Ref new_int(long long value) { return Ref::steal(PyLong_FromLongLong(value)); }
inline Ref new_uint(unsigned long long value) {
    return Ref::steal(PyLong_FromUnsignedLongLong(value));
}

} // namespace pykesta
