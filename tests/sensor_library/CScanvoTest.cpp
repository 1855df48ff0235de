#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <fstream>
#include <thread>

#include "FakeTransport.h"
#include "StreamMutator.h"
#include "platform/Assert.h"
#include "sensor_library/CScanvo.h"
#include "support/ContainerBuilder.h"
#include "support/SimulatedSensorModel.h"

namespace fs = std::filesystem;
using TestSupport::BuildLin1dd;
using TestSupport::Bytes;
using TestSupport::LinModel;
using TestSupport::ProfileContainer;
using TestSupport::ShortFrame;
using TestSupport::TextContainer;

namespace {

const std::string VERSION_COMMAND = "SetHostLibraryVersion=1.15.0   x64\r";
const std::string INIT_COMMAND = "SetInitializeAcquisition\r";

Bytes LinFrame(const LinModel& model = LinModel())
{
    return ShortFrame(0x07, BuildLin1dd(model));
}

Bytes Profile(uint16_t counter, uint32_t width = 8)
{
    return ProfileContainer(counter, counter * 100u, width);
}

// A connection on a fake transport: the test plays the sensor.
class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Connect(Settings())); }

    static ConnectSettings Settings()
    {
        ConnectSettings settings;
        settings.ip = "127.0.0.1";
        settings.port = "32001";
        settings.timeout_ms = 250;
        settings.fifo_size = 1 << 20;
        settings.receive_buffer_size = 1 << 20;
        return settings;
    }

    bool Connect(const ConnectSettings& settings)
    {
        fake = std::make_shared<FakeTransport>();
        return scanvo.ConnectWithTransportForTest(settings, fake);
    }

    void MakeReady()
    {
        fake->Connect();
        fake->Feed(LinFrame());
        ASSERT_EQ(3, scanvo.GetConnectState());
        fake->ClearSent();
    }

    Bytes TakeRaw()
    {
        Bytes out(1 << 16);
        const int count = scanvo.GetRawData(out.data(), static_cast<int32_t>(out.size()));
        out.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
        return out;
    }

    // Answers requests the way the sensor does.
    void AnswerRequests()
    {
        fake->SetResponder([this](const std::string& command) {
            if (command == "SetRequestSyncContainer\r")
                fake->Feed(TestSupport::SyncFrame(8));
            else if (command.rfind("get_xml", 0) == 0)
                fake->Feed(TextContainer("<device/>"));
            else if (command.rfind("GetSettings=", 0) == 0)
                fake->Feed(TextContainer("settings " + command.substr(12, 1)));
        });
    }

    std::shared_ptr<FakeTransport> fake;
    CScanvo scanvo;
};

TEST_F(ConnectionTest, StartsTheTransportTowardsTheSensor)
{
    EXPECT_TRUE(fake->Started());
    EXPECT_EQ("127.0.0.1", fake->StartedWith().ip);
    EXPECT_EQ("32001", fake->StartedWith().port);
    EXPECT_EQ(250u, fake->StartedWith().timeout_ms);
    EXPECT_EQ("", fake->StartedWith().host_ip);
}

TEST_F(ConnectionTest, SendsTheLibraryVersionAndTheInitializationOnConnect)
{
    fake->Connect();
    EXPECT_EQ((std::vector<std::string>{VERSION_COMMAND, INIT_COMMAND}), fake->Sent());
}

TEST_F(ConnectionTest, AReconnectEmptiesTheFifoAndSendsTheOnConnectCommandsAgain)
{
    MakeReady();
    fake->Feed(Profile(1));
    ASSERT_GT(scanvo.FifoFillBytes(), 0u);
    fake->Disconnect();
    EXPECT_EQ(0, scanvo.GetConnectState());
    fake->Connect();
    EXPECT_EQ(0u, scanvo.FifoFillBytes());
    EXPECT_EQ((std::vector<std::string>{VERSION_COMMAND, INIT_COMMAND}), fake->Sent());
}

