// GenTLBufferTesk.h: a buffer of a Tesk3D data stream, answering every
// buffer, part and chunk query from the payload generator's description of
// what it filled in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/GenTLBuffer.h"
#include "gentl_producers/GenTesk3d/PayloadGenerator.h"

namespace GenTLCore::ZoTL {

// Created by GenTLDataStreamTesk for each announced buffer.
//
// Threads: as GenTLBuffer; the acquisition thread records a fill under
// handle_lock, the queries read it under handle_lock.
class GenTLBufferTesk : public GenTLBuffer {
public:
    using GenTLBuffer::GenTLBuffer;

    // The acquisition thread's record of a fill; takes handle_lock.
    void SetFillDescription(const FillDescription& description);

protected:
    GC_ERROR GetTimestampNs(uint64_t& value) override;
    GC_ERROR GetTimestamp(uint64_t& value) override { return GetTimestampNs(value); }
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
    GC_ERROR GetPartBase(uint32_t part, void*& value) override;
    GC_ERROR GetPartDataSize(uint32_t part, size_t& value) override;
    GC_ERROR GetPartDataType(uint32_t part, int32_t& value) override;
    GC_ERROR GetPartDataFormat(uint32_t part, uint64_t& value) override;
    GC_ERROR GetPartDataFormatNamespace(uint32_t part, uint64_t& value) override;
    GC_ERROR GetPartWidth(uint32_t part, size_t& value) override;
    GC_ERROR GetPartHeight(uint32_t part, size_t& value) override;
    GC_ERROR GetPartXOffset(uint32_t part, size_t& value) override;
    GC_ERROR GetPartYOffset(uint32_t part, size_t& value) override;
    GC_ERROR GetPartXPadding(uint32_t part, size_t& value) override;
    GC_ERROR GetPartSourceID(uint32_t part, uint64_t& value) override;
    GC_ERROR GetPartRegionID(uint32_t part, uint64_t& value) override;
    GC_ERROR GetPartDataPurposeID(uint32_t part, uint64_t& value) override;
    GC_ERROR GetPartDeliveredImageHeight(uint32_t part, size_t& value) override;

    void CopyFillInfoFrom(GenTLBuffer& aux_buffer) override;
    void OnAuxMemoryChanged() override {}
    GC_ERROR GetChunkData(std::vector<SINGLE_CHUNK_DATA>& chunks) override;

private:
    // Stores `answer` in `value`, logs it under "Buffer" and succeeds.
    template <class T, class V>
    GC_ERROR Answer(const char* query, T& value, V answer);
    // Success, or the multi-part / GenDC refusal of the whole-buffer query `what`.
    GC_ERROR CheckPlainImage(const char* what) const;
    // Success, or the refusal of a part query on `part`.
    GC_ERROR CheckPart(uint32_t part) const;

    // Guarded by handle_lock.
    FillDescription fill;
};

}  // namespace GenTLCore::ZoTL
