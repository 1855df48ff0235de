// GenTLDataStreamAcquisition.cpp: acquisition start and stop, auxiliary
// buffers and the core engine thread with the buffer handling modes.
#include <algorithm>
#include <new>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore {

// ---- Start ----

GC_ERROR GenTLDataStream::StartAcquisition(ACQ_START_FLAGS flags, uint64_t num_to_acquire_)
{
    ScopedLock lock(handle_lock);
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO) << "Acquisition start requested";
    const GC_ERROR request_checked = CheckStartRequest(flags, num_to_acquire_);
    if (request_checked != GC_ERR_SUCCESS) return request_checked;
    num_to_acquire = num_to_acquire_;
    delivered_count = 0;
    uint64_t payload_size = 0;
    const GC_ERROR sizes_checked = CheckBufferSizes(payload_size);
    if (sizes_checked != GC_ERR_SUCCESS) return sizes_checked;
    const GC_ERROR prepared = PrepareStreaming();
    if (prepared != GC_ERR_SUCCESS) return prepared;
    GC_ERROR launched = GC_ERR_ERROR;
    try {
        launched = StartPrepared(payload_size);
    } catch (...) {
        // The export reports the exception; the stream must be left as before.
        TerminateAcquisition();
        throw;
    }
    if (launched != GC_ERR_SUCCESS) return launched;
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO) << "Acquisition started";
    acquisition_started = true;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::StartPrepared(uint64_t payload_size)
{
    const GC_ERROR buffers_prepared = PrepareAnnouncedBuffers();
    if (buffers_prepared != GC_ERR_SUCCESS) return buffers_prepared;
    PrepareAuxBuffers(payload_size);
    const GC_ERROR started = StartStreaming();
    if (started != GC_ERR_SUCCESS) {
        DeconfigureStreaming();
        return started;
    }
    return LaunchEngines();
}

GC_ERROR GenTLDataStream::CheckStartRequest(ACQ_START_FLAGS flags, uint64_t num_to_acquire_)
{
    if (register_streaming)
        return ReportError(GC_ERR_BUSY,
                           "StartAcquisition: not allowed during active persistence operation");
    if (acquisition_started)
        return ReportError(GC_ERR_RESOURCE_IN_USE, "StartAcquisition: acquisition already started");
    if (flags != ACQ_START_FLAGS_DEFAULT)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "StartAcquisition: the requested acquisition start flag(s) not "
                           "implemented");
    if (num_to_acquire_ == 0)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "StartAcquisition: the consumer requested to acquire zero buffers");
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::CheckBufferSizes(uint64_t& payload_size)
{
    if (announced_pool.empty())
        return ReportError(GC_ERR_INVALID_BUFFER,
                           "StartAcquisition: no buffers announced, nothing to be acquired");
    payload_size = KnowsPayloadSize() ? GetPayloadSize() : 0;
    if (KnowsPayloadSize() && payload_size == 0)
        return ReportError(GC_ERR_ERROR,
                           "StartAcquisition: the reported stream payload size is zero, nothing to "
                           "be acquired");
    for (const auto& [handle, buffer] : announced_pool)
        if (buffer->GetSize() < payload_size)
            return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                               "StartAcquisition: one or more of the announced buffers are smaller "
                               "than required");
    flow_sizes = GetBranding().CompositeBufferAware() ? GetFlowSizes() : std::vector<uint64_t>();
    for (const auto& [handle, buffer] : announced_pool) {
        const FlowFit fit = buffer->IsComposite() ? FitFlows(buffer->GetSegments()) : FlowFit::Fits;
        if (fit == FlowFit::TooFewSegments)
            return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                               "StartAcquisition: one or more of the announced composite buffers "
                               "has less segments than required");
        if (fit == FlowFit::SegmentTooSmall)
            return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                               "StartAcquisition: one or more of the announced composite buffers "
                               "contains segments with size insufficient for the flow mapping "
                               "table");
    }
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::PrepareAnnouncedBuffers()
{
    for (const auto& [handle, buffer] : announced_pool) {
        ScopedLock buffer_lock(buffer->GetHandleLock());
        if (!PrepareBuffer(*buffer)) {
            DeconfigureStreaming();
            return ReportError(GC_ERR_OUT_OF_MEMORY,
                               "StartAcquisition: failed to prepare the buffers for streaming");
        }
    }
    return GC_ERR_SUCCESS;
}

