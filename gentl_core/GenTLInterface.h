// GenTLInterface.h: the GenTL interface module: interface info, the device
// list and its update, devices handed out by ID, and the interface's
// registers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/DeviceTag.h"
#include "gentl_core/GenTLLocalDevice.h"
#include "gentl_core/GenTLModule.h"
#include "gentl_core/InterfaceTag.h"
#include "gentl_core/PublishedList.h"
#include "gentl_core/SmartPointers.h"

namespace GenTLCore {

// The object behind an interface handle. Public API (for the service front
// and the system, each under the interface's handle lock for its whole run):
//   GetInterfaceInfo              IFGetInfo, TLGetInterfaceInfo
//   GetNumDevices, GetDeviceID, GetDeviceInfo
//                                 IFGetNumDevices, IFGetDeviceID,
//                                 IFGetDeviceInfo (published list only)
//   UpdateDeviceListReportChange  IFUpdateDeviceList
//   DevOpen                       IFOpenDevice: the device to register under
//                                 the interface's handle (access flags stored)
//   UpdateDeviceList, RunDeviceDiscovery   the update itself (also register 2006)
//   GetSelectedDevice             for the transport layer's registers
//   HasSameTag, GetTagID, MatchesAlternativeID, GetDisplayName   for the system
//
// Lifetime: created by the system's list update with its tag and completed
// there; opened by TLOpenInterface, closed by IFClose (drops every device);
// destroyed when the system and the pool let it go, closed and empty.
// Local devices are created by the device list updates only, once per
// identity, and shared with the handle pool.
//
// A transport layer supplies DiscoverDevices and CreateDevice, and may
// override ProbeSpecificDevice, GetCustomInterfaceInfo, DoOpenTLSpecific and
// DoCloseTLSpecific.
//
// Threads: consumer threads; every public member and register access holds
// handle_lock, the whole device list update included (discovery runs under
// it). Lock order: the system's lock, handle_lock, a device's lock.
class GenTLInterface : public GenTLModule {
public:
    // An empty tag leaves the ID empty and the interface not available.
    explicit GenTLInterface(const SharedPtr<InterfaceTag>& tag);
    // Asserts the interface is closed and holds no device.
    ~GenTLInterface() override;

    // The branding's prefix, "_" and the tag's ID.
    std::string GetID() override;
    GC_ERROR GetInterfaceInfo(INTERFACE_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                              size_t* size);
    // The branding's custom name, else "<tag display name> (<ID>)".
    std::string GetDisplayName();

    GC_ERROR GetNumDevices(uint32_t* num_devices);
    GC_ERROR GetDeviceID(uint32_t index, char* buffer, size_t* size);
    // Exact ID of a published device; answered by the device.
    GC_ERROR GetDeviceInfo(const char* id, DEVICE_INFO_CMD command, INFO_DATATYPE* type,
                           void* buffer, size_t* size);
    // Plain or alternative ID, over every listed device; an ID not found (or
    // marked not available) runs one update without publishing first, a
    // direct probe for a probe key. `dev_candidate` must arrive empty.
    GC_ERROR DevOpen(const char* id, uint32_t access_flags,
                     SharedPtr<GenTLLocalDevice>& dev_candidate);
    // With a probe key: ProbeSpecificDevice instead of DiscoverDevices.
    GC_ERROR UpdateDeviceList(bool publish, uint64_t timeout_ms, const std::string& probe_key,
                              const std::string& probe_value);
    GC_ERROR RunDeviceDiscovery(bool publish, uint64_t timeout_ms);
    // `changed` is optional; untouched on failure.
    GC_ERROR UpdateDeviceListReportChange(bool8_t* changed, uint64_t timeout_ms);
    // Empty when nothing is published.
    SharedPtr<GenTLLocalDevice> GetSelectedDevice();

    // Read-only register data for checks against the description document:
    // the core table, and the ids of the registers every module holds.
    static std::span<const RegisterDefinition> RegisterTable();
    static const ModuleRegisterIds& CommonRegisterIds();

    // For the system's list update and lookups.
    bool HasSameTag(const InterfaceTag& candidate);
    // The tag's ID as it is now; empty without a tag.
    std::string GetTagID();
    bool MatchesAlternativeID(const std::string& key, const std::string& value);

protected:
    // DoOpenTLSpecific.
    GC_ERROR DoOpen() override;
    // Drops every device, then DoCloseTLSpecific.
    GC_ERROR DoClose() override;
    std::string GetModuleName() override { return "TLInterface"; }
    std::string GetPortName() override { return "InterfacePort"; }
    std::span<const RegisterDefinition> GetCoreRegisterTable() override;

    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& value) override;
    GC_ERROR ReadStringRegister(uint32_t id, std::string& value) override;
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t value) override;

    // ---- Extension interface of the transport layer; under handle_lock. ----
    // INTERFACE_INFO commands from 1000 on; the default refuses.
    virtual GC_ERROR GetCustomInterfaceInfo(INTERFACE_INFO_CMD command, INFO_DATATYPE* type,
                                            void* buffer, size_t* size);
    // Fills the empty `cur_devs` with non-empty candidates; non-zero ends the
    // update.
    virtual GC_ERROR DiscoverDevices(std::vector<SharedPtr<DeviceTag>>& cur_devs,
                                     uint64_t timeout_ms) = 0;
    // One device by an alternative-ID key and value, without a scan; `tag`
    // arrives empty. The default fails with GC_ERR_ERROR.
    virtual GC_ERROR ProbeSpecificDevice(const std::string& key, const std::string& value,
                                         SharedPtr<DeviceTag>& tag);
    // A new, not yet completed local device for `tag`; empty when out of memory.
    virtual SharedPtr<GenTLLocalDevice> CreateDevice(const SharedPtr<DeviceTag>& tag) = 0;
    virtual GC_ERROR DoOpenTLSpecific();
    virtual void DoCloseTLSpecific();

private:
    ListUpdateSteps<GenTLLocalDevice, DeviceTag> MakeUpdateSteps(uint64_t timeout_ms,
                                                                 const std::string& probe_key,
                                                                 const std::string& probe_value);
    GC_ERROR OneOffUpdate(bool alternative, const std::string& key, const std::string& value);
    GC_ERROR ReadSelectedDeviceString(uint32_t id, std::string& value);
    GC_ERROR ReadSelectedDeviceUInt32(uint32_t id, uint32_t& value);

    // Fixed at construction.
    const SharedPtr<InterfaceTag> itf_tag;  // empty only after an internal error
    const std::string interface_id;

    // Guarded by handle_lock.
    PublishedList<GenTLLocalDevice, DeviceTag> devs;
    uint32_t nodemap_dev_sel = 0;
    uint32_t dev_update_timeout_ms = 0;  // no register writes it
};

}  // namespace GenTLCore
