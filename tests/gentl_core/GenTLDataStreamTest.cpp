// GenTLDataStreamTest.cpp: a data stream's buffer pools (announce, queue,
// revoke, flush, index), its registers and DSGetInfo, while no acquisition
// runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "StreamHarness.h"
#include "gentl_core/GenTLDataStream.h"

namespace AcquisitionTest {
namespace {

using GenTLCore::SharedPtr;

using StreamTest = StreamFixture;

// ---- Announce ----

using StreamAnnounceTest = StreamTest;

TEST_F(StreamAnnounceTest, TouchingBuffersAreAcceptedButDuplicateOrOverlappingOnesRefused)
{
    std::vector<uint8_t> memory(250);
    ASSERT_NE(harness->AnnounceAt(memory.data() + 50, 100), nullptr);
    EXPECT_NE(harness->AnnounceAt(memory.data() + 150, 100), nullptr);
    for (size_t offset : {50, 0, 149, 60}) {
        GC_ERROR result = GC_ERR_SUCCESS;
        EXPECT_EQ(harness->AnnounceAt(memory.data() + offset, 51, nullptr, &result), nullptr);
        EXPECT_EQ(result, GC_ERR_RESOURCE_IN_USE) << "offset " << offset;
        EXPECT_EQ(LastErrorText(),
                  "AnnounceBuffer: attempt to announce duplicate or overlapping buffer/segment");
    }
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_ANNOUNCED), 2u);
}

TEST_F(StreamAnnounceTest, ZeroSizeIsRefused)
{
    std::vector<uint8_t> memory(10);
    GC_ERROR result = GC_ERR_SUCCESS;
    harness->AnnounceAt(memory.data(), 0, nullptr, &result);
    EXPECT_EQ(result, GC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(LastErrorText(), "AnnounceBuffer: announcing zero-sized buffer/segment");
    SharedPtr<GenTLCore::GenTLBuffer> buffer;
    EXPECT_EQ(Stream().AllocAndAnnounceBuffer(0, nullptr, buffer), GC_ERR_BUFFER_TOO_SMALL);
    EXPECT_FALSE(buffer);
}

TEST_F(StreamAnnounceTest, ProducerMemoryIsRevokedWithoutABufferPointer)
{
    SharedPtr<GenTLCore::GenTLBuffer> buffer;
    void* const user = reinterpret_cast<void*>(0x77);
    ASSERT_EQ(Stream().AllocAndAnnounceBuffer(256, user, buffer), GC_ERR_SUCCESS);
    const BUFFER_HANDLE handle = harness->Register(buffer);
    EXPECT_NE(buffer->GetContiguousBase(), nullptr);
    void* memory = reinterpret_cast<void*>(1);
    void* user_back = nullptr;
    ASSERT_EQ(harness->Revoke(handle, &memory, &user_back), GC_ERR_SUCCESS);
    EXPECT_EQ(memory, nullptr);
    EXPECT_EQ(user_back, user);
}

TEST_F(StreamAnnounceTest, BuffersAreNumberedAcrossTheProcessInTheirUniqueStrings)
{
    const std::vector<BUFFER_HANDLE> handles = harness->AnnounceMany(2, 16);
    const std::string prefix = "Acq_STM0_Dev_1_BUF";
    const std::string first = harness->Buffer(handles[0])->GetUniqueString();
    const std::string second = harness->Buffer(handles[1])->GetUniqueString();
    ASSERT_EQ(first.substr(0, prefix.size()), prefix);
    ASSERT_EQ(second.substr(0, prefix.size()), prefix);
    EXPECT_EQ(std::stoul(second.substr(prefix.size())),
              std::stoul(first.substr(prefix.size())) + 1);
}

TEST_F(StreamAnnounceTest, AnnouncementIsLogged)
{
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_INFO);
    TestSupport::LogCapture log;
    const BUFFER_HANDLE handle = harness->Announce(100, reinterpret_cast<void*>(0x1234));
    const std::string expected =
        "Announcing buffer (consumer alloc'd), 1 segments, total size 100 bytes, user ptr 0x1234, "
        "log-id " +
        harness->Buffer(handle)->GetUniqueString();
    const std::vector<std::string> lines = log.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&expected](const std::string& line) {
        return line.find(expected) != std::string::npos;
    }));
}

