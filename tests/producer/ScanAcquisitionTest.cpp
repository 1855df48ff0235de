// Acquire over the scripted sensor on a virtual clock: B coordinates from
// each source, the pixel format conversions, scans that end early or are
// stopped, camera images, the FIFO reset.
#include <gtest/gtest.h>

#include "SensorFakes.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace GenTLCore::ZoTL {
namespace {

using Profile = TestSupport::ScriptedSensorLink::Profile;

constexpr uint32_t W = 4;

Profile MakeProfile(std::vector<double> x, std::vector<double> z, int picture, unsigned encoder)
{
    return {W, x, z, {0x10001, 2, 3, 4}, encoder, 0x5A, picture};
}

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
        cache->region[1].components[1] = {1, range_format};
        cache->region[1].components[0] = {1, PFNC_MONO10};
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
        const int pictures[] = {10, 11, 13};
        const unsigned encoders[] = {7, 5, 9};
        for (int i = 0; i < 3; ++i)
            link->profiles.push_back(
                MakeProfile({1, 2, 0, 3}, {110, 120, 0, 130}, pictures[i], encoders[i]));
        ASSERT_TRUE(sensor->Acquire(scan));
        ASSERT_EQ(3u, scan.profile_count);
        for (size_t r = 0; r < 3; ++r) {
            EXPECT_EQ(row.b[r], scan.points32[3 * (r * W) + 1]) << "row " << r;
            EXPECT_EQ(0.0f, scan.points32[3 * (r * W + 2) + 1]) << "empty point, row " << r;
        }
        EXPECT_EQ(3.0f, scan.points32[3 * (2 * W + 3)]);
        EXPECT_EQ(130.0f, scan.points32[3 * (2 * W + 3) + 2]);
        EXPECT_EQ(1, scan.intensity[0]) << "the low 16 bits";
        EXPECT_EQ(13u, cache->GetScanStatus().picture_counter);
        EXPECT_EQ(0x5Au, scan.scan_status.user_io);
        EXPECT_EQ('R', scan.scan_status.scanner_state);
    }
}

// ABC16 and Mono16 from the same points. Mono16 bins X into columns (2.5
// rounds to 3, the last point of a column wins, 9 falls outside), a point
// outside the C axis stores 0, and columns no point reaches stay 0.
TEST_F(ScanAcquisitionTest, SixteenBitFormatsConvertAndBin)
{
    const std::vector<double> x = {1.2, 2.25, 2.3, 9.0}, z = {150, 300, 180, 150};
    const struct {
        const char* name;
        uint32_t format;
        std::vector<uint16_t> range, intensity;
    } rows[] = {
        {"ABC16", PFNC_COORD3D_ABC16, {0, 0, 500, 0, 0, 0, 2, 0, 800, 16, 0, 500}, {1, 2, 3, 4}},
        {"Mono16", PFNC_MONO16, {500, 0, 0, 800}, {1, 0, 0, 3}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Scene(1, row.format);
        link->profiles.push_back(MakeProfile(x, z, 1, 1));
        ASSERT_TRUE(sensor->Acquire(scan));
        const uint16_t* plane = row.format == PFNC_MONO16 ? scan.range16 : scan.points16;
        ASSERT_NE(nullptr, plane);
        EXPECT_EQ(row.range, std::vector<uint16_t>(plane, plane + row.range.size()));
        EXPECT_EQ(row.intensity, std::vector<uint16_t>(scan.intensity, scan.intensity + W));
    }
}

// k of n profiles, then nothing for the profile time-out: a success with k
// rows. A stop while Acquire waits, or the engine's cancel, ends the scan.
TEST_F(ScanAcquisitionTest, ScanEndsEarlyOnTimeOutOrStop)
{
    link->empty_result = -1;
    link->profiles.assign(2, MakeProfile({1, 1, 1, 1}, {110, 110, 110, 110}, 1, 1));
    int64_t start = clock->NowMs();
    ASSERT_TRUE(sensor->Acquire(scan));
    EXPECT_EQ(2u, scan.profile_count);
    EXPECT_EQ(3u, scan.height);
    EXPECT_GT(clock->NowMs() - start, 1000);

    link->profiles.assign(1, MakeProfile({1, 1, 1, 1}, {110, 110, 110, 110}, 1, 1));
    link->on_empty_read = [this] { sensor->SetAcquisitionStop(); };
    start = clock->NowMs();
    ASSERT_TRUE(sensor->Acquire(scan));
    EXPECT_EQ(1u, scan.profile_count);
    EXPECT_LE(clock->NowMs() - start, 200);
    EXPECT_FALSE(sensor->Acquire(scan)) << "stopped: nothing is read";

    link->on_empty_read = nullptr;
    sensor->SetAcquisitionStart();
    sensor->SetAcquireCancelled(true);
    link->profiles.assign(1, MakeProfile({1, 1, 1, 1}, {110, 110, 110, 110}, 1, 1));
    EXPECT_FALSE(sensor->Acquire(scan)) << "cancelled: the scan ends before a read";
    EXPECT_EQ(1u, link->profiles.size());
    sensor->SetAcquireCancelled(false);
}

// A width change between two turns resizes the planes to the new scene.
TEST_F(ScanAcquisitionTest, EachTurnTakesTheSceneAsItIsThen)
{
    Scene(1, PFNC_COORD3D_ABC32F, 8);
    Profile wide = MakeProfile({1, 1, 1, 1, 1, 1, 1, 2}, {110, 110, 110, 110, 110, 110, 110, 120}, 1, 1);
    wide.result = 8;
    link->profiles.push_back(wide);
    ASSERT_TRUE(sensor->Acquire(scan));
    EXPECT_EQ(8u, scan.width);
    EXPECT_EQ(120.0f, scan.points32[3 * 7 + 2]);
}

TEST_F(ScanAcquisitionTest, CameraImageMustFitTheBytesReceived)
{
    sensor->SetCameraMode(true);
    const struct {
        const char* name;
        size_t bytes;
        uint32_t width, height;
        bool taken;
    } rows[] = {{"4 x 3 in 12 bytes", 12, 4, 3, true},
                {"4 x 4 in 12 bytes", 12, 4, 4, false},
                {"no image", 0, 4, 3, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        link->image.assign(row.bytes, 9);
        link->image_width = row.width;
        link->image_height = row.height;
        EXPECT_EQ(row.taken, sensor->Acquire(scan));
        if (!row.taken) continue;
        EXPECT_EQ(3u, scan.profile_count);
        EXPECT_EQ(PFNC_MONO8, scan.intensity_format);
        EXPECT_EQ(9, scan.image[11]);
    }
}

TEST_F(ScanAcquisitionTest, ResetFifoReadsUntilEmpty)
{
    link->empty_result = -1;
    link->profiles.assign(3, MakeProfile({1, 1, 1, 1}, {1, 1, 1, 1}, 1, 1));
    EXPECT_TRUE(sensor->ResetFifo());
    EXPECT_TRUE(link->profiles.empty());
    link->empty_result = -1000;
    EXPECT_FALSE(sensor->ResetFifo());
}

}  // namespace
}  // namespace GenTLCore::ZoTL
