// ReconnectPacing: a sensor that closes every link at once is not hammered,
// and a link that stays silent past its time-out is dropped and reopened.
#include <gtest/gtest.h>

#include <thread>

#include "sensor_library/TcpInterface.h"
#include "support/SimulatedSensor.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;
using TestSupport::WaitUntil;

namespace {

// A loopback peer that accepts every connection and closes it at once.
class ClosingPeer {
public:
    ClosingPeer()
    {
        Platform::SocketAddress address;
        Platform::SocketAddress::Parse("127.0.0.1", "0", address);
        listener.Bind(address);
        listener.Listen(16);
        listener.LocalAddress(address);
        port = std::to_string(address.port);
        thread = std::thread([this] {
            while (!stop.IsWoken()) accepted += listener.Accept(200, &stop).IsValid();
        });
    }
    ~ClosingPeer()
    {
        stop.Wake();
        thread.join();
    }

    Platform::Socket listener = Platform::Socket::Tcp();
    Platform::WakeSignal stop;
    std::string port;
    std::atomic<int> accepted{0};
    std::thread thread;
};

class ReconnectPacingTest : public ::testing::Test {
protected:
    void Start(const std::string& port, uint32_t timeout_ms)
    {
        transport.SetLogger(LibraryLogger());
        transport.SetCallbacks([&] { ++connects; }, nullptr, nullptr, 0,
                               [&](char*, int length) { received += length; });
        transport.start(TransportTarget{"127.0.0.1", port, timeout_ms, "", ""});
    }
    void TearDown() override { transport.stop(); }

    std::atomic<int> connects{0}, received{0};
    TcpInterface transport;
};

TEST_F(ReconnectPacingTest, LinkClosedAtOnceIsReopenedAboutOnceASecond)
{
    ClosingPeer peer;
    Start(peer.port, 0);
    ASSERT_TRUE(WaitUntil([&] { return connects >= 2; }, 3s));
    // About two and a half seconds: three attempts, where unpaced ones were thousands.
    EXPECT_FALSE(WaitUntil([&] { return peer.accepted > 4; }, 1500ms));
    transport.stop();
    EXPECT_LE(connects.load(), 4);
}

// The sensor sends its linearization frame, then nothing: the link is lost
// after the time-out and opened again.
TEST_F(ReconnectPacingTest, SilentLinkIsDroppedAfterItsTimeOutAndOpenedAgain)
{
    TestSupport::SimulatedSensor sensor;
    Start(sensor.PortText(), 500);
    ASSERT_TRUE(WaitUntil([&] { return connects == 1; }));
    EXPECT_EQ(25, transport.send("SetInitializeAcquisition\r", 25));
    ASSERT_TRUE(WaitUntil([&] { return connects >= 2 && sensor.AcceptedConnections() >= 2; }, 3s));
    EXPECT_GT(received.load(), 0);
}

}  // namespace
