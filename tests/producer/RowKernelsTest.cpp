// A profile's row written through the vector kernels has, byte for byte,
// what the plain per-point conversion writes, on every vector target the
// machine runs, and nothing beyond the row.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "gentl_producers/GenTesk3d/RowKernels.h"

namespace {

using namespace GenTLCore::ZoTL;
using Coordinate = FeatureCache::Coordinate;

constexpr double NAN64 = std::numeric_limits<double>::quiet_NaN();
constexpr double INF64 = std::numeric_limits<double>::infinity();
constexpr uint8_t GUARD = 0xA5;

uint16_t PlainLow16(float value)
{
    const float clamped = value == value ? std::clamp(value, -2147483648.0f, 2147483520.0f) : 0.0f;
    return static_cast<uint16_t>(static_cast<int32_t>(clamped));
}

struct Profile {
    std::vector<double> x, z;
    std::vector<int> intensity;
    RowKernels::ProfileColumns Columns() const
    {
        return {x.data(), z.data(), intensity.data(), x.size()};
    }
};

// Values where conversions round, clamp, overflow or lose their sign,
// mixed with ordinary ones.
Profile MakeProfile(size_t width, std::mt19937& random)
{
    static const double AWKWARD[] = {0.0,         -0.0,  1e-300,       -1e-45, 0.5,    -2.5,
                                     99.99999999, 100.0, 100.00000001, -100.0, 3.5e38, 1e12,
                                     -1e12,       NAN64, INF64,        -INF64, 655.35, 21474836.48};
    std::uniform_real_distribution<double> ordinary(-150.0, 150.0);
    std::uniform_int_distribution<size_t> pick(0, std::size(AWKWARD) * 2);
    const auto value = [&] {
        const size_t i = pick(random);
        return i < std::size(AWKWARD) ? AWKWARD[i] : ordinary(random);
    };
    Profile p;
    for (size_t i = 0; i < width; ++i) {
        p.x.push_back(value());
        p.z.push_back(i % 7 == 0 ? p.x.back() * 0 : value());  // some empty points
        p.intensity.push_back(static_cast<int>(random()));
    }
    return p;
}

template <typename T>
void ExpectSameRow(const std::vector<T>& want, size_t count, const std::function<void(T*)>& store)
{
    std::vector<T> got(count + 8);
    std::memset(got.data(), GUARD, got.size() * sizeof(T));
    store(got.data());
    for (size_t i = 0; i < count; ++i)
        ASSERT_EQ(0, std::memcmp(&want[i], &got[i], sizeof(T)))
            << "value " << i << ": " << want[i] << " " << got[i];
    const auto* tail = reinterpret_cast<const uint8_t*>(got.data() + count);
    EXPECT_TRUE(std::all_of(tail, tail + 8 * sizeof(T), [](uint8_t b) { return b == GUARD; }));
}

void CheckRows(const Coordinate (&table)[3], float y)
{
    const Coordinate& a = table[FeatureCache::COORD_A];
    const Coordinate& c = table[FeatureCache::COORD_C];
    std::mt19937 random(7);
    for (const size_t width : {0, 1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 33, 100, 2048}) {
        SCOPED_TRACE(width);
        const Profile p = MakeProfile(width, random);
        std::vector<uint16_t> intensity, points16;
        std::vector<float> points32;
        for (size_t i = 0; i < width; ++i) {
            const double x = p.x[i], z = p.z[i];
            const bool empty = x == 0 && z == 0;
            const bool keep =
                !empty && x >= a.axis_min && x <= a.axis_max && z >= c.axis_min && z <= c.axis_max;
            intensity.push_back(static_cast<uint16_t>(p.intensity[i]));
            points32.insert(points32.end(),
                            {static_cast<float>(x), empty ? 0.0f : y, static_cast<float>(z)});
            points16.insert(
                points16.end(),
                {keep ? PlainLow16((static_cast<float>(x) - a.offset) / a.scale) : uint16_t{0},
                 keep ? PlainLow16(y) : uint16_t{0},
                 keep ? PlainLow16((static_cast<float>(z) - c.offset) / c.scale) : uint16_t{0}});
        }
        ExpectSameRow<uint16_t>(
            intensity, width, [&](uint16_t* row) { RowKernels::StoreIntensity(p.Columns(), row); });
        ExpectSameRow<float>(points32, 3 * width,
                             [&](float* row) { RowKernels::StorePoints32(p.Columns(), y, row); });
        ExpectSameRow<uint16_t>(points16, 3 * width, [&](uint16_t* row) {
            RowKernels::StorePoints16(p.Columns(), table, PlainLow16(y), row);
        });
    }
}

TEST(RowKernelsTest, RowsMatchThePlainConversionOnEveryTarget)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* name;
        Coordinate table[3];
        float y;
    } rows[] = {
        {"millimetres in hundredths",
         {{.scale = 0.01f, .offset = -100, .axis_min = -100, .axis_max = 100},
          {},
          {.scale = 0.005f, .offset = 50, .axis_min = -150, .axis_max = 150}},
         12.5f},
        {"negative scale, open axes",
         {{.scale = -0.5f, .offset = 3, .axis_min = -1e30f, .axis_max = 1e30f},
          {},
          {.scale = 1e-6f, .axis_min = -1e30f, .axis_max = 1e30f}},
         -0.0f},
        {"zero scale",
         {{.axis_min = -1000, .axis_max = 1000},
          {},
          {.offset = 1, .axis_min = -1000, .axis_max = 1000}},
         1e12f},
        {"NaN scale and y",
         {{.scale = nan, .axis_min = -200, .axis_max = 200},
          {},
          {.scale = 2, .offset = nan, .axis_min = 0, .axis_max = 200}},
         nan},
    };
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        SCOPED_TRACE(hwy::TargetName(target));
        hwy::SetSupportedTargetsForTest(target);
        for (const auto& row : rows) {
            SCOPED_TRACE(row.name);
            CheckRows(row.table, row.y);
        }
        hwy::SetSupportedTargetsForTest(0);
        if (HasFailure()) return;
    }
}

}  // namespace
