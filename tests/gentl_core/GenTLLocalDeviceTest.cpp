// The local device module: its open and close sequence with the remote
// device and data streams, device info, registers and device events.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleTreeFixture.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLEvent.h"

namespace ModuleTest {
namespace {

using GenTLCore::GenTLDataStream;
using GenTLCore::GenTLLocalDevice;
using GenTLCore::GenTLRemoteDevice;

constexpr const char* DEVICE_ID = "TestPrefix_DEV_D1";

// One published device "D1" behind an open interface, made with the knobs
// a test sets before Open().
class LocalDeviceTest : public ModuleTreeTest {
protected:
    void SetUp() override
    {
        ModuleTreeTest::SetUp();
        itf = InterfaceWithDevices({});
        ASSERT_TRUE(itf);
    }
    // Creates D1 with `knobs` and `facts`, then opens it with `access`.
    SharedPtr<TestDevice> Open(uint32_t access = DEVICE_ACCESS_CONTROL,
                               DeviceFacts facts = DeviceFacts())
    {
        Discover(facts);
        return OpenDevice(*itf, DEVICE_ID, access);
    }
    // D1 listed, not opened.
    SharedPtr<TestDevice> Listed(DeviceFacts facts = DeviceFacts())
    {
        Discover(facts);
        SharedPtr<GenTLLocalDevice> dev;
        EXPECT_EQ(itf->DevOpen(DEVICE_ID, DEVICE_ACCESS_CONTROL, dev), GC_ERR_SUCCESS);
        return dev.DynamicCast<TestDevice>();
    }
    void Discover(const DeviceFacts& facts)
    {
        itf->device_knobs = knobs;
        itf->discovered = {MakeDeviceTag("D1", facts)};
        EXPECT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    }
    std::vector<std::string> StreamIDs(TestDevice& dev)
    {
        return ListIDs([&](uint32_t* count) { return dev.GetNumDataStreams(count); },
                       [&](uint32_t i, char* id, size_t* size) {
                           return dev.GetDataStreamID(i, id, size);
                       });
    }
    static std::string StreamID(const std::string& suffix)
    {
        return "TestPrefix_STM" + suffix + "_" + DEVICE_ID;
    }

    DeviceKnobs knobs;
    SharedPtr<TestInterface> itf;
};

// ---- Open and close ----

using DeviceOpenTest = LocalDeviceTest;

TEST_F(DeviceOpenTest, OpenCreatesTheChildrenCloseReleasesThemAndItOpensAgain)
{
    const SharedPtr<TestDevice> dev = Open();
    ASSERT_TRUE(dev);
    EXPECT_EQ(StreamIDs(*dev), std::vector<std::string>{StreamID("0")});
    SharedPtr<GenTLRemoteDevice> first;
    ASSERT_EQ(dev->DevGetPort(first), GC_ERR_SUCCESS);
    EXPECT_EQ(first->GetID(), DEVICE_ID);
    EXPECT_EQ(journal.Entries(), std::vector<std::string>{"open 3"});
    opened.CloseFrom(dev);

    EXPECT_EQ(first.UseCount(), 1);
    EXPECT_TRUE(StreamIDs(*dev).empty());
    SharedPtr<GenTLRemoteDevice> none;
    EXPECT_EQ(dev->DevGetPort(none), GC_ERR_ERROR);
    EXPECT_EQ(LastErrorText(), "DevGetPort: no remote device instantiated for this local device");
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"open 3", "close tag"}));
    ASSERT_EQ(opened.Open(dev), GC_ERR_SUCCESS);
    EXPECT_EQ(StreamIDs(*dev), std::vector<std::string>{StreamID("0")});
}

TEST_F(DeviceOpenTest, NotAccessibleDeviceIsRefusedBeforeTheTransportLayer)
{
    DeviceFacts facts;
    facts.not_accessible = true;
    EXPECT_FALSE(Open(DEVICE_ACCESS_CONTROL, facts));
    EXPECT_EQ(LastErrorText(), "DeviceOpen: the device is currently not accessible");
    EXPECT_TRUE(journal.Entries().empty());
}

