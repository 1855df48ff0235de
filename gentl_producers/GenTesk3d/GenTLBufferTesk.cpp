// GenTLBufferTesk.cpp: buffer, part and chunk answers over the fill
// description, which holds the planes where the payload generator put them.
#include "gentl_producers/GenTesk3d/GenTLBufferTesk.h"

#include <string>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr uint64_t SCAN_REGION_ID = 1;
constexpr const char* GENDC_CHUNKS =
    "chunk-data should be handled fully by the consumer for GenDC payloads";

GC_ERROR Refuse(GC_ERROR code, const std::string& text)
{
    return ReportError(code, text);
}

}  // namespace

void GenTLBufferTesk::SetFillDescription(const FillDescription& description)
{
    TL_ASSERT_MSG(!description.is_gendc || !description.is_multi_part,
                  "!is_gendc || !is_multi_part");
    ScopedLock lock(GetLock());
    fill = description;
}

GC_ERROR GenTLBufferTesk::CheckPlainImage(const char* what) const
{
    if (fill.is_multi_part)
        return Refuse(GC_ERR_NO_DATA, std::string("GetBufferInfo: ") + what +
                                          " should be queried per-part for multi-part payload");
    if (fill.is_gendc)
        return Refuse(GC_ERR_NO_DATA,
                      std::string("GetBufferInfo: ") + what +
                          " should be queried from GenDC descriptor for GenDC payload");
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLBufferTesk::CheckPart(uint32_t part) const
{
    if (!fill.is_multi_part)
        return Refuse(GC_ERR_NO_DATA,
                      "GetBufferPartInfo: buffer does not contain multi-part payload");
    if (part >= fill.part_count || part >= fill.parts.size())
        return Refuse(GC_ERR_INVALID_INDEX,
                      "GetBufferPartInfo: invalid part index, exceeding number of reported parts.");
    return GC_ERR_SUCCESS;
}

template <class T, class V>
GC_ERROR GenTLBufferTesk::Answer(const char* query, T& value, V answer)
{
    value = static_cast<T>(answer);
    TL_LOG(LOG_CATEGORY_BUFFER, LOG_LEVEL_DEBUG)
        << "Buffer " << static_cast<const void*>(this) << " " << query << ": " << value;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLBufferTesk::GetTimestampNs(uint64_t&)
{
    return Refuse(GC_ERR_NOT_AVAILABLE, "GetBufferInfo: timestamps not supported by the device");
}

GC_ERROR GenTLBufferTesk::GetWidth(size_t& value)
{
    const GC_ERROR refusal = CheckPlainImage("width");
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, fill.width);
}

GC_ERROR GenTLBufferTesk::GetHeight(size_t& value)
{
    const GC_ERROR refusal = CheckPlainImage("height");
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, fill.delivered_height);
}

GC_ERROR GenTLBufferTesk::GetXOffset(size_t& value)
{
    const GC_ERROR refusal = CheckPlainImage("x-offset");
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, 0);
}

GC_ERROR GenTLBufferTesk::GetYOffset(size_t& value)
{
    const GC_ERROR refusal = CheckPlainImage("y-offset");
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, 0);
}

GC_ERROR GenTLBufferTesk::GetXPadding(size_t& value)
{
    const GC_ERROR refusal = CheckPlainImage("x-padding");
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, 0);
}

GC_ERROR GenTLBufferTesk::GetYPadding(size_t& value)
{
    if (fill.is_multi_part)
        return Refuse(GC_ERR_NO_DATA,
                      "GetBufferInfo: y-padding not available for multi-part payload");
    const GC_ERROR refusal = CheckPlainImage("y-padding");
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, 0);
}

GC_ERROR GenTLBufferTesk::GetDeliveredImageHeight(size_t& value)
{
    const GC_ERROR refusal = CheckPlainImage("delivered-height");
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, fill.delivered_height);
}

GC_ERROR GenTLBufferTesk::GetFrameID(uint64_t& value)
{
    return Answer(__func__, value, fill.frame_id);
}

GC_ERROR GenTLBufferTesk::GetImagePresent(bool& value)
{
    return Answer(__func__, value, !fill.is_multi_part && !fill.is_gendc);
}

GC_ERROR GenTLBufferTesk::GetImageOffset(size_t& value)
{
    if (fill.is_multi_part || fill.is_gendc)
        return Refuse(GC_ERR_NO_DATA,
                      "GetBufferInfo: image offset query not supported  for "
                      "multi-part and GenDC payloads");
    return Answer(__func__, value, 0);
}

GC_ERROR GenTLBufferTesk::GetPayloadType(int32_t& value)
{
    return Answer(__func__, value, fill.payload_type);
}

GC_ERROR GenTLBufferTesk::GetPixelFormat(uint64_t& value)
{
    const GC_ERROR refusal = CheckPlainImage("pixel format");
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, fill.pixel_format);
}

GC_ERROR GenTLBufferTesk::GetPixelFormatNamespace(int32_t& value)
{
    const GC_ERROR refusal = CheckPlainImage("pixel format namespace");
    return refusal != GC_ERR_SUCCESS ? refusal
                                     : Answer(__func__, value, PIXELFORMAT_NAMESPACE_PFNC_32BIT);
}

