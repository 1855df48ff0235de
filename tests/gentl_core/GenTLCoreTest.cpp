// The framework's start-up, teardown and entry point, with a fake transport
// layer. Every case runs in a process of its own: the start-up is one-shot.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <utility>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLCore.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/GenTLSrv.h"
#include "gentl_core/GenTLSrvLogged.h"
#include "gentl_core/SmartPointers.h"

using namespace GenTLCore;
using TestSupport::AssertionRecorder;

namespace {

// What the fakes saw.
int brandings_made = 0;
int libraries_made = 0;
int libraries_destroyed = 0;
int infrastructure_closes = 0;
bool close_library_on_unload = false;

// Names the variable whose presence installs the call log.
constexpr const char* CALL_LOG_VARIABLE = "GENTESK_TEST_CALL_LOG";

class TestBranding : public DefaultBranding {
public:
    std::string VendorName() const override { return "Test Vendor"; }
    std::string LoggingEnvVarName() const override { return CALL_LOG_VARIABLE; }
    bool CloseLibraryOnUnload() const override { return close_library_on_unload; }
};

class TestSystem : public GenTLSystem {
public:
    std::string GetID() override { return "TestSystem"; }
};

class TestLibrary : public GenTLLibrary {
public:
    ~TestLibrary() override { ++libraries_destroyed; }

protected:
    bool RequiresGlobalLock() override { return false; }
    bool InitTLInfrastructure() override { return true; }
    bool CloseTLInfrastructure() override
    {
        ++infrastructure_closes;
        return true;
    }
    void OnInitialize() override {}
    SharedPtr<GenTLSystem> CreateSystem() override
    {
        return SharedPtr<GenTLSystem>(new TestSystem());
    }
};

SharedPtr<GenTLBranding> MakeBranding()
{
    ++brandings_made;
    return SharedPtr<GenTLBranding>(new TestBranding());
}

SharedPtr<GenTLLibrary> MakeLibrary()
{
    ++libraries_made;
    return SharedPtr<GenTLLibrary>(new TestLibrary());
}

SharedPtr<GenTLLibrary> MakeNoLibrary()
{
    return SharedPtr<GenTLLibrary>();
}

SharedPtr<GenTLLibrary> RunOutOfMemory()
{
    throw std::bad_alloc();
}

const CoreConfig TEST_CONFIG{&MakeBranding, &MakeLibrary, nullptr};

// ---- Configure ----

class ConfigureTest : public ::testing::Test {
protected:
    void SetUp() override { AcquireCoreReference(); }
};

TEST_F(ConfigureTest, BuildsAServiceOverTheLibraryAndInstallsTheBranding)
{
    GenTLSrv* srv = Configure(TEST_CONFIG);
    ASSERT_NE(nullptr, srv);
    EXPECT_EQ("Test Vendor", GetBranding().VendorName());

    ASSERT_EQ(GC_ERR_SUCCESS, srv->GCInitLib());
    char vendor[32];
    size_t size = sizeof vendor;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, srv->GCGetInfo(TL_INFO_VENDOR, &type, vendor, &size));
    EXPECT_EQ("Test Vendor", std::string(vendor));
    EXPECT_EQ(GC_ERR_SUCCESS, srv->GCCloseLib());
}

TEST_F(ConfigureTest, SecondConfigureReturnsTheSameServiceAndBuildsNothing)
{
    GenTLSrv* first = Configure(TEST_CONFIG);
    AssertionRecorder assertions;
    EXPECT_EQ(first, Configure(TEST_CONFIG));
    EXPECT_EQ(1, brandings_made);
    EXPECT_EQ(1, libraries_made);
    ASSERT_EQ(1u, assertions.Count());
    EXPECT_NE(std::string::npos,
              assertions.Failures()[0].find("GenTL core configured more than once"));
}

TEST_F(ConfigureTest, MissingFactoryGivesNoService)
{
    AssertionRecorder assertions;
    EXPECT_EQ(nullptr, Configure(CoreConfig{&MakeBranding, nullptr, nullptr}));
    EXPECT_EQ(0, brandings_made);
    EXPECT_EQ(1u, assertions.Count());
}

