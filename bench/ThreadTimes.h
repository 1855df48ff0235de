// ThreadTimes.h: how long a thread of this process has run and has waited
// to run, for the stream benchmarks' CPU time per profile.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace BenchSupport {

// Microseconds from the scheduler's own nanosecond counts (no clock-tick
// rounding); zeros once the thread has ended.
struct ThreadTimes {
    double cpu_us = 0;
    double wait_us = 0;

    static ThreadTimes Of(uint32_t tid)
    {
        std::ifstream schedstat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
        ThreadTimes times;
        schedstat >> times.cpu_us >> times.wait_us;
        return {times.cpu_us / 1000, times.wait_us / 1000};
    }
    ThreadTimes operator-(const ThreadTimes& start) const
    {
        return {cpu_us - start.cpu_us, wait_us - start.wait_us};
    }
};

}  // namespace BenchSupport