TEST_F(DeviceOpenTest, TransportLayerFailureIsReturnedWithNothingToUndo)
{
    knobs.open_result = GC_ERR_TIMEOUT;
    const SharedPtr<TestDevice> dev = Listed();
    EXPECT_EQ(dev->Open(), GC_ERR_TIMEOUT);
    EXPECT_EQ(journal.Entries(), std::vector<std::string>{"open 3"});
    EXPECT_FALSE(dev->IsOpen());
}

struct MissingChild {
    const char* name;
    bool implements_streams;
    std::vector<std::string> suffixes;
    bool remote_device;
};

class MissingChildTest : public LocalDeviceTest,
                         public ::testing::WithParamInterface<MissingChild> {};

TEST_P(MissingChildTest, OpenFailsOutOfMemoryAfterUndoingTheTransportLayer)
{
    knobs.implements_streams = GetParam().implements_streams;
    knobs.stream_suffixes = GetParam().suffixes;
    knobs.remote_device = GetParam().remote_device;
    const SharedPtr<TestDevice> dev = Listed();
    GenTLCore::ReportError(GC_ERR_IO, "earlier error");
    EXPECT_EQ(dev->Open(), GC_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(LastErrorText(), "earlier error");  // no message of its own
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"open 3", "close null"}));
    EXPECT_TRUE(StreamIDs(*dev).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Children, MissingChildTest,
    ::testing::Values(MissingChild{"NoStream", true, {}, true},
                      MissingChild{"OnlyEmptyStreams", true, {""}, true},
                      MissingChild{"NoRemoteDevice", true, {"0"}, false},
                      MissingChild{"NoRemoteDeviceWithoutStreams", false, {}, false}),
    [](const ::testing::TestParamInfo<MissingChild>& info) { return info.param.name; });

TEST_F(DeviceOpenTest, EmptyAndRepeatedStreamsAreSkippedAndTheRestFoundByExactID)
{
    knobs.stream_suffixes = {"", "0", "0", "1"};
    const SharedPtr<TestDevice> dev = Open();
    ASSERT_TRUE(dev);
    EXPECT_EQ(StreamIDs(*dev), (std::vector<std::string>{StreamID("0"), StreamID("1")}));
    SharedPtr<GenTLDataStream> stream;
    ASSERT_EQ(dev->StmOpen(StreamID("1").c_str(), stream), GC_ERR_SUCCESS);
    EXPECT_EQ(stream->GetID(), StreamID("1"));
}

TEST_F(DeviceOpenTest, DeviceWithoutStreamsOpensWithNone)
{
    knobs.implements_streams = false;
    const SharedPtr<TestDevice> dev = Open();
    ASSERT_TRUE(dev);
    uint32_t count = 9;
    EXPECT_EQ(dev->GetNumDataStreams(&count), GC_ERR_SUCCESS);
    EXPECT_EQ(count, 0u);
    SharedPtr<GenTLDataStream> stream;
    EXPECT_EQ(dev->StmOpen(StreamID("0").c_str(), stream), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "StmOpen: no data stream available for this device");
    char id[8];
    size_t size = sizeof id;
    EXPECT_EQ(dev->GetDataStreamID(0, id, &size), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "GetDataStreamID: no data stream available for this device");
}

TEST_F(DeviceOpenTest, CloseStopsARunningDeviceEventEngine)
{
    const SharedPtr<TestDevice> dev = Open();
    SharedPtr<GenTLCore::GenTLEvent> event;
    ASSERT_EQ(dev->RegisterEvent(EVENT_REMOTE_DEVICE, event), GC_ERR_SUCCESS);
    opened.CloseFrom(dev);
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"open 3", "start events",
                                                           "stop events", "close tag"}));
}

// ---- Streams ----

using StmOpenTest = LocalDeviceTest;

