// EventTest.cpp: EventGetData's waits, kills, flushes and counters, seen
// through a module event as a consumer sees them.
#include "gentl_core/GenTLEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "EventTestHelpers.h"
#include "support/WaitUntil.h"

namespace GenTLCore {
namespace {

using namespace std::chrono_literals;
using EventTestHelpers::LastErrorText;
using EventTestHelpers::Registered;
using EventTestHelpers::TakeDatum;
using EventTestHelpers::Taken;
using TestSupport::WaitUntil;

constexpr size_t MAX_DATA = 8;

// A consumer calling EventGetData on a thread of its own.
class WaitingConsumer {
public:
    WaitingConsumer(GenTLEvent& waited_on, uint64_t timeout_ms) : event(waited_on)
    {
        thread = std::thread([this, timeout_ms] {
            taken = TakeDatum(event, timeout_ms);
            error_text = LastErrorText();
            done = true;
        });
    }
    // A consumer still blocked when a test fails is killed, so it ends.
    ~WaitingConsumer()
    {
        if (thread.joinable()) {
            if (!done)
                event.KillEvent();
            thread.join();
        }
    }
    WaitingConsumer(const WaitingConsumer&) = delete;
    WaitingConsumer& operator=(const WaitingConsumer&) = delete;

    // The call has not come back within `grace`.
    bool StaysBlocked(std::chrono::milliseconds grace = 200ms)
    {
        return !WaitUntil([this] { return done.load(); }, grace);
    }
    // Waits (bounded) for the call to return; one that does not is killed.
    Taken Result()
    {
        if (!WaitUntil([this] { return done.load(); }, 5s)) {
            ADD_FAILURE() << "EventGetData did not return";
            event.KillEvent();
        }
        thread.join();
        return taken;
    }
    std::string ErrorText() const { return error_text; }

private:
    GenTLEvent& event;  // outlives the consumer: declared before it in each test
    std::atomic<bool> done{false};
    Taken taken{};
    std::string error_text;
    std::thread thread;
};

std::vector<uint8_t> PacketWithID(uint32_t id)
{
    return {0x79, 0x6B, 0x69, 0x76, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
            static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 24)};
}

// A module event, registered for the test's duration.
class RegisteredModuleEventTest : public ::testing::Test {
protected:
    Registered<GenTLModuleEvent> event{MAX_DATA};
};

// EventGetData on an empty queue gives up when its timeout ends, and not before.
class EventGetDataTimeoutTest : public RegisteredModuleEventTest {};

TEST_F(EventGetDataTimeoutTest, ZeroTimeoutOnEmptyQueueTimesOutAtOnce)
{
    EXPECT_EQ(GC_ERR_TIMEOUT, TakeDatum(*event, 0).result);
    EXPECT_EQ("GetEventData: wait operation timed out", LastErrorText());
}

TEST_F(EventGetDataTimeoutTest, TimeoutIsNotCutShort)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GC_ERR_TIMEOUT, TakeDatum(*event, 1001).result);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1001ms);
}

TEST_F(EventGetDataTimeoutTest, HugeFiniteTimeoutKeepsWaiting)
{
    WaitingConsumer consumer(*event, GENTL_INFINITE - 1);
    EXPECT_TRUE(consumer.StaysBlocked());
    ASSERT_TRUE(event->AddEvent(7, nullptr, 0));
    const Taken taken = consumer.Result();
    EXPECT_EQ(GC_ERR_SUCCESS, taken.result);
    EXPECT_EQ(PacketWithID(7), taken.bytes);
}

TEST_F(EventGetDataTimeoutTest, DatumPostedFromAnotherThreadWakesInfiniteWait)
{
    WaitingConsumer consumer(*event, GENTL_INFINITE);
    EXPECT_TRUE(consumer.StaysBlocked());
    std::thread producer([this] { event->AddEvent(0xDDDDDD01, nullptr, 0); });
    producer.join();
    const Taken taken = consumer.Result();
    EXPECT_EQ(GC_ERR_SUCCESS, taken.result);
    EXPECT_EQ(PacketWithID(0xDDDDDD01), taken.bytes);
}

