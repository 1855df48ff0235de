// StreamHarness.h: drives a data stream the way the service front and the
// handle pool do: completes and opens it, opens announced buffers, closes
// revoked ones, closes children before the stream.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "AcquisitionTestHelpers.h"
#include "FakeEngineStream.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/Logger.h"
#include "gentl_core/SmartPointers.h"
#include "support/AssertionCounter.h"

namespace AcquisitionTest {

// What EventGetData returned.
struct EventDatum {
    GC_ERROR result = GC_ERR_ERROR;
    BUFFER_HANDLE buffer = nullptr;
    void* user_ptr = nullptr;
};

// Owns the stream and, like the handle pool, one reference to every
// announced buffer. Announce, Revoke and Close run on the test's main
// thread; the stream's own operations may be called from any thread.
template <class Stream>
class StreamHarness {
public:
    StreamHarness() : stream(new Stream)
    {
        stream->CompleteConstruction();
        opened = stream->Open();
    }
    ~StreamHarness() { Close(); }
    StreamHarness(const StreamHarness&) = delete;
    StreamHarness& operator=(const StreamHarness&) = delete;

    Stream* operator->() { return stream.Get(); }
    Stream& Get() { return *stream; }
    GC_ERROR OpenResult() const { return opened; }

    // A buffer over `size` bytes of new consumer memory with user pointer
    // `user_ptr`; null when the stream refused.
    BUFFER_HANDLE Announce(size_t size, void* user_ptr = nullptr)
    {
        memories.push_back(std::make_unique<std::vector<uint8_t>>(size, 0));
        return AnnounceAt(memories.back()->data(), size, user_ptr);
    }
    // The same over memory the caller keeps; `result` receives the stream's.
    BUFFER_HANDLE AnnounceAt(void* memory, size_t size, void* user_ptr = nullptr,
                             GC_ERROR* result = nullptr)
    {
        GenTLCore::SharedPtr<GenTLCore::GenTLBuffer> buffer;
        const GC_ERROR announced = stream->AnnounceBufferChecked(memory, size, user_ptr, buffer);
        if (result != nullptr) *result = announced;
        return announced == GC_ERR_SUCCESS ? Register(buffer) : nullptr;
    }
    // Opens a buffer the stream announced, as the handle pool does.
    BUFFER_HANDLE Register(const GenTLCore::SharedPtr<GenTLCore::GenTLBuffer>& buffer)
    {
        buffer->Open();
        registered[buffer->GetHandle()] = buffer;
        return buffer->GetHandle();
    }
    std::vector<BUFFER_HANDLE> AnnounceMany(size_t count, size_t size)
    {
        std::vector<BUFFER_HANDLE> handles;
        for (size_t i = 0; i < count; ++i)
            handles.push_back(Announce(size, reinterpret_cast<void*>(0x1000 + i)));
        return handles;
    }
    GenTLCore::SharedPtr<GenTLCore::GenTLBuffer> Buffer(BUFFER_HANDLE handle)
    {
        const auto found = registered.find(handle);
        return found == registered.end() ? GenTLCore::SharedPtr<GenTLCore::GenTLBuffer>()
                                         : found->second;
    }
    // The consumer memory under a handle announced here.
    const uint8_t* Memory(BUFFER_HANDLE handle)
    {
        return static_cast<const uint8_t*>(Buffer(handle)->GetContiguousBase());
    }

    GC_ERROR Revoke(BUFFER_HANDLE handle, void** buffer_ptr = nullptr, void** user_ptr = nullptr)
    {
        const GC_ERROR result = stream->RevokeBuffer(Buffer(handle), buffer_ptr, user_ptr);
        if (result == GC_ERR_SUCCESS) {
            registered[handle]->Close();
            registered.erase(handle);
        }
        return result;
    }

    void QueueAll(const std::vector<BUFFER_HANDLE>& handles)
    {
        for (BUFFER_HANDLE handle : handles) stream->QueueBuffer(handle);
    }

