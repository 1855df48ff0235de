#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Win32Event.h"
#include "support/WaitUntil.h"

using Platform::Win32Event;

namespace {

// Manual-reset events release every waiter and stay set.
TEST(ManualResetEventTest, StaysSignalledUntilReset)
{
    Win32Event event(true, false);
    EXPECT_EQ(Win32Event::WAIT_TIMED_OUT, event.Wait(0));
    event.Set();
    EXPECT_EQ(Win32Event::WAIT_SIGNALLED, event.Wait(0));
    EXPECT_EQ(Win32Event::WAIT_SIGNALLED, event.Wait(0));
    event.Reset();
    EXPECT_EQ(Win32Event::WAIT_TIMED_OUT, event.Wait(0));
}

TEST(ManualResetEventTest, ReleasesEveryWaiter)
{
    Win32Event event(true, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            if (event.Wait(Win32Event::INFINITE_32) == Win32Event::WAIT_SIGNALLED)
                ++released;
        });
    }
    event.Set();
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(4, released.load());
}

// Auto-reset events release exactly one waiter per set.
TEST(AutoResetEventTest, ReleasesOneWaiterAndClears)
{
    Win32Event event(false, true);
    EXPECT_EQ(Win32Event::WAIT_SIGNALLED, event.Wait(0));
    EXPECT_EQ(Win32Event::WAIT_TIMED_OUT, event.Wait(0));
}

TEST(AutoResetEventTest, OneSetReleasesOnlyOneOfTwoWaiters)
{
    Win32Event event(false, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) {
        waiters.emplace_back([&] {
            if (event.Wait(Win32Event::INFINITE_64) == Win32Event::WAIT_SIGNALLED)
                ++released;
        });
    }
    event.Set();
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return released.load() == 1; }));
    event.Set();
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(2, released.load());
}

TEST(EventTimeoutTest, TimesOutWithTheWaitResultOfTheSystemItReplaces)
{
    Win32Event event(false, false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(258u, event.Wait(50));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(EventTimeoutTest, AHugeFiniteTimeoutStillEndsWhenSignalled)
{
    Win32Event event(true, false);
    std::thread setter([&] { event.Set(); });
    EXPECT_EQ(0u, event.Wait(uint64_t{1} << 50));
    setter.join();
}

}  // namespace