// EventKill aborts exactly one EventGetData: the waiting one, else the next.
class EventKillTest : public RegisteredModuleEventTest {};

TEST_F(EventKillTest, ReleasesAnInfiniteOrTimedWaitWithAbort)
{
    for (const uint64_t timeout : {uint64_t{GENTL_INFINITE}, uint64_t{60000}}) {
        WaitingConsumer consumer(*event, timeout);
        EXPECT_TRUE(consumer.StaysBlocked());
        EXPECT_EQ(GC_ERR_SUCCESS, event->KillEvent());
        EXPECT_EQ(GC_ERR_ABORT, consumer.Result().result);
        EXPECT_EQ("GetEventData: wait operation aborted", consumer.ErrorText());
    }
}

TEST_F(EventKillTest, AbortsTheNextCallWhenNobodyIsWaitingAndKeepsTheDatum)
{
    event->KillEvent();
    ASSERT_TRUE(event->AddEvent(3, nullptr, 0));
    EXPECT_EQ(GC_ERR_ABORT, TakeDatum(*event, 0).result);
    EXPECT_EQ("GetEventData: event was in aborted state", LastErrorText());
    EXPECT_EQ(1u, event->GetNumInQueue());
    EXPECT_EQ(PacketWithID(3), TakeDatum(*event, 0).bytes);
}

TEST_F(EventKillTest, TwoKillsAbortTwoCallsThenDataFlow)
{
    for (uint32_t id = 1; id <= 3; ++id)
        ASSERT_TRUE(event->AddEvent(id, nullptr, 0));
    event->KillEvent();
    event->KillEvent();
    EXPECT_EQ(GC_ERR_ABORT, TakeDatum(*event, 0).result);
    EXPECT_EQ(GC_ERR_ABORT, TakeDatum(*event, 0).result);
    EXPECT_EQ(PacketWithID(1), TakeDatum(*event, 0).bytes);
}

TEST_F(EventKillTest, KillTakenByTheWaiterDoesNotAbortTheNextCall)
{
    WaitingConsumer consumer(*event, GENTL_INFINITE);
    EXPECT_TRUE(consumer.StaysBlocked());
    event->KillEvent();
    EXPECT_EQ(GC_ERR_ABORT, consumer.Result().result);
    ASSERT_TRUE(event->AddEvent(4, nullptr, 0));
    EXPECT_EQ(GC_ERR_SUCCESS, TakeDatum(*event, 0).result);
}

TEST_F(EventKillTest, PendingKillsAreForgottenWhenRegisteredAgain)
{
    event->KillEvent();
    event->Close();
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    ASSERT_TRUE(event->AddEvent(5, nullptr, 0));
    EXPECT_EQ(GC_ERR_SUCCESS, TakeDatum(*event, 0).result);
}

// Unregistering releases every waiter and aborts calls until registered again.
class EventUnregisterTest : public RegisteredModuleEventTest {};

TEST_F(EventUnregisterTest, ReleasesEveryWaiterWithAbort)
{
    WaitingConsumer first(*event, GENTL_INFINITE);
    WaitingConsumer second(*event, 60000);
    EXPECT_TRUE(first.StaysBlocked());
    EXPECT_TRUE(second.StaysBlocked());
    event->Close();
    EXPECT_EQ(GC_ERR_ABORT, first.Result().result);
    EXPECT_EQ(GC_ERR_ABORT, second.Result().result);
    EXPECT_EQ("GetEventData: wait operation aborted", first.ErrorText());
}

TEST_F(EventUnregisterTest, LaterCallsAreAbortedUntilRegisteredAgain)
{
    event->Close();
    EXPECT_EQ(GC_ERR_ABORT, TakeDatum(*event, 0).result);
    EXPECT_EQ(GC_ERR_ABORT, TakeDatum(*event, 0).result);
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    EXPECT_EQ(GC_ERR_TIMEOUT, TakeDatum(*event, 0).result);
}

