// Scans from the simulated sensor on 127.0.0.1:32001 (in the test's own
// loopback namespace) as a consumer receives them through the exported
// GenTL functions of the built .cti.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "gentl_producers/GenTesk3d/GenTLDataStreamTesk.h"
#include "gentl_producers/GenTesk3d/GenTLRemoteDeviceTesk.h"
#include "support/CtiLoader.h"
#include "support/NetworkNamespace.h"
#include "support/SensorScans.h"
#include "support/SimulatedSensor.h"
#include "support/SimulatedSensorModel.h"
#include "support/SimulatedSettings.h"
#include "support/WaitUntil.h"

namespace {

using namespace GenTLCore::ZoTL;

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

class StreamEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TestSupport::InPrivateLoopbackNamespace())
            GTEST_SKIP() << "The simulated sensor takes port 32001: run under the test launcher";
        ASSERT_TRUE(cti.IsComplete()) << cti.Error();
        sensor = std::make_unique<TestSupport::SimulatedSensor>(
            TestSupport::SimulatedSensor::Options{"127.0.0.1", false, 32001});
        sensor->SetXmlBuilder(settings.Builder());
        sensor->SetStreamRate(400);
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLUpdateInterfaceList(system, nullptr, 0));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpenInterface(system, "Tesk3D_GenTL_Interface", &iface));
        ASSERT_EQ(GC_ERR_SUCCESS,
                  cti->IFOpenDevice(iface, "#ip#127.0.0.1", DEVICE_ACCESS_CONTROL, &device));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DevGetPort(device, &port));
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_REGION_SELECTOR, 1));  // the scan region
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_WIDTH, WIDTH));
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_HEIGHT, PROFILES));
    }
    void TearDown() override
    {
        if (system != nullptr) cti->GCCloseLib();
    }

    const GenTLCore::RegisterDefinition& Row(uint32_t id)
    {
        for (const auto& row : REMOTE_DEVICE_REGISTERS)
            if (row.id == id) return row;
        ADD_FAILURE() << "no register " << id;
        return REMOTE_DEVICE_REGISTERS[0];
    }
    template <class T = uint32_t>
    GC_ERROR Write(uint32_t id, T value)
    {
        size_t size = sizeof value;
        return cti->GCWritePort(port, Row(id).address, &value, &size);
    }
    uint64_t Read(uint32_t id)
    {
        uint64_t value = 0;
        size_t size = Row(id).size;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->GCReadPort(port, Row(id).address, &value, &size)) << id;
        return value;
    }
    template <class T>
    T Info(BUFFER_HANDLE buffer, BUFFER_INFO_CMD command)
    {
        T value{};
        size_t size = sizeof value;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        EXPECT_EQ(GC_ERR_SUCCESS,
                  cti->DSGetBufferInfo(stream, buffer, command, &type, &value, &size))
            << command;
        return value;
    }
    template <class T>
    T PartInfo(BUFFER_HANDLE buffer, uint32_t part, BUFFER_PART_INFO_CMD command)
    {
        T value{};
        size_t size = sizeof value;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        EXPECT_EQ(GC_ERR_SUCCESS,
                  cti->DSGetBufferPartInfo(stream, buffer, part, command, &type, &value, &size))
            << command;
        return value;
    }

    struct Answer {
        const char* name;
        BUFFER_INFO_CMD command;
        GC_ERROR code;
        uint64_t value;    // when answered
        const char* text;  // the refusal's last error
    };
    void ExpectAnswers(BUFFER_HANDLE buffer, std::initializer_list<Answer> rows)
    {
        for (const Answer& row : rows) {
            SCOPED_TRACE(row.name);
            uint64_t value = 0;
            size_t size = sizeof value;
            INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
            ASSERT_EQ(row.code,
                      cti->DSGetBufferInfo(stream, buffer, row.command, &type, &value, &size));
            if (row.code == GC_ERR_SUCCESS)
                EXPECT_EQ(row.value, value);
            else
                EXPECT_EQ(row.text, TestSupport::ReadLastError(cti.Functions()).text);
        }
    }

    // Opens the stream, announces BUFFER_COUNT buffers of PayloadSize,
    // registers the events, queues `queued` of the buffers and starts the
    // stream, and the sensor when `start_sensor`.
    void OpenStream(size_t queued, bool start_sensor = true)
    {
        char id[64] = {};
        size_t size = sizeof id;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DevGetDataStreamID(device, 0, id, &size));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DevOpenDataStream(device, id, &stream));
        const uint64_t payload = Read(RD_PAYLOAD_SIZE);
        memory.assign(BUFFER_COUNT, std::vector<uint8_t>(payload));
        for (auto& block : memory) {
            BUFFER_HANDLE buffer = nullptr;
            ASSERT_EQ(GC_ERR_SUCCESS,
                      cti->DSAnnounceBuffer(stream, block.data(), block.size(), nullptr, &buffer));
            buffers.push_back(buffer);
        }
        for (size_t i = 0; i < queued; ++i)
            ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffers[i]));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCRegisterEvent(stream, EVENT_NEW_BUFFER, &new_buffer));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCRegisterEvent(stream, EVENT_MODULE, &module_event));
        ASSERT_EQ(GC_ERR_SUCCESS,
                  cti->DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE));
        stream_acquiring = true;
        if (start_sensor) {
            ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_START, 1));
        }
    }
    BUFFER_HANDLE NextBuffer()
    {
        void* datum[2] = {};  // the buffer handle, then the user pointer
        size_t size = sizeof datum;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->EventGetData(new_buffer, datum, &size, 3000));
        return datum[0];
    }
    // Waits for one stream module event; its ID, or 0.
    uint64_t NextModuleEvent(uint64_t timeout_ms = 3000)
    {
        uint8_t packet[16] = {};
        size_t size = sizeof packet;
        if (cti->EventGetData(module_event, packet, &size, timeout_ms) != GC_ERR_SUCCESS) return 0;
        EXPECT_EQ(8u, size);  // no data behind the ID
        uint64_t id = 0;
        size_t id_size = sizeof id;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->EventGetDataInfo(module_event, packet, size,
                                                        EVENT_DATA_NUMID, &type, &id, &id_size));
        return id;
    }
    // Stops, flushes, revokes and closes; the sensor stops streaming.
    void CloseStream()
    {
        EXPECT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_STOP, 1));
        if (stream_acquiring) {
            EXPECT_EQ(GC_ERR_SUCCESS, cti->DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
        }
        EXPECT_EQ(GC_ERR_SUCCESS, cti->DSFlushQueue(stream, ACQ_QUEUE_ALL_DISCARD));
        for (BUFFER_HANDLE buffer : buffers)
            EXPECT_EQ(GC_ERR_SUCCESS, cti->DSRevokeBuffer(stream, buffer, nullptr, nullptr));
        EXPECT_EQ(GC_ERR_SUCCESS, cti->DSClose(stream));
        EXPECT_TRUE(TestSupport::WaitUntil([&] { return !sensor->IsStreaming(); },
                                           std::chrono::seconds(2)));
        EXPECT_EQ(GC_ERR_SUCCESS, cti->DevClose(device));
    }

    // The planes of one scan whose last profile carries picture counter
    // `last`: 16-bit intensity, then A, B, C as float per point.
    void ExpectScanPlanes(const uint8_t* intensity, const uint8_t* range, uint32_t last,
                          uint32_t width = WIDTH)
    {
        const TestSupport::LinModel model;
        for (uint32_t row = 0; row < PROFILES; ++row) {
            const auto counter = static_cast<uint16_t>(last - (PROFILES - 1 - row));
            for (uint32_t c = 0; c < width; ++c) {
                const uint64_t point = uint64_t{row} * width + c;
                const double z_row = TestSupport::ScanRawZ(c) / 32.0;
                const uint16_t expected_intensity = static_cast<uint16_t>(
                    TestSupport::ScanIntensity(c, counter) * 4 + (TestSupport::ScanLowByte(c) >> 6));
                ASSERT_EQ(expected_intensity, At<uint16_t>(intensity, 2 * point))
                    << "row " << row << " column " << c;
                ASSERT_EQ(static_cast<float>(model.X(c, z_row)), At<float>(range, 12 * point))
                    << "row " << row << " column " << c;
                ASSERT_EQ(static_cast<float>(model.Z(z_row)), At<float>(range, 12 * point + 8))
                    << "row " << row << " column " << c;
            }
        }
    }
    // The picture counter chunk's value, found through the chunk walk, which
    // lists the Scan3d, user IO, encoder and picture counter chunks from the
    // end, then the trailer over the planes.
    uint32_t PictureCounterChunk(BUFFER_HANDLE buffer, const uint8_t* base,
                                 uint32_t width = WIDTH)
    {
        SINGLE_CHUNK_DATA chunks[8] = {};
        size_t count = 8;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->DSGetBufferChunkData(stream, buffer, chunks, &count));
        const uint64_t planes = uint64_t{2 + 12} * width * PROFILES;
        const std::vector<std::vector<uint64_t>> expected{{0xF000BAAA, planes + 44, 52},
                                                          {0xF000BAAD, planes + 32, 4},
                                                          {0xF000BAAC, planes + 20, 4},
                                                          {0xF000BAAB, planes + 8, 4},
                                                          {0xDEADBEEF, 0, planes}};
        std::vector<std::vector<uint64_t>> listed;
        for (size_t i = 0; i < count; ++i)
            listed.push_back({chunks[i].ChunkID, static_cast<uint64_t>(chunks[i].ChunkOffset),
                              uint64_t{chunks[i].ChunkLength}});
        EXPECT_EQ(expected, listed);
        return At<uint32_t>(base, planes + 8);
    }

    TestSupport::CtiLoader cti{GENTESK_CTI_PATH};
    TestSupport::SimulatedSettings settings;
    std::unique_ptr<TestSupport::SimulatedSensor> sensor;
    TL_HANDLE system = nullptr;
    IF_HANDLE iface = nullptr;
    DEV_HANDLE device = nullptr;
    PORT_HANDLE port = nullptr;
    DS_HANDLE stream = nullptr;
    EVENT_HANDLE new_buffer = nullptr;
    EVENT_HANDLE module_event = nullptr;
    std::vector<std::vector<uint8_t>> memory;
    std::vector<BUFFER_HANDLE> buffers;
    bool stream_acquiring = false;
};