void GenTLDataStream::PrepareAuxBuffers(uint64_t payload_size)
{
    uint64_t aux_size = payload_size;
    if (aux_size == 0)
        for (const auto& [handle, buffer] : announced_pool)
            aux_size = std::max<uint64_t>(aux_size, buffer->GetSize());
    if (!SetupAuxBuffers(aux_buffer_count, aux_size)) {
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_WARNING)
            << "StartAcquisition: failed to create required auxiliary buffers, continuing "
               "without aux buffers";
        SetupAuxBuffers(0, 0);
    }
    const bool all_prepared = std::all_of(aux_buffers.begin(), aux_buffers.end(),
                                          [this](const SharedPtr<GenTLBuffer>& aux) {
                                              ScopedLock buffer_lock(aux->GetHandleLock());
                                              return PrepareBuffer(*aux);
                                          });
    if (all_prepared) return;
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_WARNING)
        << "StartAcquisition: failed to prepare aux buffersfor streaming, continuing without aux "
           "buffers";
    SetupAuxBuffers(0, 0);
}

GC_ERROR GenTLDataStream::LaunchEngines()
{
    is_streaming = true;
    if (StartEngine()) {
        ScheduleQueuedBuffers();
        // Counted from here: nothing can be delivered before the thread runs.
        new_buffer_event->ResetNumDelivered();
        if (acq_thread.Start()) return GC_ERR_SUCCESS;
    }
    // Undo the whole start so that no engine, thread or buffer is left behind.
    TerminateAcquisition();
    return ReportError(GC_ERR_ERROR, "StartAcquisition: failed to start the acquisition engine");
}

// ---- Auxiliary buffers ----

bool GenTLDataStream::SetupAuxBuffers(uint32_t count, uint64_t size)
{
    TL_ASSERT(!acquisition_started);
    aux_queued_pool.clear();
    std::vector<SharedPtr<GenTLBuffer>> dropped;
    {
        ScopedLock pool_lock(lookup_lock);
        while (aux_buffers.size() > count) {
            dropped.push_back(aux_buffers.back());
            aux_buffers.pop_back();
        }
    }
    for (const SharedPtr<GenTLBuffer>& aux : aux_buffers)
        if (!aux->ResizeAuxMemory(static_cast<size_t>(size))) return false;
    while (aux_buffers.size() < count) {
        SharedPtr<GenTLBuffer> aux;
        const bool created = TryAllocate([&] {
            aux = CreateBuffer(nullptr, static_cast<size_t>(size), nullptr, true);
            if (aux) aux->CompleteConstruction();
        });
        if (!created || !aux || !TL_ASSERT(!aux->IsComposite() && aux->IsAuxiliary())) return false;
        ScopedLock pool_lock(lookup_lock);
        aux_buffers.push_back(aux);
    }
    for (const SharedPtr<GenTLBuffer>& aux : aux_buffers) aux_queued_pool.push_back(aux.Get());
    return true;
}

// ---- Handing buffers to the engine ----

void GenTLDataStream::ScheduleOne(GenTLBuffer& buffer, bool reset_fill)
{
    {
        ScopedLock buffer_lock(buffer.GetHandleLock());
        if (reset_fill) buffer.ResetFillState();
        buffer.SetScheduled(true);
    }
    ScheduleBuffer(&buffer);
}

