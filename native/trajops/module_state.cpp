#include "trajops/module_state.h"

#include "common/argparse.h"
#include "common/native_api.h"

namespace pykesta::trajops {

ModuleState* current_state;

static void check_size(const char* name, Py_ssize_t expected, Py_ssize_t found) {
    if (expected != found)
        raise_format(PyExc_ValueError,
                     "pykesta.curvetypes.%s size changed, may indicate binary incompatibility. "
                     "Expected %zd, got %zd",
                     name, expected, found);
}

void bind_curvetypes(ModuleState& state, Ref module) {
    state.api = static_cast<const curvetypes::CurvetypesAPI*>(
        import_function(module.get(), "api", curvetypes::api_signature));
    state.curvetypes = std::move(module);
    check_size("PyKESTAObject", sizeof(curvetypes::PyKESTAObjectObject),
               state.api->PyKESTAObject_size);
    check_size("Point1d", sizeof(curvetypes::Point1dObject), state.api->Point1d_size);
    check_size("Trajectory1d", sizeof(curvetypes::Trajectory1dObject),
               state.api->Trajectory1d_size);
}

void bind_kernels(ModuleState& state, PyObject* module) {
    state.splcjoin = reinterpret_cast<knotmath::splcjoin_fn>(
        import_function(module, "splcjoin", knotmath::splcjoin_signature));
    state.splcsli = reinterpret_cast<knotmath::splcsli_fn>(
        import_function(module, "splcsli", knotmath::splcsli_signature));
}

void check_trajectory(PyObject* obj, const char* name) {
    check_arg_type(obj, module_state().api->Trajectory1d_type, name, false);
}

const curvetypes::PyKESTAObjectVTable& persistable_table(PyObject* obj) {
    if (PyObject_TypeCheck(obj, module_state().api->Trajectory1d_type))
        return module_state().api->Trajectory1d_vtable->base;
    if (PyObject_TypeCheck(obj, module_state().api->Point1d_type))
        return module_state().api->Point1d_vtable->base;
    return *module_state().api->PyKESTAObject_vtable;
}

Ref adopt_trajectory(OwnedArray knots, OwnedArray cpts, int32_t p, int32_t n, uint32_t order) {
    return owned(trajectory_table().from_ptrs(knots.release(), cpts.release(), p, n, order, 1));
}

} // namespace pykesta::trajops
