// Writes each fuzz target's seed corpus into <dir>/<target>/, built with the
// tests' own frame, scan, XML and LIN1DD builders, and the inputs that once
// stalled the receive path into <dir>/<target>-regress/.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ContainerBuilder.h"
#include "support/SensorScans.h"
#include "support/SimulatedDiscovery.h"
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

// The sensor_replies target's number reply, unsigned when `value` does not
// fit a signed one.
void AppendReply(Bytes& bytes, int64_t value)
{
    bytes.push_back(value > INT32_MAX ? 0x60 : 0x40);
    AppendU32(bytes, static_cast<uint32_t>(value));
}

// A sensor opening with `width` points in its region, then: read the width,
// start, take a scan of two profiles of four points.
Bytes SensorSession(int64_t width)
{
    Bytes bytes;
    // The startup reads, in order, then the camera mode read after the stop.
    for (const int64_t value :
         {int64_t{1},   int64_t{1280}, int64_t{1024}, int64_t{0},   int64_t{0},    width,
          int64_t{512}, int64_t{2},    int64_t{0},    int64_t{0},   int64_t{120},  int64_t{100},
          int64_t{200}, int64_t{80},   int64_t{1280}, int64_t{500}, int64_t{4000}, int64_t{3},
          int64_t{3},   int64_t{3},    int64_t{3},    int64_t{0},   int64_t{0}})
        AppendReply(bytes, value);
    bytes.push_back(129);  // 9, with bit 7: the scan region
    bytes.push_back(0);    // GetROI1WidthX
    AppendReply(bytes, width);
    bytes.push_back(19);  // ABC32f
    bytes.push_back(12);  // SetAcquisitionStart: the FIFO is empty at once
    bytes.push_back(0x81);
    bytes.push_back(13);  // Acquire: two profiles with their status reads
    for (int profile = 0; profile < 2; ++profile) {
        bytes.push_back(0);
        AppendU16(bytes, 4);
        for (int point = 0; point < 4; ++point)
            for (const uint8_t value : {uint8_t(8 * point), uint8_t(40), uint8_t(200)})
                bytes.push_back(value);
        AppendU32(bytes, 7 + profile);
        AppendU16(bytes, 10 + profile);
        for (int status = 0; status < 3; ++status) AppendReply(bytes, 41);
    }
    return bytes;
}

void SensorReplySeeds()
{
    Write("sensor_replies", "open-and-scan", SensorSession(4));
    Write("sensor_replies", "wide", SensorSession(1280));
    // Once took the consumer down: a width of 2^32 - 1 sized the scan planes.
    Write("sensor_replies-regress", "huge-width", SensorSession(4294967295));
    Write("sensor_replies-regress", "fifty-million", SensorSession(50000000));
}

// The discovery target's datagrams: a 16-bit length, then the bytes.
Bytes Datagrams(uint8_t mode, const std::vector<std::string>& texts)
{
    Bytes bytes{mode};
    for (const std::string& text : texts) {
        AppendU16(bytes, static_cast<uint16_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    return bytes;
}

void DiscoverySeeds()
{
    const DiscoveryIdentity sensor = SensorIdentity("10.213.1.2", "1001");
    DiscoveryIdentity plain = sensor, nameless = SensorIdentity("10.213.1.3", "1002");
    plain.erase("USERSTRING");
    nameless.erase("ARTICLENUMBER");
    nameless.erase("SERIAL");
    Write("discovery", "scan",
          Datagrams(0, {DiscoveryReply(plain), DiscoveryReply(sensor), DiscoveryReply(nameless),
                        DiscoveryReply(SensorIdentity("192.168.7.5", "1003"))}));
    Write("discovery", "network-change",
          Datagrams(1, {"<VEXO DIR=\"ReplyOk\" CMD=\"Device_SetNetwork\" />"}));
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
    SensorReplySeeds();
    DiscoverySeeds();
    return 0;
}
