// FakeEngineStream.cpp: the fake engines behind the data stream tests.
#include "FakeEngineStream.h"

#include <algorithm>
#include <cstring>

#include "FakeBuffer.h"

namespace AcquisitionTest {

using GenTLCore::GenTLBuffer;
using GenTLCore::SharedPtr;

FakeEngineStream::FakeEngineStream(const SharedPtr<GenTLCore::StreamTag>& tag)
    : GenTLDataStream(tag)
{
}

FakeEngineStream::~FakeEngineStream() = default;

SharedPtr<GenTLBuffer> FakeEngineStream::CreateCompositeBuffer(
    const std::vector<GenTLCore::MemorySegment>& segments, void* user_ptr, bool)
{
    if (knobs.create_buffer_fails) return SharedPtr<GenTLBuffer>();
    return SharedPtr<GenTLBuffer>(new FakeBuffer(segments, user_ptr, this));
}

SharedPtr<GenTLBuffer> FakeEngineStream::CreateBuffer(void* buffer, size_t size, void* user_ptr,
                                                      bool auxiliary)
{
    if (auxiliary ? knobs.create_aux_fails : knobs.create_buffer_fails)
        return SharedPtr<GenTLBuffer>();
    return SharedPtr<GenTLBuffer>(new FakeBuffer(buffer, size, user_ptr, auxiliary, this));
}

GC_ERROR FakeEngineStream::PrepareStreaming()
{
    ++calls.prepare_streaming;
    return knobs.prepare_streaming_result;
}

bool FakeEngineStream::PrepareBuffer(GenTLBuffer& buffer)
{
    ++calls.prepare_buffer;
    return buffer.IsAuxiliary() ? knobs.prepare_aux_ok : knobs.prepare_buffer_ok;
}

bool FakeEngineStream::DeconfigureStreaming()
{
    ++calls.deconfigure;
    return knobs.deconfigure_ok;
}

GC_ERROR FakeEngineStream::StartStreaming()
{
    ++calls.start_streaming;
    return knobs.start_streaming_result;
}

bool FakeEngineStream::StopStreaming()
{
    ++calls.stop_streaming;
    return knobs.stop_streaming_ok;
}

bool FakeEngineStream::StartEngine()
{
    ++calls.start_engine;
    std::lock_guard<std::mutex> lock(engine_mutex);
    engine_stopped = false;
    fail_status = GenTLCore::WAITBUF_SUCCESS;
    engine_changed.notify_all();
    return knobs.start_engine_ok;
}

void FakeEngineStream::StopEngine()
{
    ++calls.stop_engine;
    std::lock_guard<std::mutex> lock(engine_mutex);
    engine_stopped = true;
    engine_changed.notify_all();
}

void FakeEngineStream::ScheduleBuffer(GenTLBuffer* buffer)
{
    ++calls.schedule;
    std::lock_guard<std::mutex> lock(engine_mutex);
    input_queue.push_back(buffer);
    engine_changed.notify_all();
}

int FakeEngineStream::WaitForFilledBuffer(GenTLBuffer*& buffer)
{
    std::unique_lock<std::mutex> lock(engine_mutex);
    core_waiting = true;
    engine_changed.notify_all();
    // The core engine thread ends only through a stop or a failure.
    engine_changed.wait(lock, [this] {
        return engine_stopped || fail_status != GenTLCore::WAITBUF_SUCCESS || !output_queue.empty();
    });
    core_waiting = false;
    if (engine_stopped) return GenTLCore::WAITBUF_STOPPED;
    if (fail_status != GenTLCore::WAITBUF_SUCCESS) return fail_status;
    buffer = output_queue.front();
    output_queue.pop_front();
    return GenTLCore::WAITBUF_SUCCESS;
}

void FakeEngineStream::ReleaseBuffers(std::vector<GenTLBuffer*>& buffers)
{
    std::lock_guard<std::mutex> lock(engine_mutex);
    buffers.insert(buffers.end(), input_queue.begin(), input_queue.end());
    buffers.insert(buffers.end(), output_queue.begin(), output_queue.end());
    input_queue.clear();
    output_queue.clear();
}

uint64_t FakeEngineStream::GetEngineBufferCount(uint32_t kind)
{
    return kind < 3 ? knobs.engine_counts[kind] : 0;
}

GC_ERROR FakeEngineStream::OpenEngine()
{
    ++calls.open_engine;
    return knobs.open_engine_result;
}

void FakeEngineStream::CloseEngine()
{
    ++calls.close_engine;
}

GenTLBuffer* FakeEngineStream::WaitForScheduled()
{
    std::unique_lock<std::mutex> lock(engine_mutex);
    engine_changed.wait(lock, [this] { return engine_stopped || !input_queue.empty(); });
    if (engine_stopped) return nullptr;
    GenTLBuffer* buffer = input_queue.front();
    input_queue.pop_front();
    return buffer;
}

void FakeEngineStream::Complete(GenTLBuffer& buffer, uint8_t value, size_t bytes)
{
    // The engine owns the buffer: nobody else touches its memory now.
    const size_t length = bytes == 0 ? buffer.GetSize() : std::min(bytes, buffer.GetSize());
    std::memset(buffer.GetContiguousBase(), value, length);
    buffer.SetFillResults(GenTLCore::GlobalFillResults{length, length, true, false});
    std::lock_guard<std::mutex> lock(engine_mutex);
    output_queue.push_back(&buffer);
    engine_changed.notify_all();
}

bool FakeEngineStream::FillNext(uint8_t value, size_t bytes)
{
    GenTLBuffer* buffer = nullptr;
    {
        std::lock_guard<std::mutex> lock(engine_mutex);
        if (input_queue.empty()) return false;
        buffer = input_queue.front();
        input_queue.pop_front();
    }
    Complete(*buffer, value, bytes);
    return true;
}

void FakeEngineStream::FailWith(int status)
{
    std::lock_guard<std::mutex> lock(engine_mutex);
    fail_status = status;
    engine_changed.notify_all();
}

size_t FakeEngineStream::HeldCount()
{
    std::lock_guard<std::mutex> lock(engine_mutex);
    return input_queue.size() + output_queue.size();
}

std::vector<GenTLBuffer*> FakeEngineStream::ScheduledBuffers()
{
    std::lock_guard<std::mutex> lock(engine_mutex);
    return std::vector<GenTLBuffer*>(input_queue.begin(), input_queue.end());
}

bool FakeEngineStream::WaitUntilIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(engine_mutex);
    return engine_changed.wait_for(lock, timeout,
                                   [this] { return output_queue.empty() && core_waiting; });
}

// ---- ThreadedEngineStream ----

ThreadedEngineStream::~ThreadedEngineStream()
{
    if (filler.joinable()) filler.join();
}

bool ThreadedEngineStream::StartEngine()
{
    const bool started = FakeEngineStream::StartEngine();
    if (started && !filler.joinable()) filler = std::thread(&ThreadedEngineStream::FillLoop, this);
    return started;
}

void ThreadedEngineStream::StopEngine()
{
    FakeEngineStream::StopEngine();
    if (filler.joinable()) filler.join();
}

void ThreadedEngineStream::FillLoop()
{
    while (GenTLBuffer* buffer = WaitForScheduled()) {
        Complete(*buffer, static_cast<uint8_t>(fills.load()), 0);
        ++fills;
    }
}

}  // namespace AcquisitionTest
