#include "platform/Assert.h"

#include <atomic>
#include <string>

#include "platform/DebugOutput.h"

namespace Platform {
namespace {
std::atomic<AssertionHook> assertion_hook{nullptr};
}

void ReportAssertion(const char* expression, const char* file, int line)
{
    const std::string text = std::string("Assertion failed: ") + expression + ", file " + file +
                             ", line " + std::to_string(line) + "\n";
    WriteDebugOutput(text);
    if (AssertionHook hook = assertion_hook.load())
        hook(expression, file, line);
}

AssertionHook SetAssertionHookForTest(AssertionHook hook)
{
    return assertion_hook.exchange(hook);
}

}  // namespace Platform
