// Scans from the simulated sensor on 127.0.0.1:32001 (in the test's own
// loopback namespace) as a consumer receives them through the exported
// GenTL functions of the built .cti.
#include <chrono>
#include <ctime>
#include <fstream>
#include <initializer_list>
#include <vector>

#include "gentl_producers/GenTesk3d/GenTLDataStreamTesk.h"
#include "producer/ProducerSession.h"
#include "sensor_library/SensorTable.h"
#include "support/SensorScans.h"
#include "support/SimulatedSensorModel.h"

namespace {

using namespace GenTLCore::ZoTL;
using namespace std::chrono_literals;

constexpr uint32_t WIDTH = 64;
constexpr uint32_t PROFILES = 4;
constexpr size_t BUFFER_COUNT = 4;

template <class T>
T At(const uint8_t* base, uint64_t offset)
{
    T value{};
    std::memcpy(&value, base + offset, sizeof value);
    return value;
}

// Bytes of a scan's 16-bit intensity plane and ABC32f range plane.
uint64_t Planes(uint32_t width)
{
    return uint64_t{2 + 12} * width * PROFILES;
}

class StreamEndToEndTest : public TestSupport::ProducerSession {
protected:
    void SetUp() override
    {
        ProducerSession::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        StartSensor();
        ASSERT_EQ(GC_ERR_SUCCESS, OpenDevice());
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_REGION_SELECTOR, 1u));  // the scan region
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_WIDTH, WIDTH));
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_HEIGHT, PROFILES));
    }

    static constexpr uint32_t NO_PART = ~0u;
    template <class T>
    T Info(BUFFER_HANDLE buffer, int32_t command, uint32_t part = NO_PART)
    {
        T value{};
        size_t size = sizeof value;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        EXPECT_EQ(GC_ERR_SUCCESS, Query(buffer, command, part, &type, &value, &size)) << command;
        return value;
    }
    template <class T>
    T StreamInfo(STREAM_INFO_CMD command)
    {
        T value{};
        size_t size = sizeof value;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->DSGetInfo(stream, command, &type, &value, &size)) << command;
        return value;
    }
    uint64_t Underruns() { return StreamInfo<uint64_t>(STREAM_INFO_NUM_UNDERRUN); }
    uint64_t Started() { return StreamInfo<uint64_t>(STREAM_INFO_NUM_STARTED); }
    // The buffers queued and not yet delivered, as the buffers answer and as
    // the stream counts them.
    void ExpectQueued(size_t expected)
    {
        size_t queued = 0;
        for (BUFFER_HANDLE buffer : buffers) queued += Info<bool8_t>(buffer, BUFFER_INFO_IS_QUEUED);
        EXPECT_EQ(expected, queued - StreamInfo<size_t>(STREAM_INFO_NUM_AWAIT_DELIVERY));
        EXPECT_EQ(expected, StreamInfo<size_t>(STREAM_INFO_NUM_QUEUED));
    }
    GC_ERROR Query(BUFFER_HANDLE buffer, int32_t command, uint32_t part, INFO_DATATYPE* type,
                   void* value, size_t* size)
    {
        return part == NO_PART
                   ? cti->DSGetBufferInfo(stream, buffer, command, type, value, size)
                   : cti->DSGetBufferPartInfo(stream, buffer, part, command, type, value, size);
    }
    struct Answer {
        const char* name;
        int32_t command;  // of the part's info when `part` is given
        GC_ERROR code;
        uint64_t value;         // when answered
        const char* text = "";  // the refusal's last error; null: not checked
        uint32_t part = NO_PART;
    };
    void ExpectAnswers(BUFFER_HANDLE buffer, std::initializer_list<Answer> rows)
    {
        for (const Answer& row : rows) {
            SCOPED_TRACE(row.name);
            uint64_t value = 0;
            size_t size = sizeof value;
            INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
            ASSERT_EQ(row.code, Query(buffer, row.command, row.part, &type, &value, &size));
            if (row.code == GC_ERR_SUCCESS) {
                EXPECT_EQ(row.value, value);
            } else if (row.text != nullptr) {
                EXPECT_EQ(row.text, LastError());
            }
        }
    }

    // Opens the stream with BUFFER_COUNT buffers of PayloadSize, `queued` of
    // them queued, registers both events and starts the stream for `count`
    // buffers (and the sensor when `start_sensor`).
    void Start(size_t queued, bool start_sensor = true, uint64_t count = GENTL_INFINITE)
    {
        OpenStream();
        size_t payload = 0, size = sizeof payload;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        ASSERT_EQ(GC_ERR_NOT_AVAILABLE,  // the stream does not know GenDC: ask the device
                  cti->DSGetInfo(stream, STREAM_INFO_PAYLOAD_SIZE, &type, &payload, &size));
        payload = std::stoul(Read(RD_PAYLOAD_SIZE));
        memory.assign(BUFFER_COUNT, std::vector<uint8_t>(payload));
        buffers.assign(BUFFER_COUNT, nullptr);
        for (size_t i = 0; i < BUFFER_COUNT; ++i) {
            ASSERT_EQ(GC_ERR_SUCCESS, cti->DSAnnounceBuffer(stream, memory[i].data(), payload,
                                                            nullptr, &buffers[i]));
            ASSERT_EQ(GC_ERR_SUCCESS,
                      i < queued ? cti->DSQueueBuffer(stream, buffers[i]) : GC_ERR_SUCCESS);
        }
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCRegisterEvent(stream, EVENT_NEW_BUFFER, &new_buffer));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCRegisterEvent(stream, EVENT_MODULE, &module_event));
        ASSERT_EQ(GC_ERR_SUCCESS,
                  cti->DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, count));
        stream_acquiring = true;
        ASSERT_EQ(GC_ERR_SUCCESS, start_sensor ? Write(RD_ACQUISITION_START, 1u) : GC_ERR_SUCCESS);
    }
    BUFFER_HANDLE NextBuffer()
    {
        void* datum[2] = {};  // the buffer handle, then the user pointer
        size_t size = sizeof datum;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->EventGetData(new_buffer, datum, &size, 3000));
        return datum[0];
    }
    // The ID of the next stream module event (with no data), or 0.
    uint64_t NextModuleEvent(uint64_t timeout_ms = 3000)
    {
        uint8_t packet[16] = {};
        size_t size = sizeof packet;
        if (cti->EventGetData(module_event, packet, &size, timeout_ms) != GC_ERR_SUCCESS) return 0;
        EXPECT_EQ(8u, size);
        return At<uint32_t>(packet, 4);
    }
    // Stops, flushes, revokes and closes; the sensor stops streaming.
    void CloseStream()
    {
        EXPECT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_STOP, 1u));
        EXPECT_EQ(GC_ERR_SUCCESS, stream_acquiring
                                      ? cti->DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT)
                                      : GC_ERR_SUCCESS);
        EXPECT_EQ(GC_ERR_SUCCESS, cti->DSFlushQueue(stream, ACQ_QUEUE_ALL_DISCARD));
        for (BUFFER_HANDLE buffer : buffers)
            EXPECT_EQ(GC_ERR_SUCCESS, cti->DSRevokeBuffer(stream, buffer, nullptr, nullptr));
        EXPECT_EQ(GC_ERR_SUCCESS, cti->DSClose(stream));
        EXPECT_TRUE(TestSupport::WaitUntil([&] { return !sensor->IsStreaming(); }, 2s));
    }

    // The planes of a scan whose last profile has picture counter `last`,
    // against the sensor's deterministic profiles: exact floats for A and C.
    void ExpectScanPlanes(const uint8_t* planes, uint32_t last, uint32_t width = WIDTH)
    {
        const TestSupport::LinModel model;
        const uint8_t* range = planes + 2 * width * PROFILES;
        for (uint32_t row = 0; row < PROFILES; ++row) {
            const auto counter = static_cast<uint16_t>(last - (PROFILES - 1 - row));
            for (uint32_t c = 0; c < width; ++c) {
                SCOPED_TRACE(testing::Message() << "row " << row << " column " << c);
                const uint64_t point = uint64_t{row} * width + c;
                const double z_row = TestSupport::ScanRawZ(c) / 32.0;
                ASSERT_EQ(
                    TestSupport::ScanIntensity(c, counter) * 4 + (TestSupport::ScanLowByte(c) >> 6),
                    At<uint16_t>(planes, 2 * point));
                ASSERT_EQ(static_cast<float>(model.X(c, z_row)), At<float>(range, 12 * point));
                ASSERT_EQ(static_cast<float>(model.Z(z_row)), At<float>(range, 12 * point + 8));
            }
        }
    }
    // The chunk walk lists the Scan3d, user IO, encoder and picture counter
    // chunks from the end, then the trailer over the planes; answers the
    // picture counter.
    uint32_t PictureCounterChunk(BUFFER_HANDLE buffer, const uint8_t* base, uint32_t width)
    {
        SINGLE_CHUNK_DATA chunks[8] = {};
        size_t count = 8;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->DSGetBufferChunkData(stream, buffer, chunks, &count));
        const uint64_t d = Planes(width);
        std::vector<std::vector<uint64_t>> listed;
        for (size_t i = 0; i < count; ++i)
            listed.push_back({chunks[i].ChunkID, static_cast<uint64_t>(chunks[i].ChunkOffset),
                              uint64_t{chunks[i].ChunkLength}});
        EXPECT_EQ((std::vector<std::vector<uint64_t>>{{0xF000BAAA, d + 44, 52},
                                                      {0xF000BAAD, d + 32, 4},
                                                      {0xF000BAAC, d + 20, 4},
                                                      {0xF000BAAB, d + 8, 4},
                                                      {0xDEADBEEF, 0, d}}),
                  listed);
        return At<uint32_t>(base, d + 8);
    }
    EVENT_HANDLE new_buffer = nullptr;
    EVENT_HANDLE module_event = nullptr;
    std::vector<std::vector<uint8_t>> memory;
    std::vector<BUFFER_HANDLE> buffers;
    bool stream_acquiring = false;
};

