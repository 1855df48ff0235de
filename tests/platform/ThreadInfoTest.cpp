#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "platform/ThreadInfo.h"

namespace {

// CurrentThreadId: stable within a thread, different between live threads.
TEST(ThreadInfoTest, TwoLiveThreadsHaveDifferentIds)
{
    const uint32_t mine = Platform::CurrentThreadId();
    uint32_t other_id = mine;
    std::thread other([&] { other_id = Platform::CurrentThreadId(); });
    other.join();
    EXPECT_NE(0u, mine);
    EXPECT_NE(mine, other_id);
    EXPECT_EQ(mine, Platform::CurrentThreadId());
}

}  // namespace
