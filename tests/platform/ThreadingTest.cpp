// The recursive mutex's holder bookkeeping, the thread's one-start rule and
// the thread-local slot.
// Condition waits and priorities are tested through gentl_core's wrappers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "AssertionRecorder.h"
#include "platform/ThreadLocal.h"
#include "platform/Threading.h"

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
