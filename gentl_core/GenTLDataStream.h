// GenTLDataStream.h: one GenTL data stream: its announced buffers and pools,
// buffer handling mode, new-buffer event, registers and the core engine
// thread, with the extension interface the transport layer's acquisition
// engine implements.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/GenTLBuffer.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/GenTLModule.h"
#include "gentl_core/MiscUtils.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/StreamTag.h"
#include "gentl_core/SyncObjects.h"
#include "platform/Assert.h"

namespace GenTLCore {

// Values of StreamBufferHandlingMode_Val.
enum BufferHandlingMode : uint32_t {
    OldestFirst = 0,
    OldestFirstOverwrite = 1,
    NewestOnly = 2,
    BUFHMODE_LAST = 3,
};

// Answers of WaitForFilledBuffer.
constexpr int WAITBUF_SUCCESS = 0;  // a filled buffer is handed out
constexpr int WAITBUF_STOPPED = 1;  // the engine was told to stop
constexpr int WAITBUF_FAILED = 2;   // 2 and 3: the engine failed
constexpr int WAITBUF_ABORTED = 3;

// Kinds of GetEngineBufferCount.
constexpr uint32_t ENGINE_COUNT_STARTED = 0;
constexpr uint32_t ENGINE_COUNT_QUEUED = 1;
constexpr uint32_t ENGINE_COUNT_UNDERRUN = 2;

constexpr uint32_t MAX_AUX_BUFFERS = 20;
// The priority registers hold this until a value is set.
constexpr int32_t THREAD_PRIORITY_UNSET = 0x7FFFFFFF;

// Created by its local device with its tag, completed (registers, URL,
// new-buffer event) and opened by DevOpenDataStream; closed by DSClose or the
// device's close after the handle pool closed its buffers. Owns its announced
// and auxiliary buffers (SharedPtr; the handle pool shares the announced
// ones) and its new-buffer event.
//
// Threads: consumer threads call the public members, each under handle_lock
// for its whole run. The core engine thread runs AcquisitionEngineThread():
// started by StartAcquisition, joined under handle_lock by StopAcquisition,
// FlushQueue (all to input, all discard) and Close; it never takes
// handle_lock and reaches buffers only through the engine, the event and
// `lookup_lock`. The new-buffer event calls back (BufferOwner) with its own
// lock held, from consumer threads or the engine thread.
// Lock order: handle_lock, the new-buffer event's lock, a buffer's lock;
// lookup_lock is a leaf. ScheduleBuffer is never called with a buffer's
// lock held.
class GenTLDataStream : public GenTLModule, private GenTLNewBufferEvent::BufferOwner {
public:
    // A missing tag leaves the stream not available and non-functional.
    explicit GenTLDataStream(const SharedPtr<StreamTag>& tag);
    // Asserts the stream is closed, idle and has no buffer left.
    ~GenTLDataStream() override;

    std::string GetID() override;
    // The unique string of this stream's buffer number `buffer_number`.
    std::string MakeBufferUniqueString(uint32_t buffer_number)
    {
        ScopedLock lock(handle_lock);
        if (!TL_ASSERT(stm_tag)) return std::string();
        return GenTLCore::MakeBufferUniqueString(stm_tag->GetDeviceID(), stm_tag->GetStreamID(),
                                                 buffer_number);
    }
    // Empty before CompleteConstruction.
    SharedPtr<GenTLNewBufferEvent> GetNewBufferEvent();

