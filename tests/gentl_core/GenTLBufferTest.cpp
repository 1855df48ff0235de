// GenTLBufferTest.cpp: a buffer's memory and state, what it answers to the
// buffer, part, segment and chunk queries in which state, and the taking
// over of an auxiliary buffer's fill.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "AcquisitionTestHelpers.h"
#include "FakeBuffer.h"
#include "support/AssertionCounter.h"

namespace AcquisitionTest {
namespace {

using GenTLCore::GlobalFillResults;
using GenTLCore::SharedPtr;
using Segments = std::vector<GenTLCore::SegmentFillResult>;

void* const USER_PTR = reinterpret_cast<void*>(0x5EED);
const std::string NOT_OWNED =
    ": attempt to query data-related info about a buffer which contains no data or is currently "
    "owned by the acquisition engine";

// A buffer announced, queued, delivered (fill {90, 80, incomplete,
// overflow} unless the test says otherwise), or composite.
enum class State { Announced, Queued, Delivered, Composite };

// A buffer over memory of exactly the given sizes (so a sanitizer sees any
// access past it), contiguous for one size and composite for more, open
// until the holder goes.
struct OpenBuffer {
    explicit OpenBuffer(std::vector<size_t> sizes)
    {
        std::vector<GenTLCore::MemorySegment> segments;
        for (size_t size : sizes) memories.emplace_back(size, 0xEE);
        for (std::vector<uint8_t>& memory : memories)
            segments.push_back({memory.data(), memory.size()});
        buffer.Reset(sizes.size() == 1
                         ? new FakeBuffer(memories[0].data(), sizes[0], USER_PTR, false, nullptr)
                         : new FakeBuffer(segments, USER_PTR, nullptr));
        buffer->CompleteConstruction();
        buffer->Open();
    }
    explicit OpenBuffer(State state)
        : OpenBuffer(state == State::Composite ? std::vector<size_t>{10, 20}
                                               : std::vector<size_t>{100})
    {
        if (state == State::Queued) buffer->SetQueued(true);
        if (state == State::Delivered) Deliver(GlobalFillResults{90, 80, false, true});
    }
    ~OpenBuffer()
    {
        if (buffer->IsQueued()) buffer->SetQueued(false);
        buffer->Close();
    }
    FakeBuffer* operator->() { return buffer.Get(); }
    // Queued, filled by the engine, handed to the consumer.
    void Deliver(const GlobalFillResults& global, const Segments& segments = {})
    {
        buffer->SetQueued(true);
        buffer->SetScheduled(true);
        buffer->SetFillResults(global, segments);
        buffer->SetScheduled(false);
        buffer->SetQueued(false);
    }
    template <class T = uint64_t>
    InfoAnswer<T> Info(BUFFER_INFO_CMD command)
    {
        return Ask<T>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return buffer->GetBufferInfo(command, t, b, s);
        });
    }
    InfoAnswer<uint64_t> Segment(uint32_t index, SEGMENT_INFO_CMD command)
    {
        return Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return buffer->GetBufferSegmentInfo(index, command, t, b, s);
        });
    }

    std::vector<std::vector<uint8_t>> memories;
    SharedPtr<FakeBuffer> buffer;
};

GlobalFillResults Complete(uint64_t bytes)
{
    return GlobalFillResults{bytes, bytes, true, false};
}

class BufferTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(asserts.Failures(), expected_asserts); }

    AcquisitionBranding* branding = &InstallAcquisitionBranding();
    TestSupport::AssertionCounter asserts;
    int expected_asserts = 0;
};

TEST_F(BufferTest, UsesConsumerMemoryInPlaceAndShowsTheFillOnlyToTheConsumer)
{
    SharedPtr<FakeBuffer> own(new FakeBuffer(nullptr, 64, USER_PTR, false, nullptr));
    own->CompleteConstruction();
    const auto* bytes = static_cast<const uint8_t*>(own->GetContiguousBase());
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 64), std::vector<uint8_t>(64, 0));
    EXPECT_EQ(own->GetConsumerMemory(), nullptr);
    OpenBuffer open({100});
    EXPECT_EQ(open->GetConsumerMemory(), open.memories[0].data());
    EXPECT_FALSE(open->ResizeAuxMemory(200)) << "only auxiliary buffers grow";
    std::ostringstream id;
    id << std::hex << std::nouppercase << reinterpret_cast<uintptr_t>(open.memories[0].data());
    EXPECT_EQ(open->GetID(), id.str());
    open.Deliver(GlobalFillResults{70, 60, true, false});
    EXPECT_EQ(open.Segment(0, SEGMENT_INFO_SIZE_FILLED).value, 70u);
    open->SetQueued(true);  // requeued: the fill is gone, and the engine's
    EXPECT_FALSE(open->HasNewData());
    open->SetScheduled(true);
    open->SetFillResults(Complete(100));
    EXPECT_FALSE(open->IsDataAvailable()) << "filled but still the engine's";
    open->SetScheduled(false);
    open->SetFillResults(Complete(100));  // not scheduled: an invariant breach
    expected_asserts = 1;
}

