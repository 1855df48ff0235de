// Profiles decoded and linearized column by column give, bit for bit, what
// the plain evaluation of the tables and of the scale gives point by point.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <random>

#include "sensor_library/ProfileDecoder.h"
#include "support/SensorScans.h"
#include "support/SimulatedSensorModel.h"

namespace {

using namespace TestSupport;

// One table, evaluated the plain way: bisection, then the sum term by term.
struct Table {
    std::vector<double> columns, rows, cells;

    static uint32_t Interval(const std::vector<double>& knots, double v)
    {
        for (uint32_t lo = 0, hi = uint32_t(knots.size() - 1);;) {
            const uint32_t mid = (lo + hi) / 2;
            if (knots[mid] > v)
                hi = mid;
            else if (v > knots[mid + 1])
                lo = mid;
            else
                return mid;
        }
    }
    bool Evaluate(double x, double z, double& out) const
    {
        if (!(x >= columns.front() && x <= columns.back() && z >= rows.front() && z <= rows.back()))
            return false;
        const uint32_t i = Interval(columns, x), j = Interval(rows, z);
        const double* c = &cells[(i * rows.size() + j) * 16];
        const double dx = x - columns[i], dz = z - rows[j];
        out = 0;
        double power = 1;
        for (int p = 0; p < 4; ++p, power *= dx)
            out += power * (c[4 * p] + c[4 * p + 1] * dz + c[4 * p + 2] * dz * dz +
                            c[4 * p + 3] * dz * dz * dz);
        return true;
    }
};

// Knots a quarter pixel to 100 pixels apart, the middle one twice where
// `repeat`; coefficients from 1e-4 to 1e2; both tables as "LIN1DD".
Bytes RandomTables(std::mt19937& rng, bool repeat, Table (&tables)[2])
{
    Bytes payload;
    for (Table& t : tables) {
        t = Table{{20.25}, {3.5}, {}};
        for (auto* knots : {&t.columns, &t.rows}) {
            while (knots->size() <= 24)
                knots->push_back(knots->back() +
                                 (repeat && knots->size() == 12 ? 0 : (rng() % 400 + 1) / 4.0));
        }
        for (std::size_t k = 0; k < 25 * 25 * 16; ++k)
            t.cells.push_back(std::uniform_real_distribution<double>(-1, 1)(rng) *
                              std::pow(10.0, int(rng() % 7) - 4));
        for (const uint32_t n : {24, 24}) AppendU32(payload, n);
        for (const auto* values : {&t.columns, &t.rows, &t.cells})
            for (const double value : *values) AppendDouble(payload, value);
    }
    return Concat({Lin1ddMagic(), LinRecord(3, payload)});
}

bool Same(double a, double b)
{
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

TEST(LinearizationIdentityTest, RawAndLinearizedProfilesMatchThePlainEvaluation)
{
    std::mt19937 rng(7);
    // One data object and decoder throughout: new tables at the same address
    // (each set starts with the region the last one ended with), a new first
    // column and a new column step must each rebuild the decoder's columns.
    LinearizationData data;
    ProfileDecoder decoder;
    auto record = std::make_unique<ScanvoProfileRecord>();
    std::vector<double> x(4096), z(4096);
    // The points of a container, through the tables when given.
    const auto emit = [&](const Bytes& container, const LinearizationData* tables) {
        if (!decoder.DecodeProfileContainer(container.data(), uint32_t(container.size()), false,
                                            *record))
            return -1;
        if (tables != nullptr) decoder.LinearizeProfile(*tables, *record);
        return decoder.EmitPoints(*record, false,
                                  PointArrays{x.data(), z.data(), nullptr, nullptr, 4096});
    };
    for (int set = 0; set < 3; ++set) {
        Table tables[2];
        const Bytes lin = RandomTables(rng, set == 2, tables);
        ASSERT_EQ(LIN_OK, data.ReadFromMemory(lin.data(), lin.size()));
        // An already linearized profile: its words, scaled.
        std::vector<uint16_t> words(3 * 2048);
        for (uint16_t& word : words) word = uint16_t(rng());
        const float scale[4] = {0.0173f * (set + 1), -61.3f, 0.0031f * (set + 1), 97.1f};
        ASSERT_EQ(2048, emit(ContainerBuilder()
                                 .AddBlock(Tag::LINEAR_PROFILE,
                                           LinearProfilePayload(2048, 1, {2, 4, 1, 0}, words))
                                 .AddBlock(Tag::SCALE,
                                           ScalePayload(scale[0], scale[1], scale[2], scale[3]))
                                 .Build(),
                             nullptr));
        for (uint32_t c = 0; c < 2048; ++c)
            ASSERT_TRUE(Same(words[3 * c + 2] * double{scale[0]} + scale[1], x[c]) &&
                        Same(words[3 * c] * double{scale[2]} + scale[3], z[c]))
                << "column " << c;
        // Regions: x offset, x step, z offset, z step.
        const std::array<int, 4> regions[] = {{5, 2, 37, 0},   {5, 0, 0, 0},   {16, 0, 0, 0},
                                              {16, 1, 100, 1}, {300, 1, 0, 0}, {5, 2, 37, 0}};
        for (const auto [xo, xs, zo, zs] : regions) {
            for (const uint8_t mask : {0x1, 0x6}) {
                SCOPED_TRACE(testing::Message()
                             << "set " << set << " x " << xo << " mask " << int(mask));
                // Z in turn: on a row knot, past the last knot, no point, anywhere.
                std::vector<uint16_t> raw_z(2048 * std::popcount(mask));
                Bytes points;
                for (uint32_t n = 0; n < raw_z.size(); ++n) {
                    const std::vector<double>& rows = tables[n % 3 == 0].rows;
                    const double row = n % 4 == 0   ? rows[rng() % rows.size()]
                                       : n % 4 == 1 ? rows.back() + 7
                                                    : rng() % 5000 / 4.0;
                    const double raw = n % 4 == 2 ? 0 : (row - zo) / (zs + 1) * 32;
                    raw_z[n] = uint16_t(std::clamp(raw, 0.0, 65535.0));
                    points.insert(points.end(),
                                  {uint8_t(raw_z[n]), uint8_t(raw_z[n] >> 8), uint8_t(n), 0});
                }
                ASSERT_EQ(
                    int32_t(raw_z.size()),
                    emit(ContainerBuilder()
                             .AddBlock(Tag::X_ROI, RegionPayload(uint16_t(xo), 0, uint16_t(xs), 60))
                             .AddBlock(Tag::Z_ROI, RegionPayload(uint16_t(zo), 0, uint16_t(zs), 64))
                             .AddBlock(Tag::RAW_PROFILE,
                                       RawProfilePayload(mask, 7, {16, 8, 8, 0}, points))
                             .Build(),
                         &data));
                for (uint32_t n = 0; n < raw_z.size(); ++n) {
                    const double column = (xs + 1.0) * (n / std::popcount(mask)) + xo;
                    const double row = (zs + 1.0) * (raw_z[n] * 0.03125) + zo;
                    double want_x = 0, want_z = 0;
                    if (raw_z[n] != 0 && tables[0].Evaluate(column, row, want_x))
                        tables[1].Evaluate(column, row, want_z);
                    ASSERT_TRUE(Same(want_x, x[n]) && Same(want_z, z[n])) << "point " << n;
                }
            }
        }
    }
}

}  // namespace
