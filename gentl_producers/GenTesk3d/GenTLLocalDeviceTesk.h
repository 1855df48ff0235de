// GenTLLocalDeviceTesk.h: the local device of one Tesk3D sensor. For now it
// lists and describes the sensor and holds its staged network settings; its
// open refuses until the sensor connection is built.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/GenTLLocalDevice.h"
#include "gentl_producers/GenTesk3d/DeviceTagTesk.h"

namespace GenTLCore::ZoTL {

// Created by GenTLInterfaceTesk::CreateDevice for a DeviceTagTesk. Lifetime,
// threads and locking as GenTLLocalDevice; the staged settings are guarded by
// handle_lock and written through the interface's registers 12006-12008.
class GenTLLocalDeviceTesk : public GenTLLocalDevice {
public:
    struct NetworkSettings {
        uint32_t ip = 0;
        uint32_t netmask = 0;
        uint32_t gateway = 0;
    };

    // `tag` must hold a DeviceTagTesk.
    explicit GenTLLocalDeviceTesk(const SharedPtr<DeviceTag>& tag);

    // Under handle_lock.
    NetworkSettings& Staged() { return staged; }
    DeviceTagTesk& Tag() { return *tesk_tag; }

    std::string GetUserDefinedName() override;

protected:
    SharedPtr<GenTLRemoteDeviceEvent> CreateRemoteDeviceEvent() override;
    SharedPtr<GenTLRemoteDevice> CreateRemoteDevice() override;
    std::vector<SharedPtr<GenTLDataStream>> CreateDataStreams() override;
    // Refuses: the sensor connection does not exist yet.
    GC_ERROR DoOpenTLSpecific(uint32_t access_flags) override;
    bool DoCloseTLSpecific(const DeviceTag* tag) override;
    bool ImplementsDataStreams() override { return false; }
    bool HasEventInterface() override { return false; }
    GC_ERROR GetTimestampFrequency(uint64_t& frequency) override;
    GC_ERROR StartDeviceEvents(const SharedPtr<GenTLRemoteDeviceEvent>& event) override;
    bool StopDeviceEvents() override { return true; }

private:
    // Fixed at construction; the same object as the base's tag.
    const SharedPtr<DeviceTagTesk> tesk_tag;

    // Guarded by handle_lock.
    NetworkSettings staged;
};

}  // namespace GenTLCore::ZoTL
