// 4 MB through the frame assembler in 64 KB chunks, each container checked
// as the connection does: profile containers, and container starts that
// double as a chain of blocks ending in an empty one. Both should cost about
// the same per byte.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "sensor_library/Crc32.h"
#include "sensor_library/FrameAssembler.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::size_t STREAM_BYTES = 4u << 20;
constexpr uint32_t CHUNK = 65536;

class CountingSink : public FrameSink {
public:
    bool AcceptsContainers() const override { return true; }
    bool HasLinearizationData() const override { return true; }
    void OnSyncFrame() override {}
    void OnTextBlock(const uint8_t*, uint32_t) override {}
    void OnDataContainer(const uint8_t* container, uint32_t size, ContainerKind) override
    {
        containers += assembler->FrameCheck(container, size) ? 1 : 0;
    }
    void OnLinearizationData(const uint8_t*, uint32_t) override {}
    FrameAssembler* assembler = nullptr;
    int64_t containers = 0;
};

void Put(Bytes& out, uint32_t value)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof(value));
}

Bytes ValidContainers()
{
    Bytes out;
    while (out.size() + 8220 <= STREAM_BYTES) {
        Put(out, SensorFrame::CONTAINER_ID);
        Put(out, 8220);
        Put(out, SensorFrame::PROFILE_BLOCK);
        Put(out, 8200);
        out.resize(out.size() + 8192, 0x5A);
        Put(out, SensorFrame::END_BLOCK);
        Put(out, 12);
        const uint32_t crc = ComputeCrc32Mpeg2(out.data() + out.size() - 8216, 8216);
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(crc >> shift));
    }
    return out;
}

Bytes CraftedStarts()
{
    Bytes out;
    while (out.size() + 32 <= STREAM_BYTES) {
        Put(out, SensorFrame::CONTAINER_ID);
        Put(out, SensorFrame::MAX_FRAME);
        Put(out, 0x12345678);
        Put(out, 16);
    }
    Put(out, SensorFrame::CONTAINER_ID);
    Put(out, SensorFrame::MAX_FRAME);
    Put(out, 0x12345678);
    Put(out, 0);
    return out;
}

void Assemble(benchmark::State& state, const Bytes& stream)
{
    CountingSink sink;
    FrameAssembler assembler(sink);
    sink.assembler = &assembler;
    assembler.Allocate(SensorFrame::BUFFERRXMAX);
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < stream.size(); offset += CHUNK) {
            const auto piece = static_cast<uint32_t>(std::min<std::size_t>(CHUNK, stream.size() - offset));
            assembler.Receive(stream.data() + offset, piece);
        }
        assembler.DropPartialFrame();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["containers"] = static_cast<double>(sink.containers);
}

void BM_AssembleValidContainers(benchmark::State& state)
{
    static const Bytes stream = ValidContainers();
    Assemble(state, stream);
}
BENCHMARK(BM_AssembleValidContainers)->Unit(benchmark::kMillisecond);

void BM_AssembleChainedStarts(benchmark::State& state)
{
    static const Bytes stream = CraftedStarts();
    Assemble(state, stream);
}
BENCHMARK(BM_AssembleChainedStarts)->Unit(benchmark::kMillisecond);

}  // namespace
