// Payload layouts of every format, component, chunk and GenDC choice, byte
// by byte, on a 4-point, 3-profile scan; the buffer sizes of every scene;
// the stream's buffers and the take-over of an auxiliary fill.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "GenTL.h"
#include "gentl_producers/GenTesk3d/FeatureCache.h"
#include "gentl_producers/GenTesk3d/GenTLBufferTesk.h"
#include "gentl_producers/GenTesk3d/GenTLDataStreamTesk.h"
#include "gentl_producers/GenTesk3d/PayloadGenerator.h"
#include "SensorFakes.h"
#include "gentl_core/Logger.h"
#include "platform/AssertionRecorder.h"
#include "sensor_library/TestLogging.h"

namespace {

using namespace GenTLCore::ZoTL;

constexpr uint64_t W = 4, ROWS = 3, N = W * ROWS, FLOW0 = 512;

// Every plane of a scan reads from one ramp of bytes.
struct Planes {
    Planes() { std::iota(bytes.begin(), bytes.end(), uint8_t{1}); }
    alignas(8) std::array<uint8_t, 12 * N> bytes;
};

ScanData Scan(const Planes& planes, bool intensity, uint32_t range, bool chunks, bool gendc)
{
    ScanData scan;
    scan.height = scan.profile_count = ROWS;
    scan.width = W;
    scan.chunks_active = chunks;
    scan.gendc_mode = gendc;
    scan.chunk_scan3d_enabled = scan.chunk_picture_counter_enabled = true;
    scan.chunk_encoder_enabled = scan.chunk_user_io_enabled = true;
    scan.scan_mode = range != PFNC_MONO8;
    scan.intensity_enabled = intensity;
    scan.intensity_format = scan.scan_mode ? PFNC_MONO10 : PFNC_MONO8;
    scan.range_enabled = scan.scan_mode && range != 0;
    scan.range_format = scan.range_enabled ? range : 0;
    scan.scan_status = {0x12345678, 0x1A5, 77, 0, 0, 0};
    const uint8_t* at = planes.bytes.data();
    scan.image = at;
    scan.intensity = scan.range16 = scan.points16 = reinterpret_cast<const uint16_t*>(at);
    scan.points32 = reinterpret_cast<const float*>(at);
    return scan;
}

std::vector<uint32_t> Words(const std::vector<uint8_t>& bytes, uint64_t from, uint64_t to)
{
    std::vector<uint32_t> words((to - from) / 4);
    std::memcpy(words.data(), &bytes[from], words.size() * 4);
    return words;
}

TEST(PayloadGeneratorTest, LayoutsOfEveryFormatChunkAndGenDCChoice)
{
    const struct {
        const char* name;
        bool intensity;
        uint32_t range;
        uint64_t range_bytes, chunk_offset, descriptor, descriptor_no_chunks;
        uint32_t payload_type, pixel_format;  // without GenDC; single-part or part 0
    } rows[] = {
        {"intensity+ABC32f", true, PFNC_COORD3D_ABC32F, 144, 168, 424, 296, 10, PFNC_MONO10},
        {"intensity+ABC16", true, PFNC_COORD3D_ABC16, 72, 168, 424, 296, 10, PFNC_MONO10},
        {"intensity+Mono16", true, PFNC_MONO16, 24, 168, 424, 296, 10, PFNC_MONO10},
        {"intensity", true, 0, 0, 24, 304, 176, 1, PFNC_MONO10},
        {"ABC32f", false, PFNC_COORD3D_ABC32F, 144, 144, 304, 176, 1, PFNC_COORD3D_ABC32F},
        {"ABC16", false, PFNC_COORD3D_ABC16, 72, 144, 304, 176, 1, PFNC_COORD3D_ABC16},
        {"Mono16", false, PFNC_MONO16, 24, 144, 304, 176, 1, PFNC_MONO16},
        {"camera", true, PFNC_MONO8, 0, 12, 304, 176, 1, PFNC_MONO8},
    };
    // Picture counter, encoder, user IO (low byte), then the Scan3d chunk.
    const std::vector<uint32_t> simple = {77,         CHUNK_ID_PICTURE_COUNTER, 4,
                                          0x12345678, CHUNK_ID_ENCODER,         4,
                                          0xA5,       CHUNK_ID_USER_IO,         4};
    const std::vector<uint32_t> scan3d = {0, 0x3F800000, 0x3F800000, 0x3F800000,      0,
                                          0, 0,          0,          0x43340000,      0,
                                          0, 0,          0x40A00000, CHUNK_ID_SCAN3D, 52};
    const Planes planes;
    for (const auto& row : rows) {
        for (const int variant : {0, 1, 2, 3}) {
            const bool chunks = variant & 1, gendc = variant & 2;
            SCOPED_TRACE(std::string(row.name) + (chunks ? " chunks" : "") +
                         (gendc ? " GenDC" : ""));
            const ScanData scan = Scan(planes, row.intensity, row.range, chunks, gendc);
            const uint64_t intensity_bytes = row.intensity ? (scan.scan_mode ? 2 : 1) * N : 0;
            std::vector<uint32_t> chunk_words = simple;
            if (!gendc)
                chunk_words.insert(chunk_words.begin(),
                                   {CHUNK_TRAILER_ID, uint32_t(row.chunk_offset)});
            if (row.range_bytes)
                chunk_words.insert(chunk_words.end(), scan3d.begin(), scan3d.end());
            const uint64_t data = chunks ? row.chunk_offset + 4 * chunk_words.size()
                                         : intensity_bytes + row.range_bytes;
            const uint64_t base = gendc ? FLOW0 : 0;
            std::vector<uint8_t> buffer(base + data + 16, 0xEE);
            PayloadGenerator generator;
            const FillDescription fill = generator.Fill(
                buffer.data(), base + data, scan,
                gendc ? std::vector<uint64_t>{FLOW0, data} : std::vector<uint64_t>{}, 9);
            ASSERT_TRUE(fill.complete);
            EXPECT_EQ(base + data, fill.data_size);
            EXPECT_EQ(0xEE, buffer[base + data]) << "written past the payload";
            EXPECT_EQ(gendc ? uint32_t{PAYLOAD_TYPE_GENDC} : row.payload_type, fill.payload_type);
            EXPECT_EQ(row.pixel_format, fill.pixel_format);
            EXPECT_EQ(0, std::memcmp(&buffer[base], planes.bytes.data(), intensity_bytes));
            EXPECT_EQ(0, std::memcmp(&buffer[base + intensity_bytes], planes.bytes.data(),
                                     row.range_bytes));
            const PayloadPart& last = fill.parts[fill.part_count - 1];
            EXPECT_EQ(base + (row.range_bytes ? intensity_bytes : 0), last.offset);
            EXPECT_EQ(row.range_bytes ? row.range_bytes : intensity_bytes, last.size);
            if (chunks) {
                EXPECT_EQ(chunk_words, Words(buffer, base + row.chunk_offset, base + data));
            }
            if (gendc) {
                EXPECT_EQ(0, std::memcmp(buffer.data(), "GNDC", 4));
                EXPECT_EQ(chunks ? row.descriptor : row.descriptor_no_chunks,
                          generator.last_descriptor_size);
            }
        }
    }
}

// A scan that no longer fits (a setting changed after the buffers were
// sized, or a scan larger than the GenDC flows) writes nothing at all, and
// its flow sizes are not those of the fill before. Flows that the run could
// not have sized are reported.
TEST(PayloadGeneratorTest, ScanLargerThanBufferOrFlowsIsDeliveredIncomplete)
{
    const Planes planes;
    const ScanData scan = Scan(planes, true, PFNC_COORD3D_ABC32F, true, true);
    std::vector<uint8_t> fitting(1024);
    PayloadGenerator generator;
    const std::string past_flow0 = "flowSizes.size() == 2 && descriptor_size <= flowSizes[0]";
    const std::string no_flow1 = "Specified flow ID does not match the current flow table";
    const struct {
        const char* name;
        uint64_t bytes;
        std::vector<uint64_t> flows;
        std::vector<std::string> assertions = {};
    } rows[] = {
        {"plain, one byte short", 271, {}},
        {"GenDC data past flow 1", 1024, {512, 263}},
        {"GenDC descriptor past flow 0", 1024, {423, 264}, {past_flow0}},
        {"GenDC flows past the buffer", 775, {512, 264}},
        {"GenDC with one flow", 1024, {776}, {"flowSizes.size() == 2", no_flow1, past_flow0}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> buffer(row.bytes, 0xEE);
        generator.Fill(fitting.data(), fitting.size(), scan, {512, 264}, 1);
        ASSERT_NE(0u, generator.last_data_size * generator.last_descriptor_size);
        TestSupport::AssertionRecorder asserts;
        const FillDescription fill = generator.Fill(buffer.data(), row.bytes, scan, row.flows, 2);
        EXPECT_EQ(row.assertions, asserts.Failures());
        EXPECT_TRUE(!fill.complete && fill.overflow && fill.data_size == 0);
        EXPECT_EQ(0u, generator.last_data_size + generator.last_descriptor_size);
        EXPECT_EQ(std::vector<uint8_t>(row.bytes, 0xEE), buffer);
    }
}

// A scan that ended after 2 of 3 profiles reports the rows written, with the
// chunks right after them; a Mono8 setting does not shrink the 16-bit plane.
TEST(PayloadGeneratorTest, ShortScanReportsTheRowsItWrote)
{
    const Planes planes;
    ScanData scan = Scan(planes, true, PFNC_COORD3D_ABC32F, true, false);
    scan.profile_count = 2;
    scan.intensity_format = PFNC_MONO8;
    std::vector<uint8_t> buffer(1024);
    PayloadGenerator generator;
    const FillDescription fill = generator.Fill(buffer.data(), buffer.size(), scan, {}, 1);
    EXPECT_EQ(14u * 8 + 104, fill.data_size);
    EXPECT_EQ(CHUNK_TRAILER_ID, Words(buffer, 14 * 8, 14 * 8 + 4)[0]);
    EXPECT_EQ(2u, fill.delivered_height);
    EXPECT_EQ(16u, fill.parts[1].offset);
    scan.chunks_active = false;
    EXPECT_EQ(14u * 8, generator.Fill(buffer.data(), buffer.size(), scan, {}, 1).data_size);
}

// 1000 points by 200 profiles, or a camera image of 640 x 480 bytes; the
// range reserves 12 bytes a point whatever its format, and a GenDC
// descriptor is 56 + 8 per component + 112 per image, 120 for the chunks.
TEST(FeatureCacheTest, SizesEveryScene)
{
    const struct {
        const char* name;
        uint32_t scan, intensity, range;
        bool chunks, gendc;
        uint64_t payload, descriptor;
    } rows[] = {
        {"worked example, chunks", 1, 1, 1, true, false, 2'800'204, 0},
        {"worked example, GenDC", 1, 1, 1, true, true, 2'800'628, 424},
        {"no chunks", 1, 1, 1, false, false, 2'800'000, 0},
        {"no chunks, GenDC", 1, 1, 1, false, true, 2'800'296, 296},
        {"range only, chunks", 1, 0, 1, true, false, 2'400'204, 0},
        {"range only, chunks, GenDC", 1, 0, 1, true, true, 2'400'508, 304},
        {"range only", 1, 0, 1, false, false, 2'400'000, 0},
        {"range only, GenDC", 1, 0, 1, false, true, 2'400'176, 176},
        {"intensity only, chunks, GenDC", 1, 1, 0, true, true, 400'508, 304},
        {"camera, chunks, GenDC", 0, 1, 0, true, true, 307'708, 304},
        {"camera", 0, 1, 0, false, false, 307'200, 0},
    };
    for (const uint32_t format : {PFNC_COORD3D_ABC32F, PFNC_COORD3D_ABC16, PFNC_MONO16}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.name) + " format " + std::to_string(format));
            FeatureCache cache;
            cache.region[0].width = 640;
            cache.region[0].height = 480;
            cache.region[1] = {
                row.scan, 1000, 200, 0, 0, 0, {{row.intensity, PFNC_MONO10}, {row.range, format}}};
            cache.chunks_active = row.chunks;
            cache.gendc_mode = row.gendc;
            EXPECT_EQ(cache.GetPayloadSize(), row.payload);
            EXPECT_EQ(cache.GetPrefetchDescriptor().size(), row.descriptor);
            const std::vector<uint64_t> flows{row.descriptor, row.payload - row.descriptor};
            EXPECT_EQ(cache.GetFlowSizes(), row.gendc ? flows : std::vector<uint64_t>{});
            EXPECT_EQ(cache.GetFlowMappingTable().size(), row.gendc ? 32u : 0u);
        }
    }
}

TEST(FeatureCacheTest, DerivedMaximaNeverWrapBelowZero)
{
    FeatureCache cache;
    cache.sensor_width = 1280;
    cache.sensor_height = 1024;
    cache.decimation_horizontal = 2;
    cache.region[0] = {1, 700, 600, 100, 2000, 0, {{1, PFNC_MONO8}}};
    EXPECT_EQ(cache.ComputeWidthMax(), 540u);
    EXPECT_EQ(cache.ComputeOffsetXMax(), 0u);
    EXPECT_EQ(cache.ComputeHeightMax(), 0u);
    EXPECT_EQ(cache.ComputeOffsetYMax(), 424u);
    cache.region_selector = 1;
    cache.signal_enable = FeatureCache::SIGNAL_FIRST_AND_SECOND;
    EXPECT_EQ(cache.ComputeWidthMax(), 1080u);
}

}  // namespace

namespace GenTLCore::ZoTL {
namespace {

// The stream's composites are its own buffers, never auxiliary; a buffer that
// takes over an auxiliary fill answers, and logs, from its description.
TEST(BufferTeskTest, StreamMakesItsBuffersAndATakeOverCopiesTheFill)
{
    TestSupport::ScriptedSensor sensor;
    struct Stream : GenTLDataStreamTesk {
        using GenTLDataStreamTesk::GenTLDataStreamTesk;
        using GenTLDataStreamTesk::CreateCompositeBuffer;
    };
    const SharedPtr<Stream> stream = TestSupport::StreamOver<Stream>(sensor);
    std::array<uint8_t, 64> memory{}, second{};
    TestSupport::AssertionRecorder asserts;
    const SharedPtr<GenTLBuffer> composite =
        stream->CreateCompositeBuffer({{memory.data(), 64}, {second.data(), 64}}, nullptr, false);
    EXPECT_TRUE(composite.DynamicCast<GenTLBufferTesk>() && composite->IsComposite());
    EXPECT_FALSE(stream->CreateCompositeBuffer({{memory.data(), 64}}, nullptr, true));
    EXPECT_EQ(asserts.Failures(), std::vector<std::string>{"!auxiliary"});

    const SharedPtr<GenTLBufferTesk> aux(new GenTLBufferTesk(nullptr, 64, nullptr, true, nullptr));
    const SharedPtr<GenTLBufferTesk> target(
        new GenTLBufferTesk(memory.data(), 64, nullptr, false, nullptr));
    aux->CompleteConstruction();
    target->CompleteConstruction();
    aux->SetFillDescription({.frame_id = 7, .payload_type = PAYLOAD_TYPE_MULTI_PART});
    aux->SetScheduled(true);
    aux->SetFillResults({48, 48, true, false});
    target->SetQueued(true);
    target->TakeOverData(*aux);
    target->SetQueued(false);
    const uint32_t level = GetLogLevel();
    SetLogLevelForTest(LOG_LEVEL_DEBUG);
    DebugCapture log;
    for (const auto& [command, value] : {std::pair<int32_t, uint64_t>{BUFFER_INFO_FRAMEID, 7},
                                         {BUFFER_INFO_PAYLOADTYPE, PAYLOAD_TYPE_MULTI_PART}}) {
        uint64_t answer = 0;
        size_t size = sizeof answer;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        EXPECT_EQ(GC_ERR_SUCCESS, target->GetBufferInfo(command, &type, &answer, &size));
        EXPECT_EQ(value, answer);
    }
    SetLogLevelForTest(level);
    EXPECT_EQ(1u, log.Count(" GetFrameID: 7\n"));
}

}  // namespace
}  // namespace GenTLCore::ZoTL
