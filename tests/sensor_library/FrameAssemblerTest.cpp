#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "AssemblerHarness.h"

using TestSupport::Bytes;
using TestSupport::ContainerBuilder;
using TestSupport::ProfileContainer;
using TestSupport::ShortFrame;
using TestSupport::SyncFrame;
using TestSupport::TextContainer;

namespace {

Bytes Profile(uint16_t counter, uint32_t width = 8)
{
    return ProfileContainer(counter, counter * 100u, width);
}

// Container assembly: a container is handled once, whole, however the
// stream cuts it.
class ContainerAssemblyTest : public ::testing::Test {
protected:
    AssemblerHarness harness;
};

TEST_F(ContainerAssemblyTest, AssemblesAContainerSplitAtEveryBytePosition)
{
    const Bytes container = Profile(1);
    for (std::size_t split = 1; split < container.size(); ++split) {
        AssemblerHarness fresh;
        fresh.FeedSplit(container, {split});
        ASSERT_EQ(1u, fresh.sink.containers.size()) << "split at " << split;
        EXPECT_EQ(container, fresh.sink.containers[0]);
    }
}

TEST_F(ContainerAssemblyTest, AssemblesTheSameContainersUnderRandomChunkings)
{
    const Bytes stream = Concat({Profile(1), TextContainer("<a/>"), Profile(2, 300), Profile(3)});
    std::mt19937 random(42);
    for (int run = 0; run < 200; ++run) {
        AssemblerHarness fresh;
        std::vector<std::size_t> pieces;
        for (std::size_t total = 0; total < stream.size();) {
            pieces.push_back(1 + random() % 97);
            total += pieces.back();
        }
        fresh.FeedSplit(stream, pieces);
        ASSERT_EQ(3u, fresh.sink.containers.size()) << "run " << run;
        EXPECT_EQ(Profile(2, 300), fresh.sink.containers[1]);
        ASSERT_EQ(1u, fresh.sink.texts.size());
        EXPECT_STREQ("<a/>", fresh.sink.texts[0].c_str());
    }
}

TEST_F(ContainerAssemblyTest, HandlesSeveralContainersInOneChunkAndKeepsAPartialOne)
{
    const Bytes third = Profile(3);
    const Bytes stream = Concat({Profile(1), Profile(2), Bytes(third.begin(), third.begin() + 30)});
    harness.Feed(stream);
    EXPECT_EQ(2u, harness.sink.containers.size());
    harness.Feed(Bytes(third.begin() + 30, third.end()));
    ASSERT_EQ(3u, harness.sink.containers.size());
    EXPECT_EQ(third, harness.sink.containers[2]);
}

TEST_F(ContainerAssemblyTest, AcceptsAContainerThatOnlyItsEndBlockDelimits)
{
    const Bytes container = ContainerBuilder()
                                .AddGeneralBlock(1, 0)
                                .AddRawProfileBlock({{100, 1, 2}})
                                .OverrideTotalSize(0)
                                .Build();
    harness.Feed(Concat({container, Profile(2)}));
    ASSERT_EQ(2u, harness.sink.containers.size());
    EXPECT_EQ(container, harness.sink.containers[0]);
}

// Resynchronisation: garbage and false frame starts are skipped, and nothing
// valid behind them is lost.
class ResynchronisationTest : public ::testing::Test {
protected:
    AssemblerHarness harness;
};

TEST_F(ResynchronisationTest, SkipsGarbageBeforeAndBetweenContainers)
{
    harness.Feed(Concat({Bytes{1, 2, 3, 0xff, 0x01, 7}, Profile(1), Bytes(33, 0xAB), Profile(2)}));
    EXPECT_EQ(2u, harness.sink.containers.size());
    EXPECT_EQ(0u, harness.Stats().frame_errors);
}

TEST_F(ResynchronisationTest, PassesOverAContainerTagWithAnImpossibleSize)
{
    const Bytes false_start = {0xff, 0x01, 0x1a, 0x02, 0x40, 0x4b, 0x4c, 0x00};  // 5,000,000
    harness.Feed(Concat({false_start, Profile(1)}));
    ASSERT_EQ(1u, harness.sink.containers.size());
    EXPECT_EQ(Profile(1), harness.sink.containers[0]);
}

TEST_F(ResynchronisationTest, PassesOverAShortFrameMarkWithAHugeSize)
{
    const Bytes false_start = {0x07, 0x19, 0xff, 0xff, 0xff, 0x00};
    harness.Feed(Concat({false_start, Profile(1)}));
    EXPECT_EQ(1u, harness.sink.containers.size());
}

TEST_F(ResynchronisationTest, FindsAFrameStartSplitOverTwoChunks)
{
    const Bytes container = Profile(1);
    for (std::size_t cut = 1; cut < 8; ++cut) {
        AssemblerHarness fresh;
        const Bytes stream = Concat({Bytes(20, 0x55), container});
        fresh.FeedSplit(stream, {20 + cut});
        EXPECT_EQ(1u, fresh.sink.containers.size()) << "cut " << cut;
    }
}

TEST_F(ResynchronisationTest, KeepsAContainerStartArrivingInSmallPiecesAfterASyncFrame)
{
    const Bytes first = Profile(1);
    const Bytes container = Profile(2);
    harness.FeedSplit(Concat({first, SyncFrame(8), container}), {first.size() + 8, 10, 6, 1});
    EXPECT_EQ(1, harness.sink.syncs);
    ASSERT_EQ(2u, harness.sink.containers.size());
    EXPECT_EQ(container, harness.sink.containers[1]);
}

TEST_F(ResynchronisationTest, HandlesEverythingAlreadyBufferedAfterAResync)
{
    // The valid reply after the broken container must not wait for another chunk.
    const Bytes broken = ContainerBuilder().AddRawBlock(0x021A0101, 0, Bytes(20, 0)).Build();
    harness.Feed(Concat({broken, TextContainer("reply")}));
    ASSERT_EQ(1u, harness.sink.texts.size());
    EXPECT_STREQ("reply", harness.sink.texts[0].c_str());
}

// Malformed containers: each costs one frame error and the stream goes on.
struct MalformedCase {
    const char* name;
    std::function<Bytes()> build;
};

class MalformedContainerTest : public ::testing::TestWithParam<MalformedCase> {
protected:
    AssemblerHarness harness;
};

TEST_P(MalformedContainerTest, CountsOneFrameErrorAndAcceptsTheNextContainer)
{
    harness.Feed(Concat({Profile(8), GetParam().build(), Profile(9)}));
    EXPECT_EQ(1u, harness.Stats().frame_errors);
    ASSERT_EQ(2u, harness.sink.containers.size());
    EXPECT_EQ(Profile(9), harness.sink.containers[1]);
}

Bytes WithBlockLength(uint32_t length)
{
    return ContainerBuilder().AddGeneralBlock(1, 0).AddRawBlock(0x021A0102, length, Bytes(52, 0)).Build();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedContainerTest,
    ::testing::Values(
        MalformedCase{"BlockLengthZero", [] { return WithBlockLength(0); }},
        MalformedCase{"BlockLengthFour", [] { return WithBlockLength(4); }},
        MalformedCase{"BlockLengthSeven", [] { return WithBlockLength(7); }},
        MalformedCase{"BlockEndBeyondDeclaredSize", [] { return WithBlockLength(1000); }},
        MalformedCase{"BlockEndBeyondBufferLimit", [] { return WithBlockLength(9000000); }},
        MalformedCase{"MissingEndBlock",
                      [] { return ContainerBuilder().AddGeneralBlock(1, 0).WithoutEndBlock().Build(); }},
        MalformedCase{"DeclaredSizeBelowHeadAndEndBlock",
                      [] { return ContainerBuilder().AddGeneralBlock(1, 0).OverrideTotalSize(12).Build(); }},
        MalformedCase{"SizeZeroWithoutEndBlockInLimit",
                      [] {
                          Bytes fake = {0xff, 0x01, 0x1a, 0x02, 0, 0, 0, 0};
                          TestSupport::AppendU32(fake, 0x021A0101);
                          TestSupport::AppendU32(fake, 5000000);
                          return fake;
                      }}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) { return info.param.name; });

// Sync frames: a frame of their own that sets the sync event.
class SyncFrameTest : public ::testing::TestWithParam<uint32_t> {
protected:
    AssemblerHarness harness;
};

TEST_F(ResynchronisationTest, SyncFrameSignalsAndDisappears)
{
    harness.Feed(Concat({Profile(1), SyncFrame(8), SyncFrame(16), Profile(2)}));
    EXPECT_EQ(2, harness.sink.syncs);
    EXPECT_EQ(2u, harness.sink.containers.size());
    EXPECT_EQ(0u, harness.assembler.BufferedBytes());
}

TEST_P(SyncFrameTest, MalformedSizeResynchronisesInsteadOfWaiting)
{
    Bytes head;
    TestSupport::AppendU32(head, TestSupport::Tag::SYNC);
    TestSupport::AppendU32(head, GetParam());
    harness.Feed(Concat({Profile(1), head, Profile(2)}));
    EXPECT_EQ(0, harness.sink.syncs);
    EXPECT_EQ(1u, harness.Stats().frame_errors);
    EXPECT_EQ(2u, harness.sink.containers.size());
}

INSTANTIATE_TEST_SUITE_P(Sizes, SyncFrameTest, ::testing::Values(0u, 4u, 7u, 8405001u));

// CRC: a changed bit in the body or the CRC keeps the container out and is counted.
class CrcCheckTest : public ::testing::TestWithParam<int> {
protected:
    AssemblerHarness harness;
};

TEST_P(CrcCheckTest, RejectsAContainerWithOneBitFlippedAndAcceptsTheNext)
{
    Bytes broken = Profile(1);
    const int at = GetParam();
    broken[at >= 0 ? static_cast<std::size_t>(at) : broken.size() - static_cast<std::size_t>(-at)] ^= 0x10;
    harness.Feed(Concat({broken, Profile(2)}));
    EXPECT_EQ(1u, harness.Stats().crc_errors);
    ASSERT_EQ(1u, harness.sink.containers.size());
    EXPECT_EQ(Profile(2), harness.sink.containers[0]);
}

// Positions (negative: from the end) in the general block, the profile data and the CRC.
INSTANTIATE_TEST_SUITE_P(Positions, CrcCheckTest, ::testing::Values(17, 440, -4, -1));

// Text blocks are acted on when they arrive; readiness gates containers.
class ReadinessTest : public ::testing::Test {
protected:
    AssemblerHarness harness;
};

TEST_F(ReadinessTest, DeliversTextEvenWhenTheContainerCrcIsWrong)
{
    harness.Feed(ContainerBuilder().AddTextBlock("<x/>").CorruptCrc().Build());
    ASSERT_EQ(1u, harness.sink.texts.size());
    EXPECT_STREQ("<x/>", harness.sink.texts[0].c_str());
}

TEST_F(ReadinessTest, DiscardsContainersAndSyncFramesUntilReady)
{
    harness.sink.ready = false;
    harness.Feed(Concat({Profile(1), TextContainer("t"), SyncFrame(8), Profile(2)}));
    EXPECT_TRUE(harness.sink.containers.empty());
    EXPECT_TRUE(harness.sink.texts.empty());
    EXPECT_EQ(0, harness.sink.syncs);
    harness.sink.ready = true;
    harness.Feed(Profile(3));
    EXPECT_EQ(1u, harness.sink.containers.size());
}

TEST_F(ReadinessTest, HandsOnTheLinearizationPayloadOfAValidShortFrame)
{
    harness.sink.ready = false;
    const Bytes payload = {'L', 'I', 'N', '1', 'D', 'D', 0, 0, 1, 2, 3};
    harness.Feed(Concat({Bytes{9, 9}, ShortFrame(0x07, payload), Profile(1)}));
    ASSERT_EQ(1u, harness.sink.lin_payloads.size());
    EXPECT_EQ(payload, harness.sink.lin_payloads[0]);
}

TEST_F(ReadinessTest, RefusesALinearizationFrameWithABadCrc)
{
    harness.sink.ready = false;
    harness.Feed(ShortFrame(0x07, Bytes(20, 1), true));
    EXPECT_TRUE(harness.sink.lin_payloads.empty());
    EXPECT_EQ(1u, harness.Stats().crc_errors);
}

TEST_F(ReadinessTest, RejectsATinyShortFrameAndFindsTheNextOne)
{
    harness.sink.ready = false;
    const Bytes tiny = {0x07, 0x19, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00};
    harness.Feed(Concat({tiny, ShortFrame(0x07, Bytes(4, 2))}));
    EXPECT_EQ(1u, harness.sink.lin_payloads.size());
}

TEST_F(ReadinessTest, IgnoresALinearizationFrameOnceLinearizationDataIsThere)
{
    harness.sink.ready = false;
    harness.sink.has_lin = true;
    harness.Feed(ShortFrame(0x07, Bytes(4, 2)));
    EXPECT_TRUE(harness.sink.lin_payloads.empty());
}

// Picture counters of profile containers.
class PictureCounterTest : public ::testing::Test {
protected:
    AssemblerHarness harness;
};

TEST_F(PictureCounterTest, AcceptsTheWrapFrom65535ToZero)
{
    harness.Feed(Concat({Profile(1), Profile(65535)}));
    const uint32_t errors = harness.Stats().pic_count_errors;
    harness.Feed(Profile(0));
    EXPECT_EQ(errors, harness.Stats().pic_count_errors);
}

TEST_F(PictureCounterTest, CountsAJumpFromFiveToSeven)
{
    harness.Feed(Concat({Profile(4), Profile(5)}));
    const uint32_t errors = harness.Stats().pic_count_errors;
    harness.Feed(Profile(7));
    EXPECT_EQ(errors + 1, harness.Stats().pic_count_errors);
    EXPECT_EQ(3u, harness.sink.containers.size());
}

TEST_F(PictureCounterTest, ReadsOnlyTheFieldsAShortGeneralBlockHas)
{
    const Bytes counter_only = ContainerBuilder()
                                   .AddBlock(TestSupport::Tag::GENERAL, Bytes{0x34, 0x12, 0xAA, 0xBB})
                                   .AddRawProfileBlock({{1, 2, 3}})
                                   .Build();
    const Bytes empty_general = ContainerBuilder()
                                    .AddBlock(TestSupport::Tag::GENERAL, Bytes{})
                                    .AddRawProfileBlock({{1, 2, 3}})
                                    .Build();
    harness.Feed(counter_only);
    EXPECT_EQ(0x1234u, harness.Stats().pic_count);
    EXPECT_EQ(0u, harness.Stats().time_stamp);
    harness.Feed(empty_general);
    EXPECT_EQ(0u, harness.Stats().pic_count);
    EXPECT_EQ(2u, harness.sink.containers.size());
}

// Limits of the receive buffer.
TEST(ReceiveLimitsTest, IgnoresAChunkLargerThanTheLargestFrame)
{
    AssemblerHarness harness;
    Bytes huge = Profile(1);
    huge.resize(SensorFrame::MAX_CHUNK + 1, 0);
    harness.Feed(huge);
    EXPECT_TRUE(harness.sink.containers.empty());
    EXPECT_EQ(0u, harness.assembler.BufferedBytes());
}

TEST(ReceiveLimitsTest, ASmallBufferTakesContainersUpToItsSizeAndRefusesLargerOnes)
{
    AssemblerHarness harness(1320000);
    const Bytes fits = Profile(1, 320000);     // about 1.28 MB
    const Bytes too_big = Profile(2, 340000);  // about 1.36 MB
    harness.FeedSplit(Concat({fits, too_big, Profile(3)}), std::vector<std::size_t>(60, 65535));
    ASSERT_EQ(2u, harness.sink.containers.size());
    EXPECT_EQ(fits, harness.sink.containers[0]);
    EXPECT_EQ(Profile(3), harness.sink.containers[1]);
}

}  // namespace
