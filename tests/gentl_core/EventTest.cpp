// EventTest.cpp: EventGetData's waits, kills, flushes and counters, the bytes
// each kind of event delivers and reads back, the new-buffer event's queue,
// and the lines events log.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "EventTestHelpers.h"
#include "LogCapture.h"
#include "gentl_core/Logger.h"
#include "support/AssertionCounter.h"
#include "support/WaitUntil.h"

namespace GenTLCore {
namespace {

using namespace std::chrono_literals;
using namespace EventTestHelpers;
using TestSupport::WaitUntil;

constexpr size_t MAX_DATA = 8;

// EventGetData on a thread of its own, as a consumer calls it; checks that it
// stays blocked until `release` runs, then waits (bounded) for its answer.
Taken Released(GenTLEvent& event, uint64_t timeout_ms, const std::function<void()>& release)
{
    auto consumer = std::async(std::launch::async, [&event, timeout_ms] {
        Taken taken = TakeDatum(event, timeout_ms);
        taken.error_text = LastErrorText();
        return taken;
    });
    EXPECT_EQ(std::future_status::timeout, consumer.wait_for(200ms));
    release();
    if (consumer.wait_for(5s) != std::future_status::ready) {
        ADD_FAILURE() << "EventGetData did not return";
        event.KillEvent();
    }
    return consumer.get();
}

class EventTest : public ::testing::Test {
protected:
    void Add(std::initializer_list<uint32_t> ids)
    {
        for (uint32_t id : ids) ASSERT_TRUE(event->AddEvent(id, nullptr, 0));
    }
    static uint64_t Info(GenTLEvent& of, EVENT_INFO_CMD command, INFO_DATATYPE expected_type)
    {
        uint64_t value = 0;
        INFO_DATATYPE type = -1;
        size_t size = sizeof value;
        EXPECT_EQ(GC_ERR_SUCCESS, of.GetEventInfo(command, &type, &value, &size));
        EXPECT_EQ(expected_type, type);
        return value;
    }

    Registered<GenTLModuleEvent> event{MAX_DATA};
};

TEST_F(EventTest, WaitsForADatumTheFullTimeoutAndEndsOnKillOrUnregister)
{
    EXPECT_EQ(GC_ERR_TIMEOUT, TakeDatum(*event, 0).result);
    EXPECT_EQ("GetEventData: wait operation timed out", LastErrorText());
    // 1001 ms as seconds came back as 1000 ms once.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GC_ERR_TIMEOUT, TakeDatum(*event, 1001).result);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1001ms);
    const auto add = [this] { event->AddEvent(0xDDDDDD01, nullptr, 0); };
    EXPECT_EQ(PacketWithID(0xDDDDDD01), Released(*event, GENTL_INFINITE - 1, add).bytes);
    const Taken killed = Released(*event, GENTL_INFINITE, [this] { event->KillEvent(); });
    EXPECT_EQ("GetEventData: wait operation aborted", killed.error_text);
    EXPECT_EQ(GC_ERR_ABORT, Released(*event, 60000, [this] { event->Close(); }).result);
    EXPECT_FALSE(event->AddEvent(2, nullptr, 0));
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    // Each kill without a waiter aborts one later call; one pending at unregistration is forgotten.
    Add({1});
    event->KillEvent();
    event->KillEvent();
    EXPECT_EQ(GC_ERR_ABORT, TakeDatum(*event, 0).result);
    EXPECT_EQ("GetEventData: event was in aborted state", LastErrorText());
    EXPECT_EQ(GC_ERR_ABORT, TakeDatum(*event, 0).result);
    EXPECT_EQ(PacketWithID(1), TakeDatum(*event, 0).bytes);
    event->KillEvent();
    event->Close();
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    EXPECT_EQ(GC_ERR_TIMEOUT, TakeDatum(*event, 0).result);
}

TEST_F(EventTest, CountsQueuedFiredAndDeliveredDataAndKeepsADatumTheBufferCannotHold)
{
    Add({1});
    event->Close();
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());  // the fired count starts again
    Add({1, 2, 3, 4});
    EXPECT_EQ(GC_ERR_SUCCESS, event->GetEventData(nullptr, nullptr, 0));  // discards the oldest
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, TakeDatum(*event, 0, 7).result);
    EXPECT_EQ("EventGetData: the buffer is too small to hold the data.", LastErrorText());
    EXPECT_EQ(PacketWithID(2), TakeDatum(*event, 0).bytes);
    Bytes buffer(8);
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, event->GetEventData(buffer.data(), nullptr, 0));
    EXPECT_EQ("GetEventData: invalid buffer size pointer.", LastErrorText());
    EXPECT_EQ(2u, Info(*event, EVENT_NUM_IN_QUEUE, INFO_DATATYPE_SIZET));
    EXPECT_EQ(4u, Info(*event, EVENT_NUM_FIRED, INFO_DATATYPE_UINT64));
    EXPECT_EQ(1u, event->GetNumDelivered());
    EXPECT_EQ(GC_ERR_SUCCESS, event->FlushEvent());
    EXPECT_EQ(0u, event->GetNumInQueue());
    EXPECT_EQ(uint64_t{EVENT_MODULE}, Info(*event, EVENT_EVENT_TYPE, INFO_DATATYPE_INT32));
    EXPECT_EQ(MAX_DATA + 8, Info(*event, EVENT_SIZE_MAX, INFO_DATATYPE_SIZET));
    EXPECT_EQ(MAX_DATA + 4, Info(*event, EVENT_INFO_DATA_SIZE_MAX, INFO_DATATYPE_SIZET));
    size_t size = 8;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED,
              event->GetEventInfo(EVENT_INFO_CUSTOM_ID, nullptr, buffer.data(), &size));
    EXPECT_EQ("GetEventInfo: unknown event info command requested", LastErrorText());
}

