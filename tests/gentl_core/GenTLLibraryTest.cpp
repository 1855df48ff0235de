// The library object and its handle pool, with a fake transport layer. One
// library object serves the whole process: a second one is a fault.
#include <gtest/gtest.h>

#include <new>
#include <random>
#include <string>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "ModuleTreeFixture.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/SyncObjects.h"

using GenTLCore::GenTLHandle;
using GenTLCore::GenTLSystem;
using GenTLCore::SharedPtr;
using ModuleTest::LastErrorText;
using TestSupport::AssertionRecorder;

namespace {

using ModuleTest::LibraryKnobs;
using Creation = LibraryKnobs::System;

using GenTLCore::GenTLLocalDevice;

// A pooled object: a test device whose open answers `open_result`.
SharedPtr<GenTLLocalDevice> Device(ModuleTest::Journal& journal, GC_ERROR open_result = 0)
{
    ModuleTest::DeviceKnobs knobs;
    knobs.open_result = open_result;
    SharedPtr<GenTLLocalDevice> device(
        new ModuleTest::TestDevice(ModuleTest::MakeDeviceTag("D"), knobs, journal));
    device->CompleteConstruction();
    return device;
}

// Names the lock after this process: test processes side by side must not meet.
class LockBranding : public ModuleTest::ModuleBranding {
public:
    std::string GlobalLockName() const override { return name; }
    const std::string name = "gentesk-library-test-" + std::to_string(std::random_device()());
};

class LibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (library == nullptr) library = new ModuleTest::TestLibrary();
    }
    void SetUp() override
    {
        library->knobs = LibraryKnobs();
    }
    void TearDown() override
    {
        if (library->IsInitialized()) library->CloseLib();
    }
    void Initialize()
    {
        ASSERT_EQ(GC_ERR_SUCCESS, library->InitLib());
        ASSERT_EQ(GC_ERR_SUCCESS, library->SysOpen(system));
        ASSERT_EQ(GC_ERR_SUCCESS, library->Register(system.DynamicCast<GenTLHandle>(), nullptr,
                                                    &hsystem));
    }

    static inline ModuleTest::TestLibrary* library = nullptr;  // made once, kept to the end
    ModuleTest::Journal journal;
    SharedPtr<GenTLSystem> system;
    void* hsystem = nullptr;
};

// Every failed InitLib leaves the library closed and gives the lock back.
TEST_F(LibraryTest, FailedInitLeavesTheLibraryClosedAndTheLockFree)
{
    auto* branding = new LockBranding();
    GenTLCore::BrandingControl::Instance()->Initialize(
        SharedPtr<GenTLCore::GenTLBranding>(branding));
    GenTLCore::GlobalLock other{branding->name};
    const struct {
        LibraryKnobs knobs;
        bool held_elsewhere;
        GC_ERROR result;
        const char* text;
        int infrastructure_closes;
    } rows[] = {
        {{true}, true, GC_ERR_RESOURCE_IN_USE,
         "InitLib: the library is already in use in another process.", 0},
        {{true, false}, false, GC_ERR_ERROR,
         "InitLib: Initialization of TL-specific library infrastructure failed.", 0},
        {{true, true, true, Creation::EMPTY}, false, GC_ERR_OUT_OF_MEMORY,
         "InitLib: failed to create the system module", 1},
        {{true, true, true, Creation::OUT_OF_MEMORY}, false, GC_ERR_OUT_OF_MEMORY,
         "InitLib: failed to create the system module", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        library->knobs = row.knobs;
        ASSERT_TRUE(!row.held_elsewhere || other.Acquire());
        EXPECT_EQ(row.result, library->InitLib());
        EXPECT_EQ(row.text, LastErrorText());
        EXPECT_EQ(row.infrastructure_closes, library->knobs.infrastructure_closes);
        EXPECT_FALSE(library->IsInitialized());
        EXPECT_TRUE(row.held_elsewhere || other.Acquire());
        other.Release();
    }
    library->knobs = LibraryKnobs{true};
    ASSERT_EQ(GC_ERR_SUCCESS, library->InitLib());
    EXPECT_FALSE(other.Acquire());
    library->CloseLib();
    EXPECT_TRUE(other.Acquire());
    other.Release();
}

TEST_F(LibraryTest, CloseLibClosesEverythingEvenWhenTheInfrastructureFails)
{
    Initialize();
    const SharedPtr<GenTLLocalDevice> device = Device(journal);
    void* handle = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, library->Register(device.DynamicCast<GenTLHandle>(), hsystem, &handle));
    library->knobs.close_infrastructure = false;
    EXPECT_EQ(GC_ERR_ERROR, library->CloseLib());
    EXPECT_EQ("CloseLib: Uninitialization of TL-specific library infrastructure failed.",
              LastErrorText());
    EXPECT_FALSE(device->IsOpen() || system->IsOpen() || library->IsInitialized());
}

// Of the refusals of a closed library, only Register's is out of a consumer's reach.
TEST_F(LibraryTest, ClosedLibraryRefusesToRegister)
{
    Initialize();
    ASSERT_EQ(GC_ERR_SUCCESS, library->CloseLib());
    void* out = nullptr;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED,
              library->Register(system.DynamicCast<GenTLHandle>(), nullptr, &out));
    EXPECT_EQ("Open/Register: attempt to use an open handle operation with uninitialized library.",
              LastErrorText());
}

TEST_F(LibraryTest, RegisterRefusesWhatItCannotPoolAndAddsNothing)
{
    Initialize();
    AssertionRecorder assertions;
    void* handle = nullptr;
    EXPECT_EQ(GC_ERR_ERROR, library->Register(SharedPtr<GenTLHandle>(), hsystem, &handle));
    EXPECT_EQ("Open/Register: internal failure when looking up the opened object instance.",
              LastErrorText());
    const SharedPtr<GenTLLocalDevice> failing = Device(journal, GC_ERR_IO);
    EXPECT_EQ(GC_ERR_IO, library->Register(failing.DynamicCast<GenTLHandle>(), hsystem, &handle));
    EXPECT_EQ(nullptr, handle);
    SharedPtr<GenTLLocalDevice> found;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE,
              library->Lookup(static_cast<GenTLHandle*>(failing.Get()), found));
    // A parent closed by another thread between the caller's lookup and Register.
    void* hparent = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS,
              library->Register(Device(journal).DynamicCast<GenTLHandle>(), hsystem, &hparent));
    ASSERT_EQ(GC_ERR_SUCCESS, library->Unregister<GenTLLocalDevice>(hparent));
    const SharedPtr<GenTLLocalDevice> orphan = Device(journal);
    EXPECT_EQ(GC_ERR_INVALID_HANDLE,
              library->Register(orphan.DynamicCast<GenTLHandle>(), hparent, &handle));
    EXPECT_EQ("Open/Register: parent handle not found in the pool", LastErrorText());
    EXPECT_FALSE(orphan->IsOpen());
    EXPECT_EQ(2u, assertions.Count());
}

TEST_F(LibraryTest, ASecondLibraryObjectIsReported)
{
    AssertionRecorder assertions;
    ModuleTest::TestLibrary second;
    ASSERT_EQ(1u, assertions.Count());
    EXPECT_NE(std::string::npos,
              assertions.Failures()[0].find("GenTL library object instantiated more than once"));
}

}  // namespace
