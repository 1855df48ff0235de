#include "gentl_producers/GenTesk3d/PayloadGenerator.h"

#include <cmath>
#include <cstring>

#include "GenTL.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr float SCAN3D_UNIT = 1.0f;
constexpr float SCAN3D_INVALID_ANGLE = 180.0f;
constexpr size_t SCAN3D_WORDS = 13;

uint8_t* Put32(uint8_t* at, uint32_t value)
{
    std::memcpy(at, &value, sizeof value);
    return at + sizeof value;
}

uint8_t* PutFloat(uint8_t* at, float value)
{
    std::memcpy(at, &value, sizeof value);
    return at + sizeof value;
}

uint8_t* PutChunk(uint8_t* at, uint32_t value, uint32_t id)
{
    return Put32(Put32(Put32(at, value), id), 4);
}

uint64_t Points(const ScanData& scan)
{
    return scan.width * scan.profile_count;
}

// Copies `bytes` of a plane, or zeros when the scan has none. A plane the
// scan wrote in place is there already, or, after a scan that ended early,
// moves up behind the one before it.
uint8_t* PutPlane(uint8_t* at, const void* plane, uint64_t bytes)
{
    if (plane == nullptr)
        std::memset(at, 0, bytes);
    else if (plane != at)
        std::memmove(at, plane, bytes);
    return at + bytes;
}

uint64_t ChunkBytes(const ScanData& scan)
{
    if (!scan.chunks_active) return 0;
    const uint64_t simple = uint64_t{scan.chunk_picture_counter_enabled} +
                            uint64_t{scan.chunk_encoder_enabled} +
                            uint64_t{scan.chunk_user_io_enabled};
    return (scan.gendc_mode ? 0 : CHUNK_TRAILER_BYTES) + simple * SIMPLE_CHUNK_TOTAL_BYTES +
           (scan.chunk_scan3d_enabled && scan.range_enabled ? SCAN3D_CHUNK_TOTAL_BYTES : 0);
}

uint64_t DataBytes(const ScanData& scan)
{
    return scan.chunks_active ? scan.ChunkOffset() + ChunkBytes(scan) : [&] {
        const uint64_t n = Points(scan);
        if (!scan.scan_mode) return scan.intensity_enabled ? n : 0;
        return (scan.intensity_enabled ? 2 * n : 0) +
               (scan.range_enabled ? RangeBytesPerPoint(scan.range_format) * n : 0);
    }();
}

void DescribeParts(const ScanData& scan, uint64_t base_offset, FillDescription& fill)
{
    const uint64_t n = Points(scan);
    if (!scan.scan_mode) {
        fill.parts[0] = {base_offset, n, PFNC_MONO8, PART_TYPE_2D_IMAGE, PURPOSE_INTENSITY};
        fill.part_count = scan.intensity_enabled ? 1 : 0;
        fill.pixel_format = PFNC_MONO8;
        return;
    }
    uint64_t offset = base_offset;
    uint32_t count = 0;
    if (scan.intensity_enabled) {
        fill.parts[count++] = {offset, 2 * n, scan.intensity_format, PART_TYPE_2D_IMAGE,
                               PURPOSE_INTENSITY};
        offset += 2 * n;
    }
    if (scan.range_enabled)
        fill.parts[count++] = {offset, RangeBytesPerPoint(scan.range_format) * n, scan.range_format,
                               PART_TYPE_3D_IMAGE, PURPOSE_RANGE};
    fill.part_count = count;
    fill.pixel_format = count > 0 ? fill.parts[0].format : 0;
}

// The scan as a fill treats it: the container chosen by the flows, and the
// 3D intensity plane 16-bit whatever the setting says.
ScanData AsFilled(const ScanData& source, bool gendc)
{
    ScanData scan = source;
    scan.gendc_mode = gendc;
    if (scan.scan_mode && scan.intensity_format == PFNC_MONO8) scan.intensity_format = PFNC_MONO10;
    return scan;
}

}  // namespace

uint64_t PayloadGenerator::FillPayload(uint8_t* base, const ScanData& scan)
{
    TL_ASSERT_MSG(base != nullptr, "payload_base");
    const uint64_t n = Points(scan);
    if (!scan.scan_mode) {
        if (!scan.intensity_enabled) return 0;
        PutPlane(base, scan.image, n);
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
            << "FillPayload Intensity in 2d. Data size:" << n;
        return n;
    }
    uint8_t* at = base;
    if (scan.intensity_enabled) {
        at = PutPlane(at, scan.intensity, 2 * n);
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
            << "FillPayload Intensity in profile mode. Data size (uint16_t):" << n;
    }
    if (scan.range_enabled) {
        const uint64_t bytes = RangeBytesPerPoint(scan.range_format) * n;
        const bool floats = scan.range_format == PFNC_COORD3D_ABC32F;
        const bool mono16 = !floats && scan.range_format != PFNC_COORD3D_ABC16;
        at = PutPlane(at, floats ? static_cast<const void*>(scan.points32)
                          : mono16 ? scan.range16
                                   : scan.points16,
                      bytes);
        // Mono16 counts values, the coordinate formats bytes.
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
            << "FillPayload 3D. Data size " << (floats ? "(float):" : "(uint16_t):")
            << (mono16 ? n : bytes);
    }
    return static_cast<uint64_t>(at - base);
}

