#include "platform/DebugOutput.h"

#include <atomic>
#include <cerrno>

#include <sys/uio.h>
#include <unistd.h>

namespace Platform {
namespace {
std::atomic<DebugOutputHook> debug_output_hook{nullptr};
std::atomic<bool> to_stderr{false};

// Writes `line` and, if `add_newline`, a newline behind it in one writev(), so
// the line stays whole. A partial write (signal, full pipe) sends the rest;
// every round makes progress or gives up.
void WriteLine(std::string_view line, bool add_newline)
{
    static const char NEWLINE = '\n';
    iovec parts[2] = {{const_cast<char*>(line.data()), line.size()},
                      {const_cast<char*>(&NEWLINE), add_newline ? 1u : 0u}};
    int first = 0;
    while (first < 2) {
        const ssize_t written = ::writev(STDERR_FILENO, &parts[first], 2 - first);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        auto rest = static_cast<std::size_t>(written);
        while (first < 2 && rest >= parts[first].iov_len) {
            rest -= parts[first].iov_len;
            ++first;
        }
        if (first < 2) {
            parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + rest;
            parts[first].iov_len -= rest;
        }
    }
}
}  // namespace

void WriteDebugOutput(std::string_view text)
{
    if (DebugOutputHook hook = debug_output_hook.load()) {
        hook(text.data(), text.size());
        return;
    }
    if (!to_stderr.load(std::memory_order_relaxed))
        return;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            // An unterminated tail would run into the next writer's line.
            WriteLine(text, true);
            return;
        }
        WriteLine(text.substr(0, end + 1), false);
        text.remove_prefix(end + 1);
    }
}

void SetDebugOutputToStderr(bool on)
{
    to_stderr.store(on, std::memory_order_relaxed);
}

DebugOutputHook SetDebugOutputHookForTest(DebugOutputHook hook)
{
    return debug_output_hook.exchange(hook);
}

}  // namespace Platform
