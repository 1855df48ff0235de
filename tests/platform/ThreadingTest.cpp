// The endless wait, the thread's one-start rule, the thread-local slot and
// the named lock across processes.
// Condition waits and priorities are tested through gentl_core's wrappers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/NamedLock.h"
#include "platform/ThreadLocal.h"
#include "platform/Threading.h"

namespace {

using Platform::NamedLock;
using Platform::RecursiveMutex;

// The largest timeouts cannot be added to the clock: they wait without limit
// rather than wrapping into the past.
TEST(ThreadingTest, LargestTimeoutWaitsForTheNotify)
{
    RecursiveMutex mutex;
    Platform::ConditionVariable condition;
    mutex.Lock();
    // The notify needs the mutex, which only the wait frees.
    std::jthread notifier([&] {
        mutex.Lock();
        condition.NotifyOne();
        mutex.Unlock();
    });
    EXPECT_EQ(Platform::WaitResult::Woken, condition.Wait(mutex, INT64_MAX));
    mutex.Unlock();
}

void CountCall(void* calls)
{
    ++*static_cast<std::atomic<int>*>(calls);
}

// A priority given before the thread runs is kept for it; a deleted key
// stores nothing and answers nothing.
TEST(ThreadingTest, ThreadStartsOnceUntilJoinedAndADeletedSlotRefusesValues)
{
    std::atomic<int> calls{0};
    Platform::Thread thread;
    thread.Join();
    EXPECT_FALSE(thread.ApplyPriority(3));
    EXPECT_TRUE(thread.ApplyPriority(-1));
    ASSERT_TRUE(thread.Start(&CountCall, &calls, std::nullopt));
    EXPECT_FALSE(thread.Start(&CountCall, &calls, std::nullopt));
    thread.Join();
    EXPECT_FALSE(thread.IsJoinable());
    EXPECT_TRUE(thread.ApplyPriority(-1));
    EXPECT_FALSE(thread.CurrentPriority());
    ASSERT_TRUE(thread.Start(&CountCall, &calls, -1));
    thread.Join();
    EXPECT_EQ(2, calls);

    int marker = 0;
    Platform::ThreadLocal slot(nullptr);
    ASSERT_TRUE(slot.Set(&marker));
    EXPECT_EQ(&marker, slot.Get());
    slot.DeleteKey();
    EXPECT_FALSE(slot.Set(&marker));
    EXPECT_EQ(nullptr, slot.Get());
}

// Whether a forked child gets `name`; the child ends without releasing it.
bool ChildTakes(const std::string& name)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(NamedLock().TryAcquire(name) ? 0 : 1);
    int status = -1;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// 108 bytes of socket path, one taken by the abstract-namespace marker; the
// name goes with its holder's process.
TEST(NamedLockTest, NameOfOneTo107BytesIsHeldByOneHolderAcrossProcesses)
{
    const std::string name = "GenTesk3d.test." + std::to_string(::getpid());
    const std::string longest = name + std::string(107 - name.size(), 'x');
    NamedLock first;
    NamedLock second;
    EXPECT_FALSE(first.TryAcquire(""));
    EXPECT_FALSE(first.TryAcquire(longest + "y"));
    EXPECT_TRUE(ChildTakes(longest));
    EXPECT_TRUE(first.TryAcquire(longest));
    EXPECT_FALSE(first.TryAcquire(name));
    EXPECT_FALSE(second.TryAcquire(longest));
    EXPECT_FALSE(ChildTakes(longest));
    first.Release();
    EXPECT_TRUE(second.TryAcquire(longest));
}

}  // namespace
