// AssertionCounter.h: counts failed TL_ASSERTs while it lives.
#pragma once

#include "platform/Assert.h"

namespace TestSupport {

// Installs itself as the assertion hook and restores the previous hook when
// destroyed. One at a time; make it a fixture member or a local.
class AssertionCounter {
public:
    AssertionCounter() : previous(Platform::SetAssertionHookForTest(&Count)) { failures = 0; }
    ~AssertionCounter() { Platform::SetAssertionHookForTest(previous); }
    AssertionCounter(const AssertionCounter&) = delete;
    AssertionCounter& operator=(const AssertionCounter&) = delete;

    int Failures() const { return failures; }

private:
    static void Count(const char*, const char*, int) { ++failures; }

    static inline int failures = 0;
    Platform::AssertionHook previous;
};

}  // namespace TestSupport
