// GenTLBufferInfo.cpp: the buffer, part, segment and chunk queries of a
// GenTLBuffer, answered from its own state or through the subclass's slots.
#include <cstring>
#include <string>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLBuffer.h"
#include "gentl_core/InfoCommandHandling.h"
#include "platform/Assert.h"

namespace GenTLCore {

namespace {

constexpr const char* NO_DATA_TEXT =
    ": attempt to query data-related info about a buffer which contains no data or is currently "
    "owned by the acquisition engine";

GC_ERROR NoDataAvailable(const char* operation)
{
    return ReportError(GC_ERR_NOT_AVAILABLE, std::string(operation) + NO_DATA_TEXT);
}

bool IsCustomCommand(int32_t command)
{
    return command >= 1000;
}

// The answer of a slot, written the get-info way unless the slot failed.
template <class T, class Slot, class Write>
GC_ERROR AnswerSlot(Slot slot, Write write)
{
    T value{};
    const GC_ERROR result = slot(value);
    return result != GC_ERR_SUCCESS ? result : write(value);
}

// Sign-extends a 32-bit answer into a 64-bit one.
uint64_t Widen(int32_t value)
{
    return static_cast<uint64_t>(static_cast<int64_t>(value));
}

// Keeps the calling thread's last error across a stacked query, whose
// entries report their own failures.
class LastErrorKeeper {
public:
    LastErrorKeeper()
    {
        TLSControl* store = TLSControl::Instance();
        kept = store != nullptr && store->GetLastError(saved);
    }
    ~LastErrorKeeper()
    {
        TLSControl* store = TLSControl::Instance();
        if (kept && store != nullptr) store->SetLastError(saved.code, saved.text);
    }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    LastErrorRecord saved;
    bool kept = false;
};

// Answers each entry with `answer(entry, type, size)` and stores the result
// in it. The records are packed: their fields are not addressable in place.
template <class Entry, class Answer>
void AnswerStacked(Entry* entries, size_t count, Answer answer)
{
    LastErrorKeeper keeper;
    for (size_t i = 0; i < count; ++i) {
        Entry& entry = entries[i];
        INFO_DATATYPE type = entry.iType;
        size_t size = entry.iSize;
        entry.iResult = answer(entry, &type, &size);
        entry.iType = type;
        entry.iSize = size;
    }
}

GC_ERROR MultiPartInternalError()
{
    TL_ASSERT_MSG(GetBranding().MultiPartAware(), "GetBranding ().MultiPartAware ()");
    TL_ASSERT_MSG(false, "Multi-part info query not implemented by the transport layer");
    return ReportError(GC_ERR_ERROR, "Internal error during multi-part info querying");
}

}  // namespace

void GenTLBuffer::CheckQueryable()
{
    TL_ASSERT(IsOpen() && !is_auxiliary);
}

// ---- Buffer info ----

GC_ERROR GenTLBuffer::GetBufferInfo(BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                    size_t* size)
{
    ScopedLock lock(handle_lock);
    CheckQueryable();
    switch (command) {
        case BUFFER_INFO_BASE:
            if (is_composite)
                return ReportError(GC_ERR_NO_DATA,
                                   "GetBufferInfo: base address query not applicable for "
                                   "composite buffers");
            return CopyInfoPtr(GetContiguousBase(), type, buffer, size);
        case BUFFER_INFO_SIZE:
            return CopyInfoSizeT(total_size, type, buffer, size);
        case BUFFER_INFO_USER_PTR:
            return CopyInfoPtr(user_ptr, type, buffer, size);
        case BUFFER_INFO_NEW_DATA:
            if (is_queued)
                return ReportError(GC_ERR_NOT_AVAILABLE,
                                   "GetBufferInfo: attempt to query new data status for buffer "
                                   "which is currently owned by the acquisition engine");
            return CopyInfoBool8(new_data, type, buffer, size);
        case BUFFER_INFO_IS_QUEUED:
            return CopyInfoBool8(is_queued, type, buffer, size);
        case BUFFER_INFO_IS_ACQUIRING:
            return CopyInfoBool8(is_scheduled, type, buffer, size);
        case BUFFER_INFO_TLTYPE:
            return CopyInfoString(GetBranding().TLType(), type, buffer, size);
        case BUFFER_INFO_IS_COMPOSITE:
            return CopyInfoBool8(is_composite, type, buffer, size);
        default:
            break;
    }
    if (IsCustomCommand(command)) return GetCustomBufferInfo(command, type, buffer, size);
    if (command < BUFFER_INFO_BASE || command > BUFFER_INFO_IS_COMPOSITE)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetBufferInfo: unknown buffer info command requested");
    if (!IsDataAvailable()) return NoDataAvailable("GetBufferInfo");
    return AnswerDataInfo(command, type, buffer, size);
}

GC_ERROR GenTLBuffer::AnswerDataInfo(BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                     size_t* size)
{
    const auto size_t_out = [&](size_t value) { return CopyInfoSizeT(value, type, buffer, size); };
    const auto uint64_out = [&](uint64_t value) {
        return CopyInfoUInt64(value, type, buffer, size);
    };
    const auto bool_out = [&](bool value) { return CopyInfoBool8(value, type, buffer, size); };
    const auto slot = [this](auto member) {
        return [this, member](auto& value) { return (this->*member)(value); };
    };
    switch (command) {
        case BUFFER_INFO_TIMESTAMP:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetTimestamp), uint64_out);
        case BUFFER_INFO_IS_INCOMPLETE:
            return bool_out(!global_results.complete);
        case BUFFER_INFO_SIZE_FILLED:
            return size_t_out(global_results.size_filled);
        case BUFFER_INFO_WIDTH:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetWidth), size_t_out);
        case BUFFER_INFO_HEIGHT:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetHeight), size_t_out);
        case BUFFER_INFO_XOFFSET:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetXOffset), size_t_out);
        case BUFFER_INFO_YOFFSET:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetYOffset), size_t_out);
        case BUFFER_INFO_XPADDING:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetXPadding), size_t_out);
        case BUFFER_INFO_YPADDING:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetYPadding), size_t_out);
        case BUFFER_INFO_FRAMEID:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetFrameID), uint64_out);
        case BUFFER_INFO_IMAGEPRESENT:
            return AnswerSlot<bool>(slot(&GenTLBuffer::GetImagePresent), bool_out);
        case BUFFER_INFO_IMAGEOFFSET:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetImageOffset), size_t_out);
        case BUFFER_INFO_PAYLOADTYPE:
            return AnswerSlot<int32_t>(slot(&GenTLBuffer::GetPayloadType),
                                       [&](int32_t v) { return size_t_out(Widen(v)); });
        case BUFFER_INFO_PIXELFORMAT:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetPixelFormat), uint64_out);
        case BUFFER_INFO_PIXELFORMAT_NAMESPACE:
            return AnswerSlot<int32_t>(slot(&GenTLBuffer::GetPixelFormatNamespace),
                                       [&](int32_t v) { return uint64_out(Widen(v)); });
        case BUFFER_INFO_DELIVERED_IMAGEHEIGHT:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetDeliveredImageHeight), size_t_out);
        case BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetDeliveredChunkPayloadSize), size_t_out);
        case BUFFER_INFO_CHUNKLAYOUTID:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetChunkLayoutID), uint64_out);
        case BUFFER_INFO_FILENAME:
            return AnswerSlot<std::string>(
                slot(&GenTLBuffer::GetFileName),
                [&](const std::string& v) { return CopyInfoString(v, type, buffer, size); });
        case BUFFER_INFO_PIXEL_ENDIANNESS:
            return AnswerSlot<int32_t>(slot(&GenTLBuffer::GetPixelEndianness), [&](int32_t v) {
                return CopyInfoInt32(v, type, buffer, size);
            });
        case BUFFER_INFO_DATA_SIZE:
            return size_t_out(global_results.data_size);
        case BUFFER_INFO_TIMESTAMP_NS:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetTimestampNs), uint64_out);
        case BUFFER_INFO_DATA_LARGER_THAN_BUFFER:
            return bool_out(global_results.data_overflow);
        case BUFFER_INFO_CONTAINS_CHUNKDATA:
            return AnswerSlot<bool>(slot(&GenTLBuffer::GetContainsChunkData), bool_out);
        default:
            TL_ASSERT_MSG(false, "Buffer info command not dispatched");
            return ReportError(GC_ERR_NOT_IMPLEMENTED,
                               "GetBufferInfo: unknown buffer info command requested");
    }
}