TEST_F(ConfigureTest, FactoryGivingNothingLeavesNoServiceAndTheDefaultBranding)
{
    AssertionRecorder assertions;
    EXPECT_EQ(nullptr, Configure(CoreConfig{&MakeBranding, &MakeNoLibrary, nullptr}));
    EXPECT_EQ("", GetBranding().VendorName());
    EXPECT_EQ(nullptr, Configure(TEST_CONFIG));  // and it stays so
}

TEST_F(ConfigureTest, OutOfMemoryIsThrownOnAndLeavesNoService)
{
    EXPECT_THROW(Configure(CoreConfig{&MakeBranding, &RunOutOfMemory, nullptr}), std::bad_alloc);
    AssertionRecorder assertions;
    EXPECT_EQ(nullptr, Configure(TEST_CONFIG));
    EXPECT_EQ("", GetBranding().VendorName());
}

// The mere presence of the logging variable puts the call log in front.
using CallLogFrontTest = ConfigureTest;

TEST_F(CallLogFrontTest, VariableSetEvenToZeroInstallsItAroundTheDirectFront)
{
    ASSERT_EQ(0, setenv(CALL_LOG_VARIABLE, "0", 1));
    GenTLSrv* srv = Configure(TEST_CONFIG);
    EXPECT_NE(nullptr, dynamic_cast<GenTLSrvLogged*>(srv));
    ASSERT_NE(nullptr, srv);
    EXPECT_EQ(GC_ERR_SUCCESS, srv->GCInitLib());
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, srv->GCInitLib());
    EXPECT_EQ(GC_ERR_SUCCESS, srv->GCCloseLib());
    ReleaseCoreReference();
    EXPECT_EQ(1, libraries_destroyed);
}

TEST_F(CallLogFrontTest, WithoutTheVariableTheDirectFrontServes)
{
    ASSERT_EQ(0, unsetenv(CALL_LOG_VARIABLE));
    GenTLSrv* srv = Configure(TEST_CONFIG);
    EXPECT_EQ(nullptr, dynamic_cast<GenTLSrvLogged*>(srv));
    EXPECT_NE(nullptr, srv);
}

TEST(ConfigureWithoutCoreTest, NoStartUpSingletonsGiveNoService)
{
    AssertionRecorder assertions;
    EXPECT_EQ(nullptr, Configure(TEST_CONFIG));
    EXPECT_EQ(0, libraries_made);
}

// What the extra start-up singleton went through.
struct ExtraControlJournal {
    TLSControl* error_store = nullptr;
    BrandingControl* branding_holder = nullptr;
    std::string initialized_with;
    bool shut_down = false;
    bool deleted = false;
} journal;

// The optional extra start-up singleton joins the others' life cycle.
class ExtraInitControlTest : public ConfigureTest {
protected:
    class ExtraControl : public StaticInitializationHelper {
    public:
        ~ExtraControl() override { journal.deleted = true; }
        void Initialize(const SharedPtr<GenTLBranding>& branding) override
        {
            journal.initialized_with = branding->VendorName();
        }
        void Shutdown() override { journal.shut_down = !journal.deleted; }
    };

    static StaticInitializationHelper* MakeExtra(TLSControl* store, BrandingControl* holder)
    {
        journal.error_store = store;
        journal.branding_holder = holder;
        return new ExtraControl();
    }
};

TEST_F(ExtraInitControlTest, IsGivenTheSingletonsAndTheBrandingAndGoesAtUnload)
{
    ASSERT_NE(nullptr, Configure(CoreConfig{&MakeBranding, &MakeLibrary, &MakeExtra}));
    EXPECT_EQ(TLSControl::Instance(), journal.error_store);
    EXPECT_EQ(BrandingControl::Instance(), journal.branding_holder);
    EXPECT_EQ("Test Vendor", journal.initialized_with);

    ReleaseCoreReference();
    EXPECT_TRUE(journal.shut_down);
    EXPECT_TRUE(journal.deleted);
}