TEST_F(StreamAnnounceTest, FailedCreationAnnouncesNothing)
{
    Stream().knobs.create_buffer_fails = true;
    harness->Announce(100);
    SharedPtr<GenTLCore::GenTLBuffer> buffer;
    EXPECT_EQ(Stream().AllocAndAnnounceBuffer(100, nullptr, buffer), GC_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_ANNOUNCED), 0u);
}

TEST_F(StreamAnnounceTest, CompositeBuffersNeedSupportAndHaveTheirSegmentsCheckedInOrder)
{
    std::vector<uint8_t> memory(64);
    void* segments[3] = {memory.data(), memory.data() + 32, nullptr};
    size_t sizes[3] = {32, 8, 8};
    SharedPtr<GenTLCore::GenTLBuffer> buffer;
    EXPECT_EQ(Stream().AnnounceCompositeBuffer(2, segments, sizes, nullptr, buffer),
              GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(),
              "AnnounceCompositeBuffer: this transport layer implementation does not support "
              "composite buffers");
    branding->composite_buffer_aware = true;
    segments[1] = nullptr;
    segments[2] = memory.data() + 16;
    EXPECT_EQ(Stream().AnnounceCompositeBuffer(2, nullptr, sizes, nullptr, buffer),
              GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "AnnounceCompositeBuffer: invalid input array pointer");
    EXPECT_EQ(Stream().AnnounceCompositeBuffer(0, segments, sizes, nullptr, buffer),
              GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "AnnounceCompositeBuffer: announced zero segments");
    EXPECT_EQ(Stream().AnnounceCompositeBuffer(2, segments, sizes, nullptr, buffer),
              GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "AnnounceCompositeBuffer: invalid segment pointer");
    segments[1] = memory.data() + 40;
    EXPECT_EQ(Stream().AnnounceCompositeBuffer(3, segments, sizes, nullptr, buffer),
              GC_ERR_RESOURCE_IN_USE);
    EXPECT_EQ(LastErrorText(),
              "AnnounceBuffer: attempt to announce composite buffer with mutually overlapping "
              "segments");
    segments[2] = memory.data() + 48;
    ASSERT_EQ(Stream().AnnounceCompositeBuffer(3, segments, sizes, nullptr, buffer),
              GC_ERR_SUCCESS);
    harness->Register(buffer);
    EXPECT_TRUE(buffer->IsComposite());
    EXPECT_EQ(buffer->GetSize(), 48u);
}

// ---- Queue and revoke ----

using StreamQueueRevokeTest = StreamTest;

TEST_F(StreamQueueRevokeTest, QueuingTwiceIsRefusedAndQueuesOnce)
{
    const BUFFER_HANDLE handle = harness->Announce(64);
    EXPECT_EQ(Stream().QueueBuffer(handle), GC_ERR_SUCCESS);
    EXPECT_EQ(Stream().QueueBuffer(handle), GC_ERR_RESOURCE_IN_USE);
    EXPECT_EQ(LastErrorText(), "QueueBuffer: the buffer is already queued");
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_QUEUED), 1u);
}

TEST_F(StreamQueueRevokeTest, RevokedBufferIsNoLongerListed)
{
    const std::vector<BUFFER_HANDLE> handles = harness->AnnounceMany(3, 64);
    ASSERT_EQ(harness->Revoke(handles[1]), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_ANNOUNCED), 2u);
    EXPECT_EQ(ReadRegister(0x10000000), 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        BUFFER_HANDLE listed = nullptr;
        ASSERT_EQ(Stream().GetBufferID(i, &listed), GC_ERR_SUCCESS);
        EXPECT_NE(listed, handles[1]);
    }
    EXPECT_EQ(Stream().QueueBuffer(handles[1]), GC_ERR_INVALID_HANDLE);
    EXPECT_EQ(Stream().RevokeBuffer(SharedPtr<GenTLCore::GenTLBuffer>(), nullptr, nullptr),
              GC_ERR_INVALID_HANDLE);
    EXPECT_EQ(LastErrorText(), "RevokeBuffer: no such buffer object exists within  this stream.");
}

