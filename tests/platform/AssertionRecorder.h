// AssertionRecorder.h: keeps the texts of failed assertions while it lives.
// Any thread may fail an assertion meanwhile.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/Assert.h"

namespace TestSupport {

class AssertionRecorder {
public:
    AssertionRecorder()
        : previous((Texts(nullptr, true), Platform::SetAssertionHookForTest(&Record)))
    {
    }
    ~AssertionRecorder() { Platform::SetAssertionHookForTest(previous); }
    AssertionRecorder(const AssertionRecorder&) = delete;
    AssertionRecorder& operator=(const AssertionRecorder&) = delete;

    std::vector<std::string> Failures() const { return Texts(nullptr, false); }
    size_t Count() const { return Failures().size(); }

private:
    static void Record(const char* expression, const char*, int) { Texts(expression, false); }
    // Adds `added` unless null, after emptying the texts if `clear`; a copy of them.
    static std::vector<std::string> Texts(const char* added, bool clear)
    {
        static std::mutex mutex;
        static std::vector<std::string> texts;
        std::lock_guard<std::mutex> lock(mutex);
        if (clear) texts.clear();
        if (added != nullptr) texts.push_back(added);
        return texts;
    }

    Platform::AssertionHook previous;
};

}  // namespace TestSupport