TEST_F(ConnectionTest, RefusesAFifoSizeThatCameFromANegativeValue)
{
    ConnectSettings settings = Settings();
    settings.fifo_size = static_cast<uint32_t>(-5);
    CScanvo other;
    EXPECT_FALSE(other.ConnectWithTransportForTest(settings, std::make_shared<FakeTransport>()));
}

TEST_F(ConnectionTest, DisconnectStopsTheTransport)
{
    scanvo.Disconnect();
    EXPECT_TRUE(fake->Stopped());
}

// Readiness.
TEST_F(ConnectionTest, IsNotReadyAndTakesNoContainersBeforeTheLinearizationFrame)
{
    fake->Connect();
    fake->Feed(Profile(1));
    EXPECT_EQ(0, scanvo.GetConnectState());
    EXPECT_TRUE(TakeRaw().empty());
}

TEST_F(ConnectionTest, BecomesReadyOnceTheLinearizationFrameParses)
{
    fake->Connect();
    fake->Feed(LinFrame());
    EXPECT_EQ(3, scanvo.GetConnectState());
    EXPECT_TRUE(scanvo.IsLinDataValid());
    ASSERT_NE(nullptr, scanvo.Linearization());
    EXPECT_EQ(1280u, scanvo.Linearization()->Record().width_x);
}

TEST_F(ConnectionTest, StaysNotReadyAfterALinearizationFrameWithABadCrc)
{
    fake->Connect();
    fake->Feed(ShortFrame(0x07, BuildLin1dd(LinModel()), true));
    EXPECT_EQ(0, scanvo.GetConnectState());
    EXPECT_EQ(1u, scanvo.Statistics().crc_errors);
    fake->Feed(Profile(1));
    EXPECT_TRUE(TakeRaw().empty());
}

TEST_F(ConnectionTest, StaysNotReadyAfterLinearizationDataThatDoesNotParse)
{
    fake->Connect();
    Bytes lin = BuildLin1dd(LinModel());
    lin[0] = 'X';
    fake->Feed(ShortFrame(0x07, lin));
    EXPECT_EQ(0, scanvo.GetConnectState());
    EXPECT_EQ(nullptr, scanvo.Linearization());
}

TEST_F(ConnectionTest, ALostConnectionMakesItNotReady)
{
    MakeReady();
    fake->Disconnect();
    EXPECT_EQ(0, scanvo.GetConnectState());
    EXPECT_FALSE(scanvo.IsLinDataValid());
}

TEST(ProductionModeTest, IsReadyOnTheFirstTextBlockWithoutLinearizationData)
{
    auto fake = std::make_shared<FakeTransport>();
    CScanvo scanvo;
    scanvo.SetProductionMode(true);
    ConnectSettings settings;
    settings.fifo_size = 1 << 16;
    settings.receive_buffer_size = 1 << 16;
    ASSERT_TRUE(scanvo.ConnectWithTransportForTest(settings, fake));
    fake->Connect();
    EXPECT_EQ(0, scanvo.GetConnectState());
    fake->Feed(TextContainer("<device/>"));
    EXPECT_EQ(3, scanvo.GetConnectState());
}

// Containers into the FIFO.
TEST_F(ConnectionTest, ContainersReachTheFifoWhole)
{
    MakeReady();
    fake->Feed(Profile(1));
    fake->Feed(Profile(2));
    EXPECT_EQ(Profile(1), TakeRaw());
    EXPECT_EQ(Profile(2), TakeRaw());
    EXPECT_TRUE(TakeRaw().empty());
}

TEST_F(ConnectionTest, AContainerWithABadCrcStaysOutOfTheFifo)
{
    MakeReady();
    fake->Feed(TestSupport::ContainerBuilder().AddGeneralBlock(1, 0).AddRawProfileBlock({{1, 2, 3}}).CorruptCrc().Build());
    fake->Feed(Profile(2));
    EXPECT_EQ(1u, scanvo.Statistics().crc_errors);
    EXPECT_EQ(Profile(2), TakeRaw());
    EXPECT_TRUE(TakeRaw().empty());
}

