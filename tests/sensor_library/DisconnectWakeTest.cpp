// A disconnect does not wait out the time-out of a read blocked on the same
// sensor, and a command text without a NUL is read only up to its length.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "sensor_library/ScanvoDLL.h"
#include "support/SimulatedSensor.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;
using TestSupport::SimulatedSensor;
using TestSupport::WaitUntil;

namespace {

constexpr int NO_PROFILE = -1;
constexpr int LONG_TIMEOUT_MS = 30000;

// A connected sensor that streams nothing, so every profile read waits.
class QuietSensorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        handle = facade.Connect(sensor.Ip().c_str(), sensor.PortText().c_str(), 0, 0, nullptr,
                                nullptr);
        ASSERT_NE(nullptr, handle);
        ASSERT_TRUE(WaitUntil(
            [&] {
                int status = 0;
                return facade.GetConnectStatus(handle, &status) == 0 && status == 3;
            },
            5s));
    }

    void TearDown() override { facade.Disconnect(handle); }

    int ReadProfile(int timeout_ms)
    {
        double x[4];
        double z[4];
        return facade.GetXZIExtended(handle, x, z, nullptr, nullptr, 4, nullptr, nullptr,
                                     timeout_ms, nullptr, 0, nullptr);
    }

    SimulatedSensor sensor{SimulatedSensor::Options{"127.0.0.2"}};
    ScanvoDLL facade;
    void* handle = nullptr;
};

TEST_F(QuietSensorTest, DisconnectEndsAReadWaitingOutALongTimeOut)
{
    // Past the geometry check: the read below reaches the wait.
    ASSERT_TRUE(WaitUntil([&] { return ReadProfile(0) == NO_PROFILE; }, 5s));
    std::atomic<bool> read_done{false};
    std::atomic<int> read_result{0};
    std::thread reader([&] {
        read_result = ReadProfile(LONG_TIMEOUT_MS);
        read_done = true;
    });
    EXPECT_FALSE(WaitUntil([&] { return read_done.load(); }, 200ms));

    std::atomic<bool> disconnect_done{false};
    std::atomic<void*> disconnect_result{handle};
    std::thread closer([&] {
        disconnect_result = facade.Disconnect(handle);
        disconnect_done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return disconnect_done.load() && read_done.load(); }, 5s));
    closer.join();
    reader.join();
    EXPECT_EQ(nullptr, disconnect_result.load());
    EXPECT_EQ(NO_PROFILE, read_result.load());
    // Gone for good: a later read finds no sensor.
    EXPECT_EQ(ScanvoDLL::UNKNOWN_HANDLE, ReadProfile(LONG_TIMEOUT_MS));
}

TEST_F(QuietSensorTest, ACommandWithoutANulIsReadOnlyUpToItsLength)
{
    const std::string text = "SetExposureTime=300\r";
    // Exactly the text's bytes on the heap, so reading one more is caught.
    const auto bytes = std::make_unique<char[]>(text.size());
    std::memcpy(bytes.get(), text.data(), text.size());
    EXPECT_EQ(int(text.size()), facade.WriteData(handle, bytes.get(), int(text.size())));
    EXPECT_TRUE(sensor.WaitForCommand("SetExposureTime=300"));
}

}  // namespace