// Intensity and ABC32f range with chunks, as a multi-part payload and in the
// default GenDC container: the sensor's profiles exactly, frame IDs without
// gaps, one scan event per frame.
TEST_F(StreamEndToEndTest, ScansArriveAsMultiPartOrGenDCPayloads)
{
    EXPECT_EQ("1", Read(RD_GENDC_STREAMING_MODE));  // GenDC by default
    for (const bool gendc : {false, true}) {
        SCOPED_TRACE(gendc ? "GenDC" : "multi-part");
        // As the README tells a consumer that does not read GenDC: the
        // register through the remote port, before AcquisitionStart.
        const uint32_t mode = gendc ? 1 : 0;
        size_t size = sizeof mode;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCWritePort(port, 0x50000044, &mode, &size));
        // At most three scans ahead of the buffers given back, so one of the
        // four is always queued however slow this thread runs: a gap is then
        // a scan the producer lost, not one it had no buffer for.
        uint32_t limit = sensor->ContainersSent() + (BUFFER_COUNT - 1) * PROFILES;
        sensor->LimitContainersSent(limit);
        Start(BUFFER_COUNT);
        uint64_t frame = 0;
        for (int scan = 0; scan < 6; ++scan) {
            BUFFER_HANDLE buffer = NextBuffer();
            ASSERT_NE(nullptr, buffer);
            const auto* base = static_cast<const uint8_t*>(Info<void*>(buffer, BUFFER_INFO_BASE));
            const uint64_t next = Info<uint64_t>(buffer, BUFFER_INFO_FRAMEID);
            EXPECT_TRUE(frame == 0 || next == frame + 1) << frame << " then " << next;
            frame = next;
            const uint64_t intensity = 2 * WIDTH * PROFILES, at = reinterpret_cast<uintptr_t>(base);
            if (gendc) {
                ASSERT_EQ(0, std::memcmp(base, "GNDC", 4));
                const auto data = At<uint64_t>(base, 40);
                EXPECT_EQ(424u, At<uint32_t>(base, 48));  // intensity, range and simple chunks
                ExpectAnswers(
                    buffer,
                    {{"type", BUFFER_INFO_PAYLOADTYPE, 0, PAYLOAD_TYPE_GENDC},
                     {"filled", BUFFER_INFO_SIZE_FILLED, 0, data + Planes(WIDTH) + 96},
                     {"height", BUFFER_INFO_HEIGHT, GC_ERR_NO_DATA, 0,
                      "GetBufferInfo: height should be queried from GenDC descriptor for GenDC "
                      "payload"},
                     {"chunks", BUFFER_INFO_CONTAINS_CHUNKDATA, GC_ERR_NO_DATA, 0,
                      "GetBufferInfo: chunk-data should be handled fully by the consumer for "
                      "GenDC payloads"},
                     {"chunk payload", BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE, GC_ERR_NO_DATA, 0,
                      "GetBufferInfo: chunk payload size query not applicable for GenDC payload, "
                      "find chunk location based on the GenDC descriptor info."}});
                // The picture counter chunk leads the chunk data; no trailer.
                ExpectScanPlanes(base + data, At<uint32_t>(base + data, Planes(WIDTH)));
            } else {
                uint32_t parts = 0;
                EXPECT_EQ(GC_ERR_SUCCESS, cti->DSGetNumBufferParts(stream, buffer, &parts));
                EXPECT_EQ(2u, parts);
                ExpectAnswers(
                    buffer,
                    {{"type", BUFFER_INFO_PAYLOADTYPE, 0, PAYLOAD_TYPE_MULTI_PART},
                     {"filled", BUFFER_INFO_SIZE_FILLED, 0, Planes(WIDTH) + 104},
                     {"incomplete", BUFFER_INFO_IS_INCOMPLETE, 0, 0},
                     {"width", BUFFER_INFO_WIDTH, GC_ERR_NO_DATA, 0,
                      "GetBufferInfo: width should be queried per-part for multi-part payload"},
                     {"y-padding", BUFFER_INFO_YPADDING, GC_ERR_NO_DATA, 0,
                      "GetBufferInfo: y-padding not available for multi-part payload"},
                     {"image offset", BUFFER_INFO_IMAGEOFFSET, GC_ERR_NO_DATA, 0,
                      "GetBufferInfo: image offset query not supported  for multi-part and GenDC "
                      "payloads"},
                     {"timestamp", BUFFER_INFO_TIMESTAMP_NS, GC_ERR_NOT_AVAILABLE, 0,
                      "GetBufferInfo: timestamps not supported by the device"},
                     {"chunk payload", BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE, 0,
                      Planes(WIDTH) + 104},
                     {"part 0 base", BUFFER_PART_INFO_BASE, 0, at, "", 0},
                     {"part 0 size", BUFFER_PART_INFO_DATA_SIZE, 0, intensity, "", 0},
                     {"part 1 base", BUFFER_PART_INFO_BASE, 0, at + intensity, "", 1},
                     {"part 1 size", BUFFER_PART_INFO_DATA_SIZE, 0, 6 * intensity, "", 1},
                     {"part 1 format", BUFFER_PART_INFO_DATA_FORMAT, 0, PFNC_COORD3D_ABC32F, "", 1},
                     {"part 1 height", BUFFER_PART_INFO_HEIGHT, 0, PROFILES, "", 1},
                     {"part 2", BUFFER_PART_INFO_DATA_TYPE, GC_ERR_INVALID_INDEX, 0, nullptr, 2}});
                ExpectScanPlanes(base, PictureCounterChunk(buffer, base, WIDTH));
            }
            ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
            sensor->LimitContainersSent(limit += PROFILES);
        }
        for (uint64_t i = 1; i <= frame; ++i)  // dropped scans too
            ASSERT_EQ(SCAN_EVENT_ID, NextModuleEvent()) << i;
        CloseStream();
    }
}