// Module events: "ykiv", the 32-bit ID little-endian, then at most MAX_DATA
// bytes; data info reads the ID as eight hex digits and the value as ID and data.
TEST_F(EventTest, ModuleEventPacketsCarryMagicIDAndDataAndReadBack)
{
    const Bytes data = {0xAA, 0xBB, 0xCC, 4, 5, 6, 7, 8, 9};
    ASSERT_TRUE(event->AddEvent(0x11223344, data.data(), 3));
    EXPECT_EQ(PacketWithID(0x11223344, {0xAA, 0xBB, 0xCC}), TakeDatum(*event, 0).bytes);
    ASSERT_TRUE(event->AddEvent(1, data.data(), MAX_DATA));
    EXPECT_FALSE(event->AddEvent(1, data.data(), MAX_DATA + 1));
    EXPECT_FALSE(event->AddEvent(1, nullptr, 2));
    EXPECT_EQ(2u, event->GetNumFired());
    const std::string invalid = "GetEventDataInfo: invalid event buffer passed";
    // clang-format off
    const struct { Bytes datum; EVENT_DATA_INFO_CMD command; INFO_DATATYPE type; Bytes bytes;  /* the answer, or the error text */ } rows[] = {
        {PacketWithID(0xDDDDDD01), EVENT_DATA_ID, INFO_DATATYPE_STRING, TextBytes("dddddd01")},
        {PacketWithID(0x11111101, {0xAB, 0xCD}), EVENT_DATA_VALUE, INFO_DATATYPE_BUFFER, {1, 0x11, 0x11, 0x11, 0xAB, 0xCD}},
        {PacketWithID(0x11111101, Bytes(MAX_DATA)), EVENT_DATA_NUMID, INFO_DATATYPE_UINT64, ValueBytes<uint64_t>(0x11111101)},
        {PacketWithID(1, Bytes(MAX_DATA + 1)), EVENT_DATA_NUMID, -1, TextBytes(invalid)},
        {{0x79, 0x6B, 0x69, 0x76, 1, 0, 0}, EVENT_DATA_NUMID, -1, TextBytes(invalid)},
        {{0x79, 0x6B, 0x69, 0x77, 1, 0, 0, 0}, EVENT_DATA_NUMID, -1, TextBytes(invalid)},
        {PacketWithID(1), 3, -1, TextBytes("GetEventDataInfo: unknown event data info command requested")},
        {{}, EVENT_DATA_ID, -1, TextBytes("GetEventDataInfo: null event buffer passed")},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        const Taken info = DataInfo(*event, row.datum, row.command);
        EXPECT_EQ(row.type, info.type);
        EXPECT_EQ(row.bytes,
                  info.result == GC_ERR_SUCCESS ? info.bytes : TextBytes(LastErrorText()));
    }
}

