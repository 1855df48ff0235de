// GenTLSrv.h: the service interface behind the exported GenTL functions.
#pragma once

#include "GenTL.h"
#include "gentl_core/GenTLFunctionList.h"

namespace GenTLCore {

// One operation per GenTL function, in slot order, with the function's exact
// parameters and result (see GenTLFunctionList.h). Each export forwards its
// arguments unchanged to the operation of the same name of the one service
// object, which Configure() creates at load.
//
// Implemented by the direct front (GenTLSrvDirect) and the call-log front.
// Threads: consumer threads call every operation concurrently.
class GenTLSrv {
public:
    GenTLSrv() = default;
    GenTLSrv(const GenTLSrv&) = delete;
    GenTLSrv& operator=(const GenTLSrv&) = delete;
    virtual ~GenTLSrv() = default;

#define GENTL_SRV_DECLARE_PURE(name, params, args) virtual GC_ERROR name params = 0;
    GENTL_FUNCTION_LIST(GENTL_SRV_DECLARE_PURE)
#undef GENTL_SRV_DECLARE_PURE
};

// Declares every operation as an override, for the fronts' class bodies.
#define GENTL_SRV_DECLARE_OVERRIDE(name, params, args) GC_ERROR name params override;

}  // namespace GenTLCore