// The sensor restarted with a narrower scan while the stream runs, then with
// one wider than the buffers: never a write past a buffer's end.
TEST_F(StreamEndToEndTest, ASensorRestartedWithAnotherWidthNeverOverflows)
{
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_GENDC_STREAMING_MODE, 0u));
    Start(BUFFER_COUNT);
    for (const uint32_t width : {WIDTH / 2, WIDTH * 2}) {
        SCOPED_TRACE(width);
        const bool fits = width < WIDTH;
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_STOP, 1u));
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_WIDTH, width));
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_START, 1u));
        BUFFER_HANDLE buffer = nullptr;
        for (int i = 0; i < 20; ++i) {  // scans taken before the stop still come
            buffer = NextBuffer();
            ASSERT_NE(nullptr, buffer);
            if (fits ? Info<size_t>(buffer, BUFFER_PART_INFO_WIDTH, 0) == width
                     : Info<bool8_t>(buffer, BUFFER_INFO_IS_INCOMPLETE) != 0)
                break;
            ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
        }
        const auto* base = static_cast<const uint8_t*>(Info<void*>(buffer, BUFFER_INFO_BASE));
        EXPECT_EQ(!fits, Info<bool8_t>(buffer, BUFFER_INFO_IS_INCOMPLETE));
        if (fits) ExpectScanPlanes(base, PictureCounterChunk(buffer, base, width), width);
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
    }
    CloseStream();
}

