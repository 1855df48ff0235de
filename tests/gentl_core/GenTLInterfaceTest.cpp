// The interface module: its device list update, device lookup by plain,
// alternative and probe IDs, interface info and registers, and list updates
// racing with opens.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ModuleTreeFixture.h"

namespace ModuleTest {
namespace {

using GenTLCore::GenTLLocalDevice;
using IDs = std::vector<std::string>;

using InterfaceTest = ModuleTreeTest;

// ---- The device list update ----

TEST_F(InterfaceTest, RediscoveredDeviceTakesOverTheNewFactsAndKeepsItsObject)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    const SharedPtr<TestDevice> before = OpenDevice(*itf, "TestPrefix_DEV_D1");
    ASSERT_TRUE(before);
    DeviceFacts moved;
    moved.ip = "127.0.0.9";
    itf->discovered = {MakeDeviceTag("D1", moved)};
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(PublishedDeviceIDs(*itf), IDs{"TestPrefix_DEV_D1"});
    EXPECT_TRUE(before->MatchesAlternativeID("ip", "127.0.0.9"));
    EXPECT_FALSE(before->IsNotAvailable());
}

TEST_F(InterfaceTest, OpenDeviceNotRediscoveredIsMarkedRefusesItsChildrenAndGoesOnceClosed)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    const SharedPtr<TestDevice> dev = OpenDevice(*itf, "TestPrefix_DEV_D1");
    ASSERT_TRUE(dev);
    itf->discovered.clear();
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_TRUE(PublishedDeviceIDs(*itf).empty());
    SharedPtr<GenTLCore::GenTLRemoteDevice> remote;
    SharedPtr<GenTLCore::GenTLDataStream> stream;
    SharedPtr<GenTLLocalDevice> again;
    const struct {
        GC_ERROR result;
        const char* text;
    } rows[] = {
        {dev->DevGetPort(remote),
         "DevGetPort: the device is marked as inaccessible, refusing to open the remote port"},
        {dev->StmOpen("anything", stream),
         "StmOpen: the device is marked as inaccessible, refusing to open the datastream"},
        {itf->DevOpen("TestPrefix_DEV_D1", DEVICE_ACCESS_CONTROL, again),
         "DevOpen: the requested device exists in the list, but is marked as inaccessible"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.result, GC_ERR_ACCESS_DENIED);
    }
    EXPECT_EQ(LastErrorText(), rows[2].text);
    opened.CloseFrom(dev);
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(dev.UseCount(), 1);
}

TEST_F(InterfaceTest, OutOfMemoryEndsTheUpdateAndClosingDropsEveryDevice)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    SharedPtr<GenTLLocalDevice> dev;
    ASSERT_EQ(itf->DevOpen("TestPrefix_DEV_D1", DEVICE_ACCESS_CONTROL, dev), GC_ERR_SUCCESS);
    opened.CloseFrom(itf);
    EXPECT_EQ(dev.UseCount(), 1);
    ASSERT_EQ(opened.Open(itf), GC_ERR_SUCCESS);
    EXPECT_TRUE(PublishedDeviceIDs(*itf).empty());
    itf->bad_alloc_on_create = true;
    EXPECT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_OUT_OF_MEMORY);
    EXPECT_TRUE(PublishedDeviceIDs(*itf).empty());
}

// ---- Lookup by ID ----

