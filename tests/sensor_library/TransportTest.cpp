#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "TestLogging.h"
#include "sensor_library/TcpInterface.h"
#include "sensor_library/UdpInterface.h"
#include "support/SimulatedSensor.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;
using TestSupport::Bytes;
using TestSupport::WaitUntil;

namespace {

std::size_t CountLines(const std::string& part)
{
    return DebugCapture::Count(part);
}

// A port on 127.0.0.1 that nobody listens on: connects to it are refused.
uint16_t UnusedPort(bool udp)
{
    Platform::Socket probe = udp ? Platform::Socket::Udp() : Platform::Socket::Tcp();
    Platform::SocketAddress address;
    Platform::SocketAddress::Parse("127.0.0.1", "0", address);
    probe.Bind(address);
    probe.LocalAddress(address);
    return address.port;
}

// Watches a transport's callbacks, with its log lines on the captured
// debug output (the test writes a configuration that logs to the console).
class TransportTest : public ::testing::Test {
protected:
    TransportTest() { app.WriteConfig("activate_log=1\nsink_type=0\n"); }

    void TearDown() override
    {
        if (transport)
            transport->stop();
    }

    void Install(EthernetInterface& link)
    {
        link.SetLogger(LibraryLogger::ConfigureLogging("", "1"));
        link.SetCallbacks([this] { ++connects; }, [this] { ++disconnects; },
                          [this](char* data, int length) {
                              std::lock_guard<std::mutex> lock(received_mutex);
                              received.append(data, static_cast<std::size_t>(length));
                          },
                          0, [this](char*, int length) { read_data_bytes += length; });
    }

    void StartTcp(const std::string& port, uint32_t timeout_ms = 0)
    {
        transport = std::make_unique<TcpInterface>();
        Install(*transport);
        transport->start(TransportTarget{"127.0.0.1", port, timeout_ms, "", ""});
    }

    // The kernel completes a connect before the sensor has accepted it.
    void ConnectedOnBothEnds(const TestSupport::SimulatedSensor& sensor)
    {
        ASSERT_TRUE(WaitUntil([&] { return connects == 1; }));
        ASSERT_TRUE(WaitUntil([&] { return sensor.AcceptedConnections() == 1; }));
    }

    std::string Received()
    {
        std::lock_guard<std::mutex> lock(received_mutex);
        return received;
    }

    ScopedAppData app;
    DebugCapture capture;
    std::unique_ptr<EthernetInterface> transport;
    std::atomic<int> connects{0};
    std::atomic<int> disconnects{0};
    std::atomic<int> read_data_bytes{0};
    std::mutex received_mutex;
    std::string received;
};

TEST_F(TransportTest, TcpDropsASilentLinkAfterItsTimeoutAndReconnects)
{
    TestSupport::SimulatedSensor sensor;
    StartTcp(sensor.PortText(), 500);
    ASSERT_TRUE(WaitUntil([&] { return connects >= 2; }, 3s));
    EXPECT_GE(disconnects.load(), 1);
    EXPECT_GE(CountLines("connection is lost in select, try to reconnect. Error: 0"), 1u);
    EXPECT_TRUE(WaitUntil([&] { return sensor.AcceptedConnections() >= 2; }));
}

// Refusals come back at once; unpaced, the retries would be thousands. A
// stop ends the wait between them.
TEST_F(TransportTest, TcpRetriesARefusedSensorAboutOnceASecondUntilStopped)
{
    StartTcp(std::to_string(UnusedPort(false)));
    EXPECT_EQ(-1, transport->send("x\r", 2));
    ASSERT_TRUE(WaitUntil([&] { return CountLines("Trying to connect. Error: -1") >= 1; }));
    EXPECT_FALSE(WaitUntil([&] { return CountLines("Trying to connect") >= 5; }, 2500ms));
    EXPECT_GE(CountLines("Trying to connect"), 2u);
    EXPECT_EQ(0, connects.load());
    auto stopped = std::async(std::launch::async, [&] { transport->stop(); });
    EXPECT_EQ(std::future_status::ready, stopped.wait_for(2s));
    EXPECT_EQ(1u, CountLines("Exit TCP client thread."));
}

// Without auto-reconnect the thread ends; a send to the reset peer then
// fails without killing the process.
TEST_F(TransportTest, TcpWithoutAutoReconnectEndsWhenTheSensorCloses)
{
    TestSupport::SimulatedSensor sensor;
    StartTcp(sensor.PortText());
    ConnectedOnBothEnds(sensor);
    transport->SetAutoReconnect(false);
    sensor.DropConnectionNow();
    ASSERT_TRUE(WaitUntil([&] { return CountLines("Exit TCP client thread.") == 1; }));
    EXPECT_EQ(1u, CountLines("connection is lost in recv, Exit. Error: 0"));
    EXPECT_FALSE(transport->IsConnected());
    EXPECT_EQ(1, connects.load());
    EXPECT_GE(disconnects.load(), 1);
    const std::string block(65536, 'x');
    int result = 0;
    for (int i = 0; i < 200 && result >= 0; ++i)
        result = transport->send(block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(-1, result);
}

// UDP: the sensor is told where to stream, and only its address is heard.
class UdpTransportTest : public TransportTest {
protected:
    void StartUdp(const TestSupport::SimulatedSensor& sensor)
    {
        host_port = std::to_string(UnusedPort(true));
        transport = std::make_unique<UdpInterface>();
        Install(*transport);
        transport->start(TransportTarget{sensor.Ip(), sensor.PortText(), 0, "127.0.0.1", host_port});
    }
    std::string host_port;
};

// Set up in order without carriage returns, only the sensor's address heard
// (from any port), and a stop that tells the sensor to stop streaming first.
TEST_F(UdpTransportTest, SetsUpTheStreamHearsOnlyTheSensorAndStopsItFirst)
{
    TestSupport::SimulatedSensor sensor(TestSupport::SimulatedSensor::Options{"127.0.0.1", true});
    StartUdp(sensor);
    ASSERT_TRUE(WaitUntil([&] { return connects == 1; }, 5s));
    ASSERT_TRUE(sensor.WaitForCommand("SetUDPSocketStart=1", 5s));
    const std::vector<std::string> expected = {"SetUDPSocketStart=0", "SetAcquisitionStop",
                                               "SetUDPSocketIP=127.0.0.1",
                                               "SetUDPSocketPort=" + host_port, "SetUDPSocketStart=1"};
    EXPECT_EQ(expected, sensor.CommandTexts());
    for (const TestSupport::ReceivedCommand& command : sensor.Commands())
        EXPECT_FALSE(command.had_cr) << command.text;
    sensor.SendFromOtherAddress(Bytes{'n', 'o'}, "127.0.0.2");
    sensor.SendFromOtherPort(Bytes{'y', 'e', 's'});
    sensor.SendRaw(Bytes{'!'});
    ASSERT_TRUE(WaitUntil([&] { return Received().size() >= 4; }));
    EXPECT_EQ("yes!", Received());
    sensor.ClearCommands();
    transport->stop();
    ASSERT_TRUE(sensor.WaitForCommand("SetAcquisitionStop")) << DebugCapture::Text();
    EXPECT_EQ((std::vector<std::string>{"SetUDPSocketStart=0", "SetAcquisitionStop"}),
              sensor.CommandTexts());
}

}  // namespace
