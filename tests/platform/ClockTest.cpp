// The clocks read one monotonic time in different units.
#include <gtest/gtest.h>

#include "platform/Clock.h"

namespace {

TEST(ClockTest, ClocksNeverGoBackwardsAndTheirUnitsAgree)
{
    uint64_t previous_us = Platform::MonotonicUs();
    for (int i = 0; i < 10000; ++i) {
        const uint64_t before_ms = Platform::MonotonicMs();
        const uint64_t now_us = Platform::MonotonicUs();
        const uint32_t tick = Platform::GetTickCountMs();
        const uint64_t after_ms = Platform::MonotonicMs();
        ASSERT_GE(now_us, previous_us);
        ASSERT_LE(before_ms, now_us / 1000);
        ASSERT_GE(after_ms, now_us / 1000);
        // The tick is the millisecond clock cut to 32 bits, so it wraps with it.
        ASSERT_LE(static_cast<uint32_t>(tick - static_cast<uint32_t>(before_ms)),
                  static_cast<uint32_t>(after_ms - before_ms));
        previous_us = now_us;
    }
}

}  // namespace
