// GenTLDataStreamAcquisitionTest.cpp: acquisition start and stop, the core
// engine thread with its buffer handling modes, count-limited acquisition,
// engine failure and auxiliary buffers, against the deterministic engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AcquisitionTestHelpers.h"
#include "FakeBuffer.h"
#include "LogCapture.h"
#include "StreamHarness.h"
#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/Logger.h"
#include "support/WaitUntil.h"

namespace AcquisitionTest {
namespace {

using namespace std::chrono_literals;
using GenTLCore::GenTLBuffer;
using Handles = std::vector<BUFFER_HANDLE>;

constexpr size_t PAYLOAD = 64;

class StreamAcquisitionTest : public StreamFixture {
protected:
    void WriteRegister(uint64_t address, uint32_t value)
    {
        ASSERT_EQ(StreamFixture::WriteRegister(address, value), GC_ERR_SUCCESS);
    }
    // Announces and queues `count` buffers of the payload size.
    Handles QueuedBuffers(size_t count)
    {
        const Handles handles = harness->AnnounceMany(count, PAYLOAD);
        harness->QueueAll(handles);
        return handles;
    }
    // The engine fills its next buffer and the core engine thread is done with it.
    void Fill(uint8_t value)
    {
        ASSERT_TRUE(Stream().FillNext(value));
        ASSERT_TRUE(Stream().WaitUntilIdle());
    }
    // What waits in the new-buffer event, taken out in order.
    Handles TakeAll()
    {
        Handles taken;
        for (EventDatum datum = harness->GetEvent(0); datum.result == GC_ERR_SUCCESS;
             datum = harness->GetEvent(0))
            taken.push_back(datum.buffer);
        return taken;
    }
    static bool Logged(const TestSupport::LogCapture& log, const std::string& text)
    {
        const std::vector<std::string> lines = log.Lines();
        return std::any_of(lines.begin(), lines.end(), [&text](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }
    uint64_t Lost() { return harness->InfoUInt64(STREAM_INFO_NUM_UNDERRUN); }
    uint64_t Waiting() { return harness->InfoUInt64(STREAM_INFO_NUM_AWAIT_DELIVERY); }
    uint64_t InputPool() { return harness->InfoUInt64(STREAM_INFO_NUM_QUEUED); }
    bool HoldsBytes(BUFFER_HANDLE handle, uint8_t value, size_t count)
    {
        const uint8_t* memory = harness->Memory(handle);
        return std::all_of(memory, memory + count, [value](uint8_t b) { return b == value; });
    }
    // Every announced buffer sits in exactly one place: the engine, the
    // input pool, the new-buffer event, or the consumer's hands.
    void ExpectEveryBufferInOnePlace(const Handles& handles, size_t consumer_held)
    {
        size_t queued = 0;
        for (BUFFER_HANDLE handle : handles) queued += harness->IsQueued(handle) ? 1 : 0;
        EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_ANNOUNCED), handles.size());
        EXPECT_EQ(Stream().HeldCount() + InputPool() + Waiting(), queued);
        EXPECT_EQ(handles.size() - queued, consumer_held);
    }
};

// ---- Start ----

using AcquisitionStartTest = StreamAcquisitionTest;

TEST_F(AcquisitionStartTest, RunsTheEngineWithEveryQueuedBufferInQueueOrder)
{
    const Handles handles = QueuedBuffers(3);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    EXPECT_TRUE(harness->IsGrabbing());
    std::vector<GenTLBuffer*> scheduled = Stream().ScheduledBuffers();
    ASSERT_EQ(scheduled.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scheduled[i]->GetHandle(), handles[i]);
        EXPECT_TRUE(scheduled[i]->IsScheduled());
    }
    EXPECT_EQ(InputPool(), 0u);
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_RESOURCE_IN_USE);
    EXPECT_EQ(LastErrorText(), "StartAcquisition: acquisition already started");
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

// The violations a start checks, in the order it checks them; each case
// commits its own violation and every later one.
struct StartViolation {
    const char* name;
    GC_ERROR expected;
    const char* text;
};

const StartViolation START_VIOLATIONS[] = {
    {"RegisterStreaming", GC_ERR_BUSY,
     "StartAcquisition: not allowed during active persistence operation"},
    {"StartFlags", GC_ERR_NOT_IMPLEMENTED,
     "StartAcquisition: the requested acquisition start flag(s) not implemented"},
    {"ZeroBuffers", GC_ERR_INVALID_PARAMETER,
     "StartAcquisition: the consumer requested to acquire zero buffers"},
    {"NothingAnnounced", GC_ERR_INVALID_BUFFER,
     "StartAcquisition: no buffers announced, nothing to be acquired"},
};

class AcquisitionStartOrderTest : public StreamAcquisitionTest,
                                  public ::testing::WithParamInterface<size_t> {};

TEST_P(AcquisitionStartOrderTest, RefusesTheFirstViolationInOrder)
{
    const size_t first = GetParam();
    if (first == 0) WriteRegister(0x0E000008, 1);
    const ACQ_START_FLAGS flags = first <= 1 ? 1 : 0;
    const uint64_t count = first <= 2 ? 0 : 5;
    EXPECT_EQ(Stream().StartAcquisition(flags, count), START_VIOLATIONS[first].expected);
    EXPECT_EQ(LastErrorText(), START_VIOLATIONS[first].text);
    EXPECT_EQ(Stream().calls.prepare_streaming.load(), 0);
    EXPECT_FALSE(harness->IsGrabbing());
}

INSTANTIATE_TEST_SUITE_P(Checks, AcquisitionStartOrderTest, ::testing::Values(0, 1, 2, 3),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return std::string(START_VIOLATIONS[info.param].name);
                         });