TEST_F(StreamQueueRevokeTest, BufferIdsFollowTheHandlesNotTheAnnouncementOrder)
{
    std::vector<uint8_t> memory(300);
    // Announced from the highest address down, so the handles may come in
    // any order; the index must follow them.
    std::vector<BUFFER_HANDLE> handles;
    for (int i = 2; i >= 0; --i)
        handles.push_back(harness->AnnounceAt(memory.data() + 100 * i, 100));
    std::sort(handles.begin(), handles.end());
    for (uint32_t i = 0; i < 3; ++i) {
        BUFFER_HANDLE listed = nullptr;
        ASSERT_EQ(Stream().GetBufferID(i, &listed), GC_ERR_SUCCESS);
        EXPECT_EQ(listed, handles[i]);
    }
    BUFFER_HANDLE listed = nullptr;
    EXPECT_EQ(Stream().GetBufferID(3, &listed), GC_ERR_INVALID_INDEX);
    EXPECT_EQ(LastErrorText(), "GetBufferID: invalid buffer index, exceeding number of buffers");
    EXPECT_EQ(Stream().GetBufferID(0, nullptr), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "GetBufferID: invalid buffer handle pointer.");
}

TEST_F(StreamQueueRevokeTest, UnannouncingAQueuedBufferTakesItOutOfTheInputPool)
{
    SharedPtr<GenTLCore::GenTLBuffer> buffer;
    ASSERT_EQ(Stream().AllocAndAnnounceBuffer(64, nullptr, buffer), GC_ERR_SUCCESS);
    // As a flush that raced the front's failed registration of the handle.
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_SUCCESS);
    Stream().UnannounceBuffer(buffer);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_QUEUED), 0u);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_ANNOUNCED), 0u);
    EXPECT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_AWAIT_DELIVERY), 0u);
}

// ---- Flush ----

using StreamFlushTest = StreamTest;

TEST_F(StreamFlushTest, InputToOutputDeliversQueuedBuffersInOrderWithEmptyFill)
{
    const std::vector<BUFFER_HANDLE> handles = harness->AnnounceMany(3, 64);
    for (BUFFER_HANDLE handle : {handles[2], handles[0], handles[1]})
        ASSERT_EQ(Stream().QueueBuffer(handle), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_QUEUED), 0u);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_AWAIT_DELIVERY), 3u);
    for (BUFFER_HANDLE expected : {handles[2], handles[0], handles[1]}) {
        const EventDatum datum = harness->GetEvent(0);
        ASSERT_EQ(datum.result, GC_ERR_SUCCESS);
        EXPECT_EQ(datum.buffer, expected);
        EXPECT_EQ(datum.user_ptr, harness->Buffer(expected)->GetUserPtr());
        EXPECT_FALSE(harness->IsQueued(expected));
        const auto new_data = Ask<bool8_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return Stream().GetBufferInfo(expected, BUFFER_INFO_NEW_DATA, t, b, s);
        });
        EXPECT_EQ(new_data.value, 0);
        const auto filled = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return Stream().GetBufferInfo(expected, BUFFER_INFO_SIZE_FILLED, t, b, s);
        });
        EXPECT_EQ(filled.result, GC_ERR_NOT_AVAILABLE);
    }
}

TEST_F(StreamFlushTest, OutputDiscardMakesWaitingBuffersRevocable)
{
    const std::vector<BUFFER_HANDLE> handles = harness->AnnounceMany(2, 64);
    harness->QueueAll(handles);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->Revoke(handles[0]), GC_ERR_BUSY);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_OUTPUT_DISCARD), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_AWAIT_DELIVERY), 0u);
    EXPECT_EQ(harness->Revoke(handles[0]), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->Revoke(handles[1]), GC_ERR_SUCCESS);
}

TEST_F(StreamFlushTest, UnqueuedToInputQueuesEveryOtherBuffer)
{
    const std::vector<BUFFER_HANDLE> handles = harness->AnnounceMany(3, 64);
    ASSERT_EQ(Stream().QueueBuffer(handles[1]), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_QUEUED), 3u);
    for (BUFFER_HANDLE handle : handles) EXPECT_TRUE(harness->IsQueued(handle));
}

