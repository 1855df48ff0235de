// SensorInterface against a scripted sensor on a virtual clock: the exact
// commands, their spacing and the read-back of written values.
#include <gtest/gtest.h>

#include "SensorFakes.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace GenTLCore::ZoTL {
namespace {

using TestSupport::LinkCall;
using TestSupport::ScriptedSensor;
using TestSupport::ScriptedSensorLink;
using TestSupport::VirtualClock;
using Texts = std::vector<std::string>;

class SensorInterfaceTest : public ::testing::Test, protected ScriptedSensor {};

// One batch of reads that accept 1 s old values, then the stop that ends the
// startup, then the camera mode read still in startup. A step that gives no
// decimation of 1 to 65535 is ignored rather than divided by.
TEST_F(SensorInterfaceTest, OpensWithTheStartupSequence)
{
    link->Set("ROI1StepX", "65535");
    link->Set("ROI1StepZ", "-1");
    const int64_t t = clock->NowMs();
    Open(true);
    std::vector<LinkCall> expected;
    for (const char* key :
         {"GetSignalEnable",        "GetPixelXMax",        "GetPixelZMax",
          "GetROI1StepX",           "GetROI1StepZ",        "GetROI1WidthX",
          "GetROI1HeightZ",         "GetAmountProfilesY",  "GetROI1OffsetX",
          "GetROI1OffsetZ",         "GetFieldWidthXEnd",   "GetWorkingRangeZStart",
          "GetMeasuringRangeZ",     "GetFieldWidthXStart", "GetPixelXMax",
          "GetAcquisitionLineTime", "GetMaxFps",           "GetEA1Function",
          "GetEA2Function",         "GetEA3Function",      "GetEA4Function",
          "GetTriggerSource"})
        expected.push_back({key, t + 20, 1000});
    expected.push_back({"SetAcquisitionStop", t + 100, 0});
    expected.push_back({"GetCameraMode", t + 120, 1000});
    EXPECT_EQ(link->Calls(), expected);

    ScopedLock hold(cache->lock);
    EXPECT_EQ(cache->decimation_horizontal + cache->decimation_vertical, 2);
    EXPECT_EQ(cache->width_max, 1180u);
    EXPECT_EQ(cache->offset_x_max, 640u);
    EXPECT_EQ(cache->region[1].height, 100u);
    EXPECT_EQ(cache->coordinate[FeatureCache::SLOT_MONO16][FeatureCache::COORD_A].scale, 0.09375f);
    EXPECT_EQ(cache->acquisition_line_time, 5714.0f);
}

TEST_F(SensorInterfaceTest, PacesWritesAndReads)
{
    Open();
    clock->Advance(1000);
    const int64_t t = clock->NowMs();
    link->FailWrites(1);
    EXPECT_FALSE(sensor->WriteCommand("SetFirst"));
    EXPECT_TRUE(sensor->WriteCommand("SetSecond"));  // a failed write does not delay it
    EXPECT_TRUE(sensor->WriteParameter("SetThird", int32_t{-3}));
    uint32_t width = 0;
    EXPECT_EQ(sensor->ReadParameter("GetROI1WidthX", &width), 0);
    {
        SensorInterface::ReadBatch batch(*sensor);
        EXPECT_EQ(sensor->ReadParameter("GetROI1HeightZ", &width), 0);
        EXPECT_EQ(sensor->ReadParameter("GetROI1OffsetX", &width), 0);
    }
    clock->Advance(-10'000);  // a clock stepping back delays a write by 100 ms, no more
    EXPECT_TRUE(sensor->WriteCommand("SetFourth"));
    const std::vector<LinkCall> expected{{"SetFirst", t, 0},
                                         {"SetSecond", t, 0},
                                         {"SetThird=-3", t + 100, 0},
                                         {"GetROI1WidthX", t + 120, 0},
                                         {"GetROI1HeightZ", t + 120, 0},
                                         {"GetROI1OffsetX", t + 120, 1000},
                                         {"SetFourth", t - 9780, 0}};
    EXPECT_EQ(link->Calls(), expected);
}

// A width is confirmed by the sensor's 16-step neighbours; anything else is
// read again every 50 ms until a second after the write. Each row but the
// last leaves nothing pending.
TEST_F(SensorInterfaceTest, ReadsBackAWrittenWidth)
{
    struct Row {
        const char* name;
        Texts replies;
        int32_t result;
        uint64_t value;
        int64_t last_read_ms;  // after the write
    };
    const Row rows[] = {
        {"lower step", {"96"}, 0, 96, 20},
        {"upper step", {"112"}, 0, 112, 20},
        {"settles", {"104", "104", "96"}, 0, 96, 120},
        {"never settles", Texts(30, "104"), SensorInterface::READBACK_TIMEOUT, 104, 1020},
        {"read fails", {"!-5"}, -5, 7, 20},
    };
    Open();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clock->Advance(1000);
        link->Script("ROI1WidthX", row.replies);
        ASSERT_TRUE(sensor->WriteParameter("SetROI1WidthX", uint64_t{100}));
        const int64_t written = clock->NowMs();
        link->ClearCalls();
        uint64_t value = 7;
        EXPECT_EQ(sensor->ReadParameter("GetROI1WidthX", &value), row.result);
        EXPECT_EQ(value, row.value);
        const auto& calls = link->Calls();
        EXPECT_EQ(calls.back().at_ms - written, row.last_read_ms);
        for (size_t i = 1; i < calls.size(); ++i)
            EXPECT_EQ(calls[i].at_ms - calls[i - 1].at_ms, 50);
    }
}

TEST_F(SensorInterfaceTest, KeepsPendingWritesUntilReadAndAtMost256)
{
    Open();
    sensor->WriteParameter("SetExposureTime", uint32_t{10});
    sensor->WriteParameter("SetExposureTime", uint32_t{20});
    uint32_t exposure = 0;
    EXPECT_EQ(sensor->ReadParameter("GetExposureTime", &exposure), 0);
    EXPECT_EQ(exposure, 20u);
    EXPECT_EQ(sensor->PendingWriteCountForTest(), 0u);
    for (int i = 0; i < 300; ++i) sensor->WriteParameter("SetItem" + std::to_string(i), int32_t{i});
    EXPECT_EQ(sensor->PendingWriteCountForTest(), SensorInterface::MAX_PENDING_WRITES);
}

// Decimation keeps the region where it was on the sensor, at least 32 wide.
TEST_F(SensorInterfaceTest, DecimationRescalesTheRegion)
{
    struct Row {
        const char* name;
        bool horizontal;
        const char* size;
        uint32_t decimation;
        const char* writes;  // none: refused
    };
    const Row rows[] = {
        {"halves", true, "640", 2, "SetROI1StepX=1 SetROI1WidthX=320 SetROI1OffsetX=50"},
        {"keeps 32", true, "40", 2, "SetROI1StepX=1 SetROI1WidthX=32 SetROI1OffsetX=50"},
        {"halves height", false, "512", 2, "SetROI1StepZ=1 SetROI1HeightZ=256 SetROI1OffsetZ=0"},
        {"refuses 0", true, "640", 0, ""},
        {"refuses 65536", false, "512", 65536, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedSensor fresh;
        fresh.link->Set(row.horizontal ? "ROI1WidthX" : "ROI1HeightZ", row.size);
        fresh.Open();
        SensorInterface& open = *fresh.sensor;
        EXPECT_EQ(
            row.horizontal ? open.SetROI1StepX(row.decimation) : open.SetROI1StepZ(row.decimation),
            *row.writes ? GC_ERR_SUCCESS : GC_ERR_INVALID_PARAMETER);
        EXPECT_EQ(fresh.Writes(), row.writes);
    }
}

// The sensor's line time is kept within its maximum profile rate; a rate
// the sensor does not define, or defines as 0, counts as 4000.
TEST_F(SensorInterfaceTest, ClampsTheLineTimeToTheMaximumRate)
{
    struct Row {
        const char* name;
        const char* line_time;
        const char* max_fps;
        int32_t result;
        float stored;
        const char* writes;
    };
    const Row rows[] = {
        {"clamped", "100", "4000", 0, 250.0f, "SetAcquisitionLineTime=250"},
        {"within", "500", "4000", 0, 500.0f, ""},
        {"rate undefined", "100", "!-3", 0, 250.0f, "SetAcquisitionLineTime=250"},
        {"rate 0", "100", "0", 0, 250.0f, "SetAcquisitionLineTime=250"},
        {"line time 0", "0", "4000", -5, 5714.0f, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedSensor fresh;
        fresh.link->Set("MaxFps", row.max_fps);
        fresh.Open();
        fresh.link->Set("AcquisitionLineTime", row.line_time);
        fresh.link->Freeze("AcquisitionLineTime");
        EXPECT_EQ(fresh.sensor->GetAcquisitionLineTime(), row.result);
        EXPECT_EQ(fresh.Writes(), row.writes);
        ScopedLock hold(fresh.cache->lock);
        EXPECT_EQ(fresh.cache->acquisition_line_time, row.stored);
    }
    Open();
    EXPECT_EQ(sensor->SetAcquisitionLineTime(0.5f), GC_ERR_INVALID_PARAMETER);
    EXPECT_TRUE(link->Calls().empty());
}

// A mode switch waits 300 ms, reads the mode back, then sets the line time.
TEST_F(SensorInterfaceTest, SwitchesCameraModeWithReadBack)
{
    Open();
    clock->Advance(1000);
    int64_t t = clock->NowMs();
    EXPECT_TRUE(sensor->SetCameraMode(true));  // region 0 on: camera images
    std::vector<LinkCall> expected{{"SetCameraMode=1", t, 0},
                                   {"GetCameraMode", t + 300, 0},
                                   {"SetAcquisitionLineTime=1000000", t + 300, 0}};
    EXPECT_EQ(link->Calls(), expected);
    EXPECT_EQ(clock->NowMs(), t + 600);
    EXPECT_FALSE(sensor->IsScanMode());

    link->ClearCalls();
    sensor->SetRegionSelector(true);
    EXPECT_TRUE(sensor->SetCameraMode(true));  // the scan region on: 3D
    EXPECT_EQ(Writes(), "SetCameraMode=0 SetAcquisitionLineTime=5714");
    EXPECT_TRUE(sensor->IsScanMode());

    link->ClearCalls();
    link->Freeze("CameraMode");
    EXPECT_FALSE(sensor->SetCameraMode(false));
    EXPECT_EQ(Writes(), "SetCameraMode=1");
}

// Start and stop send nothing while each software frame trigger starts a scan.
TEST_F(SensorInterfaceTest, StartsAcquisitionUnlessSoftwareFramesDo)
{
    Open();
    link->FailWrites(1);
    sensor->SetAcquisitionStart();
    EXPECT_FALSE(sensor->IsAcquisitionStarted());
    sensor->SetAcquisitionStart();
    EXPECT_TRUE(sensor->IsAcquisitionStarted());
    EXPECT_EQ(sensor->points32.size(), 640u * 100 * 3);  // A, B, C of every point
    cache->trigger[FeatureCache::FRAME_START] = {true, FeatureCache::SOURCE_SOFTWARE};
    sensor->SetAcquisitionStop();
    EXPECT_FALSE(sensor->IsAcquisitionStarted());
    sensor->SetAcquisitionStart();
    EXPECT_TRUE(sensor->IsAcquisitionStarted());
    EXPECT_EQ(Writes(), "SetAcquisitionStart SetAcquisitionStart");
}

}  // namespace
}  // namespace GenTLCore::ZoTL
