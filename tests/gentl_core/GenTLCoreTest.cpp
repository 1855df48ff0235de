// The framework's start-up, teardown and entry point, with a fake transport
// layer. Every case runs in a process of its own: the start-up is one-shot.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "ModuleDoubles.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLCore.h"
#include "gentl_core/GenTLSrvLogged.h"

using namespace GenTLCore;
using TestSupport::AssertionRecorder;

namespace {

int libraries_made = 0;
const int& libraries_destroyed = ModuleTest::TestLibrary::destroyed;
const int& infrastructure_closes = ModuleTest::TestLibrary::all_infrastructure_closes;
bool close_library_on_unload = false;
constexpr const char* CALL_LOG_VARIABLE = "GENTESK_TEST_CALL_LOG";

SharedPtr<GenTLBranding> MakeBranding()
{
    auto* branding = new TestSupport::TestBranding();
    branding->logging_variable = CALL_LOG_VARIABLE;
    branding->close_library_on_unload = close_library_on_unload;
    return SharedPtr<GenTLBranding>(branding);
}
SharedPtr<GenTLLibrary> MakeLibrary()
{
    ++libraries_made;
    return SharedPtr<GenTLLibrary>(new ModuleTest::TestLibrary());
}
SharedPtr<GenTLLibrary> MakeNoLibrary()
{
    return SharedPtr<GenTLLibrary>();
}
SharedPtr<GenTLBranding> MakeNoBranding()
{
    return SharedPtr<GenTLBranding>();
}
SharedPtr<GenTLLibrary> RunOutOfMemory()
{
    throw std::bad_alloc();
}
StaticInitializationHelper* MakeNoExtra(TLSControl*, BrandingControl*)
{
    return nullptr;
}

const CoreConfig TEST_CONFIG{&MakeBranding, &MakeLibrary, nullptr};

// A failed configuration gives no service, and none later either; out of
// memory is thrown on. What was missing is reported by its assertions.
struct FailedStart {
    const char* name;
    bool core_reference;
    CoreConfig config;
    bool throws = false;
    std::vector<std::string> assertions = {};
};
void PrintTo(const FailedStart& start, std::ostream* out)
{
    *out << start.name;
}
class FailedStartTest : public ::testing::TestWithParam<FailedStart> {};

TEST_P(FailedStartTest, GivesNoServiceThenOrLater)
{
    if (GetParam().core_reference) AcquireCoreReference();
    AssertionRecorder assertions;
    if (GetParam().throws)
        EXPECT_THROW(Configure(GetParam().config), std::bad_alloc);
    else
        EXPECT_EQ(nullptr, Configure(GetParam().config));
    EXPECT_EQ("", GetBranding().VendorName());
    EXPECT_EQ(GetParam().assertions, assertions.Failures());
    EXPECT_EQ(nullptr, Configure(TEST_CONFIG));
    EXPECT_EQ(0, libraries_made);
}

const char* const NO_SINGLETONS =
    "logging_init_control && error_handling_init_control && branding_init_control";
const char* const NO_FACTORY = "config.fn_create_branding && config.fn_create_library";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Starts, FailedStartTest,
    ::testing::Values(FailedStart{"NoSingletons", false, TEST_CONFIG, false, {NO_SINGLETONS}},
                      FailedStart{"NoFactory", true, {&MakeBranding, nullptr}, false, {NO_FACTORY}},
                      FailedStart{"NoLibrary", true, {&MakeBranding, &MakeNoLibrary}, false, {"lib", "public_srv"}},
                      FailedStart{"NoBrandingNorLibrary", true, {&MakeNoBranding, &MakeNoLibrary}, false, {"lib", "brand", "public_srv"}},
                      FailedStart{"NoExtra", true, {&MakeBranding, &MakeLibrary, &MakeNoExtra}},
                      FailedStart{"OutOfMemory", true, {&MakeBranding, &RunOutOfMemory}, true}));
// clang-format on

// The mere presence of the logging variable puts the call log in front. A
// second Configure is a fault and builds nothing.
TEST(ConfigureTest, LoggingVariableSetEvenToZeroInstallsTheCallLog)
{
    AcquireCoreReference();
    ASSERT_EQ(0, setenv(CALL_LOG_VARIABLE, "0", 1));
    GenTLSrv* srv = Configure(TEST_CONFIG);
    ASSERT_NE(nullptr, dynamic_cast<GenTLSrvLogged*>(srv));
    EXPECT_EQ(GC_ERR_SUCCESS, srv->GCInitLib());
    EXPECT_EQ(GC_ERR_SUCCESS, srv->GCCloseLib());
    {
        AssertionRecorder assertions;
        EXPECT_EQ(srv, Configure(TEST_CONFIG));
        EXPECT_EQ(1, libraries_made);
        ASSERT_EQ(1u, assertions.Count());
        EXPECT_NE(std::string::npos,
                  assertions.Failures()[0].find("GenTL core configured more than once"));
    }
    ReleaseCoreReference();
    EXPECT_EQ(1, libraries_destroyed);
}

