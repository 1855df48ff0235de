// FakeEngineStream.cpp: the fake engines behind the data stream tests.
#include "FakeEngineStream.h"

#include <chrono>
#include <cstring>

#include "FakeBuffer.h"

namespace AcquisitionTest {

using GenTLCore::GenTLBuffer;
using GenTLCore::SharedPtr;
using Lock = std::lock_guard<std::mutex>;

SharedPtr<GenTLBuffer> FakeEngineStream::CreateCompositeBuffer(
    const std::vector<GenTLCore::MemorySegment>& segments, void* user_ptr, bool)
{
    return SharedPtr<GenTLBuffer>(
        knobs.create_buffer_fails ? nullptr : new FakeBuffer(segments, user_ptr, this));
}

SharedPtr<GenTLBuffer> FakeEngineStream::CreateBuffer(void* buffer, size_t size, void* user_ptr,
                                                      bool auxiliary)
{
    const bool fails = auxiliary ? knobs.create_aux_fails : knobs.create_buffer_fails;
    return SharedPtr<GenTLBuffer>(fails ? nullptr
                                        : new FakeBuffer(buffer, size, user_ptr, auxiliary, this));
}

bool FakeEngineStream::StartEngine()
{
    Lock lock(engine_mutex);
    engine_stopped = false;
    fail_status = GenTLCore::WAITBUF_SUCCESS;
    return knobs.start_engine_ok;
}

void FakeEngineStream::StopEngine()
{
    ++calls.stop_engine;
    Lock lock(engine_mutex);
    engine_stopped = true;
    engine_changed.notify_all();
}

void FakeEngineStream::ScheduleBuffer(GenTLBuffer* buffer)
{
    Lock lock(engine_mutex);
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
        return engine_stopped || fail_status != GenTLCore::WAITBUF_SUCCESS ||
               !output_queue.empty() || (fills_on_demand && !input_queue.empty());
    });
    core_waiting = false;
    if (engine_stopped) return GenTLCore::WAITBUF_STOPPED;
    if (fail_status != GenTLCore::WAITBUF_SUCCESS) return fail_status;
    const bool fill_now = output_queue.empty();
    std::deque<GenTLBuffer*>& source = fill_now ? input_queue : output_queue;
    buffer = source.front();
    source.pop_front();
    if (fill_now) FillLocked(*buffer, fills);
    return GenTLCore::WAITBUF_SUCCESS;
}

void FakeEngineStream::ReleaseBuffers(std::vector<GenTLBuffer*>& buffers)
{
    Lock lock(engine_mutex);
    buffers.insert(buffers.end(), input_queue.begin(), input_queue.end());
    buffers.insert(buffers.end(), output_queue.begin(), output_queue.end());
    input_queue.clear();
    output_queue.clear();
}

void FakeEngineStream::FillLocked(GenTLBuffer& buffer, uint8_t value)
{
    // The engine owns the buffer: nobody else touches its memory now.
    std::memset(buffer.GetContiguousBase(), value, buffer.GetSize());
    buffer.SetFillResults(
        GenTLCore::GlobalFillResults{buffer.GetSize(), buffer.GetSize(), true, false});
    ++fills;
}

bool FakeEngineStream::FillNext(uint8_t value)
{
    Lock lock(engine_mutex);
    if (input_queue.empty()) return false;
    GenTLBuffer* buffer = input_queue.front();
    input_queue.pop_front();
    FillLocked(*buffer, value);
    output_queue.push_back(buffer);
    engine_changed.notify_all();
    return true;
}

bool FakeEngineStream::WaitUntilIdle()
{
    std::unique_lock<std::mutex> lock(engine_mutex);
    return engine_changed.wait_for(lock, std::chrono::seconds(2),
                                   [this] { return output_queue.empty() && core_waiting; });
}

}  // namespace AcquisitionTest
