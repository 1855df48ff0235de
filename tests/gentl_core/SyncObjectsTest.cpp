// Condition, Signal, SimpleThread and GlobalLock: wake-ups, deadlines,
// misuse that must fail rather than hang, and thread priorities.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/SyncObjects.h"
#include "support/WaitUntil.h"

namespace {

using GenTLCore::Condition;
using GenTLCore::Mutex;
using GenTLCore::ScopedLock;
using GenTLCore::Signal;
using GenTLCore::WaitResult;
using TestSupport::WaitUntil;
using Clock = std::chrono::steady_clock;

// Runs `step` over and over (at most ten million times) on `threads` threads
// while it lives, to keep the machine busy around a wait.
class Load {
public:
    template <class Step>
    Load(int threads, Step step)
    {
        for (int i = 0; i < threads; ++i)
            workers.emplace_back([this, step] {
                for (int n = 0; n < 10000000 && !stop; ++n) step();
            });
    }
    ~Load()
    {
        stop = true;
        for (std::thread& worker : workers) worker.join();
    }

private:
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
};

// Threads waiting on one condition. Each counts itself under the mutex, which
// only its wait frees, so a count seen under the mutex means it is inside.
struct Waiters {
    ~Waiters() { Join(); }
    bool Start(int count, double timeout_s)
    {
        started += count;
        for (int i = 0; i < count; ++i)
            threads.emplace_back([this, timeout_s] {
                ScopedLock hold(mutex);
                ++waiting;
                results.push_back(condition.Wait(mutex, timeout_s));
            });
        return WaitUntil([&] {
            ScopedLock hold(mutex);
            return waiting == started;
        });
    }
    std::vector<WaitResult> Join()
    {
        for (std::thread& thread : threads) thread.join();
        threads.clear();
        std::sort(results.begin(), results.end());
        return std::exchange(results, {});
    }

    Mutex mutex;
    Condition condition;
    std::vector<std::thread> threads;
    int started = 0;
    int waiting = 0;                  // guarded by mutex
    std::vector<WaitResult> results;  // guarded by mutex
};

// The main thread starts waiting after the notify: it belongs to the threads
// that were waiting when it was given, and so does a broadcast.
TEST(ConditionTest, NotifyWakesOnlyThreadsAlreadyWaitingOneOrAll)
{
    Waiters waiters;
    waiters.condition.Broadcast();
    ASSERT_TRUE(waiters.Start(2, 0.5));
    {
        ScopedLock hold(waiters.mutex);
        waiters.condition.NotifyOne();
        EXPECT_EQ(WaitResult::TimedOut, waiters.condition.Wait(waiters.mutex, 0.2));
    }
    EXPECT_EQ((std::vector<WaitResult>{WaitResult::Woken, WaitResult::TimedOut}), waiters.Join());
    ASSERT_TRUE(waiters.Start(3, 10.0));
    waiters.condition.Broadcast();
    EXPECT_EQ(std::vector<WaitResult>(3, WaitResult::Woken), waiters.Join());
}

// Repeated wake-ups taken by other waiters must not stretch a timed wait.
TEST(ConditionTest, TimedWaitEndsByItsDeadlineUnderAStreamOfNotifies)
{
    Waiters own;
    Load others(4, [&] {
        ScopedLock hold(own.mutex);
        own.condition.Wait(own.mutex, 0.05);
    });
    Load notifier(1, [&] { own.condition.NotifyOne(); });
    const Clock::time_point start = Clock::now();
    ScopedLock hold(own.mutex);
    EXPECT_NE(WaitResult::Failed, own.condition.Wait(own.mutex, 0.5));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
}

// Nobody notifies this condition: every wait must time out, however busy the
// machine is with another one.
TEST(ConditionTest, WaitsWithoutANotifyNeverReportWoken)
{
    Waiters idle;
    Waiters busy;
    int woken = 0;
    {
        Load load(1, [&] {
            busy.condition.NotifyOne();
            ScopedLock hold(busy.mutex);
            busy.condition.Wait(busy.mutex, 0.0);
        });
        for (int i = 0; i < 10000; ++i) {
            ScopedLock hold(idle.mutex);
            if (idle.condition.Wait(idle.mutex, 0.0) != WaitResult::TimedOut) ++woken;
        }
    }
    EXPECT_EQ(0, woken);
}

// A wait that cannot free the mutex would keep every notifier out for ever.
// A signal's wait then only takes a pending count.
TEST(ConditionTest, WaitWithoutHoldingTheMutexExactlyOnceAssertsAndFails)
{
    TestSupport::AssertionRecorder assertions;
    Mutex mutex;
    Condition condition;
    EXPECT_EQ(WaitResult::Failed, condition.Wait(mutex, 10.0));
    Signal signal;
    signal.Post();
    ScopedLock outer(signal.GetMutex());
    ScopedLock inner(signal.GetMutex());
    EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(10.0));
    EXPECT_EQ(1u, assertions.Count());
    EXPECT_EQ(Signal::FAILED, signal.Wait(10.0));
    EXPECT_EQ(2u, assertions.Count());
}

