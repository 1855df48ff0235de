// GenTLStandardDeviceEvent.h: remote-device events whose packets follow the
// GigE Vision and USB3 Vision event channels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gentl_core/GenTLEvent.h"

namespace GenTLCore {

// GigE Vision EVENT_CMD and EVENTDATA_CMD packets (big-endian): an 8-byte
// command header, then one or more events, each split into a packet of its
// own before it is queued.
//
// Created by a local device that has a GigE Vision event channel; threads
// and lifetime as GenTLRemoteDeviceEvent.
class GenTLGEVRemoteDeviceEvent : public GenTLRemoteDeviceEvent {
public:
    // `max_event_size`: the largest whole packet.
    explicit GenTLGEVRemoteDeviceEvent(size_t max_event_size);

protected:
    size_t GetMaxEventSize() const override { return max_packet_size; }
    size_t GetMaxInfoDataSize() const override;

    bool VerifyEventPacket(const void* packet, size_t size, bool single) override;
    bool SplitEventPacket(const void* packet, size_t size,
                          std::vector<EventPacket>& single_events) override;
    uint16_t GetEventIDFromPacket(const void* packet, size_t size) override;
    EventValueLocation GetEventValueLocation(const void* packet, size_t size) override;

private:
    const size_t max_packet_size;
};

// USB3 Vision event packets: "U3VE", command 0x0C00, one event each.
//
// Created by a local device that has a USB3 Vision event channel; threads
// and lifetime as GenTLRemoteDeviceEvent.
class GenTLU3VRemoteDeviceEvent : public GenTLRemoteDeviceEvent {
public:
    // `max_event_size`: the largest whole packet.
    explicit GenTLU3VRemoteDeviceEvent(size_t max_event_size);

protected:
    size_t GetMaxEventSize() const override { return max_packet_size; }
    size_t GetMaxInfoDataSize() const override;

    bool VerifyEventPacket(const void* packet, size_t size, bool single) override;
    bool SplitEventPacket(const void* packet, size_t size,
                          std::vector<EventPacket>& single_events) override;
    uint16_t GetEventIDFromPacket(const void* packet, size_t size) override;
    EventValueLocation GetEventValueLocation(const void* packet, size_t size) override;

private:
    const size_t max_packet_size;
};

}  // namespace GenTLCore
