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
using IDs = std::vector<std::string>;

constexpr const char* DEVICE_ID = "TestPrefix_DEV_D1";
constexpr uint64_t STREAM_SELECTOR = 0x10000004, STREAM_ID = 0x10000010;
constexpr uint64_t POLICY = 0x20000008, PRIORITY = 0x2000000C, APPLY_PRIORITY = 0x20000010;

// One device "D1" behind an open interface, made with the knobs a test sets
// before Open() or Listed().
class LocalDeviceTest : public ModuleTreeTest {
protected:
    void SetUp() override
    {
        ModuleTreeTest::SetUp();
        itf = InterfaceWithDevices({});
        ASSERT_TRUE(itf);
    }
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
    IDs StreamIDs(TestDevice& dev)
    {
        return ListIDs(
            [&](uint32_t* count) { return dev.GetNumDataStreams(count); },
            [&](uint32_t i, char* id, size_t* size) { return dev.GetDataStreamID(i, id, size); });
    }
    static std::string StreamID(const std::string& suffix)
    {
        return "TestPrefix_STM" + suffix + "_" + DEVICE_ID;
    }
    std::string Info(TestDevice& dev, DEVICE_INFO_CMD command)
    {
        return InfoString([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
            return dev.GetDeviceInfo(command, type, buffer, size);
        });
    }

    DeviceKnobs knobs;
    SharedPtr<TestInterface> itf;
};

// Close stops the running device event engine first and releases the
// children; a refused open leaves nothing behind.
TEST_F(LocalDeviceTest, CloseReleasesTheChildrenAndRefusedOpensLeaveNothing)
{
    const SharedPtr<TestDevice> dev = Open();
    ASSERT_TRUE(dev);
    SharedPtr<GenTLCore::GenTLEvent> event;
    ASSERT_EQ(dev->RegisterEvent(EVENT_REMOTE_DEVICE, event), GC_ERR_SUCCESS);
    opened.CloseDownTo(dev.Get());
    SharedPtr<GenTLCore::GenTLRemoteDevice> none;
    EXPECT_EQ(dev->DevGetPort(none), GC_ERR_ERROR);
    EXPECT_EQ(LastErrorText(), "DevGetPort: no remote device instantiated for this local device");
    EXPECT_EQ(journal.Entries(), (IDs{"open 3", "start events", "stop events", "close tag"}));
    dev->knobs.open_result = GC_ERR_TIMEOUT;
    EXPECT_EQ(dev->Open(), GC_ERR_TIMEOUT);
    EXPECT_EQ(journal.Entries(), IDs{"open 3"});
    EXPECT_FALSE(dev->IsOpen());
}

