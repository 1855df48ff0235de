// GenTLHandle: open state, the not-available mark and two-phase construction.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/GenTLHandle.h"

namespace {

// Records its hooks and whether each ran under the handle lock, and answers
// DoOpen and DoClose with settable results.
class RecordingHandle : public GenTLCore::GenTLHandle {
public:
    std::string GetID() override { return "Handle_7"; }

    GC_ERROR open_result = GC_ERR_SUCCESS;
    GC_ERROR close_result = GC_ERR_SUCCESS;
    std::vector<std::string> calls;
    bool hooks_locked = true;
    bool open_during_close = true;

protected:
    GC_ERROR DoOpen() override { return Note("DoOpen"), open_result; }
    GC_ERROR DoClose() override
    {
        open_during_close = IsOpen();
        return Note("DoClose"), close_result;
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

// A clear while open waits for that one close, even a failed one; a clear of
// an unmarked handle defers nothing. Close closes first even when DoClose fails.
TEST(GenTLHandleTest, OpenFollowsDoOpenAndTheNotAvailableMarkClearsAtOnceOrAtTheNextClose)
{
    RecordingHandle handle;
    handle.CompleteConstruction();
    handle.open_result = GC_ERR_RESOURCE_IN_USE;
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, handle.Open());
    EXPECT_FALSE(handle.IsOpen());
    handle.open_result = GC_ERR_SUCCESS;
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Open());
    handle.ClearNotAvailable();
    handle.SetNotAvailable();
    ASSERT_EQ(GC_ERR_SUCCESS, handle.Close());
    EXPECT_TRUE(handle.IsNotAvailable());

    ASSERT_EQ(GC_ERR_SUCCESS, handle.Open());
    handle.ClearNotAvailable();
    EXPECT_TRUE(handle.IsNotAvailable());
    handle.close_result = GC_ERR_ERROR;
    EXPECT_EQ(GC_ERR_ERROR, handle.Close());
    EXPECT_FALSE(handle.open_during_close);
    EXPECT_FALSE(handle.IsOpen());
    EXPECT_FALSE(handle.IsNotAvailable());
    EXPECT_EQ(std::vector<std::string>({"FinalizeConstruction", "DoOpen", "DoOpen",
                                        "OnNotAvailable", "DoClose", "DoOpen", "DoClose"}),
              handle.calls);
    EXPECT_TRUE(handle.hooks_locked);
    handle.SetNotAvailable();
    handle.ClearNotAvailable();
    EXPECT_FALSE(handle.IsNotAvailable());
    EXPECT_EQ("Handle_7", handle.GetUniqueString());
}

TEST(GenTLHandleTest, ConstructionCompletesOnceAndAnIncompleteObjectRefusesToOpen)
{
    TestSupport::AssertionRecorder assertions;
    {
        RecordingHandle handle;
        EXPECT_EQ(GC_ERR_ERROR, handle.Open());
        handle.CompleteConstruction();
        handle.CompleteConstruction();
        EXPECT_EQ(std::vector<std::string>{"FinalizeConstruction"}, handle.calls);
    }
    // The destructor reports nothing: an incomplete object is destroyed quietly.
    { RecordingHandle never_completed; }
    EXPECT_EQ(std::vector<std::string>({"fully_constructed", "!fully_constructed"}),
              assertions.Failures());
}

}  // namespace
