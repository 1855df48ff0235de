// Discovery through the exported GenTL functions, and the adapter snapshot,
// in namespaces and veth links each case builds and removes. The process
// runs in a namespace of its own (the test launcher's); a guard refuses to
// build links or broadcast anywhere else.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "gentl_producers/GenTesk3d/CVEXO.h"
#include "gentl_producers/GenTesk3d/network_interfaces.h"
#include "producer/ProducerSession.h"
#include "support/SimulatedDiscovery.h"

namespace {

using TestSupport::DiscoveryIdentity;
using TestSupport::SensorIdentity;
using Sensors = std::unique_ptr<TestSupport::SimulatedDiscovery>;

class DiscoveryNetnsTest : public TestSupport::ProducerSession {
protected:
    // A sensor namespace on host link h<index> (10.213.<index + 1>.1/24).
    std::string LinkedNamespace(int index, const std::string& sensor_cidr)
    {
        const std::string ns = net.AddNamespace("S" + std::to_string(index));
        const std::string link = std::to_string(index);
        EXPECT_TRUE(net.Link("h" + link, "10.213." + std::to_string(index + 1) + ".1/24", ns,
                             "s" + link, sensor_cidr));
        return ns;
    }
    Sensors StartSensors(const std::string& ns, std::vector<DiscoveryIdentity> identities,
                         TestSupport::DiscoveryOptions options = {})
    {
        TestSupport::EnterNamespace entered(ns);
        EXPECT_TRUE(entered.Entered()) << ns;
        auto sensors = std::make_unique<TestSupport::SimulatedDiscovery>(identities, options);
        EXPECT_TRUE(sensors->IsListening()) << ns;
        return sensors;
    }
    // The listed IDs, in list order.
    std::vector<std::string> UpdateDeviceList()
    {
        EXPECT_EQ(GC_ERR_SUCCESS, cti->IFUpdateDeviceList(iface, nullptr, 0));
        uint32_t count = 0;
        cti->IFGetNumDevices(iface, &count);
        std::vector<std::string> ids(count);
        for (uint32_t i = 0; i < count; ++i) ids[i] = Info(i, DEVICE_INFO_ID);
        return ids;
    }
    std::string Info(uint32_t index, DEVICE_INFO_CMD command)
    {
        char text[256] = {};
        size_t size = sizeof text;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->IFGetDeviceID(iface, index, text, &size));
        const std::string id = text;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        size = sizeof text;
        if (cti->IFGetDeviceInfo(iface, id.c_str(), command, &type, text, &size) != GC_ERR_SUCCESS)
            return std::string();
        return type == INFO_DATATYPE_INT32 ? std::to_string(*reinterpret_cast<int32_t*>(text))
                                           : text;
    }
    GC_ERROR Open(const std::string& id)
    {
        DEV_HANDLE opened = nullptr;
        return cti->IFOpenDevice(iface, id.c_str(), DEVICE_ACCESS_CONTROL, &opened);
    }
    GC_ERROR SelectDevice(uint32_t index)
    {
        size_t size = sizeof index;
        return cti->GCWritePort(iface, 0x10000008, &index, &size);
    }
    uint64_t Number(uint32_t id) { return std::stoull(Read(id)); }
    // What each of `count` scanning processes started at once printed.
    static std::vector<std::string> ScanInProcesses(int count)
    {
        const std::string command =
            "timeout 60 '" GENTESK_DISCOVERY_SCAN_PATH "' '" GENTESK_CTI_PATH "'";
        std::vector<FILE*> pipes;
        for (int i = 0; i < count; ++i) pipes.push_back(popen(command.c_str(), "r"));
        std::vector<std::string> outputs;
        for (FILE* pipe : pipes) {
            std::string text;
            char chunk[256];
            while (pipe != nullptr && std::fgets(chunk, sizeof chunk, pipe) != nullptr)
                text += chunk;
            if (pipe != nullptr) pclose(pipe);
            outputs.push_back(text);
        }
        return outputs;
    }
};

