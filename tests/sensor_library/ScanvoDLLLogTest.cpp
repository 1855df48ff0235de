// The facade's log lines: the library-level commands, answered without a
// handle, and the delivery rate. The rate's clock is process-wide, so no
// other case of this process may read a profile first.
#include <gtest/gtest.h>

#include "TestLogging.h"
#include "sensor_library/ScanvoDLL.h"
#include "support/SimulatedSensor.h"

namespace {

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

TEST_F(FacadeLogTest, LibraryCommandsAnswerAndLogWithoutAHandle)
{
    // text; result (0 stands for the text's length); the tag and message logged (empty for none)
    const std::tuple<std::string, int, std::string> rows[] = {
        {"SetScannerBufferSize=1319999\r", -1, "[ERROR] Error in SetScannerBufferSize, the given value for buffersize is less than the minimum 1320000 allowed\n"},
        {"SetLibraryScannerFiFoSize=4198399\r", -1, "[ERROR] Error in SetLibraryScannerFiFoSize, the given value for buffersize is smaller than the minimum 4198400 allowed.\n"},
        {"SetScannerBufferSize=2000000\r", 0, "[INFO] SetScannerBufferSize 2000000 is successful.\n"},
        {"SetLibraryScannerFiFoSize= +4198400", 0, "[INFO] SetLibraryScannerFiFoSize  +4198400 is successful.\n"},
        {"SetDllFiFoSize=1000", 0, "[INFO] SetDllFiFoSize 1000 is successful.\n"},
        {"SetProductionMode=abc", -1, "[ERROR] SetProductionMode error. \n"},
        {"SetDllFiFoSize=99999999999", -1, "[ERROR] SetDllFiFoSize error. \n"},
        {"SetProductionMode=0", 0, "[INFO] SetProductionMode is successful. \n"},
        {"SetScannerBufferSize=12x", -1, ""},
        {"SetScannerBufferSize 2000000", -1, ""},
        {"SetExposureTime=100\r", ScanvoDLL::UNKNOWN_HANDLE, ""}};
    for (const auto& [text, result, line] : rows) {
        SCOPED_TRACE(text);
        const std::size_t logged_before = DebugCapture::Text().size();
        // The length argument is not what counts: the text ends at its NUL.
        EXPECT_EQ(result == 0 ? int(text.size()) : result, facade->WriteData(nullptr, text.c_str(), 3));
        const std::string logged = DebugCapture::Text().substr(logged_before);
        if (line.empty()) {
            EXPECT_EQ(std::string::npos, std::min(logged.find("[INFO]"), logged.find("[ERROR]"))) << logged;
            continue;
        }
        // "[TAG] yyyy mm dd hh mm ss mmm message"
        const std::string tag = line.substr(0, line.find(' ') + 1);
        const std::size_t at = logged.find(line.substr(tag.size()));
        ASSERT_NE(std::string::npos, at) << logged;
        EXPECT_EQ(at - tag.size() - 24, logged.rfind(tag, at)) << logged;
    }
}

// The rate is counted library-wide; the first line comes at once, the next
// one no sooner than three seconds later.
TEST_F(FacadeLogTest, TheFirstProfileReadWritesTheDeliveryRate)
{
    TestSupport::SimulatedSensor sensor(TestSupport::SimulatedSensor::Options{"127.0.0.2"});
    void* handle = facade->Connect(sensor.Ip().c_str(), sensor.PortText().c_str(), 0, 0, nullptr, nullptr);
    double x[4], z[4];
    for (int read = 0; read < 2; ++read)
        facade->GetXZIExtended(handle, x, z, nullptr, nullptr, 4, nullptr, nullptr, 0, nullptr, 0, nullptr);
    EXPECT_EQ(1u, DebugCapture::Count("127.0.0.2: DllToApp: 0.3 Hz\n"));
    EXPECT_EQ(1u, DebugCapture::Count("DllToApp"));
    facade->Disconnect(handle);
}

}  // namespace
