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
#include "StreamHarness.h"
#include "support/WaitUntil.h"

namespace AcquisitionTest {
namespace {

using namespace std::chrono_literals;

constexpr size_t PAYLOAD = 64;

class StreamAcquisitionTest : public StreamFixture {
protected:
    Handles Queued(size_t count) { return harness->AnnounceMany(count, PAYLOAD, true); }
    // The engine thread ends grabbing before it stops the device streaming.
    bool EndsByItself()
    {
        return TestSupport::WaitUntil([this] { return !IsGrabbing(); }) &&
               TestSupport::WaitUntil([this] { return Stream().calls.stop_streaming.load() == 1; });
    }
    Values Taken()
    {
        Values indices;
        for (BUFFER_HANDLE taken : harness->TakeAll())
            indices.push_back(std::find(handles.begin(), handles.end(), taken) - handles.begin());
        return indices;
    }
    // Each byte of the buffer, when all are the same; -1 otherwise.
    int64_t Content(BUFFER_HANDLE handle)
    {
        const auto* bytes =
            static_cast<const uint8_t*>(harness->Buffer(handle)->GetContiguousBase());
        return std::all_of(bytes, bytes + PAYLOAD, [&](uint8_t b) { return b == bytes[0]; })
                   ? bytes[0]
                   : -1;
    }

    // The lines logged at Info run too.
    const int log_level = (GenTLCore::SetLogLevelForTest(LOG_LEVEL_INFO), 0);
    Handles handles;
};

TEST_F(StreamAcquisitionTest, AuxiliaryFillsGoToTheOldestWaitingBufferOrAreLost)
{
    harness->Announce(PAYLOAD);
    EngineKnobs& knobs = Stream().knobs;
    // clang-format off
    const auto start = [&](uint32_t aux, uint32_t mode) { return WriteRegister(AUX_COUNT_ADDRESS, aux) + WriteRegister(MODE_ADDRESS, mode) + Start(); };
    const auto fill = [&](uint8_t from, uint8_t to) { for (uint8_t value = from; value <= to; ++value) EXPECT_TRUE(Fill(value)); return Pools(); };
    const auto queue_all = [&] { for (BUFFER_HANDLE handle : handles) Stream().QueueBuffer(handle); return Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT); };
    RunSteps({
        // Auxiliary buffers that cannot be made or prepared are left out.
        {"aux creation fails", [&] { knobs.create_aux_fails = true; return start(2, 0) + (int64_t)Stream().ScheduledBuffers().size() + Stop(); }, 0},
        {"aux preparation fails", [&] { knobs.create_aux_fails = false; knobs.prepare_aux_ok = false; return start(2, 0) + (int64_t)Stream().ScheduledBuffers().size() + Stop(); }, 0},
        // Oldest first: nothing is ever displaced, every aux fill is lost.
        {"oldest first", [&] { knobs.prepare_aux_ok = true; return start(1, GenTLCore::OldestFirst); }, 0},
        {"three lost", [&] { return fill(0, 2); }, {0, 0, 1, 3}},
        {"the aux buffer waits", [&] { return Stream().ScheduledBuffers().at(0)->IsAuxiliary() + Stop(); }, 1},
        // Overwrite: the aux fill replaces the oldest waiting buffer's.
        {"overwrite", [&] { EXPECT_EQ(harness->Reopen(), GC_ERR_SUCCESS); handles = Queued(3); return start(1, GenTLCore::OldestFirstOverwrite); }, 0},
        {"the aux buffer fills last", [&] { fill(1, 4); return Taken(); }, {1, 2, 0}},
        {"taken over", [&] { return Values{Content(handles[0]), static_cast<FakeBuffer&>(*harness->Buffer(handles[0])).copy_fill_info_calls.load(), Stream().ScheduledBuffers().at(0)->HasNewData()}; }, {4, 1, 0}},
        {"nothing waits: lost", [&] { return fill(5, 5); }, {0, 0, 1, 2}},
        // Newest only: the aux fill goes to the oldest, the rest back to the engine empty.
        {"newest only", [&] { return Stop() + WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly) + queue_all() + Start(); }, 0},
        {"two returned buffers and the aux one; lost since the open", [&] { return fill(0xC3, 0xC3); }, {0, 1, 3, 5}},
        {"returned empty", [&] { return harness->Buffer(handles[1])->HasNewData(); }, 0},
        {"delivered", [&] { return Taken(); }, {0}},
        {"with the aux fill", [&] { return Content(handles[0]) + Stop(); }, 0xC3},
    });
    // clang-format on
}

