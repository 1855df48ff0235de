#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/ThreadLocal.h"
#include "support/WaitUntil.h"

namespace {

std::atomic<int> exit_calls{0};
std::atomic<void*> last_exit_value{nullptr};

void CountExit(void* value)
{
    last_exit_value = value;
    ++exit_calls;
}

// ThreadLocal: one slot per thread, handed to the callback when a thread ends.
class ThreadLocalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        exit_calls = 0;
        last_exit_value = nullptr;
    }
    Platform::ThreadLocal slot{&CountExit};
    int marker = 0;
};

TEST_F(ThreadLocalTest, EachThreadSeesOnlyItsOwnValue)
{
    ASSERT_TRUE(slot.IsValid());
    ASSERT_TRUE(slot.Set(&marker));
    void* seen_by_other = &marker;
    std::thread other([&] { seen_by_other = slot.Get(); });
    other.join();
    EXPECT_EQ(nullptr, seen_by_other);
    EXPECT_EQ(&marker, slot.Get());
    slot.Set(nullptr);
}

TEST_F(ThreadLocalTest, EndingThreadHandsItsValueToTheCallback)
{
    std::thread other([&] { slot.Set(&marker); });
    other.join();
    EXPECT_EQ(1, exit_calls.load());
    EXPECT_EQ(&marker, last_exit_value.load());
}

TEST_F(ThreadLocalTest, ThreadWithoutValueCallsNothing)
{
    std::thread other([&] {
        slot.Set(&marker);
        slot.Set(nullptr);
    });
    other.join();
    EXPECT_EQ(0, exit_calls.load());
}

TEST_F(ThreadLocalTest, DeletedKeyCallsNothingAndRefusesValues)
{
    std::atomic<bool> value_set{false};
    std::atomic<bool> may_end{false};
    std::thread other([&] {
        slot.Set(&marker);
        value_set = true;
        TestSupport::WaitUntil([&] { return may_end.load(); });
    });
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return value_set.load(); }));
    slot.DeleteKey();
    may_end = true;
    other.join();
    EXPECT_EQ(0, exit_calls.load());
    EXPECT_FALSE(slot.IsValid());
    EXPECT_FALSE(slot.Set(&marker));
    EXPECT_EQ(nullptr, slot.Get());
}

}  // namespace
