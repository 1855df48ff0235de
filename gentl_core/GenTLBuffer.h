// GenTLBuffer.h: one buffer of a data stream: its memory segments, user
// pointer, queued/scheduled/new-data state, fill results, and the buffer,
// part, segment and chunk queries answered from them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/GenTLModule.h"

namespace GenTLCore {

class GenTLDataStream;

// One piece of a buffer's memory.
struct MemorySegment {
    void* base = nullptr;
    size_t size = 0;
};

// What the engine filled into a buffer as a whole.
struct GlobalFillResults {
    uint64_t size_filled = 0;  // BUFFER_INFO_SIZE_FILLED
    uint64_t data_size = 0;    // BUFFER_INFO_DATA_SIZE
    bool complete = false;     // BUFFER_INFO_IS_INCOMPLETE is its negation
    bool data_overflow = false;
};

// What the engine filled into one segment of a composite buffer, or into one
// virtual segment (flow) of a contiguous buffer.
struct SegmentFillResult {
    uint64_t size_filled = 0;
    uint64_t data_size = 0;
    // The segment's size; for a virtual segment the distance to the next one.
    uint64_t segment_size = 0;
    bool complete = false;
    bool data_overflow = false;
    bool completeness_unknown = false;
};

// A buffer announced to a data stream (or an auxiliary buffer of the stream,
// never announced). The sensor-specific subclass answers the payload queries.
//
// Created by its data stream through CreateBuffer / CreateCompositeBuffer and
// completed there; owned by the stream's pools (SharedPtr) and, while its
// handle is registered, by the handle pool, which opens and closes it. Must
// be closed before it is destroyed.
//
// Threads: consumer threads (queue, revoke, queries), the core engine thread
// and the sensor-specific acquisition thread; every state change and query
// runs under handle_lock. The accessors marked "no lock" read fields fixed
// at construction (an auxiliary buffer's memory changes only between
// acquisitions).
// Lock order: the data stream's lock, the new-buffer event's lock, then a
// buffer's lock; a consumer buffer's lock before an auxiliary buffer's.
class GenTLBuffer : public GenTLModule {
public:
    // `contiguous_ptr` null: the producer allocates zero-filled memory. An
    // auxiliary buffer has neither memory pointer nor user pointer. Without a
    // stream the unique string stays empty.
    GenTLBuffer(void* contiguous_ptr, size_t contiguous_size, void* user_ptr, bool auxiliary,
                GenTLDataStream* stream);
    // A composite buffer over the consumer's segments; never auxiliary.
    GenTLBuffer(const std::vector<MemorySegment>& segments, void* user_ptr,
                GenTLDataStream* stream);
    ~GenTLBuffer() override;

    // The first segment's address in lower-case hex.
    std::string GetID() override;
    std::string GetUniqueString() override;
    // The GenTL handle of this buffer: its address as a GenTLHandle.
    BUFFER_HANDLE GetHandle() { return static_cast<GenTLHandle*>(this); }

    // Process-wide, from 1; never restarts.
    static uint32_t NextBufferNumber();

    // ---- State (take handle_lock) ----
    // `new_status` must differ from the current one; queuing clears the fill.
    // The buffer must not be scheduled; it is not afterwards.
    void SetQueued(bool new_status);
    void SetScheduled(bool new_status);
    // Requires a queued or auxiliary buffer: no new data, no fill results.
    void ResetFillState();
    bool IsQueued();
    bool IsScheduled();
    bool HasNewData();
    // Filled and delivered: the consumer owns the data.
    bool IsDataAvailable();

    // Primary fill by the engine: the buffer must be scheduled. An empty
    // segment list stands for one segment made from the global results.
    void SetFillResults(const GlobalFillResults& global,
                        const std::vector<SegmentFillResult>& segment_results);
    void SetFillResults(const GlobalFillResults& global);
    // This consumer buffer takes over an auxiliary buffer's data and fill
    // results; every copy is cut to both buffers' memory, and each cut is
    // recorded as overflow or a smaller data size.
    void TakeOverData(GenTLBuffer& aux_buffer);
    // Grows an auxiliary buffer's memory; false when it is not one or the
    // memory cannot be had.
    bool ResizeAuxMemory(size_t size);

