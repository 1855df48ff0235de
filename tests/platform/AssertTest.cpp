#include <gtest/gtest.h>

#include "platform/Assert.h"

namespace {
int failures = 0;
void CountFailure(const char*, const char*, int) { ++failures; }
}  // namespace

// A failed assertion reports and lets the caller handle the case.
TEST(AssertTest, FailedAssertionReportsAndReturnsFalse)
{
    failures = 0;
    Platform::AssertionHook previous = Platform::SetAssertionHookForTest(&CountFailure);
    int value = 1;
    EXPECT_TRUE(TL_ASSERT(value == 1));
    EXPECT_FALSE(TL_ASSERT(value == 2));
    Platform::SetAssertionHookForTest(previous);
    EXPECT_EQ(1, failures);
}
