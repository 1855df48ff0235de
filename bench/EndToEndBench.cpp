// EndToEndBench.cpp: the simulated sensor streams raw profiles 2048 points
// wide over loopback TCP into the sensor library, and one reader takes every
// profile, linearized, through the exported Scanvo_GetXZIExtended, for ten
// seconds at each line rate. Reports profiles sent, received and missing
// (picture-counter gaps), the FIFO's high-water mark, and the CPU time per
// profile of the library's receive thread and of the reader, and how long
// each waited for a CPU while it could run (a loaded machine's share of any
// loss). Loopback only; the producer's .cti is not loaded.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "ThreadTimes.h"
#include "platform/ThreadInfo.h"
#include "sensor_library/ScanvoDLL.h"
#include "sensor_library/SensorTable.h"
#include "support/SimulatedSensor.h"
#include "support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t WIDTH = 2048;
constexpr auto STREAM_TIME = 10s;
constexpr int READ_TIMEOUT_MS = 100;
constexpr int READY = 3;

using BenchSupport::ThreadTimes;

// Read-data callbacks run on a connection's receive thread: the first one
// names that thread.
std::atomic<uint32_t> receive_thread{0};
void NoteReceiveThread(void*, char*, int)
{
    if (receive_thread.load(std::memory_order_relaxed) == 0)
        receive_thread = Platform::CurrentThreadId();
}

struct Tally {
    uint64_t received = 0;
    uint64_t missing = 0;
    uint64_t short_profiles = 0;
    int fifo_high_percent = 0;
    uint16_t last_picture = 0;  // the simulated sensor's first is 1
};

// One read; false when none came within the time-out.
bool ReadOne(void* handle, std::vector<double>& x, std::vector<double>& z,
             std::vector<int>& intensity, Tally& tally)
{
    tally.fifo_high_percent = std::max(tally.fifo_high_percent, Scanvo_GetDllFiFoState(handle));
    int picture = 0;
    const int points = Scanvo_GetXZIExtended(handle, x.data(), z.data(), intensity.data(), nullptr,
                                             WIDTH, nullptr, nullptr, READ_TIMEOUT_MS, nullptr, 0,
                                             &picture);
    if (points <= 0)
        return false;
    ++tally.received;
    tally.short_profiles += points != static_cast<int>(WIDTH);
    const auto counter = static_cast<uint16_t>(picture);
    tally.missing += static_cast<uint16_t>(counter - tally.last_picture - 1);
    tally.last_picture = counter;
    return true;
}

bool Command(void* handle, std::string text)
{
    text += '\r';
    return Scanvo_WriteData(handle, text.data(), static_cast<int>(text.size())) > 0;
}

void BM_EndToEnd(benchmark::State& state)
{
    TestSupport::SimulatedSensor sensor;
    sensor.SetStreamRate(static_cast<int>(state.range(0)));
    sensor.SetStreamWidth(WIDTH);
    sensor.SetLinModel(TestSupport::LinModel{.width_x = WIDTH});
    std::string ip = sensor.Ip(), port = sensor.PortText();
    receive_thread = 0;
    Scanvo_SetReadDataCallback(nullptr, reinterpret_cast<void*>(&NoteReceiveThread));
    void* handle = Scanvo_Connect(ip.data(), port.data(), 0);
    Scanvo_SetReadDataCallback(nullptr, nullptr);
    const bool ready = handle != nullptr && TestSupport::WaitUntil([handle] {
        int status = 0;
        return Scanvo_GetConnectStatus(handle, &status) == 0 && status == READY;
    }, 10s);
    if (!ready || receive_thread == 0) {
        state.SkipWithError("the simulated sensor's connection did not get ready");
        Scanvo_Disconnect(handle);
        return;
    }
    std::vector<double> x(WIDTH), z(WIDTH);
    std::vector<int> intensity(WIDTH);
    Tally tally;
    const uint32_t reader = Platform::CurrentThreadId();
    ThreadTimes receive, reading;
    for (auto _ : state) {
        const ThreadTimes receive_start = ThreadTimes::Of(receive_thread);
        const ThreadTimes reader_start = ThreadTimes::Of(reader);
        Command(handle, "SetAcquisitionStart");
        for (const auto end = std::chrono::steady_clock::now() + STREAM_TIME;
             std::chrono::steady_clock::now() < end;)
            ReadOne(handle, x, z, intensity, tally);
        Command(handle, "SetAcquisitionStop");
        while (ReadOne(handle, x, z, intensity, tally)) {
        }
        receive = ThreadTimes::Of(receive_thread) - receive_start;
        reading = ThreadTimes::Of(reader) - reader_start;
    }
    Scanvo_Disconnect(handle);
    const double received = std::max<double>(1, static_cast<double>(tally.received));
    const double container_bytes =
        static_cast<double>(TestSupport::ScanContainer(TestSupport::ScanKind::RawProfile, 1, 0, WIDTH).size());
    state.counters["sent"] = sensor.ContainersSent();
    state.counters["received"] = static_cast<double>(tally.received);
    state.counters["missing"] = static_cast<double>(tally.missing);
    state.counters["short"] = static_cast<double>(tally.short_profiles);
    state.counters["fifo_high_pct"] = tally.fifo_high_percent;
    state.counters["fifo_high_profiles"] =
        tally.fifo_high_percent / 100.0 * SensorTable::DEFAULT_FIFO_BYTES / container_bytes;
    state.counters["receive_us_per_profile"] = receive.cpu_us / received;
    state.counters["reader_us_per_profile"] = reading.cpu_us / received;
    state.counters["receive_wait_ms"] = receive.wait_us / 1000;
    state.counters["reader_wait_ms"] = reading.wait_us / 1000;
}

// The simulated sensor's own cost of one container: what limits its rate
// besides the socket.
void BM_SimulatedSensorScan(benchmark::State& state)
{
    TestSupport::ScanTemplate scans(TestSupport::ScanKind::RawProfile, WIDTH);
    uint16_t counter = 0;
    for (auto _ : state) {
        ++counter;
        benchmark::DoNotOptimize(scans.Scan(counter, counter * 1000u).data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimulatedSensorScan);

// One ten-second stream per rate: the figures are totals, not averages of runs.
BENCHMARK(BM_EndToEnd)
    ->ArgName("hz")
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(30000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