// GenDC off, intensity and ABC32f range on, chunks on: multi-part buffers
// whose planes hold the sensor's profiles exactly, frame IDs without gaps.
TEST_F(StreamEndToEndTest, MultiPartScansCarryTheSensorsProfiles)
{
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_GENDC_STREAMING_MODE, 0));
    OpenStream(BUFFER_COUNT);
    uint64_t previous_frame = 0;
    for (int scan = 0; scan < 8; ++scan) {
        SCOPED_TRACE(scan);
        BUFFER_HANDLE buffer = NextBuffer();
        ASSERT_NE(nullptr, buffer);
        const auto* base = static_cast<const uint8_t*>(Info<void*>(buffer, BUFFER_INFO_BASE));
        EXPECT_EQ(PAYLOAD_TYPE_MULTI_PART, Info<size_t>(buffer, BUFFER_INFO_PAYLOADTYPE));
        EXPECT_FALSE(Info<bool8_t>(buffer, BUFFER_INFO_IS_INCOMPLETE));
        const uint64_t planes = uint64_t{2 + 12} * WIDTH * PROFILES;
        EXPECT_EQ(planes + 104, Info<size_t>(buffer, BUFFER_INFO_SIZE_FILLED));
        const uint64_t frame = Info<uint64_t>(buffer, BUFFER_INFO_FRAMEID);
        if (previous_frame != 0) {
            EXPECT_EQ(previous_frame + 1, frame);
        }
        previous_frame = frame;

        uint32_t parts = 0;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->DSGetNumBufferParts(stream, buffer, &parts));
        EXPECT_EQ(2u, parts);
        const uint64_t intensity_bytes = 2 * WIDTH * PROFILES;
        EXPECT_EQ(base, PartInfo<void*>(buffer, 0, BUFFER_PART_INFO_BASE));
        EXPECT_EQ(intensity_bytes, PartInfo<size_t>(buffer, 0, BUFFER_PART_INFO_DATA_SIZE));
        EXPECT_EQ(base + intensity_bytes, PartInfo<void*>(buffer, 1, BUFFER_PART_INFO_BASE));
        EXPECT_EQ(12 * WIDTH * PROFILES, PartInfo<size_t>(buffer, 1, BUFFER_PART_INFO_DATA_SIZE));
        EXPECT_EQ(uint64_t{PFNC_COORD3D_ABC32F},
                  PartInfo<uint64_t>(buffer, 1, BUFFER_PART_INFO_DATA_FORMAT));
        EXPECT_EQ(PROFILES, PartInfo<size_t>(buffer, 1, BUFFER_PART_INFO_HEIGHT));
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        size_t size = sizeof parts;
        EXPECT_EQ(GC_ERR_INVALID_INDEX, cti->DSGetBufferPartInfo(stream, buffer, 2,
                                                                 BUFFER_PART_INFO_DATA_TYPE, &type,
                                                                 &parts, &size));
        ExpectScanPlanes(base, base + intensity_bytes, PictureCounterChunk(buffer, base));
        ExpectAnswers(
            buffer,
            {{"width", BUFFER_INFO_WIDTH, GC_ERR_NO_DATA, 0,
              "GetBufferInfo: width should be queried per-part for multi-part payload"},
             {"y-padding", BUFFER_INFO_YPADDING, GC_ERR_NO_DATA, 0,
              "GetBufferInfo: y-padding not available for multi-part payload"},
             {"image offset", BUFFER_INFO_IMAGEOFFSET, GC_ERR_NO_DATA, 0,
              "GetBufferInfo: image offset query not supported  for multi-part and GenDC "
              "payloads"},
             {"image present", BUFFER_INFO_IMAGEPRESENT, GC_ERR_SUCCESS, 0, ""},
             {"timestamp", BUFFER_INFO_TIMESTAMP_NS, GC_ERR_NOT_AVAILABLE, 0,
              "GetBufferInfo: timestamps not supported by the device"},
             {"chunk layout", BUFFER_INFO_CHUNKLAYOUTID, GC_ERR_NOT_AVAILABLE, 0,
              "GetBufferInfo: chunk layout ID not supported by the device"},
             {"file name", BUFFER_INFO_FILENAME, GC_ERR_NOT_AVAILABLE, 0,
              "GetBufferInfo: file payload not supported by this implementation"},
             {"chunks", BUFFER_INFO_CONTAINS_CHUNKDATA, GC_ERR_SUCCESS, 1, ""},
             {"chunk payload", BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE, GC_ERR_SUCCESS,
              planes + 104, ""},
             {"endianness", BUFFER_INFO_PIXEL_ENDIANNESS, GC_ERR_SUCCESS, PIXELENDIANNESS_LITTLE,
              ""}});
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
    }
    // One scan event per frame, dropped ones included.
    for (uint64_t i = 0; i < previous_frame; ++i)
        ASSERT_EQ(SCAN_EVENT_ID, NextModuleEvent()) << i;

    // The sensor restarted with a narrower scan while the stream runs, then
    // with one wider than the buffers: never a write past a buffer's end.
    const struct {
        uint32_t width;
        bool complete;
    } restarts[] = {{WIDTH / 2, true}, {WIDTH * 2, false}};
    for (const auto& restart : restarts) {
        SCOPED_TRACE(restart.width);
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_STOP, 1));
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_WIDTH, restart.width));
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_START, 1));
        BUFFER_HANDLE buffer = nullptr;
        for (int i = 0; i < 20; ++i) {  // scans taken before the stop still come
            buffer = NextBuffer();
            ASSERT_NE(nullptr, buffer);
            const bool incomplete = Info<bool8_t>(buffer, BUFFER_INFO_IS_INCOMPLETE);
            if (!restart.complete ? incomplete
                                  : PartInfo<size_t>(buffer, 0, BUFFER_PART_INFO_WIDTH) ==
                                        restart.width)
                break;
            ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
        }
        const auto* base = static_cast<const uint8_t*>(Info<void*>(buffer, BUFFER_INFO_BASE));
        EXPECT_EQ(!restart.complete, Info<bool8_t>(buffer, BUFFER_INFO_IS_INCOMPLETE));
        if (restart.complete)
            ExpectScanPlanes(base, base + 2 * restart.width * PROFILES,
                             PictureCounterChunk(buffer, base, restart.width), restart.width);
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
    }
    CloseStream();
}