TEST(SignalTest, EachPostLetsOneWaitThroughAndCancelLetsAllThrough)
{
    Signal signal;
    signal.Post();
    signal.Post();
    EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(0.0));
    EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(0.0));
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Signal::TIMED_OUT, signal.Wait(0.3));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    std::atomic<int> passed{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            // A wake-up whose count a newcomer took first ends a wait without one.
            int result = Signal::WOKEN_WITHOUT_COUNT;
            while (result == Signal::WOKEN_WITHOUT_COUNT) result = signal.WaitInfinite();
            passed += result == Signal::COUNT_TAKEN_OR_CANCELLED;
        });
    signal.Post();
    EXPECT_TRUE(WaitUntil([&] { return passed.load() == 1; }));
    signal.Cancel();
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(3, passed.load());
    EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(10.0));
}

// One waiter and one poster: each wake-up must take a count; a wake-up
// without a post would end a wait early.
TEST(SignalTest, EveryWakeUpOfASingleWaiterCarriesACount)
{
    constexpr int ROUNDS = 10000;
    Signal signal;
    Signal busy;
    int taken = 0;
    {
        Load load(1, [&] { busy.Post(), busy.Wait(0.0); });
        std::thread poster([&] {
            for (int i = 0; i < ROUNDS; ++i) signal.Post();
        });
        for (int i = 0; i < ROUNDS; ++i)
            taken += signal.Wait(10.0) == Signal::COUNT_TAKEN_OR_CANCELLED;
        poster.join();
    }
    EXPECT_EQ(ROUNDS, taken);
    EXPECT_EQ(Signal::TIMED_OUT, signal.Wait(0.0));
}

// A timeout too large for 32-bit milliseconds, or for the clock, waits for
// the post instead of wrapping into a short wait.
TEST(SignalTest, HugeTimeoutWaitsForAPostThatComesLater)
{
    for (const double timeout_s :
         {4294967.296, 1e13, 9.3e15, 1e300, std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()}) {
        Signal signal;
        std::atomic<bool> waiting{false};
        std::thread poster([&] {
            WaitUntil([&] {
                ScopedLock hold(signal.GetMutex());
                return waiting.load();
            });
            Signal().Wait(0.1);
            signal.Post();
        });
        int result = Signal::FAILED;
        {
            ScopedLock hold(signal.GetMutex());
            waiting = true;
            result = signal.Wait(timeout_s);
        }
        poster.join();
        EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, result) << timeout_s;
    }
}

// Its body says it began, waits (at most 10 s) for the gate, then notes the
// nice value it runs with.
struct GatedBody {
    void Run()
    {
        began = true;
        gate.Wait(10.0);
        nice_seen = Platform::GetCurrentThreadNiceForTest();
        ++runs;
    }
    Signal gate;
    std::atomic<bool> began{false};
    std::atomic<int> runs{0};
    std::atomic<int> nice_seen{-100};
};

