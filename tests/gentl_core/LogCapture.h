// LogCapture.h: collects the framework's log lines instead of writing them
// to stderr, for tests that check what was logged.
#pragma once

#include <string>
#include <vector>

namespace TestSupport {

// Installs the debug-output hook for its lifetime; one at a time per process.
// Every debug-output call becomes one entry, so a log line is one entry.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // A copy of the entries so far, in arrival order.
    std::vector<std::string> Lines() const;
};

}  // namespace TestSupport
