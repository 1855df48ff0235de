// The facade in this process: its log lines, its copies, its one-sensor
// ISensor side, and the event functions.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestLogging.h"
#include "sensor_library/ScanvoDLL.h"
#include "sensor_library/ScanvoEvents.h"
#include "support/SimulatedSensor.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;
using TestSupport::SimulatedSensor;

namespace {

constexpr int NOT_OPEN = -1000;

void* Connect(ScanvoDLL& facade, SimulatedSensor& sensor)
{
    return facade.Connect(sensor.Ip().c_str(), sensor.PortText().c_str(), 0, 0, nullptr, nullptr);
}

// A facade that logs to the debug output.
class FacadeLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.WriteConfig("activate_log=1\nsink_type=0\n");
        facade = std::make_unique<ScanvoDLL>();
    }

    ScopedAppData app;
    DebugCapture capture;
    std::unique_ptr<ScanvoDLL> facade;
};

struct CommandLogCase {
    std::string text;
    std::string line;  // the tag and message logged; empty for none
};

class LibraryCommandLogTest : public FacadeLogTest,
                              public ::testing::WithParamInterface<CommandLogCase> {};

TEST_P(LibraryCommandLogTest, LogsTheOutcome)
{
    facade->WriteData(nullptr, GetParam().text.c_str(), 0);
    const std::string logged = DebugCapture::Text();
    if (GetParam().line.empty()) {
        EXPECT_EQ(std::string::npos, logged.find("SetScannerBufferSize")) << logged;
        return;
    }
    const std::string tag = GetParam().line.substr(0, GetParam().line.find(' '));
    const std::string message = GetParam().line.substr(tag.size() + 1);
    const std::size_t at = logged.find(message);
    ASSERT_NE(std::string::npos, at) << logged;
    // "[TAG] yyyy mm dd hh mm ss mmm message"
    EXPECT_EQ(at - tag.size() - 25, logged.rfind(tag, at)) << logged;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LibraryCommandLogTest,
    ::testing::Values(
        CommandLogCase{"SetScannerBufferSize=1319999\r",
                       "[ERROR] Error in SetScannerBufferSize, the given value for buffersize is "
                       "less than the minimum 1320000 allowed\n"},
        CommandLogCase{"SetLibraryScannerFiFoSize=4198399\r",
                       "[ERROR] Error in SetLibraryScannerFiFoSize, the given value for buffersize "
                       "is smaller than the minimum 4198400 allowed.\n"},
        CommandLogCase{"SetScannerBufferSize=2000000\r",
                       "[INFO] SetScannerBufferSize 2000000 is successful.\n"},
        CommandLogCase{"SetDllFiFoSize=1000", "[INFO] SetDllFiFoSize 1000 is successful.\n"},
        CommandLogCase{"SetProductionMode=abc", "[ERROR] SetProductionMode error. \n"},
        CommandLogCase{"SetProductionMode=0", "[INFO] SetProductionMode is successful. \n"},
        CommandLogCase{"SetScannerBufferSize=12x", ""}));

TEST_F(FacadeLogTest, AFullTableRefusesTheConnectWithAnError)
{
    SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});
    facade->WriteData(nullptr, "SetDllFiFoSize=65536", 0);
    facade->WriteData(nullptr, "SetScannerBufferSize=1320000", 0);
    std::vector<void*> handles;
    for (int i = 0; i < 200; ++i)
        handles.push_back(Connect(*facade, sensor));
    EXPECT_EQ(nullptr, Connect(*facade, sensor));
    EXPECT_EQ(1u, DebugCapture::Count(" exceed maximum allowed scanners\n"));
    for (void* handle : handles)
        facade->Disconnect(handle);
    EXPECT_EQ(200u, DebugCapture::Count(" disconnected.\n"));
}

