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
    std::istringstream keys(
        "SignalEnable PixelXMax PixelZMax ROI1StepX ROI1StepZ ROI1WidthX ROI1HeightZ "
        "AmountProfilesY ROI1OffsetX ROI1OffsetZ FieldWidthXEnd WorkingRangeZStart "
        "MeasuringRangeZ FieldWidthXStart PixelXMax AcquisitionLineTime MaxFps EA1Function "
        "EA2Function EA3Function EA4Function TriggerSource");
    for (std::string key; keys >> key;) expected.push_back({"Get" + key, t + 20, 1000});
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

}  // namespace
}  // namespace GenTLCore::ZoTL
