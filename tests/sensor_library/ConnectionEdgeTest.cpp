// Edges of a connection's life: state kept from before must not pass for the
// present, and calls must return whatever the sensor or the application's
// read-data callback does.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "ReadyConnection.h"
#include "TestLogging.h"
#include "sensor_library/ScanvoDLL.h"

using namespace std::chrono_literals;
using namespace TestSupport;

namespace {

using XmlCacheAgeTest = FakeConnection;

TEST_F(XmlCacheAgeTest, AnAgeLimitedReadOfANeverFilledCacheAsksTheSensor)
{
    char text[64];
    scanvo.ReadData("SerialNumber", text, sizeof(text), 5000);
    EXPECT_EQ(std::vector<std::string>{"get_xmldescriptorexpert\r"}, fake->Sent());
}

// The sensor's XML lacks pixel_x_max; its first stream came with a scale block.
class PartialFieldTest : public ReadyConnection {
protected:
    PartialFieldTest() { xml_values.erase("device:general:pixel_x_max"); }
};

TEST_F(PartialFieldTest, TakesTheRangeDefaultsItCanAndForgetsTheScaleOnReconnect)
{
    EXPECT_EQ(std::make_pair(-60.0f, 100.0f), std::make_pair(scanvo.RangeImage().x_offset.value, scanvo.RangeImage().z_offset.value));
    for (const char* command : {"SetRangeImageXScale=0", "SetRangeImageZScale=0"})
        EXPECT_EQ(-3, scanvo.WriteData(command, 21)) << command;
    double x = 0, z = 0;
    for (const bool first : {true, false}) {
        ContainerBuilder builder;
        builder.AddBlock(Tag::LINEAR_PROFILE, LinearProfilePayload(1, 1, {2, 4, 1, 0}, {960, 0, 320}));
        fake->Feed(first ? builder.AddBlock(Tag::SCALE, ScalePayload(2, 0, 2, 0)).Build() : builder.Build());
        ASSERT_EQ(1, scanvo.GetXZIExtended(&x, &z, nullptr, nullptr, 1, nullptr, nullptr, 0, nullptr, 0, nullptr));
        fake->Disconnect();
        fake->Connect();
        fake->Feed(ShortFrame(0x07, lin));
    }
    EXPECT_EQ(std::make_pair(320.0, 960.0), std::make_pair(x, z));
}

// Echo 1 is in the first scan's mask, not in the second's; its X in the first
// scan would order the second scan's two columns the other way.
TEST(EchoMaskTest, SortsByNoEchoOfAnEarlierScan)
{
    ProfileDecoder decoder;
    auto record = std::make_unique<ScanvoProfileRecord>();
    for (const uint8_t mask : {3, 2}) {
        const Bytes container = ContainerBuilder()
                                    .AddBlock(Tag::RAW_PROFILE, RawProfilePayload(mask, 1, {16, 0, 0, 0}, Bytes(mask == 3 ? 8 : 4, 9)))
                                    .Build();  // Z only
        ASSERT_TRUE(decoder.DecodeProfileContainer(container.data(), uint32_t(container.size()), false, *record));
        for (uint32_t n = 0; n < 4; ++n) {  // as linearized: columns n % 2, echoes n / 2
            if (record->HasEcho(n / 2))
                record->SetEchoForTest(n % 2, n / 2, ScanvoEcho{true, 9, 0, 0, 0, 0, mask == 3 ? n % 2 : 20.0 - n % 2 * 10, 1});
        }
    }
    double x[2] = {};
    ASSERT_EQ(2, decoder.EmitPoints(*record, true, PointArrays{x, nullptr, nullptr, nullptr, 2}));
    EXPECT_EQ((std::vector<double>{10, 20}), std::vector<double>(x, x + 2));
}

// The callback disconnects its own sensor (refused), then calls on it without
// a pause while the test's thread disconnects it.
struct CallbackScene {
    static void OnData(void* context, char*, int)
    {
        auto& scene = *static_cast<CallbackScene*>(context);
        void* const handle = scene.handle;
        if (handle == nullptr || scene.acting.exchange(true))
            return;
        scene.refused = scene.facade.Disconnect(handle);
        const auto end = std::chrono::steady_clock::now() + 5s;
        int status = 0;
        while (std::chrono::steady_clock::now() < end &&
               scene.facade.GetConnectStatus(handle, &status) != ScanvoDLL::UNKNOWN_HANDLE) {
        }
    }

    ScanvoDLL facade;
    std::atomic<void*> handle{nullptr};
    std::atomic<void*> refused{nullptr};
    std::atomic<bool> acting{false};
};

int RunCallbackScene()
{
    SimulatedSensor sensor;
    CallbackScene scene;
    scene.facade.SetReadDataCallback(&scene, reinterpret_cast<void*>(&CallbackScene::OnData));
    void* const handle = scene.facade.Connect(sensor.Ip().c_str(), sensor.PortText().c_str(), 0, 0,
                                              nullptr, nullptr);
    scene.handle = handle;
    scene.facade.WriteData(handle, "get_xmldescriptor\r", 18);  // one more chunk to call back with
    if (!WaitUntil([&] { return scene.refused == handle; }, 5s))
        return 2;
    std::atomic<void*> result{handle};
    std::thread closer([&] { result = scene.facade.Disconnect(handle); });
    if (!WaitUntil([&] { return result == nullptr; }, 5s))
        std::_Exit(3);  // hung
    closer.join();
    return 0;
}

TEST(ReadDataCallbackTest, RefusesADisconnectFromItAndEndsOneRacingIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(RunCallbackScene()), ::testing::ExitedWithCode(0), "");
}

