// The local device module: its open and close sequence with the remote
// device and data streams, device info, registers and device events.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "AcquisitionTestHelpers.h"
#include "ModuleTreeFixture.h"
#include "gentl_core/GenTLEvent.h"

namespace ModuleTest {
namespace {

using GenTLCore::GenTLDataStream;
using GenTLCore::GenTLEvent;
using IDs = std::vector<std::string>;
using AcquisitionTest::RunSteps;
using AcquisitionTest::Values;

constexpr const char* DEVICE_ID = "TestPrefix_DEV_D1";
constexpr uint64_t STREAM_SELECTOR = 0x10000004, STREAM_ID = 0x10000010;
constexpr uint64_t POLICY = 0x20000008, PRIORITY = 0x2000000C, APPLY_PRIORITY = 0x20000010;

std::string StreamID(const std::string& suffix)
{
    return "TestPrefix_STM" + suffix + "_" + DEVICE_ID;
}

// One device "D1" behind an open interface, made with the knobs a test sets
// before Device().
class LocalDeviceTest : public ModuleTreeTest {
protected:
    void SetUp() override
    {
        ModuleTreeTest::SetUp();
        itf = InterfaceWithDevices({});
    }
    // A fresh module tree, as the next row of a table needs.
    void Renew()
    {
        opened.CloseDownTo(nullptr);
        ASSERT_EQ(opened.Open(system), GC_ERR_SUCCESS);
        itf = InterfaceWithDevices({});
        knobs = DeviceKnobs();
        user_id = true;
        journal.Entries();
    }
    // D1 discovered with `facts`, made by DevOpen and, with `open`, opened
    // as the pool does.
    SharedPtr<TestDevice> Device(bool open = true, uint32_t access = DEVICE_ACCESS_CONTROL,
                                 DeviceFacts facts = DeviceFacts())
    {
        itf->device_knobs = knobs;
        itf->discovered = {MakeDeviceTag("D1", facts)};
        dynamic_cast<FakeDeviceTag&>(*itf->discovered[0]).supports_user_id = user_id;
        EXPECT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
        if (open) return OpenDevice(*itf, DEVICE_ID, access);
        SharedPtr<GenTLCore::GenTLLocalDevice> dev;
        EXPECT_EQ(itf->DevOpen(DEVICE_ID, DEVICE_ACCESS_CONTROL, dev), GC_ERR_SUCCESS);
        return dev.DynamicCast<TestDevice>();
    }
    // An info answer; 0 or "<failed>" on a refusal.
    // clang-format off
    template <class T>
    T Info(TestDevice& dev, DEVICE_INFO_CMD c) { return AcquisitionTest::Ask<T>([&](auto t, auto b, auto s) { return dev.GetDeviceInfo(c, t, b, s); }).value; }
    std::string Text(TestDevice& dev, DEVICE_INFO_CMD c) { return InfoString([&](auto t, auto b, auto s) { return dev.GetDeviceInfo(c, t, b, s); }); }
    // clang-format on

