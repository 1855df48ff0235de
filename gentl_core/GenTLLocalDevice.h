// GenTLLocalDevice.h: the GenTL device module: device info and access
// status, the open and close sequence that creates and releases the remote
// device and the data streams, the remote-device event engine and the
// device's registers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/DeviceTag.h"
#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/GenTLModule.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/SmartPointers.h"

namespace GenTLCore {

// Ids of the registers every module holds, in the local device's map.
constexpr ModuleRegisterIds LOCAL_DEVICE_COMMON_IDS{3019, 3020, 3021, 3022, 3023, 3024};

// The object behind a device handle. Public API (for the service front and
// the interface, each under the device's handle lock):
//   DevGetPort            DevGetPort: the remote device to register under the
//                         device's handle (the same object every time)
//   GetNumDataStreams, GetDataStreamID   DevGetNumDataStreams, DevGetDataStreamID
//   StmOpen               DevOpenDataStream: the stream to register
//   GetDeviceInfo         DevGetInfo, IFGetDeviceInfo
//   SetRequestedAccess    stored before the pool opens the device
//   GetAccessStatus, GetDisplayName, SupportsUserID, GetUserDefinedName and the
//   tag accessors         for the interface's registers
//   HasSameTag, GetTagID, UpdateTag, MatchesAlternativeID   for the interface's list
//   OnEventPacket         device event packets from the transport layer
//
// Lifetime: created by the interface's device list update with its tag and
// completed there (registers, URL, remote-device event, events); opened by
// the handle pool after DevOpen, which creates the data streams and the
// remote device; closed by DevClose after the pool closed those children,
// which releases them. Open and close may repeat.
//
// A transport layer supplies the extension interface below.
//
// Threads: consumer threads; every public member and register access holds
// handle_lock. OnEventPacket comes from the transport layer's thread and
// takes only the event's lock. Lock order: the interface's lock, handle_lock,
// a data stream's lock.
class GenTLLocalDevice : public GenTLModule {
public:
    // An empty tag leaves the ID empty and the device not available.
    explicit GenTLLocalDevice(const SharedPtr<DeviceTag>& tag);
    // Asserts the device is closed with no remote device, stream or engine.
    ~GenTLLocalDevice() override;

    // The device unique string built from the tag.
    std::string GetID() override;

    // `rmt_candidate` must arrive empty.
    GC_ERROR DevGetPort(SharedPtr<GenTLRemoteDevice>& rmt_candidate);
    GC_ERROR GetNumDataStreams(uint32_t* num_streams);
    GC_ERROR GetDataStreamID(uint32_t index, char* buffer, size_t* size);
    // Plain or alternative ID; `stm_candidate` must arrive empty.
    GC_ERROR StmOpen(const char* id, SharedPtr<GenTLDataStream>& stm_candidate);
    GC_ERROR GetDeviceInfo(DEVICE_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                           size_t* size);

    // The branding's custom name, else "<vendor> <model> (<ID>)".
    std::string GetDisplayName();
    // DEVICE_ACCESS_STATUS: 5 or 6 while open, else from the tag (1, 3, 4).
    int32_t GetAccessStatus();
    void SetRequestedAccess(uint32_t flags);

    bool HasSameTag(const DeviceTag& tested_tag);
    // The tag's ID as it is now; empty without a tag.
    std::string GetTagID();
    void UpdateTag(const SharedPtr<DeviceTag>& new_tag);
    bool MatchesAlternativeID(const std::string& key, const std::string& value);
    bool SupportsUserID();
    std::string GetVendorName();
    std::string GetModelName();
    std::string GetVersion();
    std::string GetSerialNumber();
    std::string GetManufacturerInfo();
    uint32_t GetTLVersionMajor();
    uint32_t GetTLVersionMinor();

    // Queues the packet on the remote-device event while it is registered;
    // false for a missing packet, or a device without event interface or event.
    bool OnEventPacket(const void* packet, size_t size);
    // Applies the event thread's policy and priority when the branding and
    // the device control the event engine.
    void ConfigureEventThread();

    // ---- Extension interface of the transport layer; under handle_lock. ----
    // The device's user-defined name.
    virtual std::string GetUserDefinedName() = 0;