// A sensor without a settings builder, 2048 wide: its placeholder width of 0
// is refused; the width and height written read back and are delivered.
TEST_F(StreamEndToEndTest, AWrittenWidthReadsBackAndIsDelivered)
{
    ASSERT_EQ(GC_ERR_SUCCESS, cti->DevClose(device));
    sensor = nullptr;
    sensor = std::make_unique<TestSupport::SimulatedSensor>(
        TestSupport::SimulatedSensor::Options{"127.0.0.1", false, 32001});
    sensor->SetStreamRate(400);
    sensor->SetStreamWidth(2048);
    sensor->SetLinModel(TestSupport::LinModel{.width_x = 2048});
    ASSERT_EQ(GC_ERR_SUCCESS, OpenDevice());
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_REGION_SELECTOR, 1u));
    EXPECT_EQ("failed " + std::to_string(GC_ERR_INVALID_VALUE), Read(RD_WIDTH));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_WIDTH, 2048u));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_HEIGHT, 10u));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_COMPONENT_SELECTOR, 1u));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_PIXEL_FORMAT, uint32_t{PFNC_COORD3D_ABC32F}));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_GENDC_STREAMING_MODE, 0u));
    EXPECT_EQ("2048", Read(RD_WIDTH));
    EXPECT_EQ("10", Read(RD_HEIGHT));
    Start(BUFFER_COUNT);
    BUFFER_HANDLE buffer = NextBuffer();
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(2048u, Info<size_t>(buffer, BUFFER_PART_INFO_WIDTH, 1));
    EXPECT_EQ(10u, Info<size_t>(buffer, BUFFER_PART_INFO_HEIGHT, 1));
    CloseStream();
}

