// FeatureCache: buffer sizes for every scene, and the guarded arithmetic.
#include <gtest/gtest.h>

#include "gentl_producers/GenTesk3d/FeatureCache.h"

namespace GenTLCore::ZoTL {
namespace {

// 1000 points by 200 profiles, or a camera image of 640 x 480 bytes; the
// range reserves 12 bytes a point whatever its format, and a GenDC
// descriptor is 56 + 8 per component + 112 per image, 120 for the chunks.
TEST(FeatureCacheTest, SizesEveryScene)
{
    struct Row {
        const char* name;
        uint32_t scan, intensity, range;
        bool chunks, gendc;
        uint64_t payload, descriptor;
    };
    const Row rows[] = {
        {"worked example, chunks", 1, 1, 1, true, false, 2'800'204, 0},
        {"worked example, GenDC", 1, 1, 1, true, true, 2'800'628, 424},
        {"no chunks", 1, 1, 1, false, false, 2'800'000, 0},
        {"no chunks, GenDC", 1, 1, 1, false, true, 2'800'296, 296},
        {"range only, chunks", 1, 0, 1, true, false, 2'400'204, 0},
        {"range only, chunks, GenDC", 1, 0, 1, true, true, 2'400'508, 304},
        {"range only", 1, 0, 1, false, false, 2'400'000, 0},
        {"range only, GenDC", 1, 0, 1, false, true, 2'400'176, 176},
        {"intensity only, chunks, GenDC", 1, 1, 0, true, true, 400'508, 304},
        {"camera, chunks, GenDC", 0, 1, 0, true, true, 307'708, 304},
        {"camera", 0, 1, 0, false, false, 307'200, 0},
    };
    for (const uint32_t format : {PFNC_COORD3D_ABC32F, PFNC_COORD3D_ABC16, PFNC_MONO16}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + " format " + std::to_string(format));
            FeatureCache cache;
            cache.region[0].width = 640;
            cache.region[0].height = 480;
            cache.region[1] = {
                row.scan, 1000, 200, 0, 0, 0, {{row.intensity, PFNC_MONO10}, {row.range, format}}};
            cache.chunks_active = row.chunks;
            cache.gendc_mode = row.gendc;
            EXPECT_EQ(cache.GetPayloadSize(), row.payload);
            EXPECT_EQ(cache.GetPrefetchDescriptor().size(), row.descriptor);
            const std::vector<uint64_t> flows{row.descriptor, row.payload - row.descriptor};
            EXPECT_EQ(cache.GetFlowSizes(), row.gendc ? flows : std::vector<uint64_t>{});
            EXPECT_EQ(cache.GetFlowMappingTable().size(), row.gendc ? 32u : 0u);
        }
    }
}

// A fresh cache has GenDC and chunks on, so even an empty scene has sizes.
TEST(FeatureCacheTest, StartsWithGenDCAndChunks)
{
    const FeatureCache cache;
    EXPECT_EQ(cache.GetPayloadSize(), 204u + 424u);
}

TEST(FeatureCacheTest, DerivedMaximaNeverWrapBelowZero)
{
    FeatureCache cache;
    cache.sensor_width = 1280;
    cache.sensor_height = 1024;
    cache.decimation_horizontal = 2;
    cache.region[0] = {1, 700, 600, 100, 2000, 0, {{1, PFNC_MONO8}}};
    EXPECT_EQ(cache.ComputeWidthMax(), 540u);
    EXPECT_EQ(cache.ComputeOffsetXMax(), 0u);
    EXPECT_EQ(cache.ComputeHeightMax(), 0u);
    EXPECT_EQ(cache.ComputeOffsetYMax(), 424u);
    cache.region_selector = 1;
    cache.signal_enable = FeatureCache::SIGNAL_FIRST_AND_SECOND;
    EXPECT_EQ(cache.ComputeWidthMax(), 1080u);
}

}  // namespace
}  // namespace GenTLCore::ZoTL
