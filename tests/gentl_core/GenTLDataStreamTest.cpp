// GenTLDataStreamTest.cpp: a data stream's refusals, its buffer pools
// (announce, revoke, flush, index), its registers and DSGetInfo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "StreamHarness.h"

namespace AcquisitionTest {
namespace {

using GenTLCore::SharedPtr;

using StreamTest = StreamFixture;

// Every refusal, with its code and text, each from a fresh open stream
// (acquiring: one queued buffer in the engine).
TEST_F(StreamTest, RefusesEachBadRequestWithItsCodeAndText)
{
    std::vector<uint8_t> memory(64);
    SharedPtr<GenTLCore::GenTLBuffer> out;
    uint32_t count = 0;
    BUFFER_HANDLE listed = nullptr;
    void* segments[3] = {};
    size_t sizes[3] = {32, 8, 8};
    const auto announce = [&](size_t size) {
        GC_ERROR result = GC_ERR_SUCCESS;
        harness->Announce(size, memory.data(), &result);
        return result;
    };
    const auto composite = [&](size_t n, void** ptrs) {
        branding->composite_buffer_aware = true;
        return Stream().AnnounceCompositeBuffer(n, ptrs, sizes, nullptr, out);
    };
    const auto info = [&](STREAM_INFO_CMD command) {
        uint64_t value = 0;
        size_t size = sizeof value;
        return Stream().GetStreamInfo(command, nullptr, &value, &size);
    };
    const auto flow = [&](uint32_t index, FLOW_INFO_CMD command) {
        branding->composite_buffer_aware = true;
        Stream().knobs.flow_sizes = {100, 200};
        uint64_t value = 0;
        size_t size = sizeof value;
        return Stream().GetFlowInfo(index, command, nullptr, &value, &size);
    };
    const auto acquiring = [&] {
        harness->AnnounceMany(1, 64, true);
        EXPECT_EQ(Start(), GC_ERR_SUCCESS);
    };
    const auto queued = [&](size_t size) {
        const BUFFER_HANDLE handle = harness->Announce(size);
        Stream().QueueBuffer(handle);
        return handle;
    };
    const std::string unknown_info = "GetStreamInfo: unknown stream info command requested";
    const std::string not_functional =
        ": the stream is marked as non-functional, check and reopen the device.";
    struct Row {
        const char* name;
        std::function<GC_ERROR()> request;
        GC_ERROR result;
        std::string text;
    };
    // clang-format off
    const Row rows[] = {
        {"ZeroSize", [&] { return announce(0); },
         GC_ERR_BUFFER_TOO_SMALL, "AnnounceBuffer: announcing zero-sized buffer/segment"},
        {"ZeroSizeAlloc", [&] { return Stream().AllocAndAnnounceBuffer(0, nullptr, out); },
         GC_ERR_BUFFER_TOO_SMALL, "AnnounceBuffer: announcing zero-sized buffer/segment"},
        {"CreationFails", [&] { Stream().knobs.create_buffer_fails = true; return announce(8); },
         GC_ERR_OUT_OF_MEMORY, "AnnounceBuffer: failed to create the buffer"},
        {"CompositeUnsupported",
         [&] { return Stream().AnnounceCompositeBuffer(1, segments, sizes, nullptr, out); },
         GC_ERR_NOT_IMPLEMENTED, "AnnounceCompositeBuffer: this transport layer implementation "
                                 "does not support composite buffers"},
        {"CompositeNullArray", [&] { return composite(2, nullptr); },
         GC_ERR_INVALID_PARAMETER, "AnnounceCompositeBuffer: invalid input array pointer"},
        {"CompositeNoSegment", [&] { return composite(0, segments); },
         GC_ERR_INVALID_PARAMETER, "AnnounceCompositeBuffer: announced zero segments"},
        {"CompositeNullSegment",
         [&] { segments[0] = memory.data(); return composite(2, segments); },
         GC_ERR_INVALID_PARAMETER, "AnnounceCompositeBuffer: invalid segment pointer"},
        {"CompositeOverlapping",
         [&] { segments[0] = memory.data(); segments[1] = memory.data() + 40;
               segments[2] = memory.data() + 16; return composite(3, segments); },
         GC_ERR_RESOURCE_IN_USE, "AnnounceBuffer: attempt to announce composite buffer with "
                                 "mutually overlapping segments"},
        {"QueueTwice", [&] { return Stream().QueueBuffer(queued(8)); },
         GC_ERR_RESOURCE_IN_USE, "QueueBuffer: the buffer is already queued"},
        {"RevokeNothing", [&] { return Stream().RevokeBuffer(out, nullptr, nullptr); },
         GC_ERR_INVALID_HANDLE, "RevokeBuffer: no such buffer object exists within  this stream."},
        {"RevokeWaiting",
         [&] { const BUFFER_HANDLE b = queued(8); Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT);
               return harness->Revoke(b); },
         GC_ERR_BUSY, "RevokeBuffer: attempt to revoke a queued buffer."},
        {"IndexBeyond", [&] { return Stream().GetBufferID(0, &listed); },
         GC_ERR_INVALID_INDEX, "GetBufferID: invalid buffer index, exceeding number of buffers"},
        {"IndexNull", [&] { harness->Announce(8); return Stream().GetBufferID(0, nullptr); },
         GC_ERR_INVALID_PARAMETER, "GetBufferID: invalid buffer handle pointer."},
        {"FlushUnknown", [&] { return Stream().FlushQueue(5); },
         GC_ERR_NOT_IMPLEMENTED, "FlushQueue: unknown queue flush operation requested"},
        {"ModeUnknown", [&] { return WriteRegister(MODE_ADDRESS, 3); },
         GC_ERR_INVALID_VALUE, "Trying to set an unknown buffer handling mode value"},
        {"AuxCountTooLarge", [&] { return WriteRegister(AUX_COUNT_ADDRESS, 21); },
         GC_ERR_INVALID_VALUE, "The requested number of auxiliary buffers is out of valid range"},
        {"PayloadSizeNotModified", [&] { return info(STREAM_INFO_PAYLOAD_SIZE); },
         GC_ERR_NOT_AVAILABLE, "GetStreamInfo: the payload size of this data stream is not "
                               "modified by the producer, PayloadSize of the remote device "
                               "should be used."},
        {"MaxChunks", [&] { return info(STREAM_INFO_NUM_CHUNKS_MAX); },
         GC_ERR_NOT_AVAILABLE, "GetStreamInfo: the max number of chunks is unknown, the chunk "
                               "layout is device specific."},
        {"FlowTable", [&] { return info(STREAM_INFO_FLOW_TABLE); },
         GC_ERR_NOT_IMPLEMENTED, "GetStreamInfo: this transport layer implementation does not "
                                 "support flows"},
        {"GenDC", [&] { return info(STREAM_INFO_GENDC_PREFETCH_DESCRIPTOR); },
         GC_ERR_NOT_IMPLEMENTED, "GetStreamInfo: this transport layer implementation (or device) "
                                 "does not GenDC streaming"},
        {"InfoSixteen", [&] { return info(16); }, GC_ERR_NOT_IMPLEMENTED, unknown_info},
        {"InfoNegative", [&] { return info(INT32_MIN); }, GC_ERR_NOT_IMPLEMENTED, unknown_info},
        {"InfoCustom", [&] { return info(1000); }, GC_ERR_NOT_IMPLEMENTED, unknown_info},
        {"FlowsUnsupported", [&] { return Stream().GetFlowInfo(9, 0, nullptr, nullptr, nullptr); },
         GC_ERR_NOT_IMPLEMENTED, "GetFlowInfo: this transport layer implementation does not "
                                 "support flows"},
        {"FlowsUnknown",
         [&] { branding->composite_buffer_aware = true; return Stream().GetNumFlows(&count); },
         GC_ERR_NO_DATA, "GetNumFlows: flow configuration currently not "
                         "available/applicable/queriable"},
        {"FlowIndex", [&] { return flow(2, FLOW_INFO_SIZE); },
         GC_ERR_INVALID_INDEX, "GetFlowInfo: invalid flow index, exceeding number of flows"},
        {"FlowCommand", [&] { return flow(0, 1); },
         GC_ERR_NOT_IMPLEMENTED, "GetFlowInfo: unknown flow info command requested"},
        {"BufferOfNoStream",
         [&] { return Stream().GetBufferInfo(&count, 0, nullptr, nullptr, nullptr); },
         GC_ERR_INVALID_HANDLE, "GetBufferInfo: the required buffer was not announced in the "
                                "data stream."},
        {"PartsUnsupported",
         [&] { branding->multi_part_aware = false;
               const BUFFER_HANDLE b = harness->Announce(8);
               return Stream().GetBufferPartInfo(b, 0, 0, nullptr, nullptr, nullptr); },
         GC_ERR_NOT_IMPLEMENTED, "GetBufferPartInfo: this transport layer implementation does not "
                                 "support multi-part payloads."},
        {"NoTag",
         [&] { SharedPtr<FakeEngineStream> stream(new FakeEngineStream(SharedStreamTag()));
               expected_asserts = 1;
               stream->CompleteConstruction();
               EXPECT_TRUE(stream->IsNotAvailable());
               return stream->QueueBuffer(nullptr); },
         GC_ERR_ACCESS_DENIED, "QueueBuffer" + not_functional},
        {"AlreadyStarted", [&] { acquiring(); return Start(); },
         GC_ERR_RESOURCE_IN_USE, "StartAcquisition: acquisition already started"},
        // The start checks in their order: each row breaks every later one too.
        {"StartDuringStreaming",
         [&] { WriteRegister(STREAMING_START_ADDRESS, 1); return Stream().StartAcquisition(1, 0); },
         GC_ERR_BUSY, "StartAcquisition: not allowed during active persistence operation"},
        {"StartFlags", [&] { return Stream().StartAcquisition(1, 0); },
         GC_ERR_NOT_IMPLEMENTED, "StartAcquisition: the requested acquisition start flag(s) "
                                 "not implemented"},
        {"StartZeroBuffers", [&] { return Start(0); },
         GC_ERR_INVALID_PARAMETER, "StartAcquisition: the consumer requested to acquire zero "
                                   "buffers"},
        {"StartNothingAnnounced", [&] { return Start(); },
         GC_ERR_INVALID_BUFFER, "StartAcquisition: no buffers announced, nothing to be acquired"},
        {"ZeroPayload",
         [&] { harness->Announce(8); Stream().knobs.payload_size = 0; return Start(); },
         GC_ERR_ERROR, "StartAcquisition: the reported stream payload size is zero, nothing to "
                       "be acquired"},
        {"SmallBuffer", [&] { harness->Announce(63); return Start(); },
         GC_ERR_BUFFER_TOO_SMALL, "StartAcquisition: one or more of the announced buffers are "
                                  "smaller than required"},
        {"PrepareBufferFails",
         [&] { Stream().knobs.prepare_buffer_ok = false; harness->Announce(64); return Start(); },
         GC_ERR_OUT_OF_MEMORY, "StartAcquisition: failed to prepare the buffers for streaming"},
        {"StopWithoutStart", [&] { return Stream().StopAcquisition(0); },
         GC_ERR_RESOURCE_IN_USE, "StopAcquisition: attempt to stop acquisition when it is not "
                                 "started"},
        {"StopFlags", [&] { acquiring(); return Stream().StopAcquisition(2); },
         GC_ERR_NOT_IMPLEMENTED, "StopAcquisition: the requested acquisition stop flag(s) not "
                                 "implemented"},
        {"StopStreamingFails",
         [&] { acquiring(); Stream().knobs.stop_streaming_ok = false;
               return Stream().StopAcquisition(0); },
         GC_ERR_IO, "StopAcquisition: failed to stop the streaming"},
        {"ModeWhileAcquiring", [&] { acquiring(); return WriteRegister(MODE_ADDRESS, 0); },
         GC_ERR_ACCESS_DENIED, "Cannot change the buffer handling mode during active acquisition"},
        {"AuxCountWhileAcquiring",
         [&] { acquiring(); return WriteRegister(AUX_COUNT_ADDRESS, 0); },
         GC_ERR_ACCESS_DENIED, "Cannot change the number of auxiliary buffers during active "
                               "acquisition"},
        {"PersistenceWhileAcquiring",
         [&] { acquiring(); return WriteRegister(PERSISTENCE_START_ADDRESS, 1); },
         GC_ERR_ACCESS_DENIED, "Core features refused to prepare for feature persistence "
                               "operation."},
        {"StreamingWhileAcquiring",
         [&] { acquiring(); return WriteRegister(STREAMING_START_ADDRESS, 1); },
         GC_ERR_ACCESS_DENIED, "Core registers refused to prepare for register streaming "
                               "operation."},
        {"RevokeWhileAcquiring",
         [&] { acquiring(); Stream().GetBufferID(0, &listed); return harness->Revoke(listed); },
         GC_ERR_BUSY, "RevokeBuffer: revoking buffers during acquisition not supported"},
        {"AnnounceWhileAcquiring", [&] { acquiring(); return announce(64); },
         GC_ERR_BUSY, "AnnounceBuffer: announcing buffers during acquisition not supported"},
        {"SmallAnnounceWhileAcquiring",
         [&] { acquiring(); branding->buffer_changes_during_acquisition = true;
               return announce(63); },
         GC_ERR_BUFFER_TOO_SMALL, "AnnounceBuffer: the buffer announced while actively streaming "
                                  "is smaller than required"},
        {"RevokeLateBufferWhileAcquiring",
         [&] { acquiring(); branding->buffer_changes_during_acquisition = true;
               const BUFFER_HANDLE late = queued(64);
               EXPECT_TRUE(harness->Buffer(late).IsScheduled());
               return harness->Revoke(late); },
         GC_ERR_BUSY, "RevokeBuffer: attempt to revoke a queued buffer."},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        harness.reset();
        branding = &InstallAcquisitionBranding();
        harness = std::make_unique<StreamHarness<>>();
        std::fill(segments, segments + 3, nullptr);
        EXPECT_EQ(row.request(), row.result);
        EXPECT_EQ(LastErrorText(), row.text);
    }
}

TEST_F(StreamTest, AcceptsTouchingBuffersAndRefusesEveryOverlap)
{
    std::vector<uint8_t> memory(250);
    ASSERT_NE(harness->Announce(100, memory.data() + 50), nullptr);
    ASSERT_NE(harness->Announce(100, memory.data() + 150), nullptr);
    for (size_t offset : {50, 0, 149, 60}) {
        GC_ERROR result = GC_ERR_SUCCESS;
        EXPECT_EQ(harness->Announce(51, memory.data() + offset, &result), nullptr);
        EXPECT_EQ(result, GC_ERR_RESOURCE_IN_USE) << "offset " << offset;
        EXPECT_EQ(LastErrorText(),
                  "AnnounceBuffer: attempt to announce duplicate or overlapping buffer/segment");
    }
    EXPECT_EQ(harness->Info(STREAM_INFO_NUM_ANNOUNCED), 2u);
    branding->composite_buffer_aware = true;
    void* segments[3] = {memory.data(), memory.data() + 32, memory.data() + 40};
    const size_t sizes[3] = {32, 8, 8};
    SharedPtr<GenTLCore::GenTLBuffer> buffer;
    ASSERT_EQ(Stream().AnnounceCompositeBuffer(3, segments, sizes, nullptr, buffer), 0);
    harness->Register(buffer);
    EXPECT_EQ(buffer->GetSize(), 48u);
}

TEST_F(StreamTest, ListsBuffersInHandleOrderUntilRevoked)
{
    std::vector<uint8_t> memory(300);
    Handles handles;
    for (int i = 2; i >= 0; --i) handles.push_back(harness->Announce(100, memory.data() + 100 * i));
    std::sort(handles.begin(), handles.end());
    for (uint32_t i = 0; i < 3; ++i) {
        BUFFER_HANDLE listed = nullptr;
        ASSERT_EQ(Stream().GetBufferID(i, &listed), GC_ERR_SUCCESS);
        EXPECT_EQ(listed, handles[i]);
    }
    void* buffer_ptr = nullptr;
    void* user_ptr = nullptr;
    ASSERT_EQ(harness->Revoke(handles[1], &buffer_ptr, &user_ptr), GC_ERR_SUCCESS);
    EXPECT_EQ(buffer_ptr, memory.data() + 100) << "the consumer's memory back";
    EXPECT_EQ(user_ptr, buffer_ptr) << "announced with its memory as user pointer";
    EXPECT_EQ(ReadRegister(0x10000000), 2u);
    BUFFER_HANDLE listed = nullptr;
    ASSERT_EQ(Stream().GetBufferID(1, &listed), GC_ERR_SUCCESS);
    EXPECT_EQ(listed, handles[2]);
    EXPECT_EQ(Stream().QueueBuffer(handles[1]), GC_ERR_INVALID_HANDLE);
}

TEST_F(StreamTest, UnannouncingAQueuedBufferTakesItOutOfTheInputPool)
{
    SharedPtr<GenTLCore::GenTLBuffer> buffer;
    ASSERT_EQ(Stream().AllocAndAnnounceBuffer(64, nullptr, buffer), GC_ERR_SUCCESS);
    // As a flush that raced the front's failed registration of the handle.
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_SUCCESS);
    Stream().UnannounceBuffer(buffer);
    EXPECT_EQ(harness->Info(STREAM_INFO_NUM_QUEUED), 0u);
    EXPECT_EQ(harness->Info(STREAM_INFO_NUM_ANNOUNCED), 0u);
    EXPECT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->Info(STREAM_INFO_NUM_AWAIT_DELIVERY), 0u);
}