// The optional extra start-up singleton is given the others and the branding,
// and is shut down, then deleted, at unload.
std::string extra_journal;
class ExtraControl : public StaticInitializationHelper {
public:
    ExtraControl(TLSControl* store, BrandingControl* holder)
    {
        const bool given = store == TLSControl::Instance() && holder == BrandingControl::Instance();
        extra_journal = given ? "given the others" : "not given the others";
    }
    ~ExtraControl() override { extra_journal += ", deleted"; }
    void Initialize(const SharedPtr<GenTLBranding>& branding) override
    {
        extra_journal += ", initialized by " + branding->VendorName();
    }
    void Shutdown() override { extra_journal += ", shut down"; }
};

TEST(ConfigureTest, ExtraSingletonJoinsTheOthersLifeCycle)
{
    AcquireCoreReference();
    GenTLSrv* srv = Configure(
        CoreConfig{&MakeBranding, &MakeLibrary,
                   [](TLSControl* store, BrandingControl* holder) -> StaticInitializationHelper* {
                       return new ExtraControl(store, holder);
                   }});
    EXPECT_EQ(nullptr, dynamic_cast<GenTLSrvLogged*>(srv));
    ReleaseCoreReference();
    EXPECT_EQ("given the others, initialized by Test Vendor, shut down, deleted", extra_journal);
}

GenTLSrv* StartCore(bool close_on_unload)
{
    close_library_on_unload = close_on_unload;
    AcquireCoreReference();
    return Configure(TEST_CONFIG);
}

// {close on unload, initialised, process ending, closes, destroyed}: an
// uninitialised library always goes; an initialised one is closed and goes
// only when the branding asks for it; a process that is ending keeps all.
class TeardownModeTest : public ::testing::TestWithParam<std::tuple<bool, bool, bool, int, int>> {};

TEST_P(TeardownModeTest, ClosesAndDestroysTheLibraryAsTheBrandingAsks)
{
    const auto [close_on_unload, initialized, ending, closes, destroyed] = GetParam();
    GenTLSrv* srv = StartCore(close_on_unload);
    ASSERT_NE(nullptr, srv);
    ASSERT_TRUE(!initialized || srv->GCInitLib() == GC_ERR_SUCCESS);
    if (ending) EntryPoint(EntryReason::PROCESS_DETACH, true);
    AssertionRecorder assertions;
    AcquireCoreReference();
    ReleaseCoreReference();
    EXPECT_EQ(0, libraries_destroyed) << "only the last reference tears down";
    ReleaseCoreReference();
    EXPECT_EQ(closes, infrastructure_closes);
    EXPECT_EQ(destroyed, libraries_destroyed);
    EXPECT_EQ(0u, assertions.Count());
    EXPECT_TRUE(!ending || srv->GCCloseLib() == GC_ERR_SUCCESS);  // the service is still there
}

INSTANTIATE_TEST_SUITE_P(Modes, TeardownModeTest,
                         ::testing::Values(std::tuple{false, false, false, 0, 1},
                                           std::tuple{true, true, false, 1, 1},
                                           std::tuple{false, true, false, 0, 0},
                                           std::tuple{true, true, true, 0, 0}));

// Detaching frees the thread's last-error record unless the process is ending;
// a freed record left in the slot would be written by the next report.
TEST(EntryPointTest, FreesTheRecordOrSetsTheEndingFlag)
{
    const struct {
        EntryReason reason;
        bool process_ending;
        size_t records_left;
    } rows[] = {{EntryReason::THREAD_DETACH, false, 0},
                {EntryReason::PROCESS_DETACH, false, 0},
                {EntryReason::PROCESS_ATTACH, false, 1},
                {EntryReason::THREAD_ATTACH, false, 1},
                {EntryReason::PROCESS_DETACH, true, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.reason) * 2 + row.process_ending);
        size_t records = 0;
        std::thread thread([&] {
            ReportError(GC_ERR_IO, "Test: failure");
            EntryPoint(row.reason, row.process_ending);
            records = TLSControl::Instance()->RecordCountForTest();
            ReportError(GC_ERR_IO, "after release");
            TLSControl::Instance()->ReleaseThreadRecord();
            TLSControl::Instance()->ReleaseThreadRecord();
        });
        thread.join();
        EXPECT_EQ(row.records_left, records);
        EXPECT_EQ(row.process_ending, IsProcessTerminating());
    }
}

}  // namespace