void GenTLDataStream::ScheduleQueuedBuffers()
{
    if (!is_streaming) return;
    for (GenTLBuffer* buffer : queued_pool) {
        TL_ASSERT(buffer->IsQueued());
        ScheduleOne(*buffer, false);
    }
    queued_pool.clear();
    for (GenTLBuffer* aux : aux_queued_pool) ScheduleOne(*aux, true);
    aux_queued_pool.clear();
}

// ---- Stop ----

GC_ERROR GenTLDataStream::StopAcquisition(ACQ_STOP_FLAGS flags)
{
    ScopedLock lock(handle_lock);
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO) << "Acquisition stop requested";
    if (!acquisition_started) {
        if (GetBranding().StopWithoutStartAllowed()) return GC_ERR_SUCCESS;
        return ReportError(GC_ERR_RESOURCE_IN_USE,
                           "StopAcquisition: attempt to stop acquisition when it is not started");
    }
    if (!TerminateAcquisition())
        return ReportError(GC_ERR_IO, "StopAcquisition: failed to stop the streaming");
    if (flags != ACQ_STOP_FLAGS_DEFAULT && flags != ACQ_STOP_FLAGS_KILL)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "StopAcquisition: the requested acquisition stop flag(s) not "
                           "implemented");
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO) << "Acquisition stopped";
    return GC_ERR_SUCCESS;
}

bool GenTLDataStream::TerminateAcquisition()
{
    acquisition_started = false;
    bool stopped = true;
    // After an implicit or failure stop the engine thread already did this.
    if (is_streaming.exchange(false) && !StopStreaming()) {
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_ERROR) << "Failed to stop streaming on the device";
        stopped = false;
    }
    // Stop the engine before joining: that ends the thread's wait.
    StopEngine();
    acq_thread.JoinIfStarted();
    TakeBackEngineBuffers();
    aux_queued_pool.clear();
    flow_sizes.clear();
    if (!DeconfigureStreaming()) {
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_ERROR) << "Failed while deconfiguring the stream";
        stopped = false;
    }
    return stopped;
}

void GenTLDataStream::TakeBackEngineBuffers()
{
    std::vector<GenTLBuffer*> returned;
    ReleaseBuffers(returned);
    for (GenTLBuffer* buffer : returned) {
        ScopedLock buffer_lock(buffer->GetHandleLock());
        buffer->SetScheduled(false);
        // A fill the core engine never took over is void: back in the input
        // pool the buffer is queued and empty.
        buffer->ResetFillState();
        if (buffer->IsAuxiliary())
            aux_queued_pool.push_back(buffer);
        else if (TL_ASSERT(buffer->IsQueued()))
            queued_pool.push_back(buffer);
    }
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
        << "StopAcquisition: " << returned.size() << " buffers taken back from the engine of "
        << stream_id;
}

// ---- Thread priority ----

void GenTLDataStream::ConfigureEngineThreadPriority()
{
    if (thread_priority == THREAD_PRIORITY_UNSET) {
        int policy = 0;
        int priority = 0;
        if (acq_thread.GetPriority(&policy, &priority)) thread_priority = priority;
    }
    if (!acq_thread.SetPriority(thread_policy, thread_priority)) {
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_ERROR)
            << "Failed to configure thread priority parameters";
        return;
    }
    if (GetBranding().AcquisitionEngineControlFeatures() &&
        !SetEngineThreadPriority(thread_policy, thread_priority))
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_ERROR)
            << "Failed to configure thread priority parameters in TL-specific code";
}

// ---- Core engine thread ----

// The stream stops as after an engine failure when the loop throws.
void GenTLDataStream::AcquisitionEngineThread()
{
    if (!RunThreadBody(LOG_CATEGORY_STREAM, stream_id, "core engine", [this] { RunEngine(); }))
        EndStreamingFromEngine(true, "Exception in the acquisition engine, stopping the stream.");
}

