// GenTLBufferInfoTest.cpp: what a buffer answers to the buffer, part,
// segment and chunk queries, in which state, and with which refusal.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "AcquisitionTestHelpers.h"
#include "BufferTestHelpers.h"
#include "gentl_core/GenTLBuffer.h"
#include "support/AssertionCounter.h"

namespace AcquisitionTest {
namespace {

using GenTLCore::GlobalFillResults;
using GenTLCore::SegmentFillResult;

const std::string NOT_OWNED =
    ": attempt to query data-related info about a buffer which contains no data or is currently "
    "owned by the acquisition engine";

class BufferInfoTest : public ::testing::Test {
protected:
    void SetUp() override { branding = &InstallAcquisitionBranding(); }
    void TearDown() override { EXPECT_EQ(asserts.Failures(), 0); }

    template <class T>
    InfoAnswer<T> Info(FakeBuffer& buffer, BUFFER_INFO_CMD command)
    {
        return Ask<T>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return buffer.GetBufferInfo(command, t, b, s);
        });
    }

    AcquisitionBranding* branding = nullptr;
    TestSupport::AssertionCounter asserts;
};

// ---- Buffer info in every state ----

TEST_F(BufferInfoTest, AnnouncedBufferAnswersSizeAndUserPointerButNoFilledSize)
{
    OpenBuffer open(100);
    EXPECT_EQ(Info<size_t>(*open.buffer, BUFFER_INFO_SIZE).value, 100u);
    const auto user = Info<void*>(*open.buffer, BUFFER_INFO_USER_PTR);
    EXPECT_EQ(user.value, USER_PTR);
    EXPECT_EQ(user.type, INFO_DATATYPE_PTR);
    EXPECT_EQ(Info<void*>(*open.buffer, BUFFER_INFO_BASE).value, open.memory.data());
    const auto filled = Info<size_t>(*open.buffer, BUFFER_INFO_SIZE_FILLED);
    EXPECT_EQ(filled.result, GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "GetBufferInfo" + NOT_OWNED);
    EXPECT_EQ(filled.type, -1) << "nothing is written on a refusal";
}

TEST_F(BufferInfoTest, NewDataOfAQueuedBufferIsRefusedWithItsOwnMessage)
{
    OpenBuffer open(100);
    open.buffer->SetQueued(true);
    EXPECT_EQ(Info<bool8_t>(*open.buffer, BUFFER_INFO_NEW_DATA).result, GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(),
              "GetBufferInfo: attempt to query new data status for buffer which is currently owned "
              "by the acquisition engine");
    EXPECT_EQ(Info<bool8_t>(*open.buffer, BUFFER_INFO_IS_QUEUED).value, 1);
    open.buffer->SetQueued(false);
}

TEST_F(BufferInfoTest, DeliveredBufferAnswersFromItsFillAndThePayloadSlots)
{
    OpenBuffer open(100);
    Deliver(*open.buffer, GlobalFillResults{90, 80, false, true});
    EXPECT_EQ(Info<bool8_t>(*open.buffer, BUFFER_INFO_NEW_DATA).value, 1);
    EXPECT_EQ(Info<bool8_t>(*open.buffer, BUFFER_INFO_IS_QUEUED).value, 0);
    EXPECT_EQ(Info<bool8_t>(*open.buffer, BUFFER_INFO_IS_ACQUIRING).value, 0);
    EXPECT_EQ(Info<size_t>(*open.buffer, BUFFER_INFO_SIZE_FILLED).value, 90u);
    EXPECT_EQ(Info<size_t>(*open.buffer, BUFFER_INFO_DATA_SIZE).value, 80u);
    EXPECT_EQ(Info<bool8_t>(*open.buffer, BUFFER_INFO_IS_INCOMPLETE).value, 1);
    EXPECT_EQ(Info<bool8_t>(*open.buffer, BUFFER_INFO_DATA_LARGER_THAN_BUFFER).value, 1);
    const auto width = Info<size_t>(*open.buffer, BUFFER_INFO_WIDTH);
    EXPECT_EQ(width.value, FAKE_WIDTH);
    EXPECT_EQ(width.type, INFO_DATATYPE_SIZET);
    const auto frame = Info<uint64_t>(*open.buffer, BUFFER_INFO_FRAMEID);
    EXPECT_EQ(frame.value, FAKE_FRAME_ID);
    EXPECT_EQ(frame.type, INFO_DATATYPE_UINT64);
    const auto tl_type = Ask<char[16]>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return open.buffer->GetBufferInfo(BUFFER_INFO_TLTYPE, t, b, s);
    });
    EXPECT_STREQ(tl_type.value, "TestTL");
}

