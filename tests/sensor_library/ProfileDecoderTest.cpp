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

// Echoes 1 and 3, all four fields, and a trailing half column that is dropped.
TEST_F(ProfileDecoderTest, DecodesARawProfileFieldByField)
{
    const Bytes points = {0x40, 0x01, 0x05, 0xC7, 0x03, 0x02,  // column 0, echo 1
                          0x00, 0x02, 0x10, 0x41, 0x00, 0x00,  // column 0, echo 3
                          0x20, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,  // column 1, echo 1
                          0x00, 0x00, 0x01, 0x00, 0x01, 0x00,  // column 1, echo 3
                          0x11, 0x22, 0x33, 0x44, 0x55};
    ASSERT_TRUE(Decode(ContainerBuilder()
                           .AddBlock(Tag::RAW_PROFILE, RawProfilePayload(0x05, 0, {16, 8, 8, 16}, points, 0x80))
                           .Build()));
    const ScanvoProfileRecord& r = *record;
    EXPECT_TRUE(r.decoded);
    EXPECT_FALSE(r.linearized);
    EXPECT_TRUE(r.sign);
    EXPECT_EQ(2, r.echo_count);
    ASSERT_EQ(2u, r.column_count);
    struct Expected {
        uint32_t column, echo;
        int32_t raw_z;
        double z_px;
        uint32_t intensity, width, reserved;
    };
    for (const Expected& e : {Expected{0, 0, 320, 10.0, 23, 7, 19}, Expected{0, 2, 512, 16.0, 65, 1, 0},
                              Expected{1, 0, 32, 1.0, 1023, 63, 2295}, Expected{1, 2, 0, 0.0, 4, 0, 1}}) {
        const ScanvoEcho& echo = r.Echo(e.column, e.echo);
        SCOPED_TRACE(testing::Message() << "column " << e.column << " echo " << e.echo);
        EXPECT_TRUE(echo.valid);
        EXPECT_EQ(e.raw_z, echo.raw_z);
        EXPECT_EQ(e.z_px, echo.z_px);
        EXPECT_EQ(e.intensity, echo.intensity);
        EXPECT_EQ(e.width, echo.width);
        EXPECT_EQ(e.reserved, echo.reserved);
    }
}

// Words Z, intensity-and-width, X per column, scaled by the scale block; the
// intensity word splits differently where the firmware packs it.
TEST_F(ProfileDecoderTest, ScalesALinearizedProfileAndSplitsTheIntensityWord)
{
    struct Row {
        const char* name;
        bool packed;
        int32_t intensity0, width0, intensity1, width1;
    };
    for (const Row& row :
         {Row{"Plain", false, 775, 5, 1, 0}, Row{"Packed", true, 791, 1, 256, 0}}) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(Decode(
            ContainerBuilder()
                .AddBlock(
                    Tag::LINEAR_PROFILE,
                    LinearProfilePayload(2, 1, {2, 4, 1, 0}, {1000, 0xC1C5, 320, 2, 0x0040, 0}))
                .AddBlock(Tag::SCALE, ScalePayload(0.0625f, -64.0f, 0.015625f, 100.0f))
                .Build(),
            row.packed));
        double x[4] = {}, z[4] = {};
        int32_t intensity[4] = {}, width[4] = {};
        ASSERT_EQ(2, decoder.EmitPoints(*record, false, PointArrays{x, z, intensity, width, 4}));
        EXPECT_EQ((std::vector<double>{-44.0, 115.625, -64.0, 100.03125}),
                  (std::vector<double>{x[0], z[0], x[1], z[1]}));
        EXPECT_EQ((std::vector<int32_t>{row.intensity0, row.width0, row.intensity1, row.width1}),
                  (std::vector<int32_t>{intensity[0], width[0], intensity[1], width[1]}));
    }
}

TEST_F(ProfileDecoderTest, SortingMovesOnlyColumnsWithAPoint)
{
    // X 30, 5 (no Z), 10, 20; without a scale block the words are the values.
    ASSERT_TRUE(Decode(ContainerBuilder()
                           .AddBlock(Tag::LINEAR_PROFILE,
                                     LinearProfilePayload(4, 1, {2, 1, 0, 0}, {7, 30, 0, 5, 7, 10, 7, 20}))
                           .Build()));
    double x[4] = {};
    ASSERT_EQ(4, decoder.EmitPoints(*record, true, PointArrays{x, nullptr, nullptr, nullptr, 4}));
    EXPECT_EQ((std::vector<double>{10, 5, 20, 30}), std::vector<double>(x, x + 4));
    ASSERT_EQ(2, decoder.EmitPoints(*record, false, PointArrays{x, nullptr, nullptr, nullptr, 2}));
    EXPECT_EQ((std::vector<double>{30, 5}), std::vector<double>(x, x + 2));
}

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
    decoder.LinearizeProfile(data, *record);
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
