#include "platform/Clock.h"

#include <ctime>

namespace Platform {
namespace {
uint64_t MonotonicNs()
{
    timespec now{};
    // CLOCK_MONOTONIC cannot fail with a valid pointer; the zero start covers it anyway.
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}
}  // namespace

uint32_t GetTickCountMs()
{
    return static_cast<uint32_t>(MonotonicMs());
}

uint64_t MonotonicMs()
{
    return MonotonicNs() / 1000000u;
}

}  // namespace Platform