TEST_F(DiscoveryNetnsTest, ListsSensorsOnEveryLinkAndRefusesTheOneOutsideEverySubnet)
{
    Sensors first =
        StartSensors(LinkedNamespace(0, "10.213.1.2/24"), {SensorIdentity("10.213.1.2", "1001")});
    Sensors second =
        StartSensors(LinkedNamespace(1, "10.213.2.2/24"), {SensorIdentity("10.213.2.2", "1002")});
    Sensors outside = StartSensors(LinkedNamespace(2, "192.168.77.5/24"),
                                   {SensorIdentity("192.168.77.5", "1003")}, {true, nullptr});

    const std::vector<std::string> ids = UpdateDeviceList();
    ASSERT_EQ(3u, ids.size());
    for (uint32_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(ids[i]);
        for (DEVICE_INFO_CMD command :
             {DEVICE_INFO_VENDOR, DEVICE_INFO_MODEL, DEVICE_INFO_SERIAL_NUMBER,
              DEVICE_INFO_DISPLAYNAME, DEVICE_INFO_TLTYPE})
            EXPECT_FALSE(Info(i, command).empty()) << command;
        const bool is_outside = ids[i] == "TK3D-100_1003";
        EXPECT_EQ(is_outside ? "3" : "1", Info(i, DEVICE_INFO_ACCESS_STATUS));
        EXPECT_EQ(is_outside ? GC_ERR_ACCESS_DENIED : GC_ERR_TIMEOUT, Open(ids[i]));
        if (!is_outside) continue;
        EXPECT_EQ("DeviceOpen: the device is currently not accessible", LastError());
        ASSERT_EQ(GC_ERR_SUCCESS, SelectDevice(i));
        EXPECT_EQ(0xC0A84D05u, Number(12001));
        EXPECT_EQ(0xFFFFFF00u, Number(12002));
        EXPECT_EQ(0x020000001003u, Number(12004));
    }
}

TEST_F(DiscoveryNetnsTest, ListsAnInUseSensorAsBusyAndLeavesOutRejectedReplies)
{
    std::vector<DiscoveryIdentity> replies;
    const std::pair<const char*, const char*> changes[] = {
        {"CONNECT_STATE", "CONNECTED"}, {"TYPE", "camera"},
        {"NETMASK", nullptr},           {"NETMASK", "abc"},
        {"ETHADDR", nullptr},           {"ETHADDR", "02:00:00:00:00"},
        {"GATEWAYIP", nullptr},         {"IPADDR", nullptr},
        {"GATEWAYIP", "10.213.1"},
    };
    for (const auto& [name, value] : changes) {
        replies.push_back(SensorIdentity("10.213.1." + std::to_string(replies.size() + 3),
                                         std::to_string(2001 + replies.size())));
        if (value == nullptr)
            replies.back().erase(name);
        else
            replies.back()[name] = value;
    }
    replies.push_back(replies.front());  // a repeated reply lists one device
    Sensors sensors = StartSensors(LinkedNamespace(0, "10.213.1.3/24"), replies);

    EXPECT_EQ(std::vector<std::string>{"TK3D-100_2001"}, UpdateDeviceList());
    EXPECT_EQ("4", Info(0, DEVICE_INFO_ACCESS_STATUS));
}

TEST_F(DiscoveryNetnsTest, AppliesStagedNetworkSettingsAndFollowsAddressChanges)
{
    const std::string ns = LinkedNamespace(0, "10.213.1.2/24");
    std::atomic<bool> moved{false};
    Sensors sensor = StartSensors(ns, {SensorIdentity("10.213.1.2", "1001")},
                                  {false, [this, ns, &moved](const std::string& ip) {
                                       net.Ip("addr flush dev s0", ns);
                                       net.Ip("addr add " + ip + "/24 dev s0", ns);
                                       moved = true;
                                   }});
    ASSERT_EQ(std::vector<std::string>{"TK3D-100_1001"}, UpdateDeviceList());
    EXPECT_EQ(0x0AD50102u, Number(12006));
    EXPECT_EQ(GC_ERR_ERROR, Write(12001, 0x0AD50109u));

    ASSERT_EQ(GC_ERR_SUCCESS, Write(12006, 0x0AD50109u));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(12007, 0xFFFFFF00u));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(12008, 0x0AD501FEu));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(12005, 1u));
    EXPECT_EQ(0u, Number(12005));
    EXPECT_EQ(0x0AD50109u, Number(12001));
    EXPECT_EQ(0x0AD501FEu, Number(12003));
    // The sensor moves after it confirmed; a busy machine may still be at it.
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return moved.load(); }, std::chrono::seconds(10)));
    EXPECT_TRUE(net.Ip("-br addr show dev s0 | grep -q 10.213.1.9/24", ns));

    sensor->SetAttribute(0, "IPADDR", "10.213.1.7");
    sensor->SetAttribute(0, "NETMASK", "255.255.0.0");
    ASSERT_EQ(std::vector<std::string>{"TK3D-100_1001"}, UpdateDeviceList());
    EXPECT_EQ(0x0AD50107u, Number(12001));
    EXPECT_EQ(0xFFFF0000u, Number(12002));

    sensor->SetAttribute(0, "ETHADDR", "02:00:00:00:99:99");
    EXPECT_EQ(GC_ERR_ERROR, Write(12005, 1u));
    EXPECT_EQ("Setting Network Config failed", LastError());
}

