// The library object and its handle pool, with a fake transport layer, where
// a consumer cannot reach: failing infrastructure, a held lock, refused
// registrations. One library object serves the whole process.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "../platform/AssertionRecorder.h"
#include "ModuleTreeFixture.h"
#include "gentl_core/SyncObjects.h"

namespace {

using namespace ModuleTest;
using GenTLCore::GenTLHandle;
using GenTLCore::GenTLLocalDevice;
using Creation = LibraryKnobs::System;

// Names the lock after this process: test processes side by side must not meet.
class LockBranding : public ModuleBranding {
public:
    std::string GlobalLockName() const override { return name; }
    const std::string name = "gentesk-library-test-" + std::to_string(std::random_device()());
};

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static TestLibrary* const made_once = new TestLibrary();
        library = made_once;
        library->knobs = LibraryKnobs();
        InstallModuleBranding();
    }
    void TearDown() override
    {
        if (library->IsInitialized()) library->CloseLib();
    }
    // The library open with its system registered.
    void Initialize()
    {
        ASSERT_EQ(GC_ERR_SUCCESS, library->InitLib());
        ASSERT_EQ(GC_ERR_SUCCESS, library->SysOpen(system));
        ASSERT_EQ(GC_ERR_SUCCESS,
                  library->Register(system.DynamicCast<GenTLHandle>(), nullptr, &hsystem));
    }
    // A pooled device whose open answers `open_result`.
    SharedPtr<GenTLHandle> Device(GC_ERROR open_result = GC_ERR_SUCCESS)
    {
        DeviceKnobs knobs;
        knobs.open_result = open_result;
        SharedPtr<GenTLLocalDevice> device(new TestDevice(MakeDeviceTag("D"), knobs, journal));
        device->CompleteConstruction();
        return device.DynamicCast<GenTLHandle>();
    }

    TestLibrary* library = nullptr;
    Journal journal;
    SharedPtr<GenTLCore::GenTLSystem> system;
    void* hsystem = nullptr;
    void* handle = nullptr;
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
        // clang-format off
        {{true}, true, GC_ERR_RESOURCE_IN_USE, "InitLib: the library is already in use in another process.", 0},
        {{true, false}, false, GC_ERR_ERROR, "InitLib: Initialization of TL-specific library infrastructure failed.", 0},
        {{true, true, true, Creation::EMPTY}, false, GC_ERR_OUT_OF_MEMORY, "InitLib: failed to create the system module", 1},
        {{true, true, true, Creation::OUT_OF_MEMORY}, false, GC_ERR_OUT_OF_MEMORY, "InitLib: failed to create the system module", 1},
        // clang-format on
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

// CloseLib closes everything even when the infrastructure fails; a closed
// library refuses to register (the only refusal out of a consumer's reach).
TEST_F(LibraryTest, CloseLibClosesEverythingAndThenRefusesToRegister)
{
    Initialize();
    const SharedPtr<GenTLHandle> device = Device();
    ASSERT_EQ(GC_ERR_SUCCESS, library->Register(device, hsystem, &handle));
    library->knobs.close_infrastructure = false;
    EXPECT_EQ(GC_ERR_ERROR, library->CloseLib());
    EXPECT_EQ("CloseLib: Uninitialization of TL-specific library infrastructure failed.",
              LastErrorText());
    EXPECT_FALSE(device->IsOpen() || system->IsOpen() || library->IsInitialized());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, library->Register(device, nullptr, &handle));
    EXPECT_EQ("Open/Register: attempt to use an open handle operation with uninitialized library.",
              LastErrorText());
}

// A parent may be closed by another thread between the caller's lookup and
// Register. A second library object is a fault.
TEST_F(LibraryTest, RegisterRefusesWhatItCannotPoolAndAddsNothing)
{
    Initialize();
    TestSupport::AssertionRecorder assertions;
    EXPECT_EQ(GC_ERR_ERROR, library->Register(SharedPtr<GenTLHandle>(), hsystem, &handle));
    EXPECT_EQ("Open/Register: internal failure when looking up the opened object instance.",
              LastErrorText());
    const SharedPtr<GenTLHandle> failing = Device(GC_ERR_IO);
    EXPECT_EQ(GC_ERR_IO, library->Register(failing, hsystem, &handle));
    EXPECT_EQ(nullptr, handle);
    SharedPtr<GenTLLocalDevice> found;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library->Lookup(failing.Get(), found));
    void* hparent = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, library->Register(Device(), hsystem, &hparent));
    ASSERT_EQ(GC_ERR_SUCCESS, library->Unregister<GenTLLocalDevice>(hparent));
    const SharedPtr<GenTLHandle> orphan = Device();
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library->Register(orphan, hparent, &handle));
    EXPECT_EQ("Open/Register: parent handle not found in the pool", LastErrorText());
    EXPECT_FALSE(orphan->IsOpen());
    EXPECT_EQ(2u, assertions.Count());
    TestLibrary second;
    ASSERT_EQ(3u, assertions.Count());
    EXPECT_NE(std::string::npos,
              assertions.Failures()[2].find("GenTL library object instantiated more than once"));
}

}  // namespace
