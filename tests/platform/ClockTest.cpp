#include <gtest/gtest.h>

#include <cstdint>

#include "platform/Clock.h"

namespace {

// The three clocks read one monotonic time in different units.
TEST(ClockTest, ClocksNeverGoBackwards)
{
    uint64_t previous_us = Platform::MonotonicUs();
    uint64_t previous_ms = Platform::MonotonicMs();
    for (int i = 0; i < 10000; ++i) {
        const uint64_t now_us = Platform::MonotonicUs();
        const uint64_t now_ms = Platform::MonotonicMs();
        ASSERT_GE(now_us, previous_us);
        ASSERT_GE(now_ms, previous_ms);
        previous_us = now_us;
        previous_ms = now_ms;
    }
}

TEST(ClockTest, UnitsAgree)
{
    const uint64_t before_ms = Platform::MonotonicMs();
    const uint64_t us = Platform::MonotonicUs();
    const uint32_t tick = Platform::GetTickCountMs();
    const uint64_t after_ms = Platform::MonotonicMs();
    EXPECT_LE(before_ms, us / 1000);
    EXPECT_GE(after_ms, us / 1000);
    // The tick is the millisecond clock cut to 32 bits, so it wraps with it.
    EXPECT_LE(static_cast<uint32_t>(tick - static_cast<uint32_t>(before_ms)),
              static_cast<uint32_t>(after_ms - before_ms));
}

}  // namespace
