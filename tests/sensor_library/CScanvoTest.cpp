// The connection object on a fake transport, the test playing the sensor:
// connects, containers into the FIFO, local commands, file commands,
// information texts and the linearization data.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "ReadyConnection.h"

namespace fs = std::filesystem;
using namespace TestSupport;

namespace {

const std::vector<std::string> ON_CONNECT = {"SetHostLibraryVersion=1.15.0   x64\r",
                                             "SetInitializeAcquisition\r"};
using Sent = std::vector<std::string>;

fs::path WriteFile(const char* name, const Bytes& bytes)
{
    const fs::path file = fs::temp_directory_path() / name;
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
}

class ConnectionTest : public FakeConnection {
protected:
    Bytes TakeRaw()
    {
        Bytes out(1 << 16);
        const int count = scanvo.GetRawData(out.data(), static_cast<int32_t>(out.size()));
        out.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
        return out;
    }
    int32_t Write(const std::string& text) { return scanvo.WriteData(text.c_str(), static_cast<int32_t>(text.size())); }
};

// A reconnect can make the connection ready again before anyone looked at
// the state: only the link count shows it.
TEST_F(ConnectionTest, SendsTheOnConnectCommandsAtEveryConnectAndEmptiesTheFifo)
{
    EXPECT_EQ(0u, scanvo.LinkCount());
    fake->Connect();
    EXPECT_EQ(ON_CONNECT, fake->Sent());
    fake->Feed(ShortFrame(0x07, lin));
    fake->Feed(RawScan(1));
    ASSERT_GT(scanvo.FifoFillBytes(), 0u);
    EXPECT_EQ(3, scanvo.GetConnectState());
    fake->ClearSent();
    fake->Disconnect();
    EXPECT_EQ(0, scanvo.GetConnectState());
    EXPECT_FALSE(scanvo.IsLinDataValid());
    fake->Connect();
    EXPECT_EQ(0u, scanvo.FifoFillBytes());
    EXPECT_EQ(ON_CONNECT, fake->Sent());
    fake->Feed(ShortFrame(0x07, lin));
    EXPECT_EQ(3, scanvo.GetConnectState());
    EXPECT_EQ(2u, scanvo.LinkCount());
    scanvo.Disconnect();
    EXPECT_TRUE(fake->Stopped());
    ConnectSettings negative = Settings();
    negative.fifo_size = static_cast<uint32_t>(-5);
    EXPECT_FALSE(CScanvo().ConnectWithTransportForTest(negative, std::make_shared<FakeTransport>()));
}

TEST_F(ConnectionTest, StoresCheckedContainersWholeAndEmptiesTheFifoOnANewSize)
{
    MakeReady();
    Bytes bad_crc = RawScan(2);
    bad_crc.back() ^= 0x01;
    for (const Bytes& frame : {RawScan(1), bad_crc, RawScan(3), RawScan(5), RawScan(6, 16)})
        fake->Feed(frame);
    EXPECT_EQ(1u, scanvo.Statistics().crc_errors);
    EXPECT_EQ(RawScan(6, 16), TakeRaw());
    EXPECT_TRUE(TakeRaw().empty());
    fifo_size = 100;
    ASSERT_TRUE(Connect(Settings()));
    MakeReady();
    fake->Feed(RawScan(1));
    EXPECT_TRUE(TakeRaw().empty());
}

// An uploaded file goes through the receive path; the linearization data
// is saved to the working folder; both commands are sent on.
TEST_F(ConnectionTest, UploadFileAndSaveMatrixBinWorkOnFilesAndAreSent)
{
    const fs::path folder = fs::temp_directory_path() / "sensor1-files";
    fs::create_directories(folder);
    const fs::path file = WriteFile("sensor1-files/upload.bin", Concat({ShortFrame(0x07, lin), RawScan(1, 1000)}));
    fake->Connect();
    fake->ClearSent();
    const std::string command = "uploadfile=" + file.string() + "\r";
    EXPECT_EQ(static_cast<int32_t>(command.size()), Write(command));
    EXPECT_EQ(3, scanvo.GetConnectState());
    EXPECT_EQ(RawScan(1, 1000), TakeRaw());
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    EXPECT_EQ(14, Write("SaveMatrixBin\r"));
    fs::current_path(previous);
    EXPECT_EQ(lin.size(), fs::file_size(folder / "matrix.bin"));
    EXPECT_EQ((Sent{command, "SaveMatrixBin\r"}), fake->Sent());
    fs::remove_all(folder);
}

// Commands the connection handles itself, and what it sends of the others.
TEST_F(ConnectionTest, AnswersLocalCommandsAndSendsNoMoreThanTheText)
{
    // text; length given to WriteData (0: the text's); result (0: the length); what is sent
    const std::tuple<const char*, int32_t, int32_t, const char*> rows[] = {
        {"SetAutoConnectMode=1\r", 0, 0, nullptr},
        {"SetRangeImageNrProfiles=0\r", 0, 0, nullptr},
        {"SetRangeImageNrProfiles=10001\r", 0, -3, nullptr},
        {"SetRangeImageNrProfiles=-1", 0, -3, nullptr},
        {"SetRangeImageNrProfiles=abc\r", 0, -2, nullptr},
        {"SetRangeImageNrProfiles=12x", 0, -2, nullptr},
        {"SetRangeImageXScale=0.5\r", 0, 0, nullptr},
        {"SetRangeImageZOffset=one", 0, -2, nullptr},
        {"SetSortingX=1\r", 0, 0, nullptr},
        {"SetSortingX=2", 0, 0, "SetSortingX=2"},
        {"SetEchoMode=0\r", 0, 0, nullptr},
        {"SetLibraryScannerFiFoMode=0", 0, 0, nullptr},
        {"SetExposureTime=100\r", 0, 0, "SetExposureTime=100\r"},
        {"Set\r", 4000, 4, "Set\r"},
        // A start without a stop before it is a plain start.
        {"SetAcquisitionStartNoBuffReset\r", 0, 20, "SetAcquisitionStart\r"},
        {"SetAcquisitionStop\r", 0, 0, "SetAcquisitionStop\r"},
        {"SetAcquisitionStartNoBuffReset\r", 0, 0, "SetAcquisitionStartNoBuffReset\r"},
    };
    for (const auto& [text, given, result, sent] : rows) {
        fake->ClearSent();
        const int32_t length = given != 0 ? given : static_cast<int32_t>(std::strlen(text));
        EXPECT_EQ(result != 0 ? result : length, scanvo.WriteData(text, length)) << text;
        EXPECT_EQ(sent ? Sent{sent} : Sent{}, fake->Sent()) << text;
    }
    EXPECT_TRUE(fake->AutoReconnect());
    Write("SetAutoConnectMode=0");
    EXPECT_FALSE(fake->AutoReconnect());
    EXPECT_TRUE(scanvo.IsSortingX());
    EXPECT_TRUE(scanvo.IsFifoNewestOnly());
    Write("SetLibraryScannerFiFoMode=1\r");
    EXPECT_FALSE(scanvo.IsFifoNewestOnly());
    Write("SetRangeImageNrProfiles=0x10");
    EXPECT_EQ(16, scanvo.RangeImageNrProfiles());
}

// Echo mode: every forwarded command is confirmed by a sync frame, but the
// on-connect commands never wait for one.
TEST_F(ConnectionTest, EchoModeConfirmsEachCommandButNotTheOnConnectOnes)
{
    Write("SetEchoMode=1");
    const auto start = std::chrono::steady_clock::now();
    fake->Connect();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(ON_CONNECT, fake->Sent());
    MakeReady(false);
    answering = false;
    EXPECT_EQ(-2, Write("SetExposureTime=10\r"));
    answering = true;
    fake->Feed(RawScan(1));
    fake->ClearSent();
    EXPECT_EQ(19, Write("SetExposureTime=10\r"));
    EXPECT_EQ((Sent{"SetExposureTime=10\r", "SetRequestSyncContainer\r"}), fake->Sent());
    EXPECT_EQ(0u, scanvo.FifoFillBytes());
}

TEST_F(ConnectionTest, GetInfoAnswersEachKeyWithItsTextOrCode)
{
    char buffer[512];
    EXPECT_EQ(-2, scanvo.GetInfo(nullptr, 16, "text"));
    EXPECT_EQ(-2, scanvo.GetInfo(buffer, 0, "text"));
    EXPECT_EQ(-6, scanvo.GetInfo(buffer, sizeof(buffer), "nonsense"));
    EXPECT_EQ(-3, scanvo.GetInfo(buffer, sizeof(buffer), "text"));
    EXPECT_EQ(-3, scanvo.GetInfo(buffer, sizeof(buffer), "lintable"));
    MakeReady();
    const std::string text = "[general]\r\nsn=12345678\r\nz_start=100.000\r\nz_range=200.000\r\n"
                             "x_range_at_start=80.000\r\nx_range_at_end=120.000\r\nwidthX=1280\r\nwidthZ=1024\r\n";
    EXPECT_EQ(static_cast<int32_t>(text.size()), scanvo.GetInfo(buffer, sizeof(buffer), "TEXT"));
    EXPECT_EQ(text, buffer);
    EXPECT_EQ(-2, scanvo.GetInfo(buffer, static_cast<int32_t>(text.size()), ""));
    std::vector<char> table(lin.size());
    EXPECT_EQ(static_cast<int32_t>(lin.size()), scanvo.GetInfo(table.data(), static_cast<int32_t>(table.size()), "lintable"));
    EXPECT_EQ(0, std::memcmp(lin.data(), table.data(), lin.size()));
    EXPECT_EQ(-2, scanvo.GetInfo(table.data(), static_cast<int32_t>(table.size()) - 1, "lintable"));
    std::vector<char> xml(1 << 16);
    EXPECT_EQ(static_cast<int32_t>(SensorXml(xml_values).size()), scanvo.GetInfo(xml.data(), 1 << 16, "xml"));
    EXPECT_EQ(0, scanvo.GetInfo(buffer, sizeof(buffer), "settings2"));
    EXPECT_STREQ("settings 2", buffer);
    EXPECT_EQ(1, scanvo.GetInfo(buffer, sizeof(buffer), "sync"));
    EXPECT_EQ(-2, scanvo.GetInfo(buffer, 4, "settingsdefault"));
    EXPECT_EQ((Sent{"get_xmldescriptor\r", "GetSettings=2\r", "SetRequestSyncContainer\r", "GetSettings=0\r"}),
              fake->Sent());
    answering = false;
    EXPECT_EQ(-4, scanvo.GetInfo(buffer, sizeof(buffer), "xml"));
    EXPECT_EQ(-5, scanvo.GetInfo(buffer, sizeof(buffer), "sync"));
    fake->SetResponder([this](const std::string&) { fake->Feed(TextContainer("")); });
    EXPECT_EQ(-5, scanvo.RequestReply("x\r", buffer, sizeof(buffer), nullptr));  // an empty reply is none
}

// The record is stale from a reconnect until the frame comes again; data
// from a file replaces it whole, and a snapshot taken before outlives it.
TEST_F(ConnectionTest, TheLinearizationDataIsReplacedWholeAndStaleFromAReconnect)
{
    LinearizationRecord record;
    EXPECT_EQ(-3, scanvo.GetLinDatType(&record, sizeof(record)));
    MakeReady();
    const auto loaded = [&] { return scanvo.GetLinDatType(&record, sizeof(record)) == 0 ? int(record.geometry_loaded) : -1; };
    EXPECT_EQ(1, loaded());
    EXPECT_EQ(12345678u, record.serial_number);
    fake->Disconnect();
    fake->Connect();
    EXPECT_EQ(0, loaded());
    fake->Feed(ShortFrame(0x07, lin));
    EXPECT_EQ(1, loaded());
    const std::shared_ptr<const LinearizationData> held = scanvo.Linearization();
    EXPECT_EQ(-1, scanvo.SetLinearizationFile("/nonexistent/lin.bin"));
    EXPECT_EQ(nullptr, scanvo.Linearization());
    double x = 0, z = 0;
    EXPECT_EQ(0, held->Linearize(640, 512, x, z));
    EXPECT_EQ(200.0, z);
    LinModel model;
    model.width_x = 2048;
    const fs::path file = WriteFile("sensor1-lin-file.bin", BuildLin1dd(model));
    EXPECT_EQ(0, scanvo.SetLinearizationFile(file.string()));
    ASSERT_NE(nullptr, scanvo.Linearization());
    EXPECT_EQ(2048u, scanvo.Linearization()->Record().width_x);
    fs::remove(file);
}

}  // namespace