TEST_F(StreamFlushTest, AllDiscardUnqueuesEverythingAndAnUnknownOperationIsNotImplemented)
{
    const std::vector<BUFFER_HANDLE> handles = harness->AnnounceMany(3, 64);
    harness->QueueAll(handles);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_INPUT_TO_OUTPUT), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().QueueBuffer(harness->GetEvent(0).buffer), GC_ERR_SUCCESS);
    ASSERT_EQ(Stream().FlushQueue(ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_QUEUED), 0u);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_AWAIT_DELIVERY), 0u);
    for (BUFFER_HANDLE handle : handles) EXPECT_FALSE(harness->IsQueued(handle));
    EXPECT_EQ(Stream().FlushQueue(5), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "FlushQueue: unknown queue flush operation requested");
}

// ---- Registers ----

using StreamRegisterTest = StreamTest;

TEST_F(StreamRegisterTest, ReadOnlyRegistersAnswerTheStreamState)
{
    harness->AnnounceMany(2, 64);
    EXPECT_EQ(ReadRegister(0x10000000), 2u);
    EXPECT_EQ(ReadRegister(0x10000004), 1u);
    EXPECT_EQ(ReadRegister(0x1000000C), 0u);
    EXPECT_EQ(ReadRegister(0x10000010), 0u);
    Stream().knobs.payload_size = 0x1'0000'0040;
    EXPECT_EQ(ReadRegister(0x10000014), 0x40u) << "low 32 bits of the payload size";
    EXPECT_EQ(ReadRegister(0x20000000), 0u);
    EXPECT_EQ(ReadRegister(0x0F000000), 0u);
    char id[128] = {};
    size_t size = sizeof id;
    ASSERT_EQ(Stream().ReadPort(0x0, id, &size), GC_ERR_SUCCESS);
    EXPECT_STREQ(id, "Acq_STM0_Dev_1");
}

// A register that takes values up to a limit, and only while idle.
struct LimitedRegister {
    const char* name;
    uint64_t address;
    uint32_t largest;
    const char* out_of_range_text;
    const char* busy_text;
};

class LimitedRegisterTest : public StreamTest,
                            public ::testing::WithParamInterface<LimitedRegister> {};

TEST_P(LimitedRegisterTest, TakesValuesUpToItsLimitWhileIdle)
{
    const LimitedRegister& r = GetParam();
    EXPECT_EQ(WriteRegister(r.address, r.largest + 1), GC_ERR_INVALID_VALUE);
    EXPECT_EQ(LastErrorText(), r.out_of_range_text);
    EXPECT_EQ(WriteRegister(r.address, r.largest), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadRegister(r.address), r.largest);
    harness->QueueAll(harness->AnnounceMany(1, 64));
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadRegister(ACQUISITION_ACTIVE_ADDRESS), 1u);
    EXPECT_EQ(WriteRegister(r.address, 0), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(), r.busy_text);
    EXPECT_EQ(ReadRegister(r.address), r.largest);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Registers, LimitedRegisterTest,
    ::testing::Values(
        LimitedRegister{"BufferHandlingMode", MODE_ADDRESS, 2,
                        "Trying to set an unknown buffer handling mode value",
                        "Cannot change the buffer handling mode during active acquisition"},
        LimitedRegister{"AuxiliaryBufferCount", AUX_COUNT_ADDRESS, 20,
                        "The requested number of auxiliary buffers is out of valid range",
                        "Cannot change the number of auxiliary buffers during active acquisition"}),
    [](const ::testing::TestParamInfo<LimitedRegister>& info) { return info.param.name; });

