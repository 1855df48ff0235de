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

// `packet` with byte `index` set to `value`.
Bytes With(Bytes packet, size_t index, uint8_t value)
{
    packet.at(index) = value;
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
        {"not the GigE Vision key", With(GevPacket(0xC0, {{16, 1, 16}}), 0, 0x43), false, {}},
        {"length short of the size", With(GevPacket(0xC2, {{0, 1, 24}}), 5, 16), false, {}},
        {"walked event shorter than a header", GevPacket(0xC2, {{24, 1, 24}, {8, 2, 8}}), false, {}},
        {"second of three events invalid alone", GevPacket(0xC0, {{16, 1, 16}, {12, 2, 16}, {16, 3, 16}}), false, {"9001"}},
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

// Each answer comes from its own field: a GigE Vision value behind the
// 8-byte command header, a USB3 Vision ID at byte 14 and value behind 12
// bytes, a feature change's name and value, a feature invalidate's name.
TEST(StandardDeviceEventTest, USB3VisionAndFeatureEventsReadBackTheirData)
{
    // "U3VE", event command 0x0C00, length, ID 0x00AB at byte 14; 26 bytes.
    Bytes packet = {'U', '3', 'V', 'E', 0, 0, 0x00, 0x0C, 12, 0, 3, 0, 0, 0, 0xAB, 0x00};
    packet.resize(26, 0x77);
    Registered<GenTLU3VRemoteDeviceEvent> u3v{26};
    ASSERT_TRUE(u3v->AddEventPacket(packet.data(), packet.size()));
    EXPECT_EQ(packet, TakeDatum(*u3v, 0).bytes);
    EXPECT_FALSE(u3v->AddEventPacket(With(packet, 6, 0x01).data(), packet.size()));

    Registered<GenTLFeatureChangeEvent> change;
    ASSERT_TRUE(change->AddEvent("Gain", "12"));
    EXPECT_FALSE(change->AddEvent(std::string(64, 'N'), "1"));  // could not be read back
    const Bytes changed = TakeDatum(*change, 0).bytes;
    EXPECT_EQ(Bytes({'G', 'a', 'i', 'n', 0, '1', '2', 0}), changed);
    Registered<GenTLFeatureInvalidateEvent> invalidate;
    ASSERT_TRUE(invalidate->AddEvent("Gain"));
    const Bytes invalidated = TakeDatum(*invalidate, 0).bytes;
    EXPECT_EQ(TextBytes("Gain"), invalidated);

    Registered<GenTLGEVRemoteDeviceEvent> gev{96};
    const Bytes gev_single = GevPacket(0xC0, {{16, 1, 16}});
    Bytes u3v_long = packet;
    u3v_long.push_back(0x77);
    const std::string invalid = "GetEventDataInfo: invalid event buffer passed",
                      corrupted = "GetEventDataInfo: corrupted event buffer passed";
    // clang-format off
    const struct { const char* name; GenTLEvent* of; Bytes datum; EVENT_DATA_INFO_CMD command; GC_ERROR result; Bytes bytes;  /* the answer, or the error text */ } rows[] = {
        {"GigE Vision value", &*gev, gev_single, EVENT_DATA_VALUE, GC_ERR_SUCCESS, Bytes(gev_single.begin() + 8, gev_single.end())},
        {"GigE Vision two events as one", &*gev, GevPacket(0xC0, {{16, 1, 16}, {16, 2, 16}}), EVENT_DATA_ID, GC_ERR_INVALID_PARAMETER, TextBytes(invalid)},
        {"USB3 Vision ID", &*u3v, packet, EVENT_DATA_ID, GC_ERR_SUCCESS, TextBytes("00ab")},
        {"USB3 Vision value", &*u3v, packet, EVENT_DATA_VALUE, GC_ERR_SUCCESS, Bytes(packet.begin() + 12, packet.end())},
        {"USB3 Vision prefix", &*u3v, With(packet, 3, 'F'), EVENT_DATA_ID, GC_ERR_INVALID_PARAMETER, TextBytes(invalid)},
        {"USB3 Vision 23 bytes", &*u3v, Bytes(packet.begin(), packet.begin() + 23), EVENT_DATA_ID, GC_ERR_INVALID_PARAMETER, TextBytes(invalid)},
        {"USB3 Vision over the maximum", &*u3v, u3v_long, EVENT_DATA_ID, GC_ERR_INVALID_PARAMETER, TextBytes(invalid)},
        {"change ID", &*change, changed, EVENT_DATA_ID, GC_ERR_SUCCESS, TextBytes("Gain")},
        {"change value", &*change, changed, EVENT_DATA_VALUE, GC_ERR_SUCCESS, TextBytes("12")},
        {"change value without NUL", &*change, Bytes(changed.begin(), changed.end() - 1), EVENT_DATA_VALUE, GC_ERR_INVALID_PARAMETER, TextBytes(corrupted)},
        {"change numeric ID", &*change, changed, EVENT_DATA_NUMID, GC_ERR_NOT_AVAILABLE, TextBytes("GetEventDataInfo: feature change event ID has no numeric representation")},
        {"invalidate ID", &*invalidate, invalidated, EVENT_DATA_ID, GC_ERR_SUCCESS, TextBytes("Gain")},
        {"invalidate ID without NUL", &*invalidate, BytesOf("Gain"), EVENT_DATA_ID, GC_ERR_INVALID_PARAMETER, TextBytes(corrupted)},
        {"invalidate value", &*invalidate, invalidated, EVENT_DATA_VALUE, GC_ERR_NOT_AVAILABLE, TextBytes("GetEventDataInfo: feature invalidate event carries no value, just the ID")},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Answer info = DataInfo(*row.of, row.datum, row.command);
        EXPECT_EQ(row.result, info.result);
        EXPECT_EQ(row.bytes,
                  info.result == GC_ERR_SUCCESS ? info.bytes : TextBytes(LastErrorText()));
    }
    // EVENT_INFO_DATA_SIZE_MAX: the largest value, without the headers.
    const std::pair<GenTLEvent*, size_t> largest[] = {
        {&*gev, 88}, {&*u3v, 14}, {&*change, 64}, {&*invalidate, 0}};
    for (const auto& [of, expected] : largest) {
        const Answer info = SizedAnswer([of](INFO_DATATYPE* type, void* buffer, size_t* size) {
            return of->GetEventInfo(EVENT_INFO_DATA_SIZE_MAX, type, buffer, size);
        });
        EXPECT_EQ(ValueBytes(expected), info.bytes) << of->GetEventType();
    }
}

}  // namespace
}  // namespace GenTLCore