// A count-limited acquisition ends by itself after the requested buffers;
// a fill nobody took is void at the stop, and buffers left from an earlier
// acquisition do not count.
TEST_F(StreamAcquisitionTest, CountLimitedAcquisitionCountsOnlyItsOwnDeliveries)
{
    handles = Queued(6);
    // clang-format off
    RunSteps({
        {"two requested", [&] { return Start(2) + !Fill(1) + !Stream().FillNext(2); }, 0},
        {"ends by itself", [&] { return EndsByItself(); }, 1},
        {"the engine still runs, nobody delivers", [&] { return Stream().FillNext(3); }, 1},
        {"still started", [&] { return Start(2); }, GC_ERR_RESOURCE_IN_USE},
        {"device stopped once", [&] { return Stop() + Stream().calls.stop_streaming.load(); }, 1},
        {"a fill nobody took is void", [&] { return harness->Buffer(handles[2])->HasNewData(); }, 0},
        {"pools", [&] { return Pools(); }, {4, 2, 0, 0}},
        {"newest only, two requested", [&] { return WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly) + Start(2); }, 0},
        {"displaces the two left over", [&] { return Fill(4) + IsGrabbing(); }, 2},
        {"the engine took the fill it held back last", [&] { return Taken(); }, {3}},
        {"ends after two", [&] { return Stream().FillNext(5) + TestSupport::WaitUntil([this] { return !IsGrabbing(); }); }, 2},
        {"delivered", [&] { Values taken = Taken(); taken.push_back(harness->Info(STREAM_INFO_NUM_DELIVERED)); return taken; }, {4, 2}},
    });
    // clang-format on
    harness->ExpectEveryBufferInOnePlace(2);
    EXPECT_EQ(Stop(), GC_ERR_SUCCESS);
}

TEST_F(StreamAcquisitionTest, FailedOrUnknownEngineStatusEndsTheAcquisitionUntilReopened)
{
    for (int status : {GenTLCore::WAITBUF_FAILED, 7}) {
        SCOPED_TRACE(status);
        harness = std::make_unique<StreamHarness>();
        handles = Queued(2);
        // clang-format off
        RunSteps({
            {"ends", [&] { const GC_ERROR started = Start(); Stream().FailWith(status); return started + EndsByItself() + Stop(); }, 1},
            {"stopped once in total", [&] { return Stream().calls.stop_streaming.load(); }, 1},
            {"discards", [&] { return Stream().FlushQueue(ACQ_QUEUE_ALL_DISCARD); }, GC_ERR_SUCCESS},
            {"queue refused", [&] { return Stream().QueueBuffer(handles[0]); }, GC_ERR_ACCESS_DENIED},
            {"flush refused", [&] { return Stream().FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT); }, GC_ERR_ACCESS_DENIED},
            {"other flushes", [&] { return Values{Stream().FlushQueue(0), Stream().FlushQueue(1), Stream().FlushQueue(2), Stream().FlushQueue(4)}; }, {0, 0, 0, 0}},
            {"reopened", [&] { return harness->Reopen() + Stream().QueueBuffer(harness->Announce(PAYLOAD)); }, GC_ERR_SUCCESS},
        });
        // clang-format on
    }
    EXPECT_EQ(LastError().text,
              "FlushQueue (unqueued to input): the stream is marked as non-functional, check and "
              "reopen the device.");
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
    StreamHarness harness(new ThreadedEngineStream);
    harness->knobs.payload_size = BYTES;
    const Handles handles = harness.AnnounceMany(8, BYTES, true);
    std::map<BUFFER_HANDLE, const uint8_t*> memory;  // fixed before the threads start
    for (BUFFER_HANDLE handle : handles)
        memory[handle] = static_cast<const uint8_t*>(harness.Buffer(handle)->GetContiguousBase());
    harness.RegisterNewBufferEvent();
    std::atomic<bool> done{false};
    std::atomic<uint64_t> deliveries{0}, torn{0};
    const auto consume = [&] {
        for (BUFFER_HANDLE buffer; !done.load();) {
            if ((buffer = harness.GetEvent(20)) == nullptr) continue;
            torn += memory.at(buffer)[0] != memory.at(buffer)[BYTES - 1];
            ++deliveries;
            harness->QueueBuffer(buffer);
        }
    };
    // clang-format off
    const auto read_info = [&] {
        while (!done.load())
            for (STREAM_INFO_CMD command : {STREAM_INFO_NUM_DELIVERED, STREAM_INFO_NUM_UNDERRUN, STREAM_INFO_NUM_QUEUED, STREAM_INFO_NUM_AWAIT_DELIVERY, STREAM_INFO_IS_GRABBING, STREAM_INFO_NUM_ANNOUNCED})
                harness.Info(command);
    };
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
        // Back to every buffer queued for the next round; the consumer may
        // have queued some after a discard.
        ASSERT_EQ(harness->FlushQueue(ACQ_QUEUE_ALL_TO_INPUT), GC_ERR_SUCCESS);
        harness.ExpectEveryBufferInOnePlace(0);
        EXPECT_EQ(harness.Info(STREAM_INFO_NUM_QUEUED), handles.size());
    }
    EXPECT_EQ((Values{static_cast<int64_t>(harness->HeldCount()),
                      harness->calls.close_engine.load(), static_cast<int64_t>(torn.load())}),
              (Values{0, 1, 0}));
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
