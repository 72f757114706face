#include "curvetypes/kernel_table.h"

#include "common/native_api.h"

namespace pykesta::curvetypes {

void bind_kernels(Kernels& kernels, PyObject* module) {
#define PYKESTA_BIND(name)                                                                         \
    kernels.name = reinterpret_cast<knotmath::name##_fn>(                                          \
        import_function(module, #name, knotmath::name##_signature));
    PYKESTA_BIND(distintknots)
    PYKESTA_BIND(averagcpts)
    PYKESTA_BIND(splpev)
    PYKESTA_BIND(splcev)
    PYKESTA_BIND(dsplpev)
    PYKESTA_BIND(dsplcev)
    PYKESTA_BIND(splkins)
    PYKESTA_BIND(splkrem)
    PYKESTA_BIND(splksrem)
    PYKESTA_BIND(splkrem_notol)
    PYKESTA_BIND(degelevc)
    PYKESTA_BIND(asplcpts)
    PYKESTA_BIND(dsplcpts2)
    PYKESTA_BIND(splkref)
    PYKESTA_BIND(knotuniondim)
    PYKESTA_BIND(splcsum)
#undef PYKESTA_BIND
}

} // namespace pykesta::curvetypes
