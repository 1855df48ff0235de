// EventTest.cpp: EventGetData's waits, kills, flushes and counters, the bytes
// each kind of event delivers and reads back, and how the new-buffer event's
// queue is rearranged.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <map>

#include "../platform/AssertionRecorder.h"
#include "CoreTestHelpers.h"
#include "gentl_core/Logger.h"

namespace GenTLCore {
namespace {

using namespace std::chrono_literals;
using namespace CoreTestHelpers;

constexpr size_t MAX_DATA = 8;

// A data stream that finds every buffer handle the new-buffer event holds
// to be of the kind it is told.
struct AnyBuffers : GenTLNewBufferEvent::BufferOwner {
    BufferKind kind = BufferKind::Consumer;
    // clang-format off
    BufferKind SetQueued(BUFFER_HANDLE, bool) override { return kind; }
    TakeOverFound TakeOverData(BUFFER_HANDLE, BUFFER_HANDLE) override { return {kind != BufferKind::None, kind != BufferKind::None}; }
    // clang-format on
};

// A registered module event. Cases log at debug level, so the log
// statements' own branches run too.
class EventTest : public ::testing::Test {
protected:
    EventTest() { SetLogLevelForTest(LOG_LEVEL_DEBUG); }
    ~EventTest() override { SetLogLevelForTest(0); }
    void Add(std::initializer_list<uint32_t> ids)
    {
        for (uint32_t id : ids) ASSERT_TRUE(event->AddEvent(id, nullptr, 0));
    }
    // EventGetData on a thread of its own, as a consumer calls it; checks that it
    // stays blocked until `release` runs, then waits (bounded) for its answer
    // and the consumer's last error.
    std::pair<Answer, std::string> Released(uint64_t timeout_ms, std::function<void()> release)
    {
        auto consumer = std::async(std::launch::async, [this, timeout_ms] {
            const Answer taken = TakeDatum(*event, timeout_ms);
            return std::make_pair(taken, LastErrorText());
        });
        EXPECT_EQ(std::future_status::timeout, consumer.wait_for(200ms));
        release();
        if (consumer.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << "EventGetData did not return";
            event->KillEvent();
        }
        return consumer.get();
    }
    // An event info answer as a number, checked for its type.
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
    EXPECT_EQ(PacketWithID(0xDDDDDD01), Released(GENTL_INFINITE - 1, add).first.bytes);
    EXPECT_EQ("GetEventData: wait operation aborted",
              Released(GENTL_INFINITE, [this] { event->KillEvent(); }).second);
    EXPECT_EQ(GC_ERR_ABORT, Released(60000, [this] { event->Close(); }).first.result);
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

// Pushes wake a consumer after releasing the event lock, so a woken consumer
// may find the queue empty: another took the datum, or the wake-up came late.
// It waits on; a timed call ends only with a datum or a timeout.
TEST_F(EventTest, TimedWaitsRacingPushesEndWithADatumOrATimeoutOnly)
{
    TestSupport::AssertionRecorder assertions;
    constexpr uint32_t PUSHED = 20000;
    struct Tally {
        std::vector<uint32_t> ids;
        int timeouts = 0;
        std::map<std::string, int> failures;  // "result: last error" and how often
    };
    std::atomic<bool> pushed_all{false};
    // Ends after a timeout that began when every datum was pushed: the queue
    // was empty then and stays so.
    const auto consume = [&] {
        Tally tally;
        for (uint32_t call = 0; call < 3 * PUSHED; ++call) {
            const bool last_round = pushed_all.load();
            const Answer taken = TakeDatum(*event, 1000);
            if (taken.result == GC_ERR_SUCCESS) {
                uint32_t id = PUSHED;  // counts as none taken unless a whole packet came
                if (taken.bytes.size() == 8) std::memcpy(&id, taken.bytes.data() + 4, sizeof id);
                tally.ids.push_back(id);
            } else if (taken.result != GC_ERR_TIMEOUT) {
                ++tally.failures[std::to_string(taken.result) + ": " + LastErrorText()];
            } else {
                ++tally.timeouts;
                if (last_round) break;
            }
        }
        return tally;
    };
    std::vector<std::future<Tally>> consumers;
    for (int n = 0; n < 3; ++n) consumers.push_back(std::async(std::launch::async, consume));
    for (uint32_t id = 0; id < PUSHED; ++id) EXPECT_TRUE(event->AddEvent(id, nullptr, 0));
    pushed_all = true;
    size_t successes = 0;
    std::vector<int> times_taken(PUSHED, 0);
    std::map<std::string, int> failures;
    for (std::future<Tally>& consumer : consumers) {
        const Tally tally = consumer.get();
        EXPECT_GE(tally.timeouts, 1) << "a consumer ran out of calls";
        successes += tally.ids.size();
        for (uint32_t id : tally.ids)
            if (id < PUSHED) ++times_taken[id];
        for (const auto& [text, count] : tally.failures) failures[text] += count;
    }
    EXPECT_EQ((std::map<std::string, int>{}), failures);
    EXPECT_EQ(PUSHED, successes);
    EXPECT_EQ(PUSHED, std::count(times_taken.begin(), times_taken.end(), 1)) << "lost or twice";
    EXPECT_EQ(GC_ERR_TIMEOUT, TakeDatum(*event, 0).result);
    EXPECT_EQ(0u, assertions.Count());
}

// Module events: "ykiv", the 32-bit ID little-endian, then at most MAX_DATA
// bytes. A datum the buffer cannot hold stays queued.
TEST_F(EventTest, CountsQueuedFiredAndDeliveredDataAndKeepsADatumTheBufferCannotHold)
{
    Add({1});
    event->Close();
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());  // the fired count starts again
    Add({1, 2, 3});
    const Bytes data = {0xAA, 0xBB, 0xCC, 4, 5, 6, 7, 8, 9};
    ASSERT_TRUE(event->AddEvent(0x11223344, data.data(), MAX_DATA));
    EXPECT_FALSE(event->AddEvent(1, data.data(), MAX_DATA + 1));
    EXPECT_FALSE(event->AddEvent(1, nullptr, 2));
    Bytes buffer(8);
    size_t size = 8;
    // clang-format off
    ExpectCalls({
        {[&] { return event->GetEventData(nullptr, nullptr, 0); }, GC_ERR_SUCCESS},  // discards the oldest
        {[&] { return TakeDatum(*event, 0, 7).result; }, GC_ERR_BUFFER_TOO_SMALL, "EventGetData: the buffer is too small to hold the data."},
        {[&] { return event->GetEventData(buffer.data(), nullptr, 0); }, GC_ERR_INVALID_PARAMETER, "GetEventData: invalid buffer size pointer."},
        {[&] { return event->GetEventInfo(EVENT_INFO_CUSTOM_ID, nullptr, buffer.data(), &size); }, GC_ERR_NOT_IMPLEMENTED, "GetEventInfo: unknown event info command requested"},
    });
    // clang-format on
    EXPECT_EQ(PacketWithID(2), TakeDatum(*event, 0).bytes);
    EXPECT_EQ(2u, Info(*event, EVENT_NUM_IN_QUEUE, INFO_DATATYPE_SIZET));
    EXPECT_EQ(4u, Info(*event, EVENT_NUM_FIRED, INFO_DATATYPE_UINT64));
    EXPECT_EQ(1u, event->GetNumDelivered());
    EXPECT_EQ(PacketWithID(3), TakeDatum(*event, 0).bytes);
    EXPECT_EQ(PacketWithID(0x11223344, {0xAA, 0xBB, 0xCC, 4, 5, 6, 7, 8}),
              TakeDatum(*event, 0).bytes);
    Add({5});
    EXPECT_EQ(GC_ERR_SUCCESS, event->FlushEvent());
    EXPECT_EQ(0u, event->GetNumInQueue());
    EXPECT_EQ(uint64_t{EVENT_MODULE}, Info(*event, EVENT_EVENT_TYPE, INFO_DATATYPE_INT32));
    EXPECT_EQ(MAX_DATA + 8, Info(*event, EVENT_SIZE_MAX, INFO_DATATYPE_SIZET));
    EXPECT_EQ(MAX_DATA + 4, Info(*event, EVENT_INFO_DATA_SIZE_MAX, INFO_DATATYPE_SIZET));
}

// The virtual remote-device event sends module-event packets with ID 0xF001
// and refuses IDs from 0x10000 on. Data info reads a module event's ID as
// eight hex digits and its value as ID and data; an error event's message
// with its NUL, always reporting -1001; a new-buffer datum's handle and user pointer.
TEST_F(EventTest, EveryKindOfEventReadsBackItsData)
{
    Registered<GenTLVirtualRemoteDeviceEvent> device{MAX_DATA};
    Registered<GenTLErrorEvent> error;
    AnyBuffers owner;
    Registered<GenTLNewBufferEvent> buffers{owner};
    EXPECT_TRUE(GenTLVirtualRemoteDeviceEvent::MakeEventPacket(nullptr, 3).empty());
    const uint8_t data[2] = {0xAA, 0xBB};
    const Bytes packet = GenTLVirtualRemoteDeviceEvent::MakeEventPacket(data, 2);
    EXPECT_EQ(PacketWithID(0xF001, {0xAA, 0xBB}), packet);
    ASSERT_TRUE(device->AddEventPacket(packet.data(), packet.size()));
    EXPECT_EQ(packet, TakeDatum(*device, 0).bytes);
    for (const Bytes& rejected :
         {PacketWithID(0x10000), PacketWithID(0xF001, Bytes(MAX_DATA + 1)), Bytes(3)})
        EXPECT_FALSE(device->AddEventPacket(rejected.data(), rejected.size()));
    EXPECT_EQ(MAX_DATA + 8, Info(*device, EVENT_SIZE_MAX, INFO_DATATYPE_SIZET));
    ASSERT_TRUE(error->AddEvent(std::string(5000, 'x')));
    EXPECT_EQ(TextBytes(std::string(1023, 'x')), TakeDatum(*error, 0, 1024).bytes);
    const Bytes buffer_datum = ValueBytes(NewBufferEventData{
        reinterpret_cast<BUFFER_HANDLE>(0x1234), reinterpret_cast<void*>(0xABCD)});
    const std::string invalid = "GetEventDataInfo: invalid event buffer passed",
                      corrupted = "GetEventDataInfo: corrupted event buffer passed",
                      null = "GetEventDataInfo: null event buffer passed";
    // clang-format off
    const struct { GenTLEvent* of; Bytes datum; EVENT_DATA_INFO_CMD command; INFO_DATATYPE type; Bytes bytes;  /* the answer, or the error text */ } rows[] = {
        {&*event, PacketWithID(0xDDDDDD01), EVENT_DATA_ID, INFO_DATATYPE_STRING, TextBytes("dddddd01")},
        {&*event, PacketWithID(0x00C0FFEE), EVENT_DATA_ID, INFO_DATATYPE_STRING, TextBytes("00c0ffee")},
        {&*event, PacketWithID(0x11111101, {0xAB, 0xCD}), EVENT_DATA_VALUE, INFO_DATATYPE_BUFFER, {1, 0x11, 0x11, 0x11, 0xAB, 0xCD}},
        {&*event, PacketWithID(0x11111101, Bytes(MAX_DATA)), EVENT_DATA_NUMID, INFO_DATATYPE_UINT64, ValueBytes<uint64_t>(0x11111101)},
        {&*event, PacketWithID(1, Bytes(MAX_DATA + 1)), EVENT_DATA_NUMID, -1, TextBytes(invalid)},
        {&*event, {0x79, 0x6B, 0x69, 0x76, 1, 0, 0}, EVENT_DATA_NUMID, -1, TextBytes(invalid)},
        {&*event, {0x79, 0x6B, 0x69, 0x77, 1, 0, 0, 0}, EVENT_DATA_NUMID, -1, TextBytes(invalid)},
        {&*event, PacketWithID(1), 3, -1, TextBytes("GetEventDataInfo: unknown event data info command requested")},
        {&*event, {}, EVENT_DATA_ID, -1, TextBytes(null)},
        {&*device, packet, EVENT_DATA_ID, INFO_DATATYPE_STRING, TextBytes("f001")},
        {&*device, packet, EVENT_DATA_NUMID, INFO_DATATYPE_UINT64, ValueBytes<uint64_t>(61441)},
        {&*device, packet, EVENT_DATA_VALUE, INFO_DATATYPE_BUFFER, {0x01, 0xF0, 0x00, 0x00, 0xAA, 0xBB}},
        {&*error, TextBytes("anything"), EVENT_DATA_ID, INFO_DATATYPE_INT32, ValueBytes<int32_t>(-1001)},
        {&*error, TextBytes("anything"), EVENT_DATA_NUMID, INFO_DATATYPE_UINT64, ValueBytes<uint64_t>(0xFFFFFFFFFFFFFC17)},
        {&*error, {'d', 'i', 's', 'k', 0, 'z'}, EVENT_DATA_VALUE, INFO_DATATYPE_STRING, TextBytes("disk")},
        {&*error, {'a', 'b'}, EVENT_DATA_VALUE, -1, TextBytes(corrupted)},
        {&*error, TextBytes(std::string(1024, 'y')), EVENT_DATA_VALUE, -1, TextBytes(corrupted)},
        {&*error, {}, EVENT_DATA_ID, -1, TextBytes(null)},
        {&*buffers, buffer_datum, EVENT_DATA_ID, INFO_DATATYPE_PTR, ValueBytes<uint64_t>(0x1234)},
        {&*buffers, buffer_datum, EVENT_DATA_VALUE, INFO_DATATYPE_PTR, ValueBytes<uint64_t>(0xABCD)},
        {&*buffers, buffer_datum, EVENT_DATA_NUMID, INFO_DATATYPE_UINT64, ValueBytes<uint64_t>(0x1234)},
        {&*buffers, Bytes(15), EVENT_DATA_ID, -1, TextBytes(invalid)},
        {&*buffers, {}, EVENT_DATA_ID, -1, TextBytes(null)},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(&row - rows) + " " + std::to_string(row.command));
        const Answer info = DataInfo(*row.of, row.datum, row.command);
        EXPECT_EQ(row.type, info.type);
        EXPECT_EQ(row.bytes,
                  info.result == GC_ERR_SUCCESS ? info.bytes : TextBytes(LastErrorText()));
    }
    size_t size = 4;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
              error->GetEventDataInfo(&size, 0, EVENT_DATA_ID, nullptr, &size, &size));
}

