// GenTLDataStream.cpp: the data stream's life cycle and its buffer pools:
// announce, queue, revoke, flush.
#include "gentl_core/GenTLDataStream.h"

#include <algorithm>
#include <new>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/Logger.h"
#include "gentl_core/MiscUtils.h"
#include "platform/Assert.h"

namespace GenTLCore {

namespace {

constexpr int32_t DEFAULT_ENGINE_POLICY = 0;
constexpr int32_t DEFAULT_ENGINE_PRIORITY = 2;  // the highest normal priority

std::string MakeStreamID(const SharedPtr<StreamTag>& tag)
{
    if (!tag) return std::string();
    return MakeStreamUniqueString(tag->GetDeviceID(), tag->GetStreamID());
}

// Two segments overlap when they start together or the lower one reaches
// past the higher one's start; touching segments do not.
bool Overlap(const MemorySegment& a, const MemorySegment& b)
{
    const uintptr_t start_a = reinterpret_cast<uintptr_t>(a.base);
    const uintptr_t start_b = reinterpret_cast<uintptr_t>(b.base);
    if (start_a == start_b) return true;
    // Compared as distances: start + size may not fit the address range.
    return start_a < start_b ? a.size > start_b - start_a : b.size > start_a - start_b;
}

bool AnyMutualOverlap(std::vector<MemorySegment> segments)
{
    std::sort(segments.begin(), segments.end(), [](const MemorySegment& a, const MemorySegment& b) {
        return reinterpret_cast<uintptr_t>(a.base) < reinterpret_cast<uintptr_t>(b.base);
    });
    // Sorted, any overlap shows between neighbours.
    for (size_t i = 1; i < segments.size(); ++i)
        if (Overlap(segments[i - 1], segments[i])) return true;
    return false;
}

}  // namespace

GenTLDataStream::GenTLDataStream(const SharedPtr<StreamTag>& tag)
    : GenTLModule(DescriptionDocument::DataStream,
                  COMMON_REGISTER_IDS),
      stm_tag(tag),
      stream_id(MakeStreamID(tag)),
      acq_thread(this, &GenTLDataStream::AcquisitionEngineThread)
{
    if (!TL_ASSERT(stm_tag)) {
        TL_LOG(LOG_CATEGORY_ASSERT, LOG_LEVEL_INFO)
            << "Data stream not fully constructed due to an internal error.";
        SetNotAvailable();
    }
}

GenTLDataStream::~GenTLDataStream()
{
    TL_ASSERT(!IsOpen());
    TL_ASSERT(!acquisition_started && !is_streaming.load());
    TL_ASSERT(announced_pool.empty());
}

std::string GenTLDataStream::GetID()
{
    return stream_id;
}

SharedPtr<GenTLNewBufferEvent> GenTLDataStream::GetNewBufferEvent()
{
    ScopedLock lock(handle_lock);
    return new_buffer_event;
}

// ---- Life cycle ----

void GenTLDataStream::BuildEvents()
{
    const bool built = TryAllocate([this] {
        new_buffer_event.Reset(new GenTLNewBufferEvent(*this));
        new_buffer_event->CompleteConstruction();
        AddEvent(new_buffer_event.DynamicCast<GenTLEvent>());
    });
    if (!built) new_buffer_event.Reset();
    GenTLModule::BuildEvents();
}

void GenTLDataStream::OnNotAvailable()
{
    non_functional = true;
}

GC_ERROR GenTLDataStream::DoOpen()
{
    TL_ASSERT(queued_pool.empty() && aux_queued_pool.empty());
    if (!new_buffer_event)
        return ReportError(GC_ERR_OUT_OF_MEMORY,
                           "StreamOpen: failed to instantiate the new buffer event");
    lost_count = 0;
    delivered_count = 0;
    num_to_acquire = 0;
    is_streaming = false;
    acquisition_started = false;
    register_streaming = false;
    const GC_ERROR opened = OpenEngine();
    if (opened != GC_ERR_SUCCESS) return opened;
    acq_thread.ClearPriority();
    acq_thread.SetPriority(DEFAULT_ENGINE_POLICY, DEFAULT_ENGINE_PRIORITY);
    const uint64_t default_aux = GetBranding().DefaultAuxBufferCount();
    TL_ASSERT(default_aux <= MAX_AUX_BUFFERS);
    aux_buffer_count = static_cast<uint32_t>(std::min<uint64_t>(default_aux, MAX_AUX_BUFFERS));
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::DoClose()
{
    if (acquisition_started) {
        acquisition_started = false;
        TerminateAcquisition();
    }
    DiscardAllBuffers();
    SetupAuxBuffers(0, 0);
    CloseEngine();
    ClearPools();
    thread_policy = THREAD_PRIORITY_UNSET;
    thread_priority = THREAD_PRIORITY_UNSET;
    handling_mode = OldestFirst;
    non_functional = false;
    return GC_ERR_SUCCESS;
}

void GenTLDataStream::ClearPools()
{
    // Destroyed outside lookup_lock: a buffer's destructor may take its own
    // lock, and lookup_lock stays a leaf.
    std::map<BUFFER_HANDLE, SharedPtr<GenTLBuffer>> dropped;
    {
        ScopedLock lock(lookup_lock);
        dropped.swap(announced_pool);
    }
}

bool GenTLDataStream::MatchesStreamId(const std::string& key, const std::string& value)
{
    // Never destroyed: a consumer thread may still call in while the process exits.
    static const std::vector<std::string>& keys =
        *new std::vector<std::string>(GetBranding().AlternativeStreamIDKeys());
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) return false;
    ScopedLock lock(handle_lock);
    return stm_tag && stm_tag->MatchesAlternativeID(key, value);
}

// ---- The new-buffer event's view of the buffers ----

SharedPtr<GenTLBuffer> GenTLDataStream::FindAnnounced(BUFFER_HANDLE handle)
{
    ScopedLock lock(lookup_lock);
    const auto found = announced_pool.find(handle);
    return found == announced_pool.end() ? SharedPtr<GenTLBuffer>() : found->second;
}

SharedPtr<GenTLBuffer> GenTLDataStream::FindAuxiliary(BUFFER_HANDLE handle)
{
    ScopedLock lock(lookup_lock);
    for (const SharedPtr<GenTLBuffer>& aux : aux_buffers)
        if (aux->GetHandle() == handle) return aux;
    return SharedPtr<GenTLBuffer>();
}

GenTLDataStream::BufferKind GenTLDataStream::SetQueued(BUFFER_HANDLE handle, bool new_status)
{
    const SharedPtr<GenTLBuffer> buffer = FindAnnounced(handle);
    if (!buffer) return FindAuxiliary(handle) ? BufferKind::Auxiliary : BufferKind::None;
    buffer->SetQueued(new_status);
    return BufferKind::Consumer;
}

GenTLDataStream::TakeOverFound GenTLDataStream::TakeOverData(BUFFER_HANDLE handle,
                                                             BUFFER_HANDLE aux_handle)
{
    const SharedPtr<GenTLBuffer> buffer = FindAnnounced(handle);
    const SharedPtr<GenTLBuffer> aux = FindAuxiliary(aux_handle);
    if (buffer && aux) buffer->TakeOverData(*aux);
    return TakeOverFound{static_cast<bool>(buffer), static_cast<bool>(aux)};
}

// ---- Announce ----

GC_ERROR GenTLDataStream::AnnounceBufferChecked(void* buffer, size_t size, void* user_ptr,
                                                SharedPtr<GenTLBuffer>& out)
{
    if (buffer == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "AnnounceBuffer: invalid buffer pointer");
    return AnnounceBuffer(false, {MemorySegment{buffer, size}}, user_ptr, out);
}

GC_ERROR GenTLDataStream::AllocAndAnnounceBuffer(size_t size, void* user_ptr,
                                                 SharedPtr<GenTLBuffer>& out)
{
    return AnnounceBuffer(false, {MemorySegment{nullptr, size}}, user_ptr, out);
}

GC_ERROR GenTLDataStream::AnnounceCompositeBuffer(size_t num_segments, void** segment_ptrs,
                                                  const size_t* segment_sizes, void* user_ptr,
                                                  SharedPtr<GenTLBuffer>& out)
{
    if (!GetBranding().CompositeBufferAware())
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "AnnounceCompositeBuffer: this transport layer implementation does "
                           "not support composite buffers");
    if (segment_ptrs == nullptr || segment_sizes == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "AnnounceCompositeBuffer: invalid input array pointer");
    if (num_segments == 0)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "AnnounceCompositeBuffer: announced zero segments");
    std::vector<MemorySegment> segments;
    for (size_t i = 0; i < num_segments; ++i) {
        if (segment_ptrs[i] == nullptr)
            return ReportError(GC_ERR_INVALID_PARAMETER,
                               "AnnounceCompositeBuffer: invalid segment pointer");
        segments.push_back(MemorySegment{segment_ptrs[i], segment_sizes[i]});
    }
    return AnnounceBuffer(true, segments, user_ptr, out);
}

