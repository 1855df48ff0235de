// Threading.h: recursive mutex, a condition variable that waits with it, and
// threads with a Windows-style priority.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace Platform {

// A re-entrant mutex that knows its holder and depth, so a condition wait can
// refuse a caller that would still hold it while waiting.
//
// Threads: any. Lock depth is touched only by the holder.
class RecursiveMutex {
public:
    RecursiveMutex() = default;
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;

    void Lock();
    // Asserts and does nothing when the calling thread does not hold it.
    void Unlock();

    bool IsLockedByCurrentThread() const;
    // Locks taken by the calling thread and not yet released; 0 for others.
    int LockDepthOfCurrentThread() const;

private:
    std::recursive_mutex mutex;
    std::atomic<std::thread::id> holder{};
    int depth = 0;  // guarded by mutex
};

enum class WaitResult { Woken, TimedOut, Failed };

// A condition whose notify wakes only threads that were already waiting when
// it was given; a waiter reports Woken only after it took such a wake-up.
// Timed waits end by their deadline, however often the condition is notified.
//
// Threads: any. Lock order: the caller's mutex before the internal one.
class ConditionVariable {
public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    // The caller holds `caller_mutex` exactly once; it is released while
    // waiting and held again on return. A deeper hold would keep notifiers
    // out for ever, so it asserts and fails. A negative timeout, or one
    // beyond what the clock can represent, waits without limit.
    WaitResult Wait(RecursiveMutex& caller_mutex, int64_t timeout_ms);
    void NotifyOne();
    void Broadcast();

private:
    bool HasWakeupFor(uint64_t waiter_generation) const;
    // Under state_mutex: counts a wake-up for every present waiter, or for
    // one; false when none waits that has not been woken.
    bool Release(bool all);

    // Waiters sleep on wake_word (FutexWord.h), not on a condition over a
    // mutex.
    std::mutex state_mutex;
    // Guarded by state_mutex.
    int64_t waiters = 0;      // threads inside Wait
    int64_t released = 0;     // wake-ups given and not yet taken
    uint64_t generation = 0;  // advanced by every notify that gave a wake-up
    // Changed only under state_mutex, read by sleepers without it.
    std::atomic<uint32_t> wake_word{0};
};

// Windows thread priorities: idle -15, lowest -2 .. highest 2, time-critical 15.
bool IsValidThreadPriority(int priority);

// One OS thread running entry(argument). The thread applies a priority given
// to Start itself, before entry runs; ApplyPriority reaches it wherever it is
// in its life. Priorities map onto the thread's nice value; a refusal (no
// privilege to raise it) leaves the thread as it was.
//
// Threads: Start, Join and the destructor from the owner's thread (the owner
// serialises them); ApplyPriority from any thread.
class Thread {
public:
    using Entry = void (*)(void* argument);

    Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // A thread never joined is detached, so its resources go when it ends.
    ~Thread();

    // False when a thread is already there or the OS refuses one.
    bool Start(Entry entry, void* argument, std::optional<int> priority);
    // Waits without limit; nothing happens when no thread was started.
    void Join();
    bool IsJoinable() const { return os_thread.joinable(); }

    // False for an invalid value or when the OS refuses the change. Before
    // the thread runs, the value is kept for it to apply.
    bool ApplyPriority(int priority);
    // The priority the running thread has now, nearest of the valid values;
    // nothing when it is not running or cannot be read.
    std::optional<int> CurrentPriority();

private:
    struct State;
    std::shared_ptr<State> state;
    std::thread os_thread;
};

// The calling thread's nice value.
int GetCurrentThreadNiceForTest();

}  // namespace Platform
