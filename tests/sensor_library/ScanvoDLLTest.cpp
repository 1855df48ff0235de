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

struct LibraryCommandCase {
    std::string text;
    int result;        // 0 stands for the text's length
    std::string line;  // the tag and message logged; empty for none
};

class LibraryCommandTest : public FacadeLogTest,
                           public ::testing::WithParamInterface<LibraryCommandCase> {};

TEST_P(LibraryCommandTest, AnswersAndLogsWithoutAHandle)
{
    const LibraryCommandCase& c = GetParam();
    // The length argument is not what counts: the text ends at its NUL.
    EXPECT_EQ(c.result == 0 ? int(c.text.size()) : c.result,
              facade->WriteData(nullptr, c.text.c_str(), 3));
    const std::string logged = DebugCapture::Text();
    if (c.line.empty()) {
        EXPECT_EQ(std::string::npos, logged.find("[INFO]")) << logged;
        EXPECT_EQ(std::string::npos, logged.find("[ERROR]")) << logged;
        return;
    }
    const std::string tag = c.line.substr(0, c.line.find(' '));
    const std::size_t at = logged.find(c.line.substr(tag.size() + 1));
    ASSERT_NE(std::string::npos, at) << logged;
    // "[TAG] yyyy mm dd hh mm ss mmm message"
    EXPECT_EQ(at - tag.size() - 25, logged.rfind(tag, at)) << logged;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LibraryCommandTest,
    ::testing::Values(
        LibraryCommandCase{"SetScannerBufferSize=1319999\r", -1,
                           "[ERROR] Error in SetScannerBufferSize, the given value for buffersize "
                           "is less than the minimum 1320000 allowed\n"},
        LibraryCommandCase{"SetLibraryScannerFiFoSize=4198399\r", -1,
                           "[ERROR] Error in SetLibraryScannerFiFoSize, the given value for "
                           "buffersize is smaller than the minimum 4198400 allowed.\n"},
        LibraryCommandCase{"SetScannerBufferSize=2000000\r", 0,
                           "[INFO] SetScannerBufferSize 2000000 is successful.\n"},
        LibraryCommandCase{"SetLibraryScannerFiFoSize= +4198400", 0,
                           "[INFO] SetLibraryScannerFiFoSize  +4198400 is successful.\n"},
        LibraryCommandCase{"SetDllFiFoSize=1000", 0, "[INFO] SetDllFiFoSize 1000 is successful.\n"},
        LibraryCommandCase{"SetProductionMode=abc", -1, "[ERROR] SetProductionMode error. \n"},
        LibraryCommandCase{"SetDllFiFoSize=99999999999", -1, "[ERROR] SetDllFiFoSize error. \n"},
        LibraryCommandCase{"SetProductionMode=0", 0, "[INFO] SetProductionMode is successful. \n"},
        LibraryCommandCase{"SetScannerBufferSize=12x", -1, ""},
        LibraryCommandCase{"SetScannerBufferSize 2000000", -1, ""},
        LibraryCommandCase{"SetExposureTime=100\r", NOT_OPEN, ""}));

// The rate is counted library-wide; the first line comes at once, the next
// one no sooner than three seconds later.
TEST_F(FacadeLogTest, TheFirstProfileReadWritesTheDeliveryRate)
{
    SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});
    void* handle = Connect(*facade, sensor);
    double x[4], z[4];
    for (int read = 0; read < 2; ++read)
        facade->GetXZIExtended(handle, x, z, nullptr, nullptr, 4, nullptr, nullptr, 0, nullptr, 0,
                               nullptr);
    EXPECT_EQ(1u, DebugCapture::Count("127.0.0.2: DllToApp: 0.3 Hz\n"));
    EXPECT_EQ(1u, DebugCapture::Count("DllToApp"));
    facade->Disconnect(handle);
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
    const std::vector<unsigned char> bytes(text.begin(), text.end());
    EXPECT_EQ(int(text.size()), facade.writeData(bytes));
    EXPECT_TRUE(sensor.WaitForCommand("SetExposureTime=300"));
    EXPECT_TRUE(facade.closeTransfer());
    EXPECT_EQ(handle, facade.getActiveScanvo());
    int status = 7;
    EXPECT_EQ(NOT_OPEN, facade.getConnectStatus(&status));
}

TEST(ScanvoEventsTest, AnAutoResetEventReleasesOneWaitAManualResetOneEveryWait)
{
    neosmart::EventHandle automatic = neosmart::CreateEventW(false, true);
    neosmart::EventHandle manual = neosmart::CreateEventW(true, true);
    EXPECT_EQ(neosmart::WAIT_SIGNALLED, neosmart::WaitForEvent(automatic, 0));
    EXPECT_EQ(neosmart::WAIT_TIMED_OUT, neosmart::WaitForEvent(automatic, 0));
    EXPECT_EQ(neosmart::WAIT_SIGNALLED, neosmart::WaitForEvent(manual, 0));
    EXPECT_EQ(neosmart::WAIT_SIGNALLED, neosmart::WaitForEvent(manual, 0));
    EXPECT_EQ(0, neosmart::ResetEvent(manual));
    EXPECT_EQ(neosmart::WAIT_TIMED_OUT, neosmart::WaitForEvent(manual, 0));
    EXPECT_EQ(0, neosmart::DestroyEvent(automatic));
    EXPECT_EQ(0, neosmart::DestroyEvent(manual));
}

TEST(ScanvoEventsTest, AnEndlessWaitEndsWhenTheEventIsSet)
{
    neosmart::EventHandle event = neosmart::CreateEventW(false, false);
    int result = -1;
    std::thread waiter([&] { result = neosmart::WaitForEvent(event, neosmart::WAIT_INFINITE_64); });
    EXPECT_EQ(0, neosmart::SetEvent(event));
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
