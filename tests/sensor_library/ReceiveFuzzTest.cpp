// Hostile streams: whatever arrives, the receive path never reads or writes
// outside its buffer, never stalls, hands on only frames that pass their
// check, and takes clean containers again once the garbage has passed.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "AssemblerHarness.h"
#include "FakeTransport.h"
#include "StreamMutator.h"
#include "sensor_library/CScanvo.h"
#include "support/AssertionCounter.h"
#include "support/SensorScans.h"

using namespace TestSupport;

namespace {

constexpr int ITERATIONS = 100000;
constexpr int RECOVERY_EVERY = 10;
// Enough clean bytes to outlast any frame a mutation can leave pending.
constexpr int RECOVERY_CONTAINERS = 14;

// Two to three frames, mostly clean containers, then damaged.
Bytes MutatedInput(const std::vector<Bytes>& clean, const std::vector<Bytes>& others,
                   std::mt19937& random)
{
    Bytes input;
    for (int part = 2 + int(random() % 2); part > 0; --part) {
        const Bytes& frame = random() % 3 == 0 ? others[random() % others.size()] : clean[random() % clean.size()];
        input.insert(input.end(), frame.begin(), frame.end());
    }
    StreamMutator::Mutate(input, random);
    return input;
}

TEST(ReceiveFuzzTest, TheAssemblerSurvivesMutatedStreamsAndRecovers)
{
    AssertionCounter assertions;
    std::mt19937 random(20240601);
    std::vector<Bytes> clean;
    for (uint16_t counter = 1; counter <= 16; ++counter) clean.push_back(RawScan(counter));
    const std::vector<Bytes> others = {TextContainer("<device/>"), SyncFrame(8), ShortFrame(0x07, Bytes(40, 3))};
    const std::set<Bytes> valid(clean.begin(), clean.end());

    AssemblerHarness harness(StreamMutator::BUFFER);
    for (int i = 0; i < ITERATIONS; ++i) {
        const Bytes input = MutatedInput(clean, others, random);
        harness.sink.ready = random() % 10 != 0;
        harness.sink.has_lin = random() % 2 == 0;
        harness.FeedSplit(input, StreamMutator::Pieces(input.size(), random));
        if (i % RECOVERY_EVERY == 0) {
            harness.sink.ready = true;
            harness.sink.containers.clear();
            for (int k = 0; k < RECOVERY_CONTAINERS; ++k) {
                const Bytes& one = clean[k % clean.size()];
                harness.FeedSplit(one, StreamMutator::Pieces(one.size(), random));
            }
            ASSERT_FALSE(harness.sink.containers.empty()) << "no recovery after input " << i;
        }
        for (const Bytes& delivered : harness.sink.containers)
            ASSERT_EQ(1u, valid.count(delivered)) << "a damaged container passed, input " << i;
        harness.sink.containers.clear();
        ASSERT_LE(harness.assembler.BufferedBytes(), StreamMutator::BUFFER);
    }
    EXPECT_EQ(0, assertions.Failures());
}

// Through a whole connection: text blocks of every length into the reply,
// containers into the FIFO, garbage linearization frames.
TEST(ReceiveFuzzTest, AConnectionSurvivesMutatedStreamsAndStillDeliversCleanContainers)
{
    AssertionCounter assertions;
    auto fake = std::make_shared<FakeTransport>();
    CScanvo scanvo;
    scanvo.SetProductionMode(true);
    ConnectSettings settings;
    settings.fifo_size = 1 << 16;
    settings.receive_buffer_size = StreamMutator::BUFFER;
    ASSERT_TRUE(scanvo.ConnectWithTransportForTest(settings, fake));
    fake->Connect();
    const std::vector<Bytes> clean = {RawScan(1), RawScan(2, 40)};
    const std::vector<Bytes> others = {TextContainer("<device/>"), TextContainer(std::string(3000, 't')),
                                       SyncFrame(8), ShortFrame(0x07, Bytes(30, 1))};
    std::mt19937 random(77);
    Bytes out(1 << 12);
    const auto take = [&] { return scanvo.GetRawData(out.data(), int32_t(out.size())); };
    for (int i = 0; i < 20000; ++i) {
        const Bytes input = MutatedInput(clean, others, random);
        auto at = input.begin();
        for (std::size_t piece : StreamMutator::Pieces(input.size(), random)) {
            const auto end = at + long(std::min<std::size_t>(piece, input.end() - at));
            fake->Feed(Bytes(at, end));
            at = end;
        }
        while (take() > 0) {
        }
    }
    for (int k = 0; k < RECOVERY_CONTAINERS; ++k) fake->Feed(RawScan(9));
    const int taken = take();
    ASSERT_GT(taken, 0);
    EXPECT_EQ(RawScan(9), Bytes(out.begin(), out.begin() + taken));
    EXPECT_EQ(0, assertions.Failures());
}

}  // namespace
