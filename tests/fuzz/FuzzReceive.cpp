// The receive path under arbitrary bytes: receive buffer and FIFO sizes and
// the chunking come from the input's head, then the client reads everything
// a caller can read.
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "sensor_library/CScanvo.h"
#include "FakeTransport.h"

namespace {

void ReadEverything(CScanvo& scanvo, uint16_t read_size)
{
    std::vector<double> x(read_size), z(read_size);
    std::vector<int32_t> intensity(read_size), width(read_size);
    std::vector<uint8_t> raw(read_size);
    uint32_t encoder = 0;
    uint8_t user_io = 0;
    int32_t picture_count = 0;
    const auto capacity = static_cast<int32_t>(read_size);
    for (int i = 0; i < 64; ++i) {
        if (scanvo.GetXZIExtended(x.data(), z.data(), intensity.data(), width.data(), capacity,
                                  &encoder, &user_io, 0, raw.data(), capacity,
                                  &picture_count) < 0)
            break;
    }
    uint32_t geometry[6] = {};
    scanvo.GetImage(reinterpret_cast<char*>(raw.data()), capacity, &geometry[0], &geometry[1],
                    &geometry[2], &geometry[3], &geometry[4], &geometry[5], 0);
    scanvo.GetRawData(raw.data(), capacity);
    scanvo.CopyLastContainer(raw.data(), read_size);
    scanvo.CopyContainerBlock(0x021A0101, raw.data(), read_size, -1);
    char text[256];
    for (const char* name : {"PictureCounter", "SystemTime", "CPUFiFo", "LinearizationData",
                             "RawData", "SerialNumber"})
        scanvo.ReadData(name, text, sizeof(text), -1);
    scanvo.GetInfo(text, sizeof(text), "text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    ConnectSettings settings;
    settings.ip = "127.0.0.1";
    settings.port = "32001";
    settings.receive_buffer_size = input.Take<uint16_t>() * 128u;
    settings.fifo_size = input.Take<uint16_t>() * 64u;
    const uint16_t chunk = input.Take<uint16_t>();
    const uint16_t read_size = input.Take<uint16_t>();
    auto transport = std::make_shared<FakeTransport>();
    CScanvo scanvo;
    if (!scanvo.ConnectWithTransportForTest(settings, transport))
        return 0;
    transport->Connect();
    // Chunks of the given size, then of every size up to it in turn.
    std::size_t step = 0;
    for (std::size_t offset = 0; offset < input.RestSize();) {
        const std::size_t piece =
            std::min<std::size_t>(input.RestSize() - offset, 1 + (chunk + step++) % (chunk + 1u));
        const uint8_t* begin = input.Rest() + offset;
        transport->Feed(TestSupport::Bytes(begin, begin + piece));
        offset += piece;
    }
    ReadEverything(scanvo, read_size);
    scanvo.Disconnect();
    return 0;
}
