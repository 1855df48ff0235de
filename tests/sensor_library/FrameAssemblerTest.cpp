// Frame assembly from received chunks: containers handled once and whole
// however the stream cuts them, garbage and false starts skipped without
// losing what follows, and the CRC checked against an independent one.
#include <gtest/gtest.h>

#include <random>

#include "AssemblerHarness.h"
#include "sensor_library/CScanvo.h"
#include "sensor_library/Crc32.h"
#include "support/SensorScans.h"

using namespace TestSupport;

namespace {

Bytes WithBlockLength(uint32_t length)
{
    return ContainerBuilder()
        .AddGeneralBlock(1, 0)
        .AddRawBlock(Tag::STATIC, length, Bytes(52, 0))
        .Build();
}

Bytes SyncHead(uint32_t size)
{
    Bytes head;
    AppendU32(head, Tag::SYNC);
    AppendU32(head, size);
    return head;
}

Bytes FlipBit(Bytes container, long at)
{
    container[std::size_t(at >= 0 ? at : long(container.size()) + at)] ^= 0x10;
    return container;
}

TEST(Crc32Test, MatchesTheCheckValueAHandWorkedContainerAndTheBitwiseReference)
{
    EXPECT_EQ(0x0376E6E7u, ComputeCrc32Mpeg2(reinterpret_cast<const uint8_t*>("123456789"), 9));
    EXPECT_EQ(0xFFFFFFFFu, ComputeCrc32Mpeg2(nullptr, 0));
    const Bytes container = TextContainer("<a/>");
    EXPECT_EQ((Bytes{0xff, 0x01, 0x1a, 0x02, 0x21, 0x00, 0x00, 0x00, 0x03, 0x01, 0x1a,
                     0x02, 0x0d, 0x00, 0x00, 0x00, 0x3c, 0x61, 0x2f, 0x3e, 0x00, 0xff,
                     0xff, 0x1a, 0x02, 0x0c, 0x00, 0x00, 0x00, 0x71, 0xc5, 0x99, 0xb7}),
              container);
    EXPECT_EQ(0x71C599B7u, CScanvo::ComputeCrc32(container.data(), container.size() - 4));
    // Every length and start alignment around the eight-byte folding steps.
    std::mt19937 random(7);
    Bytes bytes(300);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    for (std::size_t start = 0; start < 9; ++start) {
        for (std::size_t length = 0; start + length <= bytes.size(); ++length) {
            ASSERT_EQ(ReferenceCrc32(bytes.data() + start, length),
                      ComputeCrc32Mpeg2(bytes.data() + start, length))
                << "start " << start << " length " << length;
        }
    }
}

TEST(ContainerAssemblyTest, AssemblesAContainerHoweverTheStreamCutsIt)
{
    const Bytes container = RawScan(1);
    for (std::size_t split = 1; split < container.size(); ++split) {
        AssemblerHarness fresh;
        fresh.FeedSplit(container, {split});
        ASSERT_EQ(std::vector<Bytes>{container}, fresh.sink.containers) << "split at " << split;
    }
    const Bytes third = RawScan(3);
    const Bytes stream = Concat({RawScan(1), TextContainer("<a/>"), RawScan(2, 300), third});
    std::mt19937 random(42);
    for (int run = 0; run < 200; ++run) {
        AssemblerHarness fresh;
        std::vector<std::size_t> pieces;
        for (std::size_t total = 0; total < stream.size(); total += pieces.back()) pieces.push_back(1 + random() % 97);
        fresh.FeedSplit(stream, pieces);
        ASSERT_EQ((std::vector<Bytes>{RawScan(1), RawScan(2, 300), third}), fresh.sink.containers) << "run " << run;
        EXPECT_EQ(std::vector<std::string>{std::string("<a/>", 5)}, fresh.sink.texts);
    }
    AssemblerHarness harness;
    harness.Feed(Concat({RawScan(1), RawScan(2), Bytes(third.begin(), third.begin() + 30)}));
    EXPECT_EQ(2u, harness.sink.containers.size());
    harness.Feed(Bytes(third.begin() + 30, third.end()));
    EXPECT_EQ(third, harness.sink.containers.back());
}

// Streams that resynchronise: what the sink was handed, in order.
struct StreamCase {
    std::string name;
    Bytes stream;
    std::vector<Bytes> containers;
    uint32_t frame_errors = 0, crc_errors = 0;
    int syncs = 0;
    std::vector<std::size_t> pieces = {};  // chunk sizes; the last takes the rest
    std::vector<std::string> texts = {};
};

std::vector<StreamCase> StreamCases()
{
    const Bytes a = RawScan(8), b = RawScan(9);
    const auto one_bad = [&](std::string name, Bytes bad, uint32_t frame, uint32_t crc) {
        return StreamCase{name, Concat({a, bad, b}), {a, b}, frame, crc};
    };
    const Bytes end_delimited =
        ContainerBuilder().AddGeneralBlock(1, 0).AddBlock(Tag::RAW_PROFILE, Bytes(16, 1)).OverrideTotalSize(0).Build();
    const Bytes broken = ContainerBuilder().AddRawBlock(Tag::GENERAL, 0, Bytes(20, 0)).Build();
    Bytes zero_size_without_end = {0xff, 0x01, 0x1a, 0x02, 0, 0, 0, 0};
    AppendU32(zero_size_without_end, Tag::GENERAL);
    AppendU32(zero_size_without_end, 5000000);
    std::vector<StreamCase> cases = {
        {"GarbageBeforeAndBetween", Concat({Bytes{1, 2, 3, 0xff, 1, 7}, a, Bytes(33, 0xAB), b}), {a, b}},
        {"ContainerTagWithAnImpossibleSize", Concat({Bytes{0xff, 0x01, 0x1a, 0x02, 0x40, 0x4b, 0x4c, 0x00}, a}), {a}},
        {"ShortFrameMarkWithAHugeSize", Concat({Bytes{0x07, 0x19, 0xff, 0xff, 0xff, 0x00}, a}), {a}},
        {"OnlyItsEndBlockDelimits", Concat({end_delimited, a}), {end_delimited, a}},
        {"SyncFramesSignalAndDisappear", Concat({a, SyncFrame(8), SyncFrame(16), b}), {a, b}, 0, 0, 2},
        {"ContainerInSmallPiecesAfterASync", Concat({a, SyncFrame(8), b}), {a, b}, 0, 0, 1, {a.size() + 8, 10, 6, 1}},
        // The reply behind the broken container must not wait for another chunk.
        {"EverythingBufferedAfterAResync", Concat({broken, TextContainer("reply")}), {}, 1, 0, 0, {}, {std::string("reply", 6)}},
        {"TextEvenWhenTheCrcIsWrong", ContainerBuilder().AddTextBlock("<x/>").CorruptCrc().Build(), {}, 0, 0, 0, {}, {std::string("<x/>", 5)}},
        one_bad("BlockLengthZero", WithBlockLength(0), 1, 0),
        one_bad("BlockLengthFour", WithBlockLength(4), 1, 0),
        one_bad("BlockLengthSeven", WithBlockLength(7), 1, 0),
        one_bad("BlockEndBeyondDeclaredSize", WithBlockLength(1000), 1, 0),
        one_bad("BlockEndBeyondBufferLimit", WithBlockLength(9000000), 1, 0),
        one_bad("MissingEndBlock", ContainerBuilder().AddGeneralBlock(1, 0).WithoutEndBlock().Build(), 1, 0),
        one_bad("DeclaredSizeBelowHeadAndEndBlock", ContainerBuilder().AddGeneralBlock(1, 0).OverrideTotalSize(12).Build(), 1, 0),
        // Refused at once: waiting for more than a frame can hold would keep back what follows.
        one_bad("DeclaredSizeBeyondFrameLimit", ContainerBuilder().AddGeneralBlock(1, 0).WithoutEndBlock().OverrideTotalSize(SensorFrame::MAX_FRAME + 1).Build(), 1, 0),
        one_bad("SizeZeroWithoutEndBlockInLimit", zero_size_without_end, 1, 0),
        one_bad("SyncSizeZero", SyncHead(0), 1, 0),
        one_bad("SyncSizeFour", SyncHead(4), 1, 0),
        one_bad("SyncSizeSeven", SyncHead(7), 1, 0),
        one_bad("SyncSizeHuge", SyncHead(8405001), 1, 0),
        // Bit flips in the general block, the profile data and the CRC.
        one_bad("CrcFlipInGeneralBlock", FlipBit(RawScan(1), 17), 0, 1),
        one_bad("CrcFlipInProfile", FlipBit(RawScan(1), 440), 0, 1),
        one_bad("CrcFlipInCrcHigh", FlipBit(RawScan(1), -4), 0, 1),
        one_bad("CrcFlipInCrcLow", FlipBit(RawScan(1), -1), 0, 1),
    };
    for (std::size_t cut = 1; cut < 8; ++cut)
        cases.push_back({"FrameStartSplitAt" + std::to_string(cut), Concat({Bytes(20, 0x55), a}), {a}, 0, 0, 0, {20 + cut}});
    return cases;
}

TEST(ResynchronisationTest, HandsOnExactlyTheValidFramesAndCountsTheBadOnes)
{
    for (const StreamCase& row : StreamCases()) {
        SCOPED_TRACE(row.name);
        AssemblerHarness harness;
        harness.FeedSplit(row.stream, row.pieces.empty() ? std::vector<std::size_t>{row.stream.size()} : row.pieces);
        EXPECT_EQ(row.containers, harness.sink.containers);
        EXPECT_EQ(row.texts, harness.sink.texts);
        EXPECT_EQ(std::make_tuple(row.syncs, row.frame_errors, row.crc_errors),
                  std::make_tuple(harness.sink.syncs, harness.Stats().frame_errors, harness.Stats().crc_errors));
        EXPECT_EQ(0u, row.containers.size() == 2 ? harness.assembler.BufferedBytes() : 0u);
    }
}

// Containers, texts and sync frames wait for readiness; the linearization
// frame is taken only while there is none.
TEST(ReadinessTest, GatesContainersAndTakesOneValidLinearizationFrame)
{
    AssemblerHarness harness;
    harness.sink.ready = false;
    const Bytes payload = {'L', 'I', 'N', '1', 'D', 'D', 0, 0, 1, 2, 3};
    const Bytes tiny = {0x07, 0x19, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00};
    harness.Feed(
        Concat({RawScan(1), TextContainer("t"), SyncFrame(8), ShortFrame(0x07, Bytes(20, 1), true),
                tiny, Bytes{9, 9}, ShortFrame(0x07, payload), RawScan(2)}));
    EXPECT_TRUE(harness.sink.containers.empty());
    EXPECT_TRUE(harness.sink.texts.empty());
    EXPECT_EQ(0, harness.sink.syncs);
    EXPECT_EQ(1u, harness.Stats().crc_errors);
    EXPECT_EQ(std::vector<Bytes>{payload}, harness.sink.lin_payloads);
    harness.Feed(ShortFrame(0x07, Bytes(4, 2)));
    EXPECT_EQ(1u, harness.sink.lin_payloads.size());
    harness.sink.ready = true;
    harness.Feed(RawScan(3));
    EXPECT_EQ(std::vector<Bytes>{RawScan(3)}, harness.sink.containers);
}

TEST(PictureCounterTest, CountsJumpsButNotTheWrapAndReadsOnlyWhatTheGeneralBlockHas)
{
    AssemblerHarness harness;
    harness.Feed(Concat({RawScan(4), RawScan(5)}));
    const uint32_t errors = harness.Stats().pic_count_errors;
    harness.Feed(RawScan(7));
    EXPECT_EQ(errors + 1, harness.Stats().pic_count_errors);
    harness.Feed(Concat({RawScan(65535), RawScan(0)}));
    EXPECT_EQ(errors + 2, harness.Stats().pic_count_errors);  // 7 to 65535; the wrap is no jump
    const Bytes profile = RawProfilePayload(1, 7, {16, 8, 8, 16}, Bytes(4, 1));
    for (const Bytes& general : {Bytes{0x34, 0x12, 0xAA, 0xBB}, Bytes{}}) {
        harness.Feed(ContainerBuilder().AddBlock(Tag::GENERAL, general).AddBlock(Tag::RAW_PROFILE, profile).Build());
        EXPECT_EQ(general.empty() ? 0u : 0x1234u, harness.Stats().pic_count);
        EXPECT_EQ(0u, harness.Stats().time_stamp);
    }
    EXPECT_EQ(7u, harness.sink.containers.size());
}

TEST(ReceiveLimitsTest, IgnoresOversizedChunksAndRefusesContainersLargerThanTheBuffer)
{
    AssemblerHarness harness;
    Bytes huge = RawScan(1);
    huge.resize(SensorFrame::MAX_CHUNK + 1, 0);
    harness.Feed(huge);
    EXPECT_TRUE(harness.sink.containers.empty());
    EXPECT_EQ(0u, harness.assembler.BufferedBytes());

    AssemblerHarness small(1320000);
    const Bytes fits = RawScan(1, 320000);     // about 1.28 MB
    const Bytes too_big = RawScan(2, 340000);  // about 1.36 MB
    small.FeedSplit(Concat({fits, too_big, RawScan(3)}), std::vector<std::size_t>(60, 65535));
    EXPECT_EQ((std::vector<Bytes>{fits, RawScan(3)}), small.sink.containers);
}

}  // namespace
