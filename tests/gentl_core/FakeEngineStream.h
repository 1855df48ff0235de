// FakeEngineStream.h: data streams whose transport-layer engine is a fake:
// a deterministic one the test drives by hand, with failure injection, and
// one that fills every scheduled buffer as soon as the core engine asks.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "gentl_core/GenTLDataStream.h"

namespace AcquisitionTest {

// Stream "0" of device "Dev_1"; any alternative ID key with value "primary".
class FakeStreamTag : public GenTLCore::StreamTag {
public:
    std::string GetDeviceID() const override { return "Dev_1"; }
    std::string GetStreamID() const override { return "0"; }
    std::string GetDisplayName() const override { return "Fake stream"; }
    bool MatchesAlternativeID(const std::string&, const std::string& value) const override
    {
        return value == "primary";
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
    bool create_buffer_fails = false;
    bool create_aux_fails = false;
    uint64_t engine_counts[3] = {0, 0, 0};
};

// How often the framework called the extension operations tests watch.
struct EngineCalls {
    std::atomic<int> deconfigure{0};
    std::atomic<int> stop_engine{0};
    std::atomic<int> stop_streaming{0};
    std::atomic<int> close_engine{0};
};

using SharedStreamTag = GenTLCore::SharedPtr<GenTLCore::StreamTag>;

// The engine's input queue (scheduled buffers) and output queue (filled
// buffers) with one lock, as the real engine keeps them.
//
// Threads: the framework's calls come from consumer threads and the core
// engine thread; the test fills from its own thread. engine_mutex guards
// both queues and the engine's state.
class FakeEngineStream : public GenTLCore::GenTLDataStream {
public:
    explicit FakeEngineStream(const SharedStreamTag& tag = SharedStreamTag(new FakeStreamTag))
        : GenTLDataStream(tag)
    {
    }

    EngineKnobs knobs;
    EngineCalls calls;

    // Engine side. Fills the oldest scheduled buffer whole with `value` and
    // hands it to the output queue; false when nothing is scheduled.
    bool FillNext(uint8_t value);
    // clang-format off
    // The pending or next WaitForFilledBuffer answers `status`.
    void FailWith(int status) { std::lock_guard<std::mutex> lock(engine_mutex); fail_status = status; engine_changed.notify_all(); }
    // Buffers the engine holds (scheduled plus filled but not taken).
    size_t HeldCount() { std::lock_guard<std::mutex> lock(engine_mutex); return input_queue.size() + output_queue.size(); }
    std::vector<GenTLCore::GenTLBuffer*> ScheduledBuffers() { std::lock_guard<std::mutex> lock(engine_mutex); return {input_queue.begin(), input_queue.end()}; }
    // clang-format on
    // The core engine thread has taken every filled buffer, finished with
    // it and waits for the next.
    bool WaitUntilIdle();

protected:
    using Buffer = GenTLCore::GenTLBuffer;
    // clang-format off
    bool ModifiesPayload() override { return knobs.modifies_payload; }
    bool KnowsPayloadSize() override { return knobs.knows_payload_size; }
    uint64_t GetPayloadSize() override { return knobs.payload_size.load(); }
    std::vector<uint64_t> GetFlowSizes() override { return knobs.flow_sizes; }
    GenTLCore::SharedPtr<Buffer> CreateCompositeBuffer(const std::vector<GenTLCore::MemorySegment>& segments, void* user_ptr, bool) override;
    GenTLCore::SharedPtr<Buffer> CreateBuffer(void* buffer, size_t size, void* user_ptr, bool auxiliary) override;
    GC_ERROR PrepareStreaming() override { return knobs.prepare_streaming_result; }
    bool PrepareBuffer(Buffer& buffer) override { return buffer.IsAuxiliary() ? knobs.prepare_aux_ok : knobs.prepare_buffer_ok; }
    bool DeconfigureStreaming() override { return ++calls.deconfigure > 0; }
    GC_ERROR StartStreaming() override { return knobs.start_streaming_result; }
    bool StopStreaming() override { return ++calls.stop_streaming > 0 && knobs.stop_streaming_ok; }
    void StopEngine() override;
    bool StartEngine() override;
    void ScheduleBuffer(Buffer* buffer) override;
    int WaitForFilledBuffer(Buffer*& buffer) override;
    void ReleaseBuffers(std::vector<Buffer*>& buffers) override;
    uint64_t GetEngineBufferCount(uint32_t kind) override { return knobs.engine_counts[kind % 3]; }
    GC_ERROR OpenEngine() override { return knobs.open_engine_result; }
    void CloseEngine() override { ++calls.close_engine; }
    bool ImplementsGenDC() override { return false; }
    // clang-format on

    // Set at construction: WaitForFilledBuffer fills the oldest scheduled
    // buffer itself rather than waiting for FillNext.
    bool fills_on_demand = false;

private:
    // With engine_mutex held: writes the whole buffer and its fill.
    void FillLocked(Buffer& buffer, uint8_t value);

    std::mutex engine_mutex;
    std::condition_variable engine_changed;
    // Guarded by engine_mutex.
    std::deque<Buffer*> input_queue;
    std::deque<Buffer*> output_queue;
    bool engine_stopped = true;
    int fail_status = GenTLCore::WAITBUF_SUCCESS;
    bool core_waiting = false;
    uint8_t fills = 0;
};

// Fills every scheduled buffer, as fast as the core engine asks.
class ThreadedEngineStream : public FakeEngineStream {
public:
    explicit ThreadedEngineStream(const SharedStreamTag& tag = SharedStreamTag(new FakeStreamTag))
        : FakeEngineStream(tag)
    {
        fills_on_demand = true;
    }
};

}  // namespace AcquisitionTest
