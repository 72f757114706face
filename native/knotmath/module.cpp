// The extension module pykesta.knotmath: publishes every kernel in
// __native_api__ under its name, with its signature text as capsule name, and
// offers Python-callable forms of the kernels over float64 buffers.
#include "common/argparse.h"
#include "common/convert.h"
#include "common/double_view.h"
#include "common/native_api.h"
#include "knotmath/docstrings.h"
#include "knotmath/kernels.h"

#include <cstdint>

namespace pykesta::knotmath {
namespace {

DoubleView input(PyObject* obj) { return DoubleView(obj, DoubleView::read_only); }
DoubleView output(PyObject* obj) { return DoubleView(obj, DoubleView::writable); }

Ref none() { return Ref::borrow(Py_None); }

Ref pair(IndexPair value) {
    Ref first = new_int(value.first);
    Ref second = new_int(value.second);
    return Ref::steal(PyTuple_Pack(2, first.get(), second.get()));
}

#define PYKESTA_ENTRY(name)                                                                        \
    PyObject* py_##name(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {   \
        return guard_object([&] { return call_##name(args, nargs, kwnames); });                    \
    }

Ref call_distintknots(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<2> params{"distintknots", {"U", "p"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U = input(a[0]);
    return new_int(distintknots(U.data(), U.size(), to_int32(a[1])));
}

Ref call_averagcpts(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<3> params{"averagcpts", {"U", "p", "X"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U = input(a[0]);
    const int32_t p = to_int32(a[1]);
    const DoubleView X = output(a[2]);
    averagcpts(U.data(), U.size(), p, X.data(), X.size());
    return none();
}

Ref call_splpev(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<4> params{"splpev", {"x", "U", "P", "p"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const double x = to_double(a[0]);
    const DoubleView U = input(a[1]), P = input(a[2]);
    const int32_t p = to_int32(a[3]);
    return new_float(splpev(x, U.data(), U.size(), P.data(), P.size(), p));
}

Ref call_splcev(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<4> params{"splcev", {"X", "U", "P", "p"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView X = output(a[0]), U = input(a[1]), P = input(a[2]);
    const int32_t p = to_int32(a[3]);
    splcev(X.data(), X.size(), U.data(), U.size(), P.data(), P.size(), p);
    return none();
}

Ref call_dsplpev(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<6> params{"dsplpev", {"x", "U", "P", "p", "nu", "D"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const double x = to_double(a[0]);
    const DoubleView U = input(a[1]), P = input(a[2]);
    const int32_t p = to_int32(a[3]), nu = to_int32(a[4]);
    const DoubleView D = output(a[5]);
    dsplpev(x, U.data(), U.size(), P.data(), P.size(), p, nu, D.data(), D.size());
    return none();
}

Ref call_dsplcev(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<7> params{"dsplcev", {"X", "U", "P", "p", "d1", "d2", "D"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView X = input(a[0]), U = input(a[1]), P = input(a[2]);
    const int32_t p = to_int32(a[3]), d1 = to_int32(a[4]), d2 = to_int32(a[5]);
    const DoubleView D(a[6], DoubleView::writable, 2);
    dsplcev(X.data(), X.size(), U.data(), U.size(), P.data(), P.size(), p, d1, d2, D.data(),
            D.extent(0), D.extent(1));
    return none();
}

Ref call_splkins(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<7> params{"splkins", {"U", "P", "p", "u", "r", "Uo", "Po"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U = input(a[0]), P = input(a[1]);
    const int32_t p = to_int32(a[2]);
    const double u = to_double(a[3]);
    const int32_t r = to_int32(a[4]);
    const DoubleView Uo = output(a[5]), Po = output(a[6]);
    splkins(U.data(), U.size(), P.data(), P.size(), p, u, r, Uo.data(), Uo.size(), Po.data(),
            Po.size());
    return none();
}

Ref call_splkrem(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<6> params{"splkrem", {"U", "P", "p", "u", "r", "tol"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U = output(a[0]), P = output(a[1]);
    const int32_t p = to_int32(a[2]);
    const double u = to_double(a[3]);
    const int32_t r = to_int32(a[4]);
    const double tol = to_double(a[5]);
    return new_int(splkrem(U.data(), U.size(), P.data(), P.size(), p, u, r, tol));
}

Ref call_splksrem(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<4> params{"splksrem", {"U", "P", "p", "tol"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U = output(a[0]), P = output(a[1]);
    const int32_t p = to_int32(a[2]);
    const double tol = to_double(a[3]);
    return new_int(splksrem(U.data(), U.size(), P.data(), P.size(), p, tol));
}

Ref call_splkrem_notol(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<5> params{"splkrem_notol", {"U", "P", "p", "u", "r"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U = output(a[0]), P = output(a[1]);
    const int32_t p = to_int32(a[2]);
    const double u = to_double(a[3]);
    const int32_t r = to_int32(a[4]);
    return new_int(splkrem_notol(U.data(), U.size(), P.data(), P.size(), p, u, r));
}

// The kernels of the form (U, P, p, nu, Uo, Po); returns the kernel's result.
template <class Kernel>
decltype(auto) call_order_kernel(Kernel kernel, const Params<6>& params, PyObject* const* args,
                                 Py_ssize_t nargs, PyObject* kwnames) {
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U = input(a[0]), P = input(a[1]);
    const int32_t p = to_int32(a[2]), nu = to_int32(a[3]);
    const DoubleView Uo = output(a[4]), Po = output(a[5]);
    return kernel(U.data(), U.size(), P.data(), P.size(), p, nu, Uo.data(), Uo.size(), Po.data(),
                  Po.size());
}

Ref call_degelevc(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<6> params{"degelevc", {"U", "P", "p", "nu", "Uo", "Po"}};
    call_order_kernel(degelevc, params, args, nargs, kwnames);
    return none();
}

Ref call_asplcpts(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<6> params{"asplcpts", {"U", "P", "p", "nu", "Uo", "Po"}};
    call_order_kernel(asplcpts, params, args, nargs, kwnames);
    return none();
}

Ref call_dsplcpts2(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<6> params{"dsplcpts2", {"U", "P", "p", "nu", "Uo", "Po"}};
    return new_int(call_order_kernel(dsplcpts2, params, args, nargs, kwnames));
}

Ref call_splkref(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<6> params{"splkref", {"U", "P", "p", "X", "Uo", "Po"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U = input(a[0]), P = input(a[1]);
    const int32_t p = to_int32(a[2]);
    const DoubleView X = input(a[3]), Uo = output(a[4]), Po = output(a[5]);
    splkref(U.data(), U.size(), P.data(), P.size(), p, X.data(), X.size(), Uo.data(), Uo.size(),
            Po.data(), Po.size());
    return none();
}

Ref call_knotuniondim(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<3> params{"knotuniondim", {"U1", "U2", "p"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U1 = input(a[0]), U2 = input(a[1]);
    const int32_t p = to_int32(a[2]);
    return pair(knotuniondim(U1.data(), U1.size(), U2.data(), U2.size(), p));
}

Ref call_splcsum(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<9> params{"splcsum", {"U1", "P1", "U2", "P2", "p", "m", "U", "n", "P"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U1 = input(a[0]), P1 = input(a[1]), U2 = input(a[2]), P2 = input(a[3]);
    const int32_t p = to_int32(a[4]), m = to_int32(a[5]);
    const DoubleView U = output(a[6]);
    const int32_t n = to_int32(a[7]);
    const DoubleView P = output(a[8]);
    splcsum(U1.data(), U1.size(), P1.data(), P1.size(), U2.data(), U2.size(), P2.data(), P2.size(),
            p, m, U.data(), U.size(), n, P.data(), P.size());
    return none();
}

Ref call_splcjoin(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<7> params{"splcjoin", {"U1", "P1", "U2", "P2", "p", "U", "P"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U1 = input(a[0]), P1 = input(a[1]), U2 = input(a[2]), P2 = input(a[3]);
    const int32_t p = to_int32(a[4]);
    const DoubleView U = output(a[5]), P = output(a[6]);
    splcjoin(U1.data(), U1.size(), P1.data(), P1.size(), U2.data(), U2.size(), P2.data(), P2.size(),
             p, U.data(), U.size(), P.data(), P.size());
    return none();
}

Ref call_splcsli(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Params<6> params{"splcsli", {"U", "P", "p", "x", "Uk", "Pk"}};
    const auto a = parse_args(params, args, nargs, kwnames);
    const DoubleView U = input(a[0]), P = input(a[1]);
    const int32_t p = to_int32(a[2]);
    const double x = to_double(a[3]);
    const DoubleView Uk = output(a[4]), Pk = output(a[5]);
    return pair(splcsli(U.data(), U.size(), P.data(), P.size(), p, x, Uk.data(), Uk.size(),
                        Pk.data(), Pk.size()));
}

#define PYKESTA_PYTHON_FORM(name, ret, params) PYKESTA_ENTRY(name)
PYKESTA_KERNELS(PYKESTA_PYTHON_FORM)
#undef PYKESTA_PYTHON_FORM

#define PYKESTA_METHOD(name, ret, params)                                                          \
    {#name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_##name)),                \
     METH_FASTCALL | METH_KEYWORDS, name##_doc},

PyMethodDef methods[] = {PYKESTA_KERNELS(PYKESTA_METHOD){nullptr, nullptr, 0, nullptr}};

#undef PYKESTA_METHOD

const char module_doc[] =
    "B-spline kernels of pykesta: evaluation, derivatives, knot insertion and\n"
    "removal, degree elevation, calculus and combination of splines.\n\n"
    "__native_api__ maps each kernel's name to a capsule of its C entry point, named\n"
    "after its signature. The functions of this module are their Python forms.";

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "pykesta.knotmath", module_doc, -1, methods};

Ref create_module() {
    Ref module = Ref::steal(PyModule_Create(&module_def));
#define PYKESTA_EXPORT(name, ret, params)                                                          \
    export_function(module.get(), #name, reinterpret_cast<void*>(&name), name##_signature);
    PYKESTA_KERNELS(PYKESTA_EXPORT)
#undef PYKESTA_EXPORT
    return module;
}

} // namespace
} // namespace pykesta::knotmath

PyMODINIT_FUNC PyInit_knotmath() { return pykesta::guard_object(pykesta::knotmath::create_module); }