TEST_F(AcquisitionStartTest, ZeroPayloadThenASmallBufferIsRefusedBeforeTheEngineIsPrepared)
{
    QueuedBuffers(2);
    harness->Announce(PAYLOAD - 1);
    Stream().knobs.payload_size = 0;
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_ERROR);
    EXPECT_EQ(LastErrorText(),
              "StartAcquisition: the reported stream payload size is zero, nothing to be acquired");
    Stream().knobs.payload_size = PAYLOAD;
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(LastErrorText(),
              "StartAcquisition: one or more of the announced buffers are smaller than required");
    EXPECT_EQ(Stream().calls.prepare_streaming.load(), 0);
    Stream().knobs.knows_payload_size = false;
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(AcquisitionStartTest, EngineRefusalsEndTheStartAndUndoTheConfiguration)
{
    QueuedBuffers(2);
    Stream().knobs.prepare_streaming_result = GC_ERR_IO;
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_IO);
    EXPECT_EQ(Stream().calls.deconfigure.load(), 0);
    Stream().knobs.prepare_streaming_result = GC_ERR_SUCCESS;
    Stream().knobs.prepare_buffer_ok = false;
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(LastErrorText(), "StartAcquisition: failed to prepare the buffers for streaming");
    EXPECT_EQ(Stream().calls.deconfigure.load(), 1);
    Stream().knobs.prepare_buffer_ok = true;
    Stream().knobs.start_streaming_result = GC_ERR_TIMEOUT;
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_TIMEOUT);
    EXPECT_EQ(Stream().calls.deconfigure.load(), 2);
    EXPECT_EQ(Stream().calls.start_engine.load(), 0);
    Stream().knobs.start_streaming_result = GC_ERR_SUCCESS;
    Stream().knobs.start_engine_ok = false;
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_ERROR);
    EXPECT_EQ(LastErrorText(), "StartAcquisition: failed to start the acquisition engine");
    EXPECT_EQ(Stream().calls.stop_streaming.load(), 1);
    EXPECT_EQ(Stream().calls.deconfigure.load(), 3);
    EXPECT_EQ(Stream().HeldCount(), 0u);
    EXPECT_FALSE(harness->IsGrabbing());
    EXPECT_EQ(InputPool(), 2u);
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_RESOURCE_IN_USE);
    Stream().knobs.start_engine_ok = true;
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(AcquisitionStartTest, AuxiliaryTroubleOnlyWarns)
{
    WriteRegister(AUX_COUNT_ADDRESS, 2);
    Stream().knobs.create_aux_fails = true;
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_WARNING);
    TestSupport::LogCapture log;
    QueuedBuffers(1);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().ScheduledBuffers().size(), 1u) << "no auxiliary buffer";
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    Stream().knobs.create_aux_fails = false;
    Stream().knobs.prepare_aux_ok = false;
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().ScheduledBuffers().size(), 1u);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    EXPECT_TRUE(Logged(log,
                       "StartAcquisition: failed to create required auxiliary buffers, "
                       "continuing without aux buffers"));
    EXPECT_TRUE(Logged(log,
                       "StartAcquisition: failed to prepare aux buffersfor streaming, continuing "
                       "without aux buffers"));
}

