// PayloadGenerator.h: writes one acquired scan into a consumer buffer (plain
// 3D planes, a camera image, chunk data, or a GenDC container) and describes
// what it wrote for the buffer queries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace GenTLCore::ZoTL {

constexpr uint32_t CHUNK_TRAILER_ID = 0xDEADBEEF;
constexpr uint32_t CHUNK_ID_SCAN3D = 0xF000BAAA;
constexpr uint32_t CHUNK_ID_PICTURE_COUNTER = 0xF000BAAB;
constexpr uint32_t CHUNK_ID_ENCODER = 0xF000BAAC;
constexpr uint32_t CHUNK_ID_USER_IO = 0xF000BAAD;
constexpr uint64_t CHUNK_TRAILER_BYTES = 8;
constexpr uint64_t SIMPLE_CHUNK_TOTAL_BYTES = 12;  // value, ID, length
constexpr uint64_t SCAN3D_CHUNK_DATA_BYTES = 52;
constexpr uint64_t SCAN3D_CHUNK_TOTAL_BYTES = 60;

// GenTL part data types and the purposes of the two 3D parts.
constexpr uint64_t PART_TYPE_2D_IMAGE = 1;
constexpr uint64_t PART_TYPE_3D_IMAGE = 5;
constexpr uint64_t PURPOSE_INTENSITY = 1;
constexpr uint64_t PURPOSE_RANGE = 4;

// One plane of a delivered payload, offsets from the buffer base.
struct PayloadPart {
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t format = 0;
    uint64_t data_type = 0;
    uint64_t purpose = 0;
};

// What one fill put into a buffer: everything a buffer, part or chunk query
// answers from. Written by the acquisition thread under the buffer's lock
// before the buffer reaches the output queue; read by consumer threads.
struct FillDescription {
    uint64_t frame_id = 0;
    uint64_t width = 0;
    uint64_t delivered_height = 0;  // rows written (profiles, or image rows)
    uint64_t data_size = 0;         // bytes written from the buffer base
    uint32_t payload_type = 0;      // PAYLOAD_TYPE_IMAGE, _MULTI_PART or _GENDC
    uint32_t pixel_format = 0;      // single-part: the present component's format
    bool scan_mode = true;
    bool has_chunks = false;
    bool is_multi_part = false;
    bool is_gendc = false;
    // False when the scan did not fit the buffer (or the GenDC flows fixed
    // at start): nothing was written past the end, data_size may be 0.
    bool complete = true;
    bool overflow = false;
    uint32_t part_count = 0;  // 2 for a multi-part 3D payload
    std::array<PayloadPart, 2> parts{};
    uint64_t chunk_offset = 0;     // D: where the chunk data starts (plain fill)
    uint64_t descriptor_size = 0;  // GenDC: flow 0 holds the descriptor
    uint64_t flow0_size = 0;       // GenDC: the data starts here
};

// Owned by the data stream's acquisition thread, which alone calls it;
// holds no lock. Reads the scan's planes, so the caller holds the
// SensorInterface's ScanLock() across Acquire and Fill.
class PayloadGenerator {
public:
    // Fills `bytes` at `base`: plain when `flow_sizes` is empty, else a GenDC
    // container with the descriptor in flow 0 and the data after it. Checks
    // the size first; a scan that does not fit is logged and described as
    // incomplete with overflow, with nothing written.
    FillDescription Fill(uint8_t* base, uint64_t bytes, const ScanData& scan,
                         const std::vector<uint64_t>& flow_sizes, uint64_t frame_id);

    // Of the last fill; 0 when it overflowed.
    uint64_t last_data_size = 0;
    uint64_t last_descriptor_size = 0;

private:
    // The plain payload at `base`; returns its bytes (the rows written).
    static uint64_t FillPayload(uint8_t* base, const ScanData& scan);
    // The chunk data from the scan's chunk offset; returns its bytes
    // (trailer only when not GenDC).
    static uint64_t AddChunkData(uint8_t* base, const ScanData& scan);
    // The plain payload and its chunks; returns the bytes from `base`.
    static uint64_t FillData(uint8_t* base, const ScanData& scan);
    static FillDescription Overflow(FillDescription& fill, uint64_t needed, uint64_t bytes);
};

}  // namespace GenTLCore::ZoTL
