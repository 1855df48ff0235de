// Acquire over the scripted sensor on a virtual clock: B coordinates from
// each source, the 16-bit conversions, scans that end early or are stopped,
// camera images.
#include <gtest/gtest.h>

#include "SensorFakes.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace GenTLCore::ZoTL {
namespace {

using Profile = TestSupport::ScriptedSensorLink::Profile;

constexpr uint32_t W = 4;
const Profile FLAT = {{1, 1, 1, 1}, {110, 110, 110, 110}};

class ScanAcquisitionTest : public ::testing::Test, protected TestSupport::ScriptedSensor {
protected:
    void SetUp() override
    {
        SetItems("Timestamp=500 Temperature=41 ScannerState=R");
        Open();
        Scene(3, PFNC_COORD3D_ABC32F);
        for (auto& format : cache->coordinate) {
            format[FeatureCache::COORD_A] = {0.5f, 0, 0, 1.0f, 0, 0, {}, 0.0f, 10.0f};
            format[FeatureCache::COORD_B] = {2.0f, 0, 0, 0.25f, 0, 0, {}, 0, 0};
            format[FeatureCache::COORD_C] = {0.1f, 0, 0, 100.0f, 0, 0, {}, 100.0f, 200.0f};
        }
        sensor->SetAcquisitionStart();
    }
    void Scene(uint32_t height, uint32_t range_format, uint32_t width = W)
    {
        ScopedLock hold(cache->lock);
        cache->region[1].width = width;
        cache->region[1].height = height;
        cache->region[1].components = {{1, PFNC_MONO10}, {1, range_format}};
    }
    ScanData scan;
};

// B = (value - first value) x scale + offset; an empty point has B = 0.
TEST_F(ScanAcquisitionTest, BCoordinateFromEachSource)
{
    const struct {
        const char* name;
        uint32_t source;
        std::vector<float> b;
    } rows[] = {
        {"FrameID 10, 11, 13", SensorInterface::SOURCE_FRAME_ID, {0.25f, 2.25f, 6.25f}},
        {"Encoder 7, 5, 9", SensorInterface::SOURCE_ENCODER, {0.25f, -3.75f, 4.25f}},
        {"Timestamp 100, 150, 400", SensorInterface::SOURCE_TIMESTAMP, {0.25f, 100.25f, 600.25f}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        cache->coordinate_source = row.source;
        link->Script("Timestamp", {"100", "150", "400"});
        for (const auto& [picture, encoder] : {std::pair{10, 7u}, {11, 5u}, {13, 9u}})
            link->profiles.push_back({{1, 2, 0, 3}, {110, 120, 0, 130}, picture, encoder});
        ASSERT_TRUE(sensor->Acquire(scan));
        ASSERT_EQ(3u, scan.profile_count);
        for (size_t r = 0; r < 3; ++r) {
            EXPECT_EQ(row.b[r], scan.points32[3 * r * W + 1]);
            EXPECT_EQ(0.0f, scan.points32[3 * (r * W + 2) + 1]) << "empty point";
        }
        EXPECT_EQ(std::vector<float>({3, row.b[2], 130}),
                  std::vector<float>(scan.points32 + 33, scan.points32 + 36));
        EXPECT_EQ(1, scan.intensity[0]) << "the low 16 bits";
        EXPECT_EQ(13u, cache->GetScanStatus().picture_counter);
        EXPECT_EQ('R', scan.scan_status.scanner_state);
    }
}

// X 2.25 bins to column 3 (2.5 rounds away from zero), where the later point
// wins; 9 falls outside; Z 300 lies outside the C axis and stores 0; the
// columns no point reaches stay 0. A turn takes the width as it is then.
TEST_F(ScanAcquisitionTest, SixteenBitFormatsConvertAndBin)
{
    const Profile profile = {{1.2, 2.25, 2.3, 9.0, 1, 1}, {150, 300, 180, 150, 150, 150}};
    const struct {
        const char* name;
        uint32_t format, width;
        std::vector<uint16_t> range, intensity;
    } rows[] = {
        {"ABC16", PFNC_COORD3D_ABC16, W, {0, 0, 500, 0, 0, 0, 2, 0, 800, 16, 0, 500}, {1, 2, 3, 4}},
        {"Mono16", PFNC_MONO16, W, {500, 0, 0, 800}, {1, 0, 0, 3}},
        {"Mono16, 6 wide", PFNC_MONO16, 6, {500, 0, 0, 800, 0, 0}, {6, 0, 0, 3, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Scene(1, row.format, row.width);
        link->profiles.push_back(profile);
        ASSERT_TRUE(sensor->Acquire(scan));
        const uint16_t* plane = row.format == PFNC_MONO16 ? scan.range16 : scan.points16;
        EXPECT_EQ(row.range, std::vector<uint16_t>(plane, plane + row.range.size()));
        EXPECT_EQ(row.intensity, std::vector<uint16_t>(scan.intensity, scan.intensity + row.width));
    }
}

// k of n profiles, then nothing for the profile time-out: a success with k
// rows. A stop while Acquire waits, or the engine's cancel, ends the scan.
TEST_F(ScanAcquisitionTest, ScanEndsEarlyOnTimeOutStopOrCancel)
{
    link->empty_result = -1;
    link->profiles.assign(2, FLAT);
    int64_t start = clock->NowMs();
    ASSERT_TRUE(sensor->Acquire(scan));
    EXPECT_EQ(2u, scan.profile_count);
    EXPECT_GT(clock->NowMs() - start, 1000);

    link->profiles.assign(1, FLAT);
    link->on_empty_read = [this] { sensor->SetAcquisitionStop(); };
    start = clock->NowMs();
    ASSERT_TRUE(sensor->Acquire(scan));
    EXPECT_EQ(1u, scan.profile_count);
    EXPECT_EQ(100, clock->NowMs() - start);
    EXPECT_FALSE(sensor->Acquire(scan)) << "stopped: nothing is read";

    link->on_empty_read = nullptr;
    sensor->SetAcquisitionStart();
    sensor->SetAcquireCancelled(true);
    link->profiles.assign(1, FLAT);
    EXPECT_FALSE(sensor->Acquire(scan));
    EXPECT_EQ(1u, link->profiles.size()) << "cancelled: nothing is read";
    sensor->SetAcquireCancelled(false);
}

// An image is taken only when width x height fits the bytes received.
TEST_F(ScanAcquisitionTest, CameraImageMustFitTheBytesReceived)
{
    sensor->SetCameraMode(true);
    link->image.assign(12, 9);
    link->image_width = W;
    link->image_height = 4;
    EXPECT_FALSE(sensor->Acquire(scan)) << "4 x 4 in 12 bytes";
    EXPECT_FALSE(sensor->Acquire(scan)) << "no image";
    link->image.assign(12, 9);
    link->image_height = 3;
    ASSERT_TRUE(sensor->Acquire(scan));
    EXPECT_TRUE(scan.profile_count == 3 && scan.image[11] == 9 &&
                scan.intensity_format == PFNC_MONO8);
}

}  // namespace
}  // namespace GenTLCore::ZoTL
