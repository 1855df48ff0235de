// FixtureEntry.cpp: the fixture producer's start-up, in the order the real
// producer keeps: the framework's start, its configuration with the fixture's
// factories, then the exit watch.
#include "gentl_core/GenTLCore.h"
#include "gentl_core/GenTLSrv.h"
#include "producer_fixture/FixtureProducer.h"

namespace ProducerFixture {
namespace {

GenTLCore::SharedPtr<GenTLCore::GenTLBranding> MakeBranding()
{
    return GenTLCore::SharedPtr<GenTLCore::GenTLBranding>(new FixtureBranding());
}

GenTLCore::SharedPtr<GenTLCore::GenTLLibrary> MakeLibrary()
{
    return GenTLCore::SharedPtr<GenTLCore::GenTLLibrary>(new FixtureLibrary());
}

// Torn down last, at unload or exit.
struct ConfiguredCore {
    ConfiguredCore()
    {
        GenTLCore::AcquireCoreReference();
        GenTLCore::GenTLSrv* service = nullptr;
        try {
            service =
                GenTLCore::Configure(GenTLCore::CoreConfig{&MakeBranding, &MakeLibrary, nullptr});
        } catch (...) {
            service = nullptr;
        }
        GenTLCore::SetExportedService(service);
    }
    ~ConfiguredCore() { GenTLCore::ReleaseCoreReference(); }
} configured_core;

// After the core exists, so the exit is seen before it is torn down.
struct ExitWatch {
    ExitWatch() { GenTLCore::WatchProcessExit(); }
} exit_watch;

}  // namespace
}  // namespace ProducerFixture