// ---- Stop ----

using AcquisitionStopTest = StreamAcquisitionTest;

TEST_F(AcquisitionStopTest, StopWithoutStartIsRefusedUnlessTheBrandingAllowsIt)
{
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_RESOURCE_IN_USE);
    EXPECT_EQ(LastErrorText(),
              "StopAcquisition: attempt to stop acquisition when it is not started");
    branding->stop_without_start_allowed = true;
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(AcquisitionStopTest, UnknownStopFlagsStopFirstThenFail)
{
    QueuedBuffers(2);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().StopAcquisition(2), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(),
              "StopAcquisition: the requested acquisition stop flag(s) not implemented");
    EXPECT_FALSE(harness->IsGrabbing());
    EXPECT_EQ(InputPool(), 2u);
    EXPECT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().StopAcquisition(ACQ_STOP_FLAGS_KILL), GC_ERR_SUCCESS);
}

TEST_F(AcquisitionStopTest, FailedDeviceStopIsReportedAfterTheBuffersCameBack)
{
    QueuedBuffers(3);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    Fill(1);
    Stream().knobs.stop_streaming_ok = false;
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_IO);
    EXPECT_EQ(LastErrorText(), "StopAcquisition: failed to stop the streaming");
    EXPECT_EQ(Stream().HeldCount(), 0u);
    EXPECT_EQ(InputPool(), 2u);
    EXPECT_EQ(Waiting(), 1u);
    EXPECT_EQ(Stream().calls.deconfigure.load(), 1);
}

