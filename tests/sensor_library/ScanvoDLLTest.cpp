// The facade in this process: its copies, its one-sensor ISensor side, and
// the event functions.
#include <gtest/gtest.h>

#include <thread>

#include "sensor_library/ScanvoDLL.h"
#include "sensor_library/ScanvoEvents.h"
#include "support/SimulatedSensor.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;
using TestSupport::SimulatedSensor;
using TestSupport::WaitUntil;

namespace {

constexpr int NOT_OPEN = ScanvoDLL::UNKNOWN_HANDLE;

// Copies share the one table of open sensors, and the last instance
// disconnects what is still open; the ISensor side opens, writes to and
// closes the sensor of its attributes.
TEST(ScanvoDLLTest, CopiesShareTheSensorsAndTheISensorSideOpensItsOwn)
{
    SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});
    void* handle = nullptr;
    int status = 7;
    {
        ScanvoDLL facade;
        handle = facade.Connect(sensor.Ip().c_str(), sensor.PortText().c_str(), 0, 0, nullptr, nullptr);
        ASSERT_NE(nullptr, handle);
        { ScanvoDLL copy(facade); }
        EXPECT_EQ(0, facade.GetConnectStatus(handle, &status));
    }
    ScanvoDLL facade;
    EXPECT_EQ(NOT_OPEN, facade.GetConnectStatus(handle, &status));
    facade.setOpenTransferAttributes(sensor.Ip(), sensor.PortText(), 0);
    ASSERT_TRUE(facade.openTransfer());
    handle = facade.getActiveScanvo();
    ASSERT_NE(nullptr, handle);
    // Ready, not just accepted: the library sends only once its side is up.
    ASSERT_TRUE(WaitUntil([&] { return facade.getConnectStatus(&status) == 0 && status == 3; }, 5s));
    // A vector carries no NUL; the facade must not read past it.
    const std::string text = "SetExposureTime=300\r";
    EXPECT_EQ(int(text.size()), facade.writeData(std::vector<unsigned char>(text.begin(), text.end())));
    EXPECT_TRUE(sensor.WaitForCommand("SetExposureTime=300"));
    EXPECT_TRUE(facade.closeTransfer());
    EXPECT_EQ(handle, facade.getActiveScanvo());
    EXPECT_EQ(NOT_OPEN, facade.getConnectStatus(&status));
}

// Auto-reset releases one waiter per set, manual reset every wait until
// reset; a null event gives 6 everywhere.
TEST(ScanvoEventsTest, AutoResetReleasesOneWaiterManualResetEveryWaitAndNullGivesSix)
{
    using namespace neosmart;
    EventHandle automatic = CreateEventW(false, true), manual = CreateEventW(true, true);
    EXPECT_EQ((std::vector<int>{WAIT_SIGNALLED, WAIT_TIMED_OUT, WAIT_SIGNALLED, WAIT_SIGNALLED}),
              (std::vector<int>{WaitForEvent(automatic, 0), WaitForEvent(automatic, 0), WaitForEvent(manual, 0),
                                WaitForEvent(manual, 0)}));
    EXPECT_EQ(0, ResetEvent(manual));
    EXPECT_EQ(WAIT_TIMED_OUT, WaitForEvent(manual, 0));
    std::atomic<int> released{0};
    const auto wait = [&] { released += WaitForEvent(automatic, WAIT_INFINITE_64) == WAIT_SIGNALLED; };
    std::thread first(wait), second(wait);
    EXPECT_EQ(0, SetEvent(automatic));
    ASSERT_TRUE(WaitUntil([&] { return released.load() == 1; }));
    EXPECT_FALSE(WaitUntil([&] { return released.load() == 2; }, 50ms));
    EXPECT_EQ(0, SetEvent(automatic));
    first.join();
    second.join();
    EXPECT_EQ(0, DestroyEvent(automatic));
    EXPECT_EQ(0, DestroyEvent(manual));
    EXPECT_EQ((std::vector<int>{6, 6, 6, 6}),
              (std::vector<int>{SetEvent(nullptr), ResetEvent(nullptr), WaitForEvent(nullptr, 0), DestroyEvent(nullptr)}));
}

}  // namespace
