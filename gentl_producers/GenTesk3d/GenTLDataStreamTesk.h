// GenTLDataStreamTesk.h: the one data stream of an open Tesk3D sensor, its
// tag, and the acquisition thread that turns each scan into a filled buffer.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/StreamTag.h"
#include "gentl_core/SyncObjects.h"
#include "gentl_producers/GenTesk3d/FeatureCache.h"
#include "gentl_producers/GenTesk3d/GenTLBufferTesk.h"
#include "gentl_producers/GenTesk3d/PayloadGenerator.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace GenTLCore::ZoTL {

// Posted on the stream's module event for every acquired scan, also for a
// scan dropped for want of a buffer.
constexpr uint32_t SCAN_EVENT_ID = 0xDDDDDD01;

// The identity of a device's only stream; fixed at construction.
class StreamTagTesk : public StreamTag {
public:
    explicit StreamTagTesk(std::string device_id) : device_id(std::move(device_id)) {}

    std::string GetDeviceID() const override { return device_id; }
    std::string GetStreamID() const override { return "0"; }
    std::string GetDisplayName() const override { return "Primary data stream of the device"; }
    // No alternative key is known.
    bool MatchesAlternativeID(const std::string& key, const std::string& value) const override;

private:
    const std::string device_id;
};

// Created by GenTLLocalDeviceTesk::CreateDataStreams at each open; shares the
// device's SensorInterface and FeatureCache.
//
// The acquisition thread, each turn: Acquire one scan under the sensor's scan
// lock, post SCAN_EVENT_ID, wait up to one line time (from the turn's start)
// for a scheduled buffer, else drop the scan; fill the buffer and hand it to
// the output queue. Frame IDs count every acquired scan, dropped ones too.
//
// Threads: consumer threads and the core engine thread call the extension
// interface; the acquisition thread runs between StartEngine and StopEngine
// and never takes SensorInterface::lock_.
// Lock order: the sensor's scan lock, then input_lock or output_lock (held
// only to change a queue), then a buffer's lock.
class GenTLDataStreamTesk : public GenTLDataStream {
public:
    GenTLDataStreamTesk(const SharedPtr<StreamTag>& tag,
                        const SharedPtr<SensorInterface>& sensor_interface,
                        const SharedPtr<FeatureCache>& cache);
    ~GenTLDataStreamTesk() override;

protected:
    // clang-format off
    bool ModifiesPayload() override { return false; }
    bool KnowsPayloadSize() override { return true; }
    uint64_t GetPayloadSize() override { return cache->GetPayloadSize(); }
    std::vector<uint64_t> GetFlowSizes() override { return cache->GetFlowSizes(); }
    std::vector<uint8_t> GetFlowMappingTable() override { return cache->GetFlowMappingTable(); }
    // Empty for an auxiliary composite buffer, which cannot be.
    SharedPtr<GenTLBuffer> CreateCompositeBuffer(const std::vector<MemorySegment>& segments, void* user_ptr, bool auxiliary) override;
    SharedPtr<GenTLBuffer> CreateBuffer(void* buffer, size_t size, void* user_ptr, bool auxiliary) override;
    GC_ERROR PrepareStreaming() override { return GC_ERR_SUCCESS; }
    bool PrepareBuffer(GenTLBuffer& buffer) override;
    bool DeconfigureStreaming() override { return true; }
    // The sensor itself starts with the remote device's AcquisitionStart.
    GC_ERROR StartStreaming() override { return GC_ERR_SUCCESS; }
    // Also at the stream's implicit stop: the thread goes on taking scans,
    // which no consumer waits for any more.
    bool StopStreaming() override;
    void StopEngine() override;
    bool StartEngine() override;
    void ScheduleBuffer(GenTLBuffer* buffer) override;
    int WaitForFilledBuffer(GenTLBuffer*& buffer) override;
    void ReleaseBuffers(std::vector<GenTLBuffer*>& buffers) override;
    // Underruns: scans dropped for want of a buffer and profiles the sensor
    // library's FIFO dropped, while the stream streamed. Queued: the
    // consumer's buffers the engine holds, not yet handed to the core engine.
    // Started: the buffers taken to fill, auxiliary ones too. Underruns and
    // started count since the stream opened.
    uint64_t GetEngineBufferCount(uint32_t kind) override;
    GC_ERROR OpenEngine() override;
    void CloseEngine() override {}
    bool SetEngineThreadPriority(int32_t policy, int32_t priority) override { return acq_thread.SetPriority(policy, priority); }
    bool GetEngineThreadPriority(int32_t& policy, int32_t& priority) override { return acq_thread.GetPriority(&policy, &priority); }
    bool ImplementsGenDC() override { return false; }
    std::vector<uint8_t> GetGenDCPrefetchDescriptor() override { return cache->GetPrefetchDescriptor(); }
    bool SupportsModuleEvents(size_t& max_data_size) override;
    // clang-format on

public:
    // The acquisition thread's next turn throws, as a memory shortage would.
    void FailNextTurnForTest() { fail_next_turn_for_test = true; }

private:
    // The body of acq_thread: RunAcquisition, and the end of the stream when
    // it throws.
    void AcquisitionThread();
    void RunAcquisition();
    // The next scheduled buffer, waiting up to `line_us` from `turn_start`;
    // null when none came in time or the engine stops. Under input_lock.
    GenTLBufferTesk* TakeScheduled(std::unique_lock<std::mutex>& input_hold,
                                   std::chrono::steady_clock::time_point turn_start, float line_us);
    // The data area of the next scheduled buffer, where the scan's planes
    // may go straight away; empty when none is scheduled.
    PlaneTarget FrontTarget();
    void FillBuffer(GenTLBufferTesk& buffer, uint64_t frame_id);
    // Hands a filled buffer to the core engine; false when the engine stops.
    bool HandOver(GenTLBuffer& buffer);
    bool IsStopping();
    // Lowers held_consumer_buffers for a consumer's buffer leaving the engine.
    void CountHandedBack(const GenTLBuffer& buffer);
    // Underruns: what the library's FIFO dropped since the last look
    // (profiles), and scans dropped for want of a queued buffer (one each).
    // A warning names them at most once a second while they go on.
    void CountFifoLosses();
    void CountLosses(uint64_t fifo_profiles, uint64_t missed_scans);
    void ReportLosses();