// Error events: a message delivered with its NUL, always reporting -1001.
TEST(ErrorEventTest, DeliversTheMessageWithItsNulCutToTheMaximumEventSize)
{
    Registered<GenTLErrorEvent> event;
    ASSERT_TRUE(event->AddEvent(std::string(5000, 'x')));
    EXPECT_EQ(TextBytes(std::string(1023, 'x')), TakeDatum(*event, 0, 1024).bytes);
    const Taken id = DataInfo(*event, TextBytes("anything"), EVENT_DATA_ID);
    const Taken numeric = DataInfo(*event, TextBytes("anything"), EVENT_DATA_NUMID);
    const Taken value = DataInfo(*event, {'d', 'i', 's', 'k', 0, 'z'}, EVENT_DATA_VALUE);
    EXPECT_EQ((std::vector<Bytes>{ValueBytes<int32_t>(-1001),
                                  ValueBytes<uint64_t>(0xFFFFFFFFFFFFFC17), TextBytes("disk")}),
              (std::vector<Bytes>{id.bytes, numeric.bytes, value.bytes}));
    for (const Bytes& datum : {Bytes{'a', 'b'}, TextBytes(std::string(1024, 'y'))}) {
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, DataInfo(*event, datum, EVENT_DATA_VALUE).result);
        EXPECT_EQ("GetEventDataInfo: corrupted event buffer passed", LastErrorText());
    }
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, DataInfo(*event, {}, EVENT_DATA_ID).result);
    size_t size = 4;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
              event->GetEventDataInfo(&size, 0, EVENT_DATA_ID, nullptr, &size, &size));
}

// The virtual remote-device event: module-event packets with ID 0xF001.
TEST_F(EventTest, VirtualRemoteDeviceEventMakesQueuesAndReadsPacketsWithIDF001)
{
    Registered<GenTLVirtualRemoteDeviceEvent> device{MAX_DATA};
    EXPECT_TRUE(GenTLVirtualRemoteDeviceEvent::MakeEventPacket(nullptr, 3).empty());
    const uint8_t data[2] = {0x01, 0x02};
    const Bytes packet = GenTLVirtualRemoteDeviceEvent::MakeEventPacket(data, sizeof data);
    EXPECT_EQ(PacketWithID(0xF001, {1, 2}), packet);
    ASSERT_TRUE(device->AddEventPacket(packet.data(), packet.size()));
    EXPECT_EQ(packet, TakeDatum(*device, 0).bytes);
    EXPECT_EQ(TextBytes("f001"), DataInfo(*device, packet, EVENT_DATA_ID).bytes);
    EXPECT_EQ(ValueBytes<uint64_t>(61441), DataInfo(*device, packet, EVENT_DATA_NUMID).bytes);
    EXPECT_EQ((Bytes{0x01, 0xF0, 0x00, 0x00, 0x01, 0x02}),
              DataInfo(*device, packet, EVENT_DATA_VALUE).bytes);
    // IDs from 0x10000 on and more data than the maximum are rejected.
    for (const Bytes& rejected : {PacketWithID(0x10000), PacketWithID(0xF001, Bytes(MAX_DATA + 1))})
        EXPECT_FALSE(device->AddEventPacket(rejected.data(), rejected.size()));
    EXPECT_EQ(MAX_DATA + 8, Info(*device, EVENT_SIZE_MAX, INFO_DATATYPE_SIZET));
}

