// The interface module: its device list update, device lookup by plain,
// alternative and probe IDs, interface info and registers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleTreeFixture.h"

namespace ModuleTest {
namespace {

using GenTLCore::GenTLLocalDevice;

// ---- The device list update ----

using DeviceListUpdateTest = ModuleTreeTest;

TEST_F(DeviceListUpdateTest, RediscoveredDeviceTakesOverTheNewFactsAndKeepsItsObject)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    const SharedPtr<TestDevice> before = OpenDevice(*itf, "TestPrefix_DEV_D1");
    ASSERT_TRUE(before);
    DeviceFacts moved;
    moved.ip = "127.0.0.9";
    itf->discovered = {MakeDeviceTag("D1", moved)};
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);

    EXPECT_EQ(PublishedDeviceIDs(*itf), std::vector<std::string>{"TestPrefix_DEV_D1"});
    EXPECT_TRUE(before->MatchesAlternativeID("ip", "127.0.0.9"));
    EXPECT_FALSE(before->MatchesAlternativeID("ip", "127.0.0.1"));
    EXPECT_FALSE(before->IsNotAvailable());
}

TEST_F(DeviceListUpdateTest, OpenDeviceNotRediscoveredIsMarkedRefusesItsChildrenAndGoesOnceClosed)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    const SharedPtr<TestDevice> dev = OpenDevice(*itf, "TestPrefix_DEV_D1");
    ASSERT_TRUE(dev);
    itf->discovered.clear();
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_TRUE(PublishedDeviceIDs(*itf).empty());

    SharedPtr<GenTLCore::GenTLRemoteDevice> remote;
    EXPECT_EQ(dev->DevGetPort(remote), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "DevGetPort: the device is marked as inaccessible, refusing to open the remote port");
    SharedPtr<GenTLCore::GenTLDataStream> stream;
    EXPECT_EQ(dev->StmOpen("anything", stream), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "StmOpen: the device is marked as inaccessible, refusing to open the datastream");
    SharedPtr<GenTLLocalDevice> again;
    EXPECT_EQ(itf->DevOpen("TestPrefix_DEV_D1", DEVICE_ACCESS_CONTROL, again),
              GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "DevOpen: the requested device exists in the list, but is marked as inaccessible");
    opened.CloseFrom(dev);
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(dev.UseCount(), 1);
}

TEST_F(DeviceListUpdateTest, OutOfMemoryInCreationEndsTheUpdate)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    itf->discovered = {MakeDeviceTag("D1")};
    itf->bad_alloc_on_create = true;
    EXPECT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_OUT_OF_MEMORY);
    EXPECT_TRUE(PublishedDeviceIDs(*itf).empty());
}

TEST_F(DeviceListUpdateTest, ClosingTheInterfaceDropsEveryDevice)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    SharedPtr<GenTLLocalDevice> dev;
    ASSERT_EQ(itf->DevOpen("TestPrefix_DEV_D1", DEVICE_ACCESS_CONTROL, dev), GC_ERR_SUCCESS);
    opened.CloseFrom(itf);
    EXPECT_EQ(dev.UseCount(), 1);
    ASSERT_EQ(opened.Open(itf), GC_ERR_SUCCESS);
    EXPECT_TRUE(PublishedDeviceIDs(*itf).empty());
}

// ---- Lookup by ID ----

using DevOpenTest = ModuleTreeTest;

TEST_F(DevOpenTest, NullIDIsRefusedAndAnUnknownOneRunsADiscoveryWithTheDefaultTimeout)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    SharedPtr<GenTLLocalDevice> dev;
    EXPECT_EQ(itf->DevOpen(nullptr, DEVICE_ACCESS_CONTROL, dev), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "DevOpen: invalid device ID pointer");
    EXPECT_EQ(itf->DevOpen("nonexistent", DEVICE_ACCESS_CONTROL, dev), GC_ERR_INVALID_ID);
    EXPECT_EQ(LastErrorText(), "DevOpen: invalid device ID, no such device exists");
    EXPECT_EQ(itf->discoveries, 2);
    EXPECT_EQ(itf->last_timeout, 4321u);
    itf->discovery_result = GC_ERR_IO;
    EXPECT_EQ(itf->DevOpen("nonexistent", DEVICE_ACCESS_CONTROL, dev), GC_ERR_IO);
}

TEST_F(DevOpenTest, ProbeKeyProbesTheOneDeviceHandsItOutUnpublishedAndLetsItGoOnceClosed)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    const SharedPtr<TestDevice> dev = OpenDevice(*itf, "#ip#127.0.0.7");
    ASSERT_TRUE(dev);
    EXPECT_EQ(itf->probes, 1);
    EXPECT_EQ(itf->last_probe, "ip/127.0.0.7");
    EXPECT_EQ(itf->discoveries, 1);  // only the fixture's
    EXPECT_TRUE(PublishedDeviceIDs(*itf).empty());
    opened.CloseFrom(dev);
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(dev.UseCount(), 1);
}

