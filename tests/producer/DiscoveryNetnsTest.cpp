// Discovery through the exported GenTL functions and the adapter snapshot,
// in namespaces and veth links each case builds and removes. The process
// itself runs in a namespace of its own (the test launcher's); a guard
// refuses to broadcast in the machine's.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gentl_producers/GenTesk3d/network_interfaces.h"
#include "support/CtiLoader.h"
#include "support/NetworkNamespace.h"
#include "support/SimulatedDiscovery.h"

namespace {

using TestSupport::DiscoveryIdentity;
using TestSupport::DiscoveryOptions;
using TestSupport::SimulatedDiscovery;

constexpr const char* INTERFACE_ID = "Tesk3D_GenTL_Interface";
constexpr uint64_t DEVICE_SELECTOR_ADDRESS = 0x10000008;

// Register addresses by id, 12001-12008.
uint64_t RegisterAddress(uint32_t id)
{
    constexpr uint64_t addresses[] = {0x5FFFFF04, 0x5FFFFF0C, 0x5FFFFF10, 0x5FFFFF14,
                                      0x5FFFFF1C, 0x5FFFFF20, 0x5FFFFF24, 0x5FFFFF28};
    return addresses[id - 12001];
}

DiscoveryIdentity Sensor(const std::string& ip, const std::string& serial)
{
    DiscoveryIdentity identity;
    identity.ip = ip;
    identity.serial = serial;
    identity.mac = "02:00:00:00:10:" + serial.substr(serial.size() - 2);
    return identity;
}

class NamespaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TestSupport::InPrivateLoopbackNamespace())
            GTEST_SKIP() << "Refusing to build links or broadcast outside a network namespace "
                            "that holds only lo; run under the test launcher";
    }

    std::unique_ptr<SimulatedDiscovery> StartSensors(const std::string& ns,
                                                     std::vector<DiscoveryIdentity> identities,
                                                     DiscoveryOptions options = {})
    {
        TestSupport::EnterNamespace entered(ns);
        EXPECT_TRUE(entered.Entered()) << ns;
        auto sensors = std::make_unique<SimulatedDiscovery>(std::move(identities), options);
        EXPECT_TRUE(sensors->IsListening()) << ns;
        return sensors;
    }

    TestSupport::TestNetwork net;  // first: outlives every sensor
};

class DiscoveryNetnsTest : public NamespaceTest {
protected:
    void SetUp() override
    {
        NamespaceTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(cti.IsComplete()) << cti.Error();
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLUpdateInterfaceList(system, nullptr, 0));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpenInterface(system, INTERFACE_ID, &iface));
    }

    void TearDown() override
    {
        if (iface != nullptr)
            cti->IFClose(iface);
        if (system != nullptr)
            cti->TLClose(system);
        cti->GCCloseLib();
    }

    // A sensor namespace linked to this one as host link `index`.
    std::string LinkedNamespace(int index, const std::string& sensor_cidr)
    {
        const std::string ns = net.AddNamespace("S" + std::to_string(index));
        const std::string link = std::to_string(index);
        EXPECT_TRUE(net.Link("h" + link, "10.213." + std::to_string(index + 1) + ".1/24", ns,
                             "s" + link, sensor_cidr));
        return ns;
    }

    std::vector<std::string> UpdateDeviceList()
    {
        EXPECT_EQ(GC_ERR_SUCCESS, cti->IFUpdateDeviceList(iface, nullptr, 0));
        uint32_t count = 0;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->IFGetNumDevices(iface, &count));
        std::vector<std::string> ids;
        for (uint32_t i = 0; i < count; ++i) {
            char id[128] = {};
            size_t size = sizeof id;
            EXPECT_EQ(GC_ERR_SUCCESS, cti->IFGetDeviceID(iface, i, id, &size));
            ids.push_back(id);
        }
        return ids;
    }

    std::string DeviceInfo(const std::string& id, DEVICE_INFO_CMD command)
    {
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        char text[256] = {};
        size_t size = sizeof text;
        const GC_ERROR result = cti->IFGetDeviceInfo(iface, id.c_str(), command, &type, text, &size);
        if (result != GC_ERR_SUCCESS)
            return "<failed " + std::to_string(result) + ">";
        if (type == INFO_DATATYPE_INT32)
            return std::to_string(*reinterpret_cast<int32_t*>(text));
        return text;
    }

    GC_ERROR Open(const std::string& id)
    {
        DEV_HANDLE device = nullptr;
        const GC_ERROR result =
            cti->IFOpenDevice(iface, id.c_str(), DEVICE_ACCESS_CONTROL, &device);
        if (device != nullptr)
            cti->DevClose(device);
        return result;
    }

    void Select(uint32_t index)
    {
        size_t size = sizeof index;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCWritePort(iface, DEVICE_SELECTOR_ADDRESS, &index, &size));
    }

    template <class T = uint32_t>
    T Read(uint32_t id)
    {
        T value = 0;
        size_t size = sizeof value;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->GCReadPort(iface, RegisterAddress(id), &value, &size)) << id;
        return value;
    }

    GC_ERROR Write(uint32_t id, uint32_t value)
    {
        size_t size = sizeof value;
        return cti->GCWritePort(iface, RegisterAddress(id), &value, &size);
    }

    TestSupport::CtiLoader cti{GENTESK_CTI_PATH};
    TL_HANDLE system = nullptr;
    IF_HANDLE iface = nullptr;
};

