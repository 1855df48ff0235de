// Win32Event.h: the manual- and auto-reset events the sensor library waits
// on, with the results of the Windows wait they replace.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace Platform {

// An event: signalled or not. A manual-reset event releases every waiter and
// stays signalled until Reset; an auto-reset event releases exactly one
// waiter and is unsignalled again by that release.
//
// Threads: any; every member is thread-safe. The object must outlive every
// call on it.
class Win32Event {
public:
    static constexpr uint32_t WAIT_SIGNALLED = 0;
    static constexpr uint32_t WAIT_TIMED_OUT = 258;
    // Either of these waits without limit.
    static constexpr uint64_t INFINITE_32 = 0xFFFFFFFFu;
    static constexpr uint64_t INFINITE_64 = ~uint64_t{0};

    Win32Event(bool manual_reset, bool initially_signalled);
    Win32Event(const Win32Event&) = delete;
    Win32Event& operator=(const Win32Event&) = delete;

    void Set();
    // Set, waking a waiter only after the lock is released, so it does not
    // wake into a lock its setter still holds. Only for an event that
    // outlives the call whatever its waiters do.
    void SetThenWake();
    void Reset();
    // WAIT_SIGNALLED, or WAIT_TIMED_OUT once timeout_ms have passed. A
    // timeout of 0 only tests the state.
    uint32_t Wait(uint64_t timeout_ms);

    bool IsManualReset() const { return manual_reset; }

private:
    // Under mutex: true, with wake_word moved on, when a waiter sleeps that
    // no earlier wake-up reached yet.
    bool ReleaseSleepers();
    // Every waiter of a manual-reset event, one of an auto-reset event.
    void Wake();

    const bool manual_reset;
    std::mutex mutex;
    // Guarded by mutex.
    bool signalled;
    int32_t sleepers = 0;  // waiters between reading wake_word and waking
    // Wake-ups given to sleepers not yet back; without it every set until
    // a woken reader runs again would wake nobody with a system call.
    int32_t waking = 0;
    // Waiters sleep on it (FutexWord.h); changed only under mutex.
    std::atomic<uint32_t> wake_word{0};
};

}  // namespace Platform
