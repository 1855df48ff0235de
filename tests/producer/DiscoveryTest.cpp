// Discovery without a network: address conversions, reply parsing, device
// tags, and the discovery client over a fake transport.
// The rules that keep replies out of the list are checked through the .cti
// (DiscoveryNetnsTest).
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gentl_producers/GenTesk3d/CVEXO.h"
#include "gentl_producers/GenTesk3d/DeviceTagTesk.h"
#include "gentl_producers/GenTesk3d/GenTLDataStreamTesk.h"
#include "gentl_producers/GenTesk3d/InterfaceTagTesk.h"
#include "platform/AssertionRecorder.h"

namespace {

using namespace GenTLCore::ZoTL;

Platform::HostAdapter Wired(const std::string& name, uint32_t address)
{
    Platform::HostAdapter adapter;
    adapter.name = name;
    adapter.index = 2;
    adapter.up = adapter.running = adapter.ethernet = true;
    adapter.addresses.push_back({address, 0xFFFFFF00});
    return adapter;
}

TEST(AddressConversionTest, ParsesOnlyWellFormedTextAndMasksEachSideOnItsOwn)
{
    uint32_t ip = 7;
    uint64_t mac = 7;
    for (const char* text :
         {"256.1.1.1", "1.2.3", "1.2.3.4.5", "1.2.3.", " 1.2.3.4", "-1.2.3.4", "abc", "",
          "00:1a:2b:3c:4d", "00:1a:2b:3c:4d:5e:6f", "00:1a:2b:3c:4d:5g", "001:1a:2b:3c:4d:5e"})
        EXPECT_FALSE(ParseIPv4(text, ip) || ParseMAC(text, mac)) << text;
    EXPECT_TRUE(ip == 7 && mac == 7);  // a refused text leaves the value as it was
    EXPECT_FALSE(ParseMAC("192.168.100.1", mac) || ParseIPv4("00:1a:2B:3c:4d:5e", ip));
    EXPECT_TRUE(ParseIPv4("192.168.100.1", ip) && ip == 0xC0A86401);
    EXPECT_TRUE(ParseIPv4("255.255.255.255", ip) && ip == 0xFFFFFFFF);
    EXPECT_TRUE(ParseMAC("00:1a:2B:3c:4d:5e", mac) && mac == 0x001A2B3C4D5E);
    EXPECT_EQ("00:1a:2b:3c:4d:5e", FormatMAC(0x001A2B3C4D5E));
    EXPECT_FALSE(IsSameSubnet("192.168.100.10", "255.255.255.0", "192.168.100.1", "255.255.0.0"));
    EXPECT_TRUE(IsSameSubnet("192.168.100.10", "255.255.0.0", "192.168.0.1", "255.255.0.0"));
    for (const char* bad : {"192.168.100.300", "", "1.2.3"})  // address, then each other field
        EXPECT_FALSE(IsSameSubnet(bad, "255.255.255.0", "192.168.100.1", "255.255.255.0") ||
                     IsSameSubnet("192.168.100.10", bad, "192.168.100.1", "255.255.255.0") ||
                     IsSameSubnet("192.168.100.10", "255.255.255.0", bad, "255.255.255.0") ||
                     IsSameSubnet("192.168.100.10", "255.255.255.0", "192.168.100.1", bad))
            << bad;
}

TEST(ReplyAttributesTest, SplitsKeysAndValuesAndKeepsTheFirstOccurrence)
{
    EXPECT_EQ((std::map<std::string, std::string>{{"<VEXO DIR=", "Reply"},
                                                  {" IPADDR=", "10.0.0.1"},
                                                  {" USERSTRING=", ""},
                                                  {" TYPE=", "cut"}}),
              ParseReplyAttributes("<VEXO DIR=\"Reply\" IPADDR=\"10.0.0.1\" USERSTRING=\"\" "
                                   "IPADDR=\"10.0.0.2\" TYPE=\"cut"));
}

TEST(DeviceTagTest, KeepsSensorsApartByModelAndSerialAndProbedOnesByAddress)
{
    const auto tag = [](const char* model, const char* serial) {
        DeviceTagFields fields;
        fields.model = model;
        fields.serial = serial;
        return DeviceTagTesk(fields);
    };
    EXPECT_FALSE(tag("AB", "C").IsSameAs(tag("A", "BC")));
    EXPECT_TRUE(tag("A", "B").IsSameAs(tag("A", "B")));
    const auto probed = DeviceTagTesk::ForProbe("10.0.0.1");
    EXPECT_TRUE(probed->IsSameAs(*DeviceTagTesk::ForProbe("10.0.0.1")));
    EXPECT_FALSE(probed->IsSameAs(*DeviceTagTesk::ForProbe("10.0.0.2")));
}

// No alternative ID key is known; asking for one reports the quoted text.
TEST(DeviceTagTest, AlternativeIDKeysAreRefusedWithTheirAssertionTexts)
{
    TestSupport::AssertionRecorder asserts;
    EXPECT_FALSE(InterfaceTagTesk().MatchesAlternativeID("key", "value"));
    EXPECT_FALSE(StreamTagTesk("device").MatchesAlternativeID("key", "value"));
    EXPECT_EQ(asserts.Failures(),
              (std::vector<std::string>{"Unexpected interface alternative ID key",
                                        "Unexpected data stream alternative ID key"}));
}

// The port busy `busy_answers` times, then `open_result`; reply datagrams
// `left` times (-1: without end), then `last_wait`. Waits and pauses end at
// once. h0 and nc (up, with an address) send; only h0 is a listed adapter.
class FakeTransport : public DiscoveryTransport {
public:
    std::vector<Platform::HostAdapter> ListHostAdapters() override
    {
        std::vector host{Wired("h0", 0x0A000001), Wired("lo", 0x7F000001), Wired("wl", 0),
                         Wired("dn", 0x0A000101), Wired("nc", 0x0A000201), Wired("tun", 0)};
        host[1].loopback = host[2].wireless = true;
        host[3].up = host[4].running = host[5].ethernet = false;
        return host;
    }
    PortOpen Open(std::string& failed_step) override
    {
        failed_step = "bind";
        return busy_answers-- > 0 ? PortOpen::Busy : open_result;
    }
    void PauseMs(int ms) override { paused_ms += ms; }
    bool Send(const std::string&, int, uint32_t source) override
    {
        sent_from.insert(source);
        return true;
    }
    Platform::SocketWait WaitReadable(int) override
    {
        return left != 0 ? Platform::SocketWait::Ready : last_wait;
    }
    long Receive(char* buffer, std::size_t) override
    {
        const std::string datagram = reply_of(received++);
        left -= left > 0 ? 1 : 0;
        std::copy(datagram.begin(), datagram.end(), buffer);
        return static_cast<long>(datagram.size());
    }
    void Close() override {}

