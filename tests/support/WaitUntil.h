// WaitUntil.h: bounded waiting for tests; never a bare sleep.
#pragma once

#include <chrono>
#include <functional>

namespace TestSupport {

// Polls `predicate` until it holds or `timeout` passes; returns its last value.
bool WaitUntil(const std::function<bool()>& predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(2));

}  // namespace TestSupport