// The process's peak resident memory in kB, from /proc.
uint64_t PeakResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6));
    return 0;
}

// Sizes another client set that no sensor has are refused at open and while
// streaming; the stream keeps the consumer's sizes within 100 MB.
TEST_F(StreamEndToEndTest, SizesNoSensorHasAreRefusedAtOpenAndWhileStreaming)
{
    const uint64_t baseline_kb = PeakResidentKb();
    const std::string refused = "failed " + std::to_string(GC_ERR_INVALID_VALUE);
    for (const char* value : {"0", "50000000", "4294967295"}) {
        SCOPED_TRACE(value);
        const bool step_refused = std::string(value) != "0";  // a step of 0 is decimation 1
        for (const char* item : {"ROI1WidthX", "ROI1HeightZ", "ROI1StepX"})
            sensor->SetSetting(item, value);
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DevClose(device));
        ASSERT_EQ(GC_ERR_SUCCESS, OpenDevice());
        EXPECT_EQ(refused, Read(RD_WIDTH));
        EXPECT_EQ(refused, Read(RD_HEIGHT));
        EXPECT_EQ(step_refused ? refused : "1", Read(RD_DECIMATION_HORIZONTAL));
    }
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_GENDC_STREAMING_MODE, 0u));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_REGION_SELECTOR, 1u));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_WIDTH, WIDTH));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_HEIGHT, PROFILES));
    Start(BUFFER_COUNT);
    BUFFER_HANDLE buffer = NextBuffer();
    ASSERT_NE(nullptr, buffer);
    sensor->SetSetting("ROI1WidthX", "4294967295");
    // Unlike the width written, so a read-back time-out first.
    EXPECT_EQ("failed", Read(RD_WIDTH).substr(0, 6));
    EXPECT_EQ(refused, Read(RD_WIDTH));
    ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
    buffer = NextBuffer();
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(WIDTH, Info<size_t>(buffer, BUFFER_PART_INFO_WIDTH, 1));
    CloseStream();
    EXPECT_LT(PeakResidentKb(), baseline_kb + 100 * 1024);
}

