// Writes each fuzz target's seed corpus into <dir>/<target>/, built with the
// tests' own frame, scan, XML and LIN1DD builders, and the inputs that once
// stalled the receive path into <dir>/<target>-regress/.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ContainerBuilder.h"
#include "support/SensorScans.h"
#include "support/SimulatedSensorModel.h"

using namespace TestSupport;

namespace {

std::filesystem::path root;

void Write(const std::string& folder, const std::string& name, const Bytes& bytes)
{
    std::filesystem::create_directories(root / folder);
    if (FILE* file = std::fopen((root / folder / name).c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// The receive target's head: buffer / 128, FIFO / 64, chunk, read size.
Bytes ReceiveHead(uint16_t buffer, uint16_t fifo, uint16_t chunk, uint16_t read_size)
{
    Bytes head;
    for (uint16_t value : {buffer, fifo, chunk, read_size})
        AppendU16(head, value);
    return head;
}

// Container starts that are also a chain of 16-byte blocks, ending in an
// empty block: walked once per start, 1 MB of it took seconds.
Bytes ChainedStarts(uint32_t units)
{
    Bytes bytes;
    for (uint32_t i = 0; i <= units; ++i) {
        AppendU32(bytes, Tag::CONTAINER);
        AppendU32(bytes, 4202500);
        AppendU32(bytes, 0x12345678);
        AppendU32(bytes, i < units ? 16 : 0);
    }
    return bytes;
}

void ReceiveSeeds()
{
    const Bytes lin = ShortFrame(0x07, BuildLin1dd(LinModel()));
    const Bytes xml = TextContainer(SensorXml(DefaultXmlValues()));
    Write("receive", "ready", Concat({ReceiveHead(256, 1024, 1500, 64), lin, xml, RawScan(1),
                                      RawScan(2), SyncFrame(8), RawScan(3)}));
    Write("receive", "scans", Concat({ReceiveHead(64, 256, 7, 32), lin,
                                      ScanContainer(ScanKind::LinearProfile, 1, 10, 16),
                                      ScanContainer(ScanKind::Camera, 2, 20, 8)}));
    Write("receive", "not-ready", Concat({ReceiveHead(16, 16, 100, 8), RawScan(1), xml}));
    Write("receive-regress", "chained-starts",
          Concat({ReceiveHead(65535, 1024, 65535, 16), lin, ChainedStarts(65536), RawScan(1)}));
}

void OtherSeeds()
{
    Write("linearization", "full", BuildLin1dd(LinModel()));
    LinContent check;
    check.check_mode = true;
    check.tables = false;
    Write("linearization", "check-mode", BuildLin1dd(LinModel(), check));
    Write("xml_status", "status", Concat({Text("SerialNumber"), Bytes{0},
                                          Text(SensorXml(DefaultXmlValues()))}));
    Write("xml_status", "small", Concat({Text("GetFirmwareVersion"), Bytes{0},
                                         Text("<device><general/></device>")}));
    Write("log_config", "console", Text("activate_log=1\nsink_type=0\n"));
    Write("log_config", "files", Text("activate_log=1\nsink_type=1,savereceivedbinarydata\nfile_path=\"/tmp\"\n"));
    // Read the system port's first bytes, then ask the system its ID.
    Bytes calls = {0x00};
    AppendU32(calls, 0);
    AppendU64(calls, 0);
    AppendU16(calls, 64);
    calls.resize(calls.size() + 64);
    calls.push_back(0x04);
    AppendU32(calls, 0);
    AppendU64(calls, 0);
    AppendU16(calls, 128);
    calls.resize(calls.size() + 128);
    Write("gentl_port", "read-and-info", calls);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    root = argv[1];
    ReceiveSeeds();
    OtherSeeds();
    return 0;
}
