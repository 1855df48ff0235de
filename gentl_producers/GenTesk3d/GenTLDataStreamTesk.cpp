// GenTLDataStreamTesk.cpp: the Tesk3D data stream's engine: its queues and
// the acquisition thread.
#include "gentl_producers/GenTesk3d/GenTLDataStreamTesk.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {
namespace {

using TurnClock = std::chrono::steady_clock;

// Acquire returns at once while the sensor is not started: pause, so the
// thread does not spin between DSStartAcquisition and AcquisitionStart.
constexpr auto IDLE_PAUSE = std::chrono::milliseconds(2);
// A line time beyond this (a rate near 0) waits no longer for a buffer.
constexpr float MAX_LINE_US = 10e6F;
constexpr int32_t DEFAULT_POLICY = 0;
constexpr int32_t DEFAULT_PRIORITY = 2;
constexpr size_t MODULE_EVENT_DATA_BYTES = 8;
constexpr auto LOSS_REPORT_INTERVAL = std::chrono::seconds(1);

}  // namespace

bool StreamTagTesk::MatchesAlternativeID(const std::string&, const std::string&) const
{
    TL_ASSERT_MSG(false, "Unexpected data stream alternative ID key");
    return false;
}

GenTLDataStreamTesk::GenTLDataStreamTesk(const SharedPtr<StreamTag>& tag,
                                         const SharedPtr<SensorInterface>& sensor_interface,
                                         const SharedPtr<FeatureCache>& cache)
    : GenTLDataStream(tag),
      device_id(tag->GetDeviceID()),
      sensor_interface(sensor_interface),
      cache(cache),
      acq_thread(this, &GenTLDataStreamTesk::AcquisitionThread)
{
}

GenTLDataStreamTesk::~GenTLDataStreamTesk()
{
    StopEngine();
}

SharedPtr<GenTLBuffer> GenTLDataStreamTesk::CreateCompositeBuffer(
    const std::vector<MemorySegment>& segments, void* user_ptr, bool auxiliary)
{
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
        << "[BDataStream] Create Bufferwith segments:" << segments.size();
    if (!TL_ASSERT_MSG(!auxiliary, "!auxiliary")) return SharedPtr<GenTLBuffer>();
    return SharedPtr<GenTLBuffer>(new GenTLBufferTesk(segments, user_ptr, this));
}

SharedPtr<GenTLBuffer> GenTLDataStreamTesk::CreateBuffer(void* buffer, size_t size, void* user_ptr,
                                                         bool auxiliary)
{
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "[BDataStream] Create Buffer size:" << size;
    return SharedPtr<GenTLBuffer>(new GenTLBufferTesk(buffer, size, user_ptr, auxiliary, this));
}

bool GenTLDataStreamTesk::PrepareBuffer(GenTLBuffer& buffer)
{
    return TL_ASSERT_MSG(dynamic_cast<GenTLBufferTesk*>(&buffer) != nullptr, "buf_play");
}

GC_ERROR GenTLDataStreamTesk::OpenEngine()
{
    // This object outlives DSClose: what an earlier open counted is not ours.
    underruns = 0;
    started_buffers = 0;
    // The last stop took every buffer back.
    TL_ASSERT(held_consumer_buffers.load() == 0);
    acq_thread.ClearPriority();
    // Raising the priority may be refused without the right to; harmless.
    acq_thread.SetPriority(DEFAULT_POLICY, DEFAULT_PRIORITY);
    return GC_ERR_SUCCESS;
}

bool GenTLDataStreamTesk::SupportsModuleEvents(size_t& max_data_size)
{
    max_data_size = MODULE_EVENT_DATA_BYTES;
    return true;
}

bool GenTLDataStreamTesk::StartEngine()
{
    {
        std::lock_guard<std::mutex> hold(input_lock);
        input_stopping = false;
    }
    {
        ScopedLock hold(output_lock);
        stop_requested = false;
        engine_failed = false;
    }
    // Fixed for the run: the buffers were checked against them.
    run_flow_sizes = cache->GetFlowSizes();
    // What the FIFO dropped before this run is not this stream's loss.
    fifo_dropped_mark = 0;
    sensor_interface->Link().GetFifoDropped(fifo_dropped_mark);
    unreported = {};
    losses_reported = TurnClock::now();
    counting_losses = true;
    sensor_interface->SetAcquireCancelled(false);
    return acq_thread.Start();
}

bool GenTLDataStreamTesk::StopStreaming()
{
    counting_losses = false;
    return true;
}

void GenTLDataStreamTesk::StopEngine()
{
    {
        std::lock_guard<std::mutex> hold(input_lock);
        input_stopping = true;
        input_changed.notify_all();
    }
    {
        ScopedLock hold(output_lock);
        stop_requested = true;
        output_wake.Broadcast();
    }
    // A slow scan in progress ends at its next profile read, not its time-out.
    sensor_interface->SetAcquireCancelled(true);
    // The destructor stops again after a stop, or without any start.
    acq_thread.JoinIfStarted();
    // The thread is gone: what it counted since its last report is ours.
    if (unreported.Any()) ReportLosses();
}

