// One profile out of a pre-filled FIFO with GetXZIExtended at width 2048: a
// raw profile linearized through 64 x 64 tables, and a linearized profile,
// each with and without X sorting; the raw profile once more on each vector
// target the machine runs.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sensor_library/CScanvo.h"
#include "sensor_library/Crc32.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t WIDTH = 2048;
constexpr uint32_t CONTAINERS = 1000;
constexpr uint32_t TABLE_INTERVALS = 64;

template <typename T>
void Put(Bytes& out, T value)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof(value));
}

void PutBlock(Bytes& out, uint32_t tag, const Bytes& payload)
{
    Put(out, tag);
    Put(out, static_cast<uint32_t>(payload.size() + 8));
    out.insert(out.end(), payload.begin(), payload.end());
}

void AppendCrc(Bytes& frame)
{
    const uint32_t crc = ComputeCrc32Mpeg2(frame.data(), frame.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        frame.push_back(static_cast<uint8_t>(crc >> shift));
}

Bytes Container(bool linear, uint16_t counter)
{
    Bytes out;
    Put(out, uint32_t{0x021A01FF});
    Put(out, uint32_t{0});
    Bytes general(44, 0);
    std::memcpy(general.data(), &counter, sizeof(counter));
    PutBlock(out, 0x021A0101, general);
    Bytes profile;
    if (linear) {
        profile.assign(48, 0);
        const uint32_t codes[4] = {2, 4, 1, 0};
        std::memcpy(profile.data() + 8, &WIDTH, 4);
        profile[12] = 1;
        std::memcpy(profile.data() + 20, codes, sizeof(codes));
        for (uint32_t c = 0; c < WIDTH; ++c) {
            Put(profile, static_cast<uint16_t>(1000 + c));
            Put(profile, static_cast<uint16_t>(c << 6));
            Put(profile, static_cast<uint16_t>(16 * c));
        }
        PutBlock(out, 0x021A0602, profile);
        const float scale[4] = {0.0625f, -64.0f, 0.015625f, 100.0f};
        PutBlock(out, 0x021A0801, Bytes(reinterpret_cast<const uint8_t*>(scale),
                                        reinterpret_cast<const uint8_t*>(scale) + sizeof(scale)));
    } else {
        profile = {0, 0, 1, 0, 7, 16, 8, 8, 16, 0, 0, 0};
        for (uint32_t c = 0; c < WIDTH; ++c) {
            Put(profile, static_cast<uint16_t>(32 * (200 + c % 600)));
            Put(profile, static_cast<uint8_t>(c));
            Put(profile, static_cast<uint8_t>(c * 7));
        }
        PutBlock(out, 0x021A0601, profile);
    }
    Put(out, uint32_t{0x021AFFFF});
    Put(out, uint32_t{12});
    const uint32_t total = static_cast<uint32_t>(out.size() + 4);
    std::memcpy(out.data() + 4, &total, 4);
    AppendCrc(out);
    return out;
}

// A smooth field over 2048 x 1024 pixels: X grows with the column, Z with the row.
void PutTable(Bytes& out, bool x_axis)
{
    Put(out, TABLE_INTERVALS);
    Put(out, TABLE_INTERVALS);
    for (uint32_t i = 0; i <= TABLE_INTERVALS; ++i)
        Put(out, 2048.0 * i / TABLE_INTERVALS);
    for (uint32_t j = 0; j <= TABLE_INTERVALS; ++j)
        Put(out, 1024.0 * j / TABLE_INTERVALS);
    for (uint32_t i = 0; i <= TABLE_INTERVALS; ++i) {
        for (uint32_t j = 0; j <= TABLE_INTERVALS; ++j) {
            double cell[16] = {};
            cell[0] = x_axis ? 0.05 * (2048.0 * i / TABLE_INTERVALS - 1024) : 100 + 0.2 * 1024.0 * j / TABLE_INTERVALS;
            cell[x_axis ? 4 : 1] = x_axis ? 0.05 : 0.2;
            for (double value : cell)
                Put(out, value);
        }
    }
}

Bytes LinearizationFrame()
{
    Bytes lin = {'L', 'I', 'N', '1', 'D', 'D', 0, 0};
    Put(lin, uint32_t{1});
    Put(lin, uint32_t{8});
    Put(lin, uint64_t{4711});
    Put(lin, uint32_t{2});
    Put(lin, uint32_t{44});
    for (float value : {100.0f, 200.0f, 80.0f, 120.0f})
        Put(lin, value);
    for (uint32_t value : {0u, 2048u, 1024u, 0u, 0u, 0u, 0u})
        Put(lin, value);
    Bytes tables;
    PutTable(tables, true);
    PutTable(tables, false);
    Put(lin, uint32_t{3});
    Put(lin, static_cast<uint32_t>(tables.size()));
    lin.insert(lin.end(), tables.begin(), tables.end());
    Bytes frame = {0x07, 0x19};
    Put(frame, static_cast<uint32_t>(lin.size() + 10));
    frame.insert(frame.end(), lin.begin(), lin.end());
    AppendCrc(frame);
    return frame;
}

// Nothing on the wire: the benchmark feeds the receive path itself.
class IdleTransport : public EthernetInterface {
public:
    void start(const TransportTarget&) override {}
    void stop() override {}
    int send(const char*, int length) override { return length; }

protected:
    void run() override {}
};

void Feed(CScanvo& scanvo, const Bytes& bytes)
{
    scanvo.OnReceive(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
}

void BM_GetXZIExtended(benchmark::State& state)
{
    const bool linear = state.range(0) != 0;
    const bool sort = state.range(1) != 0;
    const Bytes container = Container(linear, 1);
    CScanvo scanvo;
    ConnectSettings settings;
    settings.fifo_size = static_cast<uint32_t>(container.size() * (CONTAINERS + 1));
    settings.receive_buffer_size = 1 << 22;
    scanvo.ConnectWithTransportForTest(settings, std::make_shared<IdleTransport>());
    scanvo.InitializeConnection();
    Feed(scanvo, LinearizationFrame());
    if (sort)
        scanvo.WriteData("SetSortingX=1", 13);
    std::vector<double> x(WIDTH), z(WIDTH);
    std::vector<int32_t> intensity(WIDTH);
    for (auto _ : state) {
        if (scanvo.FifoFillBytes() == 0) {
            state.PauseTiming();
            for (uint32_t i = 0; i < CONTAINERS; ++i)
                Feed(scanvo, container);
            state.ResumeTiming();
        }
        const int32_t points = scanvo.GetXZIExtended(x.data(), z.data(), intensity.data(), nullptr,
                                                     WIDTH, nullptr, nullptr, 0, nullptr, 0, nullptr);
        if (points != static_cast<int32_t>(WIDTH))
            state.SkipWithError("short profile");
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["ns_per_point"] = benchmark::Counter(
        static_cast<double>(state.iterations() * WIDTH),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    scanvo.Disconnect();
}

BENCHMARK(BM_GetXZIExtended)
    ->ArgNames({"linearized", "sort_x"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

void BM_GetXZIExtendedOnTarget(benchmark::State& state, int64_t target)
{
    hwy::SetSupportedTargetsForTest(target);
    BM_GetXZIExtended(state);
    hwy::SetSupportedTargetsForTest(0);
}

const bool REGISTERED_PER_TARGET = [] {
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        const std::string name = std::string("BM_GetXZIExtended/") + hwy::TargetName(target);
        benchmark::RegisterBenchmark(name.c_str(), BM_GetXZIExtendedOnTarget, target)
            ->ArgNames({"linearized", "sort_x"})
            ->Args({0, 0})
            ->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace
