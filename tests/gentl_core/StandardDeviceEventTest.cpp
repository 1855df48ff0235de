// Events the framework offers though this producer creates none: GigE Vision
// and USB3 Vision device events, feature change and feature invalidate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EventTestHelpers.h"
#include "gentl_core/GenTLFeatureEvent.h"
#include "gentl_core/GenTLStandardDeviceEvent.h"

namespace GenTLCore {
namespace {

using Bytes = std::vector<uint8_t>;
using EventTestHelpers::LastErrorText;
using EventTestHelpers::Registered;
using EventTestHelpers::TakeDatum;

constexpr size_t MAX_PACKET = 96;

// An event: size field and ID (big-endian), filler up to `size` bytes.
Bytes GevEvent(size_t size_field, uint8_t id, size_t size)
{
    Bytes event = {uint8_t(size_field >> 8), uint8_t(size_field), 0x90, id};
    event.resize(size, id);
    return event;
}

// Key, flags, command, length, request ID 7, then the events.
Bytes GevPacket(uint8_t command, const std::vector<Bytes>& events, uint8_t flags = 0)
{
    Bytes packet = {0x42, flags, 0, command, 0, 0, 0, 7};
    for (const Bytes& event : events) packet.insert(packet.end(), event.begin(), event.end());
    packet[5] = static_cast<uint8_t>(packet.size() - 8);
    return packet;
}

// EventGetDataInfo's text answer, or the message of its failure.
std::string InfoText(GenTLEvent& event, const Bytes& datum, EVENT_DATA_INFO_CMD command)
{
    char text[80] = {};
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = sizeof text;
    const GC_ERROR result = event.GetEventDataInfo(datum.data(), datum.size(), command, &type, text, &size);
    return result == GC_ERR_SUCCESS ? std::string(text) : LastErrorText();
}

TEST(StandardDeviceEventTest, GigEVisionPacketsAreCheckedAndSplitIntoSingleEvents)
{
    const struct {
        const char* name;
        Bytes packet;
        std::vector<std::string> ids;  // queued in order; none when rejected
    } rows[] = {
        {"one event", GevPacket(0xC0, {GevEvent(0, 1, 16)}), {"9001"}},
        {"two events", GevPacket(0xC0, {GevEvent(16, 1, 16), GevEvent(16, 2, 16)}), {"9001", "9002"}},
        {"extended ID", GevPacket(0xC0, {GevEvent(24, 3, 24)}, 0x10), {"9003"}},
        {"event data", GevPacket(0xC2, {GevEvent(20, 4, 20), GevEvent(18, 5, 18)}), {"9004", "9005"}},
        {"unknown command", GevPacket(0xC4, {GevEvent(0, 1, 16)}), {}},
        {"short extended event", GevPacket(0xC0, {GevEvent(0, 1, 16)}, 0x10), {}},
        {"event size neither 0 nor 16", GevPacket(0xC0, {GevEvent(12, 1, 16)}), {}},
        {"event data past the end", GevPacket(0xC2, {GevEvent(20, 4, 20), GevEvent(30, 5, 18)}), {}},
        {"over the maximum", GevPacket(0xC2, {GevEvent(0, 6, MAX_PACKET - 7)}), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Registered<GenTLGEVRemoteDeviceEvent> event{MAX_PACKET};
        EXPECT_EQ(!row.ids.empty(), event->AddEventPacket(row.packet.data(), row.packet.size()));
        std::vector<std::string> ids;
        for (Bytes datum; !(datum = TakeDatum(*event, 0, MAX_PACKET).bytes).empty();)
            ids.push_back(InfoText(*event, datum, EVENT_DATA_ID));
        EXPECT_EQ(row.ids, ids);
    }
    Registered<GenTLGEVRemoteDeviceEvent> event{MAX_PACKET};
    const Bytes packet = GevPacket(0xC2, {GevEvent(20, 4, 20), GevEvent(18, 5, 18)});
    ASSERT_TRUE(event->AddEventPacket(packet.data(), packet.size()));
    TakeDatum(*event, 0, MAX_PACKET);
    // The command header with the single event's length, then the event.
    EXPECT_EQ(GevPacket(0xC2, {GevEvent(18, 5, 18)}), TakeDatum(*event, 0, MAX_PACKET).bytes);
    EXPECT_EQ("GetEventDataInfo: invalid event buffer passed", InfoText(*event, packet, EVENT_DATA_ID));
}

TEST(StandardDeviceEventTest, USB3VisionPacketsAreQueuedWhole)
{
    Bytes packet = {'U', '3', 'V', 'E', 0, 0, 0x00, 0x0C, 12, 0, 3, 0, 0, 0, 0xCD, 0xAB};
    packet.resize(24 + 2, 0x77);
    Registered<GenTLU3VRemoteDeviceEvent> event{26};
    ASSERT_TRUE(event->AddEventPacket(packet.data(), packet.size()));
    EXPECT_EQ(packet, TakeDatum(*event, 0).bytes);
    EXPECT_EQ("abcd", InfoText(*event, packet, EVENT_DATA_ID));
    Bytes wrong_command = packet;
    wrong_command[6] = 0x01;
    EXPECT_FALSE(event->AddEventPacket(wrong_command.data(), wrong_command.size()));
    packet.push_back(0);
    EXPECT_FALSE(event->AddEventPacket(packet.data(), packet.size()));
}

TEST(StandardDeviceEventTest, FeatureEventsDeliverNulTerminatedTexts)
{
    Registered<GenTLFeatureChangeEvent> change;
    ASSERT_TRUE(change->AddEvent("Gain", "12"));
    EXPECT_FALSE(change->AddEvent(std::string(64, 'N'), "1"));  // could not be read back
    const Bytes datum = TakeDatum(*change, 0).bytes;
    EXPECT_EQ(Bytes({'G', 'a', 'i', 'n', 0, '1', '2', 0}), datum);
    EXPECT_EQ("12", InfoText(*change, datum, EVENT_DATA_VALUE));
    EXPECT_EQ("GetEventDataInfo: feature change event ID has no numeric representation",
              InfoText(*change, datum, EVENT_DATA_NUMID));
    EXPECT_EQ("GetEventDataInfo: corrupted event buffer passed",
              InfoText(*change, Bytes(datum.begin(), datum.end() - 1), EVENT_DATA_ID));

    Registered<GenTLFeatureInvalidateEvent> invalidate;
    ASSERT_TRUE(invalidate->AddEvent("Gain"));
    const Bytes name = TakeDatum(*invalidate, 0).bytes;
    EXPECT_EQ("Gain", InfoText(*invalidate, name, EVENT_DATA_ID));
    EXPECT_EQ("GetEventDataInfo: feature invalidate event carries no value, just the ID",
              InfoText(*invalidate, name, EVENT_DATA_VALUE));
}

}  // namespace
}  // namespace GenTLCore
