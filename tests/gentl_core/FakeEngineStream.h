// FakeEngineStream.h: data streams whose transport-layer engine is a fake:
// a deterministic one the test drives by hand, with failure injection, and
// a threaded one that fills every scheduled buffer as fast as it can.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gentl_core/GenTLDataStream.h"

namespace AcquisitionTest {

class FakeStreamTag : public GenTLCore::StreamTag {
public:
    std::string GetDeviceID() const override { return "Dev_1"; }
    std::string GetStreamID() const override { return "0"; }
    std::string GetDisplayName() const override { return "Fake stream"; }
    bool MatchesAlternativeID(const std::string& key, const std::string& value) const override
    {
        return key == "slot" && value == "primary";
    }
};

// Answers and failures of the fake engine. Set them before the call they
// affect; the engine reads them from any thread.
struct EngineKnobs {
    bool modifies_payload = false;
    bool knows_payload_size = true;
    std::atomic<uint64_t> payload_size{64};
    std::vector<uint64_t> flow_sizes;
    GC_ERROR open_engine_result = GC_ERR_SUCCESS;
    GC_ERROR prepare_streaming_result = GC_ERR_SUCCESS;
    GC_ERROR start_streaming_result = GC_ERR_SUCCESS;
    bool prepare_buffer_ok = true;
    bool prepare_aux_ok = true;
    bool start_engine_ok = true;
    bool stop_streaming_ok = true;
    bool deconfigure_ok = true;
    bool create_buffer_fails = false;
    bool create_aux_fails = false;
    uint64_t engine_counts[3] = {0, 0, 0};
};

// How often the framework called each extension operation.
struct EngineCalls {
    std::atomic<int> open_engine{0};
    std::atomic<int> close_engine{0};
    std::atomic<int> prepare_streaming{0};
    std::atomic<int> prepare_buffer{0};
    std::atomic<int> start_streaming{0};
    std::atomic<int> stop_streaming{0};
    std::atomic<int> deconfigure{0};
    std::atomic<int> start_engine{0};
    std::atomic<int> stop_engine{0};
    std::atomic<int> schedule{0};
};

// The engine's input queue (scheduled buffers) and output queue (filled
// buffers) with one lock, as the real engine keeps them.
//
// Threads: the framework's calls come from consumer threads and the core
// engine thread; the test fills from its own thread. engine_mutex guards
// both queues and the engine's state.
class FakeEngineStream : public GenTLCore::GenTLDataStream {
public:
    explicit FakeEngineStream(const GenTLCore::SharedPtr<GenTLCore::StreamTag>& tag =
                                  GenTLCore::SharedPtr<GenTLCore::StreamTag>(new FakeStreamTag));
    ~FakeEngineStream() override;

    EngineKnobs knobs;
    EngineCalls calls;

    // Engine side. Fills the oldest scheduled buffer with `bytes` bytes of
    // `value` (the whole buffer when 0) and hands it to the output queue;
    // false when nothing is scheduled.
    bool FillNext(uint8_t value, size_t bytes = 0);
    // The pending or next WaitForFilledBuffer answers `status`.
    void FailWith(int status);
    // Buffers the engine holds (scheduled plus filled but not taken).
    size_t HeldCount();
    std::vector<GenTLCore::GenTLBuffer*> ScheduledBuffers();
    // The core engine thread has taken every filled buffer, finished with
    // it and waits for the next.
    bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(2));

protected:
    bool ModifiesPayload() override { return knobs.modifies_payload; }
    bool KnowsPayloadSize() override { return knobs.knows_payload_size; }
    uint64_t GetPayloadSize() override { return knobs.payload_size.load(); }
    std::vector<uint64_t> GetFlowSizes() override { return knobs.flow_sizes; }
    GenTLCore::SharedPtr<GenTLCore::GenTLBuffer> CreateCompositeBuffer(
        const std::vector<GenTLCore::MemorySegment>& segments, void* user_ptr,
        bool auxiliary) override;
    GenTLCore::SharedPtr<GenTLCore::GenTLBuffer> CreateBuffer(void* buffer, size_t size,
                                                              void* user_ptr,
                                                              bool auxiliary) override;
    GC_ERROR PrepareStreaming() override;
    bool PrepareBuffer(GenTLCore::GenTLBuffer& buffer) override;
    bool DeconfigureStreaming() override;
    GC_ERROR StartStreaming() override;
    bool StopStreaming() override;
    void StopEngine() override;
    bool StartEngine() override;
    void ScheduleBuffer(GenTLCore::GenTLBuffer* buffer) override;
    int WaitForFilledBuffer(GenTLCore::GenTLBuffer*& buffer) override;
    void ReleaseBuffers(std::vector<GenTLCore::GenTLBuffer*>& buffers) override;
    uint64_t GetEngineBufferCount(uint32_t kind) override;
    GC_ERROR OpenEngine() override;
    void CloseEngine() override;
    bool ImplementsGenDC() override { return false; }

    // For an engine thread: the oldest scheduled buffer, waiting for one;
    // null once the engine is stopped.
    GenTLCore::GenTLBuffer* WaitForScheduled();
    // Writes the fill and hands the buffer to the output queue.
    void Complete(GenTLCore::GenTLBuffer& buffer, uint8_t value, size_t bytes);

private:
    std::mutex engine_mutex;
    std::condition_variable engine_changed;
    // Guarded by engine_mutex.
    std::deque<GenTLCore::GenTLBuffer*> input_queue;
    std::deque<GenTLCore::GenTLBuffer*> output_queue;
    bool engine_stopped = true;
    int fail_status = GenTLCore::WAITBUF_SUCCESS;
    bool core_waiting = false;
};

// Fills every scheduled buffer on a thread of its own, started by
// StartEngine and joined by StopEngine, as fast as buffers arrive.
class ThreadedEngineStream : public FakeEngineStream {
public:
    using FakeEngineStream::FakeEngineStream;
    ~ThreadedEngineStream() override;

    std::atomic<uint64_t> fills{0};

protected:
    bool StartEngine() override;
    void StopEngine() override;

private:
    void FillLoop();

    std::thread filler;  // touched by the framework's start and stop only
};

}  // namespace AcquisitionTest