TEST_F(DevOpenTest, ListedDeviceIsFoundByItsAlternativeIDWithoutProbing)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    const SharedPtr<TestDevice> dev = OpenDevice(*itf, "#ip#127.0.0.1");
    ASSERT_TRUE(dev);
    EXPECT_EQ(dev->GetID(), "TestPrefix_DEV_D1");
    EXPECT_EQ(itf->probes, 0);
    SharedPtr<GenTLLocalDevice> by_serial;
    ASSERT_EQ(itf->DevOpen("#sn#D1", DEVICE_ACCESS_CONTROL, by_serial), GC_ERR_SUCCESS);
    EXPECT_EQ(by_serial.Get(), static_cast<GenTLLocalDevice*>(dev.Get()));
    EXPECT_EQ(itf->discoveries, 1);
}

class NonProbeAlternativeIDTest : public ModuleTreeTest,
                                  public ::testing::WithParamInterface<const char*> {};

TEST_P(NonProbeAlternativeIDTest, RunsAFullDiscoveryInstead)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    SharedPtr<GenTLLocalDevice> dev;
    EXPECT_EQ(itf->DevOpen(GetParam(), DEVICE_ACCESS_CONTROL, dev), GC_ERR_INVALID_ID);
    EXPECT_EQ(itf->probes, 0);
    EXPECT_EQ(itf->discoveries, 2);
}

INSTANTIATE_TEST_SUITE_P(Keys, NonProbeAlternativeIDTest,
                         ::testing::Values("#IP#127.0.0.7", "#sn#D9", "#ip", "#mac#aa"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return "Case" + std::to_string(info.index);
                         });

TEST_F(DevOpenTest, ProbeFailuresGiveTheirCodes)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    SharedPtr<GenTLLocalDevice> dev;
    itf->probe_result = GC_ERR_INVALID_PARAMETER;
    EXPECT_EQ(itf->DevOpen("#ip#bad", DEVICE_ACCESS_CONTROL, dev), GC_ERR_INVALID_PARAMETER);
    itf->probe_result = GC_ERR_SUCCESS;
    itf->probe_finds_device = false;
    EXPECT_EQ(itf->DevOpen("#ip#127.0.0.7", DEVICE_ACCESS_CONTROL, dev), GC_ERR_INVALID_ID);
    itf->probe_implemented = false;
    EXPECT_EQ(itf->DevOpen("#ip#127.0.0.7", DEVICE_ACCESS_CONTROL, dev), GC_ERR_ERROR);
    EXPECT_EQ(LastErrorText(),
              "Attempt to direct probe a device, but direct probing not fully implemented.");
    expected_asserts = 1;
}

// ---- Info ----

using InterfaceInfoTest = ModuleTreeTest;

std::string InterfaceInfo(TestInterface& itf, INTERFACE_INFO_CMD command)
{
    return InfoString([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return itf.GetInterfaceInfo(command, type, buffer, size);
    });
}

TEST_F(InterfaceInfoTest, AnswersIDDisplayNameAndTypeAlsoInItsRegisters)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    EXPECT_EQ(InterfaceInfo(*itf, INTERFACE_INFO_ID), "TestPrefix_If");
    EXPECT_EQ(InterfaceInfo(*itf, INTERFACE_INFO_DISPLAYNAME), "Fake If (TestPrefix_If)");
    EXPECT_EQ(InterfaceInfo(*itf, INTERFACE_INFO_TLTYPE), "TestTL");
    EXPECT_EQ(ReadString(*itf, 0x0, 128).c_str(), std::string("TestPrefix_If"));
    EXPECT_EQ(ReadString(*itf, 0x80, 128).c_str(), std::string("Fake If (TestPrefix_If)"));
    branding.custom_interface_name = "Custom name";
    EXPECT_EQ(InterfaceInfo(*itf, INTERFACE_INFO_DISPLAYNAME), "Custom name");
}

TEST_F(InterfaceInfoTest, UnknownCommandsAreNotImplemented)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    ExpectNotImplemented(
        [&](INTERFACE_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
            return itf->GetInterfaceInfo(command, type, buffer, size);
        },
        {3, 999, -1, 1000}, "GetInterfaceInfo: unknown interface info command requested");
}