uint64_t PayloadGenerator::AddChunkData(uint8_t* base, const ScanData& scan)
{
    TL_ASSERT_MSG(base != nullptr, "payload_base");
    TL_ASSERT_MSG(scan.chunks_active, "scene_config.chunks_active");
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG) << "Adding Chunk Data";
    if (!scan.chunks_active) return 0;
    const uint64_t offset = scan.ChunkOffset();
    uint8_t* const start = base + offset;
    uint8_t* at = start;
    if (!scan.gendc_mode) at = Put32(Put32(at, CHUNK_TRAILER_ID), static_cast<uint32_t>(offset));
    const FeatureCache::ScanStatus& status = scan.scan_status;
    if (scan.chunk_picture_counter_enabled)
        at = PutChunk(at, status.picture_counter, CHUNK_ID_PICTURE_COUNTER);
    if (scan.chunk_encoder_enabled) at = PutChunk(at, status.encoder, CHUNK_ID_ENCODER);
    if (scan.chunk_user_io_enabled) at = PutChunk(at, status.user_io & 0xFF, CHUNK_ID_USER_IO);
    if (scan.chunk_scan3d_enabled && scan.range_enabled) {
        const float words[SCAN3D_WORDS - 1] = {SCAN3D_UNIT, SCAN3D_UNIT, SCAN3D_UNIT,         0, 0,
                                               0,           0,           SCAN3D_INVALID_ANGLE};
        at = Put32(at, 0);  // a placeholder word with no meaning
        for (size_t i = 0; i < 8; ++i) at = PutFloat(at, words[i]);
        for (size_t i = 0; i < 3; ++i) at = Put32(at, 0);
        const uint64_t diagonal = scan.width * scan.width + scan.height * scan.height;
        at = PutFloat(at, std::sqrt(static_cast<float>(diagonal)));
        at = Put32(Put32(at, CHUNK_ID_SCAN3D), static_cast<uint32_t>(SCAN3D_CHUNK_DATA_BYTES));
    }
    return static_cast<uint64_t>(at - start);
}

uint64_t PayloadGenerator::FillData(uint8_t* base, const ScanData& scan)
{
    const uint64_t written = FillPayload(base, scan);
    return scan.chunks_active ? scan.ChunkOffset() + AddChunkData(base, scan) : written;
}

FillDescription PayloadGenerator::Fill(uint8_t* base, uint64_t bytes, const ScanData& source,
                                       const std::vector<uint64_t>& flow_sizes, uint64_t frame_id)
{
    // The flows fixed at start decide the container, not a later setting.
    const ScanData scan = AsFilled(source, !flow_sizes.empty());
    // The flow results record this fill: a scan that overflows filled nothing.
    last_data_size = last_descriptor_size = 0;
    FillDescription fill;
    fill.frame_id = frame_id;
    fill.width = scan.width;
    fill.delivered_height = scan.profile_count;
    fill.scan_mode = scan.scan_mode;
    fill.has_chunks = scan.chunks_active;
    fill.is_gendc = scan.gendc_mode;
    fill.is_multi_part =
        scan.scan_mode && scan.intensity_enabled && scan.range_enabled && !scan.gendc_mode;
    fill.payload_type = fill.is_gendc        ? PAYLOAD_TYPE_GENDC
                        : fill.is_multi_part ? PAYLOAD_TYPE_MULTI_PART
                                             : PAYLOAD_TYPE_IMAGE;
    const uint64_t data = DataBytes(scan);
    if (!scan.gendc_mode) {
        DescribeParts(scan, 0, fill);
        fill.chunk_offset = scan.chunks_active ? scan.ChunkOffset() : data;
        if (data > bytes) return Overflow(fill, data, bytes);
        fill.data_size = FillData(base, scan);
        last_data_size = fill.data_size;
        return fill;
    }
    // Flow 0 holds the descriptor, flow 1 the data.
    const bool two_flows = TL_ASSERT_MSG(flow_sizes.size() == 2, "flowSizes.size() == 2");
    const uint64_t descriptor_size =
        BuildSceneDescriptor(scan, nullptr, 0, frame_id, 0, flow_sizes);
    fill.flow0_size = flow_sizes[0];
    fill.descriptor_size = descriptor_size;
    DescribeParts(scan, fill.flow0_size, fill);
    fill.chunk_offset = fill.flow0_size + scan.ChunkOffset();
    // Flow 0 was sized for the largest descriptor of the run.
    const bool fits = TL_ASSERT_MSG(two_flows && descriptor_size <= flow_sizes[0],
                                    "flowSizes.size() == 2 && descriptor_size <= flowSizes[0]") &&
                      data <= flow_sizes[1] && flow_sizes[0] <= bytes &&
                      flow_sizes[1] <= bytes - flow_sizes[0];
    if (!fits) return Overflow(fill, fill.flow0_size + data, bytes);
    const uint64_t data_size = FillData(base + flow_sizes[0], scan);
    BuildSceneDescriptor(scan, base, flow_sizes[0], frame_id, 0, flow_sizes);
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
        << "[BDataStream] Fill PayloadGenDC: [BDataStream] Data Size:" << data_size
        << " [BDataStream] Descriptor Size:" << descriptor_size
        << " [BDataStream] Flow Size 0:" << flow_sizes[0]
        << " [BDataStream] Flow Size 1:" << flow_sizes[1];
    last_data_size = data_size;
    last_descriptor_size = descriptor_size;
    fill.data_size = flow_sizes[0] + data_size;
    return fill;
}

FillDescription PayloadGenerator::Overflow(FillDescription& fill, uint64_t needed, uint64_t bytes)
{
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
        << "Scan does not fit the buffer, delivered incomplete - needed: " << needed
        << " buffer: " << bytes;
    fill.complete = false;
    fill.overflow = true;
    fill.data_size = 0;
    return fill;
}

}  // namespace GenTLCore::ZoTL
