// ThreadInfo.h: identity of the calling thread, as log lines show it.
#pragma once

#include <cstdint>

namespace Platform {

// The kernel's id of the calling thread (the one `ps -L` and debuggers show),
// unique among the live threads of the system.
uint32_t CurrentThreadId();

}  // namespace Platform