GC_ERROR GenTLBuffer::GetBufferInfoStacked(DS_BUFFER_INFO_STACKED* entries, size_t count)
{
    if (entries == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "GetBufferInfoStacked: invalid info_stacked pointer");
    if (count == 0)
        return ReportError(GC_ERR_INVALID_PARAMETER, "GetBufferInfoStacked: zero infos requested");
    ScopedLock lock(handle_lock);
    AnswerStacked(entries, count,
                  [this](DS_BUFFER_INFO_STACKED& entry, INFO_DATATYPE* type, size_t* size) {
                      return GetBufferInfo(entry.iInfoCmd, type, entry.pBuffer, size);
                  });
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLBuffer::GetCustomBufferInfo(BUFFER_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED,
                       "GetBufferInfo: unknown buffer info command requested");
}

// ---- Multi-part ----

GC_ERROR GenTLBuffer::GetNumBufferParts(uint32_t* num_parts)
{
    ScopedLock lock(handle_lock);
    CheckQueryable();
    if (!multi_part_aware)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetNumBufferParts: this transport layer implementation does not "
                           "support multi-part payloads.");
    if (num_parts == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "GetNumBufferParts: invalid num_parts pointer");
    if (!IsDataAvailable()) return NoDataAvailable("GetNumBufferParts");
    return GetNumParts(*num_parts);
}

