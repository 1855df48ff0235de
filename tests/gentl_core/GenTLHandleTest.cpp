#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/GenTLHandle.h"

using GenTLCore::GenTLHandle;

namespace {

// Records its hooks, whether each ran under the handle lock, and answers
// DoOpen and DoClose with settable results.
class RecordingHandle : public GenTLHandle {
public:
    std::string GetID() override { return "Handle_7"; }

    GC_ERROR open_result = GC_ERR_SUCCESS;
    GC_ERROR close_result = GC_ERR_SUCCESS;
    std::vector<std::string> calls;
    bool hooks_locked = true;
    bool open_during_close = true;

protected:
    GC_ERROR DoOpen() override
    {
        Note("DoOpen");
        return open_result;
    }
    GC_ERROR DoClose() override
    {
        Note("DoClose");
        open_during_close = IsOpen();
        return close_result;
    }
    void OnNotAvailable() override { Note("OnNotAvailable"); }
    void FinalizeConstruction() override { Note("FinalizeConstruction"); }

private:
    void Note(const std::string& hook)
    {
        calls.push_back(hook);
        hooks_locked = hooks_locked && handle_lock.IsLockedByCurrentThread();
    }
};

class CompletedHandleTest : public ::testing::Test {
protected:
    void SetUp() override { handle.CompleteConstruction(); }
    RecordingHandle handle;
};

class HandleNotAvailableTest : public CompletedHandleTest {
protected:
    void SetUp() override
    {
        CompletedHandleTest::SetUp();
        handle.SetNotAvailable();
    }
};

// Only overrides the ID.
class PlainHandle : public GenTLHandle {
public:
    std::string GetID() override { return "Plain_1"; }
};

}  // namespace

TEST_F(CompletedHandleTest, OpenFollowsDoOpenAndWorksAgainAfterAClose)
{
    handle.open_result = GC_ERR_RESOURCE_IN_USE;
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, handle.Open());
    EXPECT_FALSE(handle.IsOpen());
    handle.open_result = GC_ERR_SUCCESS;
    EXPECT_EQ(GC_ERR_SUCCESS, handle.Open());
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Close());
    EXPECT_EQ(GC_ERR_SUCCESS, handle.Open());
    EXPECT_TRUE(handle.IsOpen());
    EXPECT_TRUE(handle.hooks_locked);
}

TEST_F(CompletedHandleTest, CloseClosesBeforeDoCloseAndStaysClosedWhenItFails)
{
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Open());
    handle.close_result = GC_ERR_IO;
    EXPECT_EQ(GC_ERR_IO, handle.Close());
    EXPECT_FALSE(handle.open_during_close);
    EXPECT_FALSE(handle.IsOpen());
    EXPECT_TRUE(handle.hooks_locked);
}

TEST_F(CompletedHandleTest, SecondCompleteConstructionAssertsAndFinalizesNoMore)
{
    TestSupport::AssertionRecorder assertions;
    handle.CompleteConstruction();
    EXPECT_EQ(std::vector<std::string>{"!fully_constructed"}, assertions.Failures());
    EXPECT_EQ(std::vector<std::string>{"FinalizeConstruction"}, handle.calls);
}

TEST_F(CompletedHandleTest, SetNotAvailableMarksThenCallsTheHook)
{
    handle.SetNotAvailable();
    EXPECT_TRUE(handle.IsNotAvailable());
    EXPECT_EQ(std::vector<std::string>({"FinalizeConstruction", "OnNotAvailable"}),
              handle.calls);
    EXPECT_TRUE(handle.hooks_locked);
}

TEST_F(CompletedHandleTest, ClearNotAvailableOnAnUnmarkedOpenHandleLeavesCloseAlone)
{
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Open());
    handle.ClearNotAvailable();
    handle.SetNotAvailable();
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Close());
    EXPECT_TRUE(handle.IsNotAvailable());
}

TEST_F(HandleNotAvailableTest, ClearWaitsForTheCloseOfAnOpenHandleEvenAFailedOne)
{
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Open());
    handle.ClearNotAvailable();
    EXPECT_TRUE(handle.IsNotAvailable());
    handle.close_result = GC_ERR_ERROR;
    EXPECT_EQ(GC_ERR_ERROR, handle.Close());
    EXPECT_FALSE(handle.IsNotAvailable());
    handle.SetNotAvailable();
    handle.ClearNotAvailable();  // closed: at once
    EXPECT_FALSE(handle.IsNotAvailable());
}

// The deferred clear belongs to one open period: a mark set again after that
// close stays.
TEST_F(HandleNotAvailableTest, DeferredClearIsForgottenAfterTheClose)
{
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Open());
    handle.ClearNotAvailable();
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Close());
    handle.SetNotAvailable();
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Open());
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Close());
    EXPECT_TRUE(handle.IsNotAvailable());
}

TEST(IncompleteHandleTest, OpenIsRefusedWithAnAssertion)
{
    TestSupport::AssertionRecorder assertions;
    {
        RecordingHandle handle;
        EXPECT_EQ(GC_ERR_ERROR, handle.Open());
        EXPECT_FALSE(handle.IsOpen());
        EXPECT_TRUE(handle.calls.empty());
    }
    // The destructor reports nothing: an incomplete object is destroyed quietly.
    EXPECT_EQ(std::vector<std::string>({"fully_constructed"}), assertions.Failures());
}

TEST(PlainHandleTest, UniqueStringIsTheId)
{
    PlainHandle handle;
    handle.CompleteConstruction();
    EXPECT_EQ("Plain_1", handle.GetUniqueString());
    EXPECT_EQ(GC_ERR_SUCCESS, handle.Open());
    EXPECT_EQ(GC_ERR_SUCCESS, handle.Close());
}