// The engine's handling modes reach every modification but an unknown one:
// that keeps the queue as it is, yet counts as fired and reports itself.
TEST_F(EventTest, ReplaceBuffersNeedsAnOldestToOverwriteAndIgnoresAnUnknownType)
{
    TestSupport::AssertionRecorder assertions;
    AnyBuffers owner;
    Registered<GenTLNewBufferEvent> buffers{owner};
    using Modification = QueueModification;
    // clang-format off
    const struct { uintptr_t buffer; Modification modification; bool replaced; std::vector<uintptr_t> returned; size_t queued; } steps[] = {
        {1, Modification::OverwriteOldest, false, {}, 0},
        {1, Modification::KeepOldestWithNewContent, false, {}, 0},
        {1, Modification::ReplaceAll, true, {}, 1},
        {2, Modification::Append, true, {}, 2},
        {3, static_cast<Modification>(4), true, {}, 2},
        {4, Modification::ReplaceAll, true, {1, 2}, 1},
    };
    // clang-format on
    for (const auto& step : steps) {
        SCOPED_TRACE(&step - steps);
        std::vector<BUFFER_HANDLE> returned;
        EXPECT_EQ(step.replaced,
                  buffers->ReplaceBuffers(reinterpret_cast<BUFFER_HANDLE>(step.buffer), nullptr,
                                          step.modification, returned));
        std::vector<uintptr_t> returned_ids;
        for (BUFFER_HANDLE handle : returned)
            returned_ids.push_back(reinterpret_cast<uintptr_t>(handle));
        EXPECT_EQ(step.returned, returned_ids);
        EXPECT_EQ(step.queued, buffers->GetNumInQueue());
    }
    EXPECT_EQ(4u, buffers->GetNumFired());
    EXPECT_EQ(ValueBytes(NewBufferEventData{reinterpret_cast<BUFFER_HANDLE>(4), nullptr}),
              TakeDatum(*buffers, 0).bytes);
    EXPECT_EQ(std::vector<std::string>{"Unknown queue modification type requested"},
              assertions.Failures());
}