TEST_F(StmOpenTest, RefusesBadIDsAndIndexesInTheOrderOfItsChecks)
{
    const SharedPtr<TestDevice> dev = Open();
    SharedPtr<GenTLDataStream> stream;
    EXPECT_EQ(dev->StmOpen(nullptr, stream), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "StmOpen: invalid datastream ID pointer");
    EXPECT_EQ(dev->StmOpen(StreamID("0").substr(1).c_str(), stream), GC_ERR_INVALID_ID);
    EXPECT_EQ(LastErrorText(), "StmOpen: invalid datastream ID, no such datastream exists");
    EXPECT_EQ(dev->StmOpen("#slot#primary", stream), GC_ERR_INVALID_ID);
    char id[128];
    size_t size = sizeof id;
    EXPECT_EQ(dev->GetDataStreamID(1, id, &size), GC_ERR_INVALID_INDEX);
    EXPECT_EQ(LastErrorText(), "GetDataStreamID: invalid stream index, exceeding number of streams");
}

// ---- Device info ----

using DeviceInfoTest = LocalDeviceTest;

std::string DeviceInfo(TestDevice& dev, DEVICE_INFO_CMD command)
{
    return InfoString([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return dev.GetDeviceInfo(command, type, buffer, size);
    });
}

TEST_F(DeviceInfoTest, TextsComeFromTheTagAndTheBranding)
{
    const SharedPtr<TestDevice> dev = Listed();
    EXPECT_EQ(DeviceInfo(*dev, DEVICE_INFO_ID), DEVICE_ID);
    EXPECT_EQ(DeviceInfo(*dev, DEVICE_INFO_VENDOR), "Vendor");
    EXPECT_EQ(DeviceInfo(*dev, DEVICE_INFO_MODEL), "Model");
    EXPECT_EQ(DeviceInfo(*dev, DEVICE_INFO_TLTYPE), "TestTL");
    EXPECT_EQ(DeviceInfo(*dev, DEVICE_INFO_DISPLAYNAME), "Vendor Model (TestPrefix_DEV_D1)");
    EXPECT_EQ(DeviceInfo(*dev, DEVICE_INFO_USER_DEFINED_NAME), "user name");
    EXPECT_EQ(DeviceInfo(*dev, DEVICE_INFO_SERIAL_NUMBER), "D1");
    EXPECT_EQ(DeviceInfo(*dev, DEVICE_INFO_VERSION), "2.5");
    branding.custom_device_name = "My sensor";
    EXPECT_EQ(DeviceInfo(*dev, DEVICE_INFO_DISPLAYNAME), "My sensor");
}

TEST_F(DeviceInfoTest, TimestampFrequencyIsAUInt64OrTheTransportLayersFailure)
{
    const SharedPtr<TestDevice> dev = Listed();
    uint64_t frequency = 0;
    size_t size = sizeof frequency;
    INFO_DATATYPE type = 0;
    ASSERT_EQ(dev->GetDeviceInfo(DEVICE_INFO_TIMESTAMP_FREQUENCY, &type, &frequency, &size),
              GC_ERR_SUCCESS);
    EXPECT_EQ(type, INFO_DATATYPE_UINT64);
    EXPECT_EQ(frequency, 1000000000u);
    dev->knobs.timestamp_result = GC_ERR_NOT_AVAILABLE;
    EXPECT_EQ(dev->GetDeviceInfo(DEVICE_INFO_TIMESTAMP_FREQUENCY, &type, &frequency, &size),
              GC_ERR_NOT_AVAILABLE);
}

TEST_F(DeviceInfoTest, UserNameOfADeviceWithoutOneIsNotAvailable)
{
    const SharedPtr<TestDevice> dev = Listed();
    // The tag is the one the device was made from: change it before any use.
    SharedPtr<GenTLCore::DeviceTag> tag(new FakeDeviceTag("D2", "D2"));
    dynamic_cast<FakeDeviceTag&>(*tag).supports_user_id = false;
    itf->discovered = {tag};
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    SharedPtr<GenTLLocalDevice> d2;
    ASSERT_EQ(itf->DevOpen("TestPrefix_DEV_D2", DEVICE_ACCESS_CONTROL, d2), GC_ERR_SUCCESS);
    char name[32];
    size_t size = sizeof name;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(d2->GetDeviceInfo(DEVICE_INFO_USER_DEFINED_NAME, &type, name, &size),
              GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "GetDeviceInfo: user defined name not supported by the device");
}

