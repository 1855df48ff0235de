// GenTLBufferTest.cpp: a buffer's memory and state, what it answers to the
// buffer, part, segment and chunk queries in which state, and the taking
// over of an auxiliary buffer's fill.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
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
using Answer = InfoAnswer<uint64_t>;

void* const USER_PTR = reinterpret_cast<void*>(0x5EED);
const std::string NOT_OWNED =
    ": attempt to query data-related info about a buffer which contains no data or is currently "
    "owned by the acquisition engine";

GlobalFillResults Complete(uint64_t bytes)
{
    return GlobalFillResults{bytes, bytes, true, false};
}

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
    // clang-format off
    template <class T = uint64_t>
    InfoAnswer<T> Info(BUFFER_INFO_CMD c) { return Ask<T>([&](auto t, auto b, auto s) { return buffer->GetBufferInfo(c, t, b, s); }); }
    Answer Segment(uint32_t i, SEGMENT_INFO_CMD c) { return Ask<uint64_t>([&](auto t, auto b, auto s) { return buffer->GetBufferSegmentInfo(i, c, t, b, s); }); }
    Answer Part(uint32_t i, BUFFER_PART_INFO_CMD c) { return Ask<uint64_t>([&](auto t, auto b, auto s) { return buffer->GetBufferPartInfo(i, c, t, b, s); }); }
    // clang-format on

    std::vector<std::vector<uint8_t>> memories;
    SharedPtr<FakeBuffer> buffer;
};

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
    const auto* own_bytes = static_cast<const uint8_t*>(own->GetContiguousBase());
    OpenBuffer open({100});
    uint8_t* const memory = open.memories[0].data();
    std::ostringstream id;
    id << std::hex << std::nouppercase << reinterpret_cast<uintptr_t>(memory);
    // clang-format off
    RunSteps({
        {"own memory, zeroed", [&] { return Values{std::count(own_bytes, own_bytes + 64, 0), own->GetConsumerMemory() == nullptr}; }, {64, 1}},
        {"consumer memory in place", [&] { return open->GetConsumerMemory() == memory && open.Info<void*>(BUFFER_INFO_BASE).value == memory; }, 1},
        {"ID and TL type", [&] { return open->GetID() == id.str() && std::string(open.Info<char[16]>(BUFFER_INFO_TLTYPE).value) == "TestTL"; }, 1},
        {"only auxiliary buffers grow", [&] { return open->ResizeAuxMemory(200); }, 0},
        {"delivered", [&] { open.Deliver(GlobalFillResults{70, 60, true, false}); return open.Segment(0, SEGMENT_INFO_SIZE_FILLED).value; }, 70},
        {"requeued: the fill is gone", [&] { open->SetQueued(true); return open->HasNewData(); }, 0},
        {"filled but still the engine's", [&] { open->SetScheduled(true); open->SetFillResults(Complete(100)); return open->IsDataAvailable(); }, 0},
        {"not scheduled: an invariant breach", [&] { open->SetScheduled(false); open->SetFillResults(Complete(100)); return asserts.Failures(); }, 1},
    });
    // clang-format on
    expected_asserts = 1;
}

// A buffer announced, queued, delivered (fill {90, 80, incomplete,
// overflow}), composite, or delivered in flows (600 bytes, segments of 100,
// 200 and 300 bytes and one whose completeness is unknown).
enum class State { Announced, Queued, Delivered, Composite, Flows };

