// The shared pieces of pykesta.planning: binding, reading arguments, making
// trajectories, arrays and named tuples.
#include "planning/numpy_api.h"

#include "planning/planning.h"

#include "common/argparse.h"
#include "common/convert.h"
#include "common/native_api.h"
#include "curvetypes/api_binding.h"

#include <cmath>
#include <string>

namespace pykesta::planning {

ModuleState* current_state = nullptr;

void bind_curvetypes(ModuleState& state, Ref module) {
    state.api = curvetypes::import_api(module.get());
    state.curvetypes = std::move(module);
}

void bind_kernels(ModuleState& state, PyObject* module) {
#define PYKESTA_BIND(name, ret, params)                                                            \
    state.kernels.name = reinterpret_cast<knotmath::name##_fn>(                                    \
        import_function(module, #name, knotmath::name##_signature));
    PYKESTA_KERNELS(PYKESTA_BIND)
#undef PYKESTA_BIND
}

TrajectoryData read_trajectory(PyObject* obj, const char* name) {
    check_arg_type(obj, module_state().api->Trajectory1d_type, name, false);
    auto* t = reinterpret_cast<curvetypes::Trajectory1dObject*>(obj);
    if (t->_knotvector == nullptr || t->_cpts == nullptr)
        raise_format(PyExc_ValueError, "'%s' holds no knot vector or control points", name);
    if (t->p < 0 || t->n < t->p || t->n > INT32_MAX - t->p - 2)
        raise_format(PyExc_ValueError, "'%s' has %ld control points, too few for degree %ld", name,
                     static_cast<long>(t->n) + 1, static_cast<long>(t->p));
    const double* U = t->_knotvector;
    const int32_t count = t->n + t->p + 2;
    for (int32_t i = 0; i < count; ++i) {
        if (!std::isfinite(U[i]))
            raise_format(PyExc_ValueError, "'%s' has a knot that is not finite: %R", name,
                         new_float(U[i]).get());
        if (i > 0 && U[i] < U[i - 1])
            raise_format(PyExc_ValueError, "'%s' has decreasing knots: %R after %R", name,
                         new_float(U[i]).get(), new_float(U[i - 1]).get());
    }
    return {{U, t->_cpts, t->n, t->p},
            t->order,
            Ref::borrow(t->knot_storage),
            Ref::borrow(t->cpts_storage)};
}

Ref new_trajectory(OwnedArray knots, OwnedArray cpts, int32_t p, uint32_t order) {
    const int32_t n = cpts.size() - 1;
    if (p < 0 || n < p || int64_t{knots.size()} != int64_t{n} + p + 2)
        raise(PyExc_SystemError, "new_trajectory: the arrays do not make a B-spline");
    return Ref::steal(module_state().api->Trajectory1d_vtable->from_ptrs(
        knots.release(), cpts.release(), p, n, order, 1));
}

Ref scaled_in_time(const TrajectoryData& traj, double k) {
    if (!(k > 0.0) || !std::isfinite(k))
        raise_format(PyExc_ValueError, "the time scale must be positive and finite, got %R",
                     new_float(k).get());
    const double start = traj.start();
    OwnedArray knots(traj.knot_count());
    for (int32_t i = 0; i < knots.size(); ++i)
        knots.data()[i] = start + k * (traj.knots()[i] - start);
    const double factor = std::pow(k, -static_cast<double>(traj.order));
    OwnedArray cpts(traj.cpts_count());
    for (int32_t i = 0; i < cpts.size(); ++i) cpts.data()[i] = factor * traj.cpts()[i];
    return new_trajectory(std::move(knots), std::move(cpts), traj.p(), traj.order);
}

FloatArray read_float_array(PyObject* obj, const char* name) {
    PyObject* array = PyArray_FROM_OTF(obj, NPY_FLOAT64, NPY_ARRAY_IN_ARRAY);
    if (array == nullptr) {
        PyErr_Clear();
        raise_format(PyExc_TypeError, "'%s' must be real numbers, got %.200R", name, obj);
    }
    Ref held = Ref::steal(array);
    auto* a = reinterpret_cast<PyArrayObject*>(array);
    return {held, static_cast<const double*>(PyArray_DATA(a)), int64_t{PyArray_SIZE(a)},
            PyArray_NDIM(a)};
}

NewArray new_float_array(int ndim, const int64_t* shape) {
    if (ndim < 0 || ndim > NPY_MAXDIMS) raise(PyExc_ValueError, "too many dimensions");
    npy_intp dims[NPY_MAXDIMS] = {};
    for (int i = 0; i < ndim; ++i) dims[i] = static_cast<npy_intp>(shape[i]);
    Ref array = Ref::steal(PyArray_SimpleNew(ndim, dims, NPY_FLOAT64));
    auto* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
    return {array, data};
}

double read_double(PyObject* obj, const char* name, double fallback) {
    if (obj == nullptr || obj == Py_None) return fallback;
    double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        raise_format(PyExc_TypeError, "'%s' must be a real number, got %.200R", name, obj);
    }
    return value;
}

double read_finite(PyObject* obj, const char* name, double fallback) {
    double value = read_double(obj, name, fallback);
    if (!std::isfinite(value))
        raise_format(PyExc_ValueError, "'%s' must be finite, got %R", name, new_float(value).get());
    return value;
}

int32_t read_order(PyObject* obj, const char* name, int32_t fallback) {
    if (obj == nullptr) return fallback;
    if (!PyIndex_Check(obj) || PyBool_Check(obj))
        raise_format(PyExc_TypeError, "'%s' must be an integer, got %.200R", name, obj);
    int overflow = 0;
    Ref index = Ref::steal(PyNumber_Index(obj));
    long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) throw python_error{};
    if (overflow < 0 || value < 0)
        raise_format(PyExc_ValueError, "'%s' must be non-negative, got %R", name, obj);
    if (overflow > 0 || value > INT32_MAX)
        raise_format(PyExc_ValueError, "'%s' is too large: %R", name, obj);
    return static_cast<int32_t>(value);
}

Ref add_named_tuple(PyObject* module, const char* name, std::initializer_list<Field> fields,
                    const char* doc) {
    std::string names;
    for (const Field& field : fields) names.append(names.empty() ? "" : " ").append(field.name);
    Ref collections = Ref::steal(PyImport_ImportModule("collections"));
    Ref factory = Ref::steal(PyObject_GetAttrString(collections.get(), "namedtuple"));
    Ref type = Ref::steal(PyObject_CallFunction(factory.get(), "ss", name, names.c_str()));
    for (const Field& field : fields) {
        Ref getter = Ref::steal(PyObject_GetAttrString(type.get(), field.name));
        Ref field_doc = Ref::steal(PyUnicode_FromString(field.doc));
        check_status(PyObject_SetAttrString(getter.get(), "__doc__", field_doc.get()));
    }
    Ref module_name = Ref::steal(PyUnicode_FromString("pykesta.planning"));
    check_status(PyObject_SetAttrString(type.get(), "__module__", module_name.get()));
    Ref doc_text = Ref::steal(PyUnicode_FromString(doc));
    check_status(PyObject_SetAttrString(type.get(), "__doc__", doc_text.get()));
    check_status(PyModule_AddObjectRef(module, name, type.get()));
    return type;
}

} // namespace pykesta::planning