// Before AcquisitionStart the acquisition thread idles without spinning.
// With no buffer queued, scans are dropped yet announced, and counted in the
// frame IDs and as underruns; with a line time of a second, a stop while the
// thread waits for a buffer returns at once.
TEST_F(StreamEndToEndTest, IdlesDropsScansWithoutBuffersAndStopsPromptly)
{
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_LINE_RATE, 1.0f));
    Start(0, false);
    const std::clock_t cpu_before = std::clock();
    EXPECT_EQ(0u, NextModuleEvent(500));  // no scan before AcquisitionStart
    EXPECT_LT(static_cast<double>(std::clock() - cpu_before) / CLOCKS_PER_SEC, 0.25);

    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_START, 1u));
    for (int scan = 1; scan <= 2; ++scan)  // the second comes once the first was dropped
        ASSERT_EQ(SCAN_EVENT_ID, NextModuleEvent()) << scan;
    void* datum[2] = {};
    size_t size = sizeof datum;
    EXPECT_EQ(GC_ERR_TIMEOUT, cti->EventGetData(new_buffer, datum, &size, 0));
    ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffers[0]));
    ASSERT_EQ(buffers[0], NextBuffer());
    const uint64_t frame_id = Info<uint64_t>(buffers[0], BUFFER_INFO_FRAMEID);
    EXPECT_GE(frame_id, 2u);
    EXPECT_GE(Underruns(), frame_id - 1);  // one a dropped scan

    ASSERT_EQ(SCAN_EVENT_ID, NextModuleEvent());  // this scan waits for a buffer
    const auto stop_start = std::chrono::steady_clock::now();
    EXPECT_EQ(GC_ERR_SUCCESS, cti->DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
    stream_acquiring = false;
    EXPECT_LT(std::chrono::steady_clock::now() - stop_start, 500ms);
    CloseStream();
}

// A finite acquisition stops by itself; the scans taken after that find no
// buffer, and are nobody's loss. The buffers it left with the engine still
// count as queued, and each one filled as started. The next acquisition on
// the stream counts its losses again.
TEST_F(StreamEndToEndTest, CountsNoUnderrunAfterAFiniteAcquisitionStoppedByItself)
{
    Start(BUFFER_COUNT, true, 2);
    ASSERT_NE(nullptr, NextBuffer());
    ASSERT_NE(nullptr, NextBuffer());
    ASSERT_TRUE(TestSupport::WaitUntil(
        [&] { return StreamInfo<bool8_t>(STREAM_INFO_IS_GRABBING) == 0; }, 3s));
    const uint64_t underruns = Underruns();
    const uint32_t sent = sensor->ContainersSent();
    ASSERT_TRUE(TestSupport::WaitUntil(
        [&] { return sensor->ContainersSent() >= sent + 4 * BUFFER_COUNT * PROFILES; }, 5s));
    EXPECT_EQ(underruns, Underruns());
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return Started() == BUFFER_COUNT; }, 5s));
    ExpectQueued(BUFFER_COUNT - 2);

    ASSERT_EQ(GC_ERR_SUCCESS, cti->DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
    ExpectQueued(BUFFER_COUNT - 2);
    // The two left queued are filled, then scans find no buffer.
    ASSERT_EQ(GC_ERR_SUCCESS,
              cti->DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE));
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return Underruns() > underruns; }, 5s));
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return Started() == BUFFER_COUNT + 2; }, 5s));
    CloseStream();
}

