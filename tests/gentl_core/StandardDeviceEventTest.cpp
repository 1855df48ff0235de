// Remote-device events of GigE Vision and USB3 Vision devices: which packets
// they take, how they split them into single events, and what
// EventGetDataInfo reads back.
#include "gentl_core/GenTLStandardDeviceEvent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "EventTestHelpers.h"

namespace GenTLCore {
namespace {

using Bytes = std::vector<uint8_t>;
using EventTestHelpers::LastErrorText;
using EventTestHelpers::Registered;
using EventTestHelpers::TakeDatum;

constexpr size_t MAX_PACKET = 96;

Bytes BE16(size_t value) { return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}; }

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// A GigE Vision event: its size field, its ID, then filler up to `size`.
Bytes GevEvent(size_t size_field, uint16_t id, size_t size)
{
    Bytes event = Join({BE16(size_field), BE16(id)});
    event.resize(size, static_cast<uint8_t>(id));
    return event;
}

// Key 0x42, flags, command, the length of `events`, request ID 7, events.
Bytes GevPacket(uint16_t command, const Bytes& events, uint8_t flags = 0, uint8_t key = 0x42)
{
    return Join({{key, flags}, BE16(command), BE16(events.size()), BE16(7), events});
}

std::string DataInfoText(GenTLEvent& event, const Bytes& datum, EVENT_DATA_INFO_CMD command)
{
    char text[64] = {};
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = sizeof text;
    const GC_ERROR result =
        event.GetEventDataInfo(datum.data(), datum.size(), command, &type, text, &size);
    return result == GC_ERR_SUCCESS ? text : "error " + std::to_string(result);
}

size_t InfoDataSizeMax(GenTLEvent& event)
{
    size_t value = 0;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = sizeof value;
    EXPECT_EQ(GC_ERR_SUCCESS, event.GetEventInfo(EVENT_INFO_DATA_SIZE_MAX, &type, &value, &size));
    return value;
}

TEST(GEVRemoteDeviceEventTest, QueuesEachValidEventAndRejectsMalformedPackets)
{
    const Bytes one = GevEvent(0, 0x9001, 16);
    const Bytes extended = GevEvent(24, 0x9002, 24);
    const struct {
        const char* name;
        Bytes packet;
        std::vector<std::string> ids;  // empty: rejected
    } rows[] = {
        {"one event", GevPacket(0x00C0, one), {"9001"}},
        {"two events, split", GevPacket(0x00C0, Join({GevEvent(16, 0x9001, 16), GevEvent(16, 0x9002, 16)})), {"9001", "9002"}},
        {"extended ID", GevPacket(0x00C0, extended, 0x10), {"9002"}},
        {"event data, one event", GevPacket(0x00C2, GevEvent(20, 0x9003, 20)), {"9003"}},
        {"event data, two events", GevPacket(0x00C2, Join({GevEvent(20, 0x9003, 20), GevEvent(18, 0x9004, 18)})), {"9003", "9004"}},
        {"wrong key", GevPacket(0x00C0, one, 0, 0x43), {}},
        {"unknown command", GevPacket(0x00C4, one), {}},
        {"length field too long", Join({{0x42, 0}, BE16(0x00C0), BE16(17), BE16(7), one}), {}},
        {"shorter than one event", GevPacket(0x00C0, Bytes(one.begin(), one.begin() + 15)), {}},
        {"longer than the maximum", GevPacket(0x00C2, GevEvent(0, 0x9005, MAX_PACKET - 7)), {}},
        {"extended event too short", GevPacket(0x00C0, GevEvent(0, 0x9002, 16), 0x10), {}},
        {"event size field neither 0 nor the header", GevPacket(0x00C0, GevEvent(12, 0x9001, 16)), {}},
        {"not a whole number of events", GevPacket(0x00C0, GevEvent(16, 0x9001, 20)), {}},
        {"event data running past the end", GevPacket(0x00C2, Join({GevEvent(20, 0x9003, 20), GevEvent(30, 0x9004, 18)})), {}},
        {"event data with a short event", GevPacket(0x00C2, Join({GevEvent(20, 0x9003, 20), GevEvent(10, 0x9004, 10)})), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Registered<GenTLGEVRemoteDeviceEvent> event{MAX_PACKET};
        EXPECT_EQ(!row.ids.empty(), event->AddEventPacket(row.packet.data(), row.packet.size()));
        std::vector<std::string> ids;
        for (auto taken = TakeDatum(*event, 0, MAX_PACKET); taken.result == GC_ERR_SUCCESS;
             taken = TakeDatum(*event, 0, MAX_PACKET))
            ids.push_back(DataInfoText(*event, taken.bytes, EVENT_DATA_ID));
        EXPECT_EQ(row.ids, ids);
    }
}

TEST(GEVRemoteDeviceEventTest, ASplitEventKeepsTheCommandHeaderWithItsOwnLength)
{
    Registered<GenTLGEVRemoteDeviceEvent> event{MAX_PACKET};
    const Bytes second = GevEvent(18, 0x9004, 18);
    const Bytes packet = GevPacket(0x00C2, Join({GevEvent(20, 0x9003, 20), second}));
    ASSERT_TRUE(event->AddEventPacket(packet.data(), packet.size()));
    TakeDatum(*event, 0, MAX_PACKET);
    const Bytes single = TakeDatum(*event, 0, MAX_PACKET).bytes;
    EXPECT_EQ(Join({{0x42, 0x00, 0x00, 0xC2, 0x00, 18, 0x00, 7}, second}), single);

    uint64_t numeric_id = 0;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = sizeof numeric_id;
    EXPECT_EQ(GC_ERR_SUCCESS, event->GetEventDataInfo(single.data(), single.size(),
                                                      EVENT_DATA_NUMID, &type, &numeric_id, &size));
    EXPECT_EQ(0x9004u, numeric_id);
    Bytes value(MAX_PACKET);
    size = value.size();
    EXPECT_EQ(GC_ERR_SUCCESS, event->GetEventDataInfo(single.data(), single.size(),
                                                      EVENT_DATA_VALUE, &type, value.data(), &size));
    value.resize(size);
    EXPECT_EQ(second, value);
    // A packet of two events is no single event.
    EXPECT_EQ("error -1009", DataInfoText(*event, packet, EVENT_DATA_ID));
    EXPECT_EQ("GetEventDataInfo: invalid event buffer passed", LastErrorText());
}

// USB3 Vision: "U3VE", flags, command 0x0C00, length, request ID, reserved,
// the event ID, a 64-bit timestamp, then the data; little-endian.
Bytes U3VPacket(const Bytes& prefix, uint16_t command, size_t data_size)
{
    Bytes packet = Join({prefix, {0, 0}, {static_cast<uint8_t>(command), static_cast<uint8_t>(command >> 8)},
                         {12, 0, 3, 0, 0, 0, 0xCD, 0xAB}});
    packet.resize(24 + data_size, 0x77);
    return packet;
}

TEST(U3VRemoteDeviceEventTest, QueuesWholePacketsWithTheirIDAndValue)
{
    const Bytes prefix = {0x55, 0x33, 0x56, 0x45};
    const struct {
        const char* name;
        Bytes packet;
        bool accepted;
    } rows[] = {
        {"event without data", U3VPacket(prefix, 0x0C00, 0), true},
        {"event with data up to the maximum", U3VPacket(prefix, 0x0C00, MAX_PACKET - 24), true},
        {"one byte over the maximum", U3VPacket(prefix, 0x0C00, MAX_PACKET - 23), false},
        {"shorter than the event header", Bytes(prefix.begin(), prefix.end()), false},
        {"wrong prefix", U3VPacket({0x55, 0x33, 0x56, 0x43}, 0x0C00, 0), false},
        {"wrong command", U3VPacket(prefix, 0x0C01, 0), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Registered<GenTLU3VRemoteDeviceEvent> event{MAX_PACKET};
        EXPECT_EQ(row.accepted, event->AddEventPacket(row.packet.data(), row.packet.size()));
        const auto taken = TakeDatum(*event, 0, MAX_PACKET);
        EXPECT_EQ(row.accepted ? row.packet : Bytes{}, taken.bytes);
        if (!row.accepted) continue;
        EXPECT_EQ("abcd", DataInfoText(*event, taken.bytes, EVENT_DATA_ID));
        Bytes value(MAX_PACKET);
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        size_t size = value.size();
        EXPECT_EQ(GC_ERR_SUCCESS, event->GetEventDataInfo(taken.bytes.data(), taken.bytes.size(),
                                                          EVENT_DATA_VALUE, &type, value.data(), &size));
        EXPECT_EQ(Bytes(row.packet.begin() + 12, row.packet.end()), Bytes(value.begin(), value.begin() + size));
    }
}

TEST(StandardDeviceEventTest, AMaximumBelowOneValueByteLeavesNoInfoData)
{
    Registered<GenTLGEVRemoteDeviceEvent> gev{8};
    Registered<GenTLU3VRemoteDeviceEvent> u3v{12};
    EXPECT_EQ(0u, InfoDataSizeMax(*gev));
    EXPECT_EQ(0u, InfoDataSizeMax(*u3v));
    Registered<GenTLU3VRemoteDeviceEvent> u3v_one{13};
    EXPECT_EQ(1u, InfoDataSizeMax(*u3v_one));
}

}  // namespace
}  // namespace GenTLCore
