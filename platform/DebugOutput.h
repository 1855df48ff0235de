// DebugOutput.h: the process's diagnostic channel (stderr), in place of a
// debugger's output window.
#pragma once

#include <cstddef>
#include <string_view>

namespace Platform {

// Writes `text` to stderr, each line in one system call so that lines of
// concurrent writers never interleave within a line. Text after the last
// newline is written as a line of its own, with a newline added. Never throws;
// a failed write is dropped. Nothing reaches stderr until it is switched on.
void WriteDebugOutput(std::string_view text);

// Off at start: like a debugger channel nobody listens to, the output stays
// silent in a consumer's terminal unless the call log switches it on.
void SetDebugOutputToStderr(bool on);

// Receives the text of every WriteDebugOutput call instead of stderr. The hook
// may be called from any thread at once.
using DebugOutputHook = void (*)(const char* text, std::size_t length);

// Returns the previous hook. nullptr restores stderr.
DebugOutputHook SetDebugOutputHookForTest(DebugOutputHook hook);

}  // namespace Platform
