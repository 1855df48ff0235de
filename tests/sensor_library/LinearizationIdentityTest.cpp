// Profiles decoded and linearized column by column give, bit for bit, what
// the plain evaluation of the tables and of the scale gives point by point,
// on every vector target the machine runs.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
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

    static uint32_t Interval(const std::vector<double>& k, double v, uint32_t lo, uint32_t hi)
    {
        const uint32_t mid = (lo + hi) / 2;
        return k[mid] > v       ? Interval(k, v, lo, mid)
               : v > k[mid + 1] ? Interval(k, v, mid, hi)
                                : mid;
    }
    bool Evaluate(double x, double z, double& out) const
    {
        if (!(x >= columns.front() && x <= columns.back() && z >= rows.front() && z <= rows.back()))
            return false;
        const uint32_t i = Interval(columns, x, 0, uint32_t(columns.size() - 1));
        const uint32_t j = Interval(rows, z, 0, uint32_t(rows.size() - 1));
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
// `repeat`, the Z table's those of the X table where `shared`; coefficients
// from 2^-13 to 2^11; both tables as "LIN1DD".
Bytes RandomTables(std::mt19937& rng, bool repeat, bool shared, Table (&tables)[2])
{
    Bytes payload;
    for (Table& t : tables) {
        t = shared && &t == &tables[1] ? Table{tables[0].columns, tables[0].rows, {}}
                                       : Table{{20.25}, {3.5}, {}};
        for (auto* knots : {&t.columns, &t.rows})
            while (knots->size() <= 24)
                knots->push_back(knots->back() +
                                 (repeat && knots->size() == 12 ? 0 : (rng() % 400 + 1) / 4.0));
        for (std::size_t k = 0; k < 25 * 25 * 16; ++k)
            t.cells.push_back(std::ldexp(double(rng()) / rng.max() - 0.5, int(rng() % 24) - 12));
        for (const uint32_t n : {24, 24}) AppendU32(payload, n);
        for (const auto* values : {&t.columns, &t.rows, &t.cells})
            for (const double value : *values) AppendDouble(payload, value);
    }
    return Concat({Lin1ddMagic(), LinRecord(3, payload)});
}

void CheckProfiles()
{
    std::mt19937 rng(7);
    // One data object and decoder throughout: new tables at the same address
    // (each set starts with the region the last one ended with), a new first
    // column and a new column step must each rebuild the decoder's columns.
    LinearizationData data;
    ProfileDecoder decoder;
    auto record = std::make_unique<ScanvoProfileRecord>();
    std::vector<double> x(4096), z(4096);
    std::vector<int32_t> intensity(4096), width(4096);
    const auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof(a)) == 0; };
    // The points of a container (none when it does not decode), a raw
    // profile's through the tables, decoded and linearized straight into
    // `to` where they can.
    const auto emit = [&](const Bytes& c, bool sort = false,
                          PointArrays to = PointArrays{nullptr, nullptr, nullptr, nullptr, 4096}) {
        if (to.x == nullptr) to = PointArrays{x.data(), z.data(), intensity.data(), width.data(), 4096};
        decoder.DecodeProfileContainer(c.data(), uint32_t(c.size()), false, *record, to);
        return decoder.LinearizeAndEmit(&data, *record, sort, to);
    };
    // Sorted by X: the same points as through the record alone.
    const auto ExpectSortedAsThroughTheRecord = [&](const Bytes& container) {
        std::vector<double> sorted_x(4096), sorted_z(4096);
        std::vector<int32_t> sorted_intensity(4096);
        const int32_t count = emit(container, true,
                                   PointArrays{sorted_x.data(), sorted_z.data(),
                                               sorted_intensity.data(), nullptr, 4096});
        decoder.DecodeProfileContainer(container.data(), uint32_t(container.size()), false, *record);
        decoder.LinearizeProfile(data, *record);
        ASSERT_EQ(count, decoder.EmitPoints(*record, true,
                                            PointArrays{x.data(), z.data(), intensity.data(), nullptr, 4096}));
        ASSERT_TRUE(std::memcmp(x.data(), sorted_x.data(), count * sizeof(double)) == 0 &&
                    std::memcmp(z.data(), sorted_z.data(), count * sizeof(double)) == 0 &&
                    std::equal(intensity.begin(), intensity.begin() + count, sorted_intensity.begin()));
    };
    for (int set = 0; set < 3; ++set) {
        Table tables[2];
        const Bytes lin = RandomTables(rng, set == 2, set == 0, tables);
        ASSERT_EQ(LIN_OK, data.ReadFromMemory(lin.data(), lin.size()));
        // An already linearized profile: its words, scaled; a column short
        // of a whole vector in the second set.
        const int32_t linear_columns = 2048 - set % 2;
        std::vector<uint16_t> words(3 * linear_columns);
        for (uint16_t& word : words) word = uint16_t(rng());
        const float s[4] = {0.0173f * (set + 1), -61.3f, 0.0031f * (set + 1), 97.1f};
        ContainerBuilder linear;
        linear.AddBlock(Tag::LINEAR_PROFILE,
                        LinearProfilePayload(linear_columns, 1, {2, 4, 1, 0}, words));
        linear.AddBlock(Tag::SCALE, ScalePayload(s[0], s[1], s[2], s[3]));
        ASSERT_EQ(linear_columns, emit(linear.Build()));
        for (int32_t c = 0; c < linear_columns; ++c)
            ASSERT_TRUE(same(words[3 * c + 2] * double{s[0]} + s[1], x[c]) &&
                        same(words[3 * c] * double{s[2]} + s[3], z[c]) &&
                        intensity[c] == words[3 * c + 1] >> 6 &&
                        width[c] == (words[3 * c + 1] & 63))
                << "column " << c;
        ExpectSortedAsThroughTheRecord(linear.Build());
        // Regions: x offset, x step, z offset, z step.
        const std::array<uint16_t, 4> regions[] = {{5, 2, 37, 0},   {5, 0, 0, 0},   {16, 0, 0, 0},
                                                   {16, 1, 100, 1}, {300, 1, 0, 0}, {5, 2, 37, 0}};
        const uint8_t mask = set == 1 ? 0x6 : 0x1;  // two echoes, or one
        // Fewer columns each time: the last vector of a profile is short.
        uint32_t columns = 2048;
        for (const auto [xo, xs, zo, zs] : regions) {
            SCOPED_TRACE(testing::Message() << "set " << set << ", x offset " << xo);
            // Z in turn: on a row knot, past the last knot, no point, anywhere.
            std::vector<uint16_t> raw_z(columns-- * std::popcount(mask));
            Bytes points;
            for (uint32_t n = 0; n < raw_z.size(); ++n) {
                const std::vector<double>& rows = tables[n % 3 == 0].rows;
                const double row = n % 4 == 0   ? rows[rng() % rows.size()]
                                   : n % 4 == 1 ? rows.back() + 7
                                                : rng() % 5000 / 4.0;
                const double raw = n % 4 == 2 ? 0 : (row - zo) / (zs + 1) * 32;
                raw_z[n] = uint16_t(std::clamp(raw, 0.0, 65535.0));
                points.insert(points.end(), {uint8_t(raw_z[n]), uint8_t(raw_z[n] >> 8), uint8_t(n),
                                             uint8_t(n * 37)});
            }
            ContainerBuilder profile;
            profile.AddBlock(Tag::X_ROI, RegionPayload(xo, 0, xs, 60));
            profile.AddBlock(Tag::Z_ROI, RegionPayload(zo, 0, zs, 64));
            profile.AddBlock(Tag::RAW_PROFILE, RawProfilePayload(mask, 7, {16, 8, 8, 0}, points));
            const Bytes container = profile.Build();
            ASSERT_EQ(int32_t(raw_z.size()), emit(container));
            for (uint32_t n = 0; n < raw_z.size(); ++n) {
                const double column = (xs + 1.0) * (n / std::popcount(mask)) + xo;
                const double row = (zs + 1.0) * (raw_z[n] * 0.03125) + zo;
                double want_x = 0, want_z = 0;
                if (raw_z[n] != 0 && tables[0].Evaluate(column, row, want_x))
                    tables[1].Evaluate(column, row, want_z);
                ASSERT_TRUE(same(want_x, x[n]) && same(want_z, z[n])) << "point " << n;
                ASSERT_EQ(uint8_t(n) * 4 + (uint8_t(n * 37) >> 6), intensity[n]) << "point " << n;
                ASSERT_EQ(uint8_t(n * 37) & 63, width[n]) << "point " << n;
            }
            ExpectSortedAsThroughTheRecord(container);
        }
    }
}

TEST(LinearizationIdentityTest, RawAndLinearizedProfilesMatchThePlainEvaluation)
{
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        SCOPED_TRACE(hwy::TargetName(target));
        hwy::SetSupportedTargetsForTest(target);
        CheckProfiles();
        hwy::SetSupportedTargetsForTest(0);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
