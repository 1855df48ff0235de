// GenTLSrvLogged.h: the service front that logs every GenTL call, with its
// arguments, result and outputs, around another front.
#pragma once

#include "GenTL.h"
#include "gentl_core/GenTLFunctionList.h"
#include "gentl_core/GenTLSrv.h"

namespace GenTLCore {

// Each operation writes a "TLCall" Info line "Called <function> (<inputs>)",
// forwards the call unchanged to the same operation of the inner front,
// writes "...returned <result> [<name>], <outputs>" and returns the inner
// result unchanged. Each line is written only when the global level is Info
// or more at that moment; otherwise a call costs two level reads.
//
// Lifetime: created by Configure() around the direct front when the logging
// variable exists; deleted at unload before the inner front, which it does
// not own.
// Threads: consumer threads call every operation concurrently. The front
// keeps no state and takes no lock.
class GenTLSrvLogged : public GenTLSrv {
public:
    // `inner` is borrowed and must outlive this front.
    explicit GenTLSrvLogged(GenTLSrv* inner);

    GENTL_FUNCTION_LIST(GENTL_SRV_DECLARE_OVERRIDE)

private:
    // Fixed at construction.
    GenTLSrv* const inner;  // Configure() deletes the inner front after this one
};

}  // namespace GenTLCore
