// GenTesk3dModule.cpp: the .cti's own translation unit. Static objects that
// must be created in a fixed order at load time live here, in that order;
// they are destroyed in the reverse order.
#include "gentl_core/GenTLCore.h"
#include "gentl_core/GenTLSrv.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_producers/GenTesk3d/GenTLBrandingTesk.h"
#include "gentl_producers/GenTesk3d/GenTLLibraryTesk.h"
#include "platform/Assert.h"
#include "sensor_library/ScanvoDLL.h"

namespace GenTLCore::ZoTL {
namespace {

SharedPtr<GenTLBranding> CreateBranding()
{
    return SharedPtr<GenTLBranding>(new GenTLBrandingTesk());
}

SharedPtr<GenTLLibrary> CreateLibrary()
{
    return SharedPtr<GenTLLibrary>(new GenTLLibraryTesk());
}

// 1. The framework's start-up singletons; the core teardown runs when this
// object, the first built, is destroyed last.
struct CoreStart {
    CoreStart() { AcquireCoreReference(); }
    ~CoreStart() { ReleaseCoreReference(); }
} core_start;

// 2. The one-time configuration and the service of the exports. A failure
// leaves the exports without a service, which they answer with errors; no
// exception may leave a static initialiser, which would end the host process.
struct Configuration {
    Configuration()
    {
        GenTLSrv* srv = nullptr;
        try {
            srv = Configure(CoreConfig{&CreateBranding, &CreateLibrary, nullptr});
        } catch (...) {
            srv = nullptr;
        }
        TL_ASSERT(srv);
        SetExportedService(srv);
    }
} configuration;

// 3. The sensor library's process-wide facade: it reads (or writes) its
// logging configuration, and opens no thread and no socket.
ScanvoDLL& scanvo_instance = InitScanvoInstance();

// Last: from here on the process exit is seen before any object above is
// destroyed, so that exit leaves the framework in place.
struct ProcessExitWatch {
    ProcessExitWatch() { WatchProcessExit(); }
} process_exit_watch;

}  // namespace
}  // namespace GenTLCore::ZoTL