    int left = 0;
    Platform::SocketWait last_wait = Platform::SocketWait::Failed;
    std::set<uint32_t> sent_from;
    PortOpen open_result = PortOpen::Ok;
    int busy_answers = 0;
    int paused_ms = 0;
    int received = 0;
    // The reply numbered from 0.
    std::function<std::string(int)> reply_of = [](int) { return "IPADDR=\"10.0.0.1\""; };
};

TEST(CVEXOTest, EndsAtTheTotalLimitWhileDatagramsKeepComingAndKeepsRepliesOfAFailure)
{
    FakeTransport endless;
    endless.left = -1;
    EXPECT_EQ(1u, CVEXO(endless, 50).Scan().size());

    FakeTransport failing;
    failing.left = 1;
    CVEXO vexo(failing);
    EXPECT_EQ(1u, vexo.Scan().size());
    EXPECT_TRUE(vexo.Adapters().empty());
    failing.open_result = PortOpen::Failed;
    EXPECT_TRUE(CVEXO(failing).Scan().empty());
}

// Down and loopback adapters send nothing; only running wired ones are listed.
TEST(CVEXOTest, SendsFromAdaptersThatAreUpAndListsOnlyRunningWiredOnes)
{
    FakeTransport quiet;
    quiet.left = 1;
    quiet.last_wait = Platform::SocketWait::TimedOut;
    CVEXO vexo(quiet);
    EXPECT_EQ(1u, vexo.Scan().size());
    EXPECT_EQ((std::set<uint32_t>{0x0A000001, 0x0A000201}), quiet.sent_from);
    ASSERT_EQ(1u, vexo.Adapters().size());
    EXPECT_EQ("h0", vexo.Adapters()[0].friendly_name);
}

// A reply with a user string wins over one without, whichever comes first;
// of two alike, a later one with a user string replaces, one without is dropped.
TEST(CVEXOTest, PrefersTheReplyThatCarriesAUserString)
{
    const struct {
        const char* name;
        std::vector<std::string> tails;
        const char* kept;
    } rows[] = {{"plain, then user string", {" N=1", " USERSTRING=\"u\" N=2"}, "N=2"},
                {"user string, then plain", {" USERSTRING=\"u\" N=1", " N=2"}, "N=1"},
                {"two user strings", {" USERSTRING=\"u\" N=1", " USERSTRING=\"v\" N=2"}, "N=2"},
                {"two plain", {" N=1", " N=2"}, "N=1"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeTransport both;
        both.left = 2;
        both.reply_of = [&](int n) { return "IPADDR=\"10.0.0.1\"" + row.tails.at(n); };
        const std::map<std::string, std::string> replies = CVEXO(both).Scan();
        ASSERT_EQ(1u, replies.size());
        EXPECT_NE(std::string::npos, replies.begin()->second.find(row.kept));
    }
}

// Another scanner holds the port: tried again until the total limit.
TEST(CVEXOTest, WaitsForABusyPortUpToTheTotalLimit)
{
    FakeTransport turn;
    turn.busy_answers = 3;
    turn.left = 1;
    CVEXO vexo(turn, 1000);
    EXPECT_EQ(1u, vexo.Scan().size());
    EXPECT_EQ(PortOpen::Ok, vexo.PortResult());
    EXPECT_EQ(3 * CVEXO::PORT_RETRY_MS, turn.paused_ms);

    FakeTransport held;
    held.busy_answers = 1000000;
    CVEXO refused(held, 1000);
    EXPECT_TRUE(refused.Scan().empty());
    EXPECT_EQ(PortOpen::Busy, refused.PortResult());
    EXPECT_EQ(1000, held.paused_ms);
}

// Twenty thousand sensors answer; the first MAX_REPLIES are kept, and the
// last reply, from the first sensor with a user string, still replaces its own.
TEST(CVEXOTest, KeepsTheFirstSensorsOfAFlood)
{
    FakeTransport flood;
    flood.left = 20000;
    flood.reply_of = [](int n) {
        const int sensor = n == 19999 ? 0 : n;
        return "IPADDR=\"10.0." + std::to_string(sensor >> 8) + "." + std::to_string(sensor & 255) +
               (n == 19999 ? "\" USERSTRING=\"late\"" : "\"");
    };
    const std::map<std::string, std::string> replies = CVEXO(flood).Scan();
    EXPECT_EQ(CVEXO::MAX_REPLIES, replies.size());
    EXPECT_EQ(1u, replies.count("10.0.1.255"));
    EXPECT_EQ(0u, replies.count("10.0.2.0"));
    EXPECT_NE(std::string::npos, replies.at("10.0.0.0").find("late"));
}

}  // namespace