GC_ERROR GenTLDataStream::AnnounceBuffer(bool composite, const std::vector<MemorySegment>& segments,
                                         void* user_ptr, SharedPtr<GenTLBuffer>& out)
{
    ScopedLock lock(handle_lock);
    TL_ASSERT(!out);
    const GC_ERROR checked = CheckAnnouncedSegments(segments);
    if (checked != GC_ERR_SUCCESS) return checked;
    const GC_ERROR sized = CheckSizeDuringAcquisition(composite, segments);
    if (sized != GC_ERR_SUCCESS) return sized;
    SharedPtr<GenTLBuffer> buffer;
    const GC_ERROR created = CreateAnnouncedBuffer(composite, segments, user_ptr, buffer);
    if (created != GC_ERR_SUCCESS) return created;
    {
        ScopedLock pool_lock(lookup_lock);
        const bool inserted = announced_pool.emplace(buffer->GetHandle(), buffer).second;
        TL_ASSERT(inserted);
    }
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO)
        << "Announcing buffer"
        << (composite                                ? " (composite)"
            : buffer->GetConsumerMemory() != nullptr ? " (consumer alloc'd)"
                                                     : " (producer alloc'd)")
        << ", " << segments.size() << " segments, total size " << buffer->GetSize()
        << " bytes, user ptr " << user_ptr << ", log-id " << buffer->GetUniqueString();
    out = buffer;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::CheckAnnouncedSegments(const std::vector<MemorySegment>& segments)
{
    bool overlap_checked = false;
    for (const MemorySegment& segment : segments) {
        if (segment.size == 0)
            return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                               "AnnounceBuffer: announcing zero-sized buffer/segment");
        if (segment.base == nullptr || overlap_checked) continue;
        overlap_checked = true;
        if (AnyMutualOverlap(segments))
            return ReportError(GC_ERR_RESOURCE_IN_USE,
                               "AnnounceBuffer: attempt to announce composite buffer with "
                               "mutually overlapping segments");
        for (const auto& [handle, announced] : announced_pool)
            for (const MemorySegment& existing : announced->GetSegments())
                for (const MemorySegment& candidate : segments)
                    if (Overlap(existing, candidate))
                        return ReportError(GC_ERR_RESOURCE_IN_USE,
                                           "AnnounceBuffer: attempt to announce duplicate or "
                                           "overlapping buffer/segment");
    }
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::CheckSizeDuringAcquisition(bool composite,
                                                     const std::vector<MemorySegment>& segments)
{
    if (!acquisition_started) return GC_ERR_SUCCESS;
    if (!GetBranding().BufferChangesDuringAcquisition())
        return ReportError(GC_ERR_BUSY,
                           "AnnounceBuffer: announcing buffers during acquisition not supported");
    uint64_t total = 0;
    for (const MemorySegment& segment : segments) total += segment.size;
    if (KnowsPayloadSize() && total < GetPayloadSize())
        return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                           "AnnounceBuffer: the buffer announced while actively streaming is "
                           "smaller than required");
    const FlowFit fit = composite ? FitFlows(segments) : FlowFit::Fits;
    if (fit == FlowFit::TooFewSegments)
        return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                           "AnnounceBuffer: the buffer announced while actively streaming has "
                           "less segments than required");
    if (fit == FlowFit::SegmentTooSmall)
        return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                           "AnnounceBuffer: the buffer announced while actively streaming "
                           "contains segments with size insufficient for the flow mapping "
                           "table");
    return GC_ERR_SUCCESS;
}

