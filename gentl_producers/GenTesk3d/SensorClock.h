// SensorClock.h: the monotonic time and sleeps that pace a sensor's command
// channel, behind an interface so that tests run the pacing on a virtual clock.
#pragma once

#include <cstdint>

namespace GenTLCore::ZoTL {

// Threads: implementations are safe to call from any thread.
class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since an unspecified start; never goes backwards.
    virtual int64_t NowMs() = 0;
    // Returns at once for 0 or less.
    virtual void SleepForMs(int64_t ms) = 0;
};

// The real clock: the steady clock and a relative sleep.
class SteadyClock : public IClock {
public:
    int64_t NowMs() override;
    void SleepForMs(int64_t ms) override;
};

// Milliseconds from `since` to `now`, never negative.
inline int64_t ElapsedMs(int64_t since, int64_t now)
{
    return now > since ? now - since : 0;
}

}  // namespace GenTLCore::ZoTL