TEST_F(BufferTest, AnswersEachInfoCommandInEachState)
{
    using enum State;
    struct Row {
        const char* name;
        State state;
        BUFFER_INFO_CMD command;
        GC_ERROR result;
        uint64_t value;
        INFO_DATATYPE type;
        std::string text;
    };
    const std::string unknown = "GetBufferInfo: unknown buffer info command requested";
    // clang-format off
    const Row rows[] = {
        {"Size", Announced, BUFFER_INFO_SIZE, 0, 100, INFO_DATATYPE_SIZET, ""},
        {"UserPtr", Announced, BUFFER_INFO_USER_PTR, 0, 0x5EED, INFO_DATATYPE_PTR, ""},
        {"NoFillYet", Announced, BUFFER_INFO_SIZE_FILLED, GC_ERR_NOT_AVAILABLE, 0, -1, "GetBufferInfo" + NOT_OWNED},
        {"NewDataWhileQueued", Queued, BUFFER_INFO_NEW_DATA, GC_ERR_NOT_AVAILABLE, 0, -1, "GetBufferInfo: attempt to query new data status for buffer which is currently owned by the acquisition engine"},
        {"IsQueued", Queued, BUFFER_INFO_IS_QUEUED, 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"NewData", Delivered, BUFFER_INFO_NEW_DATA, 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"IsAcquiring", Delivered, BUFFER_INFO_IS_ACQUIRING, 0, 0, INFO_DATATYPE_BOOL8, ""},
        {"SizeFilled", Delivered, BUFFER_INFO_SIZE_FILLED, 0, 90, INFO_DATATYPE_SIZET, ""},
        {"DataSize", Delivered, BUFFER_INFO_DATA_SIZE, 0, 80, INFO_DATATYPE_SIZET, ""},
        {"Incomplete", Delivered, BUFFER_INFO_IS_INCOMPLETE, 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"Larger", Delivered, BUFFER_INFO_DATA_LARGER_THAN_BUFFER, 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"Width", Delivered, BUFFER_INFO_WIDTH, 0, FAKE_WIDTH, INFO_DATATYPE_SIZET, ""},
        {"FrameId", Delivered, BUFFER_INFO_FRAMEID, 0, FAKE_FRAME_ID, INFO_DATATYPE_UINT64, ""},
        {"SignedPayloadType", Delivered, BUFFER_INFO_PAYLOADTYPE, 0, SIZE_MAX, INFO_DATATYPE_SIZET, ""},
        {"SignedNamespace", Delivered, BUFFER_INFO_PIXELFORMAT_NAMESPACE, 0, 0xFFFFFFFFFFFFFFFEull, INFO_DATATYPE_UINT64, ""},
        {"TimestampRefused", Delivered, BUFFER_INFO_TIMESTAMP_NS, GC_ERR_NOT_AVAILABLE, 0, -1, "GetBufferInfo: timestamps not supported"},
        {"CompositeBase", Composite, BUFFER_INFO_BASE, GC_ERR_NO_DATA, 0, -1, "GetBufferInfo: base address query not applicable for composite buffers"},
        {"IsComposite", Composite, BUFFER_INFO_IS_COMPOSITE, 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"Unknown32", Announced, 32, GC_ERR_NOT_IMPLEMENTED, 0, -1, unknown},
        {"UnknownNegative", Delivered, INT32_MIN, GC_ERR_NOT_IMPLEMENTED, 0, -1, unknown},
        {"UnknownCustom", Announced, 1000, GC_ERR_NOT_IMPLEMENTED, 0, -1, unknown},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OpenBuffer open(row.state);
        open->payload_type = -1;
        open->pixel_format_namespace = -2;
        const InfoAnswer<uint64_t> answer = open.Info(row.command);
        EXPECT_EQ(answer.result, row.result);
        EXPECT_EQ(answer.value & (answer.type == INFO_DATATYPE_BOOL8 ? 0xFF : ~0ull), row.value);
        EXPECT_EQ(answer.type, row.type);
        if (!row.text.empty()) {
            EXPECT_EQ(LastErrorText(), row.text);
        }
    }
    OpenBuffer open({100});
    EXPECT_EQ(open.Info<void*>(BUFFER_INFO_BASE).value, open.memories[0].data());
    EXPECT_STREQ(open.Info<char[16]>(BUFFER_INFO_TLTYPE).value, "TestTL");
}