TEST_F(ConnectionTest, ANewContainerSizeEmptiesTheFifoFirst)
{
    MakeReady();
    fake->Feed(Profile(1));
    fake->Feed(Profile(2));
    fake->Feed(Profile(3, 16));
    EXPECT_EQ(Profile(3, 16), TakeRaw());
    EXPECT_TRUE(TakeRaw().empty());
}

TEST_F(ConnectionTest, AFifoSmallerThanAContainerDropsIt)
{
    ConnectSettings settings = Settings();
    settings.fifo_size = 100;
    ASSERT_TRUE(Connect(settings));
    MakeReady();
    fake->Feed(Profile(1));
    EXPECT_TRUE(TakeRaw().empty());
}

TEST_F(ConnectionTest, AcquisitionStartAfterAStopDropsThePartlyAssembledFrame)
{
    MakeReady();
    const Bytes first = Profile(1);
    fake->Feed(Bytes(first.begin(), first.begin() + 100));
    EXPECT_EQ(static_cast<int32_t>(std::strlen("SetAcquisitionStop\r")), scanvo.WriteData("SetAcquisitionStop\r", 19));
    scanvo.WriteData("SetAcquisitionStart\r", 20);
    fake->Feed(Bytes(first.begin() + 100, first.end()));
    fake->Feed(Profile(2));
    EXPECT_EQ(Profile(2), TakeRaw());
    EXPECT_TRUE(TakeRaw().empty());
    EXPECT_EQ((std::vector<std::string>{"SetAcquisitionStop\r", "SetAcquisitionStart\r"}), fake->Sent());
}

TEST_F(ConnectionTest, UploadFileFeedsTheFileToTheReceivePathAndSendsTheCommand)
{
    const fs::path file = fs::temp_directory_path() / "sensor1-upload.bin";
    const Bytes stream = [] {
        Bytes out = LinFrame();
        const Bytes container = Profile(1, 1000);
        out.insert(out.end(), container.begin(), container.end());
        return out;
    }();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()),
                                                static_cast<std::streamsize>(stream.size()));
    fake->Connect();
    fake->ClearSent();
    const std::string command = "uploadfile=" + file.string() + "\r";
    EXPECT_EQ(static_cast<int32_t>(command.size()), scanvo.WriteData(command.c_str(), static_cast<int32_t>(command.size())));
    EXPECT_EQ(3, scanvo.GetConnectState());
    EXPECT_EQ(Profile(1, 1000), TakeRaw());
    EXPECT_EQ((std::vector<std::string>{command}), fake->Sent());
    fs::remove(file);
}

// Commands the connection handles itself.
struct LocalCommandCase {
    const char* name;
    const char* text;
    int32_t result;  // 0: the text's length
    bool sent;
};

class LocalCommandTest : public ConnectionTest, public ::testing::WithParamInterface<LocalCommandCase> {};

