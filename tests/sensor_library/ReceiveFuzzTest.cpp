#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>

#include "AssemblerHarness.h"
#include "StreamMutator.h"
#include "platform/Assert.h"

using TestSupport::Bytes;

namespace {

std::atomic<int> assertion_failures{0};
void CountAssertion(const char*, const char*, int)
{
    ++assertion_failures;
}

constexpr uint32_t FUZZ_BUFFER = StreamMutator::BUFFER;
constexpr int ITERATIONS = 100000;
constexpr int RECOVERY_EVERY = 10;
// Enough clean bytes to outlast any frame a mutation can leave pending.
constexpr int RECOVERY_CONTAINERS = 14;

void FeedRandomly(AssemblerHarness& harness, const Bytes& bytes, std::mt19937& random)
{
    harness.FeedSplit(bytes, StreamMutator::Pieces(bytes.size(), random));
}

// Hostile streams: whatever arrives, the receive path never reads or writes
// outside its buffer, never stalls, hands on only frames that pass their
// check, and takes clean containers again once the garbage has passed.
TEST(ReceiveFuzzTest, SurvivesMutatedStreamsAndRecovers)
{
    assertion_failures = 0;
    const Platform::AssertionHook previous = Platform::SetAssertionHookForTest(&CountAssertion);
    std::mt19937 random(20240601);
    std::vector<Bytes> clean;
    for (uint16_t counter = 1; counter <= 16; ++counter)
        clean.push_back(TestSupport::ProfileContainer(counter, counter * 7u, 8));
    const std::vector<Bytes> others = {TestSupport::TextContainer("<device/>"),
                                       TestSupport::SyncFrame(8),
                                       TestSupport::ShortFrame(0x07, Bytes(40, 3))};
    const std::set<Bytes> valid(clean.begin(), clean.end());

    AssemblerHarness harness(FUZZ_BUFFER);
    int recoveries_checked = 0;
    for (int i = 0; i < ITERATIONS; ++i) {
        Bytes input;
        for (int part = 1 + static_cast<int>(random() % 3); part > 0; --part) {
            const Bytes& frame = random() % 3 == 0 ? others[random() % others.size()]
                                                   : clean[random() % clean.size()];
            input.insert(input.end(), frame.begin(), frame.end());
        }
        StreamMutator::Mutate(input, random);
        harness.sink.ready = random() % 10 != 0;
        harness.sink.has_lin = random() % 2 == 0;
        FeedRandomly(harness, input, random);

        if (i % RECOVERY_EVERY == 0) {
            harness.sink.ready = true;
            harness.sink.containers.clear();
            for (int k = 0; k < RECOVERY_CONTAINERS; ++k)
                FeedRandomly(harness, clean[k % clean.size()], random);
            ASSERT_FALSE(harness.sink.containers.empty()) << "no recovery after input " << i;
            ++recoveries_checked;
        }
        for (const Bytes& delivered : harness.sink.containers)
            ASSERT_TRUE(valid.count(delivered) == 1) << "a damaged container passed, input " << i;
        harness.sink.containers.clear();
        ASSERT_LE(harness.assembler.BufferedBytes(), FUZZ_BUFFER);
    }
    Platform::SetAssertionHookForTest(previous);
    EXPECT_EQ(ITERATIONS / RECOVERY_EVERY, recoveries_checked);
    EXPECT_EQ(0, assertion_failures.load());
}

}  // namespace
