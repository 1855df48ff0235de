// EventTestHelpers.h: registered events and the consumer's side of
// EventGetData and EventGetDataInfo.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "PortTestHelpers.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/SmartPointers.h"

namespace EventTestHelpers {

using namespace PortTestHelpers;

// An event completed and registered (opened as the handle pool would) for
// the life of the holder; closed again at the end.
template <class Event>
class Registered {
public:
    template <class... Args>
    explicit Registered(Args&&... args) : event(new Event(std::forward<Args>(args)...))
    {
        event->CompleteConstruction();
        EXPECT_EQ(GC_ERR_SUCCESS, event->Open());
    }
    ~Registered()
    {
        if (event->IsOpen()) event->Close();
    }
    Event* operator->() const { return event.Get(); }
    Event& operator*() const { return *event; }

private:
    GenTLCore::SharedPtr<Event> event;
};

// One EventGetData or EventGetDataInfo answer: as many bytes as reported.
struct Taken {
    GC_ERROR result;
    Bytes bytes;
    INFO_DATATYPE type = -1;
    std::string error_text{};  // a consumer thread's last error
};

inline Taken TakeDatum(GenTLCore::GenTLEvent& event, uint64_t timeout_ms, size_t capacity = 64)
{
    Bytes buffer(capacity, 0xEE);
    size_t size = capacity;
    const GC_ERROR result = event.GetEventData(buffer.data(), &size, timeout_ms);
    buffer.resize(result == GC_ERR_SUCCESS ? size : 0);
    return {result, buffer};
}

inline Taken DataInfo(GenTLCore::GenTLEvent& event, const Bytes& datum, EVENT_DATA_INFO_CMD command)
{
    Taken info{GC_ERR_SUCCESS, Bytes(64, 0xEE)};
    size_t size = info.bytes.size();
    info.result = event.GetEventDataInfo(datum.data(), datum.size(), command, &info.type,
                                         info.bytes.data(), &size);
    info.bytes.resize(info.result == GC_ERR_SUCCESS ? size : 0);
    return info;
}

// A module event's packet: "ykiv", the 32-bit ID little-endian, then `data`.
inline Bytes PacketWithID(uint32_t id, const Bytes& data = {})
{
    // Sized once: GCC 12 at -O2 misreads a growing insert as an overrun.
    Bytes packet(8 + data.size());
    const uint8_t head[8] = {0x79,
                             0x6B,
                             0x69,
                             0x76,
                             static_cast<uint8_t>(id),
                             static_cast<uint8_t>(id >> 8),
                             static_cast<uint8_t>(id >> 16),
                             static_cast<uint8_t>(id >> 24)};
    std::copy(head, head + 8, packet.begin());
    std::copy(data.begin(), data.end(), packet.begin() + 8);
    return packet;
}

}  // namespace EventTestHelpers