TEST_P(LocalCommandTest, AnswersAndSendsAsExpected)
{
    const LocalCommandCase& c = GetParam();
    const int32_t length = static_cast<int32_t>(std::strlen(c.text));
    EXPECT_EQ(c.result == 0 ? length : c.result, scanvo.WriteData(c.text, length));
    EXPECT_EQ(c.sent ? std::vector<std::string>{c.text} : std::vector<std::string>{}, fake->Sent());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LocalCommandTest,
    ::testing::Values(LocalCommandCase{"AutoConnectOff", "SetAutoConnectMode=0", 0, false},
                      LocalCommandCase{"AutoConnectOnWithCr", "SetAutoConnectMode=1\r", 0, false},
                      LocalCommandCase{"NrProfilesZero", "SetRangeImageNrProfiles=0\r", 0, false},
                      LocalCommandCase{"NrProfilesTooMany", "SetRangeImageNrProfiles=10001\r", -3, false},
                      LocalCommandCase{"NrProfilesNegative", "SetRangeImageNrProfiles=-1", -3, false},
                      LocalCommandCase{"NrProfilesNotANumber", "SetRangeImageNrProfiles=abc\r", -2, false},
                      LocalCommandCase{"NrProfilesTrailingText", "SetRangeImageNrProfiles=12x", -2, false},
                      LocalCommandCase{"XScale", "SetRangeImageXScale=0.5\r", 0, false},
                      LocalCommandCase{"ZOffsetNotANumber", "SetRangeImageZOffset=one", -2, false},
                      LocalCommandCase{"SortingOn", "SetSortingX=1\r", 0, false},
                      LocalCommandCase{"SortingOnWithoutCr", "SetSortingX=1", 0, false},
                      LocalCommandCase{"SortingTwoGoesToTheSensor", "SetSortingX=2", 0, true},
                      LocalCommandCase{"EchoOff", "SetEchoMode=0\r", 0, false},
                      LocalCommandCase{"FifoModeNewest", "SetLibraryScannerFiFoMode=0", 0, false},
                      LocalCommandCase{"OtherSetter", "SetExposureTime=100\r", 0, true},
                      LocalCommandCase{"AcquisitionStartWithoutStop", "SetAcquisitionStart\r", 0, true}),
    [](const ::testing::TestParamInfo<LocalCommandCase>& info) { return info.param.name; });

TEST_F(ConnectionTest, LocalCommandsSetTheirSwitches)
{
    scanvo.WriteData("SetAutoConnectMode=0", 20);
    EXPECT_FALSE(fake->AutoReconnect());
    scanvo.WriteData("SetSortingX=1", 13);
    EXPECT_TRUE(scanvo.IsSortingX());
    scanvo.WriteData("SetLibraryScannerFiFoMode=0", 27);
    EXPECT_TRUE(scanvo.IsFifoNewestOnly());
    scanvo.WriteData("SetLibraryScannerFiFoMode=1\r", 28);
    EXPECT_FALSE(scanvo.IsFifoNewestOnly());
    scanvo.WriteData("SetRangeImageNrProfiles=0x10", 28);
    EXPECT_EQ(16, scanvo.RangeImageNrProfiles());
    scanvo.WriteData("SetRangeImageXScale=0.25", 24);
    EXPECT_EQ(0.25f, scanvo.RangeImage().x_scale.value);
}

TEST_F(ConnectionTest, NoBufferResetStartIsSentAsAPlainStart)
{
    EXPECT_EQ(20, scanvo.WriteData("SetAcquisitionStartNoBuffReset\r", 31));
    EXPECT_EQ((std::vector<std::string>{"SetAcquisitionStart\r"}), fake->Sent());
}

TEST_F(ConnectionTest, NoBufferResetStartAfterAStopIsSentUnchanged)
{
    scanvo.WriteData("SetAcquisitionStop\r", 19);
    fake->ClearSent();
    EXPECT_EQ(31, scanvo.WriteData("SetAcquisitionStartNoBuffReset\r", 31));
    EXPECT_EQ((std::vector<std::string>{"SetAcquisitionStartNoBuffReset\r"}), fake->Sent());
}

TEST_F(ConnectionTest, NeverSendsMoreThanTheTextItself)
{
    EXPECT_EQ(4, scanvo.WriteData("Set\r", 4000));
    EXPECT_EQ((std::vector<std::string>{"Set\r"}), fake->Sent());
}

