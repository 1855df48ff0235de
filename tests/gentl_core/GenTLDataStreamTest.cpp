// GenTLDataStreamTest.cpp: a data stream's refusals, registers and
// DSGetInfo, its failures (out of memory, a register it does not serve),
// and acquisition: the core engine thread with its buffer handling modes,
// auxiliary buffers, count-limited acquisition and engine failure against
// the deterministic engine, and a consumer racing stop, flush and close
// against the threaded one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "FakeBuffer.h"
#include "StreamHarness.h"
#include "support/WaitUntil.h"

namespace AcquisitionTest {
namespace {

using namespace std::chrono_literals;
using StreamTest = StreamFixture;

constexpr uint64_t PERSISTENCE_START_ADDRESS = 0x0E000000, STREAMING_START_ADDRESS = 0x0E000008;

// Every refusal, with its code and text where it reports one, each from a
// fresh open stream (acquiring: one queued buffer in the engine); a refused
// start or stop leaves nothing behind.
TEST_F(StreamTest, RefusesEachBadRequestWithItsCodeAndText)
{
    std::vector<uint8_t> memory(250);
    uint8_t* const m = memory.data();
    SharedPtr<GenTLBuffer> out;
    uint32_t count = 0;
    BUFFER_HANDLE listed = nullptr;
    void* segments[3] = {};
    size_t sizes[3] = {32, 8, 8};
    GC_ERROR result = GC_ERR_SUCCESS;
    const std::string unknown_info = "GetStreamInfo: unknown stream info command requested";
    const std::string overlap =
        "AnnounceBuffer: attempt to announce duplicate or overlapping buffer/segment";
    // clang-format off
    struct Row { const char* name; std::function<GC_ERROR()> request; GC_ERROR result; std::string text; };
    const auto announce = [&](size_t size, uint8_t* at = nullptr) { harness->Announce(size, at ? at : m, &result); return result; };
    // Two buffers over [50, 150) and [150, 250), then one of 51 bytes at `offset`.
    const auto overlapping = [&](size_t offset) { announce(100, m + 50); announce(100, m + 150); return announce(51, m + offset); };
    const auto composite = [&](size_t n, void** ptrs) { branding->composite_buffer_aware = true; return Stream().AnnounceCompositeBuffer(n, ptrs, sizes, nullptr, out); };
    const auto info = [&](STREAM_INFO_CMD command) { return Ask<uint64_t>([&](INFO_DATATYPE*, void* b, size_t* s) { return Stream().GetStreamInfo(command, nullptr, b, s); }).result; };
    const auto flow = [&](uint32_t index, FLOW_INFO_CMD command) { branding->composite_buffer_aware = true; Stream().knobs.flow_sizes = {100, 200}; return Ask<uint64_t>([&](INFO_DATATYPE*, void* b, size_t* s) { return Stream().GetFlowInfo(index, command, nullptr, b, s); }).result; };
    const auto acquiring = [&] { harness->AnnounceMany(1, 64, true); EXPECT_EQ(Start(), GC_ERR_SUCCESS); };
    const auto queued = [&](size_t size) { return harness->AnnounceMany(1, size, true)[0]; };
    const auto no_tag = [&] { SharedPtr<FakeEngineStream> none(new FakeEngineStream(SharedStreamTag())); none->CompleteConstruction(); ++expected_asserts; return none->QueueBuffer(nullptr); };
    const auto knob = [&](auto& setting, auto value) { harness->Announce(64); setting = value; return Start(); };
    const Row rows[] = {
        {"ZeroSize", [&] { return announce(0); }, GC_ERR_BUFFER_TOO_SMALL, "AnnounceBuffer: announcing zero-sized buffer/segment"},
        {"ZeroSizeAlloc", [&] { return Stream().AllocAndAnnounceBuffer(0, nullptr, out); }, GC_ERR_BUFFER_TOO_SMALL, "AnnounceBuffer: announcing zero-sized buffer/segment"},
        {"CreationFails", [&] { Stream().knobs.create_buffer_fails = true; return announce(8); }, GC_ERR_OUT_OF_MEMORY, "AnnounceBuffer: failed to create the buffer"},
        {"OverlapSameStart", [&] { return overlapping(50); }, GC_ERR_RESOURCE_IN_USE, overlap},
        {"OverlapFromBelow", [&] { return overlapping(0); }, GC_ERR_RESOURCE_IN_USE, overlap},
        {"OverlapAtTheEnd", [&] { return overlapping(149); }, GC_ERR_RESOURCE_IN_USE, overlap},
        {"OverlapInside", [&] { return overlapping(60); }, GC_ERR_RESOURCE_IN_USE, overlap},
        {"CompositeUnsupported", [&] { return Stream().AnnounceCompositeBuffer(1, segments, sizes, nullptr, out); }, GC_ERR_NOT_IMPLEMENTED, "AnnounceCompositeBuffer: this transport layer implementation does not support composite buffers"},
        {"CompositeNullArray", [&] { return composite(2, nullptr); }, GC_ERR_INVALID_PARAMETER, "AnnounceCompositeBuffer: invalid input array pointer"},
        {"CompositeNoSegment", [&] { return composite(0, segments); }, GC_ERR_INVALID_PARAMETER, "AnnounceCompositeBuffer: announced zero segments"},
        {"CompositeNullSegment", [&] { segments[0] = m; return composite(2, segments); }, GC_ERR_INVALID_PARAMETER, "AnnounceCompositeBuffer: invalid segment pointer"},
        {"CompositeOverlapping", [&] { segments[0] = m; segments[1] = m + 40; segments[2] = m + 16; return composite(3, segments); }, GC_ERR_RESOURCE_IN_USE, "AnnounceBuffer: attempt to announce composite buffer with mutually overlapping segments"},
        {"CompositeOverTouchingBuffer", [&] { announce(32, m + 48); segments[0] = m; segments[1] = m + 32; segments[2] = m + 40; EXPECT_EQ(composite(3, segments), GC_ERR_SUCCESS); harness->Register(out); EXPECT_EQ(out->GetSize(), 48u); return announce(8, m + 40); }, GC_ERR_RESOURCE_IN_USE, overlap},
        {"QueueTwice", [&] { return Stream().QueueBuffer(queued(8)); }, GC_ERR_RESOURCE_IN_USE, "QueueBuffer: the buffer is already queued"},
        {"RevokeNothing", [&] { return Stream().RevokeBuffer(SharedPtr<GenTLBuffer>(), nullptr, nullptr); }, GC_ERR_INVALID_HANDLE, "RevokeBuffer: no such buffer object exists within  this stream."},
        {"RevokeWaiting", [&] { const BUFFER_HANDLE b = queued(8); Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT); return Stream().RevokeBuffer(harness->Buffer(b), nullptr, nullptr); }, GC_ERR_BUSY, "RevokeBuffer: attempt to revoke a queued buffer."},
        {"IndexBeyond", [&] { return Stream().GetBufferID(0, &listed); }, GC_ERR_INVALID_INDEX, "GetBufferID: invalid buffer index, exceeding number of buffers"},
        {"IndexNull", [&] { harness->Announce(8); return Stream().GetBufferID(0, nullptr); }, GC_ERR_INVALID_PARAMETER, "GetBufferID: invalid buffer handle pointer."},
        {"FlushUnknown", [&] { return Stream().FlushQueue(5); }, GC_ERR_NOT_IMPLEMENTED, "FlushQueue: unknown queue flush operation requested"},
        {"ModeUnknown", [&] { return WriteRegister(MODE_ADDRESS, 3); }, GC_ERR_INVALID_VALUE, "Trying to set an unknown buffer handling mode value"},
        {"AuxCountTooLarge", [&] { return WriteRegister(AUX_COUNT_ADDRESS, 21); }, GC_ERR_INVALID_VALUE, "The requested number of auxiliary buffers is out of valid range"},
        {"PayloadSizeNotModified", [&] { return info(STREAM_INFO_PAYLOAD_SIZE); }, GC_ERR_NOT_AVAILABLE, "GetStreamInfo: the payload size of this data stream is not modified by the producer, PayloadSize of the remote device should be used."},
        {"MaxChunks", [&] { return info(STREAM_INFO_NUM_CHUNKS_MAX); }, GC_ERR_NOT_AVAILABLE, "GetStreamInfo: the max number of chunks is unknown, the chunk layout is device specific."},
        {"FlowTable", [&] { return info(STREAM_INFO_FLOW_TABLE); }, GC_ERR_NOT_IMPLEMENTED, "GetStreamInfo: this transport layer implementation does not support flows"},
        {"GenDC", [&] { return info(STREAM_INFO_GENDC_PREFETCH_DESCRIPTOR); }, GC_ERR_NOT_IMPLEMENTED, "GetStreamInfo: this transport layer implementation (or device) does not GenDC streaming"},
        {"InfoSixteen", [&] { return info(16); }, GC_ERR_NOT_IMPLEMENTED, unknown_info},
        {"InfoNegative", [&] { return info(INT32_MIN); }, GC_ERR_NOT_IMPLEMENTED, unknown_info},
        {"InfoCustom", [&] { return info(1000); }, GC_ERR_NOT_IMPLEMENTED, unknown_info},
        {"FlowsUnsupported", [&] { return Stream().GetFlowInfo(9, 0, nullptr, nullptr, nullptr); }, GC_ERR_NOT_IMPLEMENTED, "GetFlowInfo: this transport layer implementation does not support flows"},
        {"FlowsUnknown", [&] { branding->composite_buffer_aware = true; return Stream().GetNumFlows(&count); }, GC_ERR_NO_DATA, "GetNumFlows: flow configuration currently not available/applicable/queriable"},
        {"FlowIndex", [&] { return flow(2, FLOW_INFO_SIZE); }, GC_ERR_INVALID_INDEX, "GetFlowInfo: invalid flow index, exceeding number of flows"},
        {"FlowCommand", [&] { return flow(0, 1); }, GC_ERR_NOT_IMPLEMENTED, "GetFlowInfo: unknown flow info command requested"},
        {"BufferOfNoStream", [&] { return Stream().GetBufferInfo(&count, 0, nullptr, nullptr, nullptr); }, GC_ERR_INVALID_HANDLE, "GetBufferInfo: the required buffer was not announced in the data stream."},
        {"PartsUnsupported", [&] { branding->multi_part_aware = false; return Stream().GetBufferPartInfo(harness->Announce(8), 0, 0, nullptr, nullptr, nullptr); }, GC_ERR_NOT_IMPLEMENTED, "GetBufferPartInfo: this transport layer implementation does not support multi-part payloads."},
        {"NoTag", no_tag, GC_ERR_ACCESS_DENIED, "QueueBuffer: the stream is marked as non-functional, check and reopen the device."},
        {"AlreadyStarted", [&] { acquiring(); return Start(); }, GC_ERR_RESOURCE_IN_USE, "StartAcquisition: acquisition already started"},
        // The start checks in their order: each row breaks every later one too.
        {"StartDuringStreaming", [&] { WriteRegister(STREAMING_START_ADDRESS, 1); return Stream().StartAcquisition(1, 0); }, GC_ERR_BUSY, "StartAcquisition: not allowed during active persistence operation"},
        {"StartFlags", [&] { return Stream().StartAcquisition(1, 0); }, GC_ERR_NOT_IMPLEMENTED, "StartAcquisition: the requested acquisition start flag(s) not implemented"},
        {"StartZeroBuffers", [&] { return Start(0); }, GC_ERR_INVALID_PARAMETER, "StartAcquisition: the consumer requested to acquire zero buffers"},
        {"StartNothingAnnounced", [&] { return Start(); }, GC_ERR_INVALID_BUFFER, "StartAcquisition: no buffers announced, nothing to be acquired"},
        {"ZeroPayload", [&] { return knob(Stream().knobs.payload_size, 0); }, GC_ERR_ERROR, "StartAcquisition: the reported stream payload size is zero, nothing to be acquired"},
        {"SmallBuffer", [&] { harness->Announce(63); return Start(); }, GC_ERR_BUFFER_TOO_SMALL, "StartAcquisition: one or more of the announced buffers are smaller than required"},
        {"PrepareBufferFails", [&] { return knob(Stream().knobs.prepare_buffer_ok, false); }, GC_ERR_OUT_OF_MEMORY, "StartAcquisition: failed to prepare the buffers for streaming"},
        {"StartEngineFails", [&] { return knob(Stream().knobs.start_engine_ok, false); }, GC_ERR_ERROR, "StartAcquisition: failed to start the acquisition engine"},
        {"StartPreparationFails", [&] { return knob(Stream().knobs.prepare_streaming_result, GC_ERR_IO); }, GC_ERR_IO, ""},
        {"StartStreamingFailsAndIsUndone", [&] { const GC_ERROR r = knob(Stream().knobs.start_streaming_result, GC_ERR_TIMEOUT); EXPECT_EQ(Stream().calls.deconfigure + IsGrabbing(), 1); return r; }, GC_ERR_TIMEOUT, ""},
        {"SmallBufferWhilePayloadSizeUnknown", [&] { Stream().knobs.knows_payload_size = false; harness->AnnounceMany(1, 63, true); return Start(); }, GC_ERR_SUCCESS, ""},
        {"OpenEngineRefused", [&] { SharedPtr<FakeEngineStream> s(new FakeEngineStream); s->knobs.open_engine_result = GC_ERR_IO; s->CompleteConstruction(); return s->Open(); }, GC_ERR_IO, ""},
        {"AllocTooLarge", [&] { SharedPtr<GenTLBuffer> huge; return Stream().AllocAndAnnounceBuffer(SIZE_MAX, nullptr, huge); }, GC_ERR_OUT_OF_MEMORY, ""},
        // A flush that raced the front's failed registration of the handle.
        {"UnannounceQueued", [&] { SharedPtr<GenTLBuffer> b; Stream().AllocAndAnnounceBuffer(64, nullptr, b); Stream().FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT); Stream().UnannounceBuffer(b); return GC_ERROR(harness->Info(STREAM_INFO_NUM_QUEUED) + harness->Info(STREAM_INFO_NUM_ANNOUNCED)); }, 0, ""},
        {"StopWithoutStartAllowed", [&] { branding->stop_without_start_allowed = true; return Stop(); }, GC_ERR_SUCCESS, ""},
        {"KillStopsAllTheSame", [&] { acquiring(); Stream().knobs.stop_streaming_ok = false; const GC_ERROR r = Stop(ACQ_STOP_FLAGS_KILL); EXPECT_EQ(Pools(), (Values{1, 0, 0, 0})); return r; }, GC_ERR_IO, "StopAcquisition: failed to stop the streaming"},
        {"StopWithoutStart", [&] { return Stop(); }, GC_ERR_RESOURCE_IN_USE, "StopAcquisition: attempt to stop acquisition when it is not started"},
        {"StopFlags", [&] { acquiring(); return Stop(2); }, GC_ERR_NOT_IMPLEMENTED, "StopAcquisition: the requested acquisition stop flag(s) not implemented"},
        {"StopStreamingFails", [&] { acquiring(); Stream().knobs.stop_streaming_ok = false; return Stop(); }, GC_ERR_IO, "StopAcquisition: failed to stop the streaming"},
        {"ModeWhileAcquiring", [&] { acquiring(); return WriteRegister(MODE_ADDRESS, 0); }, GC_ERR_ACCESS_DENIED, "Cannot change the buffer handling mode during active acquisition"},
        {"AuxCountWhileAcquiring", [&] { acquiring(); return WriteRegister(AUX_COUNT_ADDRESS, 0); }, GC_ERR_ACCESS_DENIED, "Cannot change the number of auxiliary buffers during active acquisition"},
        {"PersistenceWhileAcquiring", [&] { acquiring(); return WriteRegister(PERSISTENCE_START_ADDRESS, 1); }, GC_ERR_ACCESS_DENIED, "Core features refused to prepare for feature persistence operation."},
        {"StreamingWhileAcquiring", [&] { acquiring(); return WriteRegister(STREAMING_START_ADDRESS, 1); }, GC_ERR_ACCESS_DENIED, "Core registers refused to prepare for register streaming operation."},
        {"RevokeWhileAcquiring", [&] { acquiring(); Stream().GetBufferID(0, &listed); return Stream().RevokeBuffer(harness->Buffer(listed), nullptr, nullptr); }, GC_ERR_BUSY, "RevokeBuffer: revoking buffers during acquisition not supported"},
        {"AnnounceWhileAcquiring", [&] { acquiring(); return announce(64); }, GC_ERR_BUSY, "AnnounceBuffer: announcing buffers during acquisition not supported"},
        {"SmallAnnounceWhileAcquiring", [&] { acquiring(); branding->buffer_changes_during_acquisition = true; return announce(63); }, GC_ERR_BUFFER_TOO_SMALL, "AnnounceBuffer: the buffer announced while actively streaming is smaller than required"},
        {"RevokeLateBufferWhileAcquiring", [&] { acquiring(); branding->buffer_changes_during_acquisition = true; const BUFFER_HANDLE late = queued(64); EXPECT_TRUE(harness->Buffer(late)->IsScheduled()); return Stream().RevokeBuffer(harness->Buffer(late), nullptr, nullptr); }, GC_ERR_BUSY, "RevokeBuffer: attempt to revoke a queued buffer."},
    };
    // clang-format on
    // Once quiet, once with every log line formatted.
    for (uint32_t level : {0u, LOG_LEVEL_TRACE}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            GenTLCore::SetLogLevelForTest(level);
            Renew();
            std::fill(segments, segments + 3, nullptr);
            out = SharedPtr<GenTLBuffer>();
            EXPECT_EQ(row.request(), row.result);
            if (!row.text.empty()) {
                EXPECT_EQ(LastError().text, row.text);
            }
        }
    }
}