GenTLDataStream::FlowFit GenTLDataStream::FitFlows(const std::vector<MemorySegment>& segments) const
{
    if (segments.size() < flow_sizes.size()) return FlowFit::TooFewSegments;
    for (size_t i = 0; i < flow_sizes.size(); ++i)
        if (segments[i].size < flow_sizes[i]) return FlowFit::SegmentTooSmall;
    return FlowFit::Fits;
}

GC_ERROR GenTLDataStream::CreateAnnouncedBuffer(bool composite,
                                                const std::vector<MemorySegment>& segments,
                                                void* user_ptr, SharedPtr<GenTLBuffer>& out)
{
    const bool created = TryAllocate([&] {
        out = composite
                  ? CreateCompositeBuffer(segments, user_ptr, false)
                  : CreateBuffer(segments.front().base, segments.front().size, user_ptr, false);
        if (out) out->CompleteConstruction();
    });
    if (!created || !out || !TL_ASSERT(out->IsComposite() == composite && !out->IsAuxiliary())) {
        out.Reset();
        return ReportError(GC_ERR_OUT_OF_MEMORY, "AnnounceBuffer: failed to create the buffer");
    }
    if (!acquisition_started) return GC_ERR_SUCCESS;
    ScopedLock buffer_lock(out->GetHandleLock());
    if (PrepareBuffer(*out)) return GC_ERR_SUCCESS;
    out.Reset();
    return ReportError(GC_ERR_OUT_OF_MEMORY,
                       "AnnounceBuffer: failed to prepare the buffer for streaming");
}

