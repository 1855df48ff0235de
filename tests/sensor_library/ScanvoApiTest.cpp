// The sensor library's C interface as an application sees it: the .cti loaded
// with dlopen, driven only through its Scanvo_ functions, against simulated
// sensors on loopback.
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <thread>

#include "ScanvoLoader.h"
#include "support/SimulatedSensor.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;
using TestSupport::SimulatedSensor;
using TestSupport::WaitUntil;

namespace {

constexpr int NOT_OPEN = -1000;
constexpr uint32_t WIDTH = 64;

class ScanvoApiTest : public ::testing::Test {
protected:
    // Small buffers, so that many connections fit in memory at once; the
    // library keeps them for every later connect of the process.
    void SetUp() override
    {
        ASSERT_TRUE(cti.IsComplete()) << cti.Error();
        for (std::string command : {"SetDllFiFoSize=65536\r", "SetScannerBufferSize=1320000\r"})
            ASSERT_LT(0, api.Scanvo_WriteData(nullptr, command.data(), 0));
    }

    // Connected and ready; acquisition started when `start`.
    void* Open(SimulatedSensor& sensor, bool start = false)
    {
        std::string ip = sensor.Ip(), port = sensor.PortText(), command = "SetAcquisitionStart\r";
        void* handle = api.Scanvo_Connect(ip.data(), port.data(), 0);
        EXPECT_TRUE(WaitUntil([&] { int status = 0; return api.Scanvo_GetConnectStatus(handle, &status) == 0 && status == 3; }, 5s));
        EXPECT_EQ(start ? 20 : 0, start ? api.Scanvo_WriteData(handle, command.data(), 20) : 0);
        return handle;
    }

    int ReadProfile(void* handle, int timeout_ms)
    {
        double x[WIDTH], z[WIDTH];
        return api.Scanvo_GetXZIExtended(handle, x, z, nullptr, nullptr, WIDTH, nullptr, nullptr, timeout_ms, nullptr, 0, nullptr);
    }

    std::string Serial(void* handle)
    {
        char name[] = "GetSerialNumber", value[64] = {};
        return api.Scanvo_ReadData(handle, name, value, sizeof(value), 0) == 0 ? value : "(failed)";
    }

