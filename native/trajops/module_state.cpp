#include "trajops/module_state.h"

#include "common/argparse.h"
#include "common/native_api.h"
#include "curvetypes/api_binding.h"

namespace pykesta::trajops {

ModuleState* current_state;

void bind_curvetypes(ModuleState& state, Ref module) {
    state.api = curvetypes::import_api(module.get());
    state.curvetypes = std::move(module);
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
