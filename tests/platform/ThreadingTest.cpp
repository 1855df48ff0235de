// The recursive mutex's holder bookkeeping, the thread's one-start rule and
// the thread-local slot.
// Condition waits and priorities are tested through gentl_core's wrappers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "AssertionRecorder.h"
#include "platform/ThreadLocal.h"
#include "platform/Threading.h"
#include "support/WaitUntil.h"

namespace {

using Platform::RecursiveMutex;

TEST(ThreadingTest, MutexCountsTheDepthOfItsHolderAndRefusesAnUnlockByAnother)
{
    TestSupport::AssertionRecorder assertions;
    RecursiveMutex mutex;
    mutex.Lock();
    mutex.Lock();
    int depth_elsewhere = -1;
    std::thread([&] {
        depth_elsewhere = mutex.LockDepthOfCurrentThread();
        mutex.Unlock();
    }).join();
    EXPECT_EQ(0, depth_elsewhere);
    EXPECT_EQ(1u, assertions.Count());
    EXPECT_EQ(2, mutex.LockDepthOfCurrentThread());
    mutex.Unlock();
    mutex.Unlock();
    EXPECT_FALSE(mutex.IsLockedByCurrentThread());
}

// The largest timeouts cannot be added to the clock: they wait without limit
// rather than wrapping into the past. (Through gentl_core's Signal the
// milliseconds stay below this.)
TEST(ThreadingTest, LargestTimeoutWaitsForTheNotify)
{
    RecursiveMutex mutex;
    Platform::ConditionVariable condition;
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
    const Platform::WaitResult result = condition.Wait(mutex, INT64_MAX);
    mutex.Unlock();
    notifier.join();
    EXPECT_EQ(Platform::WaitResult::Woken, result);
}

void CountCall(void* calls)
{
    ++*static_cast<std::atomic<int>*>(calls);
}

TEST(ThreadingTest, ThreadStartsOnceUntilJoinedAndRefusesAnInvalidPriority)
{
    std::atomic<int> calls{0};
    Platform::Thread thread;
    thread.Join();  // without a thread: returns
    EXPECT_FALSE(thread.ApplyPriority(3));
    EXPECT_FALSE(thread.ApplyPriority(0x7FFFFFFF));
    EXPECT_TRUE(thread.ApplyPriority(-1));  // kept for a thread not yet running
    ASSERT_TRUE(thread.Start(&CountCall, &calls, std::nullopt));
    EXPECT_FALSE(thread.Start(&CountCall, &calls, std::nullopt));
    thread.Join();
    EXPECT_FALSE(thread.IsJoinable());
    EXPECT_TRUE(thread.ApplyPriority(-1));  // nothing left to apply it to
    ASSERT_TRUE(thread.Start(&CountCall, &calls, -1));
    thread.Join();
    EXPECT_EQ(2, calls);
}

// A deleted key stores nothing and answers nothing.
TEST(ThreadLocalTest, DeletedKeyRefusesValues)
{
    int marker = 0;
    Platform::ThreadLocal slot(nullptr);
    ASSERT_TRUE(slot.Set(&marker));
    EXPECT_EQ(&marker, slot.Get());
    slot.DeleteKey();
    EXPECT_FALSE(slot.Set(&marker));
    EXPECT_EQ(nullptr, slot.Get());
}

}  // namespace