TEST_F(ConnectionTest, SaveMatrixBinWritesTheLinearizationDataAndIsSent)
{
    MakeReady();
    const fs::path folder = fs::temp_directory_path() / "sensor1-matrix";
    fs::create_directories(folder);
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    EXPECT_EQ(14, scanvo.WriteData("SaveMatrixBin\r", 14));
    fs::current_path(previous);
    EXPECT_EQ(BuildLin1dd(LinModel()).size(), fs::file_size(folder / "matrix.bin"));
    EXPECT_EQ((std::vector<std::string>{"SaveMatrixBin\r"}), fake->Sent());
    fs::remove_all(folder);
}

// Echo mode: every forwarded command is confirmed by a sync frame.
TEST_F(ConnectionTest, EchoModeConfirmsEachCommandWithASyncFrame)
{
    MakeReady();
    AnswerRequests();
    scanvo.WriteData("SetEchoMode=1", 13);
    fake->Feed(Profile(1));
    EXPECT_EQ(19, scanvo.WriteData("SetExposureTime=10\r", 19));
    EXPECT_EQ((std::vector<std::string>{"SetExposureTime=10\r", "SetRequestSyncContainer\r"}), fake->Sent());
    EXPECT_EQ(0u, scanvo.FifoFillBytes());
}

TEST_F(ConnectionTest, EchoModeWithoutASyncFrameGivesMinusTwo)
{
    MakeReady();
    scanvo.WriteData("SetEchoMode=1", 13);
    EXPECT_EQ(-2, scanvo.WriteData("SetExposureTime=10\r", 19));
}

TEST_F(ConnectionTest, EchoModeDoesNotHoldUpTheOnConnectCommands)
{
    scanvo.WriteData("SetEchoMode=1", 13);
    const auto start = std::chrono::steady_clock::now();
    fake->Connect();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ((std::vector<std::string>{VERSION_COMMAND, INIT_COMMAND}), fake->Sent());
}

// Request and reply.
TEST_F(ConnectionTest, RequestReplyGivesTheReplyTextAndItsLength)
{
    MakeReady();
    AnswerRequests();
    char buffer[64];
    uint32_t length = 0;
    EXPECT_EQ(0, scanvo.RequestReply("get_xmldescriptor\r", buffer, sizeof(buffer), &length));
    EXPECT_STREQ("<device/>", buffer);
    EXPECT_EQ(9u, length);
}

TEST_F(ConnectionTest, RequestReplyTimesOutWithMinusFive)
{
    MakeReady();
    char buffer[64];
    EXPECT_EQ(-5, scanvo.RequestReply("get_xmldescriptor\r", buffer, sizeof(buffer), nullptr));
}

TEST_F(ConnectionTest, RequestReplyTreatsAnEmptyReplyAsNone)
{
    MakeReady();
    fake->SetResponder([this](const std::string&) { fake->Feed(TextContainer("")); });
    char buffer[64];
    EXPECT_EQ(-5, scanvo.RequestReply("x\r", buffer, sizeof(buffer), nullptr));
}

TEST_F(ConnectionTest, RequestReplyWritesNothingIntoATooSmallBuffer)
{
    MakeReady();
    AnswerRequests();
    char buffer[9];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(-1, scanvo.RequestReply("get_xmldescriptor\r", buffer, sizeof(buffer), nullptr));
    EXPECT_EQ(std::string(9, '#'), std::string(buffer, 9));
}

TEST_F(ConnectionTest, AShortReplyShowsNoTailOfALongerOneBeforeIt)
{
    MakeReady();
    fake->Feed(TextContainer("a much longer earlier reply"));
    fake->SetResponder([this](const std::string&) {
        fake->Feed(TestSupport::ContainerBuilder().AddTextBlock("short", true).Build());
    });
    char buffer[64];
    EXPECT_EQ(0, scanvo.RequestReply("x\r", buffer, sizeof(buffer), nullptr));
    EXPECT_STREQ("short", buffer);
}