// A device format whose packets carry several events: pairs of bytes, a pair
// starting with 0xFF being no valid event.
class PairedDeviceEvent : public GenTLRemoteDeviceEvent {
protected:
    size_t GetMaxEventSize() const override { return 2; }
    size_t GetMaxInfoDataSize() const override { return 1; }
    bool VerifyEventPacket(const void* packet, size_t size, bool single) override
    {
        if (packet == nullptr || size == 0 || size % 2 != 0) return false;
        return !single || (size == 2 && *static_cast<const uint8_t*>(packet) != 0xFF);
    }
    bool SplitEventPacket(const void* packet, size_t size, std::vector<EventPacket>& out) override
    {
        const auto* bytes = static_cast<const uint8_t*>(packet);
        for (size_t at = 0; size > 2 && at < size; at += 2)
            out.push_back({bytes[at], bytes[at + 1]});
        return size > 2;
    }
    uint16_t GetEventIDFromPacket(const void* packet, size_t) override
    {
        return *static_cast<const uint8_t*>(packet);
    }
    EventValueLocation GetEventValueLocation(const void*, size_t) override { return {1, 1}; }
};

TEST(RemoteDeviceEventTest, QueuesEachEventOfAPacketUpToTheFirstInvalidOne)
{
    Registered<PairedDeviceEvent> event;
    const Bytes packet = {0x01, 0xA0, 0x02, 0xB0, 0x03, 0xC0};
    ASSERT_TRUE(event->AddEventPacket(packet.data(), packet.size()));
    const Bytes invalid_second = {0x01, 0xA0, 0xFF, 0xB0, 0x03, 0xC0};
    EXPECT_FALSE(event->AddEventPacket(invalid_second.data(), invalid_second.size()));
    EXPECT_FALSE(event->AddEventPacket(packet.data(), 3));
    for (const Bytes& expected : {Bytes{1, 0xA0}, Bytes{2, 0xB0}, Bytes{3, 0xC0}, Bytes{1, 0xA0}})
        EXPECT_EQ(expected, TakeDatum(*event, 0).bytes);
    EXPECT_EQ(0u, event->GetNumInQueue());
    EXPECT_EQ(TextBytes("002a"), DataInfo(*event, {0x2A, 0x99}, EVENT_DATA_ID).bytes);
    EXPECT_EQ(Bytes{0x99}, DataInfo(*event, {0x2A, 0x99}, EVENT_DATA_VALUE).bytes);
    EXPECT_EQ(ValueBytes<uint64_t>(0x2A), DataInfo(*event, {0x2A, 0x99}, EVENT_DATA_NUMID).bytes);
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, DataInfo(*event, {1, 2, 3, 4}, EVENT_DATA_ID).result);
}

// Consumer buffers are numbered below AUX; auxiliary ones from AUX on.
constexpr uintptr_t AUX = 0x1000;
BUFFER_HANDLE B(uintptr_t number)
{
    return reinterpret_cast<BUFFER_HANDLE>(number);
}

// Stands in for the data stream: records what the new-buffer event does to
// its buffers. Any thread.
class FakeBufferOwner : public GenTLNewBufferEvent::BufferOwner {
public:
    bool SetQueued(BUFFER_HANDLE buffer, bool new_status) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return !new_status && reinterpret_cast<uintptr_t>(buffer) < AUX && ++released[buffer];
    }
    bool TakeOverData(BUFFER_HANDLE buffer, BUFFER_HANDLE aux_buffer) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        taken_over.emplace_back(buffer, aux_buffer);
        return reinterpret_cast<uintptr_t>(buffer) < AUX;
    }

    std::mutex mutex;
    std::map<BUFFER_HANDLE, int> released;  // how often each went back to the consumer
    std::vector<std::pair<BUFFER_HANDLE, BUFFER_HANDLE>> taken_over;
};