// Only a probe key of the branding ("ip", exact case) probes; other
// alternative IDs run a full discovery; a listed device needs neither.
TEST_F(InterfaceTest, DevOpenFindsByIDAlternativeIDOrProbe)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    SharedPtr<GenTLLocalDevice> dev;
    const auto open = [&](const char* id) {
        dev.Reset();
        return itf->DevOpen(id, DEVICE_ACCESS_CONTROL, dev);
    };
    EXPECT_EQ(open(nullptr), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "DevOpen: invalid device ID pointer");
    const SharedPtr<TestDevice> d1 = OpenDevice(*itf, "#ip#127.0.0.1");
    ASSERT_TRUE(d1);
    EXPECT_EQ(d1->GetID(), "TestPrefix_DEV_D1");
    ASSERT_EQ(open("#sn#D1"), GC_ERR_SUCCESS);
    EXPECT_EQ(dev.Get(), static_cast<GenTLLocalDevice*>(d1.Get()));
    EXPECT_EQ(itf->discoveries, 1);
    EXPECT_EQ(journal.Count("open 3"), 1);
    for (const char* id : {"nonexistent", "#IP#127.0.0.7", "#sn#D9", "#ip", "#mac#aa"}) {
        SCOPED_TRACE(id);
        const int discoveries = itf->discoveries;
        EXPECT_EQ(open(id), GC_ERR_INVALID_ID);
        EXPECT_EQ(itf->discoveries, discoveries + 1);
        EXPECT_EQ(itf->last_timeout, 4321u);
    }
    EXPECT_EQ(LastErrorText(), "DevOpen: invalid device ID, no such device exists");
    EXPECT_EQ(itf->probes, 0);
    itf->discovery_result = GC_ERR_IO;
    EXPECT_EQ(open("nonexistent"), GC_ERR_IO);

    // A probed device is handed out unpublished and let go once closed.
    const SharedPtr<TestDevice> probed = OpenDevice(*itf, "#ip#127.0.0.7");
    ASSERT_TRUE(probed);
    EXPECT_EQ(itf->last_probe, "ip/127.0.0.7");
    EXPECT_EQ(PublishedDeviceIDs(*itf), IDs{"TestPrefix_DEV_D1"});
    opened.CloseFrom(probed);
    itf->discovery_result = GC_ERR_SUCCESS;
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(probed.UseCount(), 1);
}

TEST_F(InterfaceTest, ProbeFailuresGiveTheirCodes)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    itf->probe_result = GC_ERR_INVALID_PARAMETER;
    EXPECT_FALSE(OpenDevice(*itf, "#ip#bad"));
    EXPECT_EQ(itf->probes, 1);
    itf->probe_result = GC_ERR_SUCCESS;
    itf->probe_finds_device = false;
    EXPECT_FALSE(OpenDevice(*itf, "#ip#127.0.0.7"));
    EXPECT_EQ(LastErrorText(), "DevOpen: invalid device ID, no such device exists");
    itf->probe_implemented = false;
    EXPECT_FALSE(OpenDevice(*itf, "#ip#127.0.0.7"));
    EXPECT_EQ(LastErrorText(),
              "Attempt to direct probe a device, but direct probing not fully implemented.");
    expected_asserts = 1;
}

// ---- Info ----

std::string InterfaceInfo(TestInterface& itf, INTERFACE_INFO_CMD command)
{
    return InfoString([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return itf.GetInterfaceInfo(command, type, buffer, size);
    });
}

