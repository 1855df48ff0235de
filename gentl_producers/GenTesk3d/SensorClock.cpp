#include "gentl_producers/GenTesk3d/SensorClock.h"

#include <chrono>
#include <thread>

namespace GenTLCore::ZoTL {

int64_t SteadyClock::NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SteadyClock::SleepForMs(int64_t ms)
{
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace GenTLCore::ZoTL
