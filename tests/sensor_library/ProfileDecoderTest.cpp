// Decoding profile containers: raw and linearized fields, sorting, the
// region geometry, the status fields, and hostile counts and lengths.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <limits>

#include "sensor_library/ProfileDecoder.h"
#include "support/ContainerBuilder.h"
#include "support/SensorScans.h"

namespace {

using namespace TestSupport;

Bytes LinearContainer(int32_t columns, uint8_t echoes, std::vector<uint16_t> words,
                      std::array<uint8_t, 4> bits = {2, 4, 1, 0})
{
    return ContainerBuilder()
        .AddBlock(Tag::LINEAR_PROFILE, LinearProfilePayload(columns, echoes, bits, words))
        .Build();
}

Bytes RawContainer(uint8_t mask, std::array<uint8_t, 4> bits, const Bytes& points)
{
    return ContainerBuilder().AddBlock(Tag::RAW_PROFILE, RawProfilePayload(mask, 0, bits, points)).Build();
}

class ProfileDecoderTest : public ::testing::Test {
protected:
    bool Decode(const Bytes& container, bool packed = false)
    {
        return decoder.DecodeProfileContainer(container.data(), uint32_t(container.size()), packed, *record);
    }
    // X, Z, intensity and width of the first `count` points, in that order per point.
    std::vector<double> Points(bool sort, int32_t count)
    {
        std::vector<double> x(count), z(count), out;
        std::vector<int32_t> intensity(count), width(count);
        EXPECT_EQ(count, decoder.EmitPoints(*record, sort,
                                            PointArrays{x.data(), z.data(), intensity.data(), width.data(), count}));
        for (int32_t n = 0; n < count; ++n) out.insert(out.end(), {x[n], z[n], double(intensity[n]), double(width[n])});
        return out;
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
    EXPECT_EQ(std::make_tuple(true, false, true, 2, 2u),
              std::make_tuple(r.decoded, r.linearized, r.sign, int(r.echo_count), r.column_count));
    // column, echo: valid, raw Z, Z in pixels, intensity, width, reserved
    const std::tuple<uint32_t, uint32_t, int32_t, double, uint32_t, uint32_t, uint32_t> rows[] = {
        {0, 0, 320, 10.0, 23, 7, 19},
        {0, 2, 512, 16.0, 65, 1, 0},
        {1, 0, 32, 1.0, 1023, 63, 2295},
        {1, 2, 0, 0.0, 4, 0, 1}};
    for (const auto& [column, echo, raw_z, z_px, intensity, width, reserved] : rows) {
        const ScanvoEcho& e = r.Echo(column, echo);
        EXPECT_TRUE(e.valid);
        EXPECT_EQ(std::make_tuple(raw_z, z_px, intensity, width, reserved),
                  std::make_tuple(e.raw_z, e.z_px, uint32_t(e.intensity), uint32_t(e.width), uint32_t(e.reserved)))
            << "column " << column << " echo " << echo;
    }
}

// Words Z, intensity-and-width, X per column, scaled by the scale block; the
// intensity word splits differently where the firmware packs it. Sorting by
// X moves only columns with a point. The scale block stays for later scans.
TEST_F(ProfileDecoderTest, ScalesSplitsTheIntensityWordAndSorts)
{
    // X 30, 5 (no Z), 10, 20; without a scale block the words are the values.
    ASSERT_TRUE(Decode(LinearContainer(4, 1, {7, 30, 0, 5, 7, 10, 7, 20}, {2, 1, 0, 0})));
    EXPECT_EQ((std::vector<double>{10, 7, 0, 0, 5, 0, 0, 0, 20, 7, 0, 0, 30, 7, 0, 0}), Points(true, 4));
    EXPECT_EQ((std::vector<double>{30, 7, 0, 0, 5, 0, 0, 0}), Points(false, 2));
    for (const bool packed : {false, true}) {
        ASSERT_TRUE(Decode(ContainerBuilder()
                               .AddBlock(Tag::LINEAR_PROFILE,
                                         LinearProfilePayload(2, 1, {2, 4, 1, 0}, {1000, 0xC1C5, 320, 2, 0x0040, 0}))
                               .AddBlock(Tag::SCALE, ScalePayload(0.0625f, -64.0f, 0.015625f, 100.0f))
                               .Build(),
                           packed));
        EXPECT_EQ(packed ? (std::vector<double>{-44.0, 115.625, 791, 1, -64.0, 100.03125, 256, 0})
                         : (std::vector<double>{-44.0, 115.625, 775, 5, -64.0, 100.03125, 1, 0}),
                  Points(false, 2));
    }
}

// Whatever the vector order check decides, columns with a point come out as
// a stable sort by X puts them (NaN last), on every vector target.
TEST_F(ProfileDecoderTest, SortsAsAStableSortDoesOnEveryTarget)
{
    constexpr int32_t COLUMNS = 40;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // X rises by a third of a column, so in ties of three; gaps: every
    // seventh column from the sixth holds no point, and an X of -5.
    const std::tuple<const char*, bool, int, double> rows[] = {
        {"TiesInOrder", false, 0, 0.0},        {"GapsOfLowXInOrder", true, 0, 0.0},
        {"FallInsideAVector", false, 21, 0.0}, {"FallAtAVectorsFirstColumn", false, 17, 5.0},
        {"FallAcrossAGap", true, 13, 3.5},     {"NaNLast", false, COLUMNS - 1, nan},
        {"NaNInTheMiddle", true, 20, nan},     {"TieAcrossAGap", true, 13, 11 / 3.0}};
    const Bytes container = RawContainer(1, {16, 0, 0, 0}, Bytes(2 * COLUMNS, 9));
    // Every target again for the tests after, however this one ends.
    struct AllTargetsAfter {
        ~AllTargetsAfter() { hwy::SetSupportedTargetsForTest(0); }
    } all_targets_after;
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        for (const auto& [name, gaps, column, value] : rows) {
            SCOPED_TRACE(testing::Message() << hwy::TargetName(target) << ", " << name);
            ASSERT_TRUE(Decode(container));
            std::vector<std::pair<double, int32_t>> want;
            for (int32_t c = 0; c < COLUMNS; ++c) {
                const bool point = !gaps || c % 7 != 5;
                const double x = c == column ? value : point ? (c / 3) + (c % 3) / 3.0 : -5.0;
                record->SetEchoForTest(
                    c, 0, ScanvoEcho{true, 9, 0, uint32_t(c), 0, 0, x, point ? 1.0 : 0.0});
                if (point) want.emplace_back(std::isnan(x) ? INFINITY : x, c);
            }
            std::stable_sort(want.begin(), want.end(),
                             [](auto& a, auto& b) { return a.first < b.first; });
            std::vector<int32_t> order(COLUMNS), intensity(COLUMNS);
            for (int32_t c = 0, k = 0; c < COLUMNS; ++c)
                order[c] = !gaps || c % 7 != 5 ? want[k++].second : c;
            ASSERT_EQ(COLUMNS, decoder.EmitPoints(*record, true,
                                                  PointArrays{nullptr, nullptr, intensity.data(),
                                                              nullptr, COLUMNS}));
            EXPECT_EQ(order, intensity);
        }
    }
}

// Decoding leaves a raw profile's millimetres to the linearization: until
// then they read as 0, never as what an earlier profile left.
TEST_F(ProfileDecoderTest, RawProfileReadsNoMillimetresBeforeItsLinearization)
{
    const Bytes container = RawContainer(1, {16, 8, 8, 0}, Bytes(4, 1));
    ASSERT_TRUE(Decode(container));
    record->SetEchoForTest(0, 0, ScanvoEcho{true, 9, 0, 0, 0, 0, 5.0, 6.0});
    ASSERT_TRUE(Decode(container));
    EXPECT_EQ(std::make_pair(0.0, 0.0),
              std::make_pair(record->Echo(0, 0).x_mm, record->Echo(0, 0).z_mm));
    EXPECT_EQ((std::vector<double>{0, 0, 4, 1}), Points(true, 1));
}

TEST_F(ProfileDecoderTest, StatusBlockGivesEncoderAndUserIo)
{
    // General bytes 14 and 22: the HTL and TTL counters; 30 (bits 1 and 5),
    // 31 (bit 1) and 34: the user I/O. Status byte 64 with no bit 2 in byte
    // 63: trigger function 4; 128 and 134: the first two pins' functions.
    Bytes general(44, 0), status(152, 0);
    for (const auto& [at, value] : {std::pair{14, 0x11}, {22, 0x22}, {30, 0x22}, {31, 0x02}, {34, 0x0A}})
        general[at - 8] = uint8_t(value);
    for (const auto& [at, value] : {std::pair{128, 5}, {134, 5}, {64, 1}}) status[at] = uint8_t(value);
    for (const uint32_t tag : {Tag::FPGA_QRTB, Tag::FPGA_QRTA}) {
        ASSERT_TRUE(Decode(ContainerBuilder()
                               .AddBlock(Tag::GENERAL, general)
                               .AddBlock(tag, status)
                               .AddBlock(Tag::RAW_PROFILE, RawProfilePayload(1, 7, {16, 8, 8, 0}, Bytes(4, 1)))
                               .Build()));
        if (tag == Tag::FPGA_QRTB) {
            EXPECT_EQ(std::make_tuple(0x11u, 0xA7u, 4), std::make_tuple(record->encoder, uint32_t(record->user_io),
                                                                        int(record->encoder_trigger_function)));
        }
        status[134] = 4;
    }
    EXPECT_EQ(0x22u, record->encoder);
}

// Hostile counts and lengths: the decode stays inside the container (the
// address sanitizer build checks) and never reports more than is there.
TEST_F(ProfileDecoderTest, MalformedContainersDecodeNoMoreThanTheyHold)
{
    Bytes past_the_end = RawContainer(1, {16, 8, 8, 16}, Bytes(60, 7));
    past_the_end.resize(past_the_end.size() - 30);
    const auto linear = [](int32_t columns, uint8_t echoes, std::size_t words) {
        return LinearContainer(columns, echoes, std::vector<uint16_t>(words, 9));
    };
    const std::tuple<const char*, Bytes, bool, uint32_t> rows[] = {
        {"HugeColumnCount", linear(0x7FFFFFFF, 1, 6), true, 2},
        {"NegativeColumnCount", linear(-5, 1, 6), true, 0},
        {"TooManyEchoes", linear(10, 200, 25), true, 2},
        {"MoreColumnsThanARecordHolds", linear(5000, 1, 3 * 3000), true, 2048},
        {"ByteWideZ", RawContainer(1, {8, 0, 0, 0}, Bytes(5, 7)), true, 5},
        {"FieldsWithoutBytes", RawContainer(0x0F, {0, 0, 0, 0}, Bytes(40, 7)), true, 0},
        {"RawBlockShorterThanItsHead", ContainerBuilder().AddBlock(Tag::RAW_PROFILE, Bytes(4, 1)).Build(), true, 0},
        {"BlockPastTheEnd", past_the_end, false, 0},
        {"UnknownTag", ContainerBuilder().AddBlock(0x12345678, Bytes(8, 0)).Build(), false, 0},
        {"ZeroLengthBlock", ContainerBuilder().AddRawBlock(Tag::GENERAL, 0, Bytes(8, 0)).Build(), false, 0},
        {"TotalBeyondTheLimit", ContainerBuilder().AddBlock(Tag::GENERAL, Bytes(8, 0)).OverrideTotalSize(9000000).Build(), false, 0},
        {"TotalShortOfTheBlocks", ContainerBuilder().AddBlock(Tag::GENERAL, Bytes(8, 0)).OverrideTotalSize(12).Build(), false, 0},
    };
    std::vector<double> x(8192);
    for (const auto& [name, container, decodes, columns] : rows) {
        SCOPED_TRACE(name);
        record = std::make_unique<ScanvoProfileRecord>();
        EXPECT_EQ(decodes, Decode(container));
        EXPECT_EQ(columns, record->column_count);
        EXPECT_LE(decoder.EmitPoints(*record, true, PointArrays{x.data(), nullptr, nullptr, nullptr, 8192}),
                  static_cast<int32_t>(4 * columns));
    }
}

}  // namespace