    // As GCRegisterEvent: the waiting consumer is aborted at the close.
    void RegisterNewBufferEvent()
    {
        stream->GetNewBufferEvent()->Open();
        event_registered = true;
    }
    EventDatum GetEvent(uint64_t timeout_ms)
    {
        GenTLCore::NewBufferEventData data{};
        size_t size = sizeof data;
        EventDatum datum;
        datum.result = stream->GetNewBufferEvent()->GetEventData(&data, &size, timeout_ms);
        datum.buffer = data.BufferHandle;
        datum.user_ptr = data.pUserPointer;
        return datum;
    }

    uint64_t InfoUInt64(STREAM_INFO_CMD command)
    {
        uint64_t value = 0;
        size_t size = sizeof value;
        INFO_DATATYPE type = 0;
        EXPECT_EQ(stream->GetStreamInfo(command, &type, &value, &size), GC_ERR_SUCCESS);
        return value;
    }
    bool IsGrabbing()
    {
        bool8_t value = 0;
        size_t size = sizeof value;
        INFO_DATATYPE type = 0;
        EXPECT_EQ(stream->GetStreamInfo(STREAM_INFO_IS_GRABBING, &type, &value, &size),
                  GC_ERR_SUCCESS);
        return value != 0;
    }
    bool IsQueued(BUFFER_HANDLE handle)
    {
        bool8_t value = 0;
        size_t size = sizeof value;
        INFO_DATATYPE type = 0;
        stream->GetBufferInfo(handle, BUFFER_INFO_IS_QUEUED, &type, &value, &size);
        return value != 0;
    }

    // Closes and opens the stream again, as DSClose and DevOpenDataStream.
    GC_ERROR Reopen()
    {
        Close();
        closed = false;
        event_registered = false;
        return stream->Open();
    }

    // As DSClose: children first, then the stream.
    void Close()
    {
        if (closed) return;
        closed = true;
        if (event_registered) stream->GetNewBufferEvent()->Close();
        for (auto& [handle, buffer] : registered) buffer->Close();
        registered.clear();
        stream->Close();
    }

private:
    // Outlives the stream's buffers.
    std::vector<std::unique_ptr<std::vector<uint8_t>>> memories;
    GenTLCore::SharedPtr<Stream> stream;
    GC_ERROR opened = GC_ERR_ERROR;
    std::map<BUFFER_HANDLE, GenTLCore::SharedPtr<GenTLCore::GenTLBuffer>> registered;
    bool event_registered = false;
    bool closed = false;
};

constexpr uint64_t MODE_ADDRESS = 0x10000008;
constexpr uint64_t AUX_COUNT_ADDRESS = 0x20000010;
constexpr uint64_t ACQUISITION_ACTIVE_ADDRESS = 0x1000000C;

// A fixture over one open stream with the fake engine, a fresh branding and
// a count of failed assertions (none expected unless a test says so).
class StreamFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        branding = &InstallAcquisitionBranding();
        harness = std::make_unique<StreamHarness<FakeEngineStream>>();
        ASSERT_EQ(harness->OpenResult(), GC_ERR_SUCCESS);
    }
    void TearDown() override
    {
        harness.reset();
        GenTLCore::SetLogLevelForTest(0);
        EXPECT_EQ(asserts.Failures(), expected_asserts);
    }

    FakeEngineStream& Stream() { return harness->Get(); }

    uint32_t ReadRegister(uint64_t address)
    {
        uint32_t value = 0xDEADBEEF;
        size_t size = sizeof value;
        EXPECT_EQ(Stream().ReadPort(address, &value, &size), GC_ERR_SUCCESS);
        return value;
    }
    GC_ERROR WriteRegister(uint64_t address, uint32_t value)
    {
        size_t size = sizeof value;
        return Stream().WritePort(address, &value, &size);
    }

    AcquisitionBranding* branding = nullptr;
    TestSupport::AssertionCounter asserts;
    int expected_asserts = 0;
    std::unique_ptr<StreamHarness<FakeEngineStream>> harness;
};

}  // namespace AcquisitionTest
