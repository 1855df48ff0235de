// The ring of equal-sized containers between the receive thread and readers.
#include <gtest/gtest.h>

#include <cstring>

#include "sensor_library/ContainerFifo.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A container whose every byte names its sequence number, so a torn or
// stale read shows.
Bytes Numbered(uint32_t sequence, uint32_t size = 64)
{
    Bytes out(size);
    for (uint32_t i = 0; i < size; ++i)
        out[i] = static_cast<uint8_t>(sequence * 31 + i);
    std::memcpy(out.data(), &sequence, sizeof(sequence));
    return out;
}

bool Write(ContainerFifo& fifo, uint32_t sequence, uint32_t size = 64)
{
    return fifo.Write(Numbered(sequence, size).data(), size).written;
}

// The sequence of a whole container taken; -1 when torn, -2 when none.
int64_t TakeSequence(ContainerFifo& fifo, bool newest_only = false)
{
    int64_t sequence = -2;
    fifo.Take(newest_only, [&](const uint8_t* data, uint32_t size) {
        uint32_t number;
        std::memcpy(&number, data, sizeof(number));
        sequence = std::memcmp(Numbered(number, size).data(), data, size) == 0 ? number : -1;
        return true;
    });
    return sequence;
}

std::vector<int64_t> TakeAll(ContainerFifo& fifo)
{
    std::vector<int64_t> taken;
    for (int64_t sequence; (sequence = TakeSequence(fifo)) != -2;) taken.push_back(sequence);
    return taken;
}

// Four slots and a tail: oldest first across the wrap, the oldest dropped
// when full, a container the reader leaves kept, a new size empties it, and
// one larger than the ring is not written.
TEST(ContainerFifoTest, HandsOutOldestFirstDropsTheOldestAndKeepsOnlyWhatFits)
{
    ContainerFifo fifo;
    ASSERT_TRUE(fifo.Allocate(4 * 64 + 10));
    for (uint32_t n = 1; n <= 3; ++n) Write(fifo, n);
    fifo.Take(false, [](const uint8_t*, uint32_t) { return false; });
    EXPECT_EQ(1, TakeSequence(fifo));
    EXPECT_EQ(2, TakeSequence(fifo));
    for (uint32_t n = 4; n <= 6; ++n) Write(fifo, n);  // the third of these wraps to index 0
    EXPECT_EQ((std::vector<int64_t>{3, 4, 5, 6}), TakeAll(fifo));
    for (uint32_t n = 1; n <= 4; ++n) Write(fifo, n);
    EXPECT_EQ(100.0 * 256 / 266, fifo.FillPercent());
    EXPECT_TRUE(fifo.Write(Numbered(5).data(), 64).dropped_oldest);
    Write(fifo, 6);
    EXPECT_EQ(2u, fifo.DroppedCount());
    EXPECT_EQ(4u, fifo.Count());
    EXPECT_EQ((std::vector<int64_t>{3, 4, 5, 6}), TakeAll(fifo));
    for (uint32_t n = 1; n <= 3; ++n) Write(fifo, n);
    EXPECT_EQ(3, TakeSequence(fifo, true));  // newest only: the older ones go
    Write(fifo, 1);
    EXPECT_TRUE(fifo.Write(Numbered(9, 100).data(), 100).size_changed);
    EXPECT_EQ((std::vector<int64_t>{9}), TakeAll(fifo));
    EXPECT_FALSE(Write(fifo, 1, 300));
    EXPECT_TRUE(fifo.IsEmpty());
    ContainerFifo empty;
    ASSERT_TRUE(empty.Allocate(0));
    EXPECT_EQ(0.0, empty.FillPercent());
    EXPECT_FALSE(Write(empty, 1));
}

}  // namespace
