// The container check and the receive path against plain copies of the same
// bytes: the CRC alone, and chunks of 64 KB turned into FIFO containers.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "sensor_library/CScanvo.h"
#include "sensor_library/Crc32.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::size_t CHUNK = 65536;
constexpr int CONTAINERS_PER_RUN = 256;

void Put32(Bytes& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// A profile container as the sensor streams it: head, general block, one
// echo per column (Z, intensity, width), end block with the CRC.
Bytes ProfileContainer(uint32_t width, uint16_t counter)
{
    Bytes out;
    Put32(out, 0x021A01FF);
    Put32(out, 0);
    Put32(out, 0x021A0101);
    Put32(out, 52);
    out.push_back(static_cast<uint8_t>(counter));
    out.push_back(static_cast<uint8_t>(counter >> 8));
    out.resize(out.size() + 42, 0);
    Put32(out, 0x021A0601);
    Put32(out, 20 + 4 * width);
    const uint8_t head[12] = {0, 0, 1, 0, 7, 16, 8, 8, 16, 0, 0, 0};
    out.insert(out.end(), head, head + 12);
    for (uint32_t column = 0; column < width; ++column)
        Put32(out, column * 2654435761u);
    Put32(out, 0x021AFFFF);
    Put32(out, 12);
    const uint32_t total = static_cast<uint32_t>(out.size() + 4);
    std::memcpy(out.data() + 4, &total, 4);
    const uint32_t crc = ComputeCrc32Mpeg2(out.data(), out.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(crc >> shift));
    return out;
}

Bytes LinearizationFrame()
{
    const char magic[8] = {'L', 'I', 'N', '1', 'D', 'D', 0, 0};
    Bytes out = {0x07, 0x19};
    Put32(out, 8 + 10);
    out.insert(out.end(), magic, magic + 8);
    const uint32_t crc = ComputeCrc32Mpeg2(out.data(), out.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(crc >> shift));
    return out;
}

// Stands in for the socket: the benchmark feeds the connection itself.
class SilentTransport : public EthernetInterface {
public:
    void start(const TransportTarget&) override {}
    void stop() override {}
    int send(const char*, int length) override { return length; }
    void Connect() { OnConnected(); }

protected:
    void run() override {}
};

void BM_Crc32(benchmark::State& state)
{
    const Bytes bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
    for (auto _ : state)
        benchmark::DoNotOptimize(ComputeCrc32Mpeg2(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
// 8,628 bytes: a container of 2048 columns with its status blocks.
BENCHMARK(BM_Crc32)->Arg(8628)->Arg(64 << 10)->Arg(1 << 20)->Arg(1310736);

void BM_Memcpy(benchmark::State& state)
{
    const Bytes source(static_cast<std::size_t>(state.range(0)), 0x5A);
    Bytes target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Memcpy)->Arg(8628)->Arg(64 << 10)->Arg(1 << 20)->Arg(1310736);

Bytes ContainerStream(uint32_t width)
{
    Bytes stream;
    for (int i = 0; i < CONTAINERS_PER_RUN; ++i) {
        const Bytes container = ProfileContainer(width, static_cast<uint16_t>(i + 1));
        stream.insert(stream.end(), container.begin(), container.end());
    }
    return stream;
}

// The receive path as the transport thread runs it: 64 KB chunks in, checked
// containers into the FIFO, and a reader taking them out again.
void BM_ReceivePath(benchmark::State& state)
{
    const uint32_t width = static_cast<uint32_t>(state.range(0));
    const Bytes stream = ContainerStream(width);
    auto transport = std::make_shared<SilentTransport>();
    CScanvo scanvo;
    ConnectSettings settings;
    if (!scanvo.ConnectWithTransportForTest(settings, transport)) {
        state.SkipWithError("connect failed");
        return;
    }
    transport->Connect();
    const Bytes lin = LinearizationFrame();
    scanvo.OnReceive(reinterpret_cast<const char*>(lin.data()), static_cast<uint32_t>(lin.size()));
    // The reader takes one byte of each container: its own copy is not the
    // receive path's cost.
    unsigned char first_byte = 0;
    int64_t taken = 0;
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < stream.size(); offset += CHUNK) {
            const std::size_t piece = std::min(CHUNK, stream.size() - offset);
            scanvo.OnReceive(reinterpret_cast<const char*>(stream.data() + offset),
                             static_cast<uint32_t>(piece));
            while (scanvo.GetRawData(&first_byte, 1) > 0)
                ++taken;
        }
    }
    state.counters["containers/s"] =
        benchmark::Counter(static_cast<double>(taken), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_ReceivePath)->Arg(640)->Arg(1280)->Arg(2048);

// What the receive path cannot do with less: copy each chunk in, check each
// container, copy it into a FIFO of the library's default size.
void BM_TwoCopiesAndCrc(benchmark::State& state)
{
    const Bytes stream = ContainerStream(static_cast<uint32_t>(state.range(0)));
    const std::size_t size = stream.size() / CONTAINERS_PER_RUN;
    Bytes receive(CHUNK);
    Bytes fifo(ConnectSettings().fifo_size);
    std::size_t fifo_offset = 0;
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < stream.size(); offset += CHUNK)
            std::memcpy(receive.data(), stream.data() + offset, std::min(CHUNK, stream.size() - offset));
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
BENCHMARK(BM_TwoCopiesAndCrc)->Arg(640)->Arg(1280)->Arg(2048);

}  // namespace
