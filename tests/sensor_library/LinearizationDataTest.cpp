// LIN1DD linearization data: reading it, pixel to millimetre through its
// tables, and millimetre rectangles back to pixel regions.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "sensor_library/LinearizationData.h"
#include "support/ContainerBuilder.h"
#include "support/SimulatedSensorModel.h"

using namespace TestSupport;

namespace {

Bytes WithRecords(std::initializer_list<Bytes> records)
{
    Bytes out = Lin1ddMagic();
    for (const Bytes& record : records)
        out.insert(out.end(), record.begin(), record.end());
    return out;
}

// A table record: its two counts, then `size` bytes in all.
Bytes Table(uint32_t nx, uint32_t nz, std::size_t size = 8)
{
    Bytes out;
    AppendU32(out, nx);
    AppendU32(out, nz);
    out.resize(size, 0);
    return WithRecords({LinRecord(3, out)});
}

Bytes Cut(Bytes bytes, std::size_t count)
{
    bytes.resize(bytes.size() - count);
    return bytes;
}

TEST(LinReaderTest, GivesTheResultCodeOfEachText)
{
    const Bytes x_table = LinTable(LinModel(), 'x');
    const std::tuple<const char*, Bytes, int> cases[] = {
        {"ExactlyEightBytesOfAnything", Bytes(8, 0xEE), 0},
        {"WrongMagic", Bytes{'L', 'I', 'N', '2', 'D', 'D', 0, 0, 1}, -4},
        {"MagicComparedUpToItsZeroByte",
         Bytes{'L', 'I', 'N', '1', 'D', 'D', 0, 'x', 9, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"SerialOfFourBytes", WithRecords({LinRecord(1, Bytes(4, 1))}), 1},
        {"GeometryOfFortyBytes", WithRecords({LinRecord(2, Bytes(40, 0))}), 2},
        {"RecordRunningPastTheEnd", Cut(WithRecords({LinRecord(9, Bytes(16, 0))}), 1), -6},
        {"HeaderRunningPastTheEnd",
         Concat({WithRecords({LinRecord(9, Bytes(4, 0))}), Bytes{1, 0, 0, 0}}), -5},
        {"UnknownTypeIsSkipped",
         WithRecords({LinRecord(9, Bytes(12, 7)), LinRecord(1, Bytes(8, 1))}), 0},
        {"CheckModeRecord", WithRecords({LinRecord(7, Bytes(4, 0))}), 0},
        {"TableWithNoColumnInterval", Table(0, 4), 3},
        {"TableWithNoRowInterval", Table(4, 0), 3},
        {"TableWithCountsThatWrapToZero", Table(0xFFFFFFFF, 1, 4096), 3},
        {"TableWithCountsWhoseSizeOverflows", Table(0x10000000, 0x10000000, 4096), 3},
        {"TableLargerThanItsRecord", WithRecords({LinRecord(3, Cut(x_table, 8))}), 3},
        {"ZTableMissing", WithRecords({LinRecord(3, x_table)}), 3},
        {"TheSimulatedSensorsData", BuildLin1dd(LinModel()), 0}};
    for (const auto& [name, bytes, expected] : cases) {
        LinearizationData data;
        EXPECT_EQ(expected, data.ReadFromMemory(bytes.data(), bytes.size())) << name;
    }
}

TEST(LinRecordLayoutTest, HasTheOffsetsCallersCopyOut)
{
    EXPECT_EQ(8u, offsetof(LinearizationRecord, x_table));
    EXPECT_EQ(24u, offsetof(LinearizationRecord, x_table) + offsetof(LinearizationTable, column_knots));
    EXPECT_EQ(56u, offsetof(LinearizationRecord, z_table));
    EXPECT_EQ(104u, offsetof(LinearizationRecord, geometry_loaded));
    EXPECT_EQ(108u, offsetof(LinearizationRecord, z_start));
    EXPECT_EQ(128u, offsetof(LinearizationRecord, width_x));
    EXPECT_EQ(132u, offsetof(LinearizationRecord, width_z));
}

// Pixel to millimetre, against the model the tables encode: a point on the
// last knots is inside, one past them outside (its outputs untouched);
// without tables no pixel is linearized and no rectangle converted.
TEST(LinearizeTest, APointOnTheLastKnotsIsInsideAndOnePastThemOutside)
{
    LinearizationData data;
    double x = 7, z = 8;
    EXPECT_EQ(-1, data.Linearize(1, 1, x, z));
    EXPECT_EQ(std::make_pair(0.0, 0.0), std::make_pair(x, z));
    PixelRegion region;
    EXPECT_EQ(-1, data.ConvertMmToPix(-20, 150, 20, 250, region));
    const Bytes bytes = BuildLin1dd(LinModel());
    ASSERT_EQ(0, data.ReadFromMemory(bytes.data(), bytes.size()));
    ASSERT_EQ(0, data.Linearize(1280, 1024, x, z));
    EXPECT_EQ(std::make_pair(60.0, 300.0), std::make_pair(x, z));
    x = 7, z = 8;
    EXPECT_EQ(1, data.Linearize(1280.5, 10, x, z));
    EXPECT_EQ(std::make_pair(7.0, 8.0), std::make_pair(x, z));
    EXPECT_EQ(1, data.Linearize(10, -0.5, x, z));
    EXPECT_EQ(1, data.Linearize(std::nan(""), 10, x, z));
}

}  // namespace