void GenTLDataStreamTesk::ScheduleBuffer(GenTLBuffer* buffer)
{
    // Before the push, so that the count never dips below zero when the
    // buffer comes back at once. Auxiliary buffers are the framework's spares.
    if (!buffer->IsAuxiliary()) ++held_consumer_buffers;
    {
        std::lock_guard<std::mutex> hold(input_lock);
        input_queue.push_back(buffer);
    }
    // After the lock, as in HandOver.
    input_changed.notify_all();
}

int GenTLDataStreamTesk::WaitForFilledBuffer(GenTLBuffer*& buffer)
{
    TL_ASSERT_MSG(buffer == nullptr, "acquired_buffer == NULL");
    buffer = nullptr;
    ScopedLock hold(output_lock);
    while (!stop_requested && !engine_failed && output_queue.empty())
        if (output_wake.Wait(output_lock, -1.0) == WaitResult::Failed) return WAITBUF_FAILED;
    // A stop wins over buffers still queued: ReleaseBuffers returns them.
    if (stop_requested) return WAITBUF_STOPPED;
    if (engine_failed) return WAITBUF_FAILED;
    buffer = output_queue.front();
    output_queue.pop_front();
    if (!TL_ASSERT_MSG(buffer != nullptr, "buffer_module")) return WAITBUF_FAILED;
    CountHandedBack(*buffer);
    return WAITBUF_SUCCESS;
}

void GenTLDataStreamTesk::ReleaseBuffers(std::vector<GenTLBuffer*>& buffers)
{
    TL_ASSERT_MSG(buffers.empty(), "rel_bufs.empty()");
    const size_t ours_from = buffers.size();
    {
        std::lock_guard<std::mutex> hold(input_lock);
        buffers.insert(buffers.end(), input_queue.begin(), input_queue.end());
        input_queue.clear();
    }
    {
        ScopedLock hold(output_lock);
        buffers.insert(buffers.end(), output_queue.begin(), output_queue.end());
        output_queue.clear();
    }
    for (size_t i = ours_from; i < buffers.size(); ++i) CountHandedBack(*buffers[i]);
}

void GenTLDataStreamTesk::CountHandedBack(const GenTLBuffer& buffer)
{
    if (!buffer.IsAuxiliary()) --held_consumer_buffers;
}

uint64_t GenTLDataStreamTesk::GetEngineBufferCount(uint32_t kind)
{
    switch (kind) {
        case ENGINE_COUNT_STARTED:
            return started_buffers.load();
        case ENGINE_COUNT_QUEUED:
            return held_consumer_buffers.load();
        case ENGINE_COUNT_UNDERRUN:
            return underruns.load();
        default:
            return 0;
    }
}

void GenTLDataStreamTesk::CountFifoLosses()
{
    uint32_t dropped = 0;
    if (sensor_interface->Link().GetFifoDropped(dropped) != 0) return;
    // The connection's count only grows; unsigned arithmetic bridges its wrap.
    const uint32_t lost = dropped - fifo_dropped_mark;
    fifo_dropped_mark = dropped;
    CountLosses(lost, 0);
}

void GenTLDataStreamTesk::CountLosses(uint64_t fifo_profiles, uint64_t missed_scans)
{
    if (fifo_profiles + missed_scans == 0 || !counting_losses.load()) return;
    underruns += fifo_profiles + missed_scans;
    unreported.fifo_profiles += fifo_profiles;
    unreported.missed_scans += missed_scans;
    if (TurnClock::now() - losses_reported >= LOSS_REPORT_INTERVAL) ReportLosses();
}

void GenTLDataStreamTesk::ReportLosses()
{
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_WARNING)
        << "Stream of " << device_id << ": " << unreported.missed_scans
        << " scans dropped for want of a queued buffer and " << unreported.fifo_profiles
        << " profiles dropped by the sensor library's FIFO (" << underruns.load()
        << " underruns since the stream opened).";
    unreported = {};
    losses_reported = TurnClock::now();
}

bool GenTLDataStreamTesk::IsStopping()
{
    ScopedLock hold(output_lock);
    return stop_requested;
}

// When the loop throws, the core engine learns of it and ends the stream.
void GenTLDataStreamTesk::AcquisitionThread()
{
    if (RunThreadBody(LOG_CATEGORY_STREAM, GetID(), "acquisition", [this] { RunAcquisition(); }))
        return;
    if (in_fill != nullptr) {
        // Not filled: back to the input queue, where ReleaseBuffers finds it.
        std::lock_guard<std::mutex> hold(input_lock);
        input_queue.push_front(std::exchange(in_fill, nullptr));
    }
    ScopedLock hold(output_lock);
    engine_failed = true;
    output_wake.Broadcast();
}

