// SensorInterface on a real connection to the simulated sensor on loopback.
#include <gtest/gtest.h>

#include "gentl_producers/GenTesk3d/SensorInterface.h"
#include "sensor_library/ScanvoDLL.h"
#include "support/SimulatedSensor.h"
#include "support/SimulatedSettings.h"
#include "support/WaitUntil.h"

namespace GenTLCore::ZoTL {
namespace {

using namespace std::chrono_literals;

// A connection from the sensor library to a simulated sensor with a
// settings model.
class SensorInterfaceLoopbackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        simulated.SetXmlBuilder(settings.Builder());
        handle = library.Connect(simulated.Ip().c_str(), simulated.PortText().c_str(), 0, 0,
                                 nullptr, nullptr);
        ASSERT_NE(handle, nullptr);
        ASSERT_TRUE(TestSupport::WaitUntil(
            [&] {
                int status = 0;
                return library.GetConnectStatus(handle, &status) == 0 && status == 3;
            },
            5s));
    }
    void TearDown() override { library.Disconnect(handle); }

    std::unique_ptr<ScanvoSensorLink> Link() { return std::make_unique<ScanvoSensorLink>(handle); }

    TestSupport::SimulatedSensor simulated;
    // The sensor shows a width rounded to 16 columns, and only 120 ms after
    // it was first asked.
    TestSupport::SimulatedSettings settings{true, 120ms};
    ScanvoDLL& library = InitScanvoInstance();
    void* handle = nullptr;
    SharedPtr<FeatureCache> cache{new FeatureCache};
};

// The read-back waits for the sensor to show the width.
TEST_F(SensorInterfaceLoopbackTest, WritesARegionSettingAndReadsItBack)
{
    {
        SensorInterface sensor(Link(), cache);
        sensor.SetROI1WidthX(100);
        EXPECT_EQ(sensor.GetROI1WidthX(), 0);
    }

    EXPECT_EQ(cache->region[0].width, 96u);
    const auto commands = simulated.Commands();
    const auto find = [&](const char* text) {
        return std::find_if(commands.begin(), commands.end(),
                            [&](auto& c) { return c.text == text; });
    };
    const auto stop = find("SetAcquisitionStop");
    const auto width = find("SetROI1WidthX=100");
    ASSERT_NE(stop, commands.end());
    ASSERT_NE(width, commands.end());
    // Sent at least 100 ms apart; loopback delivery may shorten the gap a little.
    EXPECT_GE(width->when - stop->when, 95ms);
}

// A pin chosen as the line trigger input reads back once the sensor shows
// it, and is what the next opening reads.
TEST_F(SensorInterfaceLoopbackTest, SetsALineTriggerAndReadsItBack)
{
    settings.SetPinStates(0b0101);
    {
        SensorInterface sensor(Link(), cache);
        sensor.SetSelectedTriggerSource(2);
        sensor.SetTriggerMode(true);
        EXPECT_EQ(sensor.GetSelectedTriggerSource(), 2u);
        EXPECT_EQ(sensor.GetIOState(), 0);
    }
    EXPECT_EQ(simulated.Setting("EA2Function"), "1");
    SharedPtr<FeatureCache> reopened(new FeatureCache);
    SensorInterface sensor(Link(), reopened);
    const FeatureCache::Trigger line_start = reopened->GetTrigger(FeatureCache::LINE_START);
    EXPECT_TRUE(line_start.trigger_mode);
    EXPECT_EQ(line_start.trigger_source, 2u);
    const std::array<uint8_t, 4> levels{1, 0, 1, 0};
    EXPECT_EQ(cache->line_status, levels);
}

}  // namespace
}  // namespace GenTLCore::ZoTL
