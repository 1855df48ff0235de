// GenTLBufferTest.cpp: a buffer's memory, its state flags and the taking
// over of an auxiliary buffer's fill.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <sstream>
#include <vector>

#include "AcquisitionTestHelpers.h"
#include "BufferTestHelpers.h"
#include "gentl_core/GenTLBuffer.h"
#include "support/AssertionCounter.h"

namespace AcquisitionTest {
namespace {

using GenTLCore::GenTLBuffer;
using GenTLCore::GlobalFillResults;
using GenTLCore::SegmentFillResult;
using GenTLCore::SharedPtr;

class BufferTest : public ::testing::Test {
protected:
    void SetUp() override { InstallAcquisitionBranding(); }
    void TearDown() override { EXPECT_EQ(asserts.Failures(), expected_asserts); }

    TestSupport::AssertionCounter asserts;
    int expected_asserts = 0;
};

// ---- Memory and identity ----

using BufferMemoryTest = BufferTest;

TEST_F(BufferMemoryTest, ProducerMemoryIsZeroFilledAndNotTheConsumers)
{
    SharedPtr<FakeBuffer> buffer(new FakeBuffer(nullptr, 64, USER_PTR, false, nullptr));
    buffer->CompleteConstruction();
    const auto* bytes = static_cast<const uint8_t*>(buffer->GetContiguousBase());
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::all_of(bytes, bytes + 64, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(buffer->GetConsumerMemory(), nullptr);
    EXPECT_EQ(buffer->GetSize(), 64u);
}

TEST_F(BufferMemoryTest, ConsumerMemoryIsUsedInPlaceAndItsAddressInLowerCaseHexIsTheId)
{
    OpenBuffer open(32);
    EXPECT_EQ(open.buffer->GetContiguousBase(), open.memory.data());
    EXPECT_EQ(open.buffer->GetConsumerMemory(), open.memory.data());
    std::ostringstream expected;
    expected << std::hex << std::nouppercase << reinterpret_cast<uintptr_t>(open.memory.data());
    EXPECT_EQ(open.buffer->GetID(), expected.str());
}

TEST_F(BufferMemoryTest, CompositeTotalSizeIsTheSumOfItsSegments)
{
    OpenCompositeBuffer open({100, 28, 4});
    EXPECT_EQ(open.buffer->GetSize(), 132u);
    EXPECT_TRUE(open.buffer->IsComposite());
    EXPECT_EQ(open.buffer->GetConsumerMemory(), nullptr);
}

// ---- State ----

using BufferStateTest = BufferTest;

TEST_F(BufferStateTest, RequeuingADeliveredBufferClearsItsFillUntilTheNextIsHandedOut)
{
    OpenBuffer open(100);
    Deliver(*open.buffer, CompleteFill(100));
    ASSERT_TRUE(open.buffer->IsDataAvailable());
    open.buffer->SetQueued(true);
    EXPECT_FALSE(open.buffer->HasNewData());
    EXPECT_FALSE(open.buffer->IsDataAvailable());
    open.buffer->SetQueued(false);
    uint32_t segments = 0;
    ASSERT_EQ(open.buffer->GetNumBufferSegments(&segments), GC_ERR_SUCCESS);
    EXPECT_EQ(segments, 1u);
    EXPECT_EQ(open.buffer->GetBufferInfo(BUFFER_INFO_SIZE_FILLED, nullptr, nullptr, nullptr),
              GC_ERR_NOT_AVAILABLE);
    // Filled but still queued: not available until handed out.
    open.buffer->SetQueued(true);
    open.buffer->SetScheduled(true);
    open.buffer->SetFillResults(CompleteFill(100));
    EXPECT_TRUE(open.buffer->HasNewData());
    EXPECT_FALSE(open.buffer->IsDataAvailable());
    open.buffer->SetScheduled(false);
    open.buffer->SetQueued(false);
    EXPECT_TRUE(open.buffer->IsDataAvailable());
}

TEST_F(BufferStateTest, FillWithoutSegmentsGivesOneSegmentSizedByTheData)
{
    OpenBuffer open(100);
    Deliver(*open.buffer, GlobalFillResults{70, 60, true, false});
    const auto segment_size = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return open.buffer->GetBufferSegmentInfo(0, SEGMENT_INFO_SIZE, t, b, s);
    });
    EXPECT_EQ(segment_size.value, 60u);
    const auto filled = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return open.buffer->GetBufferSegmentInfo(0, SEGMENT_INFO_SIZE_FILLED, t, b, s);
    });
    EXPECT_EQ(filled.value, 70u);
}