// An exception out of the application's callback, once armed, ends the link
// instead of the process: the ready connection then reports itself lost.
int RunThrowingCallback()
{
    SimulatedSensor sensor;
    ScanvoDLL facade;
    std::atomic<bool> armed{false};
    void (*const throwing)(void*, char*, int) = [](void* context, char*, int) {
        if (static_cast<std::atomic<bool>*>(context)->load())
            throw std::runtime_error("the application's callback failed");
    };
    facade.SetReadDataCallback(&armed, reinterpret_cast<void*>(throwing));
    void* const handle =
        facade.Connect(sensor.Ip().c_str(), sensor.PortText().c_str(), 0, 0, nullptr, nullptr);
    const auto status_is = [&](int wanted) {
        int status = -1;
        return facade.GetConnectStatus(handle, &status) == 0 && status == wanted;
    };
    if (!WaitUntil([&] { return status_is(3); }, 5s)) return 2;
    armed = true;
    facade.WriteData(handle, "get_xmldescriptor\r", 18);
    const bool lost = WaitUntil([&] { return status_is(0); }, 5s);
    facade.Disconnect(handle);
    return lost ? 0 : 3;
}

TEST(ReadDataCallbackTest, AnExceptionFromItEndsTheLinkNotTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(RunThrowingCallback()), ::testing::ExitedWithCode(0), "");
}

// A sensor that keeps its connections but never reads: nobody accepts them
// from the listener's backlog, whose receive buffer is as small as can be.
TEST(DeafSensorTest, ASendEndsAfterTheTimeOutOrWithADisconnect)
{
    Platform::Socket listener = Platform::Socket::Tcp();
    Platform::SocketAddress address;
    Platform::SocketAddress::Parse("127.0.0.1", "0", address);
    ASSERT_TRUE(listener.SetBufferSizes(1) && listener.Bind(address) && listener.Listen(2) &&
                listener.LocalAddress(address));
    ScanvoDLL facade;
    const std::string much(32 << 20, 'x');
    std::vector<std::thread> threads;
    for (const int timeout_ms : {0, 60000}) {
        void* handle = facade.Connect("127.0.0.1", std::to_string(address.port).c_str(), timeout_ms,
                                      0, nullptr, nullptr);
        EXPECT_TRUE(WaitUntil([&] { return facade.WriteData(handle, "x\r", 2) == 2; }));
        auto failed = std::make_shared<std::atomic<bool>>(false);
        threads.emplace_back([&, handle, failed] {
            *failed = facade.WriteData(handle, much.c_str(), int(much.size())) == -1;
        });
        if (timeout_ms != 0 && !WaitUntil([&] { return failed->load(); }, 300ms))
            threads.emplace_back([&, handle] { facade.Disconnect(handle); });
        // Only a hang guard: a sanitizer build on a busy machine spends seconds
        // on the 32 MiB alone, and 20 s still tells a disconnect from 60 s.
        EXPECT_TRUE(WaitUntil([&] { return failed->load(); }, 20s)) << timeout_ms;
    }
    listener.Close();  // resets the connections: frees what still hangs
    for (std::thread& thread : threads)
        thread.join();
}

// The handle comes first; a UDP link that never got its socket (the host
// port is taken) has no stream to stop.
TEST(NoSensorTest, AnswersForTheHandleFirstAndStopsNoStreamThatNeverStarted)
{
    ScopedAppData app;
    app.WriteConfig("activate_log=1\nsink_type=0\n");
    DebugCapture capture;
    ScanvoDLL facade;
    int status = 0;
    EXPECT_EQ(ScanvoDLL::UNKNOWN_HANDLE, facade.GetConnectStatus(&status, nullptr));
    EXPECT_EQ(ScanvoDLL::UNKNOWN_HANDLE, facade.WriteData(nullptr, nullptr, 0));
    Platform::Socket squatter = Platform::Socket::Udp();
    Platform::SocketAddress address;
    Platform::SocketAddress::Parse("127.0.0.1", "0", address);
    ASSERT_TRUE(squatter.Bind(address) && squatter.LocalAddress(address));
    void* handle =
        facade.Connect("127.0.0.1", "9", 0, 1, "127.0.0.1", std::to_string(address.port).c_str());
    ASSERT_TRUE(WaitUntil([] { return DebugCapture::Count("Trying to bind") > 0; }));
    EXPECT_EQ(nullptr, facade.Disconnect(handle));
    EXPECT_EQ(0u, DebugCapture::Count("Error: Set"));
}

}  // namespace