void GenTLDataStream::UnannounceBuffer(const SharedPtr<GenTLBuffer>& buffer)
{
    ScopedLock lock(handle_lock);
    if (!TL_ASSERT(buffer)) return;
    const auto in_input_pool = std::find(queued_pool.begin(), queued_pool.end(), buffer.Get());
    // A buffer with the engine or in the event is not the caller's to take
    // back; it stays announced and goes with the stream's close.
    if (!TL_ASSERT(!buffer->IsQueued() || in_input_pool != queued_pool.end())) return;
    if (in_input_pool != queued_pool.end()) {
        queued_pool.erase(in_input_pool);
        buffer->SetQueued(false);
    }
    SharedPtr<GenTLBuffer> dropped;
    ScopedLock pool_lock(lookup_lock);
    const auto found = announced_pool.find(buffer->GetHandle());
    if (!TL_ASSERT(found != announced_pool.end())) return;
    dropped = found->second;
    announced_pool.erase(found);
}

// ---- Revoke ----

GC_ERROR GenTLDataStream::RevokeBuffer(const SharedPtr<GenTLBuffer>& buffer, void** buffer_ptr,
                                       void** user_ptr)
{
    ScopedLock lock(handle_lock);
    if (acquisition_started && !GetBranding().BufferChangesDuringAcquisition())
        return ReportError(GC_ERR_BUSY,
                           "RevokeBuffer: revoking buffers during acquisition not supported");
    const auto found = buffer ? announced_pool.find(buffer->GetHandle()) : announced_pool.end();
    if (found == announced_pool.end() || found->second.Get() != buffer.Get())
        return ReportError(GC_ERR_INVALID_HANDLE,
                           "RevokeBuffer: no such buffer object exists within  this stream.");
    if (buffer->IsQueued())
        return ReportError(GC_ERR_BUSY, "RevokeBuffer: attempt to revoke a queued buffer.");
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO) << "Revoking buffer " << buffer->GetUniqueString();
    {
        ScopedLock pool_lock(lookup_lock);
        announced_pool.erase(found);
    }
    if (buffer_ptr != nullptr) *buffer_ptr = buffer->GetConsumerMemory();
    if (user_ptr != nullptr) *user_ptr = buffer->GetUserPtr();
    return GC_ERR_SUCCESS;
}

// ---- Queue ----