// A child the transport layer does not deliver fails the open out of memory,
// reported, after undoing the transport layer's open.
TEST_F(LocalDeviceTest, MissingChildFailsTheOpenAfterUndoingIt)
{
    const struct {
        const char* name;
        bool implements_streams;
        IDs suffixes;
        bool remote_device;
    } rows[] = {{"NoStream", true, {}, true},
                {"OnlyEmptyStreams", true, {""}, true},
                {"NoRemoteDevice", true, {"0"}, false},
                {"NoRemoteDeviceWithoutStreams", false, {}, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        knobs.implements_streams = row.implements_streams;
        knobs.stream_suffixes = row.suffixes;
        knobs.remote_device = row.remote_device;
        const SharedPtr<TestDevice> dev = Listed();
        EXPECT_EQ(dev->Open(), GC_ERR_OUT_OF_MEMORY);
        EXPECT_EQ(LastErrorText(),
                  "DeviceOpen: failed to create the data streams or the remote device");
        EXPECT_EQ(journal.Entries(), (IDs{"open 3", "close null"}));
        EXPECT_TRUE(StreamIDs(*dev).empty());
        itf->discovered.clear();
        ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    }
}

// Empty and repeated streams are skipped; a stream is found by its exact ID.
TEST_F(LocalDeviceTest, StreamsAreFoundByExactIDOnly)
{
    knobs.stream_suffixes = {"", "0", "0", "1"};
    const SharedPtr<TestDevice> dev = Open();
    ASSERT_TRUE(dev);
    EXPECT_EQ(StreamIDs(*dev), (IDs{StreamID("0"), StreamID("1")}));
    SharedPtr<GenTLDataStream> stream;
    char id[128];
    size_t size = sizeof id;
    const struct {
        GC_ERROR result;
        GC_ERROR expected;
        const char* text;
    } rows[] = {
        {dev->StmOpen(nullptr, stream), GC_ERR_INVALID_PARAMETER,
         "StmOpen: invalid datastream ID pointer"},
        {dev->StmOpen("#slot#primary", stream), GC_ERR_INVALID_ID,
         "StmOpen: invalid datastream ID, no such datastream exists"},
        {dev->StmOpen(StreamID("0").substr(1).c_str(), stream), GC_ERR_INVALID_ID,
         "StmOpen: invalid datastream ID, no such datastream exists"},
        {dev->GetDataStreamID(2, id, &size), GC_ERR_INVALID_INDEX,
         "GetDataStreamID: invalid stream index, exceeding number of streams"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.result, row.expected) << row.text;
    EXPECT_EQ(LastErrorText(), rows[3].text);
    ASSERT_EQ(dev->StmOpen(StreamID("1").c_str(), stream), GC_ERR_SUCCESS);
    EXPECT_EQ(stream->GetID(), StreamID("1"));
}

TEST_F(LocalDeviceTest, DeviceWithoutStreamsOpensWithNone)
{
    knobs.implements_streams = false;
    const SharedPtr<TestDevice> dev = Open();
    ASSERT_TRUE(dev);
    SharedPtr<GenTLDataStream> stream;
    EXPECT_EQ(dev->StmOpen(StreamID("0").c_str(), stream), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "StmOpen: no data stream available for this device");
    char id[8];
    size_t size = sizeof id;
    EXPECT_EQ(dev->GetDataStreamID(0, id, &size), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "GetDataStreamID: no data stream available for this device");
}

TEST_F(LocalDeviceTest, InfoComesFromTheTagTheBrandingAndTheTransportLayer)
{
    const SharedPtr<TestDevice> dev = Listed();
    EXPECT_EQ(Info(*dev, DEVICE_INFO_USER_DEFINED_NAME), "user name");
    EXPECT_EQ(Info(*dev, DEVICE_INFO_VERSION), "2.5");
    branding.custom_device_name = "My sensor";
    EXPECT_EQ(Info(*dev, DEVICE_INFO_DISPLAYNAME), "My sensor");
    uint64_t frequency = 0;
    size_t size = sizeof frequency;
    INFO_DATATYPE type = 0;
    ASSERT_EQ(dev->GetDeviceInfo(DEVICE_INFO_TIMESTAMP_FREQUENCY, &type, &frequency, &size),
              GC_ERR_SUCCESS);
    EXPECT_EQ(frequency, 1000000000u);
    dev->knobs.timestamp_result = GC_ERR_NOT_AVAILABLE;
    EXPECT_EQ(dev->GetDeviceInfo(DEVICE_INFO_TIMESTAMP_FREQUENCY, &type, &frequency, &size),
              GC_ERR_NOT_AVAILABLE);
    ExpectNotImplemented(
        [&](DEVICE_INFO_CMD command, INFO_DATATYPE* info_type, void* buffer, size_t* info_size) {
            return dev->GetDeviceInfo(command, info_type, buffer, info_size);
        },
        {10, 1000}, "GetDeviceInfo: unknown device info command requested");
    // The tag is the one the device was made from: change it before any use.
    SharedPtr<GenTLCore::DeviceTag> tag(new FakeDeviceTag("D2", "D2"));
    dynamic_cast<FakeDeviceTag&>(*tag).supports_user_id = false;
    itf->discovered = {tag};
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    SharedPtr<GenTLLocalDevice> d2;
    ASSERT_EQ(itf->DevOpen("TestPrefix_DEV_D2", DEVICE_ACCESS_CONTROL, d2), GC_ERR_SUCCESS);
    char name[32];
    size = sizeof name;
    EXPECT_EQ(d2->GetDeviceInfo(DEVICE_INFO_USER_DEFINED_NAME, &type, name, &size),
              GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "GetDeviceInfo: user defined name not supported by the device");
}

// The access status as info (int32) and as register (only while open).
TEST_F(LocalDeviceTest, AccessStatusFollowsTheTagAndTheOpenMode)
{
    DeviceFacts busy;
    busy.free = false;
    const struct {
        bool open;
        uint32_t access;
        DeviceFacts facts;
        int32_t status;
    } rows[] = {{false, 0, busy, 4},
                {true, DEVICE_ACCESS_READONLY, DeviceFacts(), 6},
                {true, DEVICE_ACCESS_CONTROL, DeviceFacts(), 5},
                {true, 7, DeviceFacts(), 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.status);
        const SharedPtr<TestDevice> dev =
            row.open ? Open(row.access, row.facts) : Listed(row.facts);
        ASSERT_TRUE(dev);
        int32_t status = -1;
        size_t size = sizeof status;
        INFO_DATATYPE type = 0;
        ASSERT_EQ(dev->GetDeviceInfo(DEVICE_INFO_ACCESS_STATUS, &type, &status, &size),
                  GC_ERR_SUCCESS);
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(ReadUInt32(*dev, 0x280), row.status >= 5 ? static_cast<uint32_t>(row.status) : 0);
        opened.CloseDownTo(nullptr);
        ASSERT_EQ(opened.Open(system), GC_ERR_SUCCESS);
        itf = InterfaceWithDevices({});
    }
}

// The selector clamps to the last stream and resets at close.
TEST_F(LocalDeviceTest, RegistersDescribeTheDeviceAndTheSelectedStream)
{
    knobs.stream_suffixes = {"0", "1"};
    const SharedPtr<TestDevice> dev = Open();
    EXPECT_EQ(ReadUInt32(*dev, 0x10000000), 2u);
    ASSERT_EQ(WriteUInt32(*dev, STREAM_SELECTOR, 7), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*dev, STREAM_SELECTOR), 1u);
    EXPECT_EQ(ReadString(*dev, STREAM_ID, 128).c_str(), StreamID("1"));
    const std::pair<uint64_t, const char*> texts[] = {{0x0, DEVICE_ID},
                                                      {0x80, "D1"},
                                                      {0xC0, "user name"},
                                                      {0x1C0, "Made by tests"},
                                                      {0x200, "Vendor Model (TestPrefix_DEV_D1)"}};
    for (const auto& [address, text] : texts)
        EXPECT_EQ(ReadString(*dev, address, 64).c_str(), std::string(text).substr(0, 63));
    EXPECT_EQ(ReadUInt32(*dev, 0x284), 1u);
    EXPECT_EQ(ReadUInt32(*dev, 0x20000000), 0u);
    EXPECT_EQ(ReadUInt32(*dev, 0x20000004), 0u);
    opened.CloseDownTo(dev.Get());
    EXPECT_EQ(ReadUInt32(*dev, STREAM_SELECTOR), 0u);
    EXPECT_EQ(ReadString(*dev, STREAM_ID, 128), std::string(128, '\0'));
}

TEST_F(LocalDeviceTest, ThreadRegistersReadUnsetWhenTheTransportLayerCannotTell)
{
    const SharedPtr<TestDevice> dev = Open();
    EXPECT_EQ(ReadUInt32(*dev, POLICY), 2147483647u);
    ASSERT_EQ(WriteUInt32(*dev, PRIORITY, 3), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*dev, PRIORITY), 3u);
    opened.CloseDownTo(dev.Get());
    EXPECT_EQ(ReadUInt32(*dev, PRIORITY), 2147483647u);
    expected_asserts = 3;  // the default query is a diagnostic
}

