#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/SyncObjects.h"
#include "platform/Threading.h"
#include "support/WaitUntil.h"

using GenTLCore::MemFunThread;
using GenTLCore::Signal;
using GenTLCore::SimpleThread;

namespace {

// Its body says it began, waits (at most 10 s) for the gate, then notes the
// nice value it runs with.
class GatedThread : public SimpleThread {
public:
    Signal gate;
    std::atomic<bool> began{false};
    std::atomic<bool> finished{false};
    std::atomic<int> runs{0};
    std::atomic<int> nice_seen{INT_MIN};

protected:
    void Run() override
    {
        began = true;
        gate.Wait(10.0);
        nice_seen = Platform::GetCurrentThreadNiceForTest();
        ++runs;
        finished = true;
    }
};

class SimpleThreadTest : public ::testing::Test {
protected:
    GatedThread thread;
};

// Windows priority -> nice value the thread must run with.
constexpr int LOWEST = -2;
constexpr int LOWEST_NICE = 10;
constexpr int IDLE = -15;
constexpr int IDLE_NICE = 19;

}  // namespace

TEST_F(SimpleThreadTest, PrioritySetBeforeStartIsInForceWhenTheBodyBegins)
{
    ASSERT_TRUE(thread.SetPriority(0, LOWEST));
    thread.gate.Post();
    ASSERT_TRUE(thread.Start());
    thread.Join();
    EXPECT_EQ(LOWEST_NICE, thread.nice_seen);
}

TEST_F(SimpleThreadTest, PrioritySetWhileRunningIsAppliedAtOnce)
{
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return thread.began.load(); }));
    EXPECT_TRUE(thread.SetPriority(0, IDLE));
    thread.gate.Post();
    thread.Join();
    EXPECT_EQ(IDLE_NICE, thread.nice_seen);
}

TEST_F(SimpleThreadTest, ClearedPriorityIsNotAppliedAtTheNextStart)
{
    const int inherited_nice = Platform::GetCurrentThreadNiceForTest();
    ASSERT_NE(LOWEST_NICE, inherited_nice);
    ASSERT_TRUE(thread.SetPriority(0, LOWEST));
    thread.ClearPriority();
    thread.gate.Post();
    ASSERT_TRUE(thread.Start());
    thread.Join();
    EXPECT_EQ(inherited_nice, thread.nice_seen);
}

TEST_F(SimpleThreadTest, RunningThreadReportsPolicyZeroAndItsPriority)
{
    ASSERT_TRUE(thread.SetPriority(3, -1));
    ASSERT_TRUE(thread.Start());
    int policy = 7;
    int priority = 7;
    EXPECT_TRUE(thread.GetPriority(&policy, &priority));
    thread.gate.Post();
    thread.Join();
    EXPECT_EQ(0, policy);
    EXPECT_EQ(-1, priority);
}

// Started means until joined, even after the body returned.
TEST_F(SimpleThreadTest, StartingAgainBeforeTheJoinFailsAndAsserts)
{
    TestSupport::AssertionRecorder assertions;
    ASSERT_TRUE(thread.Start());
    EXPECT_FALSE(thread.Start());
    thread.gate.Post();
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return thread.finished.load(); }));
    EXPECT_FALSE(thread.Start());
    thread.Join();
    EXPECT_EQ(1, thread.runs);
    thread.gate.Post();
    EXPECT_TRUE(thread.Start());
    thread.Join();
    EXPECT_EQ(2, thread.runs);
    EXPECT_EQ(std::vector<std::string>(2, "!thread_started"), assertions.Failures());
}

TEST_F(SimpleThreadTest, JoiningAThreadNeverStartedAssertsAndReturns)
{
    TestSupport::AssertionRecorder assertions;
    thread.Join();
    EXPECT_EQ(std::vector<std::string>{"thread_started"}, assertions.Failures());
}

TEST(SimpleThreadLifetimeTest, DestroyingAThreadNotJoinedAsserts)
{
    TestSupport::AssertionRecorder assertions;
    auto thread = std::make_unique<GatedThread>();
    thread->gate.Post();
    ASSERT_TRUE(thread->Start());
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return thread->finished.load(); }));
    thread.reset();
    EXPECT_EQ(std::vector<std::string>{"!thread_started"}, assertions.Failures());
}

// Windows priority values are accepted; anything else, including the
// Windows error value 0x7FFFFFFF, is refused and changes nothing.
class ThreadPriorityValueTest : public ::testing::TestWithParam<std::pair<int, bool>> {
protected:
    GatedThread thread;
};

TEST_P(ThreadPriorityValueTest, IsAcceptedOnlyWhenAWindowsPriority)
{
    const auto [value, accepted] = GetParam();
    EXPECT_EQ(accepted, thread.SetPriority(1, value));
    int policy = -1;
    int priority = -1;
    ASSERT_TRUE(thread.GetPriority(&policy, &priority));
    EXPECT_EQ(accepted ? value : 0, priority);
    EXPECT_EQ(accepted ? 1 : 0, policy);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ThreadPriorityValueTest,
    ::testing::Values(std::pair(-15, true), std::pair(-2, true), std::pair(0, true),
                      std::pair(2, true), std::pair(15, true), std::pair(-16, false),
                      std::pair(-14, false), std::pair(-3, false), std::pair(3, false),
                      std::pair(14, false), std::pair(16, false), std::pair(0x7FFFFFFF, false),
                      std::pair(INT_MIN, false)));

namespace {

struct Counter {
    int calls = 0;
    void Count() { ++calls; }
};

}  // namespace

TEST(MemFunThreadTest, RunsTheMemberFunctionOnItsObject)
{
    Counter counter;
    MemFunThread by_pointer(&counter, &Counter::Count);
    MemFunThread by_reference(counter, &Counter::Count);
    ASSERT_TRUE(by_pointer.Start());
    by_pointer.Join();
    ASSERT_TRUE(by_reference.Start());
    by_reference.Join();
    EXPECT_EQ(2, counter.calls);
}