TEST_F(DiscoveryNetnsTest, ListsSensorsOnEveryLinkAndRefusesTheOneOutsideEverySubnet)
{
    auto first = StartSensors(LinkedNamespace(0, "10.213.1.2/24"), {Sensor("10.213.1.2", "1001")});
    auto second = StartSensors(LinkedNamespace(1, "10.213.2.2/24"), {Sensor("10.213.2.2", "1002")});
    DiscoveryOptions broadcast;
    broadcast.broadcast_replies = true;
    auto outside = StartSensors(LinkedNamespace(2, "192.168.77.5/24"),
                                {Sensor("192.168.77.5", "1003")}, broadcast);

    std::vector<std::string> ids = UpdateDeviceList();
    std::sort(ids.begin(), ids.end());
    ASSERT_EQ((std::vector<std::string>{"TK3D-100_1001", "TK3D-100_1002", "TK3D-100_1003"}), ids);
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        for (DEVICE_INFO_CMD command :
             {DEVICE_INFO_ID, DEVICE_INFO_VENDOR, DEVICE_INFO_MODEL, DEVICE_INFO_SERIAL_NUMBER,
              DEVICE_INFO_DISPLAYNAME, DEVICE_INFO_TLTYPE, DEVICE_INFO_USER_DEFINED_NAME}) {
            const std::string value = DeviceInfo(id, command);
            EXPECT_FALSE(value.empty() || value.starts_with("<failed")) << command << ": " << value;
        }
    }
    EXPECT_EQ("1", DeviceInfo("TK3D-100_1001", DEVICE_INFO_ACCESS_STATUS));
    EXPECT_EQ("1", DeviceInfo("TK3D-100_1002", DEVICE_INFO_ACCESS_STATUS));
    EXPECT_EQ("3", DeviceInfo("TK3D-100_1003", DEVICE_INFO_ACCESS_STATUS));
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Open("TK3D-100_1003"));
    EXPECT_EQ("DeviceOpen: the device is currently not accessible",
              TestSupport::ReadLastError(cti.Functions()).text);
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, Open("TK3D-100_1001"));

    const auto listed = std::find(ids.begin(), ids.end(), "TK3D-100_1003");
    uint32_t outside_index = 0;
    for (uint32_t i = 0; i < 3; ++i) {
        char id[128] = {};
        size_t size = sizeof id;
        cti->IFGetDeviceID(iface, i, id, &size);
        if (*listed == id)
            outside_index = i;
    }
    Select(outside_index);
    EXPECT_EQ(0xC0A84D05u, Read(12001));
    EXPECT_EQ(0xFFFFFF00u, Read(12002));
    EXPECT_EQ(0x020000001003u, Read<uint64_t>(12004));
}

TEST_F(DiscoveryNetnsTest, ListsAnInUseSensorAsBusyAndLeavesOutRejectedReplies)
{
    std::vector<DiscoveryIdentity> replies(8, Sensor("10.213.1.3", "2001"));
    replies[0].connect_state = "CONNECTED";
    replies[1] = Sensor("10.213.1.4", "2002");
    replies[1].type = "camera";
    replies[2] = Sensor("10.213.1.5", "2003");
    replies[2].dropped = {"NETMASK"};
    replies[3] = Sensor("10.213.1.6", "2004");
    replies[3].raw_values = {{"NETMASK", "abc"}};
    replies[4] = Sensor("10.213.1.7", "2005");
    replies[4].dropped = {"ETHADDR"};
    replies[5] = Sensor("10.213.1.8", "2006");
    replies[5].dropped = {"GATEWAYIP"};
    replies[6] = Sensor("10.213.1.9", "2007");
    replies[6].raw_values = {{"ETHADDR", "02:00:00:00:00"}};
    replies[7] = Sensor("10.213.1.10", "2008");
    replies[7].dropped = {"IPADDR"};
    DiscoveryOptions twice;
    twice.repeats = 2;
    auto sensors = StartSensors(LinkedNamespace(0, "10.213.1.3/24"), replies, twice);

    EXPECT_EQ(std::vector<std::string>{"TK3D-100_2001"}, UpdateDeviceList());
    EXPECT_EQ("4", DeviceInfo("TK3D-100_2001", DEVICE_INFO_ACCESS_STATUS));
}