// The registers and DSGetInfo answer the stream's state; reopening resets
// the handling mode and the auxiliary buffer count.
TEST_F(StreamTest, RegistersAndInfoAnswerTheStreamStateAndReopeningResetsThem)
{
    harness->AnnounceMany(2, 64, true);
    EngineKnobs& knobs = Stream().knobs;
    knobs.payload_size = 0x1'0000'0040;
    char id[128] = {};
    size_t size = sizeof id;
    // clang-format off
    // A text answer and its type as "text/type".
    const auto text = [&](STREAM_INFO_CMD c) { const auto a = Ask<char[64]>([&](auto t, auto b, auto s) { return Stream().GetStreamInfo(c, t, b, s); }); return std::string(a.value) + "/" + std::to_string(a.type); };
    const auto registers = [&](std::vector<uint64_t> addresses) { Values values; for (uint64_t address : addresses) values.push_back(ReadRegister(address)); return values; };
    const auto write = [&](uint64_t address, uint32_t value) { return WriteRegister(address, value); };
    uint32_t flows = 0;
    const auto flow_table = [&] {
        branding->composite_buffer_aware = true;
        knobs.flow_sizes = {100, 200};
        uint8_t table[40] = {};
        size_t bytes = sizeof table;
        INFO_DATATYPE type = 0;
        EXPECT_EQ(Stream().GetStreamInfo(STREAM_INFO_FLOW_TABLE, &type, table, &bytes), GC_ERR_SUCCESS);
        Values values{type, static_cast<int64_t>(bytes)};
        values.insert(values.end(), table, table + bytes);
        return values;
    };
    RunSteps({
        // Announced, delivered, acquiring, payload modified, low 32 bits of the
        // payload size, policy implementation, policy, priority, persistence.
        {"registers", [&] { return registers({0x10000000, 0x10000004, 0x1000000C, 0x10000010, 0x10000014, 0x20000000, 0x20000004, 0x20000008, 0x0F000000}); }, {2, 1, 0, 0, 0x40, 0, 0, 2, 0}},
        {"ID register", [&] { return Values{Stream().ReadPort(0x0, id, &size), std::string(id) == "Acq_STM0_Dev_1"}; }, {0, 1}},
        {"ID and type", [&] { return text(STREAM_INFO_ID) + " " + text(STREAM_INFO_TLTYPE) == "Acq_STM0_Dev_1/1 TestTL/1"; }, 1},
        // Minimum, alignment, payload size, and the engine's counts added to the stream's.
        {"modified payload", [&] { knobs.modifies_payload = true; knobs.payload_size = 4096; return registers({0x10000010}); }, {1}},
        {"info", [&] { knobs.engine_counts[0] = 5; knobs.engine_counts[1] = 7; knobs.engine_counts[2] = 11; return Values{harness->Info(STREAM_INFO_BUF_ANNOUNCE_MIN), harness->Info(STREAM_INFO_BUF_ALIGNMENT), harness->Info(STREAM_INFO_PAYLOAD_SIZE), harness->Info(STREAM_INFO_NUM_STARTED), harness->Info(STREAM_INFO_NUM_QUEUED), harness->Info(STREAM_INFO_NUM_UNDERRUN)}; }, {1, 1, 4096, 5, 9, 11}},
        {"priority, apply, mode, aux count written", [&] { return Values{write(0x20000008, 1), write(0x2000000C, 1), write(MODE_ADDRESS, 2), write(AUX_COUNT_ADDRESS, 20)}; }, {0, 0, 0, 0}},
        {"and read back", [&] { return registers({0x20000008, MODE_ADDRESS, AUX_COUNT_ADDRESS}); }, {1, 2, 20}},
        {"reopened", [&] { branding->default_aux_buffer_count = 3; return harness->Reopen(); }, GC_ERR_SUCCESS},
        {"mode and aux count reset", [&] { return registers({MODE_ADDRESS, AUX_COUNT_ADDRESS}); }, {0, 3}},
        // "port" is not a key of the branding.
        {"alternative IDs", [&] { return Values{Stream().MatchesStreamId("slot", "primary"), Stream().MatchesStreamId("slot", "secondary"), Stream().MatchesStreamId("port", "primary")}; }, {1, 0, 0}},
        // The flow table's type and size, then its bytes.
        {"flow table", flow_table, {INFO_DATATYPE_BUFFER, 32, 0x00, 0x70, 0, 0, 32, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0}},
        {"flows", [&] { return Values{Stream().GetNumFlows(&flows), flows, static_cast<int64_t>(Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) { return Stream().GetFlowInfo(1, FLOW_INFO_SIZE, t, b, s); }).value)}; }, {0, 2, 200}},
    });
    // clang-format on
}