// The default GenDC mode: a container with its descriptor at the base and
// the planes at the data offset the descriptor names.
TEST_F(StreamEndToEndTest, GenDCScansCarryTheirDescriptorAndPlanes)
{
    OpenStream(BUFFER_COUNT);
    for (int scan = 0; scan < 3; ++scan) {
        SCOPED_TRACE(scan);
        BUFFER_HANDLE buffer = NextBuffer();
        ASSERT_NE(nullptr, buffer);
        const auto* base = static_cast<const uint8_t*>(Info<void*>(buffer, BUFFER_INFO_BASE));
        EXPECT_EQ(PAYLOAD_TYPE_GENDC, Info<size_t>(buffer, BUFFER_INFO_PAYLOADTYPE));
        ASSERT_EQ(0, std::memcmp(base, "GNDC", 4));
        const auto data_offset = At<uint64_t>(base, 40);
        const auto descriptor_size = At<uint32_t>(base, 48);
        EXPECT_EQ(424u, descriptor_size);  // intensity, range and simple chunks
        EXPECT_GE(data_offset, descriptor_size);
        SINGLE_CHUNK_DATA chunk{};
        size_t count = 1;
        EXPECT_EQ(GC_ERR_NO_DATA, cti->DSGetBufferChunkData(stream, buffer, &chunk, &count));
        ExpectAnswers(
            buffer,
            {{"height", BUFFER_INFO_HEIGHT, GC_ERR_NO_DATA, 0,
              "GetBufferInfo: height should be queried from GenDC descriptor for GenDC payload"},
             {"chunks", BUFFER_INFO_CONTAINS_CHUNKDATA, GC_ERR_NO_DATA, 0,
              "GetBufferInfo: chunk-data should be handled fully by the consumer for GenDC "
              "payloads"},
             {"chunk payload", BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE, GC_ERR_NO_DATA, 0,
              "GetBufferInfo: chunk payload size query not applicable for GenDC payload, find "
              "chunk location based on the GenDC descriptor info."},
             {"chunk layout", BUFFER_INFO_CHUNKLAYOUTID, GC_ERR_NO_DATA, 0,
              "GetBufferInfo: chunk layout ID not supported by the device"}});
        const uint8_t* data = base + data_offset;
        const uint64_t planes = uint64_t{2 + 12} * WIDTH * PROFILES;
        EXPECT_EQ(data_offset + planes + 96, Info<size_t>(buffer, BUFFER_INFO_SIZE_FILLED));
        // The picture counter chunk leads the chunk data, without a trailer.
        ExpectScanPlanes(data, data + 2 * WIDTH * PROFILES, At<uint32_t>(data, planes));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
    }
    CloseStream();
}

