// FrameAssemblyCost: bytes that are at once container starts and a chain of
// blocks are walked once, not once per start.
#include <gtest/gtest.h>

#include "AssemblerHarness.h"

namespace {

using namespace TestSupport;

// `units` chained starts of 16 bytes each: a container start declaring
// `declared` bytes, then a block of 16 that ends where the next unit's block
// begins; the last unit's block has its own tag and length.
Bytes ChainedStarts(uint32_t units, uint32_t tag, uint32_t declared, uint32_t last_tag, uint32_t last_length)
{
    Bytes bytes;
    for (uint32_t i = 0; i <= units; ++i) {
        for (uint32_t word : {Tag::CONTAINER, declared, i == units ? last_tag : tag, i == units ? last_length : 16})
            AppendU32(bytes, word);
    }
    return bytes;
}

}  // namespace

// Walked once per start, 1 MB of this took seconds and handed on each text
// block once per start before it.
TEST(FrameAssemblyCostTest, ChainOfStartsEndingInAnEmptyBlockIsWalkedOnce)
{
    constexpr uint32_t units = 4096;
    const uint32_t text = Tag::TEXT;
    Bytes stream = ChainedStarts(units, text, SensorFrame::MAX_FRAME, text, 0);
    const Bytes behind = ContainerBuilder()
                             .AddGeneralBlock(1, 100)
                             .AddBlock(Tag::RAW_PROFILE, Bytes(64, 7))
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
    Bytes stream = ChainedStarts(units, Tag::RAW_PROFILE, end_at + 8, Tag::END, 16);
    AppendU32(stream, 0);
    AppendU32(stream, 0);
    AssemblerHarness harness;
    harness.Feed(stream);
    EXPECT_EQ(harness.Stats().frame_errors, 1u);
    EXPECT_EQ(harness.sink.rejected_containers, 1);  // delivered; its CRC is not real
    EXPECT_EQ(harness.assembler.BufferedBytes(), 0u);
}
