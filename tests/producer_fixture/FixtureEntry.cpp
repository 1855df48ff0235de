// FixtureEntry.cpp: a producer built from the framework and the module test
// doubles, loaded through dlopen like the real one: one interface "Fake"
// with four free devices "FakeDevice0".."FakeDevice3", each with one stream
// filled by an engine thread as fast as buffers are queued. The start-up
// keeps the real producer's order: start, configure, then the exit watch;
// the logging variables are the real producer's.
#include "gentl_core/GenTLCore.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/GenTLSrv.h"
#include "gentl_core/ModuleDoubles.h"  // from tests/

namespace ProducerFixture {
namespace {

using GenTLCore::SharedPtr;

// Never destroyed: devices may still close while the process exits.
ModuleTest::Journal& fixture_journal = *new ModuleTest::Journal();

class FixtureLibrary : public ModuleTest::TestLibrary {
protected:
    SharedPtr<GenTLCore::GenTLSystem> CreateSystem() override
    {
        auto* system = new ModuleTest::TestSystem(fixture_journal);
        system->discovered = {ModuleTest::MakeInterfaceTag("Fake")};
        for (int index = 0; index < 4; ++index)
            system->devices_of_new_interfaces.push_back(
                ModuleTest::MakeDeviceTag("FakeDevice" + std::to_string(index)));
        system->device_knobs.threaded_engine = true;
        system->device_knobs.event_interface = false;
        system->device_knobs.remote_event = false;
        return SharedPtr<GenTLCore::GenTLSystem>(system);
    }
};

SharedPtr<GenTLCore::GenTLBranding> MakeBranding()
{
    auto* branding = new TestSupport::TestBranding();
    branding->tl_type = "Custom";
    branding->unique_id_prefix = "Fixture";
    branding->multi_part_aware = true;
    branding->custom_interface_name = "Fixture interface";
    branding->logging_variable = "ZOTL_LOGGING";
    branding->log_level_variable = "ZOTL_LOG_LEVEL";
    return SharedPtr<GenTLCore::GenTLBranding>(branding);
}

SharedPtr<GenTLCore::GenTLLibrary> MakeLibrary()
{
    return SharedPtr<GenTLCore::GenTLLibrary>(new FixtureLibrary());
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