TEST_F(DiscoveryNetnsTest, AppliesStagedNetworkSettingsAndFollowsAddressChanges)
{
    const std::string ns = LinkedNamespace(0, "10.213.1.2/24");
    DiscoveryOptions apply;
    apply.on_set_network = [this, ns](const std::string& ip, const std::string&, const std::string&) {
        net.Ip("addr flush dev s0", ns);
        net.Ip("addr add " + ip + "/24 dev s0", ns);
    };
    auto sensor = StartSensors(ns, {Sensor("10.213.1.2", "1001")}, apply);
    ASSERT_EQ(std::vector<std::string>{"TK3D-100_1001"}, UpdateDeviceList());
    Select(0);
    EXPECT_EQ(0x0AD50102u, Read(12006));
    EXPECT_EQ(GC_ERR_ERROR, Write(12001, 0x0AD50109));

    ASSERT_EQ(GC_ERR_SUCCESS, Write(12006, 0x0AD50109));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(12007, 0xFFFFFF00));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(12008, 0x0AD501FE));
    ASSERT_EQ(GC_ERR_SUCCESS, Write(12005, 1));
    EXPECT_EQ(0u, Read(12005));
    EXPECT_EQ(0x0AD50109u, Read(12001));
    EXPECT_EQ(0x0AD501FEu, Read(12003));
    EXPECT_TRUE(net.Ip("-br addr show dev s0 | grep -q 10.213.1.9/24", ns));
    ASSERT_EQ(std::vector<std::string>{"TK3D-100_1001"}, UpdateDeviceList());
    EXPECT_EQ("10.213.1.9", sensor->Identity(0).ip);

    DiscoveryIdentity moved = sensor->Identity(0);
    moved.ip = "10.213.1.7";
    moved.netmask = "255.255.0.0";
    sensor->SetIdentity(0, moved);
    ASSERT_EQ(std::vector<std::string>{"TK3D-100_1001"}, UpdateDeviceList());
    EXPECT_EQ(0x0AD50107u, Read(12001));
    EXPECT_EQ(0xFFFF0000u, Read(12002));

    moved.mac = "02:00:00:00:99:99";
    sensor->SetIdentity(0, moved);
    EXPECT_EQ(GC_ERR_ERROR, Write(12005, 1));
    EXPECT_EQ("Setting Network Config failed", TestSupport::ReadLastError(cti.Functions()).text);
}

TEST_F(DiscoveryNetnsTest, ProbeByAddressReachesTheDeviceOpen)
{
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, Open("#ip#127.0.0.1"));
    EXPECT_NE(std::string::npos,
              TestSupport::ReadLastError(cti.Functions()).text.find("not supported yet"));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Open("#ip#127.0.0.x"));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Open("#ip#"));
}

TEST_F(NamespaceTest, AdapterSnapshotKeepsOnlyWiredAdaptersThatAreUp)
{
    const std::string ns = net.AddNamespace("S0");
    ASSERT_TRUE(net.Link("h0", "10.213.1.1/24", ns, "s0", "10.213.1.2/24"));
    ASSERT_TRUE(net.Ip("route add default via 10.213.1.254 dev h0"));
    ASSERT_TRUE(net.Ip("link add h3 type veth peer name s3 netns " + ns));
    net.Own("h3");
    ASSERT_TRUE(net.Ip("addr add 10.213.4.1/24 dev h3"));
    ASSERT_TRUE(net.Ip("tuntap add dev gtltun0 mode tun"));
    net.Own("gtltun0");
    ASSERT_TRUE(net.Ip("link set gtltun0 up"));
    std::vector<std::string> expected{"h0"};
    // Some kernels lack the dummy driver; a bridge is a second wired adapter then.
    if (net.Ip("link add gtldummy0 type dummy 2>/dev/null") ||
        net.Ip("link add gtldummy0 type bridge")) {
        net.Own("gtldummy0");
        ASSERT_TRUE(net.Ip("link set gtldummy0 up"));
        expected.push_back("gtldummy0");
    }

    std::vector<std::string> names;
    uint32_t gateway = 0;
    for (const auto& adapter : GenTLCore::ZoTL::network_config().GetAdapters()) {
        names.push_back(adapter.friendly_name);
        if (adapter.friendly_name == "h0")
            gateway = adapter.gateway;
    }
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names);
    EXPECT_EQ(0x0AD501FEu, gateway);
}

}  // namespace