TEST_F(BufferStateTest, FillOfAnUnscheduledBufferIsAnInvariantBreach)
{
    OpenBuffer open(100);
    open.buffer->SetQueued(true);
    open.buffer->SetFillResults(CompleteFill(100));
    expected_asserts = 1;
    open.buffer->SetQueued(false);
}

// ---- Taking over an auxiliary fill ----

class BufferTakeOverTest : public BufferTest {
protected:
    // An auxiliary buffer of `size` bytes holding 0, 1, 2, ... and a fill
    // of `data_size` bytes.
    SharedPtr<FakeBuffer> MakeFilledAux(size_t size, uint64_t data_size,
                                        const std::vector<SegmentFillResult>& results = {})
    {
        SharedPtr<FakeBuffer> aux(new FakeBuffer(nullptr, size, nullptr, true, nullptr));
        aux->CompleteConstruction();
        auto* bytes = static_cast<uint8_t*>(aux->GetContiguousBase());
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i);
        aux->SetScheduled(true);
        aux->SetFillResults(GlobalFillResults{data_size, data_size, true, false}, results);
        aux->SetScheduled(false);
        return aux;
    }

    static GlobalFillResults Global(GenTLBuffer& buffer)
    {
        const auto info = [&buffer](BUFFER_INFO_CMD command) {
            return Ask<uint64_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
                       return buffer.GetBufferInfo(command, t, b, s);
                   })
                .value;
        };
        return GlobalFillResults{info(BUFFER_INFO_SIZE_FILLED), info(BUFFER_INFO_DATA_SIZE),
                                 info(BUFFER_INFO_IS_INCOMPLETE) == 0,
                                 info(BUFFER_INFO_DATA_LARGER_THAN_BUFFER) != 0};
    }

    // Takes over as the new-buffer event does, then hands the buffer out.
    static void TakeOverAndDeliver(FakeBuffer& buffer, FakeBuffer& aux)
    {
        buffer.SetQueued(true);
        buffer.TakeOverData(aux);
        buffer.SetQueued(false);
    }
};

