// Platform services: 32-bit numbers as read from the environment, whole
// debug-output lines, the endless wait, the event's timed wait and wake after
// its lock, the thread's one-start rule, the thread-local slot and the named
// lock across processes. Condition waits and priorities are tested through
// gentl_core's wrappers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/AppData.h"
#include "platform/DebugOutput.h"
#include "platform/Environment.h"
#include "platform/NamedLock.h"
#include "platform/ThreadLocal.h"
#include "platform/Threading.h"
#include "platform/Win32Event.h"

namespace {

// Hand-worked results of a 32-bit strtoul(text, nullptr, 0).
TEST(EnvironmentTest, ParseULong32ReadsAs32BitStrtoulBase0)
{
    // clang-format off
    const std::pair<const char*, uint32_t> cases[] = {
        {"010", 8}, {"0x10", 16}, {"0X1f", 31}, {"0xFFFFFFFF", 0xFFFFFFFFu}, {"+7", 7},
        {"4294967294", 0xFFFFFFFEu}, {"4294967296", 0xFFFFFFFFu}, {"040000000000", 0xFFFFFFFFu},
        {"99999999999999999999", 0xFFFFFFFFu}, {"-2", 0xFFFFFFFEu}, {"-4294967295", 1},
        {"-4294967296", 0xFFFFFFFFu}, {"  \t\n12", 12}, {"12abc", 12}, {"abc", 0}, {"", 0},
        {"-", 0}, {"0x", 0}, {"0xg", 0}, {"08", 0}, {"019", 1}, {"- 1", 0}, {nullptr, 0}};
    // clang-format on
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expected, Platform::ParseULong32(text)) << (text ? text : "(null)");
}

// The first of APPDATA and XDG_CONFIG_HOME that is set and not empty, else
// ~/.config; the process environment is restored after.
TEST(EnvironmentTest, AppDataDirFallsBackFromAppDataToXdgToHome)
{
    const char* const NAMES[] = {"APPDATA", "XDG_CONFIG_HOME", "HOME"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i) saved[i] = Platform::GetEnvironmentVariable(NAMES[i]);
    const struct {
        const char* values[3];  // null: unset
        const char* expected;
    } rows[] = {{{"/a", "/x", "/h"}, "/a"},
                {{"", "/x", "/h"}, "/x"},
                {{nullptr, "", "/h"}, "/h/.config"},
                {{nullptr, nullptr, ""}, ""}};
    for (const auto& row : rows) {
        for (int i = 0; i < 3; ++i)
            row.values[i] ? ::setenv(NAMES[i], row.values[i], 1) : ::unsetenv(NAMES[i]);
        EXPECT_EQ(row.expected, Platform::AppDataDir()) << row.expected;
    }
    for (int i = 0; i < 3; ++i)
        saved[i] ? ::setenv(NAMES[i], saved[i]->c_str(), 1) : ::unsetenv(NAMES[i]);
}

// Whole lines on stderr, however many threads write, and the unterminated
// tail of a call ended; long lines make a split, if there were one, likely.
TEST(DebugOutputTest, ConcurrentWritersNeverSplitALineAndEndAnUnterminatedTail)
{
    constexpr int THREADS = 4;
    constexpr int LINES = 300;
    const std::string filler(200, '.');
    Platform::SetDebugOutputToStderr(true);
    ::testing::internal::CaptureStderr();
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < THREADS; ++t)
            writers.emplace_back([t, &filler] {
                // Odd threads write two lines a call, the second without its newline.
                const std::string line = "<" + std::to_string(t) + filler + ">\n";
                const std::string text = t % 2 ? line + line.substr(0, line.size() - 1) : line;
                for (int i = 0; i < LINES; i += 1 + t % 2) Platform::WriteDebugOutput(text);
            });
    }
    Platform::SetDebugOutputToStderr(false);
    std::istringstream output(::testing::internal::GetCapturedStderr());
    std::vector<int> counts(THREADS, 0);
    for (std::string line; std::getline(output, line);) {
        ASSERT_EQ("<" + line.substr(1, 1) + filler + ">", line);
        ++counts.at(static_cast<size_t>(line[1] - '0'));
    }
    EXPECT_EQ(std::vector<int>(THREADS, LINES), counts);
}

// The largest timeouts cannot be added to the clock: they wait without limit
// rather than wrapping into the past.
TEST(ThreadingTest, LargestTimeoutWaitsForTheNotify)
{
    Platform::RecursiveMutex mutex;
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

// Waking after the lock keeps the reset kinds: one waiter of an auto-reset
// event per set, every waiter of a manual one.
TEST(Win32EventTest, SetThenWakeReleasesAsManyWaitersAsSet)
{
    for (const bool manual : {false, true}) {
        Platform::Win32Event event(manual, false);
        std::atomic<int> released{0};
        const auto wait = [&] {
            released += event.Wait(10000) == Platform::Win32Event::WAIT_SIGNALLED;
        };
        std::jthread first(wait), second(wait);
        event.SetThenWake();
        if (!manual) {
            for (int i = 0; i < 5000 && released.load() == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            EXPECT_EQ(1, released.load());
            event.SetThenWake();
        }
        first.join();
        second.join();
        EXPECT_EQ(2, released.load()) << "manual reset: " << manual;
        EXPECT_EQ(manual ? 0u : Platform::Win32Event::WAIT_TIMED_OUT, event.Wait(0));
    }
}

// A timed wait on an unset event ends at its deadline, not before; a set
// from another thread (under the lock, then after it) ends a long one.
TEST(Win32EventTest, TimedWaitEndsAtItsDeadlineOrAtASet)
{
    using Clock = std::chrono::steady_clock;
    Platform::Win32Event event(false, false);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Platform::Win32Event::WAIT_TIMED_OUT, event.Wait(30));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
    for (const bool after_lock : {false, true}) {
        std::jthread setter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            after_lock ? event.SetThenWake() : event.Set();
        });
        EXPECT_EQ(Platform::Win32Event::WAIT_SIGNALLED, event.Wait(60000)) << after_lock;
    }
}

// A priority given before the thread runs is kept for it; a deleted key
// stores nothing and answers nothing.
TEST(ThreadingTest, ThreadStartsOnceUntilJoinedAndADeletedSlotRefusesValues)
{
    std::atomic<int> calls{0};
    const Platform::Thread::Entry count_call = [](void* c) {
        ++*static_cast<std::atomic<int>*>(c);
    };
    Platform::Thread thread;
    thread.Join();
    EXPECT_FALSE(thread.ApplyPriority(3));
    EXPECT_TRUE(thread.ApplyPriority(-1));
    ASSERT_TRUE(thread.Start(count_call, &calls, std::nullopt));
    EXPECT_FALSE(thread.Start(count_call, &calls, std::nullopt));
    thread.Join();
    EXPECT_FALSE(thread.IsJoinable());
    EXPECT_TRUE(thread.ApplyPriority(-1));
    EXPECT_FALSE(thread.CurrentPriority());
    ASSERT_TRUE(thread.Start(count_call, &calls, -1));
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
    if (pid == 0) ::_exit(Platform::NamedLock().TryAcquire(name) ? 0 : 1);
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
    Platform::NamedLock first;
    EXPECT_FALSE(first.TryAcquire(""));
    EXPECT_FALSE(first.TryAcquire(longest + "y"));
    EXPECT_TRUE(first.TryAcquire(longest));
    EXPECT_FALSE(first.TryAcquire(name));
    EXPECT_FALSE(ChildTakes(longest));
    first.Release();
    EXPECT_TRUE(ChildTakes(longest));
}

}  // namespace