TEST_F(AcquisitionStopTest, EngineBuffersReturnToTheInputPoolInTheEnginesOrder)
{
    const Handles handles = QueuedBuffers(4);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    Fill(1);
    ASSERT_EQ(Stream().QueueBuffer(harness->GetEvent(0).buffer), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    std::vector<GenTLBuffer*> scheduled = Stream().ScheduledBuffers();
    ASSERT_EQ(scheduled.size(), 4u);
    const Handles expected = {handles[1], handles[2], handles[3], handles[0]};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(scheduled[i]->GetHandle(), expected[i]) << i;
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(AcquisitionStopTest, WaitingConsumerKeepsWaitingThroughStopAndIsAbortedByClose)
{
    QueuedBuffers(1);
    harness->RegisterNewBufferEvent();
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    auto waiter = std::async(std::launch::async, [this] { return harness->GetEvent(10000); });
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    EXPECT_EQ(waiter.wait_for(50ms), std::future_status::timeout);
    harness->Close();
    ASSERT_EQ(waiter.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiter.get().result, GC_ERR_ABORT);
}

// ---- Buffer handling modes with consumer buffers ----

// Four buffers queued, the engine fills the first three: what waits in the
// event, how many blocks were lost and how many buffers the engine holds.
struct ModeCase {
    const char* name;
    uint32_t mode;
    std::vector<size_t> waiting;  // indexes of the filled buffers, in event order
    uint64_t lost;
    size_t engine_held;
};

class BufferHandlingModeTest : public StreamAcquisitionTest,
                               public ::testing::WithParamInterface<ModeCase> {};

TEST_P(BufferHandlingModeTest, DeliversTheRightBuffers)
{
    const ModeCase& c = GetParam();
    WriteRegister(MODE_ADDRESS, c.mode);
    const Handles handles = QueuedBuffers(4);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    for (uint8_t value = 1; value <= 3; ++value) Fill(value);
    EXPECT_EQ(Lost(), c.lost);
    EXPECT_EQ(Stream().HeldCount(), c.engine_held);
    Handles expected;
    for (size_t index : c.waiting) expected.push_back(handles[index]);
    EXPECT_EQ(TakeAll(), expected);
    for (size_t index : c.waiting)
        EXPECT_TRUE(HoldsBytes(handles[index], static_cast<uint8_t>(index + 1), PAYLOAD));
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    ExpectEveryBufferInOnePlace(handles, c.waiting.size());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, BufferHandlingModeTest,
    ::testing::Values(ModeCase{"OldestFirst", GenTLCore::OldestFirst, {0, 1, 2}, 0, 1},
                      ModeCase{
                          "OldestFirstOverwrite", GenTLCore::OldestFirstOverwrite, {0, 1, 2}, 0, 1},
                      ModeCase{"NewestOnly", GenTLCore::NewestOnly, {2}, 2, 3}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return info.param.name; });

TEST_F(StreamAcquisitionTest, NewestOnlyReturnsEveryWaitingBufferToTheEngine)
{
    WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly);
    const Handles handles = harness->AnnounceMany(4, PAYLOAD);
    // Three buffers wait from before the start.
    harness->QueueAll({handles[0], handles[1], handles[2]});
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().QueueBuffer(handles[3]), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    Fill(9);
    EXPECT_EQ(Lost(), 3u);
    EXPECT_EQ(Waiting(), 1u);
    std::vector<GenTLBuffer*> scheduled = Stream().ScheduledBuffers();
    ASSERT_EQ(scheduled.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scheduled[i]->GetHandle(), handles[i]);
        EXPECT_TRUE(scheduled[i]->IsQueued() && scheduled[i]->IsScheduled());
        EXPECT_FALSE(scheduled[i]->HasNewData());
    }
    EXPECT_EQ(TakeAll(), Handles{handles[3]});
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

// ---- Auxiliary buffers ----

class AcquisitionAuxBufferTest : public StreamAcquisitionTest {
protected:
    void SetUp() override
    {
        StreamAcquisitionTest::SetUp();
        WriteRegister(AUX_COUNT_ADDRESS, 1);
    }
};

TEST_F(AcquisitionAuxBufferTest, OldestFirstDropsEveryAuxFillAndKeepsTheAuxCycling)
{
    ASSERT_NE(harness->Announce(PAYLOAD), nullptr);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    for (uint8_t value = 0; value < 3; ++value) Fill(value);
    EXPECT_EQ(Lost(), 3u);
    EXPECT_EQ(Waiting(), 0u);
    ASSERT_EQ(Stream().HeldCount(), 1u);
    EXPECT_TRUE(Stream().ScheduledBuffers()[0]->IsAuxiliary());
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(AcquisitionAuxBufferTest, OverwriteCopiesTheAuxFillIntoTheOldestWaitingBuffer)
{
    WriteRegister(MODE_ADDRESS, GenTLCore::OldestFirstOverwrite);
    const Handles handles = QueuedBuffers(3);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    for (uint8_t value = 1; value <= 3; ++value) Fill(value);
    Fill(0xA5);  // the auxiliary buffer is next in the engine
    EXPECT_EQ(Lost(), 1u);
    EXPECT_EQ(TakeAll(), (Handles{handles[1], handles[2], handles[0]}));
    EXPECT_TRUE(HoldsBytes(handles[0], 0xA5, PAYLOAD));
    auto* first = static_cast<FakeBuffer*>(harness->Buffer(handles[0]).Get());
    EXPECT_EQ(first->copy_fill_info_calls.load(), 1);
    std::vector<GenTLBuffer*> scheduled = Stream().ScheduledBuffers();
    ASSERT_EQ(scheduled.size(), 1u);
    EXPECT_TRUE(scheduled[0]->IsAuxiliary());
    EXPECT_FALSE(scheduled[0]->HasNewData());
    Fill(0x5A);  // nothing waits: dropped
    EXPECT_EQ(Lost(), 2u);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(AcquisitionAuxBufferTest, NewestOnlyCopiesTheAuxFillIntoTheOldestAndReturnsTheRest)
{
    WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly);
    const Handles handles = harness->AnnounceMany(3, PAYLOAD);
    harness->QueueAll(handles);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    Fill(0xC3);
    EXPECT_EQ(Lost(), 3u);
    EXPECT_EQ(Waiting(), 1u);
    EXPECT_EQ(Stream().HeldCount(), 3u) << "two returned buffers and the auxiliary one";
    EXPECT_EQ(TakeAll(), Handles{handles[0]});
    EXPECT_TRUE(HoldsBytes(handles[0], 0xC3, PAYLOAD));
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(AcquisitionAuxBufferTest, GrownPayloadReachesTheConsumerWhole)
{
    WriteRegister(MODE_ADDRESS, GenTLCore::OldestFirstOverwrite);
    const BUFFER_HANDLE handle = harness->Announce(2 * PAYLOAD);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    Stream().knobs.payload_size = 2 * PAYLOAD;
    ASSERT_EQ(Stream().QueueBuffer(handle), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    Fill(0x11);
    Fill(0x5A);
    EXPECT_EQ(TakeAll(), Handles{handle});
    EXPECT_TRUE(HoldsBytes(handle, 0x5A, 2 * PAYLOAD));
    const auto data_size = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return Stream().GetBufferInfo(handle, BUFFER_INFO_DATA_SIZE, t, b, s);
    });
    EXPECT_EQ(data_size.value, 2 * PAYLOAD);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

// ---- Count-limited acquisition ----

using AcquisitionCountLimitTest = StreamAcquisitionTest;

TEST_F(AcquisitionCountLimitTest, EndsByItselfAfterTheRequestedBuffers)
{
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_INFO);
    TestSupport::LogCapture log;
    const Handles handles = QueuedBuffers(4);
    ASSERT_EQ(Stream().StartAcquisition(0, 2), GC_ERR_SUCCESS);
    Fill(1);
    EXPECT_TRUE(harness->IsGrabbing());
    ASSERT_TRUE(Stream().FillNext(2));
    ASSERT_TRUE(TestSupport::WaitUntil([this] { return !harness->IsGrabbing(); }));
    ASSERT_TRUE(Stream().FillNext(3));  // the engine still runs, nobody delivers
    // The engine thread ends grabbing before it stops the device streaming.
    EXPECT_TRUE(TestSupport::WaitUntil([this] { return Stream().calls.stop_streaming.load() == 1; }));
    EXPECT_EQ(ReadRegister(ACQUISITION_ACTIVE_ADDRESS), 1u);
    EXPECT_EQ(Stream().StartAcquisition(0, 2), GC_ERR_RESOURCE_IN_USE);
    EXPECT_EQ(TakeAll(), (Handles{handles[0], handles[1]}));
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().calls.stop_streaming.load(), 1);
    EXPECT_EQ(InputPool(), 2u);
    ExpectEveryBufferInOnePlace(handles, 2);
    EXPECT_TRUE(Logged(log,
                       "Implicit stop of the acquisition thread (required number of buffers "
                       "reached)."));
}

TEST_F(AcquisitionCountLimitTest, BuffersLeftFromAnEarlierAcquisitionDoNotCount)
{
    const Handles handles = QueuedBuffers(5);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    for (uint8_t value = 1; value <= 3; ++value) Fill(value);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    ASSERT_EQ(Waiting(), 3u);
    WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly);
    ASSERT_EQ(Stream().StartAcquisition(0, 2), GC_ERR_SUCCESS);
    Fill(4);  // displaces the three left over
    EXPECT_TRUE(harness->IsGrabbing());
    EXPECT_EQ(TakeAll(), Handles{handles[3]});
    ASSERT_TRUE(Stream().FillNext(5));
    ASSERT_TRUE(TestSupport::WaitUntil([this] { return !harness->IsGrabbing(); }));
    EXPECT_EQ(TakeAll(), Handles{handles[4]});
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_DELIVERED), 2u);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

