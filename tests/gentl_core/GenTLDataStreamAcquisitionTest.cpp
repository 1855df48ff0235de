// GenTLDataStreamAcquisitionTest.cpp: acquisition start and stop, the core
// engine thread with its buffer handling modes, auxiliary buffers,
// count-limited acquisition and engine failure against the deterministic
// engine, and a consumer racing stop, flush and close against the
// threaded one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "FakeBuffer.h"
#include "LogCapture.h"
#include "StreamHarness.h"
#include "support/WaitUntil.h"

namespace AcquisitionTest {
namespace {

using namespace std::chrono_literals;
using GenTLCore::GenTLBuffer;

constexpr size_t PAYLOAD = 64;

class StreamAcquisitionTest : public StreamFixture {
protected:
    Handles Queued(size_t count) { return harness->AnnounceMany(count, PAYLOAD, true); }
    Handles Scheduled()
    {
        Handles handles;
        for (GenTLBuffer* buffer : Stream().ScheduledBuffers())
            handles.push_back(buffer->GetHandle());
        return handles;
    }
    uint64_t Lost() { return harness->Info(STREAM_INFO_NUM_UNDERRUN); }
    uint64_t Waiting() { return harness->Info(STREAM_INFO_NUM_AWAIT_DELIVERY); }
    uint64_t InputPool() { return harness->Info(STREAM_INFO_NUM_QUEUED); }
    bool EndsByItself()
    {
        // The engine thread ends grabbing before it stops the device streaming.
        return TestSupport::WaitUntil([this] { return !IsGrabbing(); }) &&
               TestSupport::WaitUntil([this] { return Stream().calls.stop_streaming.load() == 1; });
    }
    static bool Logged(const TestSupport::LogCapture& log, const std::string& text)
    {
        for (const std::string& line : log.Lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(StreamAcquisitionTest, StartHandsEveryQueuedBufferToTheEngineInQueueOrder)
{
    const Handles handles = Queued(3);
    harness->Announce(PAYLOAD - 1);  // fine while the payload size is unknown
    Stream().knobs.knows_payload_size = false;
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    EXPECT_TRUE(IsGrabbing());
    EXPECT_EQ(ReadRegister(ACQUISITION_ACTIVE_ADDRESS), 1u);
    EXPECT_EQ(Scheduled(), handles);
    EXPECT_TRUE(harness->Buffer(handles[0]).IsScheduled());
    EXPECT_EQ(InputPool(), 0u);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, EngineRefusalsEndTheStartAndUndoTheConfiguration)
{
    Queued(2);
    Stream().knobs.prepare_streaming_result = GC_ERR_IO;
    EXPECT_EQ(Start(), GC_ERR_IO);
    EXPECT_EQ(Stream().calls.deconfigure.load(), 0);
    Stream().knobs.prepare_streaming_result = GC_ERR_SUCCESS;
    Stream().knobs.start_streaming_result = GC_ERR_TIMEOUT;
    EXPECT_EQ(Start(), GC_ERR_TIMEOUT);
    EXPECT_EQ(Stream().calls.deconfigure.load(), 1);
    EXPECT_EQ(Stream().calls.start_engine.load(), 0);
    Stream().knobs.start_streaming_result = GC_ERR_SUCCESS;
    Stream().knobs.start_engine_ok = false;
    EXPECT_EQ(Start(), GC_ERR_ERROR);
    EXPECT_EQ(LastErrorText(), "StartAcquisition: failed to start the acquisition engine");
    EXPECT_EQ(Stream().calls.stop_streaming.load(), 1);
    EXPECT_EQ(Stream().calls.deconfigure.load(), 2);
    EXPECT_EQ(Stream().HeldCount(), 0u);
    EXPECT_FALSE(IsGrabbing());
    EXPECT_EQ(InputPool(), 2u);
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_RESOURCE_IN_USE);
    Stream().knobs.start_engine_ok = true;
    EXPECT_EQ(Start(), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, AuxiliaryTroubleOnlyWarns)
{
    ASSERT_EQ(WriteRegister(AUX_COUNT_ADDRESS, 2), GC_ERR_SUCCESS);
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_WARNING);
    TestSupport::LogCapture log;
    Queued(1);
    for (bool create_fails : {true, false}) {
        Stream().knobs.create_aux_fails = create_fails;
        Stream().knobs.prepare_aux_ok = create_fails;
        ASSERT_EQ(Start(), GC_ERR_SUCCESS);
        EXPECT_EQ(Stream().ScheduledBuffers().size(), 1u) << "no auxiliary buffer";
        ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    }
    EXPECT_TRUE(Logged(log,
                       "StartAcquisition: failed to create required auxiliary buffers, "
                       "continuing without aux buffers"));
    EXPECT_TRUE(Logged(log,
                       "StartAcquisition: failed to prepare aux buffersfor streaming, "
                       "continuing without aux buffers"));
}

TEST_F(StreamAcquisitionTest, StopTakesEveryBufferBackInTheEnginesOrderEvenWhenItFails)
{
    const Handles handles = Queued(4);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    Fill(1);
    ASSERT_EQ(Stream().QueueBuffer(harness->TakeAll().at(0)), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StopAcquisition(ACQ_STOP_FLAGS_KILL), GC_ERR_SUCCESS);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    EXPECT_EQ(Scheduled(), (Handles{handles[1], handles[2], handles[3], handles[0]}));
    EXPECT_EQ(Stream().StopAcquisition(2), GC_ERR_NOT_IMPLEMENTED) << "stops, then refuses";
    EXPECT_FALSE(IsGrabbing());
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    Fill(1);
    Stream().knobs.stop_streaming_ok = false;
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_IO);
    EXPECT_EQ(Stream().HeldCount(), 0u);
    EXPECT_EQ(InputPool(), 3u);
    EXPECT_EQ(Waiting(), 1u);
    EXPECT_EQ(Stream().calls.deconfigure.load(), 3);
    branding->stop_without_start_allowed = true;
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, WaitingConsumerKeepsWaitingThroughStopAndIsAbortedByClose)
{
    Queued(1);
    harness->RegisterNewBufferEvent();
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    auto waiter = std::async(std::launch::async, [this] { return harness->GetEvent(10000).first; });
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    EXPECT_EQ(waiter.wait_for(50ms), std::future_status::timeout);
    harness->Close();
    ASSERT_EQ(waiter.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiter.get(), GC_ERR_ABORT);
}

// Four buffers queued, the engine fills the first three: what waits in the
// event, how many blocks were lost and how many buffers the engine holds.
TEST_F(StreamAcquisitionTest, EachBufferHandlingModeDeliversItsBuffers)
{
    struct Row {
        const char* name;
        uint32_t mode;
        std::vector<size_t> waiting;  // filled buffers, in event order
        uint64_t lost;
        size_t engine_held;
    };
    const Row rows[] = {
        {"OldestFirst", GenTLCore::OldestFirst, {0, 1, 2}, 0, 1},
        {"OldestFirstOverwrite", GenTLCore::OldestFirstOverwrite, {0, 1, 2}, 0, 1},
        {"NewestOnly", GenTLCore::NewestOnly, {2}, 2, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        harness = std::make_unique<StreamHarness<>>();
        ASSERT_EQ(WriteRegister(MODE_ADDRESS, row.mode), GC_ERR_SUCCESS);
        const Handles handles = Queued(4);
        ASSERT_EQ(Start(), GC_ERR_SUCCESS);
        for (uint8_t value = 1; value <= 3; ++value) Fill(value);
        EXPECT_EQ(Lost(), row.lost);
        EXPECT_EQ(Stream().HeldCount(), row.engine_held);
        Handles expected;
        for (size_t index : row.waiting) {
            expected.push_back(handles[index]);
            EXPECT_TRUE(
                harness->HoldsBytes(handles[index], static_cast<uint8_t>(index + 1), PAYLOAD));
        }
        EXPECT_EQ(harness->TakeAll(), expected);
        ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
        harness->ExpectEveryBufferInOnePlace(row.waiting.size());
    }
}

TEST_F(StreamAcquisitionTest, NewestOnlyReturnsEveryWaitingBufferToTheEngineEmpty)
{
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly), GC_ERR_SUCCESS);
    const Handles handles = Queued(3);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    const BUFFER_HANDLE last = harness->AnnounceMany(1, PAYLOAD, true)[0];
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    Fill(9);
    EXPECT_EQ(Lost(), 3u);
    EXPECT_EQ(Scheduled(), handles);
    for (BUFFER_HANDLE handle : handles) EXPECT_FALSE(harness->Buffer(handle).HasNewData());
    EXPECT_EQ(harness->TakeAll(), Handles{last});
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, AuxiliaryFillsGoToTheOldestWaitingBufferOrAreLost)
{
    ASSERT_EQ(WriteRegister(AUX_COUNT_ADDRESS, 1), GC_ERR_SUCCESS);
    // Oldest first: nothing is ever displaced, every aux fill is lost.
    harness->Announce(PAYLOAD);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    for (uint8_t value = 0; value < 3; ++value) Fill(value);
    EXPECT_EQ(Lost(), 3u);
    EXPECT_EQ(Waiting(), 0u);
    ASSERT_EQ(Stream().ScheduledBuffers().size(), 1u);
    EXPECT_TRUE(Stream().ScheduledBuffers()[0]->IsAuxiliary());
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    // Overwrite: the aux fill replaces the oldest waiting buffer's.
    ASSERT_EQ(harness->Reopen(), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteRegister(AUX_COUNT_ADDRESS, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, GenTLCore::OldestFirstOverwrite), GC_ERR_SUCCESS);
    const Handles handles = Queued(3);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    for (uint8_t value = 1; value <= 4; ++value) Fill(value);  // the aux buffer fills last
    EXPECT_EQ(Lost(), 1u);
    EXPECT_EQ(harness->TakeAll(), (Handles{handles[1], handles[2], handles[0]}));
    EXPECT_TRUE(harness->HoldsBytes(handles[0], 4, PAYLOAD));
    EXPECT_EQ(static_cast<FakeBuffer&>(harness->Buffer(handles[0])).copy_fill_info_calls.load(), 1);
    ASSERT_EQ(Stream().ScheduledBuffers().size(), 1u);
    EXPECT_FALSE(Stream().ScheduledBuffers()[0]->HasNewData());
    Fill(5);  // nothing waits: lost
    EXPECT_EQ(Lost(), 2u);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    // Newest only: the aux fill goes to the oldest, the rest back to the engine.
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly), GC_ERR_SUCCESS);
    for (BUFFER_HANDLE handle : handles) Stream().QueueBuffer(handle);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    Fill(0xC3);
    EXPECT_EQ(Lost(), 2u + 3u) << "counted since the open";
    EXPECT_EQ(Stream().HeldCount(), 3u) << "two returned buffers and the auxiliary one";
    EXPECT_EQ(harness->TakeAll(), Handles{handles[0]});
    EXPECT_TRUE(harness->HoldsBytes(handles[0], 0xC3, PAYLOAD));
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, GrownPayloadReachesTheConsumerWholeThroughTheAuxBuffer)
{
    ASSERT_EQ(WriteRegister(AUX_COUNT_ADDRESS, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, GenTLCore::OldestFirstOverwrite), GC_ERR_SUCCESS);
    const BUFFER_HANDLE handle = harness->Announce(2 * PAYLOAD);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    Stream().knobs.payload_size = 2 * PAYLOAD;
    ASSERT_EQ(Stream().QueueBuffer(handle), GC_ERR_SUCCESS);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    Fill(0x11);
    Fill(0x5A);
    EXPECT_EQ(harness->TakeAll(), Handles{handle});
    EXPECT_TRUE(harness->HoldsBytes(handle, 0x5A, 2 * PAYLOAD));
    EXPECT_EQ(harness->Info(handle, BUFFER_INFO_DATA_SIZE), 2 * PAYLOAD);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, CountLimitedAcquisitionEndsByItselfAfterTheRequestedBuffers)
{
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_INFO);
    TestSupport::LogCapture log;
    const Handles handles = Queued(4);
    ASSERT_EQ(Start(2), GC_ERR_SUCCESS);
    Fill(1);
    EXPECT_TRUE(IsGrabbing());
    ASSERT_TRUE(Stream().FillNext(2));
    ASSERT_TRUE(EndsByItself());
    ASSERT_TRUE(Stream().FillNext(3));  // the engine still runs, nobody delivers
    EXPECT_EQ(ReadRegister(ACQUISITION_ACTIVE_ADDRESS), 1u);
    EXPECT_EQ(Start(2), GC_ERR_RESOURCE_IN_USE);
    EXPECT_EQ(harness->TakeAll(), (Handles{handles[0], handles[1]}));
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().calls.stop_streaming.load(), 1);
    EXPECT_EQ(InputPool(), 2u);
    EXPECT_FALSE(harness->Buffer(handles[2]).HasNewData()) << "a fill nobody took is void";
    harness->ExpectEveryBufferInOnePlace(2);
    EXPECT_TRUE(Logged(log,
                       "Implicit stop of the acquisition thread (required number of buffers "
                       "reached)."));
}

