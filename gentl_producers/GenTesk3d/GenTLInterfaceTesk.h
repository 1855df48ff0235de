// GenTLInterfaceTesk.h: the Tesk3D producer's interface module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/GenTLInterface.h"

namespace GenTLCore::ZoTL {

// The one interface of the Tesk3D transport layer. Sensor discovery is not
// wired in yet: a device list update finds no device. Lifetime, threads and
// locking as GenTLInterface; holds no data of its own.
class GenTLInterfaceTesk : public GenTLInterface {
public:
    explicit GenTLInterfaceTesk(const SharedPtr<InterfaceTag>& tag);

protected:
    // TODO: run the sensor discovery once it exists; until then none is found.
    GC_ERROR DiscoverDevices(std::vector<SharedPtr<DeviceTag>>& cur_devs,
                             uint64_t timeout_ms) override;
    // Never asked while discovery finds nothing; makes no device.
    SharedPtr<GenTLLocalDevice> CreateDevice(const SharedPtr<DeviceTag>& tag) override;
};

}  // namespace GenTLCore::ZoTL