    ScanvoLoader cti{GENTESK_CTI_PATH};
    const ScanvoFunctions& api = *cti.operator->();
};

// Every function on a handle, called with a handle that is not open.
struct Arguments {
    int status = 7;
    char name[16] = "GetSerialNumber";
    char command[24] = "SetExposureTime=100\r";
    char key[4] = "xml";
    char path[16] = "/nonexistent";
    char text[64] = {};
    double x[4] = {}, z[4] = {};
    unsigned short image[16] = {};
    unsigned char raw[152] = {};
    unsigned int u[6] = {};
    int i[4] = {};
};

using HandleCall = int (*)(const ScanvoFunctions& f, void* h, Arguments& a);
const std::pair<const char*, HandleCall> HANDLE_CALLS[] = {
    {"GetConnectStatus", [](auto& f, void* h, auto& a) { return f.Scanvo_GetConnectStatus(h, &a.status); }},
    {"ReadData", [](auto& f, void* h, auto& a) { return f.Scanvo_ReadData(h, a.name, a.text, 64, 0); }},
    {"WriteData", [](auto& f, void* h, auto& a) { return f.Scanvo_WriteData(h, a.command, 20); }},
    {"GetXZIExtended", [](auto& f, void* h, auto& a) { return f.Scanvo_GetXZIExtended(h, a.x, a.z, a.i, a.i, 4, a.u, a.raw, 10, a.raw, 152, a.i); }},
    {"GetRangeImage", [](auto& f, void* h, auto& a) { return f.Scanvo_GetRangeImage(h, a.image, 16, 10, nullptr, a.i, a.i, a.u); }},
    {"GetImage", [](auto& f, void* h, auto& a) { return f.Scanvo_GetImage(h, a.text, 64, a.u, a.u, a.u, a.u, a.u, a.u, 10); }},
    {"GetRawData", [](auto& f, void* h, auto& a) { return f.Scanvo_GetRawData(h, a.raw, 152, 0); }},
    {"GetInfo", [](auto& f, void* h, auto& a) { return f.Scanvo_GetInfo(h, a.text, 64, a.key); }},
    {"Linearize", [](auto& f, void* h, auto& a) { return f.Scanvo_Linearize(h, 1, 2, a.x, a.z); }},
    {"SetLinearizationFile", [](auto& f, void* h, auto& a) { return f.Scanvo_SetLinearizationFile(h, a.path); }},
    {"ResetDllFiFo", [](auto& f, void* h, auto&) { return f.Scanvo_ResetDllFiFo(h); }},
    {"GetDllFiFoState", [](auto& f, void* h, auto&) { return f.Scanvo_GetDllFiFoState(h); }},
    {"GetLinDatType", [](auto& f, void* h, auto& a) { return f.Scanvo_GetLinDatType(h, a.raw, 152); }},
    {"ConvertMmToPix", [](auto& f, void* h, auto& a) { return f.Scanvo_ConvertMmToPix(h, -10, 100, 10, 200, a.i, a.i + 1, a.i + 2, a.i + 3); }},
};

// The handle is checked first; the version fits with its NUL or gives a
// question mark.
TEST_F(ScanvoApiTest, EveryFunctionOnAHandleNotOpenGivesMinus1000)
{
    int never_returned = 0;
    for (const auto& [name, call] : HANDLE_CALLS) {
        for (void* handle : {static_cast<void*>(nullptr), static_cast<void*>(&never_returned)}) {
            SCOPED_TRACE(std::string(name) + (handle ? " unknown" : " null"));
            Arguments arguments;
            EXPECT_EQ(NOT_OPEN, call(api, handle, arguments));
            // Only an unknown handle's status is cleared.
            EXPECT_EQ(handle && call == HANDLE_CALLS[0].second ? 0 : 7, arguments.status);
        }
    }
    EXPECT_EQ(&never_returned, api.Scanvo_Disconnect(&never_returned));
    EXPECT_EQ(nullptr, api.Scanvo_Disconnect(nullptr));
    const std::tuple<int, int, std::string> versions[] = {
        {13, 12, std::string("1.15.0   x64\0", 13)}, {12, -1, "?xxxxxxxxxxx"}, {0, -1, "xxxxxxxxxxxx"}, {-5, -1, "xxxxxxxxxxxx"}};
    for (const auto& [size, result, text] : versions) {
        unsigned char buffer[32];
        std::memset(buffer, 'x', sizeof(buffer));
        EXPECT_EQ(result, api.Scanvo_GetVersion(buffer, size)) << size;
        EXPECT_EQ(text, std::string(reinterpret_cast<char*>(buffer), text.size())) << size;
    }
}

// The simulated field (z 100..300 mm, 80..120 mm wide, 1280 x 1024 pixels)
// puts z 150 and 250 on rows 256 and 768; x -20 and 20 fall nearest to
// columns 407 and 873 on row 768 and 356 and 924 on row 256. The inner
// rectangle 407..873 shifts by 16 on a 1280-column sensor; rows -12/+20.
TEST_F(ScanvoApiTest, ConvertMmToPixGivesTheInnerPixelRectangleOrRefusesDegenerateGeometry)
{
    const std::tuple<const char*, float, uint32_t, double, int, std::vector<int>> rows[] = {
        {"Inner", 200, 1280, 20, 0, {423, 244, 889, 788}},
        {"Swapped", 200, 1280, -20, 0, {423, 244, 889, 788}},
        {"ZeroRange", 0, 1280, 20, -1, {-7, -7, -7, -7}},
        {"AbsurdWidth", 200, 100000, 20, -1, {-7, -7, -7, -7}}};
    for (const auto& [name, z_range, width_x, x, result, expected] : rows) {
        SCOPED_TRACE(name);
        SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});
        TestSupport::LinModel model;
        model.z_range = z_range;
        model.width_x = width_x;
        sensor.SetLinModel(model);
        void* handle = Open(sensor);
        std::vector<int> region(4, -7);
        const double z = x > 0 ? 150 : 250;
        EXPECT_EQ(result, api.Scanvo_ConvertMmToPix(handle, -x, z, x, 400 - z, &region[0], &region[1], &region[2], &region[3]));
        EXPECT_EQ(expected, region);
        api.Scanvo_Disconnect(handle);
    }
}