TEST_F(BufferInfoTest, SignedPayloadAnswersAreWidenedWithTheirSignAndARefusalWritesNothing)
{
    OpenBuffer open(100);
    open.buffer->payload_type = -1;
    open.buffer->pixel_format_namespace = -2;
    Deliver(*open.buffer, CompleteFill(100));
    const auto payload_type = Info<size_t>(*open.buffer, BUFFER_INFO_PAYLOADTYPE);
    EXPECT_EQ(payload_type.value, SIZE_MAX);
    EXPECT_EQ(payload_type.type, INFO_DATATYPE_SIZET);
    const auto pfnc = Info<uint64_t>(*open.buffer, BUFFER_INFO_PIXELFORMAT_NAMESPACE);
    EXPECT_EQ(pfnc.value, 0xFFFFFFFFFFFFFFFEull);
    EXPECT_EQ(pfnc.type, INFO_DATATYPE_UINT64);
    const auto timestamp = Info<uint64_t>(*open.buffer, BUFFER_INFO_TIMESTAMP_NS);
    EXPECT_EQ(timestamp.result, GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(timestamp.type, -1);
    EXPECT_EQ(LastErrorText(), "GetBufferInfo: timestamps not supported by the device");
}

TEST_F(BufferInfoTest, BaseOfACompositeBufferIsNotApplicable)
{
    OpenCompositeBuffer open({10, 20});
    EXPECT_EQ(Info<void*>(*open.buffer, BUFFER_INFO_BASE).result, GC_ERR_NO_DATA);
    EXPECT_EQ(LastErrorText(),
              "GetBufferInfo: base address query not applicable for composite buffers");
    EXPECT_EQ(Info<bool8_t>(*open.buffer, BUFFER_INFO_IS_COMPOSITE).value, 1);
}

TEST_F(BufferInfoTest, UnknownCommandsAreNotImplementedWhateverTheState)
{
    OpenBuffer open(100);
    for (BUFFER_INFO_CMD command : {32, 999, static_cast<int32_t>(0x80000000u), 1000, 5000}) {
        EXPECT_EQ(Info<uint64_t>(*open.buffer, command).result, GC_ERR_NOT_IMPLEMENTED) << command;
        EXPECT_EQ(LastErrorText(), "GetBufferInfo: unknown buffer info command requested");
    }
}

// Every data command is refused while the engine owns the buffer.
class BufferDataCommandWhileQueuedTest : public BufferInfoTest,
                                         public ::testing::WithParamInterface<BUFFER_INFO_CMD> {};

TEST_P(BufferDataCommandWhileQueuedTest, IsRefusedWithTheNoDataMessage)
{
    OpenBuffer open(100);
    open.buffer->SetQueued(true);
    open.buffer->SetScheduled(true);
    open.buffer->SetFillResults(CompleteFill(100));
    const auto answer = Info<uint64_t>(*open.buffer, GetParam());
    EXPECT_EQ(answer.result, GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "GetBufferInfo" + NOT_OWNED);
    EXPECT_EQ(answer.type, -1);
    open.buffer->SetScheduled(false);
    open.buffer->SetQueued(false);
}

INSTANTIATE_TEST_SUITE_P(
    AllDataCommands, BufferDataCommandWhileQueuedTest,
    ::testing::Values(BUFFER_INFO_TIMESTAMP, BUFFER_INFO_IS_INCOMPLETE, BUFFER_INFO_SIZE_FILLED,
                      BUFFER_INFO_WIDTH, BUFFER_INFO_HEIGHT, BUFFER_INFO_XOFFSET,
                      BUFFER_INFO_YOFFSET, BUFFER_INFO_XPADDING, BUFFER_INFO_YPADDING,
                      BUFFER_INFO_FRAMEID, BUFFER_INFO_IMAGEPRESENT, BUFFER_INFO_IMAGEOFFSET,
                      BUFFER_INFO_PAYLOADTYPE, BUFFER_INFO_PIXELFORMAT,
                      BUFFER_INFO_PIXELFORMAT_NAMESPACE, BUFFER_INFO_DELIVERED_IMAGEHEIGHT,
                      BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE, BUFFER_INFO_CHUNKLAYOUTID,
                      BUFFER_INFO_FILENAME, BUFFER_INFO_PIXEL_ENDIANNESS, BUFFER_INFO_DATA_SIZE,
                      BUFFER_INFO_TIMESTAMP_NS, BUFFER_INFO_DATA_LARGER_THAN_BUFFER,
                      BUFFER_INFO_CONTAINS_CHUNKDATA));

// ---- Stacked buffer info ----

TEST_F(BufferInfoTest, StackedQueryAnswersEveryEntryKeepsTheLastErrorAndRefusesAnEmptyList)
{
    OpenBuffer open(100);
    GenTLCore::ReportError(GC_ERR_TIMEOUT, "Earlier: something timed out");
    size_t size_value = 0;
    uint64_t unknown_value = 0;
    void* user_value = nullptr;
    DS_BUFFER_INFO_STACKED entries[3] = {};
    entries[0].iInfoCmd = BUFFER_INFO_SIZE;
    entries[0].pBuffer = &size_value;
    entries[0].iSize = sizeof size_value;
    entries[1].iInfoCmd = 32;
    entries[1].pBuffer = &unknown_value;
    entries[1].iSize = sizeof unknown_value;
    entries[2].iInfoCmd = BUFFER_INFO_USER_PTR;
    entries[2].pBuffer = &user_value;
    entries[2].iSize = sizeof user_value;
    EXPECT_EQ(open.buffer->GetBufferInfoStacked(entries, 3), GC_ERR_SUCCESS);
    EXPECT_EQ(entries[0].iResult, GC_ERR_SUCCESS);
    EXPECT_EQ(entries[0].iType, INFO_DATATYPE_SIZET);
    EXPECT_EQ(size_value, 100u);
    EXPECT_EQ(entries[1].iResult, GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(entries[2].iResult, GC_ERR_SUCCESS);
    EXPECT_EQ(user_value, USER_PTR);
    EXPECT_EQ(LastError().code, GC_ERR_TIMEOUT);
    EXPECT_EQ(LastErrorText(), "Earlier: something timed out");
    EXPECT_EQ(open.buffer->GetBufferInfoStacked(nullptr, 1), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "GetBufferInfoStacked: invalid info_stacked pointer");
    EXPECT_EQ(open.buffer->GetBufferInfoStacked(entries, 0), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "GetBufferInfoStacked: zero infos requested");
}

// ---- Multi-part ----

TEST_F(BufferInfoTest, PartCommands3300And3301AnswerRegionAndPurpose)
{
    OpenBuffer open(100);
    Deliver(*open.buffer, CompleteFill(100));
    const auto part_info = [&](uint32_t part, BUFFER_PART_INFO_CMD command) {
        return Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return open.buffer->GetBufferPartInfo(part, command, t, b, s);
        });
    };
    EXPECT_EQ(part_info(1, 3300).value, 101u);
    EXPECT_EQ(part_info(1, BUFFER_PART_INFO_REGION_ID).value, 101u);
    EXPECT_EQ(part_info(0, 3301).value, 200u);
    const auto data_type = part_info(0, BUFFER_PART_INFO_DATA_TYPE);
    EXPECT_EQ(data_type.value, 0xFFFFFFFFFFFFFFFEull);
    EXPECT_EQ(data_type.type, INFO_DATATYPE_SIZET);
    EXPECT_EQ(part_info(0, 14).result, GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "GetBufferPartInfo: unknown buffer info command requested");
    EXPECT_EQ(part_info(0, 1000).result, GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "GetBufferPartInfo: unknown buffer part info command requested");
}

