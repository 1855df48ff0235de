// FakeBuffer.cpp: fixed payload answers of the test buffer.
#include "FakeBuffer.h"

#include "gentl_core/ErrorHandling.h"

namespace AcquisitionTest {

using GenTLCore::ReportError;

void FakeBuffer::SetSecondaryFillForTest(const GenTLCore::GlobalFillResults& global,
                                         const std::vector<GenTLCore::SegmentFillResult>& results)
{
    GenTLCore::ScopedLock lock(GetHandleLock());
    SetFillResults(global, results, true);
}

GC_ERROR FakeBuffer::GetTimestampNs(uint64_t&)
{
    return ReportError(GC_ERR_NOT_AVAILABLE,
                       "GetBufferInfo: timestamps not supported by the device");
}

GC_ERROR FakeBuffer::GetTimestamp(uint64_t& value)
{
    return GetTimestampNs(value);
}

GC_ERROR FakeBuffer::GetWidth(size_t& value)
{
    value = FAKE_WIDTH;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetHeight(size_t& value)
{
    value = FAKE_HEIGHT;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetXOffset(size_t& value)
{
    value = 1;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetYOffset(size_t& value)
{
    value = 2;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetXPadding(size_t& value)
{
    value = 3;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetYPadding(size_t& value)
{
    value = 4;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetDeliveredImageHeight(size_t& value)
{
    value = FAKE_HEIGHT - 1;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetFrameID(uint64_t& value)
{
    value = FAKE_FRAME_ID;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetImagePresent(bool& value)
{
    value = true;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetImageOffset(size_t& value)
{
    value = 0;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetPayloadType(int32_t& value)
{
    value = payload_type;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetPixelFormat(uint64_t& value)
{
    value = FAKE_PIXEL_FORMAT;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetPixelFormatNamespace(int32_t& value)
{
    value = pixel_format_namespace;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetDeliveredChunkPayloadSize(size_t& value)
{
    value = chunk_data_size;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetChunkLayoutID(uint64_t&)
{
    return ReportError(GC_ERR_NOT_AVAILABLE,
                       "GetBufferInfo: chunk layout ID not supported by the device");
}

GC_ERROR FakeBuffer::GetFileName(std::string&)
{
    return ReportError(GC_ERR_NOT_AVAILABLE,
                       "GetBufferInfo: file payload not supported by this implementation");
}

GC_ERROR FakeBuffer::GetPixelEndianness(int32_t& value)
{
    value = 1;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetContainsChunkData(bool& value)
{
    value = chunk_data_size > 0;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetNumParts(uint32_t& value)
{
    value = 2;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetPartRegionID(uint32_t part, uint64_t& value)
{
    value = 100 + part;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetPartDataPurposeID(uint32_t part, uint64_t& value)
{
    value = 200 + part;
    return GC_ERR_SUCCESS;
}

GC_ERROR FakeBuffer::GetPartDataType(uint32_t, int32_t& value)
{
    value = -2;
    return GC_ERR_SUCCESS;
}

void FakeBuffer::CopyFillInfoFrom(GenTLBuffer&)
{
    ++copy_fill_info_calls;
}

void FakeBuffer::OnAuxMemoryChanged()
{
    ++aux_memory_changes;
}

GC_ERROR FakeBuffer::GetChunkData(std::vector<SINGLE_CHUNK_DATA>& chunks)
{
    return ParseU3VChunkLayout(chunk_data_size, chunks);
}

}  // namespace AcquisitionTest
