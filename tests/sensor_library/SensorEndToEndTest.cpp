#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "sensor_library/CScanvo.h"
#include "support/ContainerBuilder.h"
#include "support/SimulatedSensor.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;
using TestSupport::Bytes;
using TestSupport::SimulatedSensor;
using TestSupport::WaitUntil;

namespace {

constexpr uint32_t WIDTH = 64;

uint16_t PictureCounterOf(const Bytes& container)
{
    return static_cast<uint16_t>(container[16] | (container[17] << 8));
}

// A connection to the simulated sensor over loopback.
class SensorEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { sensor.SetStreamWidth(WIDTH); }

    void Connect(SimulatedSensor& target, uint32_t mode = 0, const std::string& host_port = "")
    {
        ConnectSettings settings;
        settings.ip = target.Ip();
        settings.port = target.PortText();
        settings.fifo_size = 1 << 22;
        settings.receive_buffer_size = 1 << 22;
        settings.mode = mode;
        if (mode != 0) {
            settings.host_ip = "127.0.0.1";
            settings.host_port = host_port;
        }
        ASSERT_TRUE(scanvo.Connect(settings));
    }

    void ConnectReady()
    {
        Connect(sensor);
        ASSERT_TRUE(WaitUntil([&] { return scanvo.GetConnectState() == 3; }));
    }

    std::string Xml()
    {
        std::vector<char> buffer(1 << 16);
        const int32_t length = scanvo.GetInfo(buffer.data(), static_cast<int32_t>(buffer.size()), "xml");
        return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
    }

    // Takes containers until `count` have come or the wait ends.
    std::vector<Bytes> TakeContainers(std::size_t count)
    {
        std::vector<Bytes> taken;
        WaitUntil(
            [&] {
                Bytes buffer(1 << 16);
                const int n = scanvo.GetRawData(buffer.data(), static_cast<int32_t>(buffer.size()));
                if (n > 0) {
                    buffer.resize(static_cast<std::size_t>(n));
                    taken.push_back(buffer);
                }
                return taken.size() >= count;
            },
            5s);
        return taken;
    }

    // Starts streaming and takes `count` containers, each exactly as sent.
    std::vector<Bytes> StreamAndTake(std::size_t count)
    {
        scanvo.WriteData("SetAcquisitionStart\r", 20);
        const std::vector<Bytes> containers = TakeContainers(count);
        EXPECT_EQ(count, containers.size());
        for (const Bytes& container : containers) {
            const uint16_t counter = PictureCounterOf(container);
            EXPECT_EQ(TestSupport::ProfileContainer(counter, counter * 1000u, WIDTH), container);
        }
        return containers;
    }

    SimulatedSensor sensor;
    CScanvo scanvo;  // after the sensor: disconnects first
};

TEST_F(SensorEndToEndTest, ConnectsSendsTheOnConnectCommandsAndBecomesReady)
{
    ConnectReady();
    // The sensor records a command after answering it.
    ASSERT_TRUE(sensor.WaitForCommand("SetInitializeAcquisition"));
    const std::vector<TestSupport::ReceivedCommand> commands = sensor.Commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ("SetHostLibraryVersion=1.15.0   x64", commands[0].text);
    EXPECT_TRUE(commands[0].had_cr);
    EXPECT_EQ("SetInitializeAcquisition", commands[1].text);
    EXPECT_TRUE(commands[1].had_cr);
}

TEST_F(SensorEndToEndTest, ReadsTheXmlDescription)
{
    ConnectReady();
    EXPECT_NE(std::string::npos, Xml().find("<serialnumber>12345678</serialnumber>"));
}

TEST_F(SensorEndToEndTest, ASettingWrittenReadsBackFromTheSensor)
{
    ConnectReady();
    const char* command = "SetExposureTime=321\r";
    EXPECT_EQ(20, scanvo.WriteData(command, 20));
    EXPECT_NE(std::string::npos, Xml().find("<exposuretime><current>321</current></exposuretime>"));
}

TEST_F(SensorEndToEndTest, SettingsRequestsWithoutCarriageReturnAreAnswered)
{
    ConnectReady();
    char buffer[128];
    uint32_t length = 0;
    EXPECT_EQ(0, scanvo.RequestReply("GetSettings=3", buffer, sizeof(buffer), &length));
    EXPECT_EQ(0, std::strncmp(buffer, "settings=3\r\n", 12));
}

TEST_F(SensorEndToEndTest, StreamedContainersArriveWholeAndInOrder)
{
    ConnectReady();
    const std::vector<Bytes> containers = StreamAndTake(20);
    ASSERT_EQ(20u, containers.size());
    for (std::size_t i = 1; i < containers.size(); ++i)
        EXPECT_EQ(PictureCounterOf(containers[i - 1]) + 1, PictureCounterOf(containers[i]));
    EXPECT_EQ(0u, scanvo.Statistics().crc_errors);
}

