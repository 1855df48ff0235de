// GenTLCore.h: the framework's start-up: core reference, one-time
// configuration, the start-up singletons' common base, the library's entry
// point and the teardown at unload.
#pragma once

namespace GenTLCore {

template <class T>
class SharedPtr;
class BrandingControl;
class GenTLBranding;
class GenTLLibrary;
class GenTLSrv;
class TLSControl;

// Base of the start-up singletons (BrandingControl, LoggerInit, TLSControl).
// Each is reached through its own function-local Instance() accessor, is
// handed the configured branding once by Configure() and shut down once at
// unload.
class StaticInitializationHelper {
public:
    StaticInitializationHelper() = default;
    StaticInitializationHelper(const StaticInitializationHelper&) = delete;
    StaticInitializationHelper& operator=(const StaticInitializationHelper&) = delete;
    virtual ~StaticInitializationHelper() = default;

    virtual void Initialize(const SharedPtr<GenTLBranding>& branding) { (void)branding; }
    virtual void Shutdown() {}
};

// What the transport-layer code hands to Configure().
struct CoreConfig {
    // Required: make the transport layer's branding and library objects.
    SharedPtr<GenTLBranding> (*fn_create_branding)() = nullptr;
    SharedPtr<GenTLLibrary> (*fn_create_library)() = nullptr;
    // Optional: an extra start-up singleton, given the error store and the
    // branding holder; it is initialized, shut down and deleted with the others.
    StaticInitializationHelper* (*fn_create_init_control)(
        TLSControl* error_store, BrandingControl* branding_holder) = nullptr;
};

// Start-up, run by the producer's static initialisers in the loader's thread:
// AcquireCoreReference() first, then Configure(); ReleaseCoreReference() at
// unload. They take no framework lock.

// The first reference creates the start-up singletons (branding holder,
// log-level reader, error store). Out of memory is swallowed; Configure()
// then fails.
void AcquireCoreReference();
// The last reference shuts the singletons down and deletes the service
// fronts and the singletons, unless the process is ending: then it does
// nothing at all.
void ReleaseCoreReference();

// Creates branding and library through the factories, the service front(s)
// around the library, and hands the branding to the singletons. Returns the
// public service, or null when a singleton or a factory is missing or a
// factory gave nothing. Only the first call configures: a later one asserts
// and returns the existing service. Out of memory deletes what was built and
// is thrown on.
GenTLSrv* Configure(const CoreConfig& config);

// Set once the process is ending; the teardown then leaves everything in
// place (other libraries' exit code may still call in).
void SetProcessTerminating();
bool IsProcessTerminating();

// ---- Entry point and exports (GenTL.cpp) ----

// The service every exported GenTL function forwards to. Set by the
// configuring static initialiser before any export can be called; null
// means a failed start-up: GCInitLib answers GC_ERR_ERROR and every other
// export GC_ERR_NOT_INITIALIZED. Tests use it to install a service or none.
void SetExportedService(GenTLSrv* srv);

// Why the entry point is called, after a Windows DLL's entry-point reasons.
enum class EntryReason { PROCESS_ATTACH, THREAD_ATTACH, THREAD_DETACH, PROCESS_DETACH };

// Thread detach, and process detach while the process goes on, free the
// calling thread's last-error record; process detach with `process_ending`
// only sets the process-terminating flag. On Linux an ending thread's record
// is freed by the error store's thread-exit callback, and the exit is seen
// through WatchProcessExit().
void EntryPoint(EntryReason reason, bool process_ending);

// Arranges for EntryPoint(PROCESS_DETACH, true) to run when the process exits,
// before any static object built so far is destroyed: call it after the
// library's other static objects exist.
void WatchProcessExit();

}  // namespace GenTLCore