TEST_F(BufferInfoTest, PartQueriesNeedDataThenAPointer)
{
    OpenBuffer open(100);
    uint32_t parts = 0;
    EXPECT_EQ(open.buffer->GetNumBufferParts(nullptr), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "GetNumBufferParts: invalid num_parts pointer");
    EXPECT_EQ(open.buffer->GetNumBufferParts(&parts), GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "GetNumBufferParts" + NOT_OWNED);
    Deliver(*open.buffer, CompleteFill(100));
    EXPECT_EQ(open.buffer->GetNumBufferParts(&parts), GC_ERR_SUCCESS);
    EXPECT_EQ(parts, 2u);
}

TEST_F(BufferInfoTest, StackedPartQueryUsesEveryEntryField)
{
    OpenBuffer open(100);
    Deliver(*open.buffer, CompleteFill(100));
    uint64_t region = 0;
    DS_BUFFER_PART_INFO_STACKED entries[2] = {};
    entries[0].iPartIndex = 3;
    entries[0].iInfoCmd = BUFFER_PART_INFO_REGION_ID;
    entries[0].pBuffer = &region;
    entries[0].iSize = sizeof region;
    entries[1].iInfoCmd = 14;
    EXPECT_EQ(open.buffer->GetBufferPartInfoStacked(entries, 2), GC_ERR_SUCCESS);
    EXPECT_EQ(entries[0].iResult, GC_ERR_SUCCESS);
    EXPECT_EQ(entries[0].iType, INFO_DATATYPE_UINT64);
    const size_t reported_size = entries[0].iSize;  // packed: read by value
    EXPECT_EQ(reported_size, sizeof region);
    EXPECT_EQ(region, 103u);
    EXPECT_EQ(entries[1].iResult, GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(open.buffer->GetBufferPartInfoStacked(entries, 0), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "GetBufferPartInfoStacked: zero infos requested");
}

TEST_F(BufferInfoTest, WithoutMultiPartSupportEveryPartQueryIsNotImplemented)
{
    branding->multi_part_aware = false;
    OpenBuffer open(100);
    uint32_t parts = 0;
    EXPECT_EQ(open.buffer->GetNumBufferParts(&parts), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(),
              "GetNumBufferParts: this transport layer implementation does not support "
              "multi-part payloads.");
    DS_BUFFER_PART_INFO_STACKED entry = {};
    EXPECT_EQ(open.buffer->GetBufferPartInfoStacked(&entry, 1), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(),
              "GetBufferPartInfoStacked: this transport layer implementation does not support "
              "multi-part payloads.");
}

// ---- Segments ----

TEST_F(BufferInfoTest, ContiguousBufferWithThreeFlowsHasThreeVirtualSegments)
{
    OpenBuffer open(600);
    Deliver(*open.buffer, CompleteFill(600),
            {SegmentFillResult{100, 100, 100, true, false, false},
             SegmentFillResult{200, 200, 200, true, false, false},
             SegmentFillResult{300, 250, 300, false, false, false}});
    uint32_t count = 0;
    ASSERT_EQ(open.buffer->GetNumBufferSegments(&count), GC_ERR_SUCCESS);
    EXPECT_EQ(count, 3u);
    const auto segment = [&](uint32_t index, SEGMENT_INFO_CMD command) {
        return Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return open.buffer->GetBufferSegmentInfo(index, command, t, b, s);
        });
    };
    EXPECT_EQ(segment(2, SEGMENT_INFO_BASE).value,
              reinterpret_cast<uint64_t>(open.memory.data()) + 300);
    EXPECT_EQ(segment(1, SEGMENT_INFO_SIZE).value, 200u);
    EXPECT_EQ(segment(2, SEGMENT_INFO_DATA_SIZE).value, 250u);
    EXPECT_EQ(segment(2, SEGMENT_INFO_IS_INCOMPLETE).value & 0xFF, 1u);
    EXPECT_EQ(segment(3, SEGMENT_INFO_SIZE).result, GC_ERR_INVALID_INDEX);
    EXPECT_EQ(segment(0, 5).result, GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "GetBufferSegmentInfo: unknown segment info command requested");
}

