// NewBufferEventTest.cpp: the data stream's output queue: buffers wait in
// it, are handed to the consumer, and go back to the consumer undelivered.
#include "gentl_core/GenTLEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "EventTestHelpers.h"
#include "support/AssertionCounter.h"
#include "support/WaitUntil.h"

namespace GenTLCore {
namespace {

using namespace std::chrono_literals;
using EventTestHelpers::LastErrorText;
using EventTestHelpers::TakeDatum;
using EventTestHelpers::Taken;
using Handles = std::vector<BUFFER_HANDLE>;

// Stands in for the data stream: knows a set of consumer buffers and
// records what the event does to them. Any thread.
class FakeBufferOwner : public GenTLNewBufferEvent::BufferOwner {
public:
    bool SetQueued(BUFFER_HANDLE buffer, bool new_status) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!IsConsumerBuffer(buffer) || new_status)
            return false;
        ++released[buffer];
        return true;
    }
    bool TakeOverData(BUFFER_HANDLE buffer, BUFFER_HANDLE aux_buffer) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        taken_over.emplace_back(buffer, aux_buffer);
        return IsConsumerBuffer(buffer);
    }

    // How often each buffer was given back to the consumer.
    std::map<BUFFER_HANDLE, int> Released()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return released;
    }
    std::vector<std::pair<BUFFER_HANDLE, BUFFER_HANDLE>> TakenOver()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return taken_over;
    }

    static BUFFER_HANDLE Buffer(uintptr_t number) { return reinterpret_cast<BUFFER_HANDLE>(number); }
    static void* UserPtr(uintptr_t number) { return reinterpret_cast<void*>(0x5000 + number); }
    // Consumer buffers are numbered below AUX; auxiliary ones from AUX on.
    static constexpr uintptr_t AUX = 0x1000;

private:
    static bool IsConsumerBuffer(BUFFER_HANDLE buffer)
    {
        return reinterpret_cast<uintptr_t>(buffer) < AUX;
    }

    std::mutex mutex;
    std::map<BUFFER_HANDLE, int> released;
    std::vector<std::pair<BUFFER_HANDLE, BUFFER_HANDLE>> taken_over;
};

BUFFER_HANDLE B(uintptr_t number)
{
    return FakeBufferOwner::Buffer(number);
}

class NewBufferEventFixture : public ::testing::Test {
protected:
    NewBufferEventFixture() { event->CompleteConstruction(); }
    ~NewBufferEventFixture() override
    {
        if (event->IsOpen())
            event->Close();
    }

    void Add(std::initializer_list<uintptr_t> numbers)
    {
        for (uintptr_t number : numbers)
            ASSERT_TRUE(event->AddBuffer(B(number), FakeBufferOwner::UserPtr(number)));
    }
    // Handles in the queue, oldest first, taken out by discarding.
    Handles Drain()
    {
        Handles handles;
        for (Taken taken = TakeDatum(*event, 0); taken.result == GC_ERR_SUCCESS;
             taken = TakeDatum(*event, 0)) {
            NewBufferEventData datum;
            std::memcpy(&datum, taken.bytes.data(), sizeof datum);
            handles.push_back(datum.BufferHandle);
        }
        return handles;
    }

    FakeBufferOwner owner;
    SharedPtr<GenTLNewBufferEvent> event{new GenTLNewBufferEvent(owner)};
};

// Delivery hands the buffer to the consumer.
class NewBufferDeliveryTest : public NewBufferEventFixture {};

TEST_F(NewBufferDeliveryTest, DeliversHandleThenUserPointer)
{
    Add({7});
    const Taken taken = TakeDatum(*event, 0);
    ASSERT_EQ(GC_ERR_SUCCESS, taken.result);
    ASSERT_EQ(16u, taken.bytes.size());
    BUFFER_HANDLE handle = nullptr;
    void* user_ptr = nullptr;
    std::memcpy(&handle, taken.bytes.data(), 8);
    std::memcpy(&user_ptr, taken.bytes.data() + 8, 8);
    EXPECT_EQ(B(7), handle);
    EXPECT_EQ(FakeBufferOwner::UserPtr(7), user_ptr);
    EXPECT_EQ((std::map<BUFFER_HANDLE, int>{{B(7), 1}}), owner.Released());
}

