// AcquisitionBench.cpp: buffers per second through the core engine thread,
// and the latency from a fill to EventGetData's return, against the test
// engine doubles (no copying: the fake engine only marks each buffer).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/SmartPointers.h"
// The benchmark runs the framework against the same engine doubles as the
// tests (bench/CMakeLists.txt compiles their sources in).
#include "../tests/gentl_core/AcquisitionTestHelpers.h"
#include "../tests/gentl_core/FakeEngineStream.h"

namespace {

using AcquisitionTest::FakeEngineStream;
using AcquisitionTest::ThreadedEngineStream;
using GenTLCore::GenTLBuffer;
using GenTLCore::SharedPtr;

constexpr size_t BUFFER_BYTES = 64;

// One open stream with `count` queued producer-allocated buffers, opened
// and closed as the handle pool would.
template <class Stream>
class Acquisition {
public:
    explicit Acquisition(size_t count) : stream(new Stream)
    {
        AcquisitionTest::InstallAcquisitionBranding();
        stream->knobs.payload_size = BUFFER_BYTES;
        stream->CompleteConstruction();
        stream->Open();
        for (size_t i = 0; i < count; ++i) {
            SharedPtr<GenTLBuffer> buffer;
            stream->AllocAndAnnounceBuffer(BUFFER_BYTES, nullptr, buffer);
            buffer->Open();
            stream->QueueBuffer(buffer->GetHandle());
            buffers.push_back(buffer);
        }
        event = stream->GetNewBufferEvent();
        stream->StartAcquisition(0, GENTL_INFINITE);
    }
    ~Acquisition()
    {
        stream->StopAcquisition(0);
        for (const SharedPtr<GenTLBuffer>& buffer : buffers) buffer->Close();
        stream->Close();
    }
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    // EventGetData without limit; null when it failed.
    BUFFER_HANDLE Take()
    {
        GenTLCore::NewBufferEventData datum{};
        size_t size = sizeof datum;
        if (event->GetEventData(&datum, &size, GENTL_INFINITE) != GC_ERR_SUCCESS) return nullptr;
        return datum.BufferHandle;
    }
    bool Requeue(BUFFER_HANDLE buffer)
    {
        return buffer != nullptr && stream->QueueBuffer(buffer) == GC_ERR_SUCCESS;
    }
    Stream& Get() { return *stream; }

private:
    SharedPtr<Stream> stream;
    SharedPtr<GenTLCore::GenTLNewBufferEvent> event;
    std::vector<SharedPtr<GenTLBuffer>> buffers;
};

}  // namespace

// A consumer re-queuing every buffer while the engine fills as fast as it
// gets them: the framework's throughput in buffers per second.
static void BM_BuffersDeliveredThroughEngine(benchmark::State& state)
{
    Acquisition<ThreadedEngineStream> acquisition(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        if (!acquisition.Requeue(acquisition.Take())) state.SkipWithError("delivery failed");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuffersDeliveredThroughEngine)->Arg(2)->Arg(16)->UseRealTime();

// One buffer: from the engine's fill, through the core engine thread and the
// new-buffer event, to EventGetData's return.
static void BM_FillToEventGetData(benchmark::State& state)
{
    Acquisition<FakeEngineStream> acquisition(1);
    for (auto _ : state) {
        const auto filled = std::chrono::steady_clock::now();
        if (!acquisition.Get().FillNext(1)) {
            state.SkipWithError("nothing scheduled");
            break;
        }
        const BUFFER_HANDLE buffer = acquisition.Take();
        const auto returned = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(returned - filled).count());
        if (!acquisition.Requeue(buffer)) state.SkipWithError("delivery failed");
    }
}
BENCHMARK(BM_FillToEventGetData)->UseManualTime();
