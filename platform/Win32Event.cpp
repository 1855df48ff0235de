#include "platform/Win32Event.h"

#include <chrono>

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
    // Notify under the lock: a released waiter may destroy the event at once.
    std::lock_guard<std::mutex> lock(mutex);
    signalled = true;
    Wake();
}

void Win32Event::SetThenWake()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        signalled = true;
    }
    Wake();
}

void Win32Event::Wake()
{
    if (manual_reset)
        changed.notify_all();
    else
        changed.notify_one();
}

void Win32Event::Reset()
{
    std::lock_guard<std::mutex> lock(mutex);
    signalled = false;
}

uint32_t Win32Event::Wait(uint64_t timeout_ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    const auto is_signalled = [this] { return signalled; };
    if (timeout_ms == INFINITE_32 || timeout_ms == INFINITE_64 ||
        timeout_ms >= LONGEST_FINITE_WAIT_MS) {
        changed.wait(lock, is_signalled);
    } else if (!changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), is_signalled)) {
        return WAIT_TIMED_OUT;
    }
    if (!manual_reset)
        signalled = false;
    return WAIT_SIGNALLED;
}

}  // namespace Platform
