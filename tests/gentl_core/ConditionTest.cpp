#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/SyncObjects.h"
#include "support/WaitUntil.h"

using GenTLCore::Condition;
using GenTLCore::Mutex;
using GenTLCore::ScopedLock;
using GenTLCore::WaitResult;

namespace {

using Clock = std::chrono::steady_clock;

class ConditionTest : public ::testing::Test {
protected:
    // Starts a thread that waits on the condition; returns once it is inside
    // the wait (it counted itself under the mutex, which only the wait frees).
    void StartWaiter(double timeout_s)
    {
        const int before = WaitingCount();
        waiters.emplace_back([this, timeout_s] {
            ScopedLock hold(mutex);
            ++waiting;
            results.push_back(condition.Wait(mutex, timeout_s));
        });
        ASSERT_TRUE(TestSupport::WaitUntil([&] { return WaitingCount() == before + 1; }));
    }
    int WaitingCount()
    {
        ScopedLock hold(mutex);
        return waiting;
    }
    std::vector<WaitResult> JoinWaiters()
    {
        for (std::thread& waiter : waiters)
            waiter.join();
        waiters.clear();
        return results;
    }
    void TearDown() override { JoinWaiters(); }

    Mutex mutex;
    Condition condition;
    std::vector<std::thread> waiters;
    // Guarded by mutex.
    int waiting = 0;
    std::vector<WaitResult> results;
};

}  // namespace

// The main thread starts waiting after the notifies: they belong to the
// thread that was waiting when they were given.
TEST_F(ConditionTest, NotifyWakesOnlyAThreadAlreadyWaiting)
{
    StartWaiter(10.0);
    WaitResult late_result = WaitResult::Failed;
    {
        ScopedLock hold(mutex);
        condition.NotifyOne();
        condition.Broadcast();
        late_result = condition.Wait(mutex, 0.2);
    }
    EXPECT_EQ(WaitResult::TimedOut, late_result);
    EXPECT_EQ(std::vector<WaitResult>{WaitResult::Woken}, JoinWaiters());
}

TEST_F(ConditionTest, NotifyOneWakesOneOfTwoWaiters)
{
    StartWaiter(0.5);
    StartWaiter(0.5);
    condition.NotifyOne();
    const std::vector<WaitResult> ended = JoinWaiters();
    EXPECT_EQ(1, std::count(ended.begin(), ended.end(), WaitResult::Woken));
    EXPECT_EQ(1, std::count(ended.begin(), ended.end(), WaitResult::TimedOut));
}

TEST_F(ConditionTest, BroadcastWakesEveryWaiter)
{
    for (int i = 0; i < 3; ++i)
        StartWaiter(10.0);
    condition.Broadcast();
    EXPECT_EQ(std::vector<WaitResult>(3, WaitResult::Woken), JoinWaiters());
}

// Repeated wake-ups taken by other waiters must not stretch a timed wait.
TEST_F(ConditionTest, TimedWaitEndsByItsDeadlineUnderAStreamOfNotifies)
{
    std::atomic<bool> stop{false};
    std::vector<std::thread> others;
    for (int i = 0; i < 4; ++i)
        others.emplace_back([&] {
            for (int n = 0; n < 1000000 && !stop; ++n) {
                ScopedLock hold(mutex);
                condition.Wait(mutex, 0.05);
            }
        });
    std::thread notifier([&] {
        for (int n = 0; n < 10000000 && !stop; ++n)
            condition.NotifyOne();
    });
    WaitResult result = WaitResult::Failed;
    const Clock::time_point start = Clock::now();
    {
        ScopedLock hold(mutex);
        result = condition.Wait(mutex, 0.5);
    }
    const double elapsed_s = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    notifier.join();
    for (std::thread& other : others)
        other.join();
    EXPECT_NE(WaitResult::Failed, result);
    EXPECT_LT(elapsed_s, 0.5 + 1.5);
}

// Nobody notifies this condition: every wait must time out, however busy the
// machine is with another condition.
TEST_F(ConditionTest, WaitsWithoutANotifyNeverReportWoken)
{
    Mutex busy_mutex;
    Condition busy;
    std::atomic<bool> stop{false};
    std::thread load([&] {
        for (int n = 0; n < 10000000 && !stop; ++n) {
            busy.NotifyOne();
            ScopedLock hold(busy_mutex);
            busy.Wait(busy_mutex, 0.0);
        }
    });
    int woken = 0;
    for (int i = 0; i < 10000; ++i) {
        ScopedLock hold(mutex);
        if (condition.Wait(mutex, 0.0) != WaitResult::TimedOut)
            ++woken;
    }
    stop = true;
    load.join();
    EXPECT_EQ(0, woken);
}

TEST_F(ConditionTest, WaitWithoutHoldingTheMutexAssertsAndFails)
{
    TestSupport::AssertionRecorder assertions;
    EXPECT_EQ(WaitResult::Failed, condition.Wait(mutex, 0.0));
    EXPECT_EQ(1u, assertions.Count());
}

TEST_F(ConditionTest, WaitReleasesTheMutexWhileWaitingAndHoldsItAgainAfter)
{
    std::atomic<bool> other_got_mutex{false};
    ScopedLock hold(mutex);
    std::thread other([&] {
        ScopedLock other_hold(mutex);
        other_got_mutex = true;
        condition.NotifyOne();
    });
    // The other thread can notify only once the wait has freed the mutex.
    EXPECT_EQ(WaitResult::Woken, condition.Wait(mutex, 10.0));
    EXPECT_TRUE(other_got_mutex);
    EXPECT_EQ(1, mutex.LockDepthOfCurrentThread());
    other.join();
}