TEST_F(InterfaceTest, AnswersItsInfoAndItsDevicesInfoForPublishedOnesOnly)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    EXPECT_EQ(InterfaceInfo(*itf, INTERFACE_INFO_ID), "TestPrefix_If");
    EXPECT_EQ(InterfaceInfo(*itf, INTERFACE_INFO_DISPLAYNAME), "Fake If (TestPrefix_If)");
    EXPECT_EQ(InterfaceInfo(*itf, INTERFACE_INFO_TLTYPE), "TestTL");
    EXPECT_EQ(ReadString(*itf, 0x0, 128).c_str(), std::string("TestPrefix_If"));
    EXPECT_EQ(ReadString(*itf, 0x80, 128).c_str(), std::string("Fake If (TestPrefix_If)"));
    EXPECT_EQ(InfoString([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
                  return system->GetInterfaceInfo("TestPrefix_If", INTERFACE_INFO_DISPLAYNAME, type,
                                                  buffer, size);
              }),
              "Fake If (TestPrefix_If)");
    branding.custom_interface_name = "Custom name";
    EXPECT_EQ(InterfaceInfo(*itf, INTERFACE_INFO_DISPLAYNAME), "Custom name");
    ExpectNotImplemented(
        [&](INTERFACE_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
            return itf->GetInterfaceInfo(command, type, buffer, size);
        },
        {3, 999, -1, 1000}, "GetInterfaceInfo: unknown interface info command requested");
    EXPECT_EQ(InfoString([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
                  return itf->GetDeviceInfo("TestPrefix_DEV_D1", DEVICE_INFO_MODEL, type, buffer,
                                            size);
              }),
              "Model");

    itf->discovered.push_back(MakeDeviceTag("D2"));
    SharedPtr<GenTLLocalDevice> d2;
    ASSERT_EQ(itf->DevOpen("TestPrefix_DEV_D2", DEVICE_ACCESS_CONTROL, d2), GC_ERR_SUCCESS);
    char buffer[64];
    size_t size = sizeof buffer;
    INFO_DATATYPE type = 0;
    const struct {
        GC_ERROR expected;
        GC_ERROR result;
        const char* text;
    } rows[] = {
        {GC_ERR_INVALID_ID,
         itf->GetDeviceInfo("TestPrefix_DEV_D2", DEVICE_INFO_ID, &type, buffer, &size),
         "GetDeviceInfo: invalid device ID, no such device exists"},
        {GC_ERR_INVALID_PARAMETER,
         itf->GetDeviceInfo(nullptr, DEVICE_INFO_ID, &type, buffer, &size),
         "GetDeviceInfo: invalid device ID pointer"},
        {GC_ERR_INVALID_INDEX, itf->GetDeviceID(1, buffer, &size),
         "GetDeviceID: invalid device index, exceeding number of devices"},
        {GC_ERR_INVALID_PARAMETER,
         system->GetInterfaceInfo(nullptr, INTERFACE_INFO_ID, &type, buffer, &size),
         "GetInterfaceInfo: invalid interface ID pointer"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.result, row.expected);
    }
    EXPECT_EQ(LastErrorText(), rows[3].text);
}

// ---- Registers ----

constexpr uint64_t NR_DEVICES_ADDRESS = 0x10000004;
constexpr uint64_t DEVICE_SELECTOR_ADDRESS = 0x10000008;
constexpr uint64_t DEVICE_ACCESS_STATUS_ADDRESS = 0x1000000C;
constexpr uint64_t DEVICE_ID_ADDRESS = 0x10000010;

TEST_F(InterfaceTest, WithoutDevicesTheDeviceRegistersReadZeroAndEmpty)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    EXPECT_EQ(ReadUInt32(*itf, NR_DEVICES_ADDRESS), 0u);
    EXPECT_EQ(WriteUInt32(*itf, DEVICE_SELECTOR_ADDRESS, 7), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*itf, DEVICE_SELECTOR_ADDRESS), 0u);
    EXPECT_EQ(ReadString(*itf, DEVICE_ID_ADDRESS, 128), std::string(128, '\0'));
    EXPECT_EQ(ReadUInt32(*itf, DEVICE_ACCESS_STATUS_ADDRESS), 0u);
    EXPECT_EQ(ReadUInt32(*itf, 0x10000190), 0u);
    EXPECT_EQ(ReadUInt32(*itf, 0x10000194), 0u);
    expected_asserts = 6;  // diagnostics only: the selector write and five reads
}

// The selector clamps to the last device; the update register publishes
// with the default timeout.
TEST_F(InterfaceTest, DeviceRegistersDescribeTheSelectedDevice)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    itf->discovered.push_back(MakeDeviceTag("D2"));
    ASSERT_EQ(WriteUInt32(*itf, 0x10000000, 1), GC_ERR_SUCCESS);
    EXPECT_EQ(itf->last_timeout, 4321u);
    EXPECT_EQ(ReadUInt32(*itf, NR_DEVICES_ADDRESS), 2u);
    ASSERT_TRUE(OpenDevice(*itf, "TestPrefix_DEV_D2", DEVICE_ACCESS_EXCLUSIVE));
    EXPECT_EQ(journal.Count("open 4"), 1);
    EXPECT_EQ(WriteUInt32(*itf, DEVICE_SELECTOR_ADDRESS, 7), GC_ERR_SUCCESS);
    expected_asserts = 1;
    EXPECT_EQ(ReadUInt32(*itf, DEVICE_SELECTOR_ADDRESS), 1u);
    EXPECT_EQ(ReadString(*itf, DEVICE_ID_ADDRESS, 128).c_str(), std::string("TestPrefix_DEV_D2"));
    EXPECT_EQ(ReadString(*itf, 0x10000090, 64).c_str(), std::string("Vendor"));
    EXPECT_EQ(ReadString(*itf, 0x10000110, 64).c_str(), std::string("D2"));
    EXPECT_EQ(ReadString(*itf, 0x10000150, 64).c_str(), std::string("user name"));
    EXPECT_EQ(ReadUInt32(*itf, 0x10000190), 1u);
    EXPECT_EQ(ReadUInt32(*itf, 0x10000194), 7u);
    EXPECT_EQ(ReadUInt32(*itf, 0x10000198), 9u);
    EXPECT_EQ(ReadUInt32(*itf, DEVICE_ACCESS_STATUS_ADDRESS), 5u);
}

// TL versions are offered unless the TL type is exactly "Custom".
TEST_F(InterfaceTest, TLVersionsAvailableIsZeroOnlyForCustom)
{
    for (const auto& [tl_type, available] :
         {std::pair<const char*, uint32_t>{"Custom", 0}, {"custom", 1}, {"GEV", 1}}) {
        SCOPED_TRACE(tl_type);
        branding.tl_type = tl_type;
        system->discovered = {MakeInterfaceTag(tl_type)};
        ASSERT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_SUCCESS);
        EXPECT_EQ(ReadUInt32(*OpenInterface(std::string("TestPrefix_") + tl_type), 0x100),
                  available);
    }
}

// ---- Racing threads ----

// List updates against opens and closes, and system updates against lookups:
// only documented results, the lists intact. The sanitizer builds check the
// locking.
TEST_F(InterfaceTest, UpdatesRacingWithOpensGiveOnlyDocumentedResults)
{
    constexpr int ROUNDS = 200;
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1", "D2"});
    itf->alternate = true;  // devices come and go
    std::atomic<int> unexpected{0};
    std::thread updater([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            if (itf->UpdateDeviceListReportChange(nullptr, 0) != GC_ERR_SUCCESS ||
                system->UpdateInterfaceListReportChange(nullptr, 0) != GC_ERR_SUCCESS)
                ++unexpected;
        }
    });
    std::thread opener([&] {
        const std::set<GC_ERROR> documented{GC_ERR_SUCCESS, GC_ERR_ACCESS_DENIED,
                                            GC_ERR_INVALID_ID};
        for (int i = 0; i < ROUNDS; ++i) {
            SharedPtr<GenTLCore::GenTLInterface> found;
            if (system->ItfOpen("TestPrefix_If", found) != GC_ERR_SUCCESS) ++unexpected;
            SharedPtr<GenTLLocalDevice> dev;
            GC_ERROR result = itf->DevOpen("TestPrefix_DEV_D1", DEVICE_ACCESS_CONTROL, dev);
            if (result == GC_ERR_SUCCESS && (result = dev->Open()) == GC_ERR_SUCCESS) {
                uint32_t streams = 0;
                dev->GetNumDataStreams(&streams);
                SharedPtr<GenTLCore::GenTLRemoteDevice> remote;
                dev->DevGetPort(remote);
                dev->Close();
            }
            if (documented.count(result) == 0) ++unexpected;
        }
    });
    updater.join();
    opener.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_LE(PublishedDeviceIDs(*itf).size(), 2u);
    EXPECT_EQ(PublishedInterfaceIDs(), IDs{"TestPrefix_If"});
}

}  // namespace
}  // namespace ModuleTest
