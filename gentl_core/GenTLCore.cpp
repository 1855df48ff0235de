// The start-up of the framework: core reference, configuration, teardown.
#include "gentl_core/GenTLCore.h"

#include <atomic>
#include <cstdint>
#include <new>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/GenTLSrvDirect.h"
#include "gentl_core/GenTLSrvLogged.h"
#include "gentl_core/Logger.h"
#include "gentl_core/SmartPointers.h"
#include "platform/Assert.h"
#include "platform/Environment.h"

namespace GenTLCore {
namespace {

// All start-up state is plain: a static object with a destructor would be
// torn down at process exit, which must leave everything in place.
std::atomic<int32_t> core_references{0};
std::atomic<int32_t> configurations{0};
std::atomic<bool> process_terminating{false};

// Written in the loader's thread by the start-up and the teardown only.
BrandingControl* branding_init_control = nullptr;
LoggerInit* logging_init_control = nullptr;
TLSControl* error_handling_init_control = nullptr;
StaticInitializationHelper* extra_init_control = nullptr;
GenTLSrvDirect* direct_srv = nullptr;
GenTLSrvLogged* logged_srv = nullptr;
GenTLSrv* public_srv = nullptr;  // the call-log front when there is one, else the direct front

// Reports a missing one; true when all three are there.
bool AssertSingletonsCreated()
{
    return TL_ASSERT(logging_init_control && error_handling_init_control && branding_init_control);
}

// The call-log front first: it borrows the direct front.
void DeleteFronts()
{
    delete logged_srv;
    logged_srv = nullptr;
    delete direct_srv;
    direct_srv = nullptr;
    public_srv = nullptr;
}

// Steps of Configure that allocate; out of memory leaves through here.
GenTLSrv* BuildServices(const CoreConfig& config)
{
    SharedPtr<GenTLBranding> branding = config.fn_create_branding();
    SharedPtr<GenTLLibrary> library = config.fn_create_library();
    // A factory that gives nothing leaves the failed start-up state rather
    // than a front over nothing.
    const bool has_library = TL_ASSERT_MSG(library, "lib");
    if (!TL_ASSERT_MSG(branding, "brand") || !has_library)
        return nullptr;

    direct_srv = new GenTLSrvDirect(library, branding->CloseLibraryOnUnload());
    public_srv = direct_srv;
    // The variable's mere presence installs the call log, even with the value
    // "0" (the log level is decided apart).
    if (Platform::GetEnvironmentVariable(branding->LoggingEnvVarName())) {
        logged_srv = new GenTLSrvLogged(direct_srv);
        public_srv = logged_srv;
    }

    StaticInitializationHelper* const receivers[] = {branding_init_control, logging_init_control,
                                                     error_handling_init_control,
                                                     extra_init_control};
    for (StaticInitializationHelper* receiver : receivers) {
        if (receiver != nullptr)
            receiver->Initialize(branding);
    }
    return public_srv;
}

}  // namespace

void AcquireCoreReference()
{
    if (core_references.fetch_add(1) != 0)
        return;
    try {
        branding_init_control = BrandingControl::Instance();
        logging_init_control = LoggerInit::Instance();
        error_handling_init_control = TLSControl::Instance();
    } catch (const std::bad_alloc&) {
        // Configure() finds the singleton missing and fails.
    }
    AssertSingletonsCreated();
}

GenTLSrv* Configure(const CoreConfig& config)
{
    if (configurations.fetch_add(1) != 0) {
        TL_ASSERT_MSG(false, "GenTL core configured more than once");
        return public_srv;
    }
    if (!AssertSingletonsCreated())
        return nullptr;
    if (!TL_ASSERT(config.fn_create_branding && config.fn_create_library))
        return nullptr;
    if (config.fn_create_init_control != nullptr) {
        try {
            extra_init_control =
                config.fn_create_init_control(error_handling_init_control, branding_init_control);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        if (extra_init_control == nullptr)
            return nullptr;
    }
    try {
        GenTLSrv* srv = BuildServices(config);
        if (!TL_ASSERT_MSG(srv != nullptr, "public_srv"))
            DeleteFronts();
        return srv;
    } catch (...) {
        DeleteFronts();
        throw;
    }
}

void ReleaseCoreReference()
{
    if (core_references.fetch_sub(1) != 1)
        return;
    if (process_terminating.load())
        return;

    // The logger first, so that nothing is logged while the rest goes; the
    // error store next, so that nothing is reported or stored.
    StaticInitializationHelper* const shutdown_order[] = {
        logging_init_control, error_handling_init_control, branding_init_control,
        extra_init_control};
    for (StaticInitializationHelper* helper : shutdown_order) {
        if (helper != nullptr)
            helper->Shutdown();
    }

    // Deleting the direct front decides whether the library is closed or kept alive.
    DeleteFronts();
    StaticInitializationHelper* const delete_order[] = {
        extra_init_control, error_handling_init_control, logging_init_control,
        branding_init_control};
    for (StaticInitializationHelper* helper : delete_order)
        delete helper;
    extra_init_control = nullptr;
    error_handling_init_control = nullptr;
    logging_init_control = nullptr;
    branding_init_control = nullptr;
}

void SetProcessTerminating()
{
    process_terminating.store(true);
}

bool IsProcessTerminating()
{
    return process_terminating.load();
}

}  // namespace GenTLCore
