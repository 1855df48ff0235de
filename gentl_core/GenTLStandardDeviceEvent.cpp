// GenTLStandardDeviceEvent.cpp: the packet checks and splits of the GigE
// Vision and USB3 Vision remote-device events.
#include "gentl_core/GenTLStandardDeviceEvent.h"

#include <cstring>

#include "platform/Assert.h"

namespace GenTLCore {

namespace {

constexpr uint8_t GEV_KEY = 0x42;
constexpr uint8_t GEV_EXTENDED_ID_FLAG = 0x10;  // in byte 1
constexpr uint16_t GEV_EVENT_CMDID = 0x00C0;
constexpr uint16_t GEV_EVENTDATA_CMDID = 0x00C2;
constexpr size_t GEV_COMMAND_HEADER_SIZE = 8;

constexpr uint8_t U3V_EVENT_PREFIX[4] = {0x55, 0x33, 0x56, 0x45};  // "U3VE"
constexpr uint16_t U3V_EVENT_CMDID = 0x0C00;
constexpr size_t U3V_MIN_PACKET_SIZE = 24;
constexpr size_t U3V_VALUE_OFFSET = 12;

uint16_t ReadBE16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

uint16_t ReadLE16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

// The fields of a GigE Vision event packet that the checks read; the packet
// holds at least the command header and one event size field.
struct GevHeader {
    uint16_t command;
    size_t length;             // bytes after the command header
    size_t event_header_size;  // of one event
    size_t first_event_size;   // the first event's size field
};

GevHeader ReadGevHeader(const uint8_t* bytes)
{
    const bool extended = (bytes[1] & GEV_EXTENDED_ID_FLAG) != 0;
    return GevHeader{ReadBE16(bytes + 2), ReadBE16(bytes + 4), extended ? 24u : 16u,
                     ReadBE16(bytes + GEV_COMMAND_HEADER_SIZE)};
}

// Whether the events of an EVENTDATA_CMD body, each led by its size, fill
// the `length` bytes exactly.
bool WalkGevEvents(const uint8_t* events, size_t length, size_t event_header_size)
{
    size_t offset = 0;
    while (offset < length) {
        const size_t remaining = length - offset;
        if (remaining < sizeof(uint16_t)) return false;
        const size_t event_size = ReadBE16(events + offset);
        if (event_size < event_header_size || event_size > remaining) return false;
        offset += event_size;
    }
    return true;
}

// The packet's command header with its length set to `event_size`, then the
// event's bytes.
EventPacket MakeGevSingleEvent(const uint8_t* packet, const uint8_t* event, size_t event_size)
{
    // One allocation up front: GCC 12 at -O2 misreads a growing insert as
    // overrunning the 8-byte header.
    EventPacket single(GEV_COMMAND_HEADER_SIZE + event_size);
    std::copy(packet, packet + GEV_COMMAND_HEADER_SIZE, single.begin());
    single[4] = static_cast<uint8_t>(event_size >> 8);
    single[5] = static_cast<uint8_t>(event_size);
    std::copy(event, event + event_size, single.begin() + GEV_COMMAND_HEADER_SIZE);
    return single;
}

}  // namespace

// ---- GenTLGEVRemoteDeviceEvent ----

GenTLGEVRemoteDeviceEvent::GenTLGEVRemoteDeviceEvent(size_t max_event_size)
    : max_packet_size(max_event_size)
{
}

size_t GenTLGEVRemoteDeviceEvent::GetMaxInfoDataSize() const
{
    return max_packet_size < GEV_COMMAND_HEADER_SIZE + 1
               ? 0
               : max_packet_size - GEV_COMMAND_HEADER_SIZE;
}

bool GenTLGEVRemoteDeviceEvent::VerifyEventPacket(const void* packet, size_t size, bool single)
{
    if (packet == nullptr) return false;
    TL_ASSERT_MSG(max_packet_size > 0, "max_event_size>0");
    if (size > max_packet_size || size < GEV_COMMAND_HEADER_SIZE) return false;
    const auto* bytes = static_cast<const uint8_t*>(packet);
    const bool extended = (bytes[1] & GEV_EXTENDED_ID_FLAG) != 0;
    if (size < GEV_COMMAND_HEADER_SIZE + (extended ? 24 : 16) || bytes[0] != GEV_KEY) return false;
    const GevHeader header = ReadGevHeader(bytes);
    if (header.command != GEV_EVENT_CMDID && header.command != GEV_EVENTDATA_CMDID) return false;
    if (size != header.length + GEV_COMMAND_HEADER_SIZE) return false;
    if (header.command == GEV_EVENT_CMDID)
        return (header.first_event_size == 0 ||
                header.first_event_size == header.event_header_size) &&
               header.length % header.event_header_size == 0 &&
               (!single || header.length / header.event_header_size <= 1);
    if (header.first_event_size == 0 || header.first_event_size == header.length) return true;
    return !single &&
           WalkGevEvents(bytes + GEV_COMMAND_HEADER_SIZE, header.length, header.event_header_size);
}

bool GenTLGEVRemoteDeviceEvent::SplitEventPacket(const void* packet, size_t size,
                                                 std::vector<EventPacket>& single_events)
{
    TL_ASSERT_MSG(single_events.empty(), "single_events.empty ()");
    if (!TL_ASSERT_MSG(packet && VerifyEventPacket(packet, size, false),
                       "event_packet && VerifyEventPacket (event_packet, size, false)"))
        return false;
    const auto* bytes = static_cast<const uint8_t*>(packet);
    const GevHeader header = ReadGevHeader(bytes);
    const uint8_t* events = bytes + GEV_COMMAND_HEADER_SIZE;
    if (header.command == GEV_EVENTDATA_CMDID) {
        if (header.first_event_size == 0 || header.first_event_size == header.length) return false;
        for (size_t offset = 0; offset < header.length;) {
            const size_t remaining_size = header.length - offset;
            const size_t next_event_size =
                remaining_size > sizeof(uint16_t) ? ReadBE16(events + offset) : 0;
            if (!TL_ASSERT(remaining_size > sizeof(uint16_t)) ||
                !TL_ASSERT(next_event_size <= remaining_size) || next_event_size == 0) {
                single_events.clear();
                return false;
            }
            single_events.push_back(MakeGevSingleEvent(bytes, events + offset, next_event_size));
            offset += next_event_size;
        }
        return true;
    }
    TL_ASSERT_MSG(header.command == GEV_EVENT_CMDID, "cmd_id == GEV_EVENT_CMDID");
    const size_t netto_event_header_size = header.event_header_size;
    if (!TL_ASSERT_MSG(0 == header.length % netto_event_header_size,
                       "0 == cmd_length % netto_event_header_size"))
        return false;
    const size_t count = header.length / netto_event_header_size;
    if (count == 1) return false;
    for (size_t i = 0; i < count; ++i)
        single_events.push_back(MakeGevSingleEvent(bytes, events + i * netto_event_header_size,
                                                   netto_event_header_size));
    return true;
}

uint16_t GenTLGEVRemoteDeviceEvent::GetEventIDFromPacket(const void* packet, size_t size)
{
    if (!TL_ASSERT_MSG(packet && VerifyEventPacket(packet, size, true),
                       "event_packet && VerifyEventPacket (event_packet, size, true)"))
        return 0;
    return ReadBE16(static_cast<const uint8_t*>(packet) + 10);
}

EventValueLocation GenTLGEVRemoteDeviceEvent::GetEventValueLocation(const void* packet, size_t size)
{
    if (!TL_ASSERT_MSG(packet && VerifyEventPacket(packet, size, true),
                       "event_packet && VerifyEventPacket (event_packet, size, true)"))
        return {0, 0};
    return {GEV_COMMAND_HEADER_SIZE, size - GEV_COMMAND_HEADER_SIZE};
}

// ---- GenTLU3VRemoteDeviceEvent ----

GenTLU3VRemoteDeviceEvent::GenTLU3VRemoteDeviceEvent(size_t max_event_size)
    : max_packet_size(max_event_size)
{
}

size_t GenTLU3VRemoteDeviceEvent::GetMaxInfoDataSize() const
{
    return max_packet_size < U3V_VALUE_OFFSET + 1 ? 0 : max_packet_size - U3V_VALUE_OFFSET;
}

bool GenTLU3VRemoteDeviceEvent::VerifyEventPacket(const void* packet, size_t size, bool)
{
    if (packet == nullptr) return false;
    TL_ASSERT_MSG(max_packet_size > 0, "max_event_size>0");
    const auto* bytes = static_cast<const uint8_t*>(packet);
    return size <= max_packet_size && size >= U3V_MIN_PACKET_SIZE &&
           std::memcmp(bytes, U3V_EVENT_PREFIX, sizeof U3V_EVENT_PREFIX) == 0 &&
           ReadLE16(bytes + 6) == U3V_EVENT_CMDID;
}

bool GenTLU3VRemoteDeviceEvent::SplitEventPacket(const void*, size_t,
                                                 std::vector<EventPacket>& single_events)
{
    TL_ASSERT_MSG(single_events.empty(), "single_events.empty ()");
    return false;
}

uint16_t GenTLU3VRemoteDeviceEvent::GetEventIDFromPacket(const void* packet, size_t size)
{
    if (!TL_ASSERT_MSG(packet && VerifyEventPacket(packet, size, true),
                       "event_packet && VerifyEventPacket (event_packet, size, true)"))
        return 0;
    return ReadLE16(static_cast<const uint8_t*>(packet) + 14);
}

EventValueLocation GenTLU3VRemoteDeviceEvent::GetEventValueLocation(const void* packet, size_t size)
{
    if (!TL_ASSERT_MSG(packet && VerifyEventPacket(packet, size, true),
                       "event_packet && VerifyEventPacket (event_packet, size, true)"))
        return {0, 0};
    return {U3V_VALUE_OFFSET, size - U3V_VALUE_OFFSET};
}

}  // namespace GenTLCore
