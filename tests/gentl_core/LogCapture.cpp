#include "LogCapture.h"

#include <mutex>

#include "platform/DebugOutput.h"

namespace TestSupport {
namespace {
std::mutex lines_mutex;
std::vector<std::string> captured_lines;  // guarded by lines_mutex
}  // namespace

LogCapture::LogCapture()
{
    std::lock_guard<std::mutex> guard(lines_mutex);
    captured_lines.clear();
    Platform::SetDebugOutputHookForTest([](const char* text, std::size_t length) {
        std::lock_guard<std::mutex> guard(lines_mutex);
        captured_lines.emplace_back(text, length);
    });
}

LogCapture::~LogCapture()
{
    Platform::SetDebugOutputHookForTest(nullptr);
}

std::vector<std::string> LogCapture::Lines() const
{
    std::lock_guard<std::mutex> guard(lines_mutex);
    return captured_lines;
}

}  // namespace TestSupport