// Buffer 0 unqueued, 1 and 2 queued (in the engine while acquiring), 3
// waiting for the consumer: where each flush leaves them, idle and while
// acquiring. The flushes of all buffers stop an acquisition; a discard
// makes every buffer revocable.
TEST_F(StreamTest, FlushesMoveBuffersBetweenThePools)
{
    struct Row {
        const char* name;
        ACQ_QUEUE_TYPE operation;
        bool acquiring;
        size_t input;
        Handles::size_type waiting;
        size_t engine;
        std::vector<size_t> delivered;  // in event order
    };
    const Row rows[] = {
        {"InputToOutput", ACQ_QUEUE_INPUT_TO_OUTPUT, false, 0, 3, 0, {3, 1, 2}},
        {"InputToOutputAcquiring", ACQ_QUEUE_INPUT_TO_OUTPUT, true, 0, 1, 2, {3}},
        {"OutputDiscard", ACQ_QUEUE_OUTPUT_DISCARD, false, 2, 0, 0, {}},
        {"OutputDiscardAcquiring", ACQ_QUEUE_OUTPUT_DISCARD, true, 0, 0, 2, {}},
        {"AllToInput", ACQ_QUEUE_ALL_TO_INPUT, false, 4, 0, 0, {}},
        {"AllToInputAcquiring", ACQ_QUEUE_ALL_TO_INPUT, true, 4, 0, 0, {}},
        {"UnqueuedToInput", ACQ_QUEUE_UNQUEUED_TO_INPUT, false, 3, 1, 0, {3}},
        {"UnqueuedToInputAcquiring", ACQ_QUEUE_UNQUEUED_TO_INPUT, true, 0, 1, 3, {3}},
        {"AllDiscard", ACQ_QUEUE_ALL_DISCARD, false, 0, 0, 0, {}},
        {"AllDiscardAcquiring", ACQ_QUEUE_ALL_DISCARD, true, 0, 0, 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        harness = std::make_unique<StreamHarness<>>();
        const Handles handles = harness->AnnounceMany(4, 64);
        Stream().QueueBuffer(handles[3]);
        Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT);
        Stream().QueueBuffer(handles[1]);
        Stream().QueueBuffer(handles[2]);
        if (row.acquiring) {
            ASSERT_EQ(Start(), GC_ERR_SUCCESS);
        }
        ASSERT_EQ(Stream().FlushQueue(row.operation), GC_ERR_SUCCESS);
        EXPECT_EQ(harness->Info(STREAM_INFO_NUM_QUEUED), row.input);
        EXPECT_EQ(harness->Info(STREAM_INFO_NUM_AWAIT_DELIVERY), row.waiting);
        EXPECT_EQ(Stream().HeldCount(), row.engine);
        const bool stops =
            row.operation == ACQ_QUEUE_ALL_TO_INPUT || row.operation == ACQ_QUEUE_ALL_DISCARD;
        EXPECT_EQ(IsGrabbing(), row.acquiring && !stops);
        Handles expected;
        for (size_t index : row.delivered) expected.push_back(handles[index]);
        EXPECT_EQ(harness->TakeAll(), expected);
        for (BUFFER_HANDLE handle : expected) {
            EXPECT_EQ(harness->Info(handle, BUFFER_INFO_NEW_DATA), 0u);
            EXPECT_EQ(
                Stream().GetBufferInfo(handle, BUFFER_INFO_SIZE_FILLED, nullptr, nullptr, nullptr),
                GC_ERR_NOT_AVAILABLE);
        }
        if (IsGrabbing()) {
            ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
        }
        harness->ExpectEveryBufferInOnePlace(4 - row.input - row.engine);
        if (row.operation == ACQ_QUEUE_ALL_DISCARD) {
            for (BUFFER_HANDLE handle : handles) EXPECT_EQ(harness->Revoke(handle), GC_ERR_SUCCESS);
        }
    }
}