class NewBufferEventTest : public ::testing::Test {
protected:
    NewBufferEventTest() { event->CompleteConstruction(); }
    ~NewBufferEventTest() override
    {
        if (event->IsOpen()) event->Close();
    }
    void Add(std::vector<uintptr_t> numbers)
    {
        for (uintptr_t n : numbers) ASSERT_TRUE(event->AddBuffer(B(n), B(n + 0x5000)));
    }

    FakeBufferOwner owner;
    SharedPtr<GenTLNewBufferEvent> event{new GenTLNewBufferEvent(owner)};
};

TEST_F(NewBufferEventTest, DeliversHandleAndUserPointerOrHandsBuffersLeavingUndeliveredBack)
{
    Add({7});
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, TakeDatum(*event, 0, 15).result);
    EXPECT_TRUE(owner.released.empty());
    EXPECT_EQ(ValueBytes(NewBufferEventData{B(7), B(0x5007)}), TakeDatum(*event, 0).bytes);
    TestSupport::AssertionCounter assertions;  // an unknown buffer is reported and still delivered
    ASSERT_TRUE(event->AddBuffer(B(AUX + 1), nullptr));
    EXPECT_EQ(GC_ERR_SUCCESS, TakeDatum(*event, 0).result);
    EXPECT_EQ(1, assertions.Failures());
    Add({1, 2});
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    Add({3, 4, 5});
    EXPECT_EQ(3u, event->GetNumFired());  // counted from the registration on
    EXPECT_EQ(GC_ERR_SUCCESS, event->GetEventData(nullptr, nullptr, 0));  // discards the oldest
    EXPECT_EQ(2u, event->GetNumDelivered());  // the discarded one is not
    event->FlushEvent();
    EXPECT_EQ(6u, owner.released.size());
    Add({6, 8});
    event->Close();
    EXPECT_EQ(8u, owner.released.size());
    for (const auto& [buffer, times] : owner.released) EXPECT_EQ(1, times) << buffer;
    const Bytes datum = ValueBytes(NewBufferEventData{B(0x1234), B(0xABCD)});
    EXPECT_EQ(ValueBytes<uint64_t>(0x1234), DataInfo(*event, datum, EVENT_DATA_ID).bytes);
    EXPECT_EQ(ValueBytes<uint64_t>(0xABCD), DataInfo(*event, datum, EVENT_DATA_VALUE).bytes);
    EXPECT_EQ(INFO_DATATYPE_UINT64, DataInfo(*event, datum, EVENT_DATA_NUMID).type);
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, DataInfo(*event, Bytes(15), EVENT_DATA_ID).result);
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, DataInfo(*event, {}, EVENT_DATA_ID).result);
}

// How the buffer handling modes rearrange waiting buffers.
TEST_F(NewBufferEventTest, ReplaceBuffersRearrangesTheQueueAsEachModificationSays)
{
    using Handles = std::vector<BUFFER_HANDLE>;
    // clang-format off
    const struct { const char* name; std::vector<uintptr_t> waiting; uintptr_t replacement; QueueModification modification; bool accepted; Handles returned; Handles taken_over;  /* the consumer buffer whose fill the replacement took over */ Handles queue; } rows[] = {
        {"overwrite oldest", {1, 2}, AUX, QueueModification::OverwriteOldest, true, {}, {B(1)}, {B(2), B(1)}},
        {"keep oldest", {1, 2, 3}, AUX, QueueModification::KeepOldestWithNewContent, true, {B(2), B(3)}, {B(1)}, {B(1)}},
        {"replace all", {1, 2}, 3, QueueModification::ReplaceAll, true, {B(1), B(2)}, {}, {B(3)}},
        {"replace none", {}, 3, QueueModification::ReplaceAll, true, {}, {}, {B(3)}},
        {"overwrite none", {}, AUX, QueueModification::OverwriteOldest, false, {}, {}, {}},
        {"keep none", {}, AUX, QueueModification::KeepOldestWithNewContent, false, {}, {}, {}},
        {"append", {1}, 2, QueueModification::Append, true, {}, {}, {B(1), B(2)}},
        {"unknown", {1}, 2, static_cast<QueueModification>(4), false, {}, {}, {B(1)}},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TestSupport::AssertionCounter assertions;
        owner.taken_over.clear();
        Add(row.waiting);
        Handles returned, taken_over, queue;
        EXPECT_EQ(row.accepted,
                  event->ReplaceBuffers(B(row.replacement), nullptr, row.modification, returned));
        EXPECT_EQ(row.returned, returned);
        for (const auto& [buffer, aux] : owner.taken_over)
            taken_over.push_back(aux == B(AUX) ? buffer : nullptr);
        EXPECT_EQ(row.taken_over, taken_over);
        for (Taken t; (t = TakeDatum(*event, 0)).result == GC_ERR_SUCCESS;)
            queue.push_back(
                reinterpret_cast<const NewBufferEventData*>(t.bytes.data())->BufferHandle);
        EXPECT_EQ(row.queue, queue);
        EXPECT_EQ(std::string(row.name) == "unknown" ? 1 : 0, assertions.Failures());
    }
}