// ---- Flush during acquisition ----

using FlushDuringAcquisitionTest = StreamAcquisitionTest;

TEST_F(FlushDuringAcquisitionTest, AllToInputStopsAndRequeuesEveryBuffer)
{
    const Handles handles = QueuedBuffers(3);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    Fill(1);
    Fill(2);
    ASSERT_EQ(harness->GetEvent(0).buffer, handles[0]);  // the consumer holds one
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_ALL_TO_INPUT), GC_ERR_SUCCESS);
    EXPECT_FALSE(harness->IsGrabbing());
    EXPECT_EQ(InputPool(), 3u);
    EXPECT_EQ(Waiting(), 0u);
    ExpectEveryBufferInOnePlace(handles, 0);
    EXPECT_EQ(Stream().StopAcquisition(0), GC_ERR_RESOURCE_IN_USE);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().ScheduledBuffers().size(), 3u);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

TEST_F(FlushDuringAcquisitionTest, AllDiscardStopsAndMakesEveryBufferRevocable)
{
    const Handles handles = QueuedBuffers(3);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->Revoke(handles[0]), GC_ERR_BUSY);
    EXPECT_EQ(LastErrorText(), "RevokeBuffer: revoking buffers during acquisition not supported");
    Fill(1);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS);
    EXPECT_FALSE(harness->IsGrabbing());
    for (BUFFER_HANDLE handle : handles) EXPECT_EQ(harness->Revoke(handle), GC_ERR_SUCCESS);
}

