// The library object where a consumer cannot reach it: failing
// infrastructure, a lock held by another process, out of memory; and the
// exported functions when the service throws or is missing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <random>
#include <stdexcept>
#include <string>

#include "MockGenTLSrv.h"
#include "ModuleTreeFixture.h"
#include "gentl_core/GenTLCore.h"
#include "gentl_core/SyncObjects.h"

namespace {

using namespace ModuleTest;
using Creation = LibraryKnobs::System;

// Names the lock after this process: test processes side by side must not meet.
class LockBranding : public ModuleBranding {
public:
    std::string GlobalLockName() const override { return name; }
    const std::string name = "gentesk-library-test-" + std::to_string(std::random_device()());
};

// Every failed InitLib leaves the library closed and gives the lock back; an
// open library refuses a child whose parent left the pool.
TEST(LibraryTest, FailedInitLeavesItClosedAndAChildOfAClosedParentIsRefused)
{
    TestLibrary library;
    auto* branding = new LockBranding();
    GenTLCore::BrandingControl::Instance()->Initialize(
        SharedPtr<GenTLCore::GenTLBranding>(branding));
    GenTLCore::GlobalLock other{branding->name};
    // clang-format off
    const struct { LibraryKnobs knobs; bool held_elsewhere; GC_ERROR result; const char* text; int infrastructure_closes; } rows[] = {
        {{true}, true, GC_ERR_RESOURCE_IN_USE, "InitLib: the library is already in use in another process.", 0},
        {{true, false}, false, GC_ERR_ERROR, "InitLib: Initialization of TL-specific library infrastructure failed.", 0},
        {{true, true, true, Creation::EMPTY}, false, GC_ERR_OUT_OF_MEMORY, "InitLib: failed to create the system module", 1},
        {{true, true, true, Creation::OUT_OF_MEMORY}, false, GC_ERR_OUT_OF_MEMORY, "InitLib: failed to create the system module", 1},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        library.knobs = row.knobs;
        ASSERT_TRUE(!row.held_elsewhere || other.Acquire());
        EXPECT_EQ(row.result, library.InitLib());
        EXPECT_EQ(row.text, LastErrorText());
        EXPECT_EQ(row.infrastructure_closes, library.knobs.infrastructure_closes);
        EXPECT_FALSE(library.IsInitialized());
        EXPECT_TRUE(row.held_elsewhere || other.Acquire());
        other.Release();
    }
    library.knobs = LibraryKnobs{true};
    ASSERT_EQ(GC_ERR_SUCCESS, library.InitLib());
    EXPECT_FALSE(other.Acquire());
    // A parent closed by another thread between lookup and Register: the child is refused.
    Journal journal;
    SharedPtr<GenTLCore::GenTLLocalDevice> orphan(new TestDevice(MakeDeviceTag("D"), {}, journal));
    orphan->CompleteConstruction();
    void* handle = nullptr;
    TestSupport::AssertionCounter asserts;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE,
              library.Register(orphan.DynamicCast<GenTLCore::GenTLHandle>(), &journal, &handle));
    EXPECT_EQ("Open/Register: parent handle not found in the pool", LastErrorText());
    EXPECT_FALSE(orphan->IsOpen());
    EXPECT_EQ(1, asserts.Failures());
    library.CloseLib();
    EXPECT_TRUE(other.Acquire());
    other.Release();
}

// An exception reaching an export is reported with the export's name. With no
// service (start-up failed), GCInitLib is an error and every other call
// not initialized. That each export reaches its operation, every consumer
// test shows.
TEST(ExportsTest, NoExceptionLeavesTheLibraryAndNoServiceAnswers)
{
    ::testing::StrictMock<TestSupport::MockGenTLSrv> service;
    GenTLCore::SetExportedService(&service);
    EXPECT_CALL(service, TLOpen).WillOnce(::testing::Throw(std::bad_alloc()));
    EXPECT_CALL(service, DSClose).WillOnce(::testing::Throw(std::length_error("too long")));
    EXPECT_CALL(service, GCCloseLib).WillOnce(::testing::Throw(std::runtime_error("unexpected")));
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, TLOpen(nullptr));
    EXPECT_EQ("TLOpen: out of memory", LastErrorText());
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, DSClose(nullptr));
    EXPECT_EQ("DSClose: out of memory", LastErrorText());
    EXPECT_EQ(GC_ERR_ERROR, GCCloseLib());
    EXPECT_EQ("GCCloseLib: unexpected internal error", LastErrorText());
    GenTLCore::SetExportedService(nullptr);
    TestSupport::AssertionCounter asserts;
    EXPECT_EQ(GC_ERR_ERROR, GCInitLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, GCCloseLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, DSClose(nullptr));
    EXPECT_EQ(3, asserts.Failures());
}

}  // namespace