    // ---- Buffers (GenTLDataStream.cpp) ----
    // `out` must arrive empty; on success it holds the new, completed buffer
    // (announced, not queued, not yet open).
    GC_ERROR AnnounceBufferChecked(void* buffer, size_t size, void* user_ptr,
                                   SharedPtr<GenTLBuffer>& out);
    GC_ERROR AllocAndAnnounceBuffer(size_t size, void* user_ptr, SharedPtr<GenTLBuffer>& out);
    GC_ERROR AnnounceCompositeBuffer(size_t num_segments, void** segment_ptrs,
                                     const size_t* segment_sizes, void* user_ptr,
                                     SharedPtr<GenTLBuffer>& out);
    // Takes back a just-announced buffer whose handle could not be registered.
    void UnannounceBuffer(const SharedPtr<GenTLBuffer>& buffer);
    // `buffer_ptr` receives the consumer's memory (null for producer memory
    // and composite buffers), `user_ptr` the user pointer; both optional.
    GC_ERROR RevokeBuffer(const SharedPtr<GenTLBuffer>& buffer, void** buffer_ptr, void** user_ptr);
    GC_ERROR QueueBuffer(BUFFER_HANDLE handle);
    GC_ERROR FlushQueue(ACQ_QUEUE_TYPE operation);
    // In ascending handle order.
    GC_ERROR GetBufferID(uint32_t index, BUFFER_HANDLE* handle);
    // Announced buffer of `handle`, or empty; takes lookup_lock only. Hold
    // handle_lock to keep it announced while using it.
    SharedPtr<GenTLBuffer> FindAnnounced(BUFFER_HANDLE handle);
    bool MatchesStreamId(const std::string& key, const std::string& value);

    // ---- Acquisition (GenTLDataStreamAcquisition.cpp) ----
    GC_ERROR StartAcquisition(ACQ_START_FLAGS flags, uint64_t num_to_acquire);
    GC_ERROR StopAcquisition(ACQ_STOP_FLAGS flags);

    // ---- Queries (GenTLDataStreamInfo.cpp) ----
    GC_ERROR GetStreamInfo(STREAM_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                           size_t* size);
    GC_ERROR GetNumFlows(uint32_t* num_flows);
    GC_ERROR GetFlowInfo(uint32_t flow_index, FLOW_INFO_CMD command, INFO_DATATYPE* type,
                         void* buffer, size_t* size);
    GC_ERROR GetBufferInfo(BUFFER_HANDLE handle, BUFFER_INFO_CMD command, INFO_DATATYPE* type,
                           void* buffer, size_t* size);
    GC_ERROR GetBufferPartInfo(BUFFER_HANDLE handle, uint32_t part_index,
                               BUFFER_PART_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                               size_t* size);

    // Read-only register data for checks against the description document:
    // the core table, and the ids of the registers every module holds.
    static std::span<const RegisterDefinition> RegisterTable();
    static const ModuleRegisterIds& CommonRegisterIds();

protected:
    // ---- Module ----
    GC_ERROR DoOpen() override;
    GC_ERROR DoClose() override;
    void OnNotAvailable() override;
    std::string GetModuleName() override { return "TLDataStream"; }
    std::string GetPortName() override { return "StreamPort"; }
    std::span<const RegisterDefinition> GetCoreRegisterTable() override;
    // Creates the new-buffer event, then the module's standard events.
    void BuildEvents() override;
    bool PrepareCoreFeaturePersistence() override;
    bool PrepareCoreRegisterStreaming() override;
    bool CleanupCoreRegisterStreaming() override;