    // ---- Fixed facts (no lock) ----
    bool IsAuxiliary() const { return is_auxiliary; }
    bool IsComposite() const { return is_composite; }
    bool IsMultiPartAware() const { return multi_part_aware; }
    void* GetUserPtr() const { return user_ptr; }
    size_t GetSize() const { return total_size; }
    // The first segment (null and 0 for a buffer whose set-up failed).
    void* GetContiguousBase() const;
    size_t GetContiguousSize() const;
    std::vector<MemorySegment> GetSegments() const { return segments; }
    // The consumer's memory of a contiguous buffer; null for composite
    // buffers and producer memory.
    void* GetConsumerMemory() const;

    // ---- Queries (take handle_lock; GenTLBufferInfo.cpp) ----
    GC_ERROR GetBufferInfo(BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                           size_t* size);
    // Answers every entry into its result; leaves the thread's last error
    // as it was. Returns 0 unless the list itself is invalid.
    GC_ERROR GetBufferInfoStacked(DS_BUFFER_INFO_STACKED* entries, size_t count);
    GC_ERROR GetNumBufferParts(uint32_t* num_parts);
    GC_ERROR GetBufferPartInfo(uint32_t part_index, BUFFER_PART_INFO_CMD command,
                               INFO_DATATYPE* type, void* buffer, size_t* size);
    GC_ERROR GetBufferPartInfoStacked(DS_BUFFER_PART_INFO_STACKED* entries, size_t count);
    GC_ERROR GetNumBufferSegments(uint32_t* num_segments);
    GC_ERROR GetBufferSegmentInfo(uint32_t segment_index, SEGMENT_INFO_CMD command,
                                  INFO_DATATYPE* type, void* buffer, size_t* size);
    GC_ERROR GetBufferChunkData(SINGLE_CHUNK_DATA* chunks, size_t* num_chunks);

protected:
    std::string GetModuleName() override { return "TLBuffer"; }
    std::string GetPortName() override { return "BufferPort"; }
    bool ImplementsPort() override { return false; }
    // An auxiliary buffer has no events.
    void BuildEvents() override;

    // The unlocked core of SetFillResults; the caller holds handle_lock. A
    // secondary fill (taken over from elsewhere) needs no scheduled mark.
    void SetFillResults(const GlobalFillResults& global,
                        const std::vector<SegmentFillResult>& segment_results, bool secondary_fill);

    // For GetChunkData: the chunks at the end of the first `chunk_data_size`
    // bytes of the first segment, laid out as trailers (32-bit ID, 32-bit
    // length, machine order) behind each chunk's data; listed from the last
    // chunk to the first. Never reads outside that range. Under handle_lock.
    GC_ERROR ParseU3VChunkLayout(uint64_t chunk_data_size, std::vector<SINGLE_CHUNK_DATA>& chunks);

    // What the engine filled in, for the subclass's answers (under handle_lock).
    const GlobalFillResults& GetGlobalResults() const { return global_results; }
    const std::vector<SegmentFillResult>& GetSegmentResults() const { return segment_results; }

    // ---- Payload queries of the subclass, called under handle_lock while
    // the data are available; a non-zero code is the query's result. ----
    virtual GC_ERROR GetTimestampNs(uint64_t& value) = 0;
    virtual GC_ERROR GetTimestamp(uint64_t& value) = 0;
    virtual GC_ERROR GetWidth(size_t& value) = 0;
    virtual GC_ERROR GetHeight(size_t& value) = 0;
    virtual GC_ERROR GetXOffset(size_t& value) = 0;
    virtual GC_ERROR GetYOffset(size_t& value) = 0;
    virtual GC_ERROR GetXPadding(size_t& value) = 0;
    virtual GC_ERROR GetYPadding(size_t& value) = 0;
    virtual GC_ERROR GetDeliveredImageHeight(size_t& value) = 0;
    virtual GC_ERROR GetFrameID(uint64_t& value) = 0;
    virtual GC_ERROR GetImagePresent(bool& value) = 0;
    virtual GC_ERROR GetImageOffset(size_t& value) = 0;
    virtual GC_ERROR GetPayloadType(int32_t& value) = 0;
    virtual GC_ERROR GetPixelFormat(uint64_t& value) = 0;
    virtual GC_ERROR GetPixelFormatNamespace(int32_t& value) = 0;
    virtual GC_ERROR GetDeliveredChunkPayloadSize(size_t& value) = 0;
    virtual GC_ERROR GetChunkLayoutID(uint64_t& value) = 0;
    virtual GC_ERROR GetFileName(std::string& value) = 0;
    virtual GC_ERROR GetPixelEndianness(int32_t& value) = 0;
    virtual GC_ERROR GetContainsChunkData(bool& value) = 0;

