// The framework's concurrency building blocks: Condition, Signal,
// SimpleThread, GlobalLock and SharedPtr. Wake-ups,
// deadlines, misuse that must fail rather than hang, thread priorities, and
// each shared object deleted once, by its last share.
#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <random>
#include <thread>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/SyncObjects.h"
#include "support/WaitUntil.h"

namespace {

using namespace GenTLCore;
using Strings = std::vector<std::string>;
using TestSupport::WaitUntil;

// A wait that cannot free the mutex would keep every notifier out for ever;
// a signal's wait then only takes a pending count. Only the holder unlocks,
// and a process takes its global lock once (test processes run side by
// side: a name of their own). Each post lets one wait through, a cancel all.
TEST(SignalTest, MisuseFailsRatherThanHangsAndEachPostLetsOneWaitThrough)
{
    TestSupport::AssertionRecorder assertions;
    Mutex mutex;
    EXPECT_EQ(WaitResult::Failed, Condition().Wait(mutex, 10.0));
    mutex.Unlock();
    GlobalLock lock{"GenTesk3d.test." + std::to_string(std::random_device()())};
    ASSERT_TRUE(lock.Acquire());
    EXPECT_FALSE(lock.Acquire());
    EXPECT_EQ("Global lock applied twice within the same process", assertions.Failures().at(2));
    Signal signal;
    signal.Post();
    {
        ScopedLock outer(signal.GetMutex()), inner(signal.GetMutex());
        EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(10.0));
        EXPECT_EQ(Signal::FAILED, signal.Wait(10.0));
    }
    EXPECT_EQ(4u, assertions.Count());
    EXPECT_EQ(Signal::TIMED_OUT, signal.Wait(0.05));
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

// One waiter and one poster, beside a busy thread: a wake-up without a post
// would end a wait early.
TEST(SignalTest, EveryWakeUpOfASingleWaiterCarriesACount)
{
    constexpr int ROUNDS = 10000;
    Signal signal, busy;
    int taken = 0;
    {
        std::jthread load([&](std::stop_token stop) {
            for (int n = 0; n < 10000000 && !stop.stop_requested(); ++n) busy.Post(), busy.Wait(0);
        });
        std::jthread poster([&] {
            for (int i = 0; i < ROUNDS; ++i) signal.Post();
        });
        for (int i = 0; i < ROUNDS; ++i)
            taken += signal.Wait(10.0) == Signal::COUNT_TAKEN_OR_CANCELLED;
    }
    EXPECT_EQ(ROUNDS, taken);
}

// A timeout too large for 32-bit milliseconds, or for the clock, waits for
// the post instead of wrapping into a short wait.
TEST(SignalTest, HugeTimeoutWaitsForAPostThatComesLater)
{
    for (const double timeout_s : {4294967.296, 1e13, 9.3e15, 1e300,
                                   std::numeric_limits<double>::infinity(), std::nan("")}) {
        Signal signal;
        ScopedLock hold(signal.GetMutex());
        std::jthread poster([&] { Signal().Wait(0.1), signal.Post(); });
        EXPECT_EQ(Signal::COUNT_TAKEN_OR_CANCELLED, signal.Wait(timeout_s)) << timeout_s;
    }
}

// Its body says it began, waits (at most 10 s) for the gate, then notes the
// nice value it runs with.
struct GatedBody {
    // clang-format off
    void Run() { began = true, gate.Wait(10.0), nice_seen = Platform::GetCurrentThreadNiceForTest(), ++runs; }
    // clang-format on
    Signal gate;
    std::atomic<bool> began{false};
    std::atomic<int> runs{0}, nice_seen{-100};
};

// Windows priorities -2 and -15 run with nice values 10 and 19; anything
// but a Windows value, such as its error value 0x7FFFFFFF, is refused.
// Started means until joined, even after the body returned; a thread
// destroyed unjoined asserts.
TEST(SimpleThreadTest, PriorityIsInForceWhenSetBeforeStartOrWhileRunningAndNotOnceCleared)
{
    TestSupport::AssertionRecorder assertions;
    GatedBody body;
    auto thread = std::make_unique<MemFunThread>(body, &GatedBody::Run);
    thread->Join();
    int policy = 7, priority = 7;
    for (const int refused : {-16, -3, 3, 14, 0x7FFFFFFF})
        EXPECT_FALSE(thread->SetPriority(2, refused));
    for (const int accepted : {-15, 0, 15, -2}) EXPECT_TRUE(thread->SetPriority(2, accepted));
    ASSERT_TRUE(thread->GetPriority(&policy, &priority));
    EXPECT_EQ(std::make_pair(2, -2), std::make_pair(policy, priority));
    body.gate.Post();
    ASSERT_TRUE(thread->Start());
    ASSERT_TRUE(WaitUntil([&] { return body.runs.load() == 1; }));
    EXPECT_FALSE(thread->Start());
    thread->Join();
    EXPECT_EQ(10, body.nice_seen);
    ASSERT_TRUE(thread->Start());
    ASSERT_TRUE(WaitUntil([&] { return body.began.load(); }));
    EXPECT_TRUE(thread->SetPriority(3, -15));
    EXPECT_TRUE(thread->GetPriority(&policy, &priority));
    EXPECT_EQ(std::make_pair(0, -15), std::make_pair(policy, priority));
    body.gate.Post();
    thread->Join();
    EXPECT_EQ(19, body.nice_seen);
    thread->ClearPriority();
    body.gate.Post();
    ASSERT_TRUE(thread->Start());
    ASSERT_TRUE(WaitUntil([&] { return body.runs.load() == 3; }));
    EXPECT_EQ(Platform::GetCurrentThreadNiceForTest(), body.nice_seen);
    thread.reset();
    EXPECT_EQ(Strings({"thread_started", "!thread_started", "!thread_started"}),
              assertions.Failures());
}

// clang-format off
struct Base { virtual ~Base() = default; };
struct Unrelated : Base {};
struct Tracked : Base { static inline std::atomic<int> destroyed{0}; ~Tracked() override { ++destroyed; } };
// clang-format on

// Byte blocks come from malloc: the sanitizer build catches a mismatched
// delete. Copies taken and dropped on many threads keep an exact count.
TEST(SharedPtrTest, EachObjectIsReleasedOnceAtItsLastShareAlsoAcrossThreads)
{
    TestSupport::AssertionRecorder assertions;
    EXPECT_EQ(nullptr, SharedPtr<Tracked>().operator->());
    EXPECT_EQ(Strings{"pointer != NULL"}, assertions.Failures());
    SharedPtr<Tracked> first(new Tracked), second(first);
    SharedPtr<Tracked>& same = first;
    first = same;
    first.Reset(new Tracked);  // releases only its share of the old object
    EXPECT_EQ(0, Tracked::destroyed);
    first = second;  // the object Reset gave it is now unowned
    EXPECT_EQ(1, Tracked::destroyed);
    SharedPtr<Base> base(new Tracked);
    EXPECT_FALSE(base.DynamicCast<Unrelated>() || SharedPtr<Base>().DynamicCast<Tracked>());
    SharedPtr<Tracked> cast = base.DynamicCast<Tracked>();
    first.Reset(), base.Reset();
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < 8; ++t)
            workers.emplace_back([copy = second] {
                for (int i = 0; i < 20000; ++i) SharedPtr<Tracked>() = SharedPtr<Tracked>(copy);
            });
    }
    EXPECT_EQ(1, second.UseCount());
    second.Reset();
    EXPECT_EQ(2, Tracked::destroyed);
    cast.Reset();
    EXPECT_EQ(3, Tracked::destroyed);
    SharedPtr<unsigned char>(static_cast<unsigned char*>(std::malloc(64))).Get()[63] = 1;
}

}  // namespace
