// FakeBuffer.h: a transport-layer buffer with fixed payload answers, for the
// buffer and data stream tests.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/GenTLBuffer.h"

namespace AcquisitionTest {

// The payload answers every FakeBuffer gives while its data are available.
constexpr size_t FAKE_WIDTH = 640;
constexpr size_t FAKE_HEIGHT = 480;
constexpr uint64_t FAKE_FRAME_ID = 77;
constexpr uint64_t FAKE_PIXEL_FORMAT = 0x01080001;

// Answers from fixed values and the knobs below; the chunk list comes from
// the framework's chunk walk over the first `chunk_data_size` bytes.
//
// Threads: as GenTLBuffer; the knobs are set before the buffer is queried.
class FakeBuffer : public GenTLCore::GenTLBuffer {
public:
    using GenTLBuffer::GenTLBuffer;

    // Knobs.
    int32_t payload_type = 1;
    int32_t pixel_format_namespace = 2;
    uint64_t chunk_data_size = 0;
    // Records.
    std::atomic<int> copy_fill_info_calls{0};
    std::atomic<int> aux_memory_changes{0};

    // The unlocked SetFillResults, as a secondary fill, under the lock.
    void SetSecondaryFillForTest(const GenTLCore::GlobalFillResults& global,
                                 const std::vector<GenTLCore::SegmentFillResult>& results);

protected:
    GC_ERROR GetTimestampNs(uint64_t& value) override;
    GC_ERROR GetTimestamp(uint64_t& value) override;
    GC_ERROR GetWidth(size_t& value) override;
    GC_ERROR GetHeight(size_t& value) override;
    GC_ERROR GetXOffset(size_t& value) override;
    GC_ERROR GetYOffset(size_t& value) override;
    GC_ERROR GetXPadding(size_t& value) override;
    GC_ERROR GetYPadding(size_t& value) override;
    GC_ERROR GetDeliveredImageHeight(size_t& value) override;
    GC_ERROR GetFrameID(uint64_t& value) override;
    GC_ERROR GetImagePresent(bool& value) override;
    GC_ERROR GetImageOffset(size_t& value) override;
    GC_ERROR GetPayloadType(int32_t& value) override;
    GC_ERROR GetPixelFormat(uint64_t& value) override;
    GC_ERROR GetPixelFormatNamespace(int32_t& value) override;
    GC_ERROR GetDeliveredChunkPayloadSize(size_t& value) override;
    GC_ERROR GetChunkLayoutID(uint64_t& value) override;
    GC_ERROR GetFileName(std::string& value) override;
    GC_ERROR GetPixelEndianness(int32_t& value) override;
    GC_ERROR GetContainsChunkData(bool& value) override;
    GC_ERROR GetNumParts(uint32_t& value) override;
    GC_ERROR GetPartRegionID(uint32_t part, uint64_t& value) override;
    GC_ERROR GetPartDataPurposeID(uint32_t part, uint64_t& value) override;
    GC_ERROR GetPartDataType(uint32_t part, int32_t& value) override;
    void CopyFillInfoFrom(GenTLBuffer& aux_buffer) override;
    void OnAuxMemoryChanged() override;
    GC_ERROR GetChunkData(std::vector<SINGLE_CHUNK_DATA>& chunks) override;
};

}  // namespace AcquisitionTest