TEST_F(DeviceInfoTest, UnknownCommandsAreNotImplemented)
{
    const SharedPtr<TestDevice> dev = Listed();
    ExpectNotImplemented(
        [&](DEVICE_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
            return dev->GetDeviceInfo(command, type, buffer, size);
        },
        {10, 999, -5, 1000}, "GetDeviceInfo: unknown device info command requested");
}

struct AccessCase {
    const char* name;
    bool open;
    uint32_t access;
    DeviceFacts facts;
    int32_t status;
};

DeviceFacts Busy()
{
    DeviceFacts facts;
    facts.free = false;
    return facts;
}

DeviceFacts NoAccess()
{
    DeviceFacts facts;
    facts.not_accessible = true;
    return facts;
}

class AccessStatusTest : public LocalDeviceTest,
                         public ::testing::WithParamInterface<AccessCase> {};

TEST_P(AccessStatusTest, IsAnsweredAsInt32)
{
    const AccessCase& param = GetParam();
    const SharedPtr<TestDevice> dev = param.open ? Open(param.access, param.facts)
                                                 : Listed(param.facts);
    ASSERT_TRUE(dev);
    int32_t status = -1;
    size_t size = sizeof status;
    INFO_DATATYPE type = 0;
    ASSERT_EQ(dev->GetDeviceInfo(DEVICE_INFO_ACCESS_STATUS, &type, &status, &size),
              GC_ERR_SUCCESS);
    EXPECT_EQ(type, INFO_DATATYPE_INT32);
    EXPECT_EQ(status, param.status);
    const uint32_t register_status = param.status >= 5 ? static_cast<uint32_t>(param.status) : 0;
    EXPECT_EQ(ReadUInt32(*dev, 0x280), register_status);
}

INSTANTIATE_TEST_SUITE_P(
    States, AccessStatusTest,
    ::testing::Values(AccessCase{"ClosedFree", false, 0, DeviceFacts(), 1},
                      AccessCase{"ClosedBusy", false, 0, Busy(), 4},
                      AccessCase{"ClosedNoAccess", false, 0, NoAccess(), 3},
                      AccessCase{"OpenReadOnly", true, DEVICE_ACCESS_READONLY, DeviceFacts(), 6},
                      AccessCase{"OpenControl", true, DEVICE_ACCESS_CONTROL, DeviceFacts(), 5},
                      AccessCase{"OpenExclusive", true, DEVICE_ACCESS_EXCLUSIVE, DeviceFacts(), 5},
                      AccessCase{"OpenUnknownFlags", true, 7, DeviceFacts(), 0}),
    [](const ::testing::TestParamInfo<AccessCase>& info) { return info.param.name; });

// ---- Registers ----

using DeviceRegisterTest = LocalDeviceTest;

constexpr uint64_t STREAM_SELECTOR_ADDRESS = 0x10000004;
constexpr uint64_t STREAM_ID_ADDRESS = 0x10000010;
constexpr uint64_t EVENT_CONTROL_ADDRESS = 0x20000000;
constexpr uint64_t POLICY_ADDRESS = 0x20000008;
constexpr uint64_t PRIORITY_ADDRESS = 0x2000000C;
constexpr uint64_t APPLY_PRIORITY_ADDRESS = 0x20000010;

TEST_F(DeviceRegisterTest, SelectorBeyondTheStreamsDescribesTheLastOne)
{
    knobs.stream_suffixes = {"0", "1"};
    const SharedPtr<TestDevice> dev = Open();
    EXPECT_EQ(ReadUInt32(*dev, 0x10000000), 2u);
    ASSERT_EQ(WriteUInt32(*dev, STREAM_SELECTOR_ADDRESS, 7), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*dev, STREAM_SELECTOR_ADDRESS), 1u);
    EXPECT_EQ(ReadString(*dev, STREAM_ID_ADDRESS, 128).c_str(), StreamID("1"));
}