TEST_F(EventUnregisterTest, DropsQueuedDataAndRefusesNewOnes)
{
    ASSERT_TRUE(event->AddEvent(1, nullptr, 0));
    event->Close();
    EXPECT_EQ(0u, event->GetNumInQueue());
    EXPECT_FALSE(event->AddEvent(2, nullptr, 0));
    EXPECT_EQ(0u, event->GetNumInQueue());
}

// EventFlush empties the queue and leaves the counters alone.
class EventFlushTest : public RegisteredModuleEventTest {};

TEST_F(EventFlushTest, EmptiesTheQueue)
{
    for (uint32_t id = 1; id <= 3; ++id)
        ASSERT_TRUE(event->AddEvent(id, nullptr, 0));
    EXPECT_EQ(GC_ERR_SUCCESS, event->FlushEvent());
    EXPECT_EQ(0u, event->GetNumInQueue());
    EXPECT_EQ(GC_ERR_TIMEOUT, TakeDatum(*event, 0).result);
    EXPECT_EQ(3u, event->GetNumFired());
}

// What EventGetData does with the consumer's buffer.
class EventGetDataBufferTest : public RegisteredModuleEventTest {
protected:
    const uint8_t data[3] = {0xA1, 0xA2, 0xA3};
};

TEST_F(EventGetDataBufferTest, TooSmallBufferFailsAndKeepsTheDatum)
{
    ASSERT_TRUE(event->AddEvent(9, data, sizeof data));
    std::vector<uint8_t> buffer(10, 0xEE);
    size_t size = buffer.size();
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, event->GetEventData(buffer.data(), &size, 0));
    EXPECT_EQ("EventGetData: the buffer is too small to hold the data.", LastErrorText());
    EXPECT_EQ(10u, size);
    EXPECT_EQ(std::vector<uint8_t>(10, 0xEE), buffer);
    EXPECT_EQ(1u, event->GetNumInQueue());

    const Taken taken = TakeDatum(*event, 0, 11);
    EXPECT_EQ(GC_ERR_SUCCESS, taken.result);
    EXPECT_EQ(11u, taken.bytes.size());
    EXPECT_EQ(1u, event->GetNumDelivered());
}

TEST_F(EventGetDataBufferTest, BufferWithoutSizePointerIsRefused)
{
    ASSERT_TRUE(event->AddEvent(9, nullptr, 0));
    uint8_t buffer[16];
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, event->GetEventData(buffer, nullptr, 0));
    EXPECT_EQ("GetEventData: invalid buffer size pointer.", LastErrorText());
    EXPECT_EQ(1u, event->GetNumInQueue());
}

TEST_F(EventGetDataBufferTest, NullBufferDiscardsTheOldestDatumUndelivered)
{
    ASSERT_TRUE(event->AddEvent(1, nullptr, 0));
    ASSERT_TRUE(event->AddEvent(2, nullptr, 0));
    EXPECT_EQ(GC_ERR_SUCCESS, event->GetEventData(nullptr, nullptr, 0));
    EXPECT_EQ(PacketWithID(2), TakeDatum(*event, 0).bytes);
    EXPECT_EQ(1u, event->GetNumDelivered());
}

// EventGetInfo answers with the queue's state.
class EventGetInfoTest : public RegisteredModuleEventTest {
protected:
    template <class T>
    T Info(EVENT_INFO_CMD command, INFO_DATATYPE expected_type)
    {
        T value{};
        INFO_DATATYPE type = -1;
        size_t size = sizeof value;
        EXPECT_EQ(GC_ERR_SUCCESS, event->GetEventInfo(command, &type, &value, &size));
        EXPECT_EQ(expected_type, type);
        EXPECT_EQ(sizeof value, size);
        return value;
    }
};

TEST_F(EventGetInfoTest, CountsQueuedAndFiredData)
{
    for (uint32_t id = 1; id <= 3; ++id)
        ASSERT_TRUE(event->AddEvent(id, nullptr, 0));
    TakeDatum(*event, 0);
    EXPECT_EQ(2u, Info<size_t>(EVENT_NUM_IN_QUEUE, INFO_DATATYPE_SIZET));
    EXPECT_EQ(3u, Info<uint64_t>(EVENT_NUM_FIRED, INFO_DATATYPE_UINT64));
}

