// FakeBuffer.h: a transport-layer buffer with fixed payload answers, for the
// buffer and data stream tests and the fixture producer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBuffer.h"

namespace AcquisitionTest {

constexpr size_t FAKE_WIDTH = 640;
constexpr uint64_t FAKE_FRAME_ID = 77;

// Answers from fixed values and the knobs below; the chunk list comes from
// the framework's chunk walk over the first `chunk_data_size` bytes. Parts
// answer region 100 + index and purpose 200 + index.
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

protected:
    template <class T, class V>
    static GC_ERROR Answer(T& value, V answer)
    {
        value = static_cast<T>(answer);
        return GC_ERR_SUCCESS;
    }
    static GC_ERROR Refuse(const char* text)
    {
        return GenTLCore::ReportError(GC_ERR_NOT_AVAILABLE, text);
    }
    // clang-format off
    GC_ERROR GetTimestampNs(uint64_t&) override { return Refuse("GetBufferInfo: timestamps not supported"); }
    GC_ERROR GetTimestamp(uint64_t& value) override { return GetTimestampNs(value); }
    GC_ERROR GetWidth(size_t& value) override { return Answer(value, FAKE_WIDTH); }
    GC_ERROR GetHeight(size_t& value) override { return Answer(value, 480); }
    GC_ERROR GetXOffset(size_t& value) override { return Answer(value, 1); }
    GC_ERROR GetYOffset(size_t& value) override { return Answer(value, 2); }
    GC_ERROR GetXPadding(size_t& value) override { return Answer(value, 3); }
    GC_ERROR GetYPadding(size_t& value) override { return Answer(value, 4); }
    GC_ERROR GetDeliveredImageHeight(size_t& value) override { return Answer(value, 479); }
    GC_ERROR GetFrameID(uint64_t& value) override { return Answer(value, FAKE_FRAME_ID); }
    GC_ERROR GetImagePresent(bool& value) override { return Answer(value, true); }
    GC_ERROR GetImageOffset(size_t& value) override { return Answer(value, 0); }
    GC_ERROR GetPayloadType(int32_t& value) override { return Answer(value, payload_type); }
    GC_ERROR GetPixelFormat(uint64_t& value) override { return Answer(value, 0x01080001); }
    GC_ERROR GetPixelFormatNamespace(int32_t& value) override { return Answer(value, pixel_format_namespace); }
    GC_ERROR GetDeliveredChunkPayloadSize(size_t& value) override { return Answer(value, chunk_data_size); }
    GC_ERROR GetChunkLayoutID(uint64_t&) override { return Refuse("GetBufferInfo: no chunk layout ID"); }
    GC_ERROR GetFileName(std::string&) override { return Refuse("GetBufferInfo: no file payload"); }
    GC_ERROR GetPixelEndianness(int32_t& value) override { return Answer(value, 1); }
    GC_ERROR GetContainsChunkData(bool& value) override { return Answer(value, chunk_data_size > 0); }
    GC_ERROR GetNumParts(uint32_t& value) override { return Answer(value, 2); }
    GC_ERROR GetPartRegionID(uint32_t part, uint64_t& value) override { return Answer(value, 100 + part); }
    GC_ERROR GetPartDataPurposeID(uint32_t part, uint64_t& value) override { return Answer(value, 200 + part); }
    GC_ERROR GetPartDataType(uint32_t, int32_t& value) override { return Answer(value, -2); }
    void CopyFillInfoFrom(GenTLBuffer&) override { ++copy_fill_info_calls; }
    void OnAuxMemoryChanged() override {}
    GC_ERROR GetChunkData(std::vector<SINGLE_CHUNK_DATA>& chunks) override { return ParseU3VChunkLayout(chunk_data_size, chunks); }
    // clang-format on
};

}  // namespace AcquisitionTest
