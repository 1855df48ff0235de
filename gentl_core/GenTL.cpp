// GenTL.cpp: the exported GenTL functions and the library's entry point.

// Give the declarations in GenTL.h the visibility of exports.
#define GENTL_EXPORTS
#include "GenTL.h"

#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLCore.h"
#include "gentl_core/GenTLFunctionList.h"
#include "gentl_core/GenTLSrv.h"
#include "platform/Assert.h"

namespace {

// Written by the configuring static initialiser before any export can run;
// read by the exports without a lock.
GenTLCore::GenTLSrv* exported_srv = nullptr;

constexpr GC_ERROR NoServiceResult(std::string_view function)
{
    return function == "GCInitLib" ? GC_ERR_ERROR : GC_ERR_NOT_INITIALIZED;
}

// An exception that reached the export, reported as the call's failure.
GC_ERROR ReportEscaped(GC_ERROR code, std::string_view function, const char* what) noexcept
{
    try {
        return GenTLCore::ReportError(code, std::string(function) + ": " + what);
    } catch (...) {
        return code;  // no memory even for the message
    }
}

// Passes one export's call to the service. No exception leaves the library;
// one that reaches here is reported like any failure.
template <class Call>
GC_ERROR Forward(std::string_view function, const Call& call)
{
    GenTLCore::GenTLSrv* srv = exported_srv;
    if (!TL_ASSERT(srv))
        return NoServiceResult(function);
    try {
        return call(*srv);
    } catch (const std::bad_alloc&) {
        return ReportEscaped(GC_ERR_OUT_OF_MEMORY, function, "out of memory");
    } catch (const std::length_error&) {
        return ReportEscaped(GC_ERR_OUT_OF_MEMORY, function, "out of memory");
    } catch (...) {
        return ReportEscaped(GC_ERR_ERROR, function, "unexpected internal error");
    }
}

void ReleaseCallingThreadRecord()
{
    if (GenTLCore::TLSControl* store = GenTLCore::TLSControl::Instance())
        store->ReleaseThreadRecord();
}

void OnProcessExit()
{
    GenTLCore::EntryPoint(GenTLCore::EntryReason::PROCESS_DETACH, true);
}

}  // namespace

#define GENTL_DEFINE_EXPORT(name, params, args)                                         \
    extern "C" __attribute__((visibility("default"))) GC_ERROR GC_CALLTYPE name params \
    {                                                                                   \
        return Forward(#name, [&](GenTLCore::GenTLSrv& srv) { return srv.name args; }); \
    }
GENTL_FUNCTION_LIST(GENTL_DEFINE_EXPORT)
#undef GENTL_DEFINE_EXPORT

namespace GenTLCore {

void SetExportedService(GenTLSrv* srv)
{
    exported_srv = srv;
}

void EntryPoint(EntryReason reason, bool process_ending)
{
    switch (reason) {
    case EntryReason::THREAD_DETACH:
        ReleaseCallingThreadRecord();
        break;
    case EntryReason::PROCESS_DETACH:
        if (process_ending)
            SetProcessTerminating();
        else
            ReleaseCallingThreadRecord();
        break;
    case EntryReason::PROCESS_ATTACH:
    case EntryReason::THREAD_ATTACH:
        break;
    }
}

void WatchProcessExit()
{
    // Exit handlers and static destructors run together in reverse order of
    // registration, so this handler runs before every static object that
    // already exists is destroyed, and in particular before the core
    // teardown. (The .cti is linked -z nodelete: it is never unloaded before
    // exit, so the handler cannot fire at a dlclose.)
    std::atexit(&OnProcessExit);
}

}  // namespace GenTLCore