// A queued buffer the stream does not know as one of its consumer buffers is
// reported on delivery, flush and take-over, and the datum goes on as usual.
TEST_F(EventTest, NewBufferEventReportsABufferTheStreamDoesNotHandOut)
{
    using Kind = GenTLNewBufferEvent::BufferOwner::BufferKind;
    const auto deliver = [](GenTLNewBufferEvent& buffers) {
        EXPECT_EQ(GC_ERR_SUCCESS, TakeDatum(buffers, 0).result);
    };
    const auto flush = [](GenTLNewBufferEvent& buffers) { buffers.FlushEvent(); };
    const auto overwrite = [](GenTLNewBufferEvent& buffers) {
        std::vector<BUFFER_HANDLE> returned;
        EXPECT_TRUE(buffers.ReplaceBuffers(reinterpret_cast<BUFFER_HANDLE>(2), nullptr,
                                           QueueModification::OverwriteOldest, returned));
    };
    const struct {
        Kind kind;
        std::function<void(GenTLNewBufferEvent&)> action;
        size_t queued;
        std::vector<std::string> assertions;
    } rows[] = {
        {Kind::None, deliver, 0, {"buffer_module"}},
        {Kind::Auxiliary, flush, 0, {"!buffer_module->IsAuxiliary()"}},
        {Kind::None, overwrite, 1, {"buffer_to", "buffer_from"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        AnyBuffers owner;
        Registered<GenTLNewBufferEvent> buffers{owner};
        ASSERT_TRUE(buffers->AddBuffer(reinterpret_cast<BUFFER_HANDLE>(1), nullptr));
        TestSupport::AssertionRecorder assertions;
        owner.kind = row.kind;
        row.action(*buffers);
        EXPECT_EQ(row.queued, buffers->GetNumInQueue());
        EXPECT_EQ(row.assertions, assertions.Failures());
        owner.kind = Kind::Consumer;
    }
}

}  // namespace
}  // namespace GenTLCore
