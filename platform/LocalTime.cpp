#include "platform/LocalTime.h"

#include <ctime>

namespace Platform {

LocalTime GetLocalTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    const time_t seconds = now.tv_sec;
    LocalTime out;
    if (::localtime_r(&seconds, &parts) == nullptr)
        return out;
    out.year = static_cast<uint16_t>(parts.tm_year + 1900);
    out.month = static_cast<uint16_t>(parts.tm_mon + 1);
    out.day = static_cast<uint16_t>(parts.tm_mday);
    out.hour = static_cast<uint16_t>(parts.tm_hour);
    out.minute = static_cast<uint16_t>(parts.tm_min);
    out.second = static_cast<uint16_t>(parts.tm_sec);
    out.millisecond = static_cast<uint16_t>(now.tv_nsec / 1000000);
    return out;
}

}  // namespace Platform