TEST_F(SensorEndToEndTest, OddChunksAndGarbageDoNotCostAnyContainer)
{
    sensor.SetChunking(TestSupport::ChunkMode::Random, 37, 99);
    ConnectReady();
    StreamAndTake(5);
    scanvo.WriteData("SetAcquisitionStop\r", 19);
    ASSERT_TRUE(WaitUntil([&] { return !sensor.IsStreaming(); }));
    sensor.SendRaw(Bytes{0xff, 0x01, 0x1a, 0x02, 0xff, 0xff, 0xff, 0x7f, 0x07, 0x19, 0, 0, 0, 9, 9});
    StreamAndTake(10);
    EXPECT_EQ(0u, scanvo.Statistics().crc_errors);
}

TEST_F(SensorEndToEndTest, AContainerWithABadCrcIsCountedAndSkipped)
{
    ConnectReady();
    sensor.CorruptNextCrc();
    StreamAndTake(5);
    EXPECT_EQ(1u, scanvo.Statistics().crc_errors);
}

TEST_F(SensorEndToEndTest, ReconnectsAfterADropAndRepeatsTheOnConnectCommands)
{
    ConnectReady();
    sensor.DropConnectionNow();
    ASSERT_TRUE(sensor.WaitForCommand("SetInitializeAcquisition", 3s, 2));
    EXPECT_TRUE(WaitUntil([&] { return scanvo.GetConnectState() == 3; }));
    EXPECT_EQ(2u, sensor.CountCommand("SetHostLibraryVersion=1.15.0   x64"));
    EXPECT_EQ(2, sensor.AcceptedConnections());
}

TEST_F(SensorEndToEndTest, KeepsRetryingWhileTheSensorRefusesAndConnectsWhenItAccepts)
{
    ConnectReady();
    sensor.RefuseConnections(true);
    sensor.DropConnectionNow();
    ASSERT_TRUE(WaitUntil([&] { return scanvo.GetConnectState() == 0; }));
    EXPECT_FALSE(WaitUntil([&] { return sensor.AcceptedConnections() > 1; }, 1200ms));
    sensor.RefuseConnections(false);
    EXPECT_TRUE(WaitUntil([&] { return scanvo.GetConnectState() == 3; }, 4s));
    EXPECT_EQ(2, sensor.AcceptedConnections());
}

TEST_F(SensorEndToEndTest, DisconnectsAndConnectsAgain)
{
    ConnectReady();
    scanvo.Disconnect();
    EXPECT_EQ(0, scanvo.GetConnectState());
    ConnectReady();
    EXPECT_EQ(2, sensor.AcceptedConnections());
}

TEST_F(SensorEndToEndTest, ABrokenLinearizationFrameLeavesTheSensorNotReady)
{
    sensor.SetLinMode(TestSupport::LinMode::BadCrc);
    Connect(sensor);
    ASSERT_TRUE(sensor.WaitForCommand("SetInitializeAcquisition"));
    EXPECT_FALSE(WaitUntil([&] { return scanvo.GetConnectState() == 3; }, 500ms));
}

TEST_F(SensorEndToEndTest, InProductionModeTheSensorsFirstTextMakesItReady)
{
    sensor.SetLinMode(TestSupport::LinMode::Omit);
    sensor.SetUnsolicitedXml(true);
    scanvo.SetProductionMode(true);
    ConnectReady();
    EXPECT_FALSE(scanvo.IsLinDataValid());
    StreamAndTake(3);
}

TEST_F(SensorEndToEndTest, ALinearizationFrameSentOnAcceptMakesItReady)
{
    sensor.SetLinMode(TestSupport::LinMode::Omit);
    sensor.SetLinOnAccept(true);
    ConnectReady();
    EXPECT_TRUE(scanvo.IsLinDataValid());
}

TEST_F(SensorEndToEndTest, APictureCounterJumpIsCountedOnceAndTheStreamGoesOn)
{
    ConnectReady();
    StreamAndTake(3);
    const uint32_t errors = scanvo.Statistics().pic_count_errors;
    sensor.JumpPictureCounter(5);
    EXPECT_TRUE(WaitUntil([&] { return scanvo.Statistics().pic_count_errors == errors + 1; }));
    EXPECT_FALSE(WaitUntil([&] { return scanvo.Statistics().pic_count_errors > errors + 1; }, 200ms));
    EXPECT_FALSE(TakeContainers(5).empty());
}

TEST_F(SensorEndToEndTest, StreamsOverUdpToTheHostAddress)
{
    SimulatedSensor udp_sensor(SimulatedSensor::Options{"127.0.0.1", true});
    udp_sensor.SetStreamWidth(WIDTH);
    Platform::Socket probe = Platform::Socket::Udp();
    Platform::SocketAddress address;
    Platform::SocketAddress::Parse("127.0.0.1", "0", address);
    probe.Bind(address);
    probe.LocalAddress(address);
    probe.Close();
    Connect(udp_sensor, 1, std::to_string(address.port));
    ASSERT_TRUE(WaitUntil([&] { return scanvo.GetConnectState() == 3; }, 5s));
    StreamAndTake(10);
    scanvo.Disconnect();
    ASSERT_TRUE(udp_sensor.WaitForCommand("SetAcquisitionStop", 2s, 2));
    const std::vector<std::string> texts = udp_sensor.CommandTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ("SetUDPSocketStart=0", texts[texts.size() - 2]);
    EXPECT_EQ("SetAcquisitionStop", texts.back());
}

}  // namespace