TEST_F(ScanvoApiTest, ConnectsOverTcpAndUdpStreamsAndDisconnects)
{
    SimulatedSensor tcp_sensor(SimulatedSensor::Options{"127.0.0.2"});
    SimulatedSensor udp_sensor(SimulatedSensor::Options{"127.0.0.3", true});
    tcp_sensor.SetStreamWidth(WIDTH);
    udp_sensor.SetStreamWidth(WIDTH);
    void* tcp = Open(tcp_sensor, true);
    // A host port nothing is bound to right now.
    Platform::Socket probe = Platform::Socket::Udp();
    Platform::SocketAddress address;
    Platform::SocketAddress::Parse("127.0.0.1", "0", address);
    ASSERT_TRUE(probe.Bind(address) && probe.LocalAddress(address));
    probe.Close();
    std::string ip = udp_sensor.Ip(), port = udp_sensor.PortText(), host_ip = "127.0.0.1",
                host_port = std::to_string(address.port), start = "SetAcquisitionStart\r";
    void* udp = api.Scanvo_ConnectUDP(ip.data(), port.data(), host_ip.data(), host_port.data());
    ASSERT_TRUE(WaitUntil([&] { int status = 0; return api.Scanvo_GetConnectStatus(udp, &status) == 0 && status == 3; }, 5s));
    EXPECT_EQ(20, api.Scanvo_WriteData(udp, start.data(), 20));
    ASSERT_NE(tcp, udp);
    for (void* handle : {tcp, udp}) {
        EXPECT_TRUE(WaitUntil([&] { return ReadProfile(handle, 100) == int(WIDTH); }, 5s));
        EXPECT_LE(0, api.Scanvo_GetDllFiFoState(handle));
        EXPECT_EQ("12345678", Serial(handle));
    }
    std::string exposure = "SetExposureTime=250\r";
    EXPECT_LT(0, api.Scanvo_WriteData(tcp, exposure.data(), int(exposure.size())));
    EXPECT_TRUE(tcp_sensor.WaitForCommand("SetExposureTime=250"));
    // The linearization record needs all 152 bytes.
    unsigned char record[152] = {};
    EXPECT_EQ(-1, api.Scanvo_GetLinDatType(tcp, record, 151));
    EXPECT_EQ(-1, api.Scanvo_GetLinDatType(tcp, nullptr, 152));
    ASSERT_EQ(0, api.Scanvo_GetLinDatType(tcp, record, 152));
    uint64_t serial = 0;
    std::memcpy(&serial, record, sizeof(serial));
    EXPECT_EQ(12345678u, serial);
    double x = 0, z = 0;
    EXPECT_EQ(0, api.Scanvo_Linearize(tcp, 640, 512, &x, &z));
    EXPECT_EQ(std::make_pair(0.0, 200.0), std::make_pair(x, z));
    EXPECT_EQ(nullptr, api.Scanvo_Disconnect(tcp));
    EXPECT_EQ(nullptr, api.Scanvo_Disconnect(udp));
    EXPECT_EQ(tcp, api.Scanvo_Disconnect(tcp));
    int status = 7;
    EXPECT_EQ(NOT_OPEN, api.Scanvo_GetConnectStatus(udp, &status));
}

// Mended: a command text without a NUL was read past its length (here
// exactly the text's bytes on the heap, so reading one more is caught), and
// a disconnect waited out the time-out of a read on the same sensor.
TEST_F(ScanvoApiTest, ACommandIsReadUpToItsLengthAndADisconnectEndsAWaitingRead)
{
    constexpr int LONG_TIMEOUT_MS = 30000;
    SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});  // streams nothing
    void* handle = Open(sensor);
    const std::string text = "SetExposureTime=300\r";
    const auto bytes = std::make_unique<char[]>(text.size());
    std::memcpy(bytes.get(), text.data(), text.size());
    EXPECT_EQ(int(text.size()), api.Scanvo_WriteData(handle, bytes.get(), int(text.size())));
    EXPECT_TRUE(sensor.WaitForCommand("SetExposureTime=300"));
    // Past the geometry check: the read below reaches the wait.
    ASSERT_TRUE(WaitUntil([&] { return ReadProfile(handle, 0) == -1; }, 5s));
    auto read = std::async(std::launch::async, [&] { return ReadProfile(handle, LONG_TIMEOUT_MS); });
    EXPECT_EQ(std::future_status::timeout, read.wait_for(200ms));
    auto disconnect = std::async(std::launch::async, [&] { return api.Scanvo_Disconnect(handle); });
    ASSERT_EQ(std::future_status::ready, read.wait_for(5s));
    ASSERT_EQ(std::future_status::ready, disconnect.wait_for(5s));
    EXPECT_EQ(nullptr, disconnect.get());
    EXPECT_EQ(-1, read.get());
    EXPECT_EQ(NOT_OPEN, ReadProfile(handle, LONG_TIMEOUT_MS));  // gone for good
}