TEST_F(StreamAcquisitionTest, BuffersLeftFromAnEarlierAcquisitionDoNotCount)
{
    const Handles handles = Queued(5);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    for (uint8_t value = 1; value <= 3; ++value) Fill(value);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    ASSERT_EQ(Waiting(), 3u);
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly), GC_ERR_SUCCESS);
    ASSERT_EQ(Start(2), GC_ERR_SUCCESS);
    Fill(4);  // displaces the three left over
    EXPECT_TRUE(IsGrabbing());
    EXPECT_EQ(harness->TakeAll(), Handles{handles[3]});
    ASSERT_TRUE(Stream().FillNext(5));
    ASSERT_TRUE(TestSupport::WaitUntil([this] { return !IsGrabbing(); }));
    EXPECT_EQ(harness->TakeAll(), Handles{handles[4]});
    EXPECT_EQ(harness->Info(STREAM_INFO_NUM_DELIVERED), 2u);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, FailedOrUnknownEngineStatusEndsTheAcquisitionUntilReopened)
{
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_ERROR);
    TestSupport::LogCapture log;
    const std::string not_functional =
        ": the stream is marked as non-functional, check and reopen the device.";
    for (int status : {GenTLCore::WAITBUF_FAILED, 7}) {
        SCOPED_TRACE(status);
        harness = std::make_unique<StreamHarness<>>();
        const Handles handles = Queued(2);
        ASSERT_EQ(Start(), GC_ERR_SUCCESS);
        Stream().FailWith(status);
        ASSERT_TRUE(EndsByItself());
        ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
        EXPECT_EQ(Stream().calls.stop_streaming.load(), 1) << "stopped once in total";
        ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS);
        EXPECT_EQ(Stream().QueueBuffer(handles[0]), GC_ERR_ACCESS_DENIED);
        EXPECT_EQ(LastErrorText(), "QueueBuffer" + not_functional);
        EXPECT_EQ(Stream().FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_ACCESS_DENIED);
        EXPECT_EQ(LastErrorText(), "FlushQueue (unqueued to input)" + not_functional);
        for (ACQ_QUEUE_TYPE operation : {0, 1, 2, 4})
            EXPECT_EQ(Stream().FlushQueue(operation), GC_ERR_SUCCESS) << operation;
        ASSERT_EQ(harness->Reopen(), GC_ERR_SUCCESS);
        EXPECT_EQ(Stream().QueueBuffer(harness->Announce(PAYLOAD)), GC_ERR_SUCCESS);
    }
    EXPECT_TRUE(Logged(log,
                       "Acquisition engine reports unknown status. Undefined behaviour, "
                       "stopping the acquisition thread."));
}

