// Decoding profile containers: raw and linearized fields, sorting, the
// region geometry, the status fields, and hostile counts and lengths.
#include <gtest/gtest.h>

#include <memory>

#include "sensor_library/LinearizationData.h"
#include "sensor_library/ProfileDecoder.h"
#include "support/ContainerBuilder.h"
#include "support/SensorScans.h"
#include "support/SimulatedSensorModel.h"

namespace {

using namespace TestSupport;

class ProfileDecoderTest : public ::testing::Test {
protected:
    bool Decode(const Bytes& container, bool packed = false)
    {
        return decoder.DecodeProfileContainer(container.data(), static_cast<uint32_t>(container.size()),
                                              packed, *record);
    }
    ProfileDecoder decoder;
    std::unique_ptr<ScanvoProfileRecord> record = std::make_unique<ScanvoProfileRecord>();
};

TEST_F(ProfileDecoderTest, LinearizesThroughTheRegionGeometryAndTheTables)
{
    const Bytes lin = BuildLin1dd(LinModel());
    LinearizationData data;
    ASSERT_EQ(LIN_OK, data.ReadFromMemory(lin.data(), lin.size()));
    Bytes points(101 * 4, 0);
    points[100 * 4] = 0x00;
    points[100 * 4 + 1] = 0x40;  // raw Z 16384: row 512
    ASSERT_TRUE(Decode(ContainerBuilder()
                           .AddBlock(Tag::X_ROI, RegionPayload(16, 0, 1, 60))
                           .AddBlock(Tag::Z_ROI, RegionPayload(2048, 0, 2047, 64))  // both clamp to 0
                           .AddBlock(Tag::RAW_PROFILE, RawProfilePayload(1, 7, {16, 8, 8, 0}, points))
                           .Build()));
    ProfileDecoder::LinearizeProfile(data, *record);
    const LinModel model;
    EXPECT_EQ(model.X(2 * 100 + 16, 512), record->Echo(100, 0).x_mm);
    EXPECT_EQ(model.Z(512), record->Echo(100, 0).z_mm);
    EXPECT_EQ(0.0, record->Echo(99, 0).x_mm);  // raw Z 0 is no point
    EXPECT_EQ(0.0, record->Echo(99, 0).z_mm);
}

TEST_F(ProfileDecoderTest, StatusBlockGivesEncoderAndUserIo)
{
    Bytes general(44, 0);
    general[14 - 8] = 0x11;  // HTL counter
    general[22 - 8] = 0x22;  // TTL counter
    general[30 - 8] = 0x22;  // bits 1 and 5
    general[31 - 8] = 0x02;  // bit 1
    general[34 - 8] = 0x0A;
    Bytes status(152, 0);
    status[128] = 5;
    status[134] = 5;
    status[64] = 1;  // trigger function 4 without bit 2 of byte 63
    const Bytes payload = RawProfilePayload(1, 7, {16, 8, 8, 0}, Bytes(4, 1));
    ASSERT_TRUE(Decode(ContainerBuilder()
                           .AddBlock(Tag::GENERAL, general)
                           .AddBlock(Tag::FPGA_QRTB, status)
                           .AddBlock(Tag::RAW_PROFILE, payload)
                           .Build()));
    EXPECT_EQ(0x11u, record->encoder);
    EXPECT_EQ(0xA7u, record->user_io);
    EXPECT_EQ(4, record->encoder_trigger_function);
    status[134] = 4;
    ASSERT_TRUE(Decode(ContainerBuilder()
                           .AddBlock(Tag::GENERAL, general)
                           .AddBlock(Tag::FPGA_QRTA, status)
                           .AddBlock(Tag::RAW_PROFILE, payload)
                           .Build()));
    EXPECT_EQ(0x22u, record->encoder);
}

Bytes LinearContainer(int32_t columns, uint8_t echoes, std::size_t words)
{
    return ContainerBuilder()
        .AddBlock(Tag::LINEAR_PROFILE, LinearProfilePayload(columns, echoes, {2, 4, 1, 0},
                                                            std::vector<uint16_t>(words, 9)))
        .Build();
}

Bytes RawContainer(uint8_t mask, std::array<uint8_t, 4> bits, std::size_t bytes)
{
    return ContainerBuilder()
        .AddBlock(Tag::RAW_PROFILE, RawProfilePayload(mask, 0, bits, Bytes(bytes, 7)))
        .Build();
}

// Hostile counts and lengths: the decode stays inside the container (the
// address sanitizer build checks) and never reports more than is there.
TEST_F(ProfileDecoderTest, MalformedContainersDecodeNoMoreThanTheyHold)
{
    struct Row {
        const char* name;
        Bytes container;
        bool decodes;
        uint32_t columns;
    };
    Bytes past_the_end = RawContainer(1, {16, 8, 8, 16}, 60);
    past_the_end.resize(past_the_end.size() - 30);
    const Row rows[] = {
        {"HugeColumnCount", LinearContainer(0x7FFFFFFF, 1, 6), true, 2},
        {"NegativeColumnCount", LinearContainer(-5, 1, 6), true, 0},
        {"TooManyEchoes", LinearContainer(10, 200, 25), true, 2},
        {"MoreColumnsThanARecordHolds", LinearContainer(5000, 1, 3 * 3000), true, 2048},
        {"ByteWideZ", RawContainer(1, {8, 0, 0, 0}, 5), true, 5},
        {"FieldsWithoutBytes", RawContainer(0x0F, {0, 0, 0, 0}, 40), true, 0},
        {"RawBlockShorterThanItsHead",
         ContainerBuilder().AddBlock(Tag::RAW_PROFILE, Bytes(4, 1)).Build(), true, 0},
        {"BlockPastTheEnd", past_the_end, false, 0},
        {"UnknownTag", ContainerBuilder().AddBlock(0x12345678, Bytes(8, 0)).Build(), false, 0},
        {"ZeroLengthBlock", ContainerBuilder().AddRawBlock(Tag::GENERAL, 0, Bytes(8, 0)).Build(),
         false, 0},
        {"TotalBeyondTheLimit",
         ContainerBuilder().AddBlock(Tag::GENERAL, Bytes(8, 0)).OverrideTotalSize(9000000).Build(),
         false, 0},
        {"TotalShortOfTheBlocks",
         ContainerBuilder().AddBlock(Tag::GENERAL, Bytes(8, 0)).OverrideTotalSize(12).Build(),
         false, 0},
    };
    std::vector<double> x(8192);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        record = std::make_unique<ScanvoProfileRecord>();
        EXPECT_EQ(row.decodes, Decode(row.container));
        EXPECT_EQ(row.columns, record->column_count);
        EXPECT_LE(decoder.EmitPoints(*record, true,
                                     PointArrays{x.data(), nullptr, nullptr, nullptr, 8192}),
                  static_cast<int32_t>(4 * row.columns));
    }
}

}  // namespace
