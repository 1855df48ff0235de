#include "platform/Threading.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <system_error>

#include <sys/resource.h>
#include <unistd.h>

#include "platform/Assert.h"
#include "platform/FutexWord.h"

namespace Platform {

void RecursiveMutex::Lock()
{
    mutex.lock();
    ++depth;
    holder.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void RecursiveMutex::Unlock()
{
    if (!TL_ASSERT(IsLockedByCurrentThread()))
        return;
    if (--depth == 0)
        holder.store(std::thread::id(), std::memory_order_relaxed);
    mutex.unlock();
}

// Relaxed is enough: a thread only ever finds its own id there when it wrote
// it itself, and it always sees its own latest write.
bool RecursiveMutex::IsLockedByCurrentThread() const
{
    return holder.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

int RecursiveMutex::LockDepthOfCurrentThread() const
{
    // Only the holder reads depth, and it is the only one that changes it.
    return IsLockedByCurrentThread() ? depth : 0;
}

namespace {

using Clock = std::chrono::steady_clock;

// No deadline for a negative timeout, nor for one the clock cannot reach:
// a huge timeout must not wrap into a short one.
std::optional<Clock::time_point> DeadlineAfter(int64_t timeout_ms)
{
    if (timeout_ms < 0)
        return std::nullopt;
    const Clock::time_point now = Clock::now();
    const auto reachable = std::chrono::duration_cast<std::chrono::milliseconds>(
        Clock::time_point::max() - now);
    if (timeout_ms >= reachable.count())
        return std::nullopt;
    return now + std::chrono::milliseconds(timeout_ms);
}

}  // namespace

bool ConditionVariable::HasWakeupFor(uint64_t waiter_generation) const
{
    // A wake-up given before this waiter arrived left the generation where
    // the waiter found it, so such a wake-up belongs to earlier waiters.
    return released > 0 && generation != waiter_generation;
}

WaitResult ConditionVariable::Wait(RecursiveMutex& caller_mutex, int64_t timeout_ms)
{
    if (!TL_ASSERT(caller_mutex.LockDepthOfCurrentThread() == 1))
        return WaitResult::Failed;
    const std::optional<Clock::time_point> deadline = DeadlineAfter(timeout_ms);

    std::unique_lock<std::mutex> state(state_mutex);
    ++waiters;
    const uint64_t waiter_generation = generation;
    caller_mutex.Unlock();

    WaitResult result = WaitResult::Woken;
    for (;;) {
        if (HasWakeupFor(waiter_generation)) {
            --released;
            break;
        }
        if (deadline && Clock::now() >= *deadline) {
            result = WaitResult::TimedOut;
            break;
        }
        // Read under state_mutex, which every change of the word holds: a
        // notify after the unlock below finds this waiter counted, moves the
        // word, and so cannot be slept through.
        const uint32_t seen = wake_word.load(std::memory_order_relaxed);
        state.unlock();
        SleepOnWord(wake_word, seen, deadline);
        state.lock();
    }
    --waiters;
    state.unlock();
    caller_mutex.Lock();
    return result;
}

bool ConditionVariable::Release(bool all)
{
    if (waiters <= released)
        return false;
    released = all ? waiters : released + 1;
    ++generation;
    wake_word.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void ConditionVariable::NotifyOne()
{
    {
        std::lock_guard<std::mutex> state(state_mutex);
        if (!Release(false))
            return;
    }
    // Every waiter checks whether the wake-up is for it: waking only one could
    // pick a newcomer that may not take it.
    WakeWord(wake_word, INT_MAX);
}

void ConditionVariable::Broadcast()
{
    {
        std::lock_guard<std::mutex> state(state_mutex);
        if (!Release(true))
            return;
    }
    WakeWord(wake_word, INT_MAX);
}

namespace {

// Windows priority to nice value; the ends map to the ends of the nice range.
std::optional<int> NiceForPriority(int priority)
{
    switch (priority) {
        case -15: return 19;
        case -2: return 10;
        case -1: return 5;
        case 0: return 0;
        case 1: return -5;
        case 2: return -10;
        case 15: return -20;
        default: return std::nullopt;
    }
}

// Nice value back to the nearest Windows priority, so a value set from
// outside still reads as one of the priorities above.
int PriorityForNice(int nice)
{
    if (nice >= 15) return -15;
    if (nice >= 8) return -2;
    if (nice >= 3) return -1;
    if (nice >= -2) return 0;
    if (nice >= -7) return 1;
    if (nice >= -15) return 2;
    return 15;
}

// False when refused, missing privilege included: the thread then keeps its
// nice value, and a caller must not report the change as made.
bool SetNice(pid_t tid, int priority)
{
    const std::optional<int> nice = NiceForPriority(priority);
    return nice && ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), *nice) == 0;
}

std::optional<int> ReadPriority(pid_t tid)
{
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (nice == -1 && errno != 0)
        return std::nullopt;
    return PriorityForNice(nice);
}

}  // namespace

bool IsValidThreadPriority(int priority)
{
    return NiceForPriority(priority).has_value();
}

// Shared with the running thread, which may outlive a Thread that was never
// joined. The thread id may only be used while the thread is Running: after
// that the id can belong to another thread.
struct Thread::State {
    enum class Phase { Starting, Running, Finished };

    std::mutex mutex;
    // Guarded by mutex.
    Phase phase = Phase::Starting;
    pid_t tid = 0;
    std::optional<int> priority;  // applied by the thread when it begins

    static void Body(const std::shared_ptr<State>& state, Entry entry, void* argument)
    {
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->tid = ::gettid();
            state->phase = Phase::Running;
            if (state->priority)
                SetNice(state->tid, *state->priority);
        }
        entry(argument);
        std::lock_guard<std::mutex> lock(state->mutex);
        state->phase = Phase::Finished;
    }
};

Thread::Thread() : state(std::make_shared<State>()) {}

Thread::~Thread()
{
    if (os_thread.joinable())
        os_thread.detach();
}

bool Thread::Start(Entry entry, void* argument, std::optional<int> priority)
{
    if (os_thread.joinable())
        return false;
    auto fresh = std::make_shared<State>();
    fresh->priority = priority;
    try {
        os_thread = std::thread(&State::Body, fresh, entry, argument);
    } catch (const std::system_error&) {
        return false;
    }
    state = fresh;
    return true;
}

void Thread::Join()
{
    if (os_thread.joinable())
        os_thread.join();
}

bool Thread::ApplyPriority(int priority)
{
    if (!IsValidThreadPriority(priority))
        return false;
    std::lock_guard<std::mutex> lock(state->mutex);
    switch (state->phase) {
        case State::Phase::Starting:
            state->priority = priority;
            return true;
        case State::Phase::Running:
            return SetNice(state->tid, priority);
        case State::Phase::Finished:
            return true;
    }
    return false;
}

std::optional<int> Thread::CurrentPriority()
{
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->phase != State::Phase::Running)
        return std::nullopt;
    return ReadPriority(state->tid);
}

int GetCurrentThreadNiceForTest()
{
    errno = 0;
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
}

}  // namespace Platform