GC_ERROR GenTLBufferTesk::GetDeliveredChunkPayloadSize(size_t& value)
{
    if (fill.is_gendc)
        return Refuse(GC_ERR_NO_DATA,
                      "GetBufferInfo: chunk payload size query not applicable for GenDC payload, "
                      "find chunk location based on the GenDC descriptor info.");
    if (!fill.has_chunks)
        return Refuse(GC_ERR_NOT_AVAILABLE,
                      "GetBufferInfo: chunk payload size available only for chunk-based payload "
                      "types");
    return Answer(__func__, value, fill.data_size);
}

GC_ERROR GenTLBufferTesk::GetChunkLayoutID(uint64_t&)
{
    return Refuse(fill.is_gendc ? GC_ERR_NO_DATA : GC_ERR_NOT_AVAILABLE,
                  "GetBufferInfo: chunk layout ID not supported by the device");
}

GC_ERROR GenTLBufferTesk::GetFileName(std::string&)
{
    return Refuse(GC_ERR_NOT_AVAILABLE,
                  "GetBufferInfo: file payload not supported by this implementation");
}

GC_ERROR GenTLBufferTesk::GetPixelEndianness(int32_t& value)
{
    return Answer(__func__, value, PIXELENDIANNESS_LITTLE);
}

GC_ERROR GenTLBufferTesk::GetContainsChunkData(bool& value)
{
    if (fill.is_gendc) return Refuse(GC_ERR_NO_DATA, std::string("GetBufferInfo: ") + GENDC_CHUNKS);
    return Answer(__func__, value, fill.has_chunks);
}

GC_ERROR GenTLBufferTesk::GetNumParts(uint32_t& value)
{
    if (!fill.is_multi_part)
        return Refuse(GC_ERR_NO_DATA,
                      "GetNumBufferParts: buffer does not contain multi-part payload");
    return Answer(__func__, value, fill.part_count);
}

GC_ERROR GenTLBufferTesk::GetPartBase(uint32_t part, void*& value)
{
    const GC_ERROR refusal = CheckPart(part);
    if (refusal != GC_ERR_SUCCESS) return refusal;
    return Answer(__func__, value,
                  static_cast<uint8_t*>(GetContiguousBase()) + fill.parts[part].offset);
}

GC_ERROR GenTLBufferTesk::GetPartDataSize(uint32_t part, size_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, fill.parts[part].size);
}

GC_ERROR GenTLBufferTesk::GetPartDataType(uint32_t part, int32_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal
                                     : Answer(__func__, value, fill.parts[part].data_type);
}

GC_ERROR GenTLBufferTesk::GetPartDataFormat(uint32_t part, uint64_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, fill.parts[part].format);
}

GC_ERROR GenTLBufferTesk::GetPartDataFormatNamespace(uint32_t part, uint64_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal
                                     : Answer(__func__, value, PIXELFORMAT_NAMESPACE_PFNC_32BIT);
}

GC_ERROR GenTLBufferTesk::GetPartWidth(uint32_t part, size_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, fill.width);
}

GC_ERROR GenTLBufferTesk::GetPartHeight(uint32_t part, size_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, fill.delivered_height);
}

GC_ERROR GenTLBufferTesk::GetPartXOffset(uint32_t part, size_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, 0);
}

GC_ERROR GenTLBufferTesk::GetPartYOffset(uint32_t part, size_t& value)
{
    return GetPartXOffset(part, value);
}

GC_ERROR GenTLBufferTesk::GetPartXPadding(uint32_t part, size_t& value)
{
    return GetPartXOffset(part, value);
}

GC_ERROR GenTLBufferTesk::GetPartSourceID(uint32_t part, uint64_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, 0);
}

GC_ERROR GenTLBufferTesk::GetPartRegionID(uint32_t part, uint64_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, SCAN_REGION_ID);
}

GC_ERROR GenTLBufferTesk::GetPartDataPurposeID(uint32_t part, uint64_t& value)
{
    const GC_ERROR refusal = CheckPart(part);
    return refusal != GC_ERR_SUCCESS ? refusal : Answer(__func__, value, fill.parts[part].purpose);
}

GC_ERROR GenTLBufferTesk::GetPartDeliveredImageHeight(uint32_t part, size_t& value)
{
    return GetPartHeight(part, value);
}

void GenTLBufferTesk::CopyFillInfoFrom(GenTLBuffer& aux_buffer)
{
    auto* source = dynamic_cast<GenTLBufferTesk*>(&aux_buffer);
    if (!TL_ASSERT_MSG(source != nullptr, "aux_buffer_play")) return;
    ScopedLock lock(source->GetLock());
    fill = source->fill;
}

GC_ERROR GenTLBufferTesk::GetChunkData(std::vector<SINGLE_CHUNK_DATA>& chunks)
{
    if (fill.is_gendc)
        return Refuse(GC_ERR_NO_DATA, std::string("GetBufferChunkData: ") + GENDC_CHUNKS);
    return ParseU3VChunkLayout(fill.data_size, chunks);
}

}  // namespace GenTLCore::ZoTL
