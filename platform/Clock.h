// Clock.h: monotonic time for log stamps, timeouts and intervals.
#pragma once

#include <cstdint>

namespace Platform {

// Milliseconds since an unspecified start, truncated to 32 bits: wraps after
// about 49.7 days, so compare two ticks only by their unsigned difference.
uint32_t GetTickCountMs();

// Monotonic time since an unspecified start; never wraps in practice.
uint64_t MonotonicMs();

}  // namespace Platform
