// BufferTestHelpers.h: buffers outside a data stream, opened as the handle
// pool would, and driven through their states by hand.
#pragma once

#include <cstdint>
#include <vector>

#include "FakeBuffer.h"
#include "gentl_core/SmartPointers.h"

namespace AcquisitionTest {

inline void* const USER_PTR = reinterpret_cast<void*>(0x5EED);

// A contiguous buffer over memory of exactly `size` bytes (so a sanitizer
// sees any access past it), completed and open until the holder goes.
struct OpenBuffer {
    explicit OpenBuffer(size_t size)
        : memory(size, 0xEE), buffer(new FakeBuffer(memory.data(), size, USER_PTR, false, nullptr))
    {
        buffer->CompleteConstruction();
        buffer->Open();
    }
    ~OpenBuffer() { buffer->Close(); }
    OpenBuffer(const OpenBuffer&) = delete;
    OpenBuffer& operator=(const OpenBuffer&) = delete;

    std::vector<uint8_t> memory;
    GenTLCore::SharedPtr<FakeBuffer> buffer;
};

// A composite buffer over segments of the given sizes.
struct OpenCompositeBuffer {
    explicit OpenCompositeBuffer(const std::vector<size_t>& sizes)
    {
        std::vector<GenTLCore::MemorySegment> segments;
        for (size_t size : sizes) memories.emplace_back(size, 0xEE);
        for (std::vector<uint8_t>& memory : memories)
            segments.push_back(GenTLCore::MemorySegment{memory.data(), memory.size()});
        buffer.Reset(new FakeBuffer(segments, USER_PTR, nullptr));
        buffer->CompleteConstruction();
        buffer->Open();
    }
    ~OpenCompositeBuffer() { buffer->Close(); }
    OpenCompositeBuffer(const OpenCompositeBuffer&) = delete;
    OpenCompositeBuffer& operator=(const OpenCompositeBuffer&) = delete;

    std::vector<std::vector<uint8_t>> memories;
    GenTLCore::SharedPtr<FakeBuffer> buffer;
};

// Queued, filled by the engine, delivered to the consumer.
inline void Deliver(GenTLCore::GenTLBuffer& buffer, const GenTLCore::GlobalFillResults& global,
                    const std::vector<GenTLCore::SegmentFillResult>& segments = {})
{
    buffer.SetQueued(true);
    buffer.SetScheduled(true);
    buffer.SetFillResults(global, segments);
    buffer.SetScheduled(false);
    buffer.SetQueued(false);
}

inline GenTLCore::GlobalFillResults CompleteFill(uint64_t bytes)
{
    return GenTLCore::GlobalFillResults{bytes, bytes, true, false};
}

}  // namespace AcquisitionTest
