// Payload layouts of every format, component, chunk and GenDC choice, byte
// by byte, on a 4-point, 3-profile scan.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "GenTL.h"
#include "gentl_producers/GenTesk3d/PayloadGenerator.h"

namespace {

using namespace GenTLCore::ZoTL;

constexpr uint64_t W = 4, ROWS = 3, N = W * ROWS;

template <class T>
std::vector<T> Ramp(size_t count, T first)
{
    std::vector<T> values(count);
    std::iota(values.begin(), values.end(), first);
    return values;
}

struct Planes {
    std::vector<uint16_t> intensity = Ramp<uint16_t>(N, 1000);
    std::vector<float> points32 = Ramp<float>(3 * N, 0.5f);
    std::vector<uint16_t> points16 = Ramp<uint16_t>(3 * N, 7);
    std::vector<uint16_t> range16 = Ramp<uint16_t>(N, 300);
    std::vector<uint8_t> image = Ramp<uint8_t>(N, 40);
};

ScanData Scan(const Planes& planes, bool intensity, uint32_t range, bool chunks)
{
    ScanData scan;
    scan.width = W;
    scan.height = ROWS;
    scan.profile_count = ROWS;
    scan.chunks_active = chunks;
    scan.chunk_scan3d_enabled = scan.chunk_picture_counter_enabled = true;
    scan.chunk_encoder_enabled = scan.chunk_user_io_enabled = true;
    scan.intensity_enabled = intensity;
    scan.intensity_format = range == PFNC_MONO8 ? PFNC_MONO8 : PFNC_MONO10;
    scan.scan_mode = range != PFNC_MONO8;
    scan.range_enabled = range != 0 && scan.scan_mode;
    scan.range_format = scan.range_enabled ? range : 0;
    scan.scan_status = {0x12345678, 0x1A5, 77, 0, 0, 0};
    scan.intensity = planes.intensity.data();
    scan.points32 = planes.points32.data();
    scan.points16 = planes.points16.data();
    scan.range16 = planes.range16.data();
    scan.image = planes.image.data();
    return scan;
}

struct Chunk {
    uint32_t id;
    uint64_t offset, length;
    bool operator==(const Chunk&) const = default;
};

// The trailer walk a consumer does, from the end of the chunk data back.
std::vector<Chunk> WalkChunks(const uint8_t* data, uint64_t size)
{
    std::vector<Chunk> chunks;
    while (size >= 8) {
        uint32_t id = 0, length = 0;
        std::memcpy(&id, data + size - 8, 4);
        std::memcpy(&length, data + size - 4, 4);
        if (length > size - 8) break;
        chunks.push_back({id, size - 8 - length, length});
        size -= 8 + length;
    }
    return chunks;
}

uint32_t Word(const uint8_t* at)
{
    uint32_t value = 0;
    std::memcpy(&value, at, 4);
    return value;
}

TEST(PayloadGeneratorTest, LayoutsOfEveryFormatChunkAndGenDCChoice)
{
    struct Row {
        const char* name;
        bool intensity;
        uint32_t range;
        uint64_t plain, chunk_offset, descriptor, descriptor_no_chunks;
        uint32_t payload_type;  // without GenDC
        uint32_t pixel_format;  // single-part, or part 0
    };
    const Row rows[] = {
        {"intensity+ABC32f", true, PFNC_COORD3D_ABC32F, 168, 168, 424, 296, 10, PFNC_MONO10},
        {"intensity+ABC16", true, PFNC_COORD3D_ABC16, 96, 168, 424, 296, 10, PFNC_MONO10},
        {"intensity+Mono16", true, PFNC_MONO16, 48, 168, 424, 296, 10, PFNC_MONO10},
        {"intensity", true, 0, 24, 24, 304, 176, 1, PFNC_MONO10},
        {"ABC32f", false, PFNC_COORD3D_ABC32F, 144, 144, 304, 176, 1, PFNC_COORD3D_ABC32F},
        {"ABC16", false, PFNC_COORD3D_ABC16, 72, 144, 304, 176, 1, PFNC_COORD3D_ABC16},
        {"Mono16", false, PFNC_MONO16, 24, 144, 304, 176, 1, PFNC_MONO16},
        {"camera", true, PFNC_MONO8, 12, 12, 304, 176, 1, PFNC_MONO8},
    };
    const Planes planes;
    for (const Row& row : rows) {
        for (const bool chunks : {false, true}) {
            for (const bool gendc : {false, true}) {
                SCOPED_TRACE(std::string(row.name) + (chunks ? " chunks" : "") +
                             (gendc ? " GenDC" : ""));
                ScanData scan = Scan(planes, row.intensity, row.range, chunks);
                scan.gendc_mode = gendc;
                const bool range = row.range != 0 && row.range != PFNC_MONO8;
                const uint64_t chunk_bytes = !chunks ? 0 : (gendc ? 36 : 44) + (range ? 60 : 0);
                const uint64_t data = chunks ? row.chunk_offset + chunk_bytes : row.plain;
                const uint64_t flow0 = 512;
                const std::vector<uint64_t> flows =
                    gendc ? std::vector<uint64_t>{flow0, data} : std::vector<uint64_t>{};
                const uint64_t offset = gendc ? flow0 : 0;
                std::vector<uint8_t> buffer(offset + data + 16, 0xEE);
                PayloadGenerator generator;
                const FillDescription fill =
                    generator.Fill(buffer.data(), offset + data, scan, flows, 9);
                ASSERT_TRUE(fill.complete);
                EXPECT_EQ(offset + data, fill.data_size);
                EXPECT_EQ(0xEE, buffer[offset + data]) << "written past the payload";
                EXPECT_EQ(gendc ? 11u : row.payload_type, fill.payload_type);
                EXPECT_EQ(row.pixel_format, fill.pixel_format);
                EXPECT_EQ(ROWS, fill.delivered_height);

                // Planes in order, each part where the description says.
                const uint8_t* at = buffer.data() + offset;
                if (row.intensity) {
                    const void* plane = scan.scan_mode ? static_cast<const void*>(scan.intensity)
                                                       : scan.image;
                    EXPECT_EQ(0, std::memcmp(at, plane, range ? 2 * N : row.plain));
                    EXPECT_EQ(offset, fill.parts[0].offset);
                }
                if (range) {
                    const uint64_t bytes = row.plain - (row.intensity ? 2 * N : 0);
                    const void* plane = row.range == PFNC_COORD3D_ABC32F
                                            ? static_cast<const void*>(scan.points32)
                                        : row.range == PFNC_COORD3D_ABC16
                                            ? static_cast<const void*>(scan.points16)
                                            : scan.range16;
                    EXPECT_EQ(0, std::memcmp(at + row.plain - bytes, plane, bytes));
                    const PayloadPart& part = fill.parts[fill.part_count - 1];
                    EXPECT_EQ(offset + row.plain - bytes, part.offset);
                    EXPECT_EQ(bytes, part.size);
                    EXPECT_EQ(row.range, part.format);
                }

                if (gendc) {
                    EXPECT_EQ(0, std::memcmp(buffer.data(), "GNDC", 4));
                    EXPECT_EQ(chunks ? row.descriptor : row.descriptor_no_chunks,
                              fill.descriptor_size);
                    EXPECT_EQ(fill.descriptor_size, generator.last_descriptor_size);
                } else if (chunks) {
                    const uint64_t d = row.chunk_offset;
                    std::vector<Chunk> expected;
                    if (range) expected.push_back({CHUNK_ID_SCAN3D, d + 44, 52});
                    expected.insert(expected.end(), {{CHUNK_ID_USER_IO, d + 32, 4},
                                                     {CHUNK_ID_ENCODER, d + 20, 4},
                                                     {CHUNK_ID_PICTURE_COUNTER, d + 8, 4},
                                                     {CHUNK_TRAILER_ID, 0, d}});
                    EXPECT_EQ(expected, WalkChunks(buffer.data(), data));
                    EXPECT_EQ(77u, Word(&buffer[d + 8]));
                    EXPECT_EQ(0x12345678u, Word(&buffer[d + 20]));
                    EXPECT_EQ(0xA5u, Word(&buffer[d + 32]));
                    const uint32_t diagonal = range ? Word(&buffer[d + 44 + 48]) : 0x40A00000u;
                    EXPECT_EQ(0x40A00000u, diagonal);  // 5.0f, the last Scan3d word
                }
            }
        }
    }
}

// A scan that no longer fits (a setting changed after the buffers were
// sized, or a larger scan than the GenDC flows) writes nothing at all.
TEST(PayloadGeneratorTest, ScanLargerThanBufferOrFlowsIsDeliveredIncomplete)
{
    const Planes planes;
    const ScanData scan = Scan(planes, true, PFNC_COORD3D_ABC32F, true);
    const struct {
        const char* name;
        uint64_t bytes;
        std::vector<uint64_t> flows;
    } rows[] = {
        {"plain, one byte short", 271, {}},
        {"GenDC data past flow 1", 1024, {512, 263}},
        {"GenDC descriptor past flow 0", 1024, {423, 264}},
        {"GenDC flows past the buffer", 775, {512, 264}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> buffer(row.bytes, 0xEE);
        PayloadGenerator generator;
        const FillDescription fill = generator.Fill(buffer.data(), row.bytes, scan, row.flows, 1);
        EXPECT_FALSE(fill.complete);
        EXPECT_TRUE(fill.overflow);
        EXPECT_EQ(0u, fill.data_size);
        EXPECT_EQ(std::vector<uint8_t>(row.bytes, 0xEE), buffer);
    }
}

// A scan that ended after 2 of 3 profiles: the rows written, the chunks
// right after them, and the sizes the descriptor gives.
TEST(PayloadGeneratorTest, ShortScanReportsTheRowsItWrote)
{
    const Planes planes;
    ScanData scan = Scan(planes, true, PFNC_COORD3D_ABC32F, true);
    scan.profile_count = 2;
    std::vector<uint8_t> buffer(1024);
    PayloadGenerator generator;
    const FillDescription plain = generator.Fill(buffer.data(), buffer.size(), scan, {}, 1);
    EXPECT_EQ(14u * 8 + 104, plain.data_size);
    EXPECT_EQ(2u, plain.delivered_height);
    EXPECT_EQ(16u, plain.parts[1].offset);
    EXPECT_EQ(96u, plain.parts[1].size);
    // A Mono8 setting does not shrink the 16-bit plane the chunks follow.
    scan.intensity_format = PFNC_MONO8;
    std::fill(buffer.begin(), buffer.end(), 0);
    EXPECT_EQ(plain.data_size, generator.Fill(buffer.data(), buffer.size(), scan, {}, 1).data_size);
    EXPECT_EQ(0xDEADBEEF, Word(&buffer[14 * 8]));
    scan.chunks_active = false;
    EXPECT_EQ(14u * 8, generator.Fill(buffer.data(), buffer.size(), scan, {}, 1).data_size);
}

}  // namespace
