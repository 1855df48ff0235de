// GenTLBuffer.cpp: a buffer's memory, its state and the taking over of an
// auxiliary buffer's fill.
#include "gentl_core/GenTLBuffer.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLDataStream.h"
#include "platform/Assert.h"

namespace GenTLCore {

std::atomic<uint32_t> GenTLBuffer::buffer_counter{0};

GenTLBuffer::GenTLBuffer(void* contiguous_ptr, size_t contiguous_size, void* user_ptr,
                         bool auxiliary, GenTLDataStream* stream)
{
    TL_ASSERT(contiguous_size != 0);
    TL_ASSERT_MSG(!auxiliary || (contiguous_ptr == nullptr && user_ptr == nullptr),
                  "!auxiliary || (contiguous_ptr == NULL && user_ptr_ == NULL)");
    SetupSegments({MemorySegment{contiguous_ptr, contiguous_size}}, false, user_ptr, auxiliary,
                  stream);
}

GenTLBuffer::GenTLBuffer(const std::vector<MemorySegment>& segments, void* user_ptr,
                         GenTLDataStream* stream)
{
    SetupSegments(segments, true, user_ptr, false, stream);
}

GenTLBuffer::~GenTLBuffer()
{
    TL_ASSERT(!IsOpen());
}

uint32_t GenTLBuffer::NextBufferNumber()
{
    return buffer_counter.fetch_add(1) + 1;
}

void GenTLBuffer::SetupSegments(const std::vector<MemorySegment>& new_segments, bool composite,
                                void* user_pointer, bool auxiliary, GenTLDataStream* stream)
{
    if (stream != nullptr) unique_id = stream->MakeBufferUniqueString(NextBufferNumber());
    multi_part_aware = GetBranding().MultiPartAware();
    is_queued = false;
    is_scheduled = false;
    TL_ASSERT(own_memory.empty());
    segments = new_segments;
    if (!composite && TL_ASSERT(segments.size() == 1) && segments.front().base == nullptr) {
        own_memory.assign(segments.front().size, 0);
        segments.front().base = own_memory.data();
    }
    user_ptr = user_pointer;
    is_auxiliary = auxiliary;
    is_composite = composite;
    total_size = 0;
    for (const MemorySegment& segment : segments) total_size += segment.size;
    TL_ASSERT(VerifySegments());
}

bool GenTLBuffer::VerifySegments() const
{
    return !segments.empty() &&
           std::none_of(segments.begin(), segments.end(), [](const MemorySegment& segment) {
               return segment.base == nullptr || segment.size == 0;
           });
}

void GenTLBuffer::BuildEvents()
{
    if (!is_auxiliary) GenTLModule::BuildEvents();
}

std::string GenTLBuffer::GetID()
{
    TL_ASSERT(IsOpen() && !is_auxiliary);
    char text[2 * sizeof(uintptr_t) + 1];
    std::snprintf(text, sizeof text, "%" PRIxPTR, reinterpret_cast<uintptr_t>(GetContiguousBase()));
    return text;
}

std::string GenTLBuffer::GetUniqueString()
{
    return unique_id;
}

void* GenTLBuffer::GetContiguousBase() const
{
    return segments.empty() ? nullptr : segments.front().base;
}

size_t GenTLBuffer::GetContiguousSize() const
{
    return segments.empty() ? 0 : segments.front().size;
}

void* GenTLBuffer::GetConsumerMemory() const
{
    return is_composite || !own_memory.empty() ? nullptr : GetContiguousBase();
}

// ---- State ----

void GenTLBuffer::SetQueued(bool new_status)
{
    ScopedLock lock(handle_lock);
    TL_ASSERT(new_status != is_queued);
    is_queued = new_status;
    if (new_status) ResetFillState();
    TL_ASSERT(!is_scheduled);
    is_scheduled = false;
}

void GenTLBuffer::SetScheduled(bool new_status)
{
    ScopedLock lock(handle_lock);
    is_scheduled = new_status;
}

void GenTLBuffer::ResetFillState()
{
    ScopedLock lock(handle_lock);
    TL_ASSERT(is_queued || is_auxiliary);
    new_data = false;
    global_results = GlobalFillResults();
    segment_results.clear();
}

bool GenTLBuffer::IsQueued()
{
    ScopedLock lock(handle_lock);
    return is_queued;
}

bool GenTLBuffer::IsScheduled()
{
    ScopedLock lock(handle_lock);
    return is_scheduled;
}

bool GenTLBuffer::HasNewData()
{
    ScopedLock lock(handle_lock);
    return new_data;
}

bool GenTLBuffer::IsDataAvailable()
{
    ScopedLock lock(handle_lock);
    return new_data && !is_queued;
}

// ---- Fill results ----

void GenTLBuffer::SetFillResults(const GlobalFillResults& global,
                                 const std::vector<SegmentFillResult>& results)
{
    ScopedLock lock(handle_lock);
    SetFillResults(global, results, false);
}

void GenTLBuffer::SetFillResults(const GlobalFillResults& global)
{
    SetFillResults(global, {});
}

void GenTLBuffer::SetFillResults(const GlobalFillResults& global,
                                 const std::vector<SegmentFillResult>& results, bool secondary_fill)
{
    TL_ASSERT(is_scheduled || secondary_fill);
    TL_ASSERT_MSG(is_queued || is_auxiliary, "is_queued || IsAuxiliary()");
    new_data = true;
    global_results = global;
    TL_ASSERT_MSG(!is_composite || results.size() == segments.size(),
                  "!IsComposite() || segment_results.size() == fixed.segments.size()");
    if (results.empty())
        SetSingleSegmentResult(global);
    else
        segment_results = results;
    if (!secondary_fill && GetBranding().WatermarkBuffers()) ApplyWatermark();
}

void GenTLBuffer::SetSingleSegmentResult(const GlobalFillResults& global)
{
    // Reuses the vector's storage: no allocation on the per-buffer path.
    segment_results.resize(1);
    segment_results.front() =
        SegmentFillResult{global.size_filled, global.data_size,     global.data_size,
                          global.complete,    global.data_overflow, false};
}

void GenTLBuffer::ApplyWatermark()
{
    TL_ASSERT_MSG(false, "Attempt to apply watermarking but no watermark implemented");
}

// ---- Taking over an auxiliary buffer ----

namespace {

// Records that only `length` bytes of the data arrived.
template <class Results>
void CutDataSize(Results& results, uint64_t length)
{
    if (results.data_size <= length) return;
    results.data_size = length;
    results.size_filled = std::min(results.size_filled, length);
}

// Records that the data did not fit a target of `capacity` bytes.
template <class Results>
void MarkOverflow(Results& results, uint64_t capacity)
{
    CutDataSize(results, capacity);
    results.complete = false;
    results.data_overflow = true;
}

}  // namespace

void GenTLBuffer::TakeOverData(GenTLBuffer& aux_buffer)
{
    ScopedLock lock(handle_lock);
    ScopedLock aux_lock(aux_buffer.handle_lock);
    if (!TL_ASSERT(!is_auxiliary && aux_buffer.is_auxiliary && aux_buffer.new_data)) return;
    GlobalFillResults global = aux_buffer.global_results;
    if (is_composite)
        TakeOverComposite(aux_buffer, global);
    else
        TakeOverContiguous(aux_buffer, global);
    CopyFillInfoFrom(aux_buffer);
    new_data = true;
    global_results = global;
    if (!is_composite) SetSingleSegmentResult(global);
}

void GenTLBuffer::TakeOverContiguous(GenTLBuffer& aux_buffer, GlobalFillResults& global)
{
    const MemorySegment& target = segments.front();
    uint64_t length = std::min<uint64_t>(global.data_size, aux_buffer.total_size);
    if (target.size < length) {
        MarkOverflow(global, target.size);
        length = target.size;
    }
    CutDataSize(global, length);
    std::memcpy(target.base, aux_buffer.GetContiguousBase(), length);
}

void GenTLBuffer::TakeOverComposite(GenTLBuffer& aux_buffer, GlobalFillResults& global)
{
    const std::vector<SegmentFillResult>& source = aux_buffer.segment_results;
    const auto* aux_memory = static_cast<const uint8_t*>(aux_buffer.GetContiguousBase());
    const uint64_t aux_size = aux_buffer.total_size;
    const size_t count = std::min(source.size(), segments.size());
    bool overflow = std::any_of(source.begin() + static_cast<ptrdiff_t>(count), source.end(),
                                [](const SegmentFillResult& r) { return r.data_size != 0; });
    uint64_t offset = 0;
    uint64_t copied_total = 0;
    std::vector<SegmentFillResult> results;
    for (size_t i = 0; i < count && offset <= aux_size; ++i) {
        SegmentFillResult result = source[i];
        uint64_t length = std::min(result.data_size, aux_size - offset);
        if (segments[i].size < length) {
            MarkOverflow(result, segments[i].size);
            overflow = true;
            length = segments[i].size;
        }
        CutDataSize(result, length);
        std::memcpy(segments[i].base, aux_memory + offset, length);
        results.push_back(result);
        copied_total = offset + length;
        // Saturates: a bogus segment size ends the walk instead of wrapping.
        offset =
            result.segment_size > UINT64_MAX - offset ? UINT64_MAX : offset + result.segment_size;
    }
    if (overflow) {
        global.complete = false;
        global.data_overflow = true;
    }
    CutDataSize(global, copied_total);
    segment_results = std::move(results);
}

bool GenTLBuffer::ResizeAuxMemory(size_t size)
{
    ScopedLock lock(handle_lock);
    if (!is_auxiliary || segments.size() != 1) return false;
    if (size <= segments.front().size) return true;
    if (!TryAllocate([&] { own_memory.resize(size, 0); })) return false;
    segments.front() = MemorySegment{own_memory.data(), size};
    // The size answers must follow the memory, or a take-over would report
    // bytes it never copied.
    total_size = size;
    OnAuxMemoryChanged();
    return true;
}

}  // namespace GenTLCore