// Twenty thousand sensors answer: the list stays within the kept replies and
// a thread counting the devices meanwhile is answered.
TEST_F(DiscoveryNetnsTest, ListsAtMostTheKeptSensorsOfAFlood)
{
    std::vector<DiscoveryIdentity> flood;
    for (int i = 0; i < 20000; ++i)
        flood.push_back(
            SensorIdentity("10.1." + std::to_string(i >> 8) + "." + std::to_string(i & 255),
                           std::to_string(100000 + i)));
    Sensors sensors = StartSensors(LinkedNamespace(0, "10.213.1.2/24"), flood);
    std::atomic<bool> counted{false};
    std::thread counter([&] {
        uint32_t count = 0;
        counted = cti->IFGetNumDevices(iface, &count) == GC_ERR_SUCCESS;
    });
    const std::vector<std::string> ids = UpdateDeviceList();
    counter.join();
    EXPECT_TRUE(counted);
    EXPECT_LE(ids.size(), GenTLCore::ZoTL::CVEXO::MAX_REPLIES);
    EXPECT_GT(ids.size(), 0u);
}

// Consumer processes updating their lists at once take turns at the
// discovery port, and each lists the sensor.
TEST_F(DiscoveryNetnsTest, ProcessesScanningAtOnceEachListTheSensor)
{
    Sensors sensor =
        StartSensors(LinkedNamespace(0, "10.213.1.2/24"), {SensorIdentity("10.213.1.2", "1001")});
    for (int round = 0; round < 3; ++round)
        for (const std::string& output : ScanInProcesses(2))
            EXPECT_EQ("0\nTK3D-100_1001\n", output) << "round " << round;
}

// A port held past the wait fails the update openly and keeps the list.
TEST_F(DiscoveryNetnsTest, FailsTheUpdateWhileAnotherHoldsTheDiscoveryPort)
{
    Sensors sensor =
        StartSensors(LinkedNamespace(0, "10.213.1.2/24"), {SensorIdentity("10.213.1.2", "1001")});
    ASSERT_EQ(std::vector<std::string>{"TK3D-100_1001"}, UpdateDeviceList());
    Platform::BroadcastSocket holder;
    std::string failed_step;
    ASSERT_TRUE(holder.Open(GenTLCore::ZoTL::DISCOVERY_LOCAL_PORT, failed_step));
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, cti->IFUpdateDeviceList(iface, nullptr, 0));
    EXPECT_EQ(
        "Device discovery could not use UDP port 32004: another process kept it for 10000 ms.",
        LastError());
    uint32_t count = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, cti->IFGetNumDevices(iface, &count));
    EXPECT_EQ(1u, count);
}

TEST_F(DiscoveryNetnsTest, ProbeByAddressReachesTheDeviceOpen)
{
    EXPECT_EQ("failed -1001", Read(12001));
    EXPECT_EQ("Invalid Device", LastError());
    EXPECT_EQ(GC_ERR_TIMEOUT, Open("#ip#127.0.0.1"));
    EXPECT_EQ("Connecting to device failed 127.0.0.1", LastError());
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Open("#ip#127.0.0.x"));
}

TEST_F(DiscoveryNetnsTest, AdapterSnapshotKeepsOnlyWiredAdaptersThatAreUp)
{
    const std::string ns = LinkedNamespace(0, "10.213.1.2/24");
    ASSERT_TRUE(net.Ip("route add default via 10.213.1.254 dev h0"));
    ASSERT_TRUE(net.Ip("addr add 10.213.5.1/24 dev h0 label h0:1"));
    ASSERT_TRUE(net.Ip("link add h3 type veth peer name s3 netns " + ns));  // h3 stays down
    net.Own("h3");
    ASSERT_TRUE(net.Ip("tuntap add dev gtltun0 mode tun"));
    net.Own("gtltun0");
    ASSERT_TRUE(net.Ip("link set gtltun0 up"));
    std::vector<std::string> expected{"h0"};
    // Some kernels lack the dummy driver; a bridge is a second wired adapter then.
    if (net.Ip("link add gtldummy0 type dummy 2>/dev/null") ||
        net.Ip("link add gtldummy0 type bridge")) {
        net.Own("gtldummy0");
        ASSERT_TRUE(net.Ip("link set gtldummy0 up"));
        expected.insert(expected.begin(), "gtldummy0");
    }

    std::vector<std::string> names;
    for (const auto& adapter : GenTLCore::ZoTL::network_config().GetAdapters()) {
        names.push_back(adapter.friendly_name);
        EXPECT_EQ(adapter.friendly_name == "h0" ? 0x0AD501FEu : 0u, adapter.gateway);
        EXPECT_EQ(adapter.friendly_name == "h0" ? 2u : 1u, adapter.addresses.size());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(expected, names);
}

}  // namespace