// Runs out of memory once its engine has started; shows the register
// accessors, which only a map entry the stream does not serve could reach.
class FailingStream : public FakeEngineStream {
public:
    using GenTLDataStream::ReadInt32Register;
    using GenTLDataStream::ReadStringRegister;
    using GenTLDataStream::ReadUInt32Register;
    using GenTLDataStream::WriteInt32Register;
    using GenTLDataStream::WriteUInt32CustomRegister;
    using GenTLDataStream::WriteUInt32Register;

protected:
    bool StartEngine() override
    {
        FakeEngineStream::StartEngine();
        throw std::bad_alloc();
    }
};

TEST_F(StreamTest, OutOfMemoryUndoesTheStartAndAnUnservedRegisterNamesItsAccessor)
{
    auto* failing = new FailingStream;
    StreamHarness harness_of_failing(failing);
    harness_of_failing.Announce(64);
    EXPECT_THROW(failing->StartAcquisition(ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE),
                 std::bad_alloc);
    EXPECT_EQ((Values{failing->calls.deconfigure, failing->calls.stop_engine}), (Values{1, 1}));
    uint32_t uint_value = 0;
    int32_t int_value = 0;
    std::string text;
    // clang-format off
    const std::pair<std::function<GC_ERROR()>, const char*> rows[] = {
        {[&] { return failing->ReadUInt32Register(4999, uint_value); }, "uint32 register to be read"},
        {[&] { return failing->ReadInt32Register(4999, int_value); }, "int32 register to be read"},
        {[&] { return failing->ReadStringRegister(4999, text); }, "string register to be read"},
        {[&] { return failing->WriteUInt32Register(4999, 1); }, "uint32 register to be written"},
        {[&] { return failing->WriteInt32Register(4999, 1); }, "int32 register to be written"},
        {[&] { return failing->WriteUInt32CustomRegister(10000, 1); }, "custom uint32 register to be written"},
    };
    // clang-format on
    expected_asserts = 6;  // an internal error, one per accessor
    for (const auto& [access, text_end] : rows) {
        SCOPED_TRACE(text_end);
        EXPECT_EQ(GC_ERR_ERROR, access());
        EXPECT_EQ(std::string("Internal error: cannot identify the data stream ") + text_end,
                  LastError().text);
    }
}

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
    const auto start = [&](uint32_t aux, uint32_t mode) { return Values{WriteRegister(AUX_COUNT_ADDRESS, aux), WriteRegister(MODE_ADDRESS, mode), Start()}; };
    // Started with two auxiliary buffers asked for: none scheduled; stopped.
    const auto without_aux = [&] { Values v = start(2, 0); v.insert(v.end(), {static_cast<int64_t>(Stream().ScheduledBuffers().size()), Stop()}); return v; };
    const auto fill = [&](uint8_t from, uint8_t to) { for (uint8_t value = from; value <= to; ++value) EXPECT_TRUE(Fill(value)); return Pools(); };
    const auto queue_all = [&] { for (BUFFER_HANDLE handle : handles) Stream().QueueBuffer(handle); return Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT); };
    RunSteps({
        // Auxiliary buffers that cannot be made or prepared are left out.
        {"aux creation fails", [&] { knobs.create_aux_fails = true; return without_aux(); }, {0, 0, 0, 0, 0}},
        {"aux preparation fails", [&] { knobs.create_aux_fails = false; knobs.prepare_aux_ok = false; return without_aux(); }, {0, 0, 0, 0, 0}},
        // Oldest first: nothing is ever displaced, every aux fill is lost.
        {"oldest first", [&] { knobs.prepare_aux_ok = true; return start(1, GenTLCore::OldestFirst); }, {0, 0, 0}},
        {"three lost", [&] { return fill(0, 2); }, {0, 0, 1, 3}},
        {"the aux buffer waits", [&] { return Values{Stream().ScheduledBuffers().at(0)->IsAuxiliary(), Stop()}; }, {1, 0}},
        // Overwrite: the aux fill replaces the oldest waiting buffer's.
        {"overwrite", [&] { EXPECT_EQ(harness->Reopen(), GC_ERR_SUCCESS); handles = Queued(3); return start(1, GenTLCore::OldestFirstOverwrite); }, {0, 0, 0}},
        {"the aux buffer fills last", [&] { fill(1, 4); return Taken(); }, {1, 2, 0}},
        {"taken over", [&] { return Values{Content(handles[0]), static_cast<FakeBuffer&>(*harness->Buffer(handles[0])).copy_fill_info_calls.load(), Stream().ScheduledBuffers().at(0)->HasNewData()}; }, {4, 1, 0}},
        {"nothing waits: lost", [&] { return fill(5, 5); }, {0, 0, 1, 2}},
        // Newest only: the aux fill goes to the oldest, the rest back to the engine empty.
        {"newest only", [&] { return Values{Stop(), WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly), queue_all(), Start()}; }, {0, 0, 0, 0}},
        {"two returned buffers and the aux one; lost since the open", [&] { return fill(0xC3, 0xC3); }, {0, 1, 3, 5}},
        {"returned empty", [&] { return harness->Buffer(handles[1])->HasNewData(); }, 0},
        {"delivered", [&] { return Taken(); }, {0}},
        {"with the aux fill", [&] { return Values{Content(handles[0]), Stop()}; }, {0xC3, 0}},
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
        {"two requested", [&] { return Values{Start(2), Fill(1), Stream().FillNext(2)}; }, {0, 1, 1}},
        {"ends by itself", [&] { return EndsByItself(); }, 1},
        {"the engine still runs, nobody delivers", [&] { return Stream().FillNext(3); }, 1},
        {"still started", [&] { return Start(2); }, GC_ERR_RESOURCE_IN_USE},
        {"device stopped once", [&] { return Values{Stop(), Stream().calls.stop_streaming.load()}; }, {0, 1}},
        {"a fill nobody took is void", [&] { return harness->Buffer(handles[2])->HasNewData(); }, 0},
        {"pools", [&] { return Pools(); }, {4, 2, 0, 0}},
        {"newest only, two requested", [&] { return Values{WriteRegister(MODE_ADDRESS, GenTLCore::NewestOnly), Start(2)}; }, {0, 0}},
        {"displaces the two left over", [&] { return Values{Fill(4), IsGrabbing()}; }, {1, 1}},
        {"the engine took the fill it held back last", [&] { return Taken(); }, {3}},
        {"ends after two", [&] { return Values{Stream().FillNext(5), TestSupport::WaitUntil([this] { return !IsGrabbing(); })}; }, {1, 1}},
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
            {"ends", [&] { const GC_ERROR started = Start(); Stream().FailWith(status); return Values{started, EndsByItself(), Stop()}; }, {0, 1, 0}},
            {"stopped once in total", [&] { return Stream().calls.stop_streaming.load(); }, 1},
            {"discards", [&] { return Stream().FlushQueue(ACQ_QUEUE_ALL_DISCARD); }, GC_ERR_SUCCESS},
            {"queue refused", [&] { return Stream().QueueBuffer(handles[0]); }, GC_ERR_ACCESS_DENIED},
            {"flush refused", [&] { return Stream().FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT); }, GC_ERR_ACCESS_DENIED},
            {"other flushes", [&] { return Values{Stream().FlushQueue(0), Stream().FlushQueue(1), Stream().FlushQueue(2), Stream().FlushQueue(4)}; }, {0, 0, 0, 0}},
            {"reopened", [&] { return Values{harness->Reopen(), Stream().QueueBuffer(harness->Announce(PAYLOAD))}; }, {0, 0}},
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