TEST_F(NewBufferDeliveryTest, FifteenByteBufferFailsAndTheBufferStaysInTheEvent)
{
    Add({7});
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, TakeDatum(*event, 0, 15).result);
    EXPECT_TRUE(owner.Released().empty());
    EXPECT_EQ(1u, event->GetNumInQueue());
}

TEST_F(NewBufferDeliveryTest, FiredCountStartsAtRegistrationWhileEarlierBuffersStay)
{
    Add({1, 2});
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    Add({3});
    EXPECT_EQ(1u, event->GetNumFired());
    EXPECT_EQ(3u, event->GetNumInQueue());
}

TEST_F(NewBufferDeliveryTest, UnknownBufferIsReportedAndStillDelivered)
{
    TestSupport::AssertionCounter assertions;
    ASSERT_TRUE(event->AddBuffer(B(FakeBufferOwner::AUX + 1), nullptr));
    EXPECT_EQ(GC_ERR_SUCCESS, TakeDatum(*event, 0).result);
    EXPECT_EQ(1, assertions.Failures());
}

// Buffers leaving undelivered become the consumer's again.
class NewBufferReturnTest : public NewBufferEventFixture {};

TEST_F(NewBufferReturnTest, UnregisteringHandsEveryWaitingBufferBack)
{
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    Add({1, 2});
    event->Close();
    EXPECT_EQ(0u, event->GetNumInQueue());
    EXPECT_EQ((std::map<BUFFER_HANDLE, int>{{B(1), 1}, {B(2), 1}}), owner.Released());
}

TEST_F(NewBufferReturnTest, FlushHandsEveryWaitingBufferBack)
{
    Add({1, 2, 3});
    event->FlushEvent();
    EXPECT_EQ(3u, owner.Released().size());
    EXPECT_EQ(0u, event->GetNumInQueue());
}

TEST_F(NewBufferReturnTest, DiscardHandsTheOldestBufferBack)
{
    Add({1, 2});
    EXPECT_EQ(GC_ERR_SUCCESS, event->GetEventData(nullptr, nullptr, 0));
    EXPECT_EQ((std::map<BUFFER_HANDLE, int>{{B(1), 1}}), owner.Released());
    EXPECT_EQ(0u, event->GetNumDelivered());
}

// ReplaceBuffers: how the buffer handling modes rearrange waiting buffers.
class ReplaceBuffersTest : public NewBufferEventFixture {
protected:
    bool Replace(uintptr_t number, QueueModification modification)
    {
        returned.clear();
        return event->ReplaceBuffers(B(number), FakeBufferOwner::UserPtr(number), modification,
                                     returned);
    }
    Handles returned;
    static constexpr uintptr_t AUX = FakeBufferOwner::AUX;
};

TEST_F(ReplaceBuffersTest, OverwriteOldestMovesTheOldestToTheBackWithTheNewFill)
{
    Add({1, 2});
    ASSERT_TRUE(Replace(AUX, QueueModification::OverwriteOldest));
    EXPECT_TRUE(returned.empty());
    EXPECT_EQ((std::vector<std::pair<BUFFER_HANDLE, BUFFER_HANDLE>>{{B(1), B(AUX)}}),
              owner.TakenOver());
    EXPECT_EQ((Handles{B(2), B(1)}), Drain());
}

TEST_F(ReplaceBuffersTest, KeepOldestReturnsEveryOtherBuffer)
{
    Add({1, 2, 3});
    ASSERT_TRUE(Replace(AUX, QueueModification::KeepOldestWithNewContent));
    EXPECT_EQ((Handles{B(2), B(3)}), returned);
    EXPECT_EQ((std::vector<std::pair<BUFFER_HANDLE, BUFFER_HANDLE>>{{B(1), B(AUX)}}),
              owner.TakenOver());
    EXPECT_EQ((Handles{B(1)}), Drain());
}

TEST_F(ReplaceBuffersTest, ReplaceAllReturnsEveryWaitingBuffer)
{
    Add({1, 2});
    ASSERT_TRUE(Replace(3, QueueModification::ReplaceAll));
    EXPECT_EQ((Handles{B(1), B(2)}), returned);
    EXPECT_TRUE(owner.TakenOver().empty());
    EXPECT_EQ((Handles{B(3)}), Drain());
}

TEST_F(ReplaceBuffersTest, ReplaceAllOnEmptyQueueQueuesTheBuffer)
{
    ASSERT_TRUE(Replace(3, QueueModification::ReplaceAll));
    EXPECT_TRUE(returned.empty());
    EXPECT_EQ((Handles{B(3)}), Drain());
}

