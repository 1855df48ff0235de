// The receive path against what it cannot do with less (the socket's copy,
// the CRC and the FIFO's copy), over the same stream of profile containers
// in socket-sized chunks. Then the assembler alone, each chunk read into its
// room: valid containers, and container starts that double as a chain of
// blocks ending in an empty one, whose cost must stay linear in the bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "sensor_library/CScanvo.h"
#include "sensor_library/Crc32.h"
#include "sensor_library/FrameAssembler.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::size_t CHUNK = EthernetInterface::RECEIVE_CHUNK;
constexpr int CONTAINERS_PER_RUN = 256;

void Put32(Bytes& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutCrc(Bytes& out, std::size_t from)
{
    const uint32_t crc = ComputeCrc32Mpeg2(out.data() + from, out.size() - from);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(crc >> shift));
}

// A profile container as the sensor streams it: head, general block, one
// echo per column (Z, intensity, width), end block with the CRC.
void PutProfileContainer(Bytes& out, uint32_t width, uint16_t counter)
{
    const std::size_t start = out.size();
    Put32(out, SensorFrame::CONTAINER_ID);
    Put32(out, 0);
    Put32(out, SensorFrame::GENERAL_BLOCK);
    Put32(out, 52);
    out.push_back(static_cast<uint8_t>(counter));
    out.push_back(static_cast<uint8_t>(counter >> 8));
    out.resize(out.size() + 42, 0);
    Put32(out, SensorFrame::PROFILE_BLOCK);
    Put32(out, 20 + 4 * width);
    const uint8_t head[12] = {0, 0, 1, 0, 7, 16, 8, 8, 16, 0, 0, 0};
    out.insert(out.end(), head, head + 12);
    for (uint32_t column = 0; column < width; ++column)
        Put32(out, column * 2654435761u);
    Put32(out, SensorFrame::END_BLOCK);
    Put32(out, 12);
    const auto total = static_cast<uint32_t>(out.size() - start + 4);
    std::memcpy(out.data() + start + 4, &total, 4);
    PutCrc(out, start);
}

Bytes ContainerStream(uint32_t width)
{
    Bytes stream;
    for (int i = 0; i < CONTAINERS_PER_RUN; ++i)
        PutProfileContainer(stream, width, static_cast<uint16_t>(i + 1));
    return stream;
}

Bytes LinearizationFrame()
{
    const char magic[8] = {'L', 'I', 'N', '1', 'D', 'D', 0, 0};
    Bytes out = {SensorFrame::SHORT_FRAME_LIN, SensorFrame::SHORT_FRAME_MARK};
    Put32(out, 8 + 10);
    out.insert(out.end(), magic, magic + 8);
    PutCrc(out, 0);
    return out;
}

// Stands in for the socket: each read copies the next chunk of the stream
// into the room the connection lends, as the kernel does.
class StreamTransport : public EthernetInterface {
public:
    void start(const TransportTarget&) override {}
    void stop() override {}
    int send(const char*, int length) override { return length; }
    void Connect() { OnConnected(); }
    void Read(const uint8_t* data, std::size_t size)
    {
        ReceiveChunk([&](char* room, std::size_t room_size) {
            const std::size_t piece = std::min(size, room_size);
            std::memcpy(room, data, piece);
            return static_cast<long>(piece);
        });
    }

protected:
    void run() override {}
};

// The transport thread's work: each chunk read into the connection's buffer,
// its containers checked and copied into the FIFO. A reader, untimed, takes
// them out again after each pass.
void BM_ReceivePath(benchmark::State& state)
{
    const Bytes stream = ContainerStream(static_cast<uint32_t>(state.range(0)));
    auto transport = std::make_shared<StreamTransport>();
    CScanvo scanvo;
    if (!scanvo.ConnectWithTransportForTest(ConnectSettings(), transport)) {
        state.SkipWithError("connect failed");
        return;
    }
    transport->Connect();
    const Bytes lin = LinearizationFrame();
    transport->Read(lin.data(), lin.size());
    unsigned char first_byte = 0;
    int64_t taken = 0;
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < stream.size(); offset += CHUNK)
            transport->Read(stream.data() + offset, std::min(CHUNK, stream.size() - offset));
        state.PauseTiming();
        while (scanvo.GetRawData(&first_byte, 1) > 0)
            ++taken;
        state.ResumeTiming();
    }
    if (taken != static_cast<int64_t>(state.iterations()) * CONTAINERS_PER_RUN)
        state.SkipWithError("containers lost");
    state.counters["containers/s"] =
        benchmark::Counter(static_cast<double>(taken), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_ReceivePath)->Arg(2048);

// The floor: the socket's copy of each chunk, each container's CRC and its
// copy into a FIFO of the library's default size.
void BM_TwoCopiesAndCrc(benchmark::State& state)
{
    const Bytes stream = ContainerStream(static_cast<uint32_t>(state.range(0)));
    const std::size_t size = stream.size() / CONTAINERS_PER_RUN;
    Bytes receive(CHUNK);
    Bytes fifo(ConnectSettings().fifo_size);
    std::size_t fifo_offset = 0;
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < stream.size(); offset += CHUNK)
            std::memcpy(receive.data(), stream.data() + offset,
                        std::min(CHUNK, stream.size() - offset));
        for (std::size_t offset = 0; offset < stream.size(); offset += size) {
            benchmark::DoNotOptimize(ComputeCrc32Mpeg2(stream.data() + offset, size - 4));
            if (fifo_offset + size > fifo.size())
                fifo_offset = 0;
            std::memcpy(fifo.data() + fifo_offset, stream.data() + offset, size);
            fifo_offset += size;
        }
        benchmark::ClobberMemory();
    }
    state.counters["containers/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * CONTAINERS_PER_RUN, benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_TwoCopiesAndCrc)->Arg(2048);

class CheckingSink : public FrameSink {
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

void Assemble(benchmark::State& state, const Bytes& stream)
{
    CheckingSink sink;
    FrameAssembler assembler(sink);
    sink.assembler = &assembler;
    assembler.Allocate(SensorFrame::BUFFERRXMAX);
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < stream.size(); offset += CHUNK) {
            const auto piece = static_cast<uint32_t>(std::min(CHUNK, stream.size() - offset));
            uint8_t* room = assembler.ReceiveSpace();
            std::memcpy(room, stream.data() + offset, piece);
            assembler.Receive(room, piece);
        }
        assembler.DropPartialFrame();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["containers"] = static_cast<double>(sink.containers);
}

void BM_AssembleValidContainers(benchmark::State& state)
{
    Assemble(state, ContainerStream(static_cast<uint32_t>(state.range(0))));
}
BENCHMARK(BM_AssembleValidContainers)->Arg(2048);

void BM_AssembleChainedStarts(benchmark::State& state)
{
    constexpr std::size_t STREAM_BYTES = 4u << 20;
    Bytes stream;
    while (stream.size() < STREAM_BYTES) {
        const uint32_t block_length = stream.size() + 32 <= STREAM_BYTES ? 16 : 0;
        for (uint32_t word : {SensorFrame::CONTAINER_ID, SensorFrame::MAX_FRAME, 0x12345678u,
                              block_length})
            Put32(stream, word);
    }
    Assemble(state, stream);
}
BENCHMARK(BM_AssembleChainedStarts);

}  // namespace