    // Register accessors (GenTLDataStreamInfo.cpp).
    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& value) override;
    GC_ERROR ReadInt32Register(uint32_t id, int32_t& value) override;
    GC_ERROR ReadStringRegister(uint32_t id, std::string& value) override;
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t value) override;
    GC_ERROR WriteInt32Register(uint32_t id, int32_t value) override;
    // A stream defines no custom register: an internal error for any id.
    GC_ERROR WriteUInt32CustomRegister(uint32_t id, uint32_t value) override;

    // ---- Extension interface of the transport layer's acquisition engine.
    // Unless noted, called from consumer threads under handle_lock. ----
    virtual bool ModifiesPayload() = 0;
    virtual bool KnowsPayloadSize() = 0;
    // Minimum total buffer size; also the auxiliary buffers' size.
    virtual uint64_t GetPayloadSize();
    // One size per flow; empty: no flow configuration.
    virtual std::vector<uint64_t> GetFlowSizes();
    virtual std::vector<uint8_t> GetFlowMappingTable();
    // Stream info commands from 1000 on.
    virtual GC_ERROR GetCustomStreamInfo(STREAM_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                         size_t* size);
    // A new, not yet completed buffer of the transport layer's class; empty
    // on failure.
    virtual SharedPtr<GenTLBuffer> CreateCompositeBuffer(const std::vector<MemorySegment>& segments,
                                                         void* user_ptr, bool auxiliary);
    virtual SharedPtr<GenTLBuffer> CreateBuffer(void* buffer, size_t size, void* user_ptr,
                                                bool auxiliary) = 0;
    virtual GC_ERROR PrepareStreaming() = 0;
    // Called with the buffer's lock held.
    virtual bool PrepareBuffer(GenTLBuffer& buffer) = 0;
    virtual bool DeconfigureStreaming() = 0;
    virtual GC_ERROR StartStreaming() = 0;
    // Also from the engine thread, at an implicit or failure stop; exactly
    // once per successful StartStreaming.
    virtual bool StopStreaming() = 0;
    // Stops the engine's work; a pending or later WaitForFilledBuffer
    // answers WAITBUF_STOPPED.
    virtual void StopEngine() = 0;
    virtual bool StartEngine() = 0;
    // Hands a queued, scheduled buffer to the engine, which owns it until it
    // comes back filled or through ReleaseBuffers. From consumer threads and
    // the engine thread at once; never with a buffer's lock held.
    virtual void ScheduleBuffer(GenTLBuffer* buffer) = 0;
    // Engine thread only. `buffer` arrives null and is set only with
    // WAITBUF_SUCCESS, to a buffer carrying new data.
    virtual int WaitForFilledBuffer(GenTLBuffer*& buffer) = 0;
    // After StopEngine: every buffer the engine still holds, in its order,
    // appended to `buffers` (arriving empty).
    virtual void ReleaseBuffers(std::vector<GenTLBuffer*>& buffers) = 0;
    // The engine's own share of a counter (ENGINE_COUNT_*).
    virtual uint64_t GetEngineBufferCount(uint32_t kind) = 0;
    // Non-zero fails the stream's open.
    virtual GC_ERROR OpenEngine() = 0;
    virtual void CloseEngine() = 0;
    virtual bool SetEngineThreadPriority(int32_t policy, int32_t priority);
    virtual bool GetEngineThreadPriority(int32_t& policy, int32_t& priority);
    virtual bool ImplementsGenDC() = 0;
    virtual std::vector<uint8_t> GetGenDCPrefetchDescriptor();