void GenTLDataStream::RunEngine()
{
    for (;;) {
        GenTLBuffer* buffer = nullptr;
        const int status = WaitForFilledBuffer(buffer);
        if (status == WAITBUF_STOPPED) return;
        if (status == WAITBUF_FAILED || status == WAITBUF_ABORTED) {
            EndStreamingFromEngine(true,
                                   "Failure in the acquisition engine, stopping the acquisition "
                                   "thread. The stream (and possibly also the device) is "
                                   "unuseable.");
            return;
        }
        if (status != WAITBUF_SUCCESS || !TL_ASSERT(buffer != nullptr)) {
            // Stopped like a failure: otherwise the stream would report it
            // streams with no thread behind it.
            EndStreamingFromEngine(true,
                                   "Acquisition engine reports unknown status. Undefined "
                                   "behaviour, stopping the acquisition thread.");
            return;
        }
        if (!DeliverFilledBuffer(*buffer)) return;
    }
}

void GenTLDataStream::EndStreamingFromEngine(bool failed, const char* reason)
{
    if (is_streaming.exchange(false)) StopStreaming();
    if (failed) non_functional = true;
    TL_LOG(LOG_CATEGORY_STREAM, failed ? LOG_LEVEL_ERROR : LOG_LEVEL_INFO) << reason;
}

bool GenTLDataStream::DeliverFilledBuffer(GenTLBuffer& buffer)
{
    {
        ScopedLock buffer_lock(buffer.GetHandleLock());
        buffer.SetScheduled(false);
        TL_ASSERT(buffer.HasNewData());
    }
    // The buffer's lock is released: the event takes its own lock first and
    // buffer locks inside it.
    std::vector<BUFFER_HANDLE> returned_bufs;
    bool delivered = true;
    bool aux_displaced_old = false;
    if (!buffer.IsAuxiliary()) {
        if (handling_mode == NewestOnly)
            new_buffer_event->ReplaceBuffers(buffer.GetHandle(), buffer.GetUserPtr(),
                                             QueueModification::ReplaceAll, returned_bufs);
        else
            new_buffer_event->AddBuffer(buffer.GetHandle(), buffer.GetUserPtr());
    } else if (handling_mode == OldestFirstOverwrite || handling_mode == NewestOnly) {
        const QueueModification modification = handling_mode == NewestOnly
                                                   ? QueueModification::KeepOldestWithNewContent
                                                   : QueueModification::OverwriteOldest;
        delivered = new_buffer_event->ReplaceBuffers(buffer.GetHandle(), nullptr, modification,
                                                     returned_bufs);
        aux_displaced_old = delivered;
    } else {
        delivered = false;
    }
    if (delivered) {
        CountDelivery((aux_displaced_old ? 1 : 0) + returned_bufs.size());
    } else {
        lost_count.fetch_add(1);
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
            << "Dropping a new block, no buffers available";
    }
    if (buffer.IsAuxiliary()) ScheduleOne(buffer, true);
    RescheduleReturned(returned_bufs);
    if (num_to_acquire == GENTL_INFINITE || delivered_count.load() < num_to_acquire) return true;
    EndStreamingFromEngine(false,
                           "Implicit stop of the acquisition thread (required number of buffers "
                           "reached).");
    return false;
}

void GenTLDataStream::CountDelivery(uint64_t displaced)
{
    // Displaced blocks come off the count before the new one is added, and
    // never below zero: blocks left from an earlier acquisition (or a flush)
    // were never counted in this one.
    uint64_t count = delivered_count.load();
    if (displaced > 0) {
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
            << "Dropping " << displaced << " old blocks depending on the buffer handling mode";
        lost_count.fetch_add(displaced);
        count -= std::min(count, displaced);
    }
    delivered_count = count + 1;
}

void GenTLDataStream::RescheduleReturned(const std::vector<BUFFER_HANDLE>& returned_bufs)
{
    for (BUFFER_HANDLE handle : returned_bufs) {
        const SharedPtr<GenTLBuffer> returned = FindAnnounced(handle);
        if (TL_ASSERT(returned && returned->IsQueued())) ScheduleOne(*returned, true);
    }
}

}  // namespace GenTLCore
