// StreamHarness.h: drives a data stream the way the service front and the
// handle pool do: completes and opens it, opens announced buffers, closes
// revoked ones, closes children before the stream.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "AcquisitionTestHelpers.h"
#include "FakeEngineStream.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/Logger.h"
#include "support/AssertionCounter.h"

namespace AcquisitionTest {

using Handles = std::vector<BUFFER_HANDLE>;
using GenTLCore::GenTLBuffer;
using GenTLCore::SharedPtr;

// Owns the stream and, like the handle pool, one reference to every
// announced buffer. Announce, Revoke and Close run on the test's main
// thread; the stream's own operations may be called from any thread.
class StreamHarness {
public:
    explicit StreamHarness(FakeEngineStream* created = new FakeEngineStream) : stream(created)
    {
        stream->CompleteConstruction();
        EXPECT_EQ(stream->Open(), GC_ERR_SUCCESS);
    }
    ~StreamHarness() { Close(); }
    StreamHarness(const StreamHarness&) = delete;
    StreamHarness& operator=(const StreamHarness&) = delete;

    FakeEngineStream* operator->() { return stream.Get(); }

    // A buffer over `size` bytes of new consumer memory, or over `memory`
    // the caller keeps, with the memory as user pointer; null when the
    // stream refused with `*result`.
    BUFFER_HANDLE Announce(size_t size, uint8_t* memory = nullptr, GC_ERROR* result = nullptr)
    {
        if (memory == nullptr) memory = memories.emplace_back(new uint8_t[size]()).get();
        SharedPtr<GenTLBuffer> buffer;
        const GC_ERROR announced = stream->AnnounceBufferChecked(memory, size, memory, buffer);
        if (result != nullptr) *result = announced;
        return announced == GC_ERR_SUCCESS ? Register(buffer) : nullptr;
    }
    // Opens a buffer the stream announced, as the handle pool does.
    BUFFER_HANDLE Register(const SharedPtr<GenTLBuffer>& buffer)
    {
        buffer->Open();
        return (registered[buffer->GetHandle()] = buffer)->GetHandle();
    }
    Handles AnnounceMany(size_t count, size_t size, bool queue = false)
    {
        Handles handles;
        while (handles.size() < count)
            if (handles.push_back(Announce(size)); queue) stream->QueueBuffer(handles.back());
        return handles;
    }
    const SharedPtr<GenTLBuffer>& Buffer(BUFFER_HANDLE handle) { return registered.at(handle); }

    // As GCRegisterEvent: the waiting consumer is aborted at the close.
    void RegisterNewBufferEvent()
    {
        stream->GetNewBufferEvent()->Open();
        event_registered = true;
    }
    // EventGetData's buffer; null when it failed.
    BUFFER_HANDLE GetEvent(uint64_t timeout_ms)
    {
        GenTLCore::NewBufferEventData data{};
        size_t size = sizeof data;
        const GC_ERROR result = stream->GetNewBufferEvent()->GetEventData(&data, &size, timeout_ms);
        return result == GC_ERR_SUCCESS ? data.BufferHandle : nullptr;
    }
    // What waits in the new-buffer event, taken out in order.
    Handles TakeAll()
    {
        Handles taken;
        for (BUFFER_HANDLE buffer = GetEvent(0); buffer != nullptr; buffer = GetEvent(0))
            taken.push_back(buffer);
        return taken;
    }

    // A stream info answer of at most 8 bytes; 0 on a refusal.
    int64_t Info(STREAM_INFO_CMD command)
    {
        return Ask<int64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
                   return stream->GetStreamInfo(command, t, b, s);
               })
            .value;
    }
    // Every announced buffer sits in exactly one place: the engine, the
    // input pool, the new-buffer event, or the consumer's hands.
    void ExpectEveryBufferInOnePlace(size_t consumer_held)
    {
        size_t queued = 0;
        for (auto& entry : registered) queued += entry.second->IsQueued();
        EXPECT_EQ(Info(STREAM_INFO_NUM_ANNOUNCED), registered.size());
        EXPECT_EQ(stream->HeldCount() + Info(STREAM_INFO_NUM_QUEUED) +
                      Info(STREAM_INFO_NUM_AWAIT_DELIVERY),
                  queued);
        EXPECT_EQ(registered.size() - queued, consumer_held);
    }

    // Closes and opens the stream again, as DSClose and DevOpenDataStream.
    GC_ERROR Reopen()
    {
        Close();
        closed = false;
        return stream->Open();
    }
    // As DSClose: children first, then the stream.
    void Close()
    {
        if (std::exchange(closed, true)) return;
        if (std::exchange(event_registered, false)) stream->GetNewBufferEvent()->Close();
        for (auto& entry : registered) entry.second->Close();
        registered.clear();
        stream->Close();
    }

private:
    // Outlives the stream's buffers.
    std::vector<std::unique_ptr<uint8_t[]>> memories;
    SharedPtr<FakeEngineStream> stream;
    std::map<BUFFER_HANDLE, SharedPtr<GenTLBuffer>> registered;
    bool event_registered = false;
    bool closed = false;
};

constexpr uint64_t MODE_ADDRESS = 0x10000008, AUX_COUNT_ADDRESS = 0x20000010;

// One open stream with the deterministic engine, a fresh branding and a
// count of failed assertions (none expected unless a test says so); the log
// level a test sets is reset.
class StreamFixture : public ::testing::Test {
protected:
    void TearDown() override
    {
        harness.reset();
        GenTLCore::SetLogLevelForTest(0);
        EXPECT_EQ(asserts.Failures(), expected_asserts);
    }
    // A fresh branding and stream, as the next row of a table needs.
    void Renew()
    {
        harness.reset();
        branding = &InstallAcquisitionBranding();
        harness = std::make_unique<StreamHarness>();
    }

    FakeEngineStream& Stream() { return *harness->operator->(); }
    // A 32-bit register through the port; a failed read answers -1.
    // clang-format off
    int64_t ReadRegister(uint64_t address) { uint32_t value = 0; size_t size = sizeof value; return Stream().ReadPort(address, &value, &size) == GC_ERR_SUCCESS ? value : -1; }
    GC_ERROR WriteRegister(uint64_t address, uint32_t value) { size_t size = sizeof value; return Stream().WritePort(address, &value, &size); }
    // clang-format on
    // The input pool, the buffers waiting in the event, those the engine
    // holds, and the blocks lost since the open.
    Values Pools()
    {
        return {
            harness->Info(STREAM_INFO_NUM_QUEUED), harness->Info(STREAM_INFO_NUM_AWAIT_DELIVERY),
            static_cast<int64_t>(Stream().HeldCount()), harness->Info(STREAM_INFO_NUM_UNDERRUN)};
    }
    bool IsGrabbing() { return (harness->Info(STREAM_INFO_IS_GRABBING) & 0xFF) != 0; }
    GC_ERROR Start(uint64_t count = GENTL_INFINITE) { return Stream().StartAcquisition(0, count); }
    GC_ERROR Stop(ACQ_STOP_FLAGS flags = 0) { return Stream().StopAcquisition(flags); }
    // The engine fills its next buffer and the core engine thread is done with it.
    bool Fill(uint8_t value) { return Stream().FillNext(value) && Stream().WaitUntilIdle(); }

    AcquisitionBranding* branding = &InstallAcquisitionBranding();
    TestSupport::AssertionCounter asserts;
    int expected_asserts = 0;
    std::unique_ptr<StreamHarness> harness = std::make_unique<StreamHarness>();
};

}  // namespace AcquisitionTest