private:
    // The module base's registers, numbered consecutively.
    static constexpr ModuleRegisterIds COMMON_REGISTER_IDS{4013, 4014, 4015, 4016, 4017, 4018};

    // ---- BufferOwner, for the new-buffer event (any thread, event lock held) ----
    BufferKind SetQueued(BUFFER_HANDLE buffer, bool new_status) override;
    TakeOverFound TakeOverData(BUFFER_HANDLE buffer, BUFFER_HANDLE aux_buffer) override;
    // Auxiliary buffer of `handle`, or empty; takes lookup_lock.
    SharedPtr<GenTLBuffer> FindAuxiliary(BUFFER_HANDLE handle);

    // How a composite buffer's segments fit the stream's flows.
    enum class FlowFit { Fits, TooFewSegments, SegmentTooSmall };
    FlowFit FitFlows(const std::vector<MemorySegment>& segments) const;

    // ---- Pools (GenTLDataStream.cpp) ----
    GC_ERROR AnnounceBuffer(bool composite, const std::vector<MemorySegment>& segments,
                            void* user_ptr, SharedPtr<GenTLBuffer>& out);
    GC_ERROR CheckAnnouncedSegments(const std::vector<MemorySegment>& segments);
    GC_ERROR CheckSizeDuringAcquisition(bool composite, const std::vector<MemorySegment>& segments);
    GC_ERROR CreateAnnouncedBuffer(bool composite, const std::vector<MemorySegment>& segments,
                                   void* user_ptr, SharedPtr<GenTLBuffer>& out);
    void QueueBufferInternal(GenTLBuffer& buffer);
    void QueueUnqueuedBuffers();
    void DiscardAllBuffers();
    void FlushInputToOutput();
    void ClearPools();

    // ---- Acquisition (GenTLDataStreamAcquisition.cpp) ----
    GC_ERROR CheckStartRequest(ACQ_START_FLAGS flags, uint64_t num_to_acquire);
    GC_ERROR CheckBufferSizes(uint64_t& payload_size);
    // Everything after PrepareStreaming; undoes its own failures, not an
    // exception.
    GC_ERROR StartPrepared(uint64_t payload_size);
    GC_ERROR PrepareAnnouncedBuffers();
    void PrepareAuxBuffers(uint64_t payload_size);
    GC_ERROR LaunchEngines();
    bool TerminateAcquisition();
    void TakeBackEngineBuffers();
    bool SetupAuxBuffers(uint32_t count, uint64_t size);
    void ScheduleQueuedBuffers();
    // Marks the buffer scheduled under its lock, then hands it over.
    void ScheduleOne(GenTLBuffer& buffer, bool reset_fill);
    void ConfigureEngineThreadPriority();

    // ---- Core engine thread (GenTLDataStreamAcquisition.cpp) ----
    void AcquisitionEngineThread();
    void RunEngine();
    // False when the thread is to end.
    bool DeliverFilledBuffer(GenTLBuffer& buffer);
    void RescheduleReturned(const std::vector<BUFFER_HANDLE>& returned_bufs);
    void CountDelivery(uint64_t displaced);
    void EndStreamingFromEngine(bool failed, const char* reason);

    // ---- Registers (GenTLDataStreamInfo.cpp) ----
    GC_ERROR ReadThreadPriorityRegister(uint32_t id, int32_t& value);
    GC_ERROR WriteHandlingMode(uint32_t value);
    GC_ERROR WriteAuxBufferCount(uint32_t value);

    // Fixed at construction.
    const SharedPtr<StreamTag> stm_tag;
    const std::string stream_id;

    // Set at finalisation, then fixed.
    SharedPtr<GenTLNewBufferEvent> new_buffer_event;

    // Guarded by handle_lock; their changes also take lookup_lock, under
    // which the event's callbacks resolve handles without handle_lock.
    std::map<BUFFER_HANDLE, SharedPtr<GenTLBuffer>> announced_pool;
    std::vector<SharedPtr<GenTLBuffer>> aux_buffers;
    Mutex lookup_lock;

    // Guarded by handle_lock. The engine thread reads num_to_acquire and
    // handling_mode, which change only while it does not run.
    std::deque<GenTLBuffer*> queued_pool;
    std::deque<GenTLBuffer*> aux_queued_pool;
    uint64_t num_to_acquire = 0;
    uint32_t handling_mode = OldestFirst;
    uint32_t aux_buffer_count = 0;
    int32_t thread_policy = THREAD_PRIORITY_UNSET;
    int32_t thread_priority = THREAD_PRIORITY_UNSET;
    std::vector<uint64_t> flow_sizes;
    bool acquisition_started = false;
    bool register_streaming = false;

    // Shared with the engine thread. Whoever clears is_streaming first calls
    // StopStreaming.
    std::atomic<bool> is_streaming{false};
    std::atomic<bool> non_functional{false};
    std::atomic<uint64_t> lost_count{0};
    std::atomic<uint64_t> delivered_count{0};

    MemFunThread acq_thread;  // declared last: everything above outlives it
};

}  // namespace GenTLCore