TEST_F(StreamRegisterTest, ReopeningRestoresModeAndBrandingAuxCount)
{
    branding->default_aux_buffer_count = 3;
    ASSERT_EQ(WriteRegister(MODE_ADDRESS, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteRegister(AUX_COUNT_ADDRESS, 7), GC_ERR_SUCCESS);
    ASSERT_EQ(harness->Reopen(), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadRegister(MODE_ADDRESS), 0u);
    EXPECT_EQ(ReadRegister(AUX_COUNT_ADDRESS), 3u);
}

TEST_F(StreamRegisterTest, PriorityRegistersReadTheDefaultEnginePriority)
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

TEST_F(StreamRegisterTest, RegisterStreamingIsRefusedDuringAcquisition)
{
    harness->QueueAll(harness->AnnounceMany(1, 64));
    ASSERT_EQ(Stream().StartAcquisition(0, GENTL_INFINITE), GC_ERR_SUCCESS);
    EXPECT_EQ(WriteRegister(0x0E000008, 1), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(WriteRegister(0x0E000000, 1), GC_ERR_ACCESS_DENIED);
    ASSERT_EQ(Stream().StopAcquisition(0), GC_ERR_SUCCESS);
}

// ---- DSGetInfo ----

using StreamInfoTest = StreamTest;

TEST_F(StreamInfoTest, IdleStreamAnswersItsFactsAndAModifiedPayloadSize)
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
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_BUF_ALIGNMENT), 1u);
    EXPECT_FALSE(harness->IsGrabbing());
    const auto tl_type = Ask<char[16]>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return Stream().GetStreamInfo(STREAM_INFO_TLTYPE, t, b, s);
    });
    EXPECT_STREQ(tl_type.value, "TestTL");
    Stream().knobs.modifies_payload = true;
    Stream().knobs.payload_size = 4096;
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_PAYLOAD_SIZE), 4096u);
    EXPECT_EQ(ReadRegister(0x10000010), 1u);
}

// A command the stream refuses, with its code and message.
struct RefusedStreamInfo {
    const char* name;
    STREAM_INFO_CMD command;
    GC_ERROR expected;
    const char* text;
};

class RefusedStreamInfoTest : public StreamTest,
                              public ::testing::WithParamInterface<RefusedStreamInfo> {};

TEST_P(RefusedStreamInfoTest, IsRefusedWithItsMessage)
{
    const auto answer = Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return Stream().GetStreamInfo(GetParam().command, t, b, s);
    });
    EXPECT_EQ(answer.result, GetParam().expected);
    EXPECT_EQ(LastErrorText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RefusedStreamInfoTest,
    ::testing::Values(
        RefusedStreamInfo{"PayloadSizeNotModified", STREAM_INFO_PAYLOAD_SIZE, GC_ERR_NOT_AVAILABLE,
                          "GetStreamInfo: the payload size of this data stream is not modified by "
                          "the producer, PayloadSize of the remote device should be used."},
        RefusedStreamInfo{"MaxChunks", STREAM_INFO_NUM_CHUNKS_MAX, GC_ERR_NOT_AVAILABLE,
                          "GetStreamInfo: the max number of chunks is unknown, the chunk layout is "
                          "device specific."},
        RefusedStreamInfo{"FlowTable", STREAM_INFO_FLOW_TABLE, GC_ERR_NOT_IMPLEMENTED,
                          "GetStreamInfo: this transport layer implementation does not support "
                          "flows"},
        RefusedStreamInfo{"GenDC", STREAM_INFO_GENDC_PREFETCH_DESCRIPTOR, GC_ERR_NOT_IMPLEMENTED,
                          "GetStreamInfo: this transport layer implementation (or device) does not "
                          "GenDC streaming"},
        RefusedStreamInfo{"Sixteen", 16, GC_ERR_NOT_IMPLEMENTED,
                          "GetStreamInfo: unknown stream info command requested"},
        RefusedStreamInfo{"NegativeAsSigned", static_cast<int32_t>(0x80000000u),
                          GC_ERR_NOT_IMPLEMENTED,
                          "GetStreamInfo: unknown stream info command requested"},
        RefusedStreamInfo{"Custom", 1000, GC_ERR_NOT_IMPLEMENTED,
                          "GetStreamInfo: unknown stream info command requested"}),
    [](const ::testing::TestParamInfo<RefusedStreamInfo>& info) { return info.param.name; });

TEST_F(StreamInfoTest, CountersAddTheEnginesShare)
{
    Stream().knobs.engine_counts[0] = 5;
    Stream().knobs.engine_counts[1] = 7;
    Stream().knobs.engine_counts[2] = 11;
    harness->QueueAll(harness->AnnounceMany(2, 64));
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_STARTED), 5u);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_QUEUED), 9u);
    EXPECT_EQ(harness->InfoUInt64(STREAM_INFO_NUM_UNDERRUN), 11u);
}

