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

// The sensor shows a width rounded to 16 columns, and only 120 ms after it
// was first asked: the read-back waits for it.
TEST(SensorInterfaceLoopbackTest, WritesARegionSettingAndReadsItBack)
{
    TestSupport::SimulatedSensor simulated;
    TestSupport::SimulatedSettings settings(true, 120ms);
    simulated.SetXmlBuilder(settings.Builder());
    ScanvoDLL& library = InitScanvoInstance();
    void* handle = library.Connect(simulated.Ip().c_str(), simulated.PortText().c_str(), 0, 0,
                                   nullptr, nullptr);
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(TestSupport::WaitUntil(
        [&] {
            int status = 0;
            return library.GetConnectStatus(handle, &status) == 0 && status == 3;
        },
        5s));

    SharedPtr<FeatureCache> cache(new FeatureCache);
    {
        SensorInterface sensor(std::make_unique<ScanvoSensorLink>(handle), cache);
        sensor.SetROI1WidthX(100);
        EXPECT_EQ(sensor.GetROI1WidthX(), 0);
    }
    library.Disconnect(handle);

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

}  // namespace
}  // namespace GenTLCore::ZoTL