TEST_F(BufferTest, RefusesBadPartSegmentAndChunkQueriesWithTheirTexts)
{
    using enum State;
    uint32_t count = 0;
    size_t chunks = 0;
    DS_BUFFER_PART_INFO_STACKED part_entry = {};
    DS_BUFFER_INFO_STACKED info_entry = {};
    const auto part = [](FakeBuffer& b, BUFFER_PART_INFO_CMD command) {
        return Ask<uint64_t>([&](INFO_DATATYPE*, void* v, size_t* s) {
                   return b.GetBufferPartInfo(0, command, nullptr, v, s);
               })
            .result;
    };
    const auto segment = [](FakeBuffer& b, uint32_t index, SEGMENT_INFO_CMD command) {
        return Ask<uint64_t>([&](INFO_DATATYPE* t, void* v, size_t* s) {
                   return b.GetBufferSegmentInfo(index, command, t, v, s);
               })
            .result;
    };
    struct Row {
        const char* name;
        State state;
        std::function<GC_ERROR(FakeBuffer&)> query;
        GC_ERROR result;
        std::string text;
        bool multi_part = true;
    };
    const std::string no_multi_part =
        ": this transport layer implementation does not support multi-part payloads.";
    // clang-format off
    const Row rows[] = {
        {"PartsNullPointer", Delivered, [](auto& b) { return b.GetNumBufferParts(nullptr); }, GC_ERR_INVALID_PARAMETER, "GetNumBufferParts: invalid num_parts pointer"},
        {"PartsWithoutData", Announced, [&](auto& b) { return b.GetNumBufferParts(&count); }, GC_ERR_NOT_AVAILABLE, "GetNumBufferParts" + NOT_OWNED},
        {"PartBufferCommand", Delivered, [&](auto& b) { return part(b, 14); }, GC_ERR_NOT_IMPLEMENTED, "GetBufferPartInfo: unknown buffer info command requested"},
        {"PartCommand", Delivered, [&](auto& b) { return part(b, 1000); }, GC_ERR_NOT_IMPLEMENTED, "GetBufferPartInfo: unknown buffer part info command requested"},
        {"NoMultiPartCount", Delivered, [&](auto& b) { return b.GetNumBufferParts(&count); }, GC_ERR_NOT_IMPLEMENTED, "GetNumBufferParts" + no_multi_part, false},
        {"NoMultiPartStacked", Delivered, [&](auto& b) { return b.GetBufferPartInfoStacked(&part_entry, 1); }, GC_ERR_NOT_IMPLEMENTED, "GetBufferPartInfoStacked" + no_multi_part, false},
        {"StackedNull", Announced, [](auto& b) { return b.GetBufferInfoStacked(nullptr, 1); }, GC_ERR_INVALID_PARAMETER, "GetBufferInfoStacked: invalid info_stacked pointer"},
        {"StackedEmpty", Announced, [&](auto& b) { return b.GetBufferInfoStacked(&info_entry, 0); }, GC_ERR_INVALID_PARAMETER, "GetBufferInfoStacked: zero infos requested"},
        {"PartStackedEmpty", Delivered, [&](auto& b) { return b.GetBufferPartInfoStacked(&part_entry, 0); }, GC_ERR_INVALID_PARAMETER, "GetBufferPartInfoStacked: zero infos requested"},
        {"VirtualSegmentIndex", Announced, [&](auto& b) { return segment(b, 1, 0); }, GC_ERR_INVALID_INDEX, "GetBufferSegmentInfo: invalid segment index, exceeding number of virtual segments in contiguous buffer"},
        {"RealSegmentIndex", Composite, [&](auto& b) { return segment(b, 2, 1); }, GC_ERR_INVALID_INDEX, "GetBufferSegmentInfo: invalid segment index, exceeding number of real segments in composite buffer"},
        {"SegmentFillWithoutData", Announced, [&](auto& b) { return segment(b, 0, SEGMENT_INFO_SIZE_FILLED); }, GC_ERR_NOT_AVAILABLE, "GetBufferSegmentInfo" + NOT_OWNED},
        {"SegmentCommand", Delivered, [&](auto& b) { return segment(b, 0, 5); }, GC_ERR_NOT_IMPLEMENTED, "GetBufferSegmentInfo: unknown segment info command requested"},
        {"NoChunks", Delivered, [&](auto& b) { return b.GetBufferChunkData(nullptr, &chunks); }, GC_ERR_NO_DATA, "GetBufferChunkData: no valid chunk data in the buffer"},
        {"ChunkCountNull", Delivered, [](auto& b) { return b.GetBufferChunkData(nullptr, nullptr); }, GC_ERR_INVALID_PARAMETER, "GetBufferChunkData: invalid number-of_chunks pointer"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        branding->multi_part_aware = row.multi_part;
        OpenBuffer open(row.state);
        EXPECT_EQ(row.query(*open.buffer), row.result);
        EXPECT_EQ(LastErrorText(), row.text);
    }
}

TEST_F(BufferTest, PartsAndStackedQueriesAnswerEveryEntryAndKeepTheLastError)
{
    OpenBuffer open({100});
    open.Deliver(Complete(100));
    const auto part = [&](uint32_t index, BUFFER_PART_INFO_CMD command) {
        return Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return open->GetBufferPartInfo(index, command, t, b, s);
        });
    };
    // Region and purpose as themselves and as buffer info commands; the data type sign-extended.
    EXPECT_EQ((std::vector<uint64_t>{part(1, 3300).value, part(0, 3301).value,
                                     part(0, BUFFER_PART_INFO_DATA_TYPE).value}),
              (std::vector<uint64_t>{101, 200, 0xFFFFFFFFFFFFFFFEull}));
    EXPECT_EQ(part(0, BUFFER_PART_INFO_DATA_TYPE).type, INFO_DATATYPE_SIZET);
    uint32_t parts = 0;
    EXPECT_EQ(open->GetNumBufferParts(&parts), GC_ERR_SUCCESS);
    EXPECT_EQ(parts, 2u);
    GenTLCore::ReportError(GC_ERR_TIMEOUT, "Earlier: something timed out");
    size_t size_value = 0;
    uint64_t region = 0;
    DS_BUFFER_INFO_STACKED entries[2] = {{BUFFER_INFO_SIZE, 0, &size_value, sizeof size_value, 0},
                                         {32, 0, nullptr, 0, 0}};
    EXPECT_EQ(open->GetBufferInfoStacked(entries, 2), GC_ERR_SUCCESS);
    EXPECT_EQ((std::vector<int64_t>{entries[0].iResult, entries[0].iType,
                                    static_cast<int64_t>(size_value), entries[1].iResult}),
              (std::vector<int64_t>{0, INFO_DATATYPE_SIZET, 100, GC_ERR_NOT_IMPLEMENTED}));
    DS_BUFFER_PART_INFO_STACKED stacked[2] = {};
    stacked[0] = {3, BUFFER_PART_INFO_REGION_ID, 0, 0, &region, sizeof region};
    stacked[1].iInfoCmd = 14;
    EXPECT_EQ(open->GetBufferPartInfoStacked(stacked, 2), GC_ERR_SUCCESS);
    const size_t reported_size = stacked[0].iSize;  // packed: read by value
    EXPECT_EQ((std::vector<int64_t>{stacked[0].iResult, stacked[0].iType,
                                    static_cast<int64_t>(reported_size),
                                    static_cast<int64_t>(region), stacked[1].iResult}),
              (std::vector<int64_t>{0, INFO_DATATYPE_UINT64, 8, 103, GC_ERR_NOT_IMPLEMENTED}));
    EXPECT_EQ(LastError().code, GC_ERR_TIMEOUT);
    EXPECT_EQ(LastErrorText(), "Earlier: something timed out");
    EXPECT_EQ(std::async(std::launch::async, [] { return LastError().code; }).get(), GC_ERR_SUCCESS)
        << "per thread";
}

