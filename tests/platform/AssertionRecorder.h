// AssertionRecorder.h: counts failed assertions, and keeps their texts, while
// it lives. Any thread may fail an assertion meanwhile.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/Assert.h"

namespace TestSupport {

class AssertionRecorder {
public:
    AssertionRecorder() : previous(Platform::SetAssertionHookForTest(&Record))
    {
        std::lock_guard<std::mutex> lock(Mutex());
        Texts().clear();
    }
    ~AssertionRecorder() { Platform::SetAssertionHookForTest(previous); }
    AssertionRecorder(const AssertionRecorder&) = delete;
    AssertionRecorder& operator=(const AssertionRecorder&) = delete;

    std::vector<std::string> Failures() const
    {
        std::lock_guard<std::mutex> lock(Mutex());
        return Texts();
    }
    size_t Count() const { return Failures().size(); }

private:
    static void Record(const char* expression, const char*, int)
    {
        std::lock_guard<std::mutex> lock(Mutex());
        Texts().push_back(expression);
    }
    static std::mutex& Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::vector<std::string>& Texts()
    {
        static std::vector<std::string> texts;
        return texts;
    }

    Platform::AssertionHook previous;
};

}  // namespace TestSupport