TEST_F(StreamTest, RegistersAnswerTheStreamStateAndReopeningResetsThem)
{
    harness->AnnounceMany(2, 64);
    const std::pair<uint64_t, uint32_t> idle[] = {{0x10000000, 2}, {0x10000004, 1},
                                                  {0x1000000C, 0}, {0x10000010, 0},
                                                  {0x20000000, 0}, {0x0F000000, 0}};
    for (const auto& [address, value] : idle) EXPECT_EQ(ReadRegister(address), value) << address;
    Stream().knobs.payload_size = 0x1'0000'0040;
    EXPECT_EQ(ReadRegister(0x10000014), 0x40u) << "low 32 bits of the payload size";
    char id[128] = {};
    size_t size = sizeof id;
    ASSERT_EQ(Stream().ReadPort(0x0, id, &size), GC_ERR_SUCCESS);
    EXPECT_STREQ(id, "Acq_STM0_Dev_1");
    branding->default_aux_buffer_count = 3;
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, 2), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteRegister(AUX_COUNT_ADDRESS, 20), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadRegister(MODE_ADDRESS), 2u);
    EXPECT_EQ(ReadRegister(AUX_COUNT_ADDRESS), 20u);
    ASSERT_EQ(harness->Reopen(), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadRegister(MODE_ADDRESS), 0u);
    EXPECT_EQ(ReadRegister(AUX_COUNT_ADDRESS), 3u);
}

