// PayloadFillBench.cpp: the acquisition thread's per-scan work without I/O:
// Acquire of 100 profiles from the scripted link (profile copy, three status
// reads, conversion per format) and the fill of a buffer with chunks, plain
// or GenDC. Reports profiles/s and ns a point.
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/producer/SensorFakes.h"
#include "gentl_producers/GenTesk3d/PayloadGenerator.h"

namespace {

using namespace GenTLCore::ZoTL;

constexpr uint32_t PROFILES = 100;
constexpr uint32_t FORMATS[] = {PFNC_COORD3D_ABC32F, PFNC_COORD3D_ABC16, PFNC_MONO16};

void BM_AcquireAndFill(benchmark::State& state)
{
    const auto width = static_cast<uint32_t>(state.range(0));
    const uint32_t format = FORMATS[state.range(1)];
    const bool gendc = state.range(2) != 0;
    TestSupport::ScriptedSensor sensor;
    sensor.SetItems("Timestamp=500 Temperature=41 ScannerState=R");
    sensor.Open();
    {
        GenTLCore::ScopedLock hold(sensor.cache->lock);
        sensor.cache->region[1].width = width;
        sensor.cache->region[1].height = PROFILES;
        sensor.cache->region[1].components = {{1, PFNC_MONO10}, {1, format}};
        for (auto& table : sensor.cache->coordinate)
            for (auto& axis : table) axis = {0.01f, 0, 0, 0, 0, 0, {}, -1e6f, 1e6f};
    }
    sensor.cache->gendc_mode = gendc;
    sensor.cache->coordinate_source = SensorInterface::SOURCE_FRAME_ID;
    sensor.sensor->SetAcquisitionStart();
    TestSupport::ScriptedSensorLink::Profile profile;
    for (uint32_t i = 0; i < width; ++i) {
        profile.x.push_back(i * 0.01 + 0.004);
        profile.z.push_back(100.0 + i % 50);
    }
    const std::vector<uint64_t> flows = sensor.cache->GetFlowSizes();
    std::vector<uint8_t> buffer(sensor.cache->GetPayloadSize() + 4096);
    PayloadGenerator generator;
    ScanData scan;
    uint64_t frame = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (uint32_t i = 0; i < PROFILES; ++i) {
            profile.picture_count = static_cast<int>(i);
            sensor.link->profiles.push_back(profile);
        }
        state.ResumeTiming();
        std::lock_guard<std::mutex> turn(sensor.sensor->ScanLock());
        if (!sensor.sensor->Acquire(scan)) state.SkipWithError("no scan");
        const FillDescription fill =
            generator.Fill(buffer.data(), buffer.size(), scan, flows, ++frame);
        if (!fill.complete) state.SkipWithError("scan did not fit");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * PROFILES);
    state.counters["ns_per_point"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * PROFILES * width,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AcquireAndFill)
    ->ArgNames({"width", "format", "gendc"})
    ->ArgsProduct({{1280, 2048}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
