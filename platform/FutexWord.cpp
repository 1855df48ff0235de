#include "platform/FutexWord.h"

#include <climits>
#include <ctime>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

void SleepOnWord(std::atomic<uint32_t>& word, uint32_t expected,
                 const std::optional<std::chrono::steady_clock::time_point>& deadline)
{
    timespec until{};
    if (deadline) {
        // steady_clock is CLOCK_MONOTONIC, the clock FUTEX_WAIT_BITSET uses.
        const auto since_epoch = deadline->time_since_epoch();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
        until.tv_sec = static_cast<time_t>(seconds.count());
        until.tv_nsec = static_cast<long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - seconds).count());
    }
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_BITSET_PRIVATE, expected,
            deadline ? &until : nullptr, nullptr, FUTEX_BITSET_MATCH_ANY);
}

void WakeWord(std::atomic<uint32_t>& word, int count)
{
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, count, nullptr,
            nullptr, 0);
}

}  // namespace Platform