    DeviceKnobs knobs;
    bool user_id = true;
    SharedPtr<TestInterface> itf;
};

// Every refusal with its code and text, each from a fresh module tree; a
// child the transport layer does not deliver fails the open out of memory
// after undoing the transport layer's open.
TEST_F(LocalDeviceTest, RefusesEachBadRequestWithItsCodeAndText)
{
    SharedPtr<GenTLDataStream> stream;
    SharedPtr<GenTLCore::GenTLRemoteDevice> port;
    SharedPtr<GenTLEvent> event;
    char id[128];
    size_t size = sizeof id;
    const std::string missing_child =
        "DeviceOpen: failed to create the data streams or the remote device";
    const std::string no_such_stream = "StmOpen: invalid datastream ID, no such datastream exists";
    const std::string unknown_info = "GetDeviceInfo: unknown device info command requested";
    uint32_t count = 1;
    // clang-format off
    // The open fails after undoing the transport layer's open, keeping no stream.
    const auto opening = [&](bool streams, IDs suffixes, bool remote) {
        std::tie(knobs.implements_streams, knobs.stream_suffixes, knobs.remote_device) = std::tie(streams, suffixes, remote);
        const SharedPtr<TestDevice> dev = Device(false);
        const GC_ERROR result = dev->Open();
        EXPECT_EQ((std::tuple{journal.Entries(), dev->GetNumDataStreams(&count), count}), (std::tuple{IDs{"open 3", "close null"}, GC_ERR_SUCCESS, 0u}));
        return result;
    };
    const auto without_streams = [&] { knobs.implements_streams = false; return Device(); };
    const auto info = [&](DEVICE_INFO_CMD command) { return Device()->GetDeviceInfo(command, nullptr, id, &size); };
    struct Row { const char* name; std::function<GC_ERROR()> request; GC_ERROR result; std::string text; };
    const Row rows[] = {
        {"NoStream", [&] { return opening(true, {}, true); }, GC_ERR_OUT_OF_MEMORY, missing_child},
        {"OnlyEmptyStreams", [&] { return opening(true, {""}, true); }, GC_ERR_OUT_OF_MEMORY, missing_child},
        {"NoRemoteDevice", [&] { return opening(true, {"0"}, false); }, GC_ERR_OUT_OF_MEMORY, missing_child},
        {"NoRemoteDeviceWithoutStreams", [&] { return opening(false, {}, false); }, GC_ERR_OUT_OF_MEMORY, missing_child},
        {"PortOfAClosedDevice", [&] { const auto dev = Device(); opened.CloseDownTo(dev.Get()); return dev->DevGetPort(port); }, GC_ERR_ERROR, "DevGetPort: no remote device instantiated for this local device"},
        {"StreamNullID", [&] { return Device()->StmOpen(nullptr, stream); }, GC_ERR_INVALID_PARAMETER, "StmOpen: invalid datastream ID pointer"},
        {"StreamAlternativeID", [&] { return Device()->StmOpen("#slot#primary", stream); }, GC_ERR_INVALID_ID, no_such_stream},
        {"StreamPartOfID", [&] { return Device()->StmOpen(StreamID("0").substr(1).c_str(), stream); }, GC_ERR_INVALID_ID, no_such_stream},
        {"StreamIndex", [&] { return Device()->GetDataStreamID(1, id, &size); }, GC_ERR_INVALID_INDEX, "GetDataStreamID: invalid stream index, exceeding number of streams"},
        {"StreamOfNone", [&] { return without_streams()->StmOpen(StreamID("0").c_str(), stream); }, GC_ERR_NOT_IMPLEMENTED, "StmOpen: no data stream available for this device"},
        {"StreamIDOfNone", [&] { return without_streams()->GetDataStreamID(0, id, &size); }, GC_ERR_NOT_IMPLEMENTED, "GetDataStreamID: no data stream available for this device"},
        {"UserNameUnsupported", [&] { user_id = false; return Device(false)->GetDeviceInfo(DEVICE_INFO_USER_DEFINED_NAME, nullptr, id, &size); }, GC_ERR_NOT_AVAILABLE, "GetDeviceInfo: user defined name not supported by the device"},
        {"InfoTen", [&] { return info(10); }, GC_ERR_NOT_IMPLEMENTED, unknown_info},
        {"InfoCustom", [&] { return info(1000); }, GC_ERR_NOT_IMPLEMENTED, unknown_info},
        {"NoEventInterface", [&] { knobs.event_interface = false; return Device()->RegisterEvent(EVENT_REMOTE_DEVICE, event); }, GC_ERR_NOT_AVAILABLE, "RegisterEvent: the message channel not available on this device."},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Renew();
        EXPECT_EQ(row.request(), row.result);
        EXPECT_EQ(LastErrorText(), row.text);
    }
    Renew();
    knobs.start_events_result = GC_ERR_IO;
    const SharedPtr<TestDevice> dev = Device(false);
    dev->knobs.open_result = GC_ERR_TIMEOUT;
    EXPECT_EQ(dev->Open(), GC_ERR_TIMEOUT);
    EXPECT_FALSE(dev->IsOpen());
    dev->knobs.open_result = GC_ERR_SUCCESS;
    ASSERT_EQ(opened.Open(dev), GC_ERR_SUCCESS);
    EXPECT_EQ(dev->RegisterEvent(EVENT_REMOTE_DEVICE, event), GC_ERR_IO);
    EXPECT_EQ(journal.Entries(), (IDs{"open 3", "open 3", "start events"}));
    expected_asserts = 1;  // the empty stream
}

// Info and registers come from the tag, the branding, the transport layer
// and the open mode; the stream selector clamps to the last stream and
// resets at close, as does a thread register the transport layer cannot tell.
TEST_F(LocalDeviceTest, InfoAndRegistersDescribeTheDeviceAndTheSelectedStream)
{
    DeviceFacts busy;
    busy.free = false;
    // clang-format off
    // Access status as info (int32) and as register (only while open).
    const auto status = [&](bool open, uint32_t access, DeviceFacts facts = {}) { Renew(); const auto dev = Device(open, access, facts); return Values{Info<int32_t>(*dev, DEVICE_INFO_ACCESS_STATUS), ReadUInt32(*dev, 0x280)}; };
    RunSteps({
        {"busy, listed", [&] { return status(false, 0, busy); }, {4, 0}},
        {"open read-only", [&] { return status(true, DEVICE_ACCESS_READONLY); }, {6, 6}},
        {"open to control", [&] { return status(true, DEVICE_ACCESS_CONTROL); }, {5, 5}},
        {"open with unknown flags", [&] { return status(true, 7); }, {0, 0}},
    });
    // clang-format on
    Renew();
    knobs.stream_suffixes = {"", "0", "0", "1"};
    const SharedPtr<TestDevice> dev = Device();
    SharedPtr<GenTLDataStream> stream;
    const auto registers = [&](std::vector<uint64_t> addresses) {
        Values values;
        for (uint64_t address : addresses) values.push_back(ReadUInt32(*dev, address));
        return values;
    };
    uint64_t frequency = 0;
    size_t size = sizeof frequency;
    // clang-format off
    const auto text = [&](uint64_t address) { return std::string(ReadString(*dev, address, 128).c_str()); };
    RunSteps({
        {"empty and repeated streams skipped", [&] { return ListIDs([&](uint32_t* n) { return dev->GetNumDataStreams(n); }, [&](uint32_t i, char* id, size_t* s) { return dev->GetDataStreamID(i, id, s); }) == IDs{StreamID("0"), StreamID("1")}; }, 1},
        {"found by exact ID", [&] { return Values{dev->StmOpen(StreamID("1").c_str(), stream), stream->GetID() == StreamID("1")}; }, {0, 1}},
        {"selector and priority written", [&] { return Values{WriteUInt32(*dev, STREAM_SELECTOR, 7), WriteUInt32(*dev, PRIORITY, 3)}; }, {0, 0}},
        {"info", [&] { return Text(*dev, DEVICE_INFO_USER_DEFINED_NAME) + "|" + Text(*dev, DEVICE_INFO_VERSION) == "user name|2.5"; }, 1},
        {"string registers", [&] { return text(0x0) + "|" + text(0x80) + "|" + text(0xC0) + "|" + text(0x1C0) + "|" + text(0x200) + "|" + text(STREAM_ID) == std::string(DEVICE_ID) + "|D1|user name|Made by tests|Vendor Model (TestPrefix_DEV_D1)|" + StreamID("1"); }, 1},
        {"branded display name", [&] { branding.custom_device_name = "My sensor"; return Text(*dev, DEVICE_INFO_DISPLAYNAME) == "My sensor"; }, 1},
        // Streams, selector, user ID available, engine control, policy
        // implemented, policy unset, priority as written.
        {"registers", [&] { return registers({0x10000000, STREAM_SELECTOR, 0x284, 0x20000000, 0x20000004, POLICY, PRIORITY}); }, {2, 1, 1, 0, 0, 2147483647, 3}},
        {"timestamp frequency", [&] { return Info<uint64_t>(*dev, DEVICE_INFO_TIMESTAMP_FREQUENCY); }, 1000000000},
        {"or its refusal", [&] { dev->knobs.timestamp_result = GC_ERR_NOT_AVAILABLE; return dev->GetDeviceInfo(DEVICE_INFO_TIMESTAMP_FREQUENCY, nullptr, &frequency, &size); }, GC_ERR_NOT_AVAILABLE},
        {"reset at close", [&] { opened.CloseDownTo(dev.Get()); return registers({STREAM_SELECTOR, PRIORITY}); }, {0, 2147483647}},
        {"no selected stream", [&] { return ReadString(*dev, STREAM_ID, 128) == std::string(128, '\0'); }, 1},
    });
    // clang-format on
    expected_asserts = 5;  // the default priority query is a diagnostic; the bad streams
}

// The priority is read from the transport layer but applied only with the
// branding's consent, an unset one queried first.
TEST_F(LocalDeviceTest, PriorityIsAppliedOnlyWithConsent)
{
    knobs.priority_supported = true;
    SharedPtr<TestDevice> dev = Device();
    // clang-format off
    const auto write = [&](uint64_t address, uint32_t value) { return WriteUInt32(*dev, address, value); };
    RunSteps({
        {"read from the transport layer", [&] { return Values{ReadUInt32(*dev, POLICY), ReadUInt32(*dev, PRIORITY)}; }, {1, 15}},
        {"not applied without consent", [&] { return Values{write(APPLY_PRIORITY, 1), journal.Entries() == IDs{"open 3"}}; }, {0, 1}},
        {"consent", [&] { opened.CloseDownTo(dev.Get()); branding.events_engine_control = true; dev = Device(); return ReadUInt32(*dev, 0x20000000); }, 1},
        // The last write ends a register streaming.
        {"applied", [&] { return Values{write(POLICY, 2), write(APPLY_PRIORITY, 1), write(PRIORITY, 4), write(0x0E00000C, 1)}; }, {0, 0, 0, 0}},
        {"journal", [&] { return journal.Entries() == IDs{"close tag", "open 3", "set priority 2/15", "set priority 2/4"}; }, 1},
    });
    // clang-format on
}

// A second registration is refused before the device's hook, so the first
// keeps its events; unregistering stops and flushes; close stops the engine.
TEST_F(LocalDeviceTest, OneRegistrationStartsTheEngineAndUnregisteringStopsAndFlushes)
{
    const SharedPtr<TestDevice> dev = Device();
    SharedPtr<GenTLEvent> event, second, unregistered, error_event, error_unregistered, again;
    const uint8_t data[4] = {1, 2, 3, 4};
    const GenTLCore::EventPacket packet =
        GenTLCore::GenTLVirtualRemoteDeviceEvent::MakeEventPacket(data, sizeof data);
    uint8_t received[64] = {};
    size_t size = sizeof received;
    const auto post = [&] { return dev->OnEventPacket(packet.data(), packet.size()); };
    // clang-format off
    RunSteps({
        {"registered", [&] { return Values{dev->RegisterEvent(EVENT_REMOTE_DEVICE, event), event->Open()}; }, {0, 0}},
        {"once only", [&] { return dev->RegisterEvent(EVENT_REMOTE_DEVICE, second); }, GC_ERR_RESOURCE_IN_USE},
        {"a packet arrives", [&] { return post() + event->GetEventData(received, &size, 0) + (Values(received, received + size) == Values(packet.begin(), packet.end())); }, 2},
        {"unregistering flushes", [&] { post(); size = sizeof received; return dev->UnregisterEvent(EVENT_REMOTE_DEVICE, unregistered) + event->GetEventData(received, &size, 0); }, GC_ERR_TIMEOUT},
        // Other event types touch no device events; unclaimed packets are dropped.
        {"other events", [&] { event->Close(); return dev->RegisterEvent(EVENT_ERROR, error_event) + dev->UnregisterEvent(EVENT_ERROR, error_unregistered) + post() + dev->OnEventPacket(nullptr, 4); }, 1},
        {"close stops the engine", [&] { const GC_ERROR registered = dev->RegisterEvent(EVENT_REMOTE_DEVICE, again); opened.CloseDownTo(dev.Get()); return registered; }, GC_ERR_SUCCESS},
    });
    // clang-format on
    EXPECT_EQ(journal.Entries(), (IDs{"open 3", "start events", "stop events", "start events",
                                      "stop events", "close tag"}));
    expected_asserts = 1;
}

}  // namespace
}  // namespace ModuleTest