TEST_F(ConnectionTest, AnOversizedReplyIsCutAndTerminated)
{
    MakeReady();
    fake->SetResponder([this](const std::string&) {
        fake->Feed(TestSupport::ContainerBuilder().AddTextBlock(std::string(0x20010, 'y'), true).Build());
    });
    std::vector<char> buffer(0x30000);
    uint32_t length = 0;
    EXPECT_EQ(0, scanvo.RequestReply("x\r", buffer.data(), static_cast<uint32_t>(buffer.size()), &length));
    EXPECT_EQ(0x1FFFFu, length);
    EXPECT_EQ('\0', buffer[0x1FFFF]);
}

TEST_F(ConnectionTest, ConcurrentRequestsEachGetTheirOwnReply)
{
    MakeReady();
    std::mutex threads_mutex;
    std::vector<std::thread> answers;
    fake->SetResponder([&](const std::string& command) {
        std::lock_guard<std::mutex> lock(threads_mutex);
        answers.emplace_back([this, command] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            fake->Feed(TextContainer("reply to " + command.substr(0, command.size() - 1)));
        });
    });
    std::string first, second;
    std::thread other([&] {
        char buffer[64] = {};
        scanvo.RequestReply("one\r", buffer, sizeof(buffer), nullptr);
        first = buffer;
    });
    char buffer[64] = {};
    scanvo.RequestReply("two\r", buffer, sizeof(buffer), nullptr);
    second = buffer;
    other.join();
    {
        std::lock_guard<std::mutex> lock(threads_mutex);
        for (std::thread& answer : answers)
            answer.join();
    }
    EXPECT_EQ("reply to one", first);
    EXPECT_EQ("reply to two", second);
}

// Information texts.
TEST_F(ConnectionTest, GetInfoRefusesAMissingBufferAndUnknownKeys)
{
    char buffer[16];
    EXPECT_EQ(-2, scanvo.GetInfo(nullptr, 16, "text"));
    EXPECT_EQ(-2, scanvo.GetInfo(buffer, 0, "text"));
    EXPECT_EQ(-6, scanvo.GetInfo(buffer, sizeof(buffer), "nonsense"));
    EXPECT_EQ(-3, scanvo.GetInfo(buffer, sizeof(buffer), "text"));
    EXPECT_EQ(-3, scanvo.GetInfo(buffer, sizeof(buffer), "lintable"));
}

TEST_F(ConnectionTest, GetInfoTextDescribesTheLinearizationGeometry)
{
    MakeReady();
    char buffer[512];
    const std::string expected =
        "[general]\r\nsn=12345678\r\nz_start=100.000\r\nz_range=200.000\r\nx_range_at_start=80.000\r\n"
        "x_range_at_end=120.000\r\nwidthX=1280\r\nwidthZ=1024\r\n";
    EXPECT_EQ(static_cast<int32_t>(expected.size()), scanvo.GetInfo(buffer, sizeof(buffer), "TEXT"));
    EXPECT_EQ(expected, buffer);
    EXPECT_EQ(-2, scanvo.GetInfo(buffer, static_cast<int32_t>(expected.size()), ""));
}

TEST_F(ConnectionTest, GetInfoShowsTheLow32BitsOfTheSerialNumber)
{
    LinModel model;
    model.serial = 0x100000005ull;
    fake->Connect();
    fake->Feed(LinFrame(model));
    char buffer[512];
    ASSERT_GT(scanvo.GetInfo(buffer, sizeof(buffer), "text"), 0);
    EXPECT_NE(nullptr, std::strstr(buffer, "sn=5\r\n"));
}

TEST_F(ConnectionTest, GetInfoLintableGivesTheReceivedData)
{
    MakeReady();
    const Bytes expected = BuildLin1dd(LinModel());
    std::vector<char> buffer(expected.size());
    EXPECT_EQ(static_cast<int32_t>(expected.size()), scanvo.GetInfo(buffer.data(), static_cast<int32_t>(buffer.size()), "lintable"));
    EXPECT_EQ(0, std::memcmp(expected.data(), buffer.data(), expected.size()));
    EXPECT_EQ(-2, scanvo.GetInfo(buffer.data(), static_cast<int32_t>(buffer.size()) - 1, "lintable"));
}