TEST_F(BufferTest, SegmentsAreTheFlowsOfAContiguousBufferOrTheRealOnes)
{
    OpenBuffer open({600});
    const auto base = reinterpret_cast<uint64_t>(open.memories[0].data());
    EXPECT_EQ((std::vector<uint64_t>{open.Segment(0, SEGMENT_INFO_BASE).value,
                                     open.Segment(0, SEGMENT_INFO_SIZE).value}),
              (std::vector<uint64_t>{base, 600}));
    uint32_t count = 0;
    ASSERT_EQ(open->GetNumBufferSegments(&count), GC_ERR_SUCCESS);
    EXPECT_EQ(count, 1u) << "one virtual segment before a fill";
    open.Deliver(Complete(600), {{100, 100, 100, true, false, false},
                                 {200, 200, 200, true, false, false},
                                 {300, 250, 300, false, false, false},
                                 {0, 0, 0, true, false, true}});
    ASSERT_EQ(open->GetNumBufferSegments(&count), GC_ERR_SUCCESS);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ((std::vector<uint64_t>{open.Segment(2, SEGMENT_INFO_BASE).value,
                                     open.Segment(1, SEGMENT_INFO_SIZE).value,
                                     open.Segment(2, SEGMENT_INFO_DATA_SIZE).value,
                                     open.Segment(2, SEGMENT_INFO_IS_INCOMPLETE).value & 0xFF}),
              (std::vector<uint64_t>{base + 300, 200, 250, 1}));
    EXPECT_EQ(open.Segment(3, SEGMENT_INFO_IS_INCOMPLETE).result, GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "GetBufferSegmentInfo: completeness of the segment is unknown");
    OpenBuffer composite({10, 20});
    EXPECT_EQ(composite->GetConsumerMemory(), nullptr);
    ASSERT_EQ(composite->GetNumBufferSegments(&count), GC_ERR_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(composite.Segment(1, SEGMENT_INFO_SIZE).value, 20u);
}

// Writes a chunk trailer (ID, length) ending at `end`.
void PutTrailer(std::vector<uint8_t>& memory, size_t end, uint32_t id, uint32_t length)
{
    std::memcpy(&memory[end - 8], &id, 4);
    std::memcpy(&memory[end - 4], &length, 4);
}

TEST_F(BufferTest, ListsChunksFromTheLastToTheFirstAndRefusesMalformedOnes)
{
    // [4 data][id 7, len 4][8 data][id 9, len 8][4 data][id 11, len 4]
    OpenBuffer open({40});
    for (const auto& [end, id, length] : {std::tuple{12, 7, 4}, {28, 9, 8}, {40, 11, 4}})
        PutTrailer(open.memories[0], end, id, length);
    open->chunk_data_size = 40;
    open.Deliver(Complete(40));
    size_t count = 0, small = 2;
    ASSERT_EQ(open->GetBufferChunkData(nullptr, &count), GC_ERR_SUCCESS);
    ASSERT_EQ(count, 3u);
    SINGLE_CHUNK_DATA chunks[3] = {};
    EXPECT_EQ(open->GetBufferChunkData(chunks, &small), GC_ERR_BUFFER_TOO_SMALL);
    ASSERT_EQ(open->GetBufferChunkData(chunks, &count), GC_ERR_SUCCESS);
    std::vector<uint64_t> listed;
    for (const SINGLE_CHUNK_DATA& chunk : chunks)
        listed.insert(listed.end(),
                      {chunk.ChunkID, static_cast<uint64_t>(chunk.ChunkOffset), chunk.ChunkLength});
    EXPECT_EQ(listed, (std::vector<uint64_t>{11, 28, 4, 9, 12, 8, 7, 0, 4}));
    // Malformed areas are refused without a read outside the buffer.
    const std::string layout = "GetBufferChunkData: invalid U3V chunk data layout discovered";
    const std::string overflow =
        "GetBufferChunkData: reported chunk data size overflows the buffer";
    struct Row {
        const char* name;
        uint64_t data_size, chunk_data_size;
        uint32_t last_length;  // in the trailer ending at chunk_data_size
        GC_ERROR result;
        const std::string& text;
    };
    // clang-format off
    const Row rows[] = {
        {"LengthReachesBeforeTheStart", 32, 32, 25, GC_ERR_PARSING_CHUNK_DATA, layout},
        {"LengthNearTwoToThe32", 32, 32, 0xFFFFFFF8u, GC_ERR_PARSING_CHUNK_DATA, layout},
        {"LengthAllOnes", 32, 32, 0xFFFFFFFFu, GC_ERR_PARSING_CHUNK_DATA, layout},
        {"AreaShorterThanATrailer", 32, 4, 0, GC_ERR_PARSING_CHUNK_DATA, layout},
        {"RemainderShorterThanATrailer", 32, 12, 0, GC_ERR_PARSING_CHUNK_DATA, layout},
        {"AreaBeyondTheData", 16, 24, 16, GC_ERR_ERROR, overflow},
        {"AreaBeyondTheMemory", 64, 40, 0, GC_ERR_ERROR, overflow},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OpenBuffer bad({32});
        if (row.chunk_data_size >= 8 && row.chunk_data_size <= 32)
            PutTrailer(bad.memories[0], row.chunk_data_size, 1, row.last_length);
        bad->chunk_data_size = row.chunk_data_size;
        bad.Deliver(Complete(row.data_size));
        EXPECT_EQ(bad->GetBufferChunkData(nullptr, &count), row.result);
        EXPECT_EQ(LastErrorText(), row.text);
    }
}

TEST_F(BufferTest, TakesOverAnAuxiliaryFillCuttingWhereTheTargetEnds)
{
    // An auxiliary buffer holding 0, 1, 2, ... (grown first when `grow_to`),
    // filled with `data_size` bytes in `flows`, taken over by a buffer of
    // `targets` segments: what each segment holds and the fill it reports.
    struct Row {
        const char* name;
        size_t aux_size, grow_to;
        uint64_t data_size;
        Segments flows;
        std::vector<size_t> targets;
        std::vector<size_t> copied;  // bytes per target segment
        std::vector<size_t> from;    // their offsets in the aux memory
        uint64_t reported;
        bool complete, overflow;
    };
    // clang-format off
    const Row rows[] = {
        {"IntoSmaller", 1000, 0, 1000, {}, {600}, {600}, {0}, 600, false, true},
        {"Fits", 1000, 0, 300, {}, {600}, {300}, {0}, 300, true, false},
        {"ClaimBeyondAuxMemory", 1000, 0, 2000, {}, {1500}, {1000}, {0}, 1000, true, false},
        {"GrownAux", 100, 1000, 1000, {}, {1000}, {1000}, {0}, 1000, true, false},
        {"FlowPerSegment", 300, 0, 250, {{100, 100, 100, true, false, false}, {150, 150, 200, true, false, false}}, {100, 120}, {100, 120}, {0, 100}, 220, false, true},
        {"SurplusAuxSegment", 300, 0, 300, {{100, 100, 100, true, false, false}, {100, 100, 100, true, false, false}, {100, 100, 100, true, false, false}}, {100, 100}, {100, 100}, {0, 100}, 200, false, true},
        {"SegmentPastAuxMemory", 100, 0, 100, {{50, 50, UINT64_MAX, true, false, false}, {50, 50, 50, true, false, false}}, {60, 60}, {50, 0}, {0, 0}, 50, true, false},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SharedPtr<FakeBuffer> aux(new FakeBuffer(nullptr, row.aux_size, nullptr, true, nullptr));
        aux->CompleteConstruction();
        if (row.grow_to != 0) {
            ASSERT_TRUE(aux->ResizeAuxMemory(row.grow_to));
        }
        auto* bytes = static_cast<uint8_t*>(aux->GetContiguousBase());
        for (size_t i = 0; i < aux->GetSize(); ++i) bytes[i] = static_cast<uint8_t>(i);
        aux->SetScheduled(true);
        aux->SetFillResults(Complete(row.data_size), row.flows);
        OpenBuffer open(row.targets);
        open->SetQueued(true);
        open->TakeOverData(*aux);
        open->SetQueued(false);
        for (size_t s = 0; s < row.targets.size(); ++s) {
            const std::vector<uint8_t>& memory = open.memories[s];
            for (size_t i = 0; i < row.copied[s]; ++i)
                ASSERT_EQ(memory[i], static_cast<uint8_t>(row.from[s] + i)) << s << ":" << i;
            if (row.copied[s] < memory.size()) {
                EXPECT_EQ(memory[row.copied[s]], 0xEE);
            }
        }
        EXPECT_EQ(
            (std::vector<uint64_t>{open.Info(BUFFER_INFO_DATA_SIZE).value,
                                   open.Info(BUFFER_INFO_IS_INCOMPLETE).value & 0xFF,
                                   open.Info(BUFFER_INFO_DATA_LARGER_THAN_BUFFER).value & 0xFF}),
            (std::vector<uint64_t>{row.reported, !row.complete, row.overflow}));
        EXPECT_EQ(open->copy_fill_info_calls.load(), 1);
    }
}

}  // namespace
}  // namespace AcquisitionTest