TEST_F(StreamTest, PriorityRegistersReadTheDefaultEnginePriority)
{
    int32_t value = -1;
    size_t size = sizeof value;
    ASSERT_EQ(Stream().ReadPort(0x20000004, &value, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(value, 0);
    ASSERT_EQ(Stream().ReadPort(0x20000008, &value, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(value, 2);
    value = 1;
    ASSERT_EQ(Stream().WritePort(0x20000008, &value, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(WriteRegister(0x2000000C, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().ReadPort(0x20000008, &value, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(value, 1);
}

TEST_F(StreamTest, InfoAnswersFactsCountersAndTheFlowTable)
{
    const auto id = Ask<char[64]>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return Stream().GetStreamInfo(STREAM_INFO_ID, t, b, s);
    });
    EXPECT_STREQ(id.value, "Acq_STM0_Dev_1");
    EXPECT_EQ(id.type, INFO_DATATYPE_STRING);
    const auto minimum = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return Stream().GetStreamInfo(STREAM_INFO_BUF_ANNOUNCE_MIN, t, b, s);
    });
    EXPECT_EQ(minimum.value, 1u);
    EXPECT_EQ(minimum.type, INFO_DATATYPE_SIZET);
    EXPECT_EQ(harness->Info(STREAM_INFO_BUF_ALIGNMENT), 1u);
    const auto tl_type = Ask<char[16]>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return Stream().GetStreamInfo(STREAM_INFO_TLTYPE, t, b, s);
    });
    EXPECT_STREQ(tl_type.value, "TestTL");
    Stream().knobs.modifies_payload = true;
    Stream().knobs.payload_size = 4096;
    EXPECT_EQ(harness->Info(STREAM_INFO_PAYLOAD_SIZE), 4096u);
    EXPECT_EQ(ReadRegister(0x10000010), 1u);
    Stream().knobs.engine_counts[0] = 5;
    Stream().knobs.engine_counts[1] = 7;
    Stream().knobs.engine_counts[2] = 11;
    harness->AnnounceMany(2, 64, true);
    EXPECT_EQ(harness->Info(STREAM_INFO_NUM_STARTED), 5u);
    EXPECT_EQ(harness->Info(STREAM_INFO_NUM_QUEUED), 9u);
    EXPECT_EQ(harness->Info(STREAM_INFO_NUM_UNDERRUN), 11u);
    branding->composite_buffer_aware = true;
    Stream().knobs.flow_sizes = {100, 200};
    uint8_t table[40] = {};
    size_t size = sizeof table;
    INFO_DATATYPE type = 0;
    ASSERT_EQ(Stream().GetStreamInfo(STREAM_INFO_FLOW_TABLE, &type, table, &size), GC_ERR_SUCCESS);
    const uint8_t expected[32] = {0x00, 0x70, 0, 0, 32, 0, 0, 0, 1,   0, 0, 0, 2, 0, 0, 0,
                                  100,  0,    0, 0, 0,  0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(size, 32u);
    EXPECT_EQ(type, INFO_DATATYPE_BUFFER);
    EXPECT_EQ(std::memcmp(table, expected, 32), 0);
    uint32_t flows = 0;
    ASSERT_EQ(Stream().GetNumFlows(&flows), GC_ERR_SUCCESS);
    EXPECT_EQ(flows, 2u);
    const auto flow = Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return Stream().GetFlowInfo(1, FLOW_INFO_SIZE, t, b, s);
    });
    EXPECT_EQ(flow.value, 200u);
}

TEST_F(StreamTest, OpensOnlyWithItsEngineAndClosesItWithEveryBuffer)
{
    SharedPtr<FakeEngineStream> refused(new FakeEngineStream);
    refused->knobs.open_engine_result = GC_ERR_IO;
    refused->CompleteConstruction();
    EXPECT_EQ(refused->Open(), GC_ERR_IO);
    EXPECT_FALSE(refused->IsOpen());
    const Handles handles = harness->AnnounceMany(3, 64, true);
    harness->Close();
    EXPECT_EQ(Stream().calls.close_engine.load(), 1);
    EXPECT_EQ(Stream().GetBufferInfo(handles[0], BUFFER_INFO_SIZE, nullptr, nullptr, nullptr),
              GC_ERR_INVALID_HANDLE);
    EXPECT_TRUE(Stream().MatchesStreamId("slot", "primary"));
    EXPECT_FALSE(Stream().MatchesStreamId("slot", "secondary"));
    EXPECT_FALSE(Stream().MatchesStreamId("port", "primary")) << "not a key of the branding";
}

}  // namespace
}  // namespace AcquisitionTest
