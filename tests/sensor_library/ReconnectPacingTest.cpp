// ReconnectPacing: a sensor that closes every link at once is not hammered.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sensor_library/TcpInterface.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;

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
            while (!stop.IsWoken()) {
                if (listener.Accept(200, &stop).IsValid())
                    ++accepted;
            }
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

}  // namespace

TEST(ReconnectPacingTest, LinkClosedAtOnceIsReopenedAboutOnceASecond)
{
    ClosingPeer peer;
    std::atomic<int> connects{0};
    TcpInterface transport;
    transport.SetLogger(LibraryLogger());
    transport.SetCallbacks([&] { ++connects; }, nullptr, nullptr, 0, nullptr);
    transport.start(TransportTarget{"127.0.0.1", peer.port, 0, "", ""});
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return connects >= 2; }, 3s));
    // About two and a half seconds: three attempts, where unpaced ones were thousands.
    EXPECT_FALSE(TestSupport::WaitUntil([&] { return peer.accepted > 4; }, 1500ms));
    transport.stop();
    EXPECT_LE(connects.load(), 4);
}