// A freed slot is taken again, so connects never run out; only 200 sensors
// open at once fill the table.
TEST_F(ScanvoApiTest, FreedSlotsAreTakenAgainAndTwoHundredSensorsFillTheTable)
{
    SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});
    std::string ip = sensor.Ip(), port = sensor.PortText();
    const auto connect = [&] { return api.Scanvo_Connect(ip.data(), port.data(), 0); };
    for (int round = 0; round < 500; ++round) {
        void* handle = connect();
        ASSERT_TRUE(handle != nullptr && api.Scanvo_Disconnect(handle) == nullptr) << "round " << round;
    }
    std::vector<void*> handles;
    for (int i = 0; i < 200; ++i) {
        handles.push_back(connect());
        ASSERT_NE(nullptr, handles.back()) << "sensor " << i;
    }
    EXPECT_EQ(nullptr, connect());
    ASSERT_EQ(nullptr, api.Scanvo_Disconnect(handles[17]));
    EXPECT_NE(nullptr, handles[17] = connect());
    EXPECT_EQ(nullptr, connect());
    for (void* handle : handles) EXPECT_EQ(nullptr, api.Scanvo_Disconnect(handle));
}

// A read waiting for a silent sensor's reply holds up no profile read of
// the same sensor.
TEST_F(ScanvoApiTest, ASlowReadDoesNotHoldUpProfilesOfTheSameSensor)
{
    SimulatedSensor sensor(SimulatedSensor::Options{"127.0.0.2"});
    sensor.SetStreamWidth(WIDTH);
    void* handle = Open(sensor, true);
    sensor.SetReplyMode(TestSupport::ReplyMode::Silent);
    auto slow = std::async(std::launch::async, [&] { return Serial(handle); });  // waits for a reply in vain
    ASSERT_TRUE(sensor.WaitForCommand("get_xmldescriptorexpert", 2s, 1) ||
                sensor.WaitForCommand("get_xmldescriptor", 2s, 1));
    EXPECT_EQ(int(WIDTH), ReadProfile(handle, 2000));
    EXPECT_EQ(std::future_status::timeout, slow.wait_for(0s));
    api.Scanvo_Disconnect(handle);
}

// Several threads call on three sensors while one of them is disconnected:
// calls on it then give -1000, the others go on.
TEST_F(ScanvoApiTest, CallsFromManyThreadsSurviveADisconnect)
{
    SimulatedSensor sensors[] = {SimulatedSensor(SimulatedSensor::Options{"127.0.0.2"}),
                                 SimulatedSensor(SimulatedSensor::Options{"127.0.0.3"}),
                                 SimulatedSensor(SimulatedSensor::Options{"127.0.0.4"})};
    void* handles[3];
    for (int i = 0; i < 3; ++i) {
        sensors[i].SetStreamWidth(WIDTH);
        handles[i] = Open(sensors[i], true);
    }
    std::atomic<bool> disconnected{false};
    std::atomic<int> wrong_results{0};
    const auto work = [&](void* handle) {
        for (int round = 0; round < 150; ++round) {
            const bool gone_before = disconnected && handle == handles[0];
            int status = 0;
            for (int result : {api.Scanvo_GetConnectStatus(handle, &status), ReadProfile(handle, 5),
                               api.Scanvo_GetDllFiFoState(handle), api.Scanvo_ResetDllFiFo(handle)}) {
                const bool may_be_gone = handle == handles[0] && result == NOT_OPEN;
                wrong_results += gone_before ? result != NOT_OPEN : result < -2 && !may_be_gone;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 6; ++thread) threads.emplace_back(work, handles[thread % 3]);
    EXPECT_EQ(nullptr, api.Scanvo_Disconnect(handles[0]));
    disconnected = true;
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, wrong_results.load());
    api.Scanvo_Disconnect(handles[1]);
    api.Scanvo_Disconnect(handles[2]);
}

}  // namespace