// The engine adds while consumers take and flush: every buffer leaves the
// event exactly once, delivered or handed back, and unregistering releases
// every waiting consumer.
TEST_F(NewBufferEventTest, EveryBufferLeavesExactlyOnceUnderConcurrentDeliveryAndFlush)
{
    constexpr uintptr_t BUFFERS = 3000;
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    std::atomic<bool> engine_done{false};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (uintptr_t number = 1; number <= BUFFERS; ++number)
            event->AddBuffer(B(number), nullptr);
        engine_done = true;
    });
    threads.emplace_back([&] {
        while (!engine_done) event->FlushEvent();
    });
    for (int c = 0; c < 2; ++c)
        threads.emplace_back([&] {
            while (TakeDatum(*event, GENTL_INFINITE).result == GC_ERR_SUCCESS) {
            }
        });
    threads[0].join();
    threads[1].join();
    EXPECT_TRUE(WaitUntil([&] { return event->GetNumInQueue() == 0; }, 10s));
    event->Close();  // releases both consumers
    for (size_t t = 2; t < threads.size(); ++t) threads[t].join();
    EXPECT_EQ(BUFFERS, owner.released.size());
    for (const auto& [buffer, times] : owner.released) EXPECT_EQ(1, times) << buffer;
}

TEST_F(NewBufferEventTest, LogsRejectedPacketsAndDroppedOrReturnedDataOnceAtDebugLevel)
{
    SetLogLevelForTest(LOG_LEVEL_DEBUG);
    TestSupport::LogCapture capture;
    Registered<GenTLModuleEvent> module_event{4};
    Registered<GenTLVirtualRemoteDeviceEvent> device_event{4};
    const uint8_t data[5] = {0x79, 0x6B, 0x69};
    module_event->AddEvent(1, data, sizeof data);
    device_event->AddEventPacket(data, 3);
    GenTLVirtualRemoteDeviceEvent::MakeEventPacket(nullptr, 2);
    module_event->FlushEvent();
    module_event->AddEvent(1, nullptr, 0);
    module_event->AddEvent(2, nullptr, 0);
    module_event->FlushEvent();
    Add({1, 2});
    std::vector<BUFFER_HANDLE> returned;
    event->ReplaceBuffers(B(3), nullptr, QueueModification::ReplaceAll, returned);
    SetLogLevelForTest(LOG_LEVEL_ALWAYS);
    module_event->AddEvent(1, data, sizeof data);
    SetLogLevelForTest(0);
    for (const char* text :
         {"Rejected invalid module event packet", "Rejected invalid device event packet",
          "Rejected invalid virtual remote device event packet", "Flushing", "Flushing 2 events",
          "Returning 2 events"})
        EXPECT_EQ(1, CountLines(capture.Lines(), "Event ", {text})) << text;
}

}  // namespace
}  // namespace GenTLCore
