// LocalTime.h: the wall-clock time in the local time zone, as log lines show it.
#pragma once

#include <cstdint>

namespace Platform {

struct LocalTime {
    uint16_t year = 0;
    uint16_t month = 0;  // 1..12
    uint16_t day = 0;    // 1..31
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t millisecond = 0;
};

// Thread-safe.
LocalTime GetLocalTime();

}  // namespace Platform
