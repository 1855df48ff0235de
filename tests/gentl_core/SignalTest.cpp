#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/SyncObjects.h"
#include "support/WaitUntil.h"

using GenTLCore::ScopedLock;
using GenTLCore::Signal;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Threads that wait on one signal; each says, under the signal's mutex, that
// it is about to wait, so a test that sees all of them counted under that
// mutex knows they are inside the wait.
class SignalWaiters {
public:
    SignalWaiters(Signal& waited_on, int threads, double timeout_s) : signal(waited_on)
    {
        for (int i = 0; i < threads; ++i)
            workers.emplace_back([this, timeout_s] {
                ScopedLock hold(signal.GetMutex());
                ++waiting;
                results.push_back(signal.Wait(timeout_s));
            });
    }
    ~SignalWaiters() { JoinAll(); }

    bool AllWaiting(int expected)
    {
        return TestSupport::WaitUntil([&] {
            ScopedLock hold(signal.GetMutex());
            return waiting == expected;
        });
    }
    std::vector<int> JoinAll()
    {
        for (std::thread& worker : workers)
            if (worker.joinable())
                worker.join();
        return results;
    }

private:
    Signal& signal;
    std::vector<std::thread> workers;
    // Guarded by the signal's mutex.
    int waiting = 0;
    std::vector<int> results;
};

class SignalTest : public ::testing::Test {
protected:
    Signal signal;
};

}  // namespace

TEST_F(SignalTest, TwoPostsLetTwoWaitsThroughAndTheThirdTimesOutAfterItsTimeout)
{
    signal.Post();
    signal.Post();
    EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(0.0));
    EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(0.0));
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Signal::TIMED_OUT, signal.Wait(0.5));
    EXPECT_GE(SecondsSince(start), 0.5);
}

TEST_F(SignalTest, PostWakesAWaitingThreadWithTheCount)
{
    SignalWaiters waiter(signal, 1, 10.0);
    ASSERT_TRUE(waiter.AllWaiting(1));
    signal.Post();
    EXPECT_EQ(std::vector<int>{Signal::COUNT_TAKEN_OR_CANCELLED}, waiter.JoinAll());
    EXPECT_EQ(Signal::TIMED_OUT, signal.Wait(0.0));
}

TEST_F(SignalTest, CancelWakesEveryWaiterWithoutTakingACount)
{
    SignalWaiters waiters(signal, 3, 10.0);
    ASSERT_TRUE(waiters.AllWaiting(3));
    signal.Cancel();
    EXPECT_EQ(std::vector<int>(3, Signal::COUNT_TAKEN_OR_CANCELLED), waiters.JoinAll());
}

TEST_F(SignalTest, CancelStaysInForceOverAPendingCount)
{
    signal.Post();
    signal.Cancel();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(10.0));
    EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.WaitInfinite());
}

// Busy neighbours on other signals must not stretch a timed wait.
TEST_F(SignalTest, TimedWaitEndsByItsDeadlineWhileOthersAreNotified)
{
    Signal busy;
    std::atomic<bool> stop{false};
    std::vector<std::thread> neighbours;
    for (int i = 0; i < 2; ++i)
        neighbours.emplace_back([&] {
            for (int n = 0; n < 1000000 && !stop; ++n) {
                busy.Post();
                busy.Wait(0.01);
            }
        });
    const Clock::time_point start = Clock::now();
    const int result = signal.Wait(0.5);
    const double elapsed_s = SecondsSince(start);
    stop = true;
    for (std::thread& neighbour : neighbours)
        neighbour.join();
    EXPECT_EQ(Signal::TIMED_OUT, result);
    EXPECT_GE(elapsed_s, 0.5);
    EXPECT_LT(elapsed_s, 0.5 + 1.5);
}

// One waiter and one poster: each wait must take a count; a 0 or 1 would be
// a wake-up without a post.
TEST_F(SignalTest, EveryWakeUpOfASingleWaiterCarriesACount)
{
    constexpr int ROUNDS = 10000;
    Signal busy;
    std::atomic<bool> stop{false};
    std::thread load([&] {
        for (int n = 0; n < 10000000 && !stop; ++n) {
            busy.Post();
            busy.Wait(0.0);
        }
    });
    std::thread poster([&] {
        for (int i = 0; i < ROUNDS; ++i)
            signal.Post();
    });
    int taken = 0;
    for (int i = 0; i < ROUNDS; ++i)
        if (signal.Wait(10.0) == Signal::COUNT_TAKEN_OR_CANCELLED)
            ++taken;
    poster.join();
    stop = true;
    load.join();
    EXPECT_EQ(ROUNDS, taken);
    EXPECT_EQ(Signal::TIMED_OUT, signal.Wait(0.0));
}

// A timeout too large for 32-bit milliseconds, or for the clock, waits for
// the post instead of returning early.
class SignalHugeTimeoutTest : public ::testing::TestWithParam<double> {
protected:
    Signal signal;
};

TEST_P(SignalHugeTimeoutTest, WaitsForAPostThatComesLater)
{
    std::atomic<bool> waiting{false};
    std::thread poster([&] {
        TestSupport::WaitUntil([&] {
            ScopedLock hold(signal.GetMutex());
            return waiting.load();
        });
        Signal delay;
        delay.Wait(0.1);
        signal.Post();
    });
    int result = Signal::FAILED;
    {
        ScopedLock hold(signal.GetMutex());
        waiting = true;
        result = signal.Wait(GetParam());
    }
    poster.join();
    EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, result);
}

INSTANTIATE_TEST_SUITE_P(Timeouts, SignalHugeTimeoutTest,
                         ::testing::Values(4294967.296, 1e12, 1e13, 9.3e15, 1e300,
                                           std::numeric_limits<double>::infinity(),
                                           std::numeric_limits<double>::quiet_NaN()));

// A wait cannot free a doubly held mutex: it only takes a pending count.
TEST_F(SignalTest, WaitUnderADoubleHoldTakesAPendingCountOrAssertsAndFails)
{
    TestSupport::AssertionRecorder assertions;
    signal.Post();
    ScopedLock outer(signal.GetMutex());
    ScopedLock inner(signal.GetMutex());
    EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(10.0));
    EXPECT_EQ(0u, assertions.Count());
    EXPECT_EQ(Signal::FAILED, signal.Wait(10.0));
    EXPECT_EQ(1u, assertions.Count());
    EXPECT_EQ(2, signal.GetMutex().LockDepthOfCurrentThread());
}