TEST_F(EventGetInfoTest, FiredCountStartsAgainAtRegistration)
{
    ASSERT_TRUE(event->AddEvent(1, nullptr, 0));
    event->Close();
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    ASSERT_TRUE(event->AddEvent(2, nullptr, 0));
    EXPECT_EQ(1u, Info<uint64_t>(EVENT_NUM_FIRED, INFO_DATATYPE_UINT64));
}

TEST_F(EventGetInfoTest, TypeAndSizeLimitsOfAModuleEvent)
{
    EXPECT_EQ(EVENT_MODULE, Info<int32_t>(EVENT_EVENT_TYPE, INFO_DATATYPE_INT32));
    EXPECT_EQ(MAX_DATA + 8, Info<size_t>(EVENT_SIZE_MAX, INFO_DATATYPE_SIZET));
    EXPECT_EQ(MAX_DATA + 4, Info<size_t>(EVENT_INFO_DATA_SIZE_MAX, INFO_DATATYPE_SIZET));
}

TEST_F(EventGetInfoTest, UnknownCommandIsNotImplemented)
{
    size_t value = 0;
    size_t size = sizeof value;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, event->GetEventInfo(EVENT_INFO_CUSTOM_ID, &type, &value, &size));
    EXPECT_EQ("GetEventInfo: unknown event info command requested", LastErrorText());
}

// Producers and consumers on many threads: every datum arrives exactly once.
class EventConcurrencyTest : public RegisteredModuleEventTest {
protected:
    static constexpr uint32_t PRODUCERS = 4;
    static constexpr uint32_t CONSUMERS = 4;
    static constexpr uint32_t PER_PRODUCER = 2000;
};

TEST_F(EventConcurrencyTest, NoDatumIsLostOrDuplicated)
{
    std::mutex received_mutex;
    std::vector<uint32_t> received;
    std::atomic<int> unexpected_results{0};

    std::vector<std::thread> consumers;
    for (uint32_t c = 0; c < CONSUMERS; ++c) {
        consumers.emplace_back([&] {
            for (;;) {
                const Taken taken = TakeDatum(*event, GENTL_INFINITE);
                if (taken.result == GC_ERR_ABORT)
                    return;
                if (taken.result != GC_ERR_SUCCESS || taken.bytes.size() != 8) {
                    ++unexpected_results;
                    return;
                }
                uint32_t id = 0;
                std::memcpy(&id, taken.bytes.data() + 4, sizeof id);
                std::lock_guard<std::mutex> lock(received_mutex);
                received.push_back(id);
            }
        });
    }
    std::vector<std::thread> producers;
    for (uint32_t p = 0; p < PRODUCERS; ++p) {
        producers.emplace_back([this, p] {
            for (uint32_t i = 0; i < PER_PRODUCER; ++i)
                event->AddEvent(p << 16 | i, nullptr, 0);
        });
    }
    for (std::thread& producer : producers)
        producer.join();
    const auto all_received = [&] {
        std::lock_guard<std::mutex> lock(received_mutex);
        return received.size() >= PRODUCERS * PER_PRODUCER;
    };
    EXPECT_TRUE(WaitUntil(all_received, 20s));
    // Each kill ends exactly one consumer's loop.
    for (uint32_t c = 0; c < CONSUMERS; ++c)
        event->KillEvent();
    for (std::thread& consumer : consumers)
        consumer.join();

    EXPECT_EQ(0, unexpected_results.load());
    EXPECT_EQ(PRODUCERS * PER_PRODUCER, received.size());
    EXPECT_EQ(received.size(), std::set<uint32_t>(received.begin(), received.end()).size());
    EXPECT_EQ(uint64_t{PRODUCERS * PER_PRODUCER}, event->GetNumFired());
    EXPECT_EQ(0u, event->GetNumInQueue());
}

}  // namespace
}  // namespace GenTLCore
