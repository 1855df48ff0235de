#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <thread>

#include "AssertionRecorder.h"
#include "platform/Threading.h"
#include "support/WaitUntil.h"

using Platform::ConditionVariable;
using Platform::RecursiveMutex;
using Platform::Thread;
using Platform::WaitResult;

TEST(RecursiveMutexTest, CountsTheDepthOfItsHolderOnly)
{
    RecursiveMutex mutex;
    mutex.Lock();
    mutex.Lock();
    int depth_elsewhere = -1;
    std::thread([&] { depth_elsewhere = mutex.LockDepthOfCurrentThread(); }).join();
    EXPECT_EQ(2, mutex.LockDepthOfCurrentThread());
    EXPECT_EQ(0, depth_elsewhere);
    mutex.Unlock();
    mutex.Unlock();
    EXPECT_FALSE(mutex.IsLockedByCurrentThread());
}

TEST(RecursiveMutexTest, UnlockByAThreadNotHoldingItAssertsAndLeavesItHeld)
{
    TestSupport::AssertionRecorder assertions;
    RecursiveMutex mutex;
    mutex.Lock();
    std::thread([&] { mutex.Unlock(); }).join();
    EXPECT_EQ(1u, assertions.Count());
    EXPECT_EQ(1, mutex.LockDepthOfCurrentThread());
    mutex.Unlock();
}

// The largest timeouts cannot be added to the clock: they wait without limit
// rather than wrapping into the past.
TEST(ConditionVariableTest, LargestTimeoutWaitsForTheNotify)
{
    RecursiveMutex mutex;
    ConditionVariable condition;
    std::atomic<bool> waiting{false};
    std::thread notifier([&] {
        TestSupport::WaitUntil([&] {
            mutex.Lock();
            const bool inside = waiting.load();
            mutex.Unlock();
            return inside;
        });
        condition.NotifyOne();
    });
    mutex.Lock();
    waiting = true;
    const WaitResult result = condition.Wait(mutex, std::numeric_limits<int64_t>::max());
    mutex.Unlock();
    notifier.join();
    EXPECT_EQ(WaitResult::Woken, result);
}

namespace {
void CountCall(void* calls)
{
    ++*static_cast<std::atomic<int>*>(calls);
}
}  // namespace

TEST(ThreadTest, StartsOnceUntilJoined)
{
    std::atomic<int> calls{0};
    Thread thread;
    thread.Join();  // without a thread: returns
    ASSERT_TRUE(thread.Start(&CountCall, &calls, std::nullopt));
    EXPECT_FALSE(thread.Start(&CountCall, &calls, std::nullopt));
    thread.Join();
    EXPECT_FALSE(thread.IsJoinable());
    ASSERT_TRUE(thread.Start(&CountCall, &calls, std::nullopt));
    thread.Join();
    EXPECT_EQ(2, calls);
}

namespace {
void RecordNice(void* nice)
{
    *static_cast<int*>(nice) = Platform::GetCurrentThreadNiceForTest();
}
}  // namespace

TEST(ThreadTest, ValidPriorityGivenToStartIsInForceBeforeTheEntryRuns)
{
    int nice = 0;
    Thread thread;
    EXPECT_FALSE(thread.ApplyPriority(3));
    EXPECT_FALSE(thread.ApplyPriority(0x7FFFFFFF));
    EXPECT_TRUE(thread.ApplyPriority(-1));
    ASSERT_TRUE(thread.Start(&RecordNice, &nice, -15));
    thread.Join();
    EXPECT_EQ(19, nice);
}