TEST_F(ConnectionTest, GetInfoRequestsAnswerWithTheirCodes)
{
    MakeReady();
    AnswerRequests();
    char buffer[64];
    EXPECT_EQ(9, scanvo.GetInfo(buffer, sizeof(buffer), "xml"));
    EXPECT_STREQ("<device/>", buffer);
    EXPECT_EQ(0, scanvo.GetInfo(buffer, sizeof(buffer), "settings2"));
    EXPECT_STREQ("settings 2", buffer);
    EXPECT_EQ(1, scanvo.GetInfo(buffer, sizeof(buffer), "sync"));
    EXPECT_EQ(-2, scanvo.GetInfo(buffer, 4, "settingsdefault"));
    EXPECT_EQ((std::vector<std::string>{"get_xmldescriptor\r", "GetSettings=2\r", "SetRequestSyncContainer\r",
                                        "GetSettings=0\r"}),
              fake->Sent());
}

TEST_F(ConnectionTest, GetInfoRequestsTimeOutWithTheirCodes)
{
    MakeReady();
    char buffer[64];
    EXPECT_EQ(-4, scanvo.GetInfo(buffer, sizeof(buffer), "xml"));
    EXPECT_EQ(-5, scanvo.GetInfo(buffer, sizeof(buffer), "sync"));
}

// The linearization record.
TEST_F(ConnectionTest, GetLinDatTypeCopiesTheRecord)
{
    std::vector<uint8_t> buffer(152);
    EXPECT_EQ(-1, scanvo.GetLinDatType(buffer.data(), 151));
    EXPECT_EQ(-1, scanvo.GetLinDatType(nullptr, 152));
    EXPECT_EQ(-3, scanvo.GetLinDatType(buffer.data(), 152));
    MakeReady();
    ASSERT_EQ(0, scanvo.GetLinDatType(buffer.data(), 152));
    LinearizationRecord record;
    std::memcpy(&record, buffer.data(), sizeof(record));
    EXPECT_EQ(12345678u, record.serial_number);
    EXPECT_EQ(1u, record.geometry_loaded);
}

TEST_F(ConnectionTest, AReconnectMarksTheGeometryStaleUntilTheFrameComesAgain)
{
    MakeReady();
    fake->Disconnect();
    fake->Connect();
    LinearizationRecord record;
    ASSERT_EQ(0, scanvo.GetLinDatType(&record, sizeof(record)));
    EXPECT_EQ(0u, record.geometry_loaded);
    char buffer[512];
    EXPECT_EQ(-3, scanvo.GetInfo(buffer, sizeof(buffer), "text"));
    fake->Feed(LinFrame());
    ASSERT_EQ(0, scanvo.GetLinDatType(&record, sizeof(record)));
    EXPECT_EQ(1u, record.geometry_loaded);
}

TEST_F(ConnectionTest, ASnapshotOfTheLinearizationDataOutlivesItsReplacement)
{
    MakeReady();
    const std::shared_ptr<const LinearizationData> held = scanvo.Linearization();
    EXPECT_EQ(-1, scanvo.SetLinearizationFile("/nonexistent/lin.bin"));
    EXPECT_EQ(nullptr, scanvo.Linearization());
    double x = 0, z = 0;
    EXPECT_EQ(0, held->Linearize(640, 512, x, z));
    EXPECT_EQ(200.0, z);
}