// With no buffer queued every scan is dropped, yet announced; the first
// delivered buffer's frame ID counts the dropped scans.
TEST_F(StreamEndToEndTest, DroppedScansPostEventsAndCountInFrameIDs)
{
    OpenStream(0);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(SCAN_EVENT_ID, NextModuleEvent());
    void* datum[2] = {};
    size_t size = sizeof datum;
    EXPECT_EQ(GC_ERR_TIMEOUT, cti->EventGetData(new_buffer, datum, &size, 0));
    ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffers[0]));
    BUFFER_HANDLE buffer = NextBuffer();
    ASSERT_EQ(buffers[0], buffer);
    EXPECT_GE(Info<uint64_t>(buffer, BUFFER_INFO_FRAMEID), 3u);  // the third may still wait
    CloseStream();
}

// While the sensor is not started the acquisition thread idles without
// spinning; with a line time of a second and no buffer queued, a stop
// during its wait for a buffer returns at once.
TEST_F(StreamEndToEndTest, IdlesWithoutSpinningAndStopsDuringTheBufferWait)
{
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_LINE_RATE, 1.0f));
    OpenStream(0, false);
    const std::clock_t cpu_before = std::clock();
    EXPECT_EQ(0u, NextModuleEvent(500));  // no scan before AcquisitionStart
    const double cpu_s = static_cast<double>(std::clock() - cpu_before) / CLOCKS_PER_SEC;
    EXPECT_LT(cpu_s, 0.25);

    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_START, 1));
    ASSERT_EQ(SCAN_EVENT_ID, NextModuleEvent());
    const auto stop_start = std::chrono::steady_clock::now();
    EXPECT_EQ(GC_ERR_SUCCESS, cti->DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
    stream_acquiring = false;
    EXPECT_LT(std::chrono::steady_clock::now() - stop_start, std::chrono::milliseconds(500));
    CloseStream();
}

