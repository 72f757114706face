// Argument parsing for METH_FASTCALL | METH_KEYWORDS entries. The keyword
// errors (unexpected, repeated, non-string keywords, keywords refused) use the
// interpreter's own messages; the argument-count error ("takes exactly ...
// positional arguments") and the "Argument '...' has incorrect type" error are
// this library's documented texts, worded like the interpreter's.
#pragma once

#include "common/errors.h"

#include <array>
#include <cstddef>
#include <vector>

namespace pykesta {

// "exactly"/"at least"/"at most" form of the argument-count error.
[[noreturn]] inline void raise_arg_count(const char* func, Py_ssize_t min, Py_ssize_t max,
                                         Py_ssize_t given) {
    const char* bound;
    Py_ssize_t expected;
    if (given < min) {
        bound = "at least";
        expected = min;
    } else {
        bound = "at most";
        expected = max;
    }
    if (min == max) bound = "exactly";
    raise_format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 func, bound, expected, expected == 1 ? "" : "s", given);
}

// Names and arity of one entry. The first `required` parameters have no default.
template <std::size_t N> struct Params {
    const char* func;
    std::array<const char*, N> names;
    Py_ssize_t required = N;
    bool keywords = true;
};

template <std::size_t N> using Args = std::array<PyObject*, N>;

// Fills borrowed references for every parameter; a missing optional one is null.
template <std::size_t N>
Args<N> parse_args(const Params<N>& params, PyObject* const* args, Py_ssize_t nargsf,
                   PyObject* kwnames) {
    Args<N> out{};
    Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    const auto max = static_cast<Py_ssize_t>(N);
    if (nargs > max) raise_arg_count(params.func, params.required, max, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    if (nkw > 0 && !params.keywords)
        raise_format(PyExc_TypeError, "%.200s() takes no keyword arguments", params.func);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(key))
            raise_format(PyExc_TypeError, "%.200s() keywords must be strings", params.func);
        Py_ssize_t slot = -1;
        for (std::size_t i = 0; i < N; ++i) {
            if (PyUnicode_CompareWithASCIIString(key, params.names[i]) == 0) {
                slot = static_cast<Py_ssize_t>(i);
                break;
            }
        }
        if (slot < 0)
            raise_format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'",
                         params.func, key);
        if (out[slot] != nullptr)
            raise_format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'",
                         params.func, key);
        out[slot] = args[nargs + k];
    }
    for (Py_ssize_t i = 0; i < params.required; ++i)
        if (out[i] == nullptr) raise_arg_count(params.func, params.required, max, nargs);
    return out;
}

// The same for a tp_call-style (tuple, dict) call.
template <std::size_t N>
Args<N> parse_tuple_args(const Params<N>& params, PyObject* args, PyObject* kwargs) {
    Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    Py_ssize_t nkw = kwargs ? PyDict_GET_SIZE(kwargs) : 0;
    if (nkw == 0) return parse_args(params, &PyTuple_GET_ITEM(args, 0), nargs, nullptr);
    Ref kwnames = Ref::steal(PyTuple_New(nkw));
    std::vector<PyObject*> stack(static_cast<std::size_t>(nargs + nkw));
    for (Py_ssize_t i = 0; i < nargs; ++i) stack[i] = PyTuple_GET_ITEM(args, i);
    Py_ssize_t pos = 0, k = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
        Py_INCREF(key);
        PyTuple_SET_ITEM(kwnames.get(), k, key);
        stack[nargs + k++] = value;
    }
    // Borrowed values stay alive: the dict is not touched while parsing.
    return parse_args(params, stack.data(), nargs, kwnames.get());
}

// Rejects an argument whose type is not `type` (or a subclass); None passes
// only when `none_allowed`.
inline void check_arg_type(PyObject* obj, PyTypeObject* type, const char* name, bool none_allowed) {
    if (obj == Py_None && none_allowed) return;
    if (PyObject_TypeCheck(obj, type)) return;
    raise_format(PyExc_TypeError,
                 "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", name,
                 type->tp_name, Py_TYPE(obj)->tp_name);
}

// As check_arg_type, but the type must match exactly (no subclass).
inline void check_arg_exact_type(PyObject* obj, PyTypeObject* type, const char* name,
                                 bool none_allowed) {
    if (obj == Py_None && none_allowed) return;
    if (Py_TYPE(obj) == type) return;
    raise_format(PyExc_TypeError,
                 "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", name,
                 type->tp_name, Py_TYPE(obj)->tp_name);
}

} // namespace pykesta