GC_ERROR GenTLDataStream::QueueBuffer(BUFFER_HANDLE handle)
{
    ScopedLock lock(handle_lock);
    if (non_functional)
        return ReportError(GC_ERR_ACCESS_DENIED,
                           "QueueBuffer: the stream is marked as non-functional, check and reopen "
                           "the device.");
    const auto found = announced_pool.find(handle);
    if (found == announced_pool.end())
        return ReportError(
            GC_ERR_INVALID_HANDLE,
            "QueueBuffer: the required buffer was not announced in the data stream.");
    GenTLBuffer& buffer = *found->second;
    {
        ScopedLock buffer_lock(buffer.GetHandleLock());
        if (buffer.IsQueued())
            return ReportError(GC_ERR_RESOURCE_IN_USE, "QueueBuffer: the buffer is already queued");
    }
    QueueBufferInternal(buffer);
    return GC_ERR_SUCCESS;
}

void GenTLDataStream::QueueBufferInternal(GenTLBuffer& buffer)
{
    {
        ScopedLock buffer_lock(buffer.GetHandleLock());
        buffer.SetQueued(true);
        if (!is_streaming) {
            queued_pool.push_back(&buffer);
            return;
        }
        buffer.SetScheduled(true);
    }
    // Outside the buffer's lock: the engine takes buffer locks inside its
    // own queue lock.
    ScheduleBuffer(&buffer);
}

void GenTLDataStream::QueueUnqueuedBuffers()
{
    for (const auto& [handle, buffer] : announced_pool)
        if (!buffer->IsQueued()) QueueBufferInternal(*buffer);
}

// ---- Flush ----

GC_ERROR GenTLDataStream::FlushQueue(ACQ_QUEUE_TYPE operation)
{
    ScopedLock lock(handle_lock);
    switch (operation) {
        case ACQ_QUEUE_INPUT_TO_OUTPUT:
            FlushInputToOutput();
            return GC_ERR_SUCCESS;
        case ACQ_QUEUE_OUTPUT_DISCARD:
            new_buffer_event->FlushEvent();
            return GC_ERR_SUCCESS;
        case ACQ_QUEUE_ALL_TO_INPUT:
            if (acquisition_started) TerminateAcquisition();
            new_buffer_event->FlushEvent();
            QueueUnqueuedBuffers();
            return GC_ERR_SUCCESS;
        case ACQ_QUEUE_UNQUEUED_TO_INPUT:
            if (non_functional)
                return ReportError(GC_ERR_ACCESS_DENIED,
                                   "FlushQueue (unqueued to input): the stream is marked as "
                                   "non-functional, check and reopen the device.");
            QueueUnqueuedBuffers();
            ScheduleQueuedBuffers();
            return GC_ERR_SUCCESS;
        case ACQ_QUEUE_ALL_DISCARD:
            if (acquisition_started) TerminateAcquisition();
            DiscardAllBuffers();
            return GC_ERR_SUCCESS;
        default:
            return ReportError(GC_ERR_NOT_IMPLEMENTED,
                               "FlushQueue: unknown queue flush operation requested");
    }
}

void GenTLDataStream::FlushInputToOutput()
{
    for (GenTLBuffer* buffer : queued_pool) {
        buffer->ResetFillState();
        new_buffer_event->AddBuffer(buffer->GetHandle(), buffer->GetUserPtr());
    }
    queued_pool.clear();
}

void GenTLDataStream::DiscardAllBuffers()
{
    if (new_buffer_event) new_buffer_event->FlushEvent();
    for (GenTLBuffer* buffer : queued_pool) {
        ScopedLock buffer_lock(buffer->GetHandleLock());
        buffer->ResetFillState();
        buffer->SetQueued(false);
    }
    queued_pool.clear();
}

// ---- Index ----

GC_ERROR GenTLDataStream::GetBufferID(uint32_t index, BUFFER_HANDLE* handle)
{
    ScopedLock lock(handle_lock);
    if (index >= announced_pool.size())
        return ReportError(GC_ERR_INVALID_INDEX,
                           "GetBufferID: invalid buffer index, exceeding number of buffers");
    if (handle == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "GetBufferID: invalid buffer handle pointer.");
    *handle = std::next(announced_pool.begin(), index)->first;
    return GC_ERR_SUCCESS;
}

}  // namespace GenTLCore