TEST_F(InterfaceInfoTest, SystemAnswersForPublishedInterfacesOnly)
{
    DiscoverInterfaces({"If"});
    const std::string name = InfoString([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return system->GetInterfaceInfo("TestPrefix_If", INTERFACE_INFO_DISPLAYNAME, type, buffer,
                                        size);
    });
    EXPECT_EQ(name, "Fake If (TestPrefix_If)");
    char buffer[8];
    size_t size = sizeof buffer;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(system->GetInterfaceInfo(nullptr, INTERFACE_INFO_ID, &type, buffer, &size),
              GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "GetInterfaceInfo: invalid interface ID pointer");
}

TEST_F(InterfaceInfoTest, DeviceInfoAndIDsComeFromPublishedDevicesOnly)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    const std::string model = InfoString([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return itf->GetDeviceInfo("TestPrefix_DEV_D1", DEVICE_INFO_MODEL, type, buffer, size);
    });
    EXPECT_EQ(model, "Model");

    itf->discovered.push_back(MakeDeviceTag("D2"));
    SharedPtr<GenTLLocalDevice> d2;
    ASSERT_EQ(itf->DevOpen("TestPrefix_DEV_D2", DEVICE_ACCESS_CONTROL, d2), GC_ERR_SUCCESS);
    char buffer[64];
    size_t size = sizeof buffer;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(itf->GetDeviceInfo("TestPrefix_DEV_D2", DEVICE_INFO_ID, &type, buffer, &size),
              GC_ERR_INVALID_ID);
    EXPECT_EQ(LastErrorText(), "GetDeviceInfo: invalid device ID, no such device exists");
    EXPECT_EQ(itf->GetDeviceInfo(nullptr, DEVICE_INFO_ID, &type, buffer, &size),
              GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "GetDeviceInfo: invalid device ID pointer");
    EXPECT_EQ(itf->GetDeviceID(1, buffer, &size), GC_ERR_INVALID_INDEX);
    EXPECT_EQ(LastErrorText(), "GetDeviceID: invalid device index, exceeding number of devices");
}

// ---- Registers ----

using InterfaceRegisterTest = ModuleTreeTest;

constexpr uint64_t NR_DEVICES_ADDRESS = 0x10000004;
constexpr uint64_t DEVICE_SELECTOR_ADDRESS = 0x10000008;
constexpr uint64_t DEVICE_ACCESS_STATUS_ADDRESS = 0x1000000C;
constexpr uint64_t DEVICE_ID_ADDRESS = 0x10000010;

TEST_F(InterfaceRegisterTest, WithoutDevicesNumbersReadZeroAndTextsEmpty)
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

TEST_F(InterfaceRegisterTest, SelectorBeyondTheListDescribesTheLastDevice)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1", "D2"});
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
    EXPECT_EQ(ReadUInt32(*itf, DEVICE_ACCESS_STATUS_ADDRESS), 1u);
    EXPECT_EQ(ReadUInt32(*itf, NR_DEVICES_ADDRESS), 2u);
}

TEST_F(InterfaceRegisterTest, ListedDeviceIsOpenedWithTheAccessFlagsAndTheStatusFollows)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    ASSERT_TRUE(OpenDevice(*itf, "TestPrefix_DEV_D1", DEVICE_ACCESS_EXCLUSIVE));
    EXPECT_EQ(itf->discoveries, 1) << "a listed device needs no update";
    EXPECT_EQ(journal.Count("open 4"), 1);
    EXPECT_EQ(ReadUInt32(*itf, DEVICE_ACCESS_STATUS_ADDRESS), 5u);
}

TEST_F(InterfaceRegisterTest, UpdateRegisterPublishesWithTheDefaultTimeout)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    itf->discovered = {MakeDeviceTag("D1")};
    ASSERT_EQ(WriteUInt32(*itf, 0x10000000, 1), GC_ERR_SUCCESS);
    EXPECT_EQ(itf->last_timeout, 4321u);
    EXPECT_EQ(ReadUInt32(*itf, NR_DEVICES_ADDRESS), 1u);
}

class TLVersionsAvailableTest : public ModuleTreeTest,
                                public ::testing::WithParamInterface<std::pair<const char*, uint32_t>> {};

TEST_P(TLVersionsAvailableTest, IsZeroOnlyForExactlyCustom)
{
    branding.tl_type = GetParam().first;
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({});
    EXPECT_EQ(ReadUInt32(*itf, 0x100), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Types, TLVersionsAvailableTest,
                         ::testing::Values(std::make_pair("Custom", 0u),
                                           std::make_pair("custom", 1u),
                                           std::make_pair("GEV", 1u)),
                         [](const ::testing::TestParamInfo<std::pair<const char*, uint32_t>>& info) {
                             return "Case" + std::to_string(info.index);
                         });

}  // namespace
}  // namespace ModuleTest
