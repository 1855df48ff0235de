// FrameAssemblyCost: bytes that are at once container starts and a chain of
// blocks are walked once, not once per start.
#include <gtest/gtest.h>

#include "AssemblerHarness.h"

namespace {

using TestSupport::AppendU32;
using TestSupport::Bytes;

struct Chain {
    uint32_t units;  // 16 bytes each: a container start, then a block of 16
    uint32_t tag;
    uint32_t declared;  // every start's container size
    uint32_t last_tag;  // the block behind the last unit
    uint32_t last_length;
};

// Each unit's block ends where the next unit's block begins.
Bytes ChainedStarts(const Chain& chain)
{
    Bytes bytes;
    for (uint32_t i = 0; i <= chain.units; ++i) {
        const bool last = i == chain.units;
        AppendU32(bytes, TestSupport::Tag::CONTAINER);
        AppendU32(bytes, chain.declared);
        AppendU32(bytes, last ? chain.last_tag : chain.tag);
        AppendU32(bytes, last ? chain.last_length : 16);
    }
    return bytes;
}

}  // namespace

// Walked once per start, 1 MB of this took seconds and handed on each text
// block once per start before it.
TEST(FrameAssemblyCostTest, ChainOfStartsEndingInAnEmptyBlockIsWalkedOnce)
{
    constexpr uint32_t units = 4096;
    const uint32_t text = TestSupport::Tag::TEXT;
    Bytes stream = ChainedStarts({units, text, SensorFrame::MAX_FRAME, text, 0});
    const Bytes behind = TestSupport::ContainerBuilder()
                             .AddGeneralBlock(1, 100)
                             .AddBlock(TestSupport::Tag::RAW_PROFILE, Bytes(64, 7))
                             .Build();
    stream.insert(stream.end(), behind.begin(), behind.end());
    AssemblerHarness harness;
    harness.FeedSplit(stream, std::vector<std::size_t>(stream.size() / 4096 + 1, 4096));
    EXPECT_EQ(harness.sink.texts.size(), units);
    EXPECT_EQ(harness.Stats().frame_errors, units + 1);
    ASSERT_EQ(harness.sink.containers.size(), 1u);
    EXPECT_EQ(harness.sink.containers[0], behind);
}

// The first start ends before the end block; the next one, 16 bytes on,
// reaches it along the same blocks and is a profile container.
TEST(FrameAssemblyCostTest, LaterStartCompletesAlongTheFailedWalk)
{
    constexpr uint32_t units = 64;
    constexpr uint32_t end_at = units * 16 + 8;
    Bytes stream = ChainedStarts(
        {units, TestSupport::Tag::RAW_PROFILE, end_at + 8, TestSupport::Tag::END, 16});
    AppendU32(stream, 0);
    AppendU32(stream, 0);
    AssemblerHarness harness;
    harness.Feed(stream);
    EXPECT_EQ(harness.Stats().frame_errors, 1u);
    EXPECT_EQ(harness.sink.rejected_containers, 1);  // delivered; its CRC is not real
    EXPECT_EQ(harness.assembler.BufferedBytes(), 0u);
}