// In camera mode the sensor streams images: Mono8 buffers of the image's
// size, byte for byte.
TEST_F(StreamEndToEndTest, CameraModeDeliversMono8Images)
{
    constexpr uint32_t IMAGE_WIDTH = 64;  // the simulated image is half as high
    sensor->SetStreamWidth(IMAGE_WIDTH);
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_REGION_SELECTOR, 0));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_REGION_MODE, 1));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_GENDC_STREAMING_MODE, 0));
    OpenStream(BUFFER_COUNT);
    for (int scan = 0; scan < 3; ++scan) {
        SCOPED_TRACE(scan);
        BUFFER_HANDLE buffer = NextBuffer();
        ASSERT_NE(nullptr, buffer);
        const auto* base = static_cast<const uint8_t*>(Info<void*>(buffer, BUFFER_INFO_BASE));
        EXPECT_EQ(PAYLOAD_TYPE_IMAGE, Info<size_t>(buffer, BUFFER_INFO_PAYLOADTYPE));
        EXPECT_EQ(uint64_t{PFNC_MONO8}, Info<uint64_t>(buffer, BUFFER_INFO_PIXELFORMAT));
        ASSERT_EQ(IMAGE_WIDTH, Info<size_t>(buffer, BUFFER_INFO_WIDTH));
        ASSERT_EQ(IMAGE_WIDTH / 2, Info<size_t>(buffer, BUFFER_INFO_HEIGHT));
        uint32_t parts = 0;
        EXPECT_EQ(GC_ERR_NO_DATA, cti->DSGetNumBufferParts(stream, buffer, &parts));
        EXPECT_EQ("GetNumBufferParts: buffer does not contain multi-part payload",
                  TestSupport::ReadLastError(cti.Functions()).text);
        ExpectAnswers(
            buffer,
            {{"image present", BUFFER_INFO_IMAGEPRESENT, GC_ERR_SUCCESS, 1, ""},
             {"image offset", BUFFER_INFO_IMAGEOFFSET, GC_ERR_SUCCESS, 0, ""},
             {"delivered height", BUFFER_INFO_DELIVERED_IMAGEHEIGHT, GC_ERR_SUCCESS,
              IMAGE_WIDTH / 2, ""},
             {"namespace", BUFFER_INFO_PIXELFORMAT_NAMESPACE, GC_ERR_SUCCESS,
              PIXELFORMAT_NAMESPACE_PFNC_32BIT, ""},
             {"padding", BUFFER_INFO_YPADDING, GC_ERR_SUCCESS, 0, ""}});
        // The image's counter shows in its first pixel; the picture
        // counter chunk carries the sensor's last status, not the image's.
        const uint16_t counter = base[0];
        for (uint32_t y = 0; y < IMAGE_WIDTH / 2; ++y)
            for (uint32_t x = 0; x < IMAGE_WIDTH; ++x)
                ASSERT_EQ(TestSupport::ScanPixel(x, y, counter), base[y * IMAGE_WIDTH + x])
                    << x << "," << y;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
    }
    CloseStream();
}

}  // namespace