// Every query in every state: result, value (an address as an offset into
// the buffer's memory) and type, and the text of a refusal.
TEST_F(BufferTest, AnswersEachQueryInEachState)
{
    using enum State;
    uint32_t count = 0;
    size_t chunks = 0, size_value = 0;
    uint64_t region = 0;
    // clang-format off
    DS_BUFFER_INFO_STACKED entries[2] = {{BUFFER_INFO_SIZE, 0, &size_value, sizeof size_value, 0}, {32, 0, nullptr, 0, 0}};
    DS_BUFFER_PART_INFO_STACKED stacked[2] = {{3, BUFFER_PART_INFO_REGION_ID, 0, 0, &region, sizeof region}, {0, 14, 0, 0, nullptr, 0}};
    using Query = std::function<Answer(OpenBuffer&)>;
    const auto info = [](BUFFER_INFO_CMD c) { return [c](OpenBuffer& b) { return b.Info(c); }; };
    const auto part = [](BUFFER_PART_INFO_CMD c, uint32_t i = 0) { return [c, i](OpenBuffer& b) { return b.Part(i, c); }; };
    const auto segment = [](uint32_t i, SEGMENT_INFO_CMD c) { return [i, c](OpenBuffer& b) { return b.Segment(i, c); }; };
    const auto base = [](uint32_t i) { return [i](OpenBuffer& b) { Answer a = b.Segment(i, SEGMENT_INFO_BASE); a.value -= reinterpret_cast<uintptr_t>(b.memories[0].data()); return a; }; };
    // The call's result, and the count it answered.
    const auto call = [&](std::function<GC_ERROR(FakeBuffer&)> f) { return [f, &count](OpenBuffer& b) { Answer a; count = 0; a.result = f(*b.buffer); a.value = count; return a; }; };
    const auto earlier = [] { GenTLCore::ReportError(GC_ERR_TIMEOUT, "Earlier: something timed out"); };
    struct Row { const char* name; State state; Query query; GC_ERROR result; uint64_t value; INFO_DATATYPE type; std::string text; bool multi_part = true; };
    const std::string unknown = "GetBufferInfo: unknown buffer info command requested";
    const std::string no_multi_part = ": this transport layer implementation does not support multi-part payloads.";
    const Row rows[] = {
        {"Size", Announced, info(BUFFER_INFO_SIZE), 0, 100, INFO_DATATYPE_SIZET, ""},
        {"UserPtr", Announced, info(BUFFER_INFO_USER_PTR), 0, 0x5EED, INFO_DATATYPE_PTR, ""},
        {"NoFillYet", Announced, info(BUFFER_INFO_SIZE_FILLED), GC_ERR_NOT_AVAILABLE, 0, -1, "GetBufferInfo" + NOT_OWNED},
        {"NewDataWhileQueued", Queued, info(BUFFER_INFO_NEW_DATA), GC_ERR_NOT_AVAILABLE, 0, -1, "GetBufferInfo: attempt to query new data status for buffer which is currently owned by the acquisition engine"},
        {"IsQueued", Queued, info(BUFFER_INFO_IS_QUEUED), 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"NewData", Delivered, info(BUFFER_INFO_NEW_DATA), 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"IsAcquiring", Delivered, info(BUFFER_INFO_IS_ACQUIRING), 0, 0, INFO_DATATYPE_BOOL8, ""},
        {"SizeFilled", Delivered, info(BUFFER_INFO_SIZE_FILLED), 0, 90, INFO_DATATYPE_SIZET, ""},
        {"DataSize", Delivered, info(BUFFER_INFO_DATA_SIZE), 0, 80, INFO_DATATYPE_SIZET, ""},
        {"Incomplete", Delivered, info(BUFFER_INFO_IS_INCOMPLETE), 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"Larger", Delivered, info(BUFFER_INFO_DATA_LARGER_THAN_BUFFER), 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"Width", Delivered, info(BUFFER_INFO_WIDTH), 0, FAKE_WIDTH, INFO_DATATYPE_SIZET, ""},
        {"FrameId", Delivered, info(BUFFER_INFO_FRAMEID), 0, FAKE_FRAME_ID, INFO_DATATYPE_UINT64, ""},
        {"SignedPayloadType", Delivered, info(BUFFER_INFO_PAYLOADTYPE), 0, SIZE_MAX, INFO_DATATYPE_SIZET, ""},
        {"SignedNamespace", Delivered, info(BUFFER_INFO_PIXELFORMAT_NAMESPACE), 0, 0xFFFFFFFFFFFFFFFEull, INFO_DATATYPE_UINT64, ""},
        {"TimestampRefused", Delivered, info(BUFFER_INFO_TIMESTAMP_NS), GC_ERR_NOT_AVAILABLE, 0, -1, "GetBufferInfo: timestamps not supported"},
        {"CompositeBase", Composite, info(BUFFER_INFO_BASE), GC_ERR_NO_DATA, 0, -1, "GetBufferInfo: base address query not applicable for composite buffers"},
        {"IsComposite", Composite, info(BUFFER_INFO_IS_COMPOSITE), 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"Unknown32", Announced, info(32), GC_ERR_NOT_IMPLEMENTED, 0, -1, unknown},
        {"UnknownNegative", Delivered, info(INT32_MIN), GC_ERR_NOT_IMPLEMENTED, 0, -1, unknown},
        {"UnknownCustom", Announced, info(1000), GC_ERR_NOT_IMPLEMENTED, 0, -1, unknown},
        {"Parts", Delivered, call([&](auto& b) { return b.GetNumBufferParts(&count); }), 0, 2, -1, ""},
        {"PartRegionAsBufferInfo", Delivered, part(3300, 1), 0, 101, INFO_DATATYPE_UINT64, ""},
        {"PartPurposeAsBufferInfo", Delivered, part(3301), 0, 200, INFO_DATATYPE_UINT64, ""},
        {"SignedPartDataType", Delivered, part(BUFFER_PART_INFO_DATA_TYPE), 0, 0xFFFFFFFFFFFFFFFEull, INFO_DATATYPE_SIZET, ""},
        {"PartsNullPointer", Delivered, call([](auto& b) { return b.GetNumBufferParts(nullptr); }), GC_ERR_INVALID_PARAMETER, 0, -1, "GetNumBufferParts: invalid num_parts pointer"},
        {"PartsWithoutData", Announced, call([&](auto& b) { return b.GetNumBufferParts(&count); }), GC_ERR_NOT_AVAILABLE, 0, -1, "GetNumBufferParts" + NOT_OWNED},
        {"PartBufferCommand", Delivered, part(14), GC_ERR_NOT_IMPLEMENTED, 0, -1, "GetBufferPartInfo: unknown buffer info command requested"},
        {"PartCommand", Delivered, part(1000), GC_ERR_NOT_IMPLEMENTED, 0, -1, "GetBufferPartInfo: unknown buffer part info command requested"},
        {"NoMultiPartCount", Delivered, call([&](auto& b) { return b.GetNumBufferParts(&count); }), GC_ERR_NOT_IMPLEMENTED, 0, -1, "GetNumBufferParts" + no_multi_part, false},
        {"NoMultiPartStacked", Delivered, call([&](auto& b) { return b.GetBufferPartInfoStacked(stacked, 1); }), GC_ERR_NOT_IMPLEMENTED, 0, -1, "GetBufferPartInfoStacked" + no_multi_part, false},
        {"StackedNull", Announced, call([](auto& b) { return b.GetBufferInfoStacked(nullptr, 1); }), GC_ERR_INVALID_PARAMETER, 0, -1, "GetBufferInfoStacked: invalid info_stacked pointer"},
        {"StackedEmpty", Announced, call([&](auto& b) { return b.GetBufferInfoStacked(entries, 0); }), GC_ERR_INVALID_PARAMETER, 0, -1, "GetBufferInfoStacked: zero infos requested"},
        {"PartStackedEmpty", Delivered, call([&](auto& b) { return b.GetBufferPartInfoStacked(stacked, 0); }), GC_ERR_INVALID_PARAMETER, 0, -1, "GetBufferPartInfoStacked: zero infos requested"},
        // Stacked queries answer every entry and keep the last error.
        {"Stacked", Delivered, call([&](auto& b) { earlier(); return b.GetBufferInfoStacked(entries, 2); }), 0, 0, -1, "Earlier: something timed out"},
        {"PartStacked", Delivered, call([&](auto& b) { earlier(); return b.GetBufferPartInfoStacked(stacked, 2); }), 0, 0, -1, "Earlier: something timed out"},
        {"OneVirtualSegmentBeforeAFill", Announced, call([&](auto& b) { return b.GetNumBufferSegments(&count); }), 0, 1, -1, ""},
        {"VirtualSegmentBase", Announced, base(0), 0, 0, INFO_DATATYPE_PTR, ""},
        {"VirtualSegmentSize", Announced, segment(0, SEGMENT_INFO_SIZE), 0, 100, INFO_DATATYPE_SIZET, ""},
        {"VirtualSegmentIndex", Announced, segment(1, 0), GC_ERR_INVALID_INDEX, 0, -1, "GetBufferSegmentInfo: invalid segment index, exceeding number of virtual segments in contiguous buffer"},
        {"FlowsAsSegments", Flows, call([&](auto& b) { return b.GetNumBufferSegments(&count); }), 0, 4, -1, ""},
        {"FlowBase", Flows, base(2), 0, 300, INFO_DATATYPE_PTR, ""},
        {"FlowSize", Flows, segment(1, SEGMENT_INFO_SIZE), 0, 200, INFO_DATATYPE_SIZET, ""},
        {"FlowDataSize", Flows, segment(2, SEGMENT_INFO_DATA_SIZE), 0, 250, INFO_DATATYPE_SIZET, ""},
        {"FlowIncomplete", Flows, segment(2, SEGMENT_INFO_IS_INCOMPLETE), 0, 1, INFO_DATATYPE_BOOL8, ""},
        {"FlowCompletenessUnknown", Flows, segment(3, SEGMENT_INFO_IS_INCOMPLETE), GC_ERR_NOT_AVAILABLE, 0, -1, "GetBufferSegmentInfo: completeness of the segment is unknown"},
        {"RealSegments", Composite, call([&](auto& b) { EXPECT_EQ(b.GetConsumerMemory(), nullptr); return b.GetNumBufferSegments(&count); }), 0, 2, -1, ""},
        {"RealSegmentSize", Composite, segment(1, SEGMENT_INFO_SIZE), 0, 20, INFO_DATATYPE_SIZET, ""},
        {"RealSegmentIndex", Composite, segment(2, 1), GC_ERR_INVALID_INDEX, 0, -1, "GetBufferSegmentInfo: invalid segment index, exceeding number of real segments in composite buffer"},
        {"SegmentFillWithoutData", Announced, segment(0, SEGMENT_INFO_SIZE_FILLED), GC_ERR_NOT_AVAILABLE, 0, -1, "GetBufferSegmentInfo" + NOT_OWNED},
        {"SegmentCommand", Delivered, segment(0, 5), GC_ERR_NOT_IMPLEMENTED, 0, -1, "GetBufferSegmentInfo: unknown segment info command requested"},
        {"NoChunks", Delivered, call([&](auto& b) { return b.GetBufferChunkData(nullptr, &chunks); }), GC_ERR_NO_DATA, 0, -1, "GetBufferChunkData: no valid chunk data in the buffer"},
        {"ChunkCountNull", Delivered, call([](auto& b) { return b.GetBufferChunkData(nullptr, nullptr); }), GC_ERR_INVALID_PARAMETER, 0, -1, "GetBufferChunkData: invalid number-of_chunks pointer"},
    };
    const Segments flows = {{100, 100, 100, true, false, false}, {200, 200, 200, true, false, false}, {300, 250, 300, false, false, false}, {0, 0, 0, true, false, true}};
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        branding->multi_part_aware = row.multi_part;
        OpenBuffer open(row.state == Composite
                            ? std::vector<size_t>{10, 20}
                            : std::vector<size_t>{row.state == Flows ? 600u : 100u});
        if (row.state == Queued) open->SetQueued(true);
        if (row.state == Delivered) open.Deliver(GlobalFillResults{90, 80, false, true});
        if (row.state == Flows) open.Deliver(Complete(600), flows);
        open->payload_type = -1;
        open->pixel_format_namespace = -2;
        const Answer answer = row.query(open);
        EXPECT_EQ((std::tuple{answer.result, answer.value, answer.type}),
                  (std::tuple{row.result, row.value, row.type}));
        if (!row.text.empty()) {
            EXPECT_EQ(LastError().text, row.text);
        }
    }
    const size_t reported_size = stacked[0].iSize;  // packed: read by value
    EXPECT_EQ((Values{entries[0].iResult, entries[0].iType, static_cast<int64_t>(size_value),
                      entries[1].iResult, stacked[0].iResult, stacked[0].iType,
                      static_cast<int64_t>(reported_size), static_cast<int64_t>(region),
                      stacked[1].iResult}),
              (Values{0, INFO_DATATYPE_SIZET, 100, GC_ERR_NOT_IMPLEMENTED, 0, INFO_DATATYPE_UINT64,
                      8, 103, GC_ERR_NOT_IMPLEMENTED}));
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
    SINGLE_CHUNK_DATA chunks[3] = {};
    EXPECT_EQ((Values{open->GetBufferChunkData(nullptr, &count), static_cast<int64_t>(count),
                      open->GetBufferChunkData(chunks, &small),
                      open->GetBufferChunkData(chunks, &count)}),
              (Values{0, 3, GC_ERR_BUFFER_TOO_SMALL, 0}));
    Values listed;
    for (const SINGLE_CHUNK_DATA& chunk : chunks)
        listed.insert(listed.end(), {static_cast<int64_t>(chunk.ChunkID), chunk.ChunkOffset,
                                     static_cast<int64_t>(chunk.ChunkLength)});
    EXPECT_EQ(listed, (Values{11, 28, 4, 9, 12, 8, 7, 0, 4}));
    // Malformed areas are refused without a read outside the buffer.
    const std::string layout = "GetBufferChunkData: invalid U3V chunk data layout discovered";
    const std::string overflow =
        "GetBufferChunkData: reported chunk data size overflows the buffer";
    // clang-format off
    // last_length: of the trailer ending at chunk_data_size.
    struct Row { const char* name; uint64_t data_size, chunk_data_size; uint32_t last_length; GC_ERROR result; const std::string& text; };
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
        EXPECT_EQ(LastError().text, row.text);
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
        // Each target segment: the copied bytes, then its own untouched ones.
        for (size_t s = 0; s < row.targets.size(); ++s) {
            std::vector<uint8_t> expected(row.targets[s], 0xEE);
            for (size_t i = 0; i < row.copied[s]; ++i) expected[i] = uint8_t(row.from[s] + i);
            EXPECT_EQ(open.memories[s], expected) << s;
        }
        EXPECT_EQ(
            (Values{static_cast<int64_t>(open.Info(BUFFER_INFO_DATA_SIZE).value),
                    static_cast<int64_t>(open.Info(BUFFER_INFO_IS_INCOMPLETE).value),
                    static_cast<int64_t>(open.Info(BUFFER_INFO_DATA_LARGER_THAN_BUFFER).value),
                    open->copy_fill_info_calls.load()}),
            (Values{static_cast<int64_t>(row.reported), !row.complete, row.overflow, 1}));
    }
}

}  // namespace
}  // namespace AcquisitionTest