GC_ERROR GenTLBuffer::GetBufferPartInfo(uint32_t part_index, BUFFER_PART_INFO_CMD command,
                                        INFO_DATATYPE* type, void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    CheckQueryable();
    if (!multi_part_aware)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetBufferPartInfo: this transport layer implementation does not "
                           "support multi-part payloads.");
    if (!IsDataAvailable()) return NoDataAvailable("GetBufferPartInfo");
    return AnswerPartInfo(part_index, command, type, buffer, size);
}

GC_ERROR GenTLBuffer::AnswerPartInfo(uint32_t part, BUFFER_PART_INFO_CMD command,
                                     INFO_DATATYPE* type, void* buffer, size_t* size)
{
    const auto size_t_out = [&](size_t value) { return CopyInfoSizeT(value, type, buffer, size); };
    const auto uint64_out = [&](uint64_t value) {
        return CopyInfoUInt64(value, type, buffer, size);
    };
    const auto slot = [this, part](auto member) {
        return [this, part, member](auto& value) { return (this->*member)(part, value); };
    };
    switch (command) {
        case BUFFER_PART_INFO_BASE:
            return AnswerSlot<void*>(slot(&GenTLBuffer::GetPartBase),
                                     [&](void* v) { return CopyInfoPtr(v, type, buffer, size); });
        case BUFFER_PART_INFO_DATA_SIZE:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetPartDataSize), size_t_out);
        case BUFFER_PART_INFO_DATA_TYPE:
            return AnswerSlot<int32_t>(slot(&GenTLBuffer::GetPartDataType),
                                       [&](int32_t v) { return size_t_out(Widen(v)); });
        case BUFFER_PART_INFO_DATA_FORMAT:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetPartDataFormat), uint64_out);
        case BUFFER_PART_INFO_DATA_FORMAT_NAMESPACE:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetPartDataFormatNamespace), uint64_out);
        case BUFFER_PART_INFO_WIDTH:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetPartWidth), size_t_out);
        case BUFFER_PART_INFO_HEIGHT:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetPartHeight), size_t_out);
        case BUFFER_PART_INFO_XOFFSET:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetPartXOffset), size_t_out);
        case BUFFER_PART_INFO_YOFFSET:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetPartYOffset), size_t_out);
        case BUFFER_PART_INFO_XPADDING:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetPartXPadding), size_t_out);
        case BUFFER_PART_INFO_SOURCE_ID:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetPartSourceID), uint64_out);
        case BUFFER_PART_INFO_DELIVERED_IMAGEHEIGHT:
            return AnswerSlot<size_t>(slot(&GenTLBuffer::GetPartDeliveredImageHeight), size_t_out);
        case BUFFER_PART_INFO_REGION_ID:
        case 3300:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetPartRegionID), uint64_out);
        case BUFFER_PART_INFO_DATA_PURPOSE_ID:
        case 3301:
            return AnswerSlot<uint64_t>(slot(&GenTLBuffer::GetPartDataPurposeID), uint64_out);
        default:
            break;
    }
    if (IsCustomCommand(command)) return GetCustomBufferPartInfo(part, command, type, buffer, size);
    return ReportError(GC_ERR_NOT_IMPLEMENTED,
                       "GetBufferPartInfo: unknown buffer info command requested");
}

