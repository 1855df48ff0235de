// GenTLRemoteDevice.h: the port through which a consumer reaches the
// features of the physical device, and its two kinds: the virtual remote
// device over a register map of its own, and the genuine one over a device
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/DeviceTag.h"
#include "gentl_core/GenTLPort.h"
#include "gentl_core/GenTLRegMapPort.h"
#include "gentl_core/SmartPointers.h"

namespace GenTLCore {

// Register id of the remote device's description document.
constexpr uint32_t REMOTE_DEVICE_DESCRIPTION_REGID = 5001;

// Created by the opening local device with the device's tag and completed
// there; DevGetPort hands out this same object; closed and released when the
// local device closes. Must be closed before it is destroyed.
// A remote device made without a tag is marked not available at once.
//
// Threads: any; every port operation holds handle_lock.
class GenTLRemoteDevice : public GenTLPort {
public:
    explicit GenTLRemoteDevice(const SharedPtr<DeviceTag>& dev_tag);
    ~GenTLRemoteDevice() override;

    // The device's unique string.
    std::string GetID() override;
    // The remote device's unique string.
    std::string GetUniqueString() override;
    // The device's port info; access answers follow the not-available mark.
    GC_ERROR DoGetPortInfo(PORT_INFO_CMD info_cmd, INFO_DATATYPE* type, void* buffer,
                           size_t* size) override;

protected:
    virtual bool IsLittleEndian() = 0;
    virtual bool IsWritable() = 0;

private:
    // Fixed at construction.
    const SharedPtr<DeviceTag> dev_tag;  // empty only after an internal error
    const std::string remote_id;
};

// The remote device this system uses: the device's registers are emulated by
// a register map of its own, which holds the description document at
// DESCRIPTION_REGISTER_ADDRESS (id REMOTE_DEVICE_DESCRIPTION_REGID) and the
// transport layer's custom registers (DefineCustomRegisters and the custom
// accessors), nothing else; its map begins at the first custom register.
class GenTLVirtualRemoteDevice : public GenTLRemoteDevice, public GenTLRegisterMap {
public:
    explicit GenTLVirtualRemoteDevice(const SharedPtr<DeviceTag>& dev_tag);

    GC_ERROR DoReadPort(uint64_t address, void* buffer, size_t* size) override;
    GC_ERROR DoWritePort(uint64_t address, const void* data, size_t* size) override;

protected:
    // The document register, the custom registers, FinalizeRegMap, then the
    // document's URL entry.
    void FinalizeConstruction() override;
    bool IsLittleEndian() override { return true; }
    bool IsWritable() override { return true; }
    GC_ERROR ReadStringRegister(uint32_t id, std::string& value) override;
};

// A remote device with a register memory and a manifest table of its own,
// for a transport layer whose devices have them; port reads and writes go to
// the device memory unchanged.
class GenTLGenuineRemoteDevice : public GenTLRemoteDevice {
public:
    explicit GenTLGenuineRemoteDevice(const SharedPtr<DeviceTag>& dev_tag);

    GC_ERROR DoReadPort(uint64_t address, void* buffer, size_t* size) override;
    GC_ERROR DoWritePort(uint64_t address, const void* data, size_t* size) override;

protected:
    // The manifest table becomes the port's URL list.
    void FinalizeConstruction() override;

    // The device's description documents.
    virtual void GetManifestTable(std::vector<PortURLEntry>& rmt_urls) = 0;
    virtual GC_ERROR ReadDeviceMemory(uint64_t address, void* buffer, size_t* size) = 0;
    virtual GC_ERROR WriteDeviceMemory(uint64_t address, const void* data, size_t* size) = 0;
};

}  // namespace GenTLCore
