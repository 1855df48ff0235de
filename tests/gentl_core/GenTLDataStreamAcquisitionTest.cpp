// GenTLDataStreamAcquisitionTest.cpp: acquisition start and stop, the core
// engine thread with its buffer handling modes, auxiliary buffers,
// count-limited acquisition and engine failure against the deterministic
// engine, and a consumer racing stop, flush and close against the
// threaded one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
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
    // The engine thread ends grabbing before it stops the device streaming.
    bool EndsByItself()
    {
        return TestSupport::WaitUntil([this] { return !IsGrabbing(); }) &&
               TestSupport::WaitUntil([this] { return Stream().calls.stop_streaming.load() == 1; });
    }
    bool Logged(const std::string& text)
    {
        const std::vector<std::string> lines = log.Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }
    // Also what the log records; reset by the fixture's tear-down.
    const int log_level = (GenTLCore::SetLogLevelForTest(LOG_LEVEL_INFO), 0);
    TestSupport::LogCapture log;
};

TEST_F(StreamAcquisitionTest, StartAndStopHandBuffersToTheEngineAndBackAndUndoEveryRefusal)
{
    const Handles handles = Queued(2);
    harness->Announce(PAYLOAD - 1);  // fine while the payload size is unknown
    Stream().knobs.knows_payload_size = false;
    Stream().knobs.prepare_streaming_result = GC_ERR_IO;
    EXPECT_EQ(Start(), GC_ERR_IO);
    Stream().knobs.prepare_streaming_result = GC_ERR_SUCCESS;
    Stream().knobs.start_streaming_result = GC_ERR_TIMEOUT;
    EXPECT_EQ(Start(), GC_ERR_TIMEOUT);
    Stream().knobs.start_streaming_result = GC_ERR_SUCCESS;
    Stream().knobs.start_engine_ok = false;
    EXPECT_EQ(Start(), GC_ERR_ERROR);
    EXPECT_EQ(LastErrorText(), "StartAcquisition: failed to start the acquisition engine");
    // Undone: deconfigured after each refusal but the first, nothing grabbing or held.
    EXPECT_EQ(
        (std::vector<int>{Stream().calls.deconfigure, Stream().calls.stop_streaming, IsGrabbing()}),
        (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(Pools(), (PoolCounts{2, 0, 0, 0}));
    Stream().knobs.start_engine_ok = true;
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadRegister(ACQUISITION_ACTIVE_ADDRESS), 1u);
    EXPECT_EQ(Scheduled(), handles);
    EXPECT_EQ(Pools(), (PoolCounts{0, 0, 2, 0}));
    Stream().knobs.stop_streaming_ok = false;
    EXPECT_EQ(Stop(ACQ_STOP_FLAGS_KILL), GC_ERR_IO) << "stopped all the same";
    EXPECT_EQ(Pools(), (PoolCounts{2, 0, 0, 0}));
    branding->stop_without_start_allowed = true;
    EXPECT_EQ(Stop(), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, AuxiliaryTroubleOnlyWarns)
{
    ASSERT_EQ(WriteRegister(AUX_COUNT_ADDRESS, 2), GC_ERR_SUCCESS);
    Queued(1);
    for (bool create_fails : {true, false}) {
        Stream().knobs.create_aux_fails = create_fails;
        Stream().knobs.prepare_aux_ok = create_fails;
        ASSERT_EQ(Start(), GC_ERR_SUCCESS);
        EXPECT_EQ(Stream().ScheduledBuffers().size(), 1u) << "no auxiliary buffer";
        ASSERT_EQ(Stop(), GC_ERR_SUCCESS);
    }
    EXPECT_TRUE(
        Logged("StartAcquisition: failed to create required auxiliary buffers, continuing without "
               "aux buffers"));
    EXPECT_TRUE(
        Logged("StartAcquisition: failed to prepare aux buffersfor streaming, continuing without "
               "aux buffers"));
}

TEST_F(StreamAcquisitionTest, AuxiliaryFillsGoToTheOldestWaitingBufferOrAreLost)
{
    ASSERT_EQ(WriteRegister(AUX_COUNT_ADDRESS, 1), GC_ERR_SUCCESS);
    // Oldest first: nothing is ever displaced, every aux fill is lost.
    harness->Announce(PAYLOAD);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    for (uint8_t value = 0; value < 3; ++value) Fill(value);
    EXPECT_EQ(Pools(), (PoolCounts{0, 0, 1, 3}));
    EXPECT_TRUE(Stream().ScheduledBuffers().at(0)->IsAuxiliary());
    ASSERT_EQ(Stop(), GC_ERR_SUCCESS);
    // Overwrite: the aux fill replaces the oldest waiting buffer's.
    ASSERT_EQ(harness->Reopen(), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteRegister(AUX_COUNT_ADDRESS, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, GenTLCore::OldestFirstOverwrite), GC_ERR_SUCCESS);
    const Handles handles = Queued(3);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    for (uint8_t value = 1; value <= 4; ++value) Fill(value);  // the aux buffer fills last
    EXPECT_EQ(harness->TakeAll(), (Handles{handles[1], handles[2], handles[0]}));
    EXPECT_EQ(
        std::vector<uint8_t>(harness->Bytes(handles[0]), harness->Bytes(handles[0]) + PAYLOAD),
        std::vector<uint8_t>(PAYLOAD, 4));
    EXPECT_EQ(static_cast<FakeBuffer&>(harness->Buffer(handles[0])).copy_fill_info_calls.load(), 1);
    EXPECT_FALSE(Stream().ScheduledBuffers().at(0)->HasNewData());
    Fill(5);  // nothing waits: lost
    EXPECT_EQ(Pools(), (PoolCounts{0, 0, 1, 2}));
    ASSERT_EQ(Stop(), GC_ERR_SUCCESS);
    // Newest only: the aux fill goes to the oldest, the rest back to the engine empty.
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly), GC_ERR_SUCCESS);
    for (BUFFER_HANDLE handle : handles) Stream().QueueBuffer(handle);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    Fill(0xC3);
    EXPECT_EQ(Pools(), (PoolCounts{0, 1, 3, 5}))
        << "two returned buffers and the auxiliary one; lost since the open";
    EXPECT_FALSE(harness->Buffer(handles[1]).HasNewData());
    EXPECT_EQ(harness->TakeAll(), Handles{handles[0]});
    EXPECT_EQ(
        std::vector<uint8_t>(harness->Bytes(handles[0]), harness->Bytes(handles[0]) + PAYLOAD),
        std::vector<uint8_t>(PAYLOAD, 0xC3));
    ASSERT_EQ(Stop(), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, CountLimitedAcquisitionEndsByItselfAfterTheRequestedBuffers)
{
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
    EXPECT_EQ(Stop(), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().calls.stop_streaming.load(), 1);
    EXPECT_FALSE(harness->Buffer(handles[2]).HasNewData()) << "a fill nobody took is void";
    EXPECT_EQ(Pools(), (PoolCounts{2, 0, 0, 0}));
    harness->ExpectEveryBufferInOnePlace(2);
    EXPECT_TRUE(
        Logged("Implicit stop of the acquisition thread (required number of buffers reached)."));
}

TEST_F(StreamAcquisitionTest, BuffersLeftFromAnEarlierAcquisitionDoNotCount)
{
    const Handles handles = Queued(5);
    ASSERT_EQ(Start(), GC_ERR_SUCCESS);
    for (uint8_t value = 1; value <= 3; ++value) Fill(value);
    ASSERT_EQ(Stop(), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly), GC_ERR_SUCCESS);
    ASSERT_EQ(Start(2), GC_ERR_SUCCESS);
    Fill(4);  // displaces the three left over
    EXPECT_TRUE(IsGrabbing());
    EXPECT_EQ(harness->TakeAll(), Handles{handles[3]});
    ASSERT_TRUE(Stream().FillNext(5));
    ASSERT_TRUE(TestSupport::WaitUntil([this] { return !IsGrabbing(); }));
    EXPECT_EQ(harness->TakeAll(), Handles{handles[4]});
    EXPECT_EQ(harness->Info(STREAM_INFO_NUM_DELIVERED), 2u);
    ASSERT_EQ(Stop(), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, FailedOrUnknownEngineStatusEndsTheAcquisitionUntilReopened)
{
    for (int status : {GenTLCore::WAITBUF_FAILED, 7}) {
        SCOPED_TRACE(status);
        harness = std::make_unique<StreamHarness<>>();
        const Handles handles = Queued(2);
        ASSERT_EQ(Start(), GC_ERR_SUCCESS);
        Stream().FailWith(status);
        ASSERT_TRUE(EndsByItself());
        ASSERT_EQ(Stop(), GC_ERR_SUCCESS);
        EXPECT_EQ(Stream().calls.stop_streaming.load(), 1) << "stopped once in total";
        ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS);
        EXPECT_EQ(Stream().QueueBuffer(handles[0]), GC_ERR_ACCESS_DENIED);
        EXPECT_EQ(Stream().FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_ACCESS_DENIED);
        EXPECT_EQ(LastErrorText(),
                  "FlushQueue (unqueued to input): the stream is marked as non-functional, check "
                  "and reopen the device.");
        for (ACQ_QUEUE_TYPE operation : {0, 1, 2, 4})
            EXPECT_EQ(Stream().FlushQueue(operation), GC_ERR_SUCCESS) << operation;
        ASSERT_EQ(harness->Reopen(), GC_ERR_SUCCESS);
        EXPECT_EQ(Stream().QueueBuffer(harness->Announce(PAYLOAD)), GC_ERR_SUCCESS);
    }
    EXPECT_TRUE(
        Logged("Acquisition engine reports unknown status. Undefined behaviour, stopping the "
               "acquisition thread."));
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
    for (BUFFER_HANDLE handle : handles) memory[handle] = harness.Bytes(handle);
    harness.RegisterNewBufferEvent();
    std::atomic<bool> done{false};
    std::atomic<uint64_t> deliveries{0}, torn{0};
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
    // clang-format off
    const std::pair<const char*, std::function<void()>> interruptions[] = {
        {"Stop", [&] { EXPECT_EQ(harness->StopAcquisition(0), GC_ERR_SUCCESS); }},
        {"FlushAllToInput", [&] { EXPECT_EQ(harness->FlushQueue(ACQ_QUEUE_ALL_TO_INPUT), GC_ERR_SUCCESS); }},
        {"FlushAllDiscard", [&] { EXPECT_EQ(harness->FlushQueue(ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS); }},
        {"Close", [&] { harness.Close(); }},
    };
    // clang-format on
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
        EXPECT_FALSE(harness.Info(STREAM_INFO_IS_GRABBING) & 0xFF);
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

class ParkedThread : public GenTLCore::SimpleThread {
public:
    GenTLCore::Signal release;
    std::atomic<bool> running{false};

protected:
    void Run() override
    {
        running = true;
        release.Wait(10.0);
    }
};

// As user "nobody" a thread may lower its priority, never raise it. 0 when
// the raise is refused and the lowered priority still reads back.
int RaiseAsNobody()
{
    ParkedThread thread;
    int policy = 0, lowered = 0, after_refusal = 0;
    const bool started = ::setuid(65534) == 0 && thread.Start() &&
                         TestSupport::WaitUntil([&] { return thread.running.load(); });
    const bool lowers = thread.SetPriority(0, -2) && thread.GetPriority(&policy, &lowered);
    const bool raises = thread.SetPriority(0, 2);
    thread.GetPriority(&policy, &after_refusal);
    thread.release.Post();
    thread.Join();
    return started && lowers && lowered == -2 && !raises && after_refusal == -2 ? 0 : 1;
}

TEST(ThreadPriorityTest, ARefusedRaiseFailsAndThePriorityReadIsTheRealOne)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";  // earlier cases left threads behind
    EXPECT_EXIT(_exit(RaiseAsNobody()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace AcquisitionTest
