// GenTLInterfaceTesk.h: the Tesk3D producer's interface module: sensors found
// by UDP discovery, the direct probe by address, and the registers that read
// and change the selected sensor's network settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/GenTLInterface.h"
#include "gentl_core/GenTLRegMapPort.h"

namespace GenTLCore::ZoTL {

class GenTLLocalDeviceTesk;

// The interface's custom registers; they work on the selected device.
enum InterfaceCustomRegister : uint32_t {
    DEVICE_IP_ADDRESS = 12001,
    DEVICE_SUBNET_MASK = 12002,
    DEVICE_GATEWAY = 12003,
    DEVICE_MAC_ADDRESS = 12004,
    DEVICE_FORCE_IP = 12005,  // any write applies the staged settings
    DEVICE_FORCE_IP_ADDRESS = 12006,
    DEVICE_FORCE_SUBNET_MASK = 12007,
    DEVICE_FORCE_GATEWAY = 12008,
};

inline constexpr RegisterDefinition INTERFACE_CUSTOM_REGISTERS[] = {
    {DEVICE_IP_ADDRESS, REG_TYPE_UINT32, 0x5FFFFF04, 4, REG_ACCESS_RW, false},
    {DEVICE_SUBNET_MASK, REG_TYPE_UINT32, 0x5FFFFF0C, 4, REG_ACCESS_RW, false},
    {DEVICE_GATEWAY, REG_TYPE_UINT32, 0x5FFFFF10, 4, REG_ACCESS_RW, false},
    {DEVICE_MAC_ADDRESS, REG_TYPE_UINT64, 0x5FFFFF14, 8, REG_ACCESS_RW, false},
    {DEVICE_FORCE_IP, REG_TYPE_UINT32, 0x5FFFFF1C, 4, REG_ACCESS_RW, false},
    {DEVICE_FORCE_IP_ADDRESS, REG_TYPE_UINT32, 0x5FFFFF20, 4, REG_ACCESS_RW, false},
    {DEVICE_FORCE_SUBNET_MASK, REG_TYPE_UINT32, 0x5FFFFF24, 4, REG_ACCESS_RW, false},
    {DEVICE_FORCE_GATEWAY, REG_TYPE_UINT32, 0x5FFFFF28, 4, REG_ACCESS_RW, false},
};

// The one interface of the Tesk3D transport layer, over every host adapter.
// Lifetime, threads and locking as GenTLInterface: discovery and the network
// change run in the consumer's thread under handle_lock and block it for at
// least half a second each. A register access takes the selected device's
// lock inside handle_lock.
class GenTLInterfaceTesk : public GenTLInterface {
public:
    explicit GenTLInterfaceTesk(const SharedPtr<InterfaceTag>& tag);

protected:
    GC_ERROR DiscoverDevices(std::vector<SharedPtr<DeviceTag>>& cur_devs,
                             uint64_t timeout_ms) override;
    // Key "ip" in any case; the value must be a dotted IPv4 address.
    GC_ERROR ProbeSpecificDevice(const std::string& key, const std::string& value,
                                 SharedPtr<DeviceTag>& tag) override;
    SharedPtr<GenTLLocalDevice> CreateDevice(const SharedPtr<DeviceTag>& tag) override;

    void DefineCustomRegisters() override;
    GC_ERROR ReadUInt32CustomRegister(uint32_t id, uint32_t& value) override;
    GC_ERROR ReadUInt64CustomRegister(uint32_t id, uint64_t& value) override;
    GC_ERROR ReadStringCustomRegister(uint32_t id, std::string& value) override;
    GC_ERROR WriteUInt32CustomRegister(uint32_t id, uint32_t value) override;

private:
    GC_ERROR SelectedTeskDevice(SharedPtr<GenTLLocalDeviceTesk>& dev);
    GC_ERROR ApplyStagedNetwork(GenTLLocalDeviceTesk& dev);
};

}  // namespace GenTLCore::ZoTL