TEST_F(DeviceRegisterTest, ClosedDeviceHasNoStreamAndResetsTheSelector)
{
    const SharedPtr<TestDevice> dev = Open();
    ASSERT_EQ(WriteUInt32(*dev, STREAM_SELECTOR_ADDRESS, 7), GC_ERR_SUCCESS);
    opened.CloseFrom(dev);
    EXPECT_EQ(ReadUInt32(*dev, STREAM_SELECTOR_ADDRESS), 0u);
    EXPECT_EQ(ReadString(*dev, STREAM_ID_ADDRESS, 128), std::string(128, '\0'));
}

TEST_F(DeviceRegisterTest, TextsOfTheDevice)
{
    const SharedPtr<TestDevice> dev = Listed();
    EXPECT_EQ(ReadString(*dev, 0x0, 128).c_str(), std::string(DEVICE_ID));
    EXPECT_EQ(ReadString(*dev, 0x80, 64).c_str(), std::string("D1"));
    EXPECT_EQ(ReadString(*dev, 0xC0, 64).c_str(), std::string("user name"));
    EXPECT_EQ(ReadString(*dev, 0x1C0, 64).c_str(), std::string("Made by tests"));
    EXPECT_EQ(ReadString(*dev, 0x200, 128).c_str(),
              std::string("Vendor Model (TestPrefix_DEV_D1)"));
    EXPECT_EQ(ReadUInt32(*dev, 0x284), 1u);
}

TEST_F(DeviceRegisterTest, EventEngineControlNeedsTheBrandingAndAnEventInterface)
{
    EXPECT_EQ(ReadUInt32(*Listed(), EVENT_CONTROL_ADDRESS), 0u);
    branding.events_engine_control = true;
    EXPECT_EQ(ReadUInt32(*Listed(), EVENT_CONTROL_ADDRESS), 1u);
    EXPECT_EQ(ReadUInt32(*Listed(), 0x20000004), 0u);
}

TEST_F(DeviceRegisterTest, ThreadRegistersReadUnsetWhenTheTransportLayerCannotTell)
{
    const SharedPtr<TestDevice> dev = Open();
    EXPECT_EQ(ReadInt32(*dev, POLICY_ADDRESS), 2147483647);
    ASSERT_EQ(WriteUInt32(*dev, PRIORITY_ADDRESS, 3), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadInt32(*dev, PRIORITY_ADDRESS), 3);
    opened.CloseFrom(dev);
    EXPECT_EQ(ReadInt32(*dev, PRIORITY_ADDRESS), 2147483647);
    expected_asserts = 3;  // the default query is a diagnostic
}

TEST_F(DeviceRegisterTest, ApplyingThePriorityQueriesAnUnsetPriorityFirst)
{
    branding.events_engine_control = true;
    knobs.priority_supported = true;
    const SharedPtr<TestDevice> dev = Open();
    ASSERT_EQ(WriteUInt32(*dev, POLICY_ADDRESS, 2), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*dev, APPLY_PRIORITY_ADDRESS, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*dev, PRIORITY_ADDRESS, 4), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*dev, 0x0E00000C, 1), GC_ERR_SUCCESS);  // register streaming end
    EXPECT_EQ(journal.Entries(),
              (std::vector<std::string>{"open 3", "set priority 2/15", "set priority 2/4"}));
}

TEST_F(DeviceRegisterTest, PriorityIsReadFromTheTransportLayerButAppliedOnlyWithConsent)
{
    knobs.priority_supported = true;
    const SharedPtr<TestDevice> dev = Open();
    EXPECT_EQ(ReadInt32(*dev, POLICY_ADDRESS), 1);
    EXPECT_EQ(ReadInt32(*dev, PRIORITY_ADDRESS), 15);
    ASSERT_EQ(WriteUInt32(*dev, APPLY_PRIORITY_ADDRESS, 1), GC_ERR_SUCCESS);
    EXPECT_EQ(journal.Entries(), std::vector<std::string>{"open 3"});
}

