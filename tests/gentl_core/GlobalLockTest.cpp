#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/SyncObjects.h"

using GenTLCore::GlobalLock;

namespace {

// Test processes run side by side: each case uses a name of its own.
class GlobalLockTest : public ::testing::Test {
protected:
    const std::string name = "GenTesk3d.test." + std::to_string(std::random_device()());
    GlobalLock first{name};
    GlobalLock second{name};
};

}  // namespace

TEST_F(GlobalLockTest, NameIsHeldByOneLockUntilReleasedOrDestroyed)
{
    TestSupport::AssertionRecorder assertions;
    {
        GlobalLock holder(name);
        ASSERT_TRUE(holder.Acquire());
        EXPECT_FALSE(first.Acquire());
    }
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(second.Acquire());
    first.Release();
    EXPECT_TRUE(second.Acquire());
    EXPECT_EQ(0u, assertions.Count());
}

TEST_F(GlobalLockTest, AcquiringTwiceThroughOneLockAsserts)
{
    TestSupport::AssertionRecorder assertions;
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(first.Acquire());
    EXPECT_EQ(std::vector<std::string>{"Global lock applied twice within the same process"},
              assertions.Failures());
}