    // Read-only register data for checks against the description document:
    // the core table, and the ids of the registers every module holds.
    static std::span<const RegisterDefinition> RegisterTable();
    static const ModuleRegisterIds& CommonRegisterIds();

protected:
    GC_ERROR DoOpen() override;
    GC_ERROR DoClose() override;
    void OnNotAvailable() override {}
    // The remote-device event (CreateRemoteDeviceEvent), then the standard events.
    void BuildEvents() override;
    std::string GetModuleName() override { return "TLDevice"; }
    std::string GetPortName() override { return "DevicePort"; }
    std::span<const RegisterDefinition> GetCoreRegisterTable() override;
    bool CleanupCoreRegisterStreaming() override;

    GC_ERROR OnRegisterEvent(EVENT_TYPE event_type) override;
    bool OnUnregisterEvent(EVENT_TYPE event_type) override;

    // Registers (GenTLLocalDeviceRegisters.cpp).
    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& value) override;
    GC_ERROR ReadInt32Register(uint32_t id, int32_t& value) override;
    GC_ERROR ReadStringRegister(uint32_t id, std::string& value) override;
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t value) override;
    GC_ERROR WriteInt32Register(uint32_t id, int32_t value) override;

    // Called once at completion; may be empty.
    virtual SharedPtr<GenTLRemoteDeviceEvent> CreateRemoteDeviceEvent() = 0;
    // Called by each open; not yet completed; empty fails the open.
    virtual SharedPtr<GenTLRemoteDevice> CreateRemoteDevice() = 0;
    // Called by each open when ImplementsDataStreams; not yet completed.
    virtual std::vector<SharedPtr<GenTLDataStream>> CreateDataStreams() = 0;
    // DEVICE_INFO commands from 1000 on; the default refuses.
    virtual GC_ERROR GetCustomDeviceInfo(DEVICE_INFO_CMD command, INFO_DATATYPE* type,
                                         void* buffer, size_t* size);
    // The transport layer's open; non-zero ends the open with nothing to undo.
    virtual GC_ERROR DoOpenTLSpecific(uint32_t access_flags) = 0;
    // Undoes the transport layer's open; `tag` is null when a failed open is
    // rolled back. The result is not looked at.
    virtual bool DoCloseTLSpecific(const DeviceTag* tag) = 0;
    virtual bool ImplementsDataStreams() = 0;
    virtual bool HasEventInterface() = 0;
    virtual GC_ERROR GetTimestampFrequency(uint64_t& frequency) = 0;
    virtual GC_ERROR StartDeviceEvents(const SharedPtr<GenTLRemoteDeviceEvent>& event) = 0;
    virtual bool StopDeviceEvents() = 0;
    // The defaults assert and answer false.
    virtual bool SetEventThreadPriority(int32_t policy, int32_t priority);
    virtual bool GetEventThreadPriority(int32_t& policy, int32_t& priority);

private:
    // A question to the tag under handle_lock; `fallback` without a tag.
    template <class T>
    T AskTag(T (DeviceTag::*query)() const, T fallback);
    bool OpenChildren();
    void AddDataStreams();
    bool IsStreamIDTaken(const std::string& id) const;
    bool MatchesStreamID(GenTLDataStream& stream, const std::string& id, bool alternative,
                         const std::string& key, const std::string& value);
    GC_ERROR ReadThreadRegister(uint32_t id, int32_t& value);
    GC_ERROR ReadSelectedStreamID(std::string& value);

    // Fixed at construction.
    const SharedPtr<DeviceTag> dev_tag;  // updated in place only; empty after an internal error
    const std::string device_id;

    // Set at completion, then fixed.
    SharedPtr<GenTLRemoteDeviceEvent> dev_evt;

    // Guarded by handle_lock.
    SharedPtr<GenTLRemoteDevice> remote;
    std::vector<SharedPtr<GenTLDataStream>> all_stms;
    bool evt_engine_started = false;
    uint32_t requested_access = 0;
    uint32_t open_access = 0;
    uint32_t nodemap_stm_sel = 0;
    int32_t evt_thread_policy = THREAD_PRIORITY_UNSET;
    int32_t evt_thread_priority = THREAD_PRIORITY_UNSET;
};

}  // namespace GenTLCore