// A consumer taking and re-queuing buffers as fast as the engine fills them
// and a reader asking DSGetInfo, while stop, the flushes of all buffers and
// finally close arrive from the test's thread: no buffer is lost or torn,
// and every thread ends.
TEST(AcquisitionStressTest, StopFlushAndCloseMidStreamLoseNoBuffer)
{
    constexpr size_t BYTES = 4096;
    InstallAcquisitionBranding();
    // The event's own diagnostic when a flush empties its queue between a
    // waiter's wake-up and its take; ordinary concurrent use reaches it.
    TestSupport::AssertionRecorder asserts;
    StreamHarness<ThreadedEngineStream> harness;
    harness->knobs.payload_size = BYTES;
    const Handles handles = harness.AnnounceMany(8, BYTES, true);
    std::map<BUFFER_HANDLE, const uint8_t*> memory;  // fixed before the threads start
    for (BUFFER_HANDLE handle : handles)
        memory[handle] = static_cast<const uint8_t*>(harness.Buffer(handle).GetContiguousBase());
    harness.RegisterNewBufferEvent();
    std::atomic<bool> done{false};
    std::atomic<uint64_t> deliveries{0};
    std::atomic<uint64_t> torn{0};
    const auto consume = [&] {
        while (!done.load()) {
            const auto [result, buffer] = harness.GetEvent(20);
            if (result != GC_ERR_SUCCESS) continue;
            const uint8_t* bytes = memory.at(buffer);
            if (bytes[0] != bytes[BYTES - 1]) ++torn;
            ++deliveries;
            harness->QueueBuffer(buffer);
        }
    };
    const auto read_info = [&] {
        while (!done.load())
            for (STREAM_INFO_CMD command : {STREAM_INFO_NUM_DELIVERED, STREAM_INFO_NUM_UNDERRUN,
                                            STREAM_INFO_NUM_QUEUED, STREAM_INFO_NUM_AWAIT_DELIVERY,
                                            STREAM_INFO_IS_GRABBING, STREAM_INFO_NUM_ANNOUNCED})
                harness.Info(command);
    };
    const std::pair<const char*, std::function<void()>> interruptions[] = {
        {"Stop", [&] { EXPECT_EQ(harness->StopAcquisition(0), GC_ERR_SUCCESS); }},
        {"FlushAllToInput",
         [&] { EXPECT_EQ(harness->FlushQueue(ACQ_QUEUE_ALL_TO_INPUT), GC_ERR_SUCCESS); }},
        {"FlushAllDiscard",
         [&] { EXPECT_EQ(harness->FlushQueue(ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS); }},
        {"Close", [&] { harness.Close(); }},
    };
    for (const auto& [name, interrupt] : interruptions) {
        SCOPED_TRACE(name);
        ASSERT_EQ(harness->StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
        done = false;
        std::thread consumer(consume);
        std::thread reader(read_info);
        const uint64_t target = deliveries.load() + 2000;
        EXPECT_TRUE(TestSupport::WaitUntil([&] { return deliveries.load() >= target; }, 20s));
        interrupt();
        done = true;
        consumer.join();
        reader.join();
        if (!harness->IsOpen()) break;
        EXPECT_FALSE(harness.Info(STREAM_INFO_IS_GRABBING));
        EXPECT_EQ(harness->HeldCount(), 0u);
        // Back to every buffer queued for the next round; the consumer may
        // have queued some after a discard.
        ASSERT_EQ(harness->FlushQueue(ACQ_QUEUE_ALL_TO_INPUT), GC_ERR_SUCCESS);
        harness.ExpectEveryBufferInOnePlace(0);
        EXPECT_EQ(harness.Info(STREAM_INFO_NUM_QUEUED), handles.size());
    }
    EXPECT_EQ(harness->HeldCount(), 0u);
    EXPECT_EQ(harness->calls.close_engine.load(), 1);
    EXPECT_EQ(torn.load(), 0u);
    for (const std::string& expression : asserts.Failures())
        EXPECT_NE(expression.find("Event queue unexpectedly empty"), std::string::npos)
            << expression;
}

}  // namespace
}  // namespace AcquisitionTest