// ---- Teardown at unload ----

class TeardownTest : public ::testing::Test {
protected:
    void StartCore(bool close_on_unload)
    {
        close_library_on_unload = close_on_unload;
        AcquireCoreReference();
        srv = Configure(TEST_CONFIG);
        ASSERT_NE(nullptr, srv);
    }

    GenTLSrv* srv = nullptr;
};

// {close on unload, initialised}: an uninitialised library always goes; an
// initialised one is closed and goes only when the branding asks for it.
class TeardownModeTest : public TeardownTest,
                         public ::testing::WithParamInterface<std::pair<bool, bool>> {};

TEST_P(TeardownModeTest, ClosesAndDestroysTheLibraryAsTheBrandingAsks)
{
    const auto [close_on_unload, initialized] = GetParam();
    StartCore(close_on_unload);
    if (initialized) {
        ASSERT_EQ(GC_ERR_SUCCESS, srv->GCInitLib());
    }
    AssertionRecorder assertions;
    ReleaseCoreReference();
    EXPECT_EQ(initialized && close_on_unload ? 1 : 0, infrastructure_closes);
    EXPECT_EQ(!initialized || close_on_unload ? 1 : 0, libraries_destroyed);
    EXPECT_EQ(0u, assertions.Count());
}

INSTANTIATE_TEST_SUITE_P(Modes, TeardownModeTest,
                         ::testing::Values(std::pair{false, false}, std::pair{true, true},
                                           std::pair{false, true}));

TEST_F(TeardownTest, OnlyTheLastCoreReferenceTearsDown)
{
    StartCore(false);
    AcquireCoreReference();
    ReleaseCoreReference();
    EXPECT_EQ(0, libraries_destroyed);
    ReleaseCoreReference();
    EXPECT_EQ(1, libraries_destroyed);
}

TEST_F(TeardownTest, ProcessEndingLeavesEverythingInPlace)
{
    StartCore(true);
    ASSERT_EQ(GC_ERR_SUCCESS, srv->GCInitLib());
    EntryPoint(EntryReason::PROCESS_DETACH, true);
    EXPECT_TRUE(IsProcessTerminating());

    ReleaseCoreReference();
    EXPECT_EQ(0, infrastructure_closes);
    EXPECT_EQ(0, libraries_destroyed);
    EXPECT_EQ(GC_ERR_SUCCESS, srv->GCCloseLib());  // the service is still there
    EXPECT_EQ("Test Vendor", GetBranding().VendorName());
}

// ---- Entry point ----

struct EntryCase {
    EntryReason reason;
    bool process_ending;
    size_t records_left;
    bool terminating;
};

class EntryPointTest : public ::testing::TestWithParam<EntryCase> {
protected:
    // On a thread of its own: fails a call, then tells the entry point
    // `reason`; answers how many last-error records that left.
    size_t RecordsAfter(EntryReason reason, bool process_ending)
    {
        size_t records = 0;
        std::thread thread([&] {
            ReportError(GC_ERR_IO, "Test: failure");
            EntryPoint(reason, process_ending);
            records = store->RecordCountForTest();
        });
        thread.join();
        return records;
    }

    TLSControl* store = TLSControl::Instance();
};

// Detaching frees the thread's last-error record unless the process is ending.
TEST_P(EntryPointTest, FreesTheRecordOrSetsTheEndingFlag)
{
    EXPECT_EQ(GetParam().records_left, RecordsAfter(GetParam().reason, GetParam().process_ending));
    EXPECT_EQ(GetParam().terminating, IsProcessTerminating());
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, EntryPointTest,
    ::testing::Values(EntryCase{EntryReason::THREAD_DETACH, false, 0, false},
                      EntryCase{EntryReason::PROCESS_DETACH, false, 0, false},
                      EntryCase{EntryReason::PROCESS_ATTACH, false, 1, false},
                      EntryCase{EntryReason::THREAD_ATTACH, false, 1, false},
                      EntryCase{EntryReason::PROCESS_DETACH, true, 1, true}));

}  // namespace
