// Events the framework offers though this producer creates none: GigE Vision
// and USB3 Vision device events, feature change and feature invalidate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreTestHelpers.h"
#include "gentl_core/GenTLFeatureEvent.h"
#include "gentl_core/GenTLStandardDeviceEvent.h"

namespace GenTLCore {
namespace {

using namespace CoreTestHelpers;

struct GevEvent {
    size_t size_field, id /* event ID 0x90<id> */, size;
};

// Key, flags, command, length, request ID 7, then the events (big-endian).
Bytes GevPacket(uint8_t command, const std::vector<GevEvent>& events, uint8_t flags = 0)
{
    Bytes packet = {0x42, flags, 0, command, 0, 0, 0, 7};
    for (const GevEvent& event : events) {
        const size_t start = packet.size();
        packet.resize(start + event.size, static_cast<uint8_t>(event.id));
        packet[start] = static_cast<uint8_t>(event.size_field >> 8);
        packet[start + 1] = static_cast<uint8_t>(event.size_field);
        packet[start + 2] = 0x90;
    }
    packet[5] = static_cast<uint8_t>(packet.size() - 8);
    return packet;
}

// EventGetDataInfo's text answer, or the message of its failure.
std::string InfoText(GenTLEvent& event, const Bytes& datum, EVENT_DATA_INFO_CMD command)
{
    const Answer answer = DataInfo(event, datum, command);
    return answer.result ? LastErrorText()
                         : std::string(answer.bytes.begin(), answer.bytes.end() - 1);
}

TEST(StandardDeviceEventTest, GigEVisionPacketsAreCheckedAndSplitIntoSingleEvents)
{
    // clang-format off
    const struct { const char* name; Bytes packet; bool accepted; std::vector<std::string> ids;  /* queued in order */ } rows[] = {
        {"two events", GevPacket(0xC0, {{16, 1, 16}, {16, 2, 16}}), true, {"9001", "9002"}},
        {"extended ID", GevPacket(0xC0, {{24, 3, 24}}, 0x10), true, {"9003"}},
        {"event data", GevPacket(0xC2, {{20, 4, 20}, {18, 5, 18}}), true, {"9004", "9005"}},
        {"unknown command", GevPacket(0xC4, {{0, 1, 16}}), false, {}},
        {"short extended event", GevPacket(0xC0, {{0, 1, 16}}, 0x10), false, {}},
        {"event size neither 0 nor 16", GevPacket(0xC0, {{12, 1, 16}}), false, {}},
        {"event data past the end", GevPacket(0xC2, {{20, 4, 20}, {30, 5, 18}}), false, {}},
        {"over the maximum", GevPacket(0xC2, {{0, 6, 89}}), false, {}},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Registered<GenTLGEVRemoteDeviceEvent> event{96};
        EXPECT_EQ(row.accepted, event->AddEventPacket(row.packet.data(), row.packet.size()));
        std::vector<std::string> ids;
        for (Bytes datum; !(datum = TakeDatum(*event, 0, 96).bytes).empty();)
            ids.push_back(InfoText(*event, datum, EVENT_DATA_ID));
        EXPECT_EQ(row.ids, ids);
    }
    Registered<GenTLGEVRemoteDeviceEvent> event{96};
    const Bytes packet = GevPacket(0xC2, {{20, 4, 20}, {18, 5, 18}});
    ASSERT_TRUE(event->AddEventPacket(packet.data(), packet.size()));
    TakeDatum(*event, 0);
    // The command header with the single event's length, then the event.
    EXPECT_EQ(GevPacket(0xC2, {{18, 5, 18}}), TakeDatum(*event, 0).bytes);
    EXPECT_EQ("GetEventDataInfo: invalid event buffer passed", InfoText(*event, packet, 0));
}

TEST(StandardDeviceEventTest, USB3VisionAndFeatureEventsReadBackTheirData)
{
    Bytes packet = {'U', '3', 'V', 'E', 0, 0, 0x00, 0x0C, 12, 0, 3, 0, 0, 0, 0xCD, 0xAB};
    packet.resize(26, 0x77);
    Registered<GenTLU3VRemoteDeviceEvent> u3v{26};
    ASSERT_TRUE(u3v->AddEventPacket(packet.data(), packet.size()));
    EXPECT_EQ("abcd", InfoText(*u3v, TakeDatum(*u3v, 0).bytes, EVENT_DATA_ID));
    packet[6] = 0x01;  // not the event command
    EXPECT_FALSE(u3v->AddEventPacket(packet.data(), packet.size()));

    Registered<GenTLFeatureChangeEvent> change;
    ASSERT_TRUE(change->AddEvent("Gain", "12"));
    EXPECT_FALSE(change->AddEvent(std::string(64, 'N'), "1"));  // could not be read back
    const Bytes datum = TakeDatum(*change, 0).bytes;
    EXPECT_EQ(Bytes({'G', 'a', 'i', 'n', 0, '1', '2', 0}), datum);
    EXPECT_EQ("12", InfoText(*change, datum, EVENT_DATA_VALUE));
    EXPECT_EQ("GetEventDataInfo: corrupted event buffer passed",
              InfoText(*change, Bytes(datum.begin(), datum.end() - 1), EVENT_DATA_VALUE));
    Registered<GenTLFeatureInvalidateEvent> invalidate;
    ASSERT_TRUE(invalidate->AddEvent("Gain"));
    EXPECT_EQ("GetEventDataInfo: feature invalidate event carries no value, just the ID",
              InfoText(*invalidate, TakeDatum(*invalidate, 0).bytes, EVENT_DATA_VALUE));
}

}  // namespace
}  // namespace GenTLCore