// Windows priorities -2 and -15 run with nice values 10 and 19.
TEST(SimpleThreadTest, PriorityIsInForceWhenSetBeforeStartOrWhileRunningAndNotOnceCleared)
{
    GatedBody body;
    GenTLCore::MemFunThread thread(body, &GatedBody::Run);
    ASSERT_TRUE(thread.SetPriority(0, -2));
    body.gate.Post();
    ASSERT_TRUE(thread.Start());
    thread.Join();
    EXPECT_EQ(10, body.nice_seen);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&] { return body.began.load(); }));
    EXPECT_TRUE(thread.SetPriority(3, -15));
    int policy = 7;
    int priority = 7;
    EXPECT_TRUE(thread.GetPriority(&policy, &priority));
    EXPECT_EQ(0, policy);
    EXPECT_EQ(-15, priority);
    body.gate.Post();
    thread.Join();
    EXPECT_EQ(19, body.nice_seen);
    thread.ClearPriority();
    body.gate.Post();
    ASSERT_TRUE(thread.Start());
    thread.Join();
    EXPECT_EQ(Platform::GetCurrentThreadNiceForTest(), body.nice_seen);
}

// Anything else, including the Windows error value 0x7FFFFFFF, is refused
// and changes nothing.
TEST(SimpleThreadTest, OnlyWindowsPriorityValuesAreAccepted)
{
    GatedBody body;
    GenTLCore::MemFunThread thread(&body, &GatedBody::Run);
    const std::pair<int, bool> cases[] = {
        {-15, true}, {-2, true},  {-1, true},   {0, true},          {1, true},
        {2, true},   {15, true},  {-16, false}, {-14, false},       {-3, false},
        {3, false},  {14, false}, {16, false},  {0x7FFFFFFF, false}};
    for (const auto& [value, accepted] : cases) {
        ASSERT_TRUE(thread.SetPriority(0, 1));
        EXPECT_EQ(accepted, thread.SetPriority(2, value)) << value;
        int policy = -1;
        int priority = -1;
        ASSERT_TRUE(thread.GetPriority(&policy, &priority));
        EXPECT_EQ(accepted ? value : 1, priority) << value;
        EXPECT_EQ(accepted ? 2 : 0, policy) << value;
    }
}

// Started means until joined, even after the body returned.
TEST(SimpleThreadTest, StartTwiceJoinWithoutStartAndDestroyWithoutJoinAssert)
{
    TestSupport::AssertionRecorder assertions;
    GatedBody body;
    auto thread = std::make_unique<GenTLCore::MemFunThread>(body, &GatedBody::Run);
    thread->Join();
    ASSERT_TRUE(thread->Start());
    EXPECT_FALSE(thread->Start());
    body.gate.Post();
    ASSERT_TRUE(WaitUntil([&] { return body.runs.load() == 1; }));
    EXPECT_FALSE(thread->Start());
    thread->Join();
    body.gate.Post();
    ASSERT_TRUE(thread->Start());
    ASSERT_TRUE(WaitUntil([&] { return body.runs.load() == 2; }));
    thread.reset();
    EXPECT_EQ(std::vector<std::string>(
                  {"thread_started", "!thread_started", "!thread_started", "!thread_started"}),
              assertions.Failures());
}

TEST(GlobalLockTest, NameIsHeldByOneLockUntilReleasedOrDestroyed)
{
    // Test processes run side by side: a name of its own.
    const std::string name = "GenTesk3d.test." + std::to_string(std::random_device()());
    GenTLCore::GlobalLock first{name};
    GenTLCore::GlobalLock second{name};
    TestSupport::AssertionRecorder assertions;
    {
        GenTLCore::GlobalLock holder(name);
        ASSERT_TRUE(holder.Acquire());
        EXPECT_FALSE(first.Acquire());
    }
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(second.Acquire());
    EXPECT_EQ(0u, assertions.Count());
    EXPECT_FALSE(first.Acquire());
    EXPECT_EQ(std::vector<std::string>{"Global lock applied twice within the same process"},
              assertions.Failures());
    first.Release();
    EXPECT_TRUE(second.Acquire());
}

}  // namespace
