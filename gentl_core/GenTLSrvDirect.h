// GenTLSrvDirect.h: the service front that executes the GenTL calls.
#pragma once

#include "GenTL.h"
#include "gentl_core/GenTLFunctionList.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/GenTLSrv.h"
#include "gentl_core/SmartPointers.h"

namespace GenTLCore {

// Turns each call's handles into typed objects through the library's handle
// pool, makes the argument checks the modules leave to it, and calls the
// module operation; opened objects are registered in the pool.
//
// Lifetime: one instance, created by Configure() with the library and deleted
// by the core teardown. At deletion a still initialized library is closed
// when the branding asked for that, otherwise kept alive for good.
// Threads: consumer threads call every operation concurrently; the front has
// no lock of its own. Locks it takes: the library lock (through the pool),
// then an object's handle lock.
class GenTLSrvDirect : public GenTLSrv {
public:
    GenTLSrvDirect(const SharedPtr<GenTLLibrary>& lib, bool close_library_on_unload);
    ~GenTLSrvDirect() override;

    GENTL_FUNCTION_LIST(GENTL_SRV_DECLARE_OVERRIDE)

private:
    // Fixed at construction.
    const SharedPtr<GenTLLibrary> library;
    const bool close_on_unload;
};

}  // namespace GenTLCore
