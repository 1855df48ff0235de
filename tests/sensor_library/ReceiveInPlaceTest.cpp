// A chunk read into the assembler's own room is handled exactly as the same
// chunk copied in: through mutated streams, chunks longer than the free
// space, and full buffers dropped while the chunk waits behind them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "AssemblerHarness.h"
#include "StreamMutator.h"
#include "support/SensorScans.h"

using namespace TestSupport;

TEST(ReceiveInPlaceTest, ChunksReadIntoTheRoomGiveWhatCopiedChunksGive)
{
    std::mt19937 random(20261207);
    const std::vector<Bytes> frames = {RawScan(1), RawScan(2, 700), TextContainer("<device/>"),
                                       SyncFrame(8), ShortFrame(0x07, Bytes(40, 3))};
    AssemblerHarness copied(StreamMutator::BUFFER);
    AssemblerHarness in_place(StreamMutator::BUFFER);
    std::size_t containers = 0;
    for (int i = 0; i < 20000; ++i) {
        Bytes input;
        for (int part = 1 + static_cast<int>(random() % 3); part > 0; --part) {
            const Bytes& frame = frames[random() % frames.size()];
            input.insert(input.end(), frame.begin(), frame.end());
        }
        StreamMutator::Mutate(input, random);
        const bool ready = random() % 10 != 0;
        copied.sink.ready = in_place.sink.ready = ready;
        std::size_t offset = 0;
        for (std::size_t piece : StreamMutator::Pieces(input.size(), random)) {
            piece = std::min(piece, input.size() - offset);
            copied.assembler.Receive(input.data() + offset, static_cast<uint32_t>(piece));
            uint8_t* room = in_place.assembler.ReceiveSpace();
            std::memcpy(room, input.data() + offset, piece);
            in_place.assembler.Receive(room, static_cast<uint32_t>(piece));
            offset += piece;
        }
        ASSERT_EQ(copied.sink.containers, in_place.sink.containers) << "input " << i;
        ASSERT_EQ(copied.sink.texts, in_place.sink.texts) << "input " << i;
        ASSERT_EQ(copied.sink.syncs, in_place.sink.syncs) << "input " << i;
        ASSERT_EQ(copied.assembler.BufferedBytes(), in_place.assembler.BufferedBytes());
        // Every field is a uint32_t: no padding to compare.
        ASSERT_EQ(0, std::memcmp(&copied.Stats(), &in_place.Stats(), sizeof(ReceiveStatistics)))
            << "input " << i;
        containers += copied.sink.containers.size();
        for (AssemblerHarness* harness : {&copied, &in_place}) {
            harness->sink.containers.clear();
            harness->sink.texts.clear();
        }
    }
    EXPECT_GT(copied.Stats().frame_errors, 0u);
    EXPECT_GT(containers, 0u);
}