TEST_F(StreamInfoTest, FlowTableListsTheFlowSizesOnceFlowsAreSupportedAndKnown)
{
    const auto flow = [&](uint32_t index, FLOW_INFO_CMD command) {
        return Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return Stream().GetFlowInfo(index, command, t, b, s);
        });
    };
    EXPECT_EQ(flow(99, FLOW_INFO_SIZE).result, GC_ERR_NOT_IMPLEMENTED) << "before the index";
    EXPECT_EQ(LastErrorText(),
              "GetFlowInfo: this transport layer implementation does not support flows");
    branding->composite_buffer_aware = true;
    uint32_t flows = 0;
    EXPECT_EQ(Stream().GetNumFlows(&flows), GC_ERR_NO_DATA);
    EXPECT_EQ(LastErrorText(),
              "GetNumFlows: flow configuration currently not available/applicable/queriable");
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
    ASSERT_EQ(Stream().GetNumFlows(&flows), GC_ERR_SUCCESS);
    EXPECT_EQ(flows, 2u);
    EXPECT_EQ(flow(1, FLOW_INFO_SIZE).value, 200u);
    EXPECT_EQ(flow(2, FLOW_INFO_SIZE).result, GC_ERR_INVALID_INDEX);
    EXPECT_EQ(LastErrorText(), "GetFlowInfo: invalid flow index, exceeding number of flows");
    EXPECT_EQ(flow(0, 1).result, GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "GetFlowInfo: unknown flow info command requested");
}

TEST_F(StreamInfoTest, BufferQueriesNeedABufferOfThisStream)
{
    const auto answer = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return Stream().GetBufferInfo(reinterpret_cast<BUFFER_HANDLE>(0x10), BUFFER_INFO_SIZE, t, b,
                                      s);
    });
    EXPECT_EQ(answer.result, GC_ERR_INVALID_HANDLE);
    EXPECT_EQ(LastErrorText(),
              "GetBufferInfo: the required buffer was not announced in the data stream.");
    branding->multi_part_aware = false;
    const BUFFER_HANDLE handle = harness->Announce(64);
    const auto part = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return Stream().GetBufferPartInfo(handle, 0, BUFFER_PART_INFO_DATA_SIZE, t, b, s);
    });
    EXPECT_EQ(part.result, GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(),
              "GetBufferPartInfo: this transport layer implementation does not support multi-part "
              "payloads.");
}

// ---- Open, close and identity ----

using StreamLifeTest = StreamTest;

TEST_F(StreamLifeTest, EngineRefusingTheOpenFailsIt)
{
    SharedPtr<FakeEngineStream> stream(new FakeEngineStream);
    stream->knobs.open_engine_result = GC_ERR_IO;
    stream->CompleteConstruction();
    EXPECT_EQ(stream->Open(), GC_ERR_IO);
    EXPECT_FALSE(stream->IsOpen());
}

TEST_F(StreamLifeTest, StreamWithoutTagIsNotAvailableAndRefusesBuffers)
{
    SharedPtr<FakeEngineStream> stream(new FakeEngineStream(SharedPtr<GenTLCore::StreamTag>()));
    expected_asserts = 1;
    stream->CompleteConstruction();
    EXPECT_TRUE(stream->IsNotAvailable());
    EXPECT_EQ(stream->QueueBuffer(nullptr), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "QueueBuffer: the stream is marked as non-functional, check and reopen the device.");
}

TEST_F(StreamLifeTest, ClosingDiscardsEveryBufferAndClosesTheEngine)
{
    const std::vector<BUFFER_HANDLE> handles = harness->AnnounceMany(3, 64);
    harness->QueueAll(handles);
    harness->Close();
    EXPECT_EQ(Stream().calls.close_engine.load(), 1);
    EXPECT_EQ(Stream().GetBufferInfo(handles[0], BUFFER_INFO_SIZE, nullptr, nullptr, nullptr),
              GC_ERR_INVALID_HANDLE);
}

TEST_F(StreamLifeTest, AlternativeIdUsesOnlyTheBrandingsKeys)
{
    branding->alternative_stream_keys = {"slot"};
    EXPECT_TRUE(Stream().MatchesStreamId("slot", "primary"));
    EXPECT_FALSE(Stream().MatchesStreamId("slot", "secondary"));
    EXPECT_FALSE(Stream().MatchesStreamId("port", "primary"));
}

}  // namespace
}  // namespace AcquisitionTest