TEST_F(FlushDuringAcquisitionTest, AnnouncingDuringAcquisitionFollowsTheBranding)
{
    QueuedBuffers(1);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    GC_ERROR result = GC_ERR_SUCCESS;
    std::vector<uint8_t> memory(PAYLOAD);
    harness->AnnounceAt(memory.data(), PAYLOAD, nullptr, &result);
    EXPECT_EQ(result, GC_ERR_BUSY);
    EXPECT_EQ(LastErrorText(),
              "AnnounceBuffer: announcing buffers during acquisition not supported");
    branding->buffer_changes_during_acquisition = true;
    harness->AnnounceAt(memory.data(), PAYLOAD - 1, nullptr, &result);
    EXPECT_EQ(result, GC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(LastErrorText(),
              "AnnounceBuffer: the buffer announced while actively streaming is smaller than "
              "required");
    const BUFFER_HANDLE late = harness->AnnounceAt(memory.data(), PAYLOAD, nullptr, &result);
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(Stream().QueueBuffer(late), GC_ERR_SUCCESS);
    EXPECT_TRUE(harness->Buffer(late)->IsScheduled());
    EXPECT_EQ(harness->Revoke(late), GC_ERR_BUSY);
    EXPECT_EQ(LastErrorText(), "RevokeBuffer: attempt to revoke a queued buffer.");
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

// ---- Engine failure ----

using AcquisitionEngineFailureTest = StreamAcquisitionTest;

TEST_F(AcquisitionEngineFailureTest, FailedEngineMarksTheStreamNonFunctionalUntilReopened)
{
    const Handles handles = QueuedBuffers(2);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    Stream().FailWith(GenTLCore::WAITBUF_FAILED);
    ASSERT_TRUE(TestSupport::WaitUntil([this] { return !harness->IsGrabbing(); }));
    // The engine thread ends grabbing before it stops the device streaming.
    EXPECT_TRUE(TestSupport::WaitUntil([this] { return Stream().calls.stop_streaming.load() == 1; }));
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().calls.stop_streaming.load(), 1) << "stopped once in total";
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().QueueBuffer(handles[0]), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "QueueBuffer: the stream is marked as non-functional, check and reopen the device.");
    EXPECT_EQ(Stream().FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "FlushQueue (unqueued to input): the stream is marked as non-functional, check and "
              "reopen the device.");
    for (ACQ_QUEUE_TYPE operation : {0, 1, 2, 4})
        EXPECT_EQ(Stream().FlushQueue(operation), GC_ERR_SUCCESS) << operation;
    ASSERT_EQ(harness->Reopen(), GC_ERR_SUCCESS);
    const BUFFER_HANDLE fresh = harness->Announce(PAYLOAD);
    EXPECT_EQ(Stream().QueueBuffer(fresh), GC_ERR_SUCCESS);
}

TEST_F(AcquisitionEngineFailureTest, UnknownEngineStatusEndsTheAcquisition)
{
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_ERROR);
    TestSupport::LogCapture log;
    QueuedBuffers(1);
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    Stream().FailWith(7);
    ASSERT_TRUE(TestSupport::WaitUntil([this] { return !harness->IsGrabbing(); }));
    // The engine thread ends grabbing before it stops the device streaming.
    EXPECT_TRUE(TestSupport::WaitUntil([this] { return Stream().calls.stop_streaming.load() == 1; }));
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
    EXPECT_TRUE(Logged(log,
                       "Acquisition engine reports unknown status. Undefined behaviour, "
                       "stopping the acquisition thread."));
}

}  // namespace
}  // namespace AcquisitionTest