// The priority is read from the transport layer but applied only with the
// branding's consent, an unset one queried first.
TEST_F(LocalDeviceTest, PriorityIsAppliedOnlyWithConsent)
{
    knobs.priority_supported = true;
    SharedPtr<TestDevice> dev = Open();
    EXPECT_EQ(ReadUInt32(*dev, POLICY), 1u);
    EXPECT_EQ(ReadUInt32(*dev, PRIORITY), 15u);
    ASSERT_EQ(WriteUInt32(*dev, APPLY_PRIORITY, 1), GC_ERR_SUCCESS);
    EXPECT_EQ(journal.Entries(), IDs{"open 3"});
    opened.CloseDownTo(dev.Get());
    branding.events_engine_control = true;
    dev = Open();
    EXPECT_EQ(ReadUInt32(*dev, 0x20000000), 1u);
    ASSERT_EQ(WriteUInt32(*dev, POLICY, 2), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*dev, APPLY_PRIORITY, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*dev, PRIORITY, 4), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*dev, 0x0E00000C, 1), GC_ERR_SUCCESS);  // register streaming end
    EXPECT_EQ(journal.Entries(), (IDs{"close tag", "open 3", "set priority 2/15", "set priority 2/4"}));
}

// A second registration is refused before the device's hook, so the first
// keeps its events; unregistering stops and flushes.
TEST_F(LocalDeviceTest, OneRegistrationStartsTheEngineAndUnregisteringStopsAndFlushes)
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
    EXPECT_EQ(journal.Entries(), (IDs{"open 3", "start events", "stop events"}));
    // Other event types touch no device events; unclaimed packets are dropped.
    SharedPtr<GenTLCore::GenTLEvent> error_event, error_unregistered;
    ASSERT_EQ(dev->RegisterEvent(EVENT_ERROR, error_event), GC_ERR_SUCCESS);
    ASSERT_EQ(dev->UnregisterEvent(EVENT_ERROR, error_unregistered), GC_ERR_SUCCESS);
    EXPECT_TRUE(journal.Entries().empty());
    EXPECT_TRUE(dev->OnEventPacket(packet.data(), packet.size()));
    EXPECT_FALSE(dev->OnEventPacket(nullptr, 4));
    expected_asserts = 1;
}

TEST_F(LocalDeviceTest, RegistrationIsRefusedWithoutEventInterfaceOrWhenTheStartFails)
{
    knobs.event_interface = false;
    SharedPtr<TestDevice> dev = Open();
    SharedPtr<GenTLCore::GenTLEvent> event;
    EXPECT_EQ(dev->RegisterEvent(EVENT_REMOTE_DEVICE, event), GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(LastErrorText(), "RegisterEvent: the message channel not available on this device.");
    opened.CloseDownTo(dev.Get());
    dev->knobs.event_interface = true;
    dev->knobs.start_events_result = GC_ERR_IO;
    ASSERT_EQ(opened.Open(dev), GC_ERR_SUCCESS);
    EXPECT_EQ(dev->RegisterEvent(EVENT_REMOTE_DEVICE, event), GC_ERR_IO);
    opened.CloseDownTo(dev.Get());
    EXPECT_EQ(journal.Entries(), (IDs{"open 3", "close tag", "open 3", "start events", "close tag"}));
}

}  // namespace
}  // namespace ModuleTest