TEST_F(BufferInfoTest, ContiguousBufferWithoutDataHasOneSegmentOfItsMemory)
{
    OpenBuffer open(600);
    const auto segment = [&](uint32_t index, SEGMENT_INFO_CMD command) {
        return Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return open.buffer->GetBufferSegmentInfo(index, command, t, b, s);
        });
    };
    EXPECT_EQ(segment(0, SEGMENT_INFO_BASE).value, reinterpret_cast<uint64_t>(open.memory.data()));
    EXPECT_EQ(segment(0, SEGMENT_INFO_SIZE).value, 600u);
    EXPECT_EQ(segment(1, SEGMENT_INFO_BASE).result, GC_ERR_INVALID_INDEX);
    EXPECT_EQ(
        LastErrorText(),
        "GetBufferSegmentInfo: invalid segment index, exceeding number of virtual segments in "
        "contiguous buffer");
    EXPECT_EQ(segment(0, SEGMENT_INFO_SIZE_FILLED).result, GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "GetBufferSegmentInfo" + NOT_OWNED);
}

TEST_F(BufferInfoTest, CompositeBufferAnswersItsRealSegments)
{
    OpenCompositeBuffer open({10, 20});
    uint32_t count = 0;
    ASSERT_EQ(open.buffer->GetNumBufferSegments(&count), GC_ERR_SUCCESS);
    EXPECT_EQ(count, 2u);
    const auto size = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return open.buffer->GetBufferSegmentInfo(1, SEGMENT_INFO_SIZE, t, b, s);
    });
    EXPECT_EQ(size.value, 20u);
    const auto beyond = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return open.buffer->GetBufferSegmentInfo(2, SEGMENT_INFO_SIZE, t, b, s);
    });
    EXPECT_EQ(beyond.result, GC_ERR_INVALID_INDEX);
    EXPECT_EQ(LastErrorText(),
              "GetBufferSegmentInfo: invalid segment index, exceeding number of real segments in "
              "composite buffer");
}