TEST_F(BufferTakeOverTest, ThousandBytesIntoSixHundredCopiesSixHundredAndReportsOverflow)
{
    SharedPtr<FakeBuffer> aux = MakeFilledAux(1000, 1000);
    std::vector<uint8_t> memory(700, 0xEE);
    SharedPtr<FakeBuffer> buffer(new FakeBuffer(memory.data(), 600, USER_PTR, false, nullptr));
    buffer->CompleteConstruction();
    buffer->Open();
    TakeOverAndDeliver(*buffer, *aux);
    const GlobalFillResults global = Global(*buffer);
    EXPECT_EQ(global.data_size, 600u);
    EXPECT_EQ(global.size_filled, 600u);
    EXPECT_FALSE(global.complete);
    EXPECT_TRUE(global.data_overflow);
    for (size_t i = 0; i < 600; ++i) ASSERT_EQ(memory[i], static_cast<uint8_t>(i)) << "byte " << i;
    EXPECT_TRUE(
        std::all_of(memory.begin() + 600, memory.end(), [](uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(buffer->copy_fill_info_calls.load(), 1);
    buffer->Close();
}

TEST_F(BufferTakeOverTest, FillThatFitsIsCopiedWholeButNeverBeyondTheAuxMemory)
{
    // {aux size, claimed data size, target size, bytes copied}; the second
    // engine claims 2000 bytes in a 1000-byte buffer.
    for (const auto [aux_size, data_size, target, copied] :
         {std::array<size_t, 4>{1000, 300, 600, 300}, std::array<size_t, 4>{1000, 2000, 1500, 1000}}) {
        SharedPtr<FakeBuffer> aux = MakeFilledAux(aux_size, data_size);
        OpenBuffer open(target);
        TakeOverAndDeliver(*open.buffer, *aux);
        const GlobalFillResults global = Global(*open.buffer);
        EXPECT_EQ(global.data_size, copied);
        EXPECT_EQ(open.memory[copied - 1], static_cast<uint8_t>(copied - 1));
        EXPECT_EQ(open.memory[copied], 0xEE);
        if (data_size < target) {
            EXPECT_TRUE(global.complete);
            EXPECT_FALSE(global.data_overflow);
        }
    }
}

TEST_F(BufferTakeOverTest, CompositeTargetTakesEachFlowIntoItsSegment)
{
    // Flows of 100 and 200 bytes at offsets 0 and 100; the second segment
    // holds only 120 of the second flow's 150 data bytes.
    SharedPtr<FakeBuffer> aux =
        MakeFilledAux(300, 250,
                      {SegmentFillResult{100, 100, 100, true, false, false},
                       SegmentFillResult{150, 150, 200, true, false, false}});
    OpenCompositeBuffer open({100, 120});
    TakeOverAndDeliver(*open.buffer, *aux);
    EXPECT_EQ(open.memories[0][0], 0);
    EXPECT_EQ(open.memories[0][99], 99);
    EXPECT_EQ(open.memories[1][0], 100);
    EXPECT_EQ(open.memories[1][119], static_cast<uint8_t>(219));
    const GlobalFillResults global = Global(*open.buffer);
    EXPECT_TRUE(global.data_overflow);
    EXPECT_FALSE(global.complete);
    EXPECT_EQ(global.data_size, 220u);
    const auto second = Ask<size_t>([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return open.buffer->GetBufferSegmentInfo(1, SEGMENT_INFO_DATA_SIZE, t, b, s);
    });
    EXPECT_EQ(second.value, 120u);
}

TEST_F(BufferTakeOverTest, SurplusAuxSegmentWithDataMarksOverflow)
{
    SharedPtr<FakeBuffer> aux =
        MakeFilledAux(300, 300,
                      {SegmentFillResult{100, 100, 100, true, false, false},
                       SegmentFillResult{100, 100, 100, true, false, false},
                       SegmentFillResult{100, 100, 100, true, false, false}});
    OpenCompositeBuffer open({100, 100});
    TakeOverAndDeliver(*open.buffer, *aux);
    const GlobalFillResults global = Global(*open.buffer);
    EXPECT_TRUE(global.data_overflow);
    EXPECT_FALSE(global.complete);
    EXPECT_EQ(global.data_size, 200u);
}

TEST_F(BufferTakeOverTest, SegmentSizesPastTheAuxMemoryEndTheWalk)
{
    SharedPtr<FakeBuffer> aux =
        MakeFilledAux(100, 100,
                      {SegmentFillResult{50, 50, UINT64_MAX, true, false, false},
                       SegmentFillResult{50, 50, 50, true, false, false}});
    OpenCompositeBuffer open({60, 60});
    TakeOverAndDeliver(*open.buffer, *aux);
    uint32_t segments = 0;
    ASSERT_EQ(open.buffer->GetNumBufferSegments(&segments), GC_ERR_SUCCESS);
    EXPECT_EQ(segments, 2u);
    EXPECT_EQ(Global(*open.buffer).data_size, 50u);
    EXPECT_EQ(open.memories[1][0], 0xEE);
}

// ---- Growing an auxiliary buffer ----

TEST_F(BufferTakeOverTest, OnlyAuxiliaryBuffersGrowAndTheirSizeFollows)
{
    SharedPtr<FakeBuffer> aux(new FakeBuffer(nullptr, 100, nullptr, true, nullptr));
    aux->CompleteConstruction();
    EXPECT_TRUE(aux->ResizeAuxMemory(50));
    EXPECT_EQ(aux->GetSize(), 100u);
    EXPECT_EQ(aux->aux_memory_changes.load(), 0);
    EXPECT_TRUE(aux->ResizeAuxMemory(4000));
    EXPECT_EQ(aux->GetContiguousSize(), 4000u);
    EXPECT_EQ(aux->GetSize(), 4000u);
    EXPECT_EQ(aux->aux_memory_changes.load(), 1);
    OpenBuffer open(100);
    EXPECT_FALSE(open.buffer->ResizeAuxMemory(200));
    EXPECT_EQ(open.buffer->GetSize(), 100u);
}

TEST_F(BufferTakeOverTest, GrownAuxFillIsTakenOverWhole)
{
    SharedPtr<FakeBuffer> aux(new FakeBuffer(nullptr, 100, nullptr, true, nullptr));
    aux->CompleteConstruction();
    ASSERT_TRUE(aux->ResizeAuxMemory(1000));
    auto* bytes = static_cast<uint8_t*>(aux->GetContiguousBase());
    std::iota(bytes, bytes + 1000, uint8_t{0});
    aux->SetScheduled(true);
    aux->SetFillResults(CompleteFill(1000));
    OpenBuffer open(1000);
    TakeOverAndDeliver(*open.buffer, *aux);
    EXPECT_EQ(Global(*open.buffer).data_size, 1000u);
    EXPECT_EQ(open.memory[999], static_cast<uint8_t>(999));
}

}  // namespace
}  // namespace AcquisitionTest