    // Multi-part answers; the defaults are internal errors, for a transport
    // layer that declares multi-part support must override them.
    virtual GC_ERROR GetNumParts(uint32_t& value);
    virtual GC_ERROR GetPartBase(uint32_t part, void*& value);
    virtual GC_ERROR GetPartDataSize(uint32_t part, size_t& value);
    virtual GC_ERROR GetPartDataType(uint32_t part, int32_t& value);
    virtual GC_ERROR GetPartDataFormat(uint32_t part, uint64_t& value);
    virtual GC_ERROR GetPartDataFormatNamespace(uint32_t part, uint64_t& value);
    virtual GC_ERROR GetPartWidth(uint32_t part, size_t& value);
    virtual GC_ERROR GetPartHeight(uint32_t part, size_t& value);
    virtual GC_ERROR GetPartXOffset(uint32_t part, size_t& value);
    virtual GC_ERROR GetPartYOffset(uint32_t part, size_t& value);
    virtual GC_ERROR GetPartXPadding(uint32_t part, size_t& value);
    virtual GC_ERROR GetPartSourceID(uint32_t part, uint64_t& value);
    virtual GC_ERROR GetPartRegionID(uint32_t part, uint64_t& value);
    virtual GC_ERROR GetPartDataPurposeID(uint32_t part, uint64_t& value);
    virtual GC_ERROR GetPartDeliveredImageHeight(uint32_t part, size_t& value);

    // Takes over the subclass's own description of the fill of `aux_buffer`;
    // under this buffer's lock, after the data were copied.
    virtual void CopyFillInfoFrom(GenTLBuffer& aux_buffer) = 0;
    // After ResizeAuxMemory moved the memory.
    virtual void OnAuxMemoryChanged() = 0;
    // On every primary fill when the branding asks for watermarks.
    virtual void ApplyWatermark();
    virtual GC_ERROR GetChunkData(std::vector<SINGLE_CHUNK_DATA>& chunks) = 0;
    // Info commands from 1000 on.
    virtual GC_ERROR GetCustomBufferInfo(BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                         size_t* size);
    virtual GC_ERROR GetCustomBufferPartInfo(uint32_t part, BUFFER_PART_INFO_CMD command,
                                             INFO_DATATYPE* type, void* buffer, size_t* size);

private:
    void SetupSegments(const std::vector<MemorySegment>& new_segments, bool composite,
                       void* user_pointer, bool auxiliary, GenTLDataStream* stream);
    bool VerifySegments() const;
    // Copies into this contiguous / composite buffer; adjusts `global`.
    void TakeOverContiguous(GenTLBuffer& aux_buffer, GlobalFillResults& global);
    void TakeOverComposite(GenTLBuffer& aux_buffer, GlobalFillResults& global);
    void SetSingleSegmentResult(const GlobalFillResults& global);

    // GenTLBufferInfo.cpp.
    GC_ERROR AnswerBufferInfo(BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                              size_t* size);
    GC_ERROR AnswerDataInfo(BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                            size_t* size);
    GC_ERROR AnswerPartInfo(uint32_t part, BUFFER_PART_INFO_CMD command, INFO_DATATYPE* type,
                            void* buffer, size_t* size);
    GC_ERROR AnswerSegmentInfo(uint32_t index, SEGMENT_INFO_CMD command, INFO_DATATYPE* type,
                               void* buffer, size_t* size);
    GC_ERROR CheckSegmentIndex(uint32_t index);
    void CheckQueryable();

    static std::atomic<uint32_t> buffer_counter;

    // Fixed at construction (an auxiliary buffer's memory also changes in
    // ResizeAuxMemory, between acquisitions, under handle_lock).
    std::string unique_id;
    std::vector<MemorySegment> segments;
    size_t total_size = 0;
    bool is_composite = false;
    void* user_ptr = nullptr;
    std::vector<uint8_t> own_memory;  // empty when the consumer gave the memory
    bool is_auxiliary = false;
    bool multi_part_aware = false;

    // Guarded by handle_lock.
    bool new_data = false;
    GlobalFillResults global_results;
    std::vector<SegmentFillResult> segment_results;
    bool is_queued = false;
    bool is_scheduled = false;
};

}  // namespace GenTLCore
