// FutexWord.h: sleeping on a 32-bit word until another thread moves it on,
// the building block under the condition and the event objects.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace Platform {

// Sleeps while `word` holds `expected`, until WakeWord, the steady-clock
// `deadline` (none: no limit) or a signal; returns at once when the word has
// moved on. A return says nothing: the caller looks at its own state again.
// The waker changes the word before it wakes, under the lock the sleeper
// read it under, so no wake-up falls between the read and the sleep.
//
// Threads: any. A wake costs the waker one system call and the sleeper none
// on its way out, unlike a condition over a mutex, whose woken waiter takes
// the mutex back marked contended and so makes a wake call when it lets it
// go, as a rule waking nobody.
void SleepOnWord(std::atomic<uint32_t>& word, uint32_t expected,
                 const std::optional<std::chrono::steady_clock::time_point>& deadline);
// Wakes up to `count` threads sleeping on `word`.
void WakeWord(std::atomic<uint32_t>& word, int count);

}  // namespace Platform