TEST_F(ReplaceBuffersTest, ModificationsOfTheOldestFailOnEmptyQueue)
{
    EXPECT_FALSE(Replace(AUX, QueueModification::OverwriteOldest));
    EXPECT_FALSE(Replace(AUX, QueueModification::KeepOldestWithNewContent));
    EXPECT_TRUE(returned.empty());
    EXPECT_TRUE(owner.TakenOver().empty());
    EXPECT_EQ(0u, event->GetNumInQueue());
    EXPECT_EQ(0u, event->GetNumFired());
}

TEST_F(ReplaceBuffersTest, AppendQueuesAtTheBack)
{
    Add({1});
    ASSERT_TRUE(Replace(2, QueueModification::Append));
    EXPECT_EQ((Handles{B(1), B(2)}), Drain());
}

TEST_F(ReplaceBuffersTest, UnknownModificationChangesNothing)
{
    TestSupport::AssertionCounter assertions;
    Add({1});
    EXPECT_FALSE(Replace(2, static_cast<QueueModification>(4)));
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ((Handles{B(1)}), Drain());
}

// EventGetDataInfo on a delivered new-buffer datum.
class NewBufferDataInfoTest : public NewBufferEventFixture {
protected:
    NewBufferEventData datum{B(0x1234), reinterpret_cast<void*>(0xABCD)};

    GC_ERROR Read(EVENT_DATA_INFO_CMD command, size_t datum_size, uint64_t& value,
                  INFO_DATATYPE& type)
    {
        size_t size = sizeof value;
        return event->GetEventDataInfo(&datum, datum_size, command, &type, &value, &size);
    }
};

TEST_F(NewBufferDataInfoTest, AnswersHandleUserPointerAndNumericHandle)
{
    uint64_t value = 0;
    INFO_DATATYPE type = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, Read(EVENT_DATA_ID, 16, value, type));
    EXPECT_EQ(INFO_DATATYPE_PTR, type);
    EXPECT_EQ(0x1234u, value);
    ASSERT_EQ(GC_ERR_SUCCESS, Read(EVENT_DATA_VALUE, 16, value, type));
    EXPECT_EQ(INFO_DATATYPE_PTR, type);
    EXPECT_EQ(0xABCDu, value);
    ASSERT_EQ(GC_ERR_SUCCESS, Read(EVENT_DATA_NUMID, 16, value, type));
    EXPECT_EQ(INFO_DATATYPE_UINT64, type);
    EXPECT_EQ(0x1234u, value);
}

TEST_F(NewBufferDataInfoTest, ShortDatumIsInvalid)
{
    uint64_t value = 0;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Read(EVENT_DATA_ID, 15, value, type));
    EXPECT_EQ("GetEventDataInfo: invalid event buffer passed", LastErrorText());
}

// The engine adds while consumers take and flush: every buffer leaves the
// event exactly once, delivered or handed back.
class NewBufferConcurrencyTest : public NewBufferEventFixture {
protected:
    static constexpr uintptr_t BUFFERS = 3000;
};

TEST_F(NewBufferConcurrencyTest, EveryBufferLeavesExactlyOnce)
{
    ASSERT_EQ(GC_ERR_SUCCESS, event->Open());
    std::atomic<bool> engine_done{false};
    std::thread engine([&] {
        for (uintptr_t number = 1; number <= BUFFERS; ++number)
            event->AddBuffer(B(number), FakeBufferOwner::UserPtr(number));
        engine_done = true;
    });
    std::thread flusher([&] {
        while (!engine_done)
            event->FlushEvent();
    });
    std::vector<std::thread> consumers;
    for (int c = 0; c < 2; ++c) {
        consumers.emplace_back([&] {
            while (TakeDatum(*event, GENTL_INFINITE).result == GC_ERR_SUCCESS) {
            }
        });
    }
    engine.join();
    flusher.join();
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return event->GetNumInQueue() == 0; }, 10s));
    event->Close();  // releases both consumers
    for (std::thread& consumer : consumers)
        consumer.join();

    const std::map<BUFFER_HANDLE, int> released = owner.Released();
    EXPECT_EQ(BUFFERS, released.size());
    for (const auto& [buffer, times] : released)
        EXPECT_EQ(1, times) << buffer;
    EXPECT_EQ(BUFFERS, event->GetNumFired());
}

}  // namespace
}  // namespace GenTLCore