void GenTLDataStreamTesk::RunAcquisition()
{
    uint64_t frame_counter = 0;
    for (;;) {
        if (fail_next_turn_for_test.exchange(false)) throw std::bad_alloc();
        const TurnClock::time_point turn_start = TurnClock::now();
        std::unique_lock<std::mutex> scan_hold(sensor_interface->ScanLock());
        const bool acquired = sensor_interface->Acquire(scan, FrontTarget());
        CountFifoLosses();
        if (!acquired) {
            scan_hold.unlock();
            std::unique_lock<std::mutex> input_hold(input_lock);
            input_changed.wait_for(input_hold, IDLE_PAUSE, [this] { return input_stopping; });
            if (input_stopping) {
                TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_DEBUG) << "abort status";
                return;
            }
            continue;
        }
        ++frame_counter;
        if (const SharedPtr<GenTLModuleEvent> event = GetModuleEvent())
            event->AddEvent(SCAN_EVENT_ID, nullptr, 0);
        float line_us = 0;
        {
            ScopedLock hold(cache->lock);
            line_us = cache->acquisition_line_time;
        }
        {
            std::unique_lock<std::mutex> input_hold(input_lock);
            in_fill = TakeScheduled(input_hold, turn_start, line_us);
            if (in_fill == nullptr) {
                // Dropped: no buffer within the line time. The frame ID shows the gap.
                if (input_stopping) return;
                input_hold.unlock();
                CountLosses(0, 1);
                continue;
            }
        }
        ++started_buffers;
        // Out of the queue, the buffer is this thread's alone: a DSQueueBuffer
        // need not wait (and sleep) for the fill and the hand-over.
        FillBuffer(*in_fill, frame_counter);
        const bool go_on = HandOver(*in_fill);
        in_fill = nullptr;  // the core engine's now
        if (!go_on) return;
    }
}

// Only this thread takes buffers out of the input queue while it runs, so
// the front buffer is the one this turn fills, unless no scan comes.
PlaneTarget GenTLDataStreamTesk::FrontTarget()
{
    std::lock_guard<std::mutex> hold(input_lock);
    auto* buffer =
        input_queue.empty() ? nullptr : dynamic_cast<GenTLBufferTesk*>(input_queue.front());
    if (buffer == nullptr) return {};
    auto* const base = static_cast<uint8_t*>(buffer->GetContiguousBase());
    const uint64_t bytes = buffer->GetContiguousSize();
    // With GenDC the data flow follows the descriptor's.
    const uint64_t data = run_flow_sizes.empty() ? 0 : run_flow_sizes[0];
    if (base == nullptr || data > bytes) return {};
    return {base + data, bytes - data};
}

GenTLBufferTesk* GenTLDataStreamTesk::TakeScheduled(std::unique_lock<std::mutex>& input_hold,
                                                    TurnClock::time_point turn_start, float line_us)
{
    const float bounded_us = std::clamp(line_us, 0.0F, MAX_LINE_US);
    const TurnClock::time_point deadline =
        turn_start + std::chrono::microseconds(static_cast<int64_t>(bounded_us));
    input_changed.wait_until(input_hold, deadline,
                             [this] { return input_stopping || !input_queue.empty(); });
    if (input_stopping || input_queue.empty()) return nullptr;
    GenTLBuffer* next = input_queue.front();
    input_queue.pop_front();
    auto* buffer = dynamic_cast<GenTLBufferTesk*>(next);
    // PrepareBuffer let only our own buffers in.
    TL_ASSERT_MSG(buffer != nullptr, "acq_buffer_sd");
    return buffer;
}

void GenTLDataStreamTesk::FillBuffer(GenTLBufferTesk& buffer, uint64_t frame_id)
{
    const FillDescription fill =
        generator.Fill(static_cast<uint8_t*>(buffer.GetContiguousBase()),
                       buffer.GetContiguousSize(), scan, run_flow_sizes, frame_id);
    buffer.SetFillDescription(fill);
    const GlobalFillResults global{fill.data_size, fill.data_size, fill.complete, fill.overflow};
    if (!fill.is_gendc || !TL_ASSERT_MSG(run_flow_sizes.size() == 2, "flows.size() == 2")) {
        buffer.SetFillResults(global);
        return;
    }
    const std::vector<SegmentFillResult> flows{
        {generator.last_descriptor_size, generator.last_descriptor_size, run_flow_sizes[0],
         fill.complete, fill.overflow, false},
        {generator.last_data_size, generator.last_data_size, run_flow_sizes[1], fill.complete,
         fill.overflow, false}};
    buffer.SetFillResults(global, flows);
}

bool GenTLDataStreamTesk::HandOver(GenTLBuffer& buffer)
{
    bool go_on = false;
    {
        ScopedLock hold(output_lock);
        output_queue.push_back(&buffer);
        go_on = !stop_requested;
    }
    // After the lock: the engine thread would wake into it and sleep again.
    output_wake.NotifyOne();
    return go_on;
}

}  // namespace GenTLCore::ZoTL