TEST_F(ConnectionTest, SetLinearizationFileMakesTheFileTheConnectionsData)
{
    const fs::path file = fs::temp_directory_path() / "sensor1-lin-file.bin";
    LinModel model;
    model.width_x = 2048;
    const Bytes bytes = BuildLin1dd(model);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(0, scanvo.SetLinearizationFile(file.string()));
    ASSERT_NE(nullptr, scanvo.Linearization());
    EXPECT_EQ(2048u, scanvo.Linearization()->Record().width_x);
    fs::remove(file);
}

TEST_F(ConnectionTest, ReadDataOfAnUnknownNameClearsTheBufferOrWritesNothing)
{
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(-3, scanvo.ReadData("NoSuchValue", buffer, sizeof(buffer), 0));
    EXPECT_EQ('\0', buffer[0]);
    buffer[0] = 'x';
    EXPECT_EQ(-1, scanvo.ReadData("NoSuchValue", buffer, 0, 0));
    EXPECT_EQ('x', buffer[0]);
}

// The receive state is touched by one thread at a time, whoever calls.
TEST_F(ConnectionTest, CommandsFromAnotherThreadDoNotDisturbTheReceivePath)
{
    MakeReady();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i) {
            scanvo.WriteData("SetAcquisitionStop\r", 19);
            scanvo.WriteData("SetAcquisitionStart\r", 20);
            (void)scanvo.Statistics();
            (void)scanvo.IsSynchronised();
        }
        done = true;
    });
    std::thread reader([&] {
        while (!done)
            (void)TakeRaw();
    });
    for (uint16_t counter = 1; counter <= 500; ++counter)
        fake->Feed(Profile(counter));
    writer.join();
    reader.join();
    EXPECT_EQ(0u, scanvo.Statistics().crc_errors);
}

// Hostile streams through the whole connection: text blocks of every
// length into the reply, containers into the FIFO, garbage linearization.
std::atomic<int> connection_assertions{0};

TEST(ConnectionFuzzTest, SurvivesMutatedStreamsAndStillDeliversCleanContainers)
{
    connection_assertions = 0;
    const Platform::AssertionHook previous = Platform::SetAssertionHookForTest(
        [](const char*, const char*, int) { ++connection_assertions; });
    auto fake = std::make_shared<FakeTransport>();
    CScanvo scanvo;
    scanvo.SetProductionMode(true);
    ConnectSettings settings;
    settings.fifo_size = 1 << 16;
    settings.receive_buffer_size = StreamMutator::BUFFER;
    ASSERT_TRUE(scanvo.ConnectWithTransportForTest(settings, fake));
    fake->Connect();
    const std::vector<Bytes> frames = {Profile(1), Profile(2, 40), TextContainer("<device/>"),
                                       TextContainer(std::string(3000, 't')),
                                       TestSupport::SyncFrame(8), ShortFrame(0x07, Bytes(30, 1))};
    std::mt19937 random(77);
    Bytes out(1 << 12);
    for (int i = 0; i < 20000; ++i) {
        Bytes input = frames[random() % frames.size()];
        const Bytes& second = frames[random() % frames.size()];
        input.insert(input.end(), second.begin(), second.end());
        StreamMutator::Mutate(input, random);
        std::size_t offset = 0;
        for (std::size_t piece : StreamMutator::Pieces(input.size(), random)) {
            piece = std::min(piece, input.size() - offset);
            fake->Feed(Bytes(input.begin() + static_cast<long>(offset),
                             input.begin() + static_cast<long>(offset + piece)));
            offset += piece;
        }
        while (scanvo.GetRawData(out.data(), static_cast<int32_t>(out.size())) > 0) {
        }
    }
    for (int k = 0; k < 14; ++k)
        fake->Feed(Profile(9));
    const int taken = scanvo.GetRawData(out.data(), static_cast<int32_t>(out.size()));
    ASSERT_GT(taken, 0);
    out.resize(static_cast<std::size_t>(taken));
    EXPECT_EQ(Profile(9), out);
    Platform::SetAssertionHookForTest(previous);
    EXPECT_EQ(0, connection_assertions.load());
}

}  // namespace