    // Fixed at construction.
    const std::string device_id;
    const SharedPtr<SensorInterface> sensor_interface;
    const SharedPtr<FeatureCache> cache;

    std::mutex input_lock;
    std::condition_variable input_changed;  // a buffer scheduled, or a stop
    // Guarded by input_lock.
    std::deque<GenTLBuffer*> input_queue;
    bool input_stopping = true;

    // The core engine sleeps on output_wake; a hand-over wakes it with one
    // system call and leaves it none to make on the way out.
    Mutex output_lock;
    Condition output_wake;
    // Guarded by output_lock.
    std::deque<GenTLBuffer*> output_queue;
    bool stop_requested = true;
    bool engine_failed = false;  // the acquisition thread ended by an exception

    std::atomic<bool> fail_next_turn_for_test{false};

    // Acquisition thread only, while it runs; StopEngine's after the join.
    GenTLBufferTesk* in_fill = nullptr;  // taken from input_queue, not yet handed over
    ScanData scan;
    PayloadGenerator generator;
    std::vector<uint64_t> run_flow_sizes;
    uint32_t fifo_dropped_mark = 0;  // the library's count at the last look
    struct Losses {
        uint64_t fifo_profiles = 0;
        uint64_t missed_scans = 0;
        bool Any() const { return fifo_profiles + missed_scans > 0; }
    } unreported;  // since the last warning
    std::chrono::steady_clock::time_point losses_reported;

    // Since the stream opened: zeroed by OpenEngine, while no acquisition
    // thread runs, then written by the acquisition thread only. Read by
    // consumer threads.
    std::atomic<uint64_t> underruns{0};
    std::atomic<uint64_t> started_buffers{0};  // taken to fill, auxiliary ones too

    // The consumer's buffers in input_queue, in_fill and output_queue. Raised
    // by ScheduleBuffer, lowered by WaitForFilledBuffer and ReleaseBuffers, on
    // consumer threads and the core engine thread; read by consumer threads.
    std::atomic<uint64_t> held_consumer_buffers{0};
    // Set by StartEngine, cleared by StopStreaming: losses count only while
    // the core engine still takes buffers.
    std::atomic<bool> counting_losses{false};

    MemFunThread acq_thread;  // declared last: everything above outlives it
};

}  // namespace GenTLCore::ZoTL
