// GenTLHandle: open state, the not-available mark and two-phase construction.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/GenTLHandle.h"

namespace {

// Records its hooks, each with whether it ran under the handle lock and the
// handle was open, and answers DoOpen and DoClose with settable results.
class RecordingHandle : public GenTLCore::GenTLHandle {
public:
    std::string GetID() override { return "Handle_7"; }
    GC_ERROR open_result = GC_ERR_SUCCESS;
    GC_ERROR close_result = GC_ERR_SUCCESS;
    std::vector<std::string> calls;

protected:
    GC_ERROR DoOpen() override { return Note("DoOpen"), open_result; }
    GC_ERROR DoClose() override { return Note("DoClose"), close_result; }
    void OnNotAvailable() override { Note("OnNotAvailable"); }
    void FinalizeConstruction() override { Note("FinalizeConstruction"); }

private:
    void Note(const std::string& hook)
    {
        calls.push_back(hook + (handle_lock.IsLockedByCurrentThread() ? "" : " unlocked") +
                        (IsOpen() ? " open" : ""));
    }
};

// A clear while open waits for that one close, even a failed one; a clear of
// an unmarked handle defers nothing. Close closes first even when DoClose
// fails. An incomplete object refuses to open and is destroyed quietly.
TEST(GenTLHandleTest, OpenFollowsDoOpenAndTheNotAvailableMarkClearsAtOnceOrAtTheNextClose)
{
    TestSupport::AssertionRecorder assertions;
    { RecordingHandle never_completed; }
    RecordingHandle handle;
    EXPECT_EQ(GC_ERR_ERROR, handle.Open());
    handle.CompleteConstruction();
    handle.CompleteConstruction();
    EXPECT_EQ(std::vector<std::string>({"fully_constructed", "!fully_constructed"}),
              assertions.Failures());
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
    EXPECT_FALSE(handle.IsOpen() || handle.IsNotAvailable());
    handle.SetNotAvailable();
    handle.ClearNotAvailable();
    EXPECT_FALSE(handle.IsNotAvailable());
    EXPECT_EQ(std::vector<std::string>({"FinalizeConstruction", "DoOpen", "DoOpen",
                                        "OnNotAvailable open", "DoClose", "DoOpen", "DoClose",
                                        "OnNotAvailable"}),
              handle.calls);
    EXPECT_EQ("Handle_7", handle.GetUniqueString());
}

}  // namespace
