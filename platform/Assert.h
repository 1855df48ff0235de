// Assert.h: the project's assertion. It stays on in release builds and never
// ends the process: a consumer's input may reach an assertion, and a GenTL
// producer must not take its host application down.
#pragma once

namespace Platform {

// Receives every failed assertion; tests install one to count them.
using AssertionHook = void (*)(const char* expression, const char* file, int line);

// Writes "Assertion failed: <expression>, file <file>, line <line>" to the
// debug output and calls the hook, if any. Returns normally.
void ReportAssertion(const char* expression, const char* file, int line);

// Returns the previous hook. nullptr removes it.
AssertionHook SetAssertionHookForTest(AssertionHook hook);

}  // namespace Platform

// Evaluates to true when `expr` holds. On failure it reports and evaluates to
// false, so the caller still handles the case:
//     if (!TL_ASSERT(buffer != nullptr)) return GC_ERR_ERROR;
#define TL_ASSERT(expr) TL_ASSERT_MSG(expr, #expr)

// As TL_ASSERT, reporting `message` in place of the expression's text.
#define TL_ASSERT_MSG(expr, message) \
    (static_cast<bool>(expr) ? true : (::Platform::ReportAssertion(message, __FILE__, __LINE__), false))