// A consumer that keeps its buffers lets the library's FIFO (four containers)
// overflow: the underrun count holds every profile dropped there. A stream
// opened again on the device counts from zero.
TEST_F(StreamEndToEndTest, ProfilesLostInTheLibraryFifoCountAsUnderruns)
{
    using WriteData = int (*)(void*, char*, int);
    const auto write = reinterpret_cast<WriteData>(cti.Symbol("Scanvo_WriteData"));
    ASSERT_NE(nullptr, write);
    const auto set_fifo = [&](size_t bytes) {
        std::string text = "SetDllFiFoSize=" + std::to_string(bytes) + "\r";
        return write(nullptr, text.data(), static_cast<int>(text.size()));
    };
    sensor->SetStreamWidth(WIDTH);
    const size_t container =
        TestSupport::ScanContainer(TestSupport::ScanKind::RawProfile, 1, 0, WIDTH).size();
    ASSERT_EQ(GC_ERR_SUCCESS, cti->DevClose(device));
    ASSERT_LT(0, set_fifo(4 * container));  // taken at connect
    const GC_ERROR opened = OpenDevice();
    ASSERT_LT(0, set_fifo(SensorTable::DEFAULT_FIFO_BYTES));
    ASSERT_EQ(GC_ERR_SUCCESS, opened);
    for (const auto& [id, value] : {std::pair{RD_REGION_SELECTOR, 1u}, {RD_WIDTH, WIDTH},
                                    {RD_HEIGHT, 1u}, {RD_GENDC_STREAMING_MODE, 0u}})
        ASSERT_EQ(GC_ERR_SUCCESS, Write(id, value));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_LINE_RATE, 1.0f));
    for (int open = 1; open <= 2; ++open) {
        SCOPED_TRACE(open);
        Start(1, false);
        // Before the first scan: the buffer waits with the engine.
        ExpectQueued(1);
        EXPECT_EQ(0u, Started());
        EXPECT_EQ(0u, Underruns());
        const uint64_t sent_before = sensor->ContainersSent();
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_START, 1u));
        ASSERT_NE(nullptr, NextBuffer());  // and kept
        ASSERT_TRUE(TestSupport::WaitUntil([&] { return Underruns() >= 200; }, 5s));
        // All but the few taken (one a second) and the four the FIFO holds.
        const uint64_t sent = sensor->ContainersSent() - sent_before;
        const uint64_t lost = Underruns();
        EXPECT_LE(lost, sensor->ContainersSent() - sent_before);
        EXPECT_GE(lost * 10, sent * 9);
        EXPECT_EQ(1u, Started());
        CloseStream();
    }
}

// In camera mode the sensor streams images: Mono8 buffers of the image's
// size, byte for byte.
TEST_F(StreamEndToEndTest, CameraModeDeliversMono8Images)
{
    constexpr uint32_t IMAGE_WIDTH = 64;  // the simulated image is half as high
    sensor->SetStreamWidth(IMAGE_WIDTH);
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_REGION_SELECTOR, 0u));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_REGION_MODE, 1u));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_GENDC_STREAMING_MODE, 0u));
    Start(BUFFER_COUNT);
    BUFFER_HANDLE buffer = NextBuffer();
    ASSERT_NE(nullptr, buffer);
    const auto* base = static_cast<const uint8_t*>(Info<void*>(buffer, BUFFER_INFO_BASE));
    ExpectAnswers(buffer, {{"type", BUFFER_INFO_PAYLOADTYPE, 0, PAYLOAD_TYPE_IMAGE},
                           {"format", BUFFER_INFO_PIXELFORMAT, 0, PFNC_MONO8},
                           {"width", BUFFER_INFO_WIDTH, 0, IMAGE_WIDTH},
                           {"height", BUFFER_INFO_DELIVERED_IMAGEHEIGHT, 0, IMAGE_WIDTH / 2},
                           {"image offset", BUFFER_INFO_IMAGEOFFSET, 0, 0}});
    uint32_t parts = 0;
    EXPECT_EQ(GC_ERR_NO_DATA, cti->DSGetNumBufferParts(stream, buffer, &parts));
    // The image's counter shows in its first pixel; the picture counter chunk
    // carries the sensor's last status, not the image's.
    for (uint32_t y = 0; y < IMAGE_WIDTH / 2; ++y)
        for (uint32_t x = 0; x < IMAGE_WIDTH; ++x)
            ASSERT_EQ(TestSupport::ScanPixel(x, y, base[0]), base[y * IMAGE_WIDTH + x])
                << x << "," << y;
    CloseStream();
}

}  // namespace
