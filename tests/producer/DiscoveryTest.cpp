// Discovery without a network: address conversions, the adapter filter,
// reply parsing and rejection, device tags, and the discovery client over a
// fake transport.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "gentl_producers/GenTesk3d/CVEXO.h"
#include "gentl_producers/GenTesk3d/DeviceTagTesk.h"
#include "gentl_producers/GenTesk3d/network_interfaces.h"
#include "support/SimulatedDiscovery.h"

namespace {

using namespace GenTLCore::ZoTL;
using TestSupport::DiscoveryIdentity;
using TestSupport::SimulatedDiscovery;

Platform::HostAdapter Wired(const std::string& name, int index, uint32_t address, uint32_t netmask)
{
    Platform::HostAdapter adapter;
    adapter.name = name;
    adapter.index = index;
    adapter.up = adapter.running = adapter.ethernet = true;
    adapter.addresses.push_back({address, netmask});
    return adapter;
}

TEST(AddressConversionTest, ParsesOnlyWellFormedText)
{
    struct Row {
        const char* text;
        bool ip_ok;
        uint32_t ip;
        bool mac_ok;
        uint64_t mac;
    } rows[] = {
        {"192.168.100.1", true, 0xC0A86401, false, 0},
        {"0.0.0.0", true, 0, false, 0},
        {"255.255.255.255", true, 0xFFFFFFFF, false, 0},
        {"256.1.1.1", false, 0, false, 0},
        {"1.2.3", false, 0, false, 0},
        {"1.2.3.4.5", false, 0, false, 0},
        {"1.2.3.", false, 0, false, 0},
        {" 1.2.3.4", false, 0, false, 0},
        {"-1.2.3.4", false, 0, false, 0},
        {"abc", false, 0, false, 0},
        {"", false, 0, false, 0},
        {"00:1a:2B:3c:4d:5e", false, 0, true, 0x001A2B3C4D5E},
        {"0:1:2:3:4:5", false, 0, true, 0x000102030405},
        {"00:1a:2b:3c:4d", false, 0, false, 0},
        {"00:1a:2b:3c:4d:5e:6f", false, 0, false, 0},
        {"00:1a:2b:3c:4d:5g", false, 0, false, 0},
        {"001:1a:2b:3c:4d:5e", false, 0, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        uint32_t ip = 7;
        uint64_t mac = 7;
        EXPECT_EQ(row.ip_ok, ParseIPv4(row.text, ip));
        EXPECT_EQ(row.ip_ok ? row.ip : 7u, ip);
        EXPECT_EQ(row.mac_ok, ParseMAC(row.text, mac));
        EXPECT_EQ(row.mac_ok ? row.mac : 7u, mac);
    }
    EXPECT_EQ("192.168.100.1", FormatIPv4(0xC0A86401));
    EXPECT_EQ("00:1a:2b:3c:4d:5e", FormatMAC(0x001A2B3C4D5E));
}

TEST(AddressConversionTest, MasksEachSideWithItsOwnNetmask)
{
    EXPECT_FALSE(IsSameSubnet("192.168.100.10", "255.255.255.0", "192.168.100.1", "255.255.0.0"));
    EXPECT_TRUE(IsSameSubnet("192.168.100.10", "255.255.0.0", "192.168.0.1", "255.255.0.0"));
    EXPECT_FALSE(IsSameSubnet("192.168.100.10", "abc", "192.168.100.1", "255.255.255.0"));
    network_config host({Wired("h0", 2, 0x0AD50101, 0xFFFFFF00)});
    EXPECT_TRUE(IsInHostSubnet("10.213.1.2", "255.255.255.0", host.GetAdapters()));
    EXPECT_FALSE(IsInHostSubnet("192.168.77.5", "255.255.255.0", host.GetAdapters()));
    EXPECT_FALSE(IsInHostSubnet("10.213.1.2", "255.255.255.0", {}));
}

TEST(NetworkConfigTest, KeepsWiredAdaptersThatAreUpAndRunning)
{
    std::vector<Platform::HostAdapter> host;
    host.push_back(Wired("eth0", 2, 0x0AD50101, 0xFFFFFF00));
    host.back().gateway = 0x0AD501FE;
    host.back().mac = {0x02, 0xAB, 0, 0, 0, 1};
    host.push_back(Wired("noaddr", 3, 0, 0));
    host.back().addresses.clear();
    const char* excluded[] = {"wlan0", "lo", "down", "nocarrier", "tun0"};
    for (const char* name : excluded)
        host.push_back(Wired(name, 9, 0x0A000001, 0xFF000000));
    host[2].wireless = true;
    host[3].loopback = true;
    host[4].up = false;
    host[5].running = false;
    host[6].ethernet = false;

    const std::vector<NetworkAdapter> adapters = network_config(host).GetAdapters();
    ASSERT_EQ(2u, adapters.size());
    EXPECT_EQ("eth0", adapters[0].friendly_name);
    EXPECT_EQ(0x0AD501FEu, adapters[0].gateway);
    EXPECT_EQ("02:AB:00:00:00:01", adapters[0].MacText());
    ASSERT_EQ(1u, adapters[0].addresses.size());
    EXPECT_EQ(0x0AD501FFu, adapters[0].addresses[0].broadcast);
    ASSERT_EQ(1u, adapters[1].addresses.size());
    EXPECT_EQ(0u, adapters[1].addresses[0].address);
    EXPECT_EQ(0u, adapters[1].addresses[0].netmask);
}

TEST(ReplyAttributesTest, SplitsKeysAndValuesAndKeepsTheFirstOccurrence)
{
    const auto attributes = ParseReplyAttributes(
        "<VEXO DIR=\"Reply\" IPADDR=\"10.0.0.1\" USERSTRING=\"\" SERIAL=\"7\" IPADDR=\"10.0.0.2\" "
        "TYPE=\"cut");
    EXPECT_EQ("Reply", attributes.at("<VEXO DIR="));
    EXPECT_EQ("10.0.0.1", attributes.at(" IPADDR="));
    EXPECT_EQ("", attributes.at(" USERSTRING="));
    EXPECT_EQ("7", attributes.at(" SERIAL="));
    EXPECT_EQ("cut", attributes.at(" TYPE="));
}

TEST(DeviceTagTest, BuildsTagsOnlyFromAcceptableReplies)
{
    const std::vector<NetworkAdapter> adapters =
        network_config({Wired("h0", 2, 0x0AD50101, 0xFFFFFF00)}).GetAdapters();
    DiscoveryIdentity base;
    base.ip = "10.213.1.2";
    struct Row {
        const char* name;
        DiscoveryIdentity identity;
        const char* rejection;  // empty: listed
    } rows[] = {
        {"plain", base, ""},
        {"no type", base, ""},
        {"camera", base, "TK3D-100:type is not profile mode"},
        {"no ip", base, "TK3D-100:ip  is null"},
        {"no mac", base, "TK3D-100_10.213.1.2: mac is null, therefore this device is skipped."},
        {"no netmask", base,
         "TK3D-100_10.213.1.2: netmask is null, therefore this device is skipped."},
        {"no gateway", base,
         "TK3D-100_10.213.1.2: gateway ip  is null, therefore this device is skipped."},
        {"bad netmask", base,
         "TK3D-100_10.213.1.2: netmask does not parse, therefore this device is skipped."},
        {"bad mac", base,
         "TK3D-100_10.213.1.2: mac does not parse, therefore this device is skipped."},
        {"bad ip", base, "TK3D-100_10.213.1.x: ip does not parse, therefore this device is skipped."},
        {"bad gateway", base,
         "TK3D-100_10.213.1.2: gateway ip does not parse, therefore this device is skipped."},
    };
    rows[1].identity.dropped = {"TYPE"};
    rows[2].identity.type = "camera";
    rows[3].identity.dropped = {"IPADDR"};
    rows[4].identity.dropped = {"ETHADDR"};
    rows[5].identity.dropped = {"NETMASK"};
    rows[6].identity.dropped = {"GATEWAYIP"};
    rows[7].identity.raw_values = {{"NETMASK", "abc"}};
    rows[8].identity.raw_values = {{"ETHADDR", "zz:00:00:00:00:01"}};
    rows[9].identity.ip = "10.213.1.x";
    rows[10].identity.raw_values = {{"GATEWAYIP", "1.2.3.999"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string rejection;
        const auto tag = DeviceTagTesk::FromReply(
            SimulatedDiscovery::ReplyText(row.identity, "Device_ScanDorvane"), adapters, rejection);
        EXPECT_EQ(row.rejection, rejection);
        EXPECT_EQ(row.rejection[0] == '\0', static_cast<bool>(tag));
    }
}

TEST(DeviceTagTest, DerivesAccessFromSubnetAndConnectState)
{
    const std::vector<NetworkAdapter> adapters =
        network_config({Wired("h0", 2, 0x0AD50101, 0xFFFFFF00)}).GetAdapters();
    struct Row {
        const char* ip;
        const char* connect_state;
        bool not_accessible;
        bool free;
    } rows[] = {
        {"10.213.1.2", "", false, true},
        {"10.213.1.2", "CONNECTED", false, false},
        {"10.213.1.2", "DISCONNECTED", false, false},  // any text containing it
        {"192.168.77.5", "", true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.ip) + " " + row.connect_state);
        DiscoveryIdentity identity;
        identity.ip = row.ip;
        identity.connect_state = row.connect_state;
        std::string rejection;
        const auto tag = DeviceTagTesk::FromReply(
            SimulatedDiscovery::ReplyText(identity, "Device_ScanDorvane"), adapters, rejection);
        ASSERT_TRUE(tag);
        EXPECT_EQ(row.not_accessible, tag->IsNotAccessible());
        EXPECT_EQ(row.free, tag->IsFree());
        EXPECT_EQ("TK3D-100_1001", tag->GetID());
    }
}

DeviceTagTesk Tag(const std::string& model, const std::string& serial, const std::string& ip)
{
    DeviceTagFields fields;
    fields.model = model;
    fields.serial = serial;
    fields.ip = ip;
    return DeviceTagTesk(fields);
}

TEST(DeviceTagTest, ComparesModelAndSerialSeparatelyAndProbedTagsByAddress)
{
    EXPECT_FALSE(Tag("AB", "C", "10.0.0.1").IsSameAs(Tag("A", "BC", "10.0.0.1")));
    EXPECT_TRUE(Tag("A", "B", "10.0.0.1").IsSameAs(Tag("A", "B", "10.0.0.2")));
    const auto probed = DeviceTagTesk::ForProbe("10.0.0.1");
    ASSERT_TRUE(probed);
    EXPECT_TRUE(probed->IsSameAs(*DeviceTagTesk::ForProbe("10.0.0.1")));
    EXPECT_FALSE(probed->IsSameAs(*DeviceTagTesk::ForProbe("10.0.0.2")));
    EXPECT_FALSE(probed->IsNotAccessible());
    EXPECT_TRUE(probed->IsFree());
    EXPECT_FALSE(DeviceTagTesk::ForProbe("10.0.0"));
    EXPECT_TRUE(probed->MatchesAlternativeID("IP", "10.0.0.1"));
    EXPECT_FALSE(probed->MatchesAlternativeID("ip", "10.0.0.01"));
}

TEST(DeviceTagTest, UpdateTakesOverTheNewAddressNumbers)
{
    DeviceTagFields old_fields;
    old_fields.ip = "10.0.0.1";
    old_fields.ip_number = 0x0A000001;
    old_fields.mac = 5;
    DeviceTagTesk listed(old_fields);
    DeviceTagFields new_fields = old_fields;
    new_fields.ip = "10.0.0.9";
    new_fields.ip_number = 0x0A000009;
    new_fields.netmask = 0xFFFF0000;
    new_fields.gateway = 0x0A0000FE;
    new_fields.in_use = true;
    new_fields.user_string = "renamed";
    new_fields.mac = 6;
    listed.UpdateFrom(DeviceTagTesk(new_fields));
    EXPECT_EQ("10.0.0.9", listed.Fields().ip);
    EXPECT_EQ(0x0A000009u, listed.Fields().ip_number);
    EXPECT_EQ(0xFFFF0000u, listed.Fields().netmask);
    EXPECT_EQ(0x0A0000FEu, listed.Fields().gateway);
    EXPECT_EQ("renamed", listed.Fields().user_string);
    EXPECT_FALSE(listed.IsFree());
    EXPECT_EQ(5u, listed.Fields().mac);
}

// Scripted datagrams; WaitReadable answers at once.
class FakeTransport : public DiscoveryTransport {
public:
    std::vector<Platform::HostAdapter> ListHostAdapters() override { return host; }
    bool Open(std::string& failed_step) override
    {
        failed_step = "bind";
        return open_succeeds;
    }
    bool Send(const std::string& payload, int adapter_index, uint32_t source) override
    {
        sent.push_back(payload + "@" + std::to_string(adapter_index) + "/" + FormatIPv4(source));
        return true;
    }
    Platform::SocketWait WaitReadable(int) override
    {
        if (endless || !incoming.empty())
            return Platform::SocketWait::Ready;
        return fail_after_replies ? Platform::SocketWait::Failed : Platform::SocketWait::TimedOut;
    }
    long Receive(char* buffer, std::size_t size) override
    {
        std::string datagram = endless ? "<VEXO IPADDR=\"10.0.0.1\" />" : incoming.front();
        if (!endless)
            incoming.pop_front();
        datagram.resize(std::min(datagram.size(), size));
        std::copy(datagram.begin(), datagram.end(), buffer);
        return static_cast<long>(datagram.size());
    }
    void Close() override { ++closed; }

    std::vector<Platform::HostAdapter> host;
    std::deque<std::string> incoming;
    std::vector<std::string> sent;
    bool open_succeeds = true;
    bool endless = false;
    bool fail_after_replies = false;
    int closed = 0;
};

TEST(CVEXOTest, SendsNothingWithoutAQualifyingAddress)
{
    FakeTransport transport;
    transport.host.push_back(Wired("lo", 1, 0x7F000001, 0xFF000000));
    transport.host.back().loopback = true;
    transport.host.push_back(Wired("down", 2, 0x0A000001, 0xFF000000));
    transport.host.back().up = false;
    transport.host.push_back(Wired("noaddr", 3, 0, 0));
    transport.incoming.push_back("<VEXO IPADDR=\"10.0.0.9\" />");
    CVEXO vexo(transport);
    EXPECT_TRUE(vexo.Scan().empty());
    EXPECT_TRUE(transport.sent.empty());
    EXPECT_FALSE(vexo.SetNetwork("00:00:00:00:00:01", "10.0.0.2", "255.0.0.0", "0.0.0.0"));
}

TEST(CVEXOTest, SendsBothRequestsFromEveryAddressHoweverMany)
{
    FakeTransport transport;
    transport.host.push_back(Wired("h0", 4, 0x0A000001, 0xFFFFFF00));
    for (uint32_t i = 2; i <= 25; ++i)
        transport.host.back().addresses.push_back({0x0A000000 + i, 0xFFFFFF00});
    CVEXO vexo(transport);
    vexo.Scan();
    ASSERT_EQ(50u, transport.sent.size());
    EXPECT_EQ("<VEXO DIR=\"Request\" CMD=\"Device_ScanDorvane\" />@4/10.0.0.1", transport.sent[0]);
    EXPECT_EQ("<VEXO DIR=\"Request\" CMD=\"Device_ScanDorvane_2\" />@4/10.0.0.25", transport.sent[49]);
    EXPECT_EQ(1u, vexo.Adapters().size());
}

TEST(CVEXOTest, PrefersRepliesWithAUserStringAndDropsRepliesWithoutAddress)
{
    FakeTransport transport;
    transport.host.push_back(Wired("h0", 2, 0x0A000001, 0xFFFFFF00));
    const std::string full_datagram = "<VEXO IPADDR=\"10.0.0.4\" SERIAL=\"" + std::string(980, '9');
    transport.incoming = {
        "<VEXO IPADDR=\"10.0.0.2\" SERIAL=\"first\" />",
        "<VEXO IPADDR=\"10.0.0.2\" SERIAL=\"second\" />",
        "<VEXO IPADDR=\"10.0.0.3\" USERSTRING=\"a\" />",
        "<VEXO IPADDR=\"10.0.0.3\" />",
        "<VEXO IPADDR=\"10.0.0.3\" USERSTRING=\"b\" />",
        "<VEXO SERIAL=\"no address\" />",
        full_datagram + std::string(100, 'x'),
    };
    CVEXO vexo(transport);
    const auto replies = vexo.Scan();
    ASSERT_EQ(3u, replies.size());
    EXPECT_EQ("<VEXO IPADDR=\"10.0.0.2\" SERIAL=\"first\" />", replies.at("10.0.0.2"));
    EXPECT_EQ("<VEXO IPADDR=\"10.0.0.3\" USERSTRING=\"b\" />", replies.at("10.0.0.3"));
    EXPECT_EQ(1024u, replies.at("10.0.0.4").size());
}

TEST(CVEXOTest, EndsCollectionAtTheTotalLimitWhileDatagramsKeepComing)
{
    FakeTransport transport;
    transport.host.push_back(Wired("h0", 2, 0x0A000001, 0xFFFFFF00));
    transport.endless = true;
    CVEXO vexo(transport, 50);
    EXPECT_EQ(1u, vexo.Scan().size());
    EXPECT_EQ(1u, vexo.Adapters().size());
}

TEST(CVEXOTest, AFailedStepKeepsTheRepliesButTakesNoAdapterSnapshot)
{
    FakeTransport transport;
    transport.host.push_back(Wired("h0", 2, 0x0A000001, 0xFFFFFF00));
    transport.incoming.push_back("<VEXO IPADDR=\"10.0.0.2\" />");
    transport.fail_after_replies = true;
    CVEXO vexo(transport);
    EXPECT_EQ(1u, vexo.Scan().size());
    EXPECT_TRUE(vexo.Adapters().empty());
    transport.open_succeeds = false;
    EXPECT_TRUE(CVEXO(transport).Scan().empty());
    EXPECT_EQ(2, transport.closed);
}

TEST(CVEXOTest, SetNetworkIsConfirmedByAnyReplyOk)
{
    FakeTransport transport;
    transport.host.push_back(Wired("h0", 2, 0x0A000001, 0xFFFFFF00));
    CVEXO vexo(transport);
    transport.incoming = {"<VEXO DIR=\"Reply\" CMD=\"Device_SetNetwork\" />"};
    EXPECT_FALSE(vexo.SetNetwork("00:1a:2b:3c:4d:5e", "10.0.0.9", "255.255.255.0", "10.0.0.254"));
    ASSERT_EQ(1u, transport.sent.size());
    EXPECT_EQ("<VEXO DIR=\"Request\" CMD=\"Device_SetNetwork\" ETHADDR=\"00:1a:2b:3c:4d:5e\" "
              "IPADDR=\"10.0.0.9\" GATEWAYIP=\"10.0.0.254\" NETMASK=\"255.255.255.0\" />@2/10.0.0.1",
              transport.sent[0]);
    transport.incoming = {"<VEXO DIR=\"ReplyOk\" CMD=\"Device_SetNetwork\" />",
                          "<VEXO DIR=\"Reply\" IPADDR=\"10.0.0.7\" />"};
    EXPECT_TRUE(vexo.SetNetwork("00:1a:2b:3c:4d:5e", "10.0.0.9", "255.255.255.0", "10.0.0.254"));
}

}  // namespace