TEST_F(BufferInfoTest, UnknownCompletenessIsNotAvailable)
{
    OpenBuffer open(100);
    Deliver(*open.buffer, CompleteFill(100), {SegmentFillResult{100, 100, 100, true, false, true}});
    const auto incomplete = Ask<bool8_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return open.buffer->GetBufferSegmentInfo(0, SEGMENT_INFO_IS_INCOMPLETE, t, b, s);
    });
    EXPECT_EQ(incomplete.result, GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "GetBufferSegmentInfo: completeness of the segment is unknown");
}

// ---- Chunks ----

class BufferChunkDataTest : public BufferInfoTest {
protected:
    // Writes a trailer (ID, length) ending at `end`.
    static void PutTrailer(std::vector<uint8_t>& memory, size_t end, uint32_t id, uint32_t length)
    {
        std::memcpy(&memory[end - 8], &id, 4);
        std::memcpy(&memory[end - 4], &length, 4);
    }
};

TEST_F(BufferChunkDataTest, ChunksAreListedFromTheLastToTheFirst)
{
    // [4 data][id 7, len 4][8 data][id 9, len 8][4 data][id 11, len 4]
    OpenBuffer open(40);
    PutTrailer(open.memory, 12, 7, 4);
    PutTrailer(open.memory, 28, 9, 8);
    PutTrailer(open.memory, 40, 11, 4);
    open.buffer->chunk_data_size = 40;
    Deliver(*open.buffer, CompleteFill(40));
    size_t count = 0;
    ASSERT_EQ(open.buffer->GetBufferChunkData(nullptr, &count), GC_ERR_SUCCESS);
    ASSERT_EQ(count, 3u);
    SINGLE_CHUNK_DATA chunks[3] = {};
    size_t small = 2;
    EXPECT_EQ(open.buffer->GetBufferChunkData(chunks, &small), GC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(small, 2u);
    ASSERT_EQ(open.buffer->GetBufferChunkData(chunks, &count), GC_ERR_SUCCESS);
    EXPECT_EQ(chunks[0].ChunkID, 11u);
    EXPECT_EQ(chunks[0].ChunkOffset, 28);
    EXPECT_EQ(chunks[1].ChunkID, 9u);
    EXPECT_EQ(chunks[1].ChunkOffset, 12);
    EXPECT_EQ(chunks[1].ChunkLength, 8u);
    EXPECT_EQ(chunks[2].ChunkID, 7u);
    EXPECT_EQ(chunks[2].ChunkOffset, 0);
    EXPECT_EQ(chunks[2].ChunkLength, 4u);
}

TEST_F(BufferChunkDataTest, BufferWithoutChunksHasNoChunkData)
{
    OpenBuffer open(16);
    Deliver(*open.buffer, CompleteFill(16));
    size_t count = 0;
    EXPECT_EQ(open.buffer->GetBufferChunkData(nullptr, &count), GC_ERR_NO_DATA);
    EXPECT_EQ(LastErrorText(), "GetBufferChunkData: no valid chunk data in the buffer");
    EXPECT_EQ(open.buffer->GetBufferChunkData(nullptr, nullptr), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "GetBufferChunkData: invalid number-of_chunks pointer");
}

// A malformed chunk area: what the trailers say, and the refusal it earns.
struct MalformedChunks {
    const char* name;
    size_t memory_size;
    uint64_t data_size;
    uint64_t chunk_data_size;
    uint32_t last_length;  // the length in the trailer ending at chunk_data_size
    GC_ERROR expected;
};

class BufferMalformedChunkTest : public BufferChunkDataTest,
                                 public ::testing::WithParamInterface<MalformedChunks> {};

TEST_P(BufferMalformedChunkTest, IsRefusedWithoutReadingOutsideTheBuffer)
{
    const MalformedChunks& c = GetParam();
    OpenBuffer open(c.memory_size);
    if (c.chunk_data_size >= 8 && c.chunk_data_size <= c.memory_size)
        PutTrailer(open.memory, c.chunk_data_size, 1, c.last_length);
    open.buffer->chunk_data_size = c.chunk_data_size;
    Deliver(*open.buffer, CompleteFill(c.data_size));
    size_t count = 0;
    EXPECT_EQ(open.buffer->GetBufferChunkData(nullptr, &count), c.expected);
    EXPECT_EQ(LastErrorText(),
              c.expected == GC_ERR_ERROR
                  ? "GetBufferChunkData: reported chunk data size overflows the "
                    "buffer"
                  : "GetBufferChunkData: invalid U3V chunk data layout discovered");
}

INSTANTIATE_TEST_SUITE_P(
    Trailers, BufferMalformedChunkTest,
    ::testing::Values(
        MalformedChunks{"LengthReachesBeforeTheStart", 32, 32, 32, 25, GC_ERR_PARSING_CHUNK_DATA},
        MalformedChunks{"LengthNearTwoToThe32", 32, 32, 32, 0xFFFFFFF8u, GC_ERR_PARSING_CHUNK_DATA},
        MalformedChunks{"LengthAllOnes", 32, 32, 32, 0xFFFFFFFFu, GC_ERR_PARSING_CHUNK_DATA},
        MalformedChunks{"AreaShorterThanATrailer", 32, 32, 4, 0, GC_ERR_PARSING_CHUNK_DATA},
        MalformedChunks{"RemainderShorterThanATrailer", 32, 32, 12, 0, GC_ERR_PARSING_CHUNK_DATA},
        MalformedChunks{"AreaBeyondTheData", 32, 16, 24, 16, GC_ERR_ERROR},
        MalformedChunks{"AreaBeyondTheMemory", 32, 64, 40, 0, GC_ERR_ERROR}),
    [](const ::testing::TestParamInfo<MalformedChunks>& info) { return info.param.name; });

}  // namespace
}  // namespace AcquisitionTest