GC_ERROR GenTLBuffer::GetBufferPartInfoStacked(DS_BUFFER_PART_INFO_STACKED* entries, size_t count)
{
    ScopedLock lock(handle_lock);
    if (!multi_part_aware)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetBufferPartInfoStacked: this transport layer implementation does "
                           "not support multi-part payloads.");
    if (entries == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "GetBufferPartInfoStacked: invalid info_stacked pointer.");
    if (count == 0)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "GetBufferPartInfoStacked: zero infos requested");
    AnswerStacked(entries, count,
                  [this](DS_BUFFER_PART_INFO_STACKED& entry, INFO_DATATYPE* type, size_t* size) {
                      return GetBufferPartInfo(entry.iPartIndex, entry.iInfoCmd, type,
                                               entry.pBuffer, size);
                  });
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLBuffer::GetCustomBufferPartInfo(uint32_t, BUFFER_PART_INFO_CMD, INFO_DATATYPE*, void*,
                                              size_t*)
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED,
                       "GetBufferPartInfo: unknown buffer part info command requested");
}

GC_ERROR GenTLBuffer::GetNumParts(uint32_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartBase(uint32_t, void*&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartDataSize(uint32_t, size_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartDataType(uint32_t, int32_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartDataFormat(uint32_t, uint64_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartDataFormatNamespace(uint32_t, uint64_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartWidth(uint32_t, size_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartHeight(uint32_t, size_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartXOffset(uint32_t, size_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartYOffset(uint32_t, size_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartXPadding(uint32_t, size_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartSourceID(uint32_t, uint64_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartRegionID(uint32_t, uint64_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartDataPurposeID(uint32_t, uint64_t&)
{
    return MultiPartInternalError();
}
GC_ERROR GenTLBuffer::GetPartDeliveredImageHeight(uint32_t, size_t&)
{
    return MultiPartInternalError();
}

// ---- Segments ----

GC_ERROR GenTLBuffer::GetNumBufferSegments(uint32_t* num_segments)
{
    ScopedLock lock(handle_lock);
    CheckQueryable();
    if (num_segments == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "GetNumBufferSegments: invalid num_segments pointer");
    if (is_composite)
        *num_segments = static_cast<uint32_t>(segments.size());
    else if (IsDataAvailable() && !segment_results.empty())
        *num_segments = static_cast<uint32_t>(segment_results.size());
    else
        *num_segments = 1;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLBuffer::CheckSegmentIndex(uint32_t index)
{
    if (is_composite) {
        if (index >= segments.size())
            return ReportError(GC_ERR_INVALID_INDEX,
                               "GetBufferSegmentInfo: invalid segment index, exceeding number of "
                               "real segments in composite buffer");
        return GC_ERR_SUCCESS;
    }
    const size_t virtual_segments = IsDataAvailable() ? segment_results.size() : 1;
    if (index >= virtual_segments)
        return ReportError(GC_ERR_INVALID_INDEX,
                           "GetBufferSegmentInfo: invalid segment index, exceeding number of "
                           "virtual segments in contiguous buffer");
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLBuffer::GetBufferSegmentInfo(uint32_t segment_index, SEGMENT_INFO_CMD command,
                                           INFO_DATATYPE* type, void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    CheckQueryable();
    const GC_ERROR index_checked = CheckSegmentIndex(segment_index);
    if (index_checked != GC_ERR_SUCCESS) return index_checked;
    const bool data_command = command == SEGMENT_INFO_IS_INCOMPLETE ||
                              command == SEGMENT_INFO_SIZE_FILLED ||
                              command == SEGMENT_INFO_DATA_SIZE;
    if (data_command && !IsDataAvailable()) return NoDataAvailable("GetBufferSegmentInfo");
    if (data_command && segment_index >= segment_results.size())
        return ReportError(GC_ERR_ERROR,
                           "GetBufferSegmentInfo: missing info about given buffer segment");
    return AnswerSegmentInfo(segment_index, command, type, buffer, size);
}

GC_ERROR GenTLBuffer::AnswerSegmentInfo(uint32_t index, SEGMENT_INFO_CMD command,
                                        INFO_DATATYPE* type, void* buffer, size_t* size)
{
    const bool virtual_layout = !is_composite && IsDataAvailable();
    switch (command) {
        case SEGMENT_INFO_BASE: {
            if (is_composite) return CopyInfoPtr(segments[index].base, type, buffer, size);
            // Address arithmetic on integers: the engine's sizes may point
            // past the memory, and the answer is never dereferenced here.
            uintptr_t base = reinterpret_cast<uintptr_t>(GetContiguousBase());
            for (uint32_t i = 0; virtual_layout && i < index; ++i)
                base += static_cast<uintptr_t>(segment_results[i].segment_size);
            return CopyInfoPtr(reinterpret_cast<void*>(base), type, buffer, size);
        }
        case SEGMENT_INFO_SIZE:
            if (is_composite) return CopyInfoSizeT(segments[index].size, type, buffer, size);
            return CopyInfoSizeT(virtual_layout ? segment_results[index].segment_size : total_size,
                                 type, buffer, size);
        case SEGMENT_INFO_IS_INCOMPLETE:
            if (segment_results[index].completeness_unknown)
                return ReportError(GC_ERR_NOT_AVAILABLE,
                                   "GetBufferSegmentInfo: completeness of the segment is unknown");
            return CopyInfoBool8(!segment_results[index].complete, type, buffer, size);
        case SEGMENT_INFO_SIZE_FILLED:
            return CopyInfoSizeT(segment_results[index].size_filled, type, buffer, size);
        case SEGMENT_INFO_DATA_SIZE:
            return CopyInfoSizeT(segment_results[index].data_size, type, buffer, size);
        default:
            return ReportError(GC_ERR_NOT_IMPLEMENTED,
                               "GetBufferSegmentInfo: unknown segment info command requested");
    }
}

// ---- Chunks ----

GC_ERROR GenTLBuffer::GetBufferChunkData(SINGLE_CHUNK_DATA* chunks, size_t* num_chunks)
{
    ScopedLock lock(handle_lock);
    CheckQueryable();
    if (num_chunks == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "GetBufferChunkData: invalid number-of_chunks pointer");
    if (!IsDataAvailable()) return NoDataAvailable("GetBufferChunkData");
    bool contains_chunks = false;
    const GC_ERROR asked = GetContainsChunkData(contains_chunks);
    if (asked != GC_ERR_SUCCESS) return asked;
    if (!contains_chunks)
        return ReportError(GC_ERR_NO_DATA, "GetBufferChunkData: no valid chunk data in the buffer");
    std::vector<SINGLE_CHUNK_DATA> found;
    const GC_ERROR listed = GetChunkData(found);
    if (listed != GC_ERR_SUCCESS) return listed;
    if (chunks == nullptr) {
        *num_chunks = found.size();
        return GC_ERR_SUCCESS;
    }
    if (*num_chunks < found.size())
        return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                           "GetBufferChunkData: the buffer is not sufficient for the complete "
                           "chunk data.");
    if (!found.empty()) std::memcpy(chunks, found.data(), found.size() * sizeof(SINGLE_CHUNK_DATA));
    *num_chunks = found.size();
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLBuffer::ParseU3VChunkLayout(uint64_t chunk_data_size,
                                          std::vector<SINGLE_CHUNK_DATA>& chunks)
{
    constexpr uint64_t TRAILER_BYTES = 8;
    if (chunk_data_size > global_results.data_size || chunk_data_size > GetContiguousSize())
        return ReportError(GC_ERR_ERROR,
                           "GetBufferChunkData: reported chunk data size overflows the buffer");
    const auto* memory = static_cast<const uint8_t*>(GetContiguousBase());
    // Every trailer read lies in [0, position) and position only falls, so
    // the walk stays inside the checked range and ends.
    uint64_t position = chunk_data_size;
    while (position > 0) {
        uint32_t chunk_id = 0;
        uint32_t length = 0;
        if (position < TRAILER_BYTES) break;
        std::memcpy(&length, memory + position - 4, sizeof length);
        if (position - TRAILER_BYTES < length) break;
        std::memcpy(&chunk_id, memory + position - TRAILER_BYTES, sizeof chunk_id);
        position -= TRAILER_BYTES + length;
        chunks.push_back(SINGLE_CHUNK_DATA{chunk_id, static_cast<ptrdiff_t>(position), length});
    }
    if (position == 0) return GC_ERR_SUCCESS;
    return ReportError(GC_ERR_PARSING_CHUNK_DATA,
                       "GetBufferChunkData: invalid U3V chunk data layout discovered");
}

}  // namespace GenTLCore
