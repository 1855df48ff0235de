#include "platform/Win32Event.h"

#include <chrono>
#include <climits>
#include <optional>

#include "platform/FutexWord.h"

namespace Platform {
namespace {
// Beyond this a deadline would overflow the clock; such waits are for ever in practice.
constexpr uint64_t LONGEST_FINITE_WAIT_MS = uint64_t{1} << 40;
}  // namespace

Win32Event::Win32Event(bool manual_reset_event, bool initially_signalled)
    : manual_reset(manual_reset_event), signalled(initially_signalled)
{
}

void Win32Event::Set()
{
    // Wake under the lock: a released waiter may destroy the event at once.
    std::lock_guard<std::mutex> lock(mutex);
    signalled = true;
    if (ReleaseSleepers())
        Wake();
}

void Win32Event::SetThenWake()
{
    bool sleeping = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        signalled = true;
        sleeping = ReleaseSleepers();
    }
    if (sleeping)
        Wake();
}

bool Win32Event::ReleaseSleepers()
{
    if (sleepers <= waking)
        return false;
    waking = manual_reset ? sleepers : waking + 1;
    wake_word.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void Win32Event::Wake()
{
    WakeWord(wake_word, manual_reset ? INT_MAX : 1);
}

void Win32Event::Reset()
{
    std::lock_guard<std::mutex> lock(mutex);
    signalled = false;
}

uint32_t Win32Event::Wait(uint64_t timeout_ms)
{
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> deadline;
    if (timeout_ms != INFINITE_32 && timeout_ms != INFINITE_64 &&
        timeout_ms < LONGEST_FINITE_WAIT_MS)
        deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::unique_lock<std::mutex> lock(mutex);
    while (!signalled) {
        if (deadline && Clock::now() >= *deadline)
            return WAIT_TIMED_OUT;
        // Read under the lock a setter moves it under: no set is slept through.
        const uint32_t seen = wake_word.load(std::memory_order_relaxed);
        ++sleepers;
        lock.unlock();
        SleepOnWord(wake_word, seen, deadline);
        lock.lock();
        // Back for whatever reason: one wake-up fewer to wait for. A wake-up
        // that went to another sleeper brings that one back too, so waking
        // never stays above the sleepers still to wake.
        --sleepers;
        if (waking > 0)
            --waking;
    }
    if (!manual_reset)
        signalled = false;
    return WAIT_SIGNALLED;
}

}  // namespace Platform