// ---- Device events ----

using DeviceEventTest = LocalDeviceTest;

TEST_F(DeviceEventTest, OneRegistrationStartsTheEngineAndUnregisteringStopsAndFlushes)
{
    const SharedPtr<TestDevice> dev = Open();
    SharedPtr<GenTLCore::GenTLEvent> event;
    ASSERT_EQ(dev->RegisterEvent(EVENT_REMOTE_DEVICE, event), GC_ERR_SUCCESS);
    ASSERT_EQ(event->Open(), GC_ERR_SUCCESS);
    SharedPtr<GenTLCore::GenTLEvent> second;
    EXPECT_EQ(dev->RegisterEvent(EVENT_REMOTE_DEVICE, second), GC_ERR_RESOURCE_IN_USE);
    const uint8_t data[4] = {1, 2, 3, 4};
    const GenTLCore::EventPacket packet =
        GenTLCore::GenTLVirtualRemoteDeviceEvent::MakeEventPacket(data, sizeof data);
    EXPECT_TRUE(dev->OnEventPacket(packet.data(), packet.size()));

    uint8_t received[64] = {};
    size_t size = sizeof received;
    ASSERT_EQ(event->GetEventData(received, &size, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(std::vector<uint8_t>(received, received + size), packet);

    EXPECT_TRUE(dev->OnEventPacket(packet.data(), packet.size()));
    SharedPtr<GenTLCore::GenTLEvent> unregistered;
    ASSERT_EQ(dev->UnregisterEvent(EVENT_REMOTE_DEVICE, unregistered), GC_ERR_SUCCESS);
    size = sizeof received;
    EXPECT_EQ(event->GetEventData(received, &size, 0), GC_ERR_TIMEOUT);
    event->Close();
    EXPECT_EQ(journal.Entries(),
              (std::vector<std::string>{"open 3", "start events", "stop events"}));
}

TEST_F(DeviceEventTest, DeviceWithoutEventInterfaceRefusesTheRegistration)
{
    knobs.event_interface = false;
    const SharedPtr<TestDevice> dev = Open();
    SharedPtr<GenTLCore::GenTLEvent> event;
    EXPECT_EQ(dev->RegisterEvent(EVENT_REMOTE_DEVICE, event), GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "RegisterEvent: the message channel not available on this device.");
    EXPECT_FALSE(event);
}

TEST_F(DeviceEventTest, OtherEventTypesTouchNoDeviceEventsAndUnclaimedPacketsAreDropped)
{
    const SharedPtr<TestDevice> dev = Open();
    SharedPtr<GenTLCore::GenTLEvent> event;
    ASSERT_EQ(dev->RegisterEvent(EVENT_ERROR, event), GC_ERR_SUCCESS);
    SharedPtr<GenTLCore::GenTLEvent> unregistered;
    ASSERT_EQ(dev->UnregisterEvent(EVENT_ERROR, unregistered), GC_ERR_SUCCESS);
    EXPECT_EQ(journal.Entries(), std::vector<std::string>{"open 3"});
    const uint8_t data[2] = {9, 9};
    const GenTLCore::EventPacket packet =
        GenTLCore::GenTLVirtualRemoteDeviceEvent::MakeEventPacket(data, sizeof data);
    EXPECT_TRUE(dev->OnEventPacket(packet.data(), packet.size()));
    EXPECT_FALSE(dev->OnEventPacket(nullptr, 4));
    expected_asserts = 1;
}

TEST_F(DeviceEventTest, FailedStartIsReturnedAndLeavesNothingToStop)
{
    knobs.start_events_result = GC_ERR_IO;
    const SharedPtr<TestDevice> dev = Open();
    SharedPtr<GenTLCore::GenTLEvent> event;
    EXPECT_EQ(dev->RegisterEvent(EVENT_REMOTE_DEVICE, event), GC_ERR_IO);
    opened.CloseFrom(dev);
    EXPECT_EQ(journal.Count("stop events"), 0);
}

}  // namespace
}  // namespace ModuleTest