// Copies share the one table of open sensors.
TEST(ScanvoDLLCopyTest, DestroyingACopyLeavesTheSensorsOpen)
{
    SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});
    ScanvoDLL facade;
    void* handle = Connect(facade, sensor);
    ASSERT_NE(nullptr, handle);
    int status = 7;
    {
        ScanvoDLL copy(facade);
        EXPECT_EQ(0, copy.GetConnectStatus(handle, &status));
    }
    EXPECT_EQ(0, facade.GetConnectStatus(handle, &status));
    EXPECT_EQ(nullptr, facade.Disconnect(handle));
}

TEST(ScanvoDLLCopyTest, TheLastInstanceDisconnectsWhatIsStillOpen)
{
    SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});
    void* handle = nullptr;
    {
        ScanvoDLL facade;
        handle = Connect(facade, sensor);
        ASSERT_NE(nullptr, handle);
    }
    ScanvoDLL later;
    int status = 7;
    EXPECT_EQ(NOT_OPEN, later.GetConnectStatus(handle, &status));
}

TEST(ScanvoDLLSensorTest, OpensWritesAndClosesTheSensorOfItsAttributes)
{
    SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});
    ScanvoDLL facade;
    facade.setOpenTransferAttributes(sensor.Ip(), sensor.PortText(), 0);
    ASSERT_TRUE(facade.openTransfer());
    void* handle = facade.getActiveScanvo();
    ASSERT_NE(nullptr, handle);
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return sensor.AcceptedConnections() == 1; }));
    // A vector carries no NUL; the facade must not read past it.
    const std::string text = "SetExposureTime=300\r";
    EXPECT_EQ(int(text.size()), facade.writeData(std::vector<unsigned char>(text.begin(), text.end())));
    EXPECT_TRUE(sensor.WaitForCommand("SetExposureTime=300"));
    EXPECT_TRUE(facade.closeTransfer());
    EXPECT_EQ(handle, facade.getActiveScanvo());
    int status = 7;
    EXPECT_EQ(NOT_OPEN, facade.getConnectStatus(&status));
}

TEST(ScanvoEventsTest, AnAutoResetEventReleasesOneWaitOnly)
{
    neosmart::EventHandle event = neosmart::CreateEventW(false, false);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(neosmart::WAIT_TIMED_OUT, neosmart::WaitForEvent(event, 0));
    EXPECT_EQ(0, neosmart::SetEvent(event));
    EXPECT_EQ(neosmart::WAIT_SIGNALLED, neosmart::WaitForEvent(event, 0));
    EXPECT_EQ(neosmart::WAIT_TIMED_OUT, neosmart::WaitForEvent(event, 0));
    EXPECT_EQ(0, neosmart::DestroyEvent(event));
}

TEST(ScanvoEventsTest, AManualResetEventStaysSetUntilReset)
{
    neosmart::EventHandle event = neosmart::CreateEventW(true, true);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(neosmart::WAIT_SIGNALLED, neosmart::WaitForEvent(event, 0));
    EXPECT_EQ(neosmart::WAIT_SIGNALLED, neosmart::WaitForEvent(event, 0));
    EXPECT_EQ(0, neosmart::ResetEvent(event));
    EXPECT_EQ(neosmart::WAIT_TIMED_OUT, neosmart::WaitForEvent(event, 0));
    EXPECT_EQ(0, neosmart::DestroyEvent(event));
}

TEST(ScanvoEventsTest, AnEndlessWaitEndsWhenTheEventIsSet)
{
    neosmart::EventHandle event = neosmart::CreateEventW(false, false);
    int result = -1;
    std::thread waiter([&] { result = neosmart::WaitForEvent(event, neosmart::WAIT_INFINITE_64); });
    neosmart::SetEvent(event);
    waiter.join();
    EXPECT_EQ(neosmart::WAIT_SIGNALLED, result);
    neosmart::DestroyEvent(event);
}

TEST(ScanvoEventsTest, ANullEventGivesErrorSix)
{
    EXPECT_EQ(6, neosmart::SetEvent(nullptr));
    EXPECT_EQ(6, neosmart::ResetEvent(nullptr));
    EXPECT_EQ(6, neosmart::WaitForEvent(nullptr, 0));
    EXPECT_EQ(6, neosmart::DestroyEvent(nullptr));
}

}  // namespace
