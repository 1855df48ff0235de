// GenTLLocalDevice.cpp: the local device module: device info, the open and
// close sequence and the remote-device event engine.
#include "gentl_core/GenTLLocalDevice.h"

#include <new>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/InfoCommandHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_core/MiscUtils.h"
#include "gentl_core/PublishedList.h"
#include "platform/Assert.h"

namespace GenTLCore {
namespace {

// Keys a device's alternative ID may use: the plain ones, then the probe keys.
const std::vector<std::string>& AlternativeDeviceKeys()
{
    // Never destroyed: a consumer thread may still call in while the process exits.
    static const std::vector<std::string>& keys = *[] {
        auto* all = new std::vector<std::string>(GetBranding().AlternativeDeviceIDKeys(false));
        const std::vector<std::string> probe = GetBranding().AlternativeDeviceIDKeys(true);
        all->insert(all->end(), probe.begin(), probe.end());
        return all;
    }();
    return keys;
}

}  // namespace

GenTLLocalDevice::GenTLLocalDevice(const SharedPtr<DeviceTag>& tag)
    : GenTLModule(DescriptionDocument::LocalDevice, LOCAL_DEVICE_COMMON_IDS),
      dev_tag(tag),
      device_id(tag ? MakeDeviceUniqueString(tag->GetID(), tag->GetVendorName(),
                                             tag->GetModelName())
                    : std::string())
{
    if (!TL_ASSERT(dev_tag)) {
        TL_LOG(LOG_CATEGORY_ASSERT, LOG_LEVEL_INFO)
            << "Local device not fully constructed due to an internal error.";
        ScopedLock lock(handle_lock);
        SetNotAvailable();
    }
}

GenTLLocalDevice::~GenTLLocalDevice()
{
    TL_ASSERT(!IsOpen());
    TL_ASSERT(!remote && all_stms.empty());
    TL_ASSERT(!evt_engine_started);
}

std::string GenTLLocalDevice::GetID()
{
    return device_id;
}

void GenTLLocalDevice::BuildEvents()
{
    dev_evt = CreateRemoteDeviceEvent();
    if (dev_evt) {
        dev_evt->CompleteConstruction();
        AddEvent(dev_evt.DynamicCast<GenTLEvent>());
    }
    GenTLModule::BuildEvents();
}

// ---- Open and close ----

GC_ERROR GenTLLocalDevice::DoOpen()
{
    if (GetAccessStatus() == DEVICE_ACCESS_STATUS_NOACCESS)
        return ReportError(GC_ERR_ACCESS_DENIED,
                           "DeviceOpen: the device is currently not accessible");
    const GC_ERROR opened = DoOpenTLSpecific(requested_access);
    if (opened != GC_ERR_SUCCESS)
        return opened;
    if (!OpenChildren()) {
        DoCloseTLSpecific(nullptr);
        return ReportError(GC_ERR_OUT_OF_MEMORY,
                           "DeviceOpen: failed to create the data streams or the remote device");
    }
    open_access = requested_access;
    return GC_ERR_SUCCESS;
}

// The data streams, then the remote device; false (nothing kept) when the
// device lacks either.
bool GenTLLocalDevice::OpenChildren()
{
    // Made before anything can run out of memory: emptying needs no allocation.
    const SharedPtr<GenTLRemoteDevice> no_remote;
    TL_ASSERT(all_stms.empty());
    TL_ASSERT(!remote);
    const bool wants_streams = ImplementsDataStreams();
    const bool created = TryAllocate([&] {
        if (wants_streams)
            AddDataStreams();
        remote = CreateRemoteDevice();
        if (remote)
            remote->CompleteConstruction();
    });
    if (!created || (wants_streams && all_stms.empty()) || !remote) {
        remote = no_remote;
        all_stms.clear();
        return false;
    }
    return true;
}

// Every delivered stream is completed, so a skipped one goes as cleanly as a
// kept one.
void GenTLLocalDevice::AddDataStreams()
{
    for (const SharedPtr<GenTLDataStream>& stream : CreateDataStreams()) {
        if (!TL_ASSERT_MSG(stream, "Received empty stream instance")) continue;
        stream->CompleteConstruction();
        if (TL_ASSERT_MSG(!IsStreamIDTaken(stream->GetID()), "Received duplicate stream instance"))
            all_stms.push_back(stream);
    }
}

bool GenTLLocalDevice::IsStreamIDTaken(const std::string& id) const
{
    for (const SharedPtr<GenTLDataStream>& stream : all_stms)
        if (stream->GetID() == id)
            return true;
    return false;
}

// The pool closed the streams and the remote port before; a child still open
// is closed here so that nothing outlives the device's transport layer.
GC_ERROR GenTLLocalDevice::DoClose()
{
    open_access = 0;
    for (const SharedPtr<GenTLDataStream>& stream : all_stms)
        if (!TL_ASSERT(!stream->IsOpen()))
            stream->Close();
    all_stms.clear();
    nodemap_stm_sel = 0;
    if (TL_ASSERT(remote)) {
        if (!TL_ASSERT(!remote->IsOpen()))
            remote->Close();
        remote = SharedPtr<GenTLRemoteDevice>();
    }
    if (evt_engine_started) {
        StopDeviceEvents();
        evt_engine_started = false;
    }
    DoCloseTLSpecific(dev_tag ? dev_tag.Get() : nullptr);
    evt_thread_policy = THREAD_PRIORITY_UNSET;
    evt_thread_priority = THREAD_PRIORITY_UNSET;
    return GC_ERR_SUCCESS;
}

// ---- Children ----

GC_ERROR GenTLLocalDevice::DevGetPort(SharedPtr<GenTLRemoteDevice>& rmt_candidate)
{
    ScopedLock lock(handle_lock);
    TL_ASSERT(!rmt_candidate);
    if (IsNotAvailable())
        return ReportError(
            GC_ERR_ACCESS_DENIED,
            "DevGetPort: the device is marked as inaccessible, refusing to open the remote port");
    if (!remote)
        return ReportError(GC_ERR_ERROR,
                           "DevGetPort: no remote device instantiated for this local device");
    rmt_candidate = remote;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLLocalDevice::GetNumDataStreams(uint32_t* num_streams)
{
    ScopedLock lock(handle_lock);
    if (num_streams == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "GetNumDataStreams: invalid num_datastreams pointer");
    *num_streams = static_cast<uint32_t>(all_stms.size());
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLLocalDevice::GetDataStreamID(uint32_t index, char* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    if (all_stms.empty())
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetDataStreamID: no data stream available for this device");
    if (index >= all_stms.size())
        return ReportError(GC_ERR_INVALID_INDEX,
                           "GetDataStreamID: invalid stream index, exceeding number of streams");
    return CopyIDString(buffer, size, all_stms[index]->GetID());
}

bool GenTLLocalDevice::MatchesStreamID(GenTLDataStream& stream, const std::string& id,
                                       bool alternative, const std::string& key,
                                       const std::string& value)
{
    return alternative ? stream.MatchesStreamId(key, value) : stream.GetID() == id;
}

GC_ERROR GenTLLocalDevice::StmOpen(const char* id, SharedPtr<GenTLDataStream>& stm_candidate)
{
    ScopedLock lock(handle_lock);
    TL_ASSERT(!stm_candidate);
    if (all_stms.empty())
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "StmOpen: no data stream available for this device");
    if (id == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "StmOpen: invalid datastream ID pointer");
    if (IsNotAvailable())
        return ReportError(
            GC_ERR_ACCESS_DENIED,
            "StmOpen: the device is marked as inaccessible, refusing to open the datastream");
    const std::string requested(id);
    const bool alternative = IsAlternativeID(requested);
    std::string key;
    std::string value;
    if (alternative)
        ParseAlternativeID(requested, key, value);
    for (const SharedPtr<GenTLDataStream>& stream : all_stms) {
        if (MatchesStreamID(*stream, requested, alternative, key, value)) {
            stm_candidate = stream;
            return GC_ERR_SUCCESS;
        }
    }
    return ReportError(GC_ERR_INVALID_ID,
                       "StmOpen: invalid datastream ID, no such datastream exists");
}

// ---- Identity and info ----

bool GenTLLocalDevice::HasSameTag(const DeviceTag& tested_tag)
{
    ScopedLock lock(handle_lock);
    return TL_ASSERT_MSG(dev_tag, "tested_tag && dev_tag") && dev_tag->IsSameAs(tested_tag);
}

std::string GenTLLocalDevice::GetTagID()
{
    ScopedLock lock(handle_lock);
    return dev_tag ? dev_tag->GetID() : std::string();
}

void GenTLLocalDevice::UpdateTag(const SharedPtr<DeviceTag>& new_tag)
{
    ScopedLock lock(handle_lock);
    if (TL_ASSERT(new_tag && dev_tag) && new_tag.Get() != dev_tag.Get())
        dev_tag->UpdateFrom(*new_tag);
}

bool GenTLLocalDevice::MatchesAlternativeID(const std::string& key, const std::string& value)
{
    if (!IsKeyListed(AlternativeDeviceKeys(), key))
        return false;
    ScopedLock lock(handle_lock);
    return dev_tag && dev_tag->MatchesAlternativeID(key, value);
}

void GenTLLocalDevice::SetRequestedAccess(uint32_t flags)
{
    ScopedLock lock(handle_lock);
    requested_access = flags;
}

int32_t GenTLLocalDevice::GetAccessStatus()
{
    ScopedLock lock(handle_lock);
    if (IsOpen()) {
        if (open_access == DEVICE_ACCESS_READONLY)
            return DEVICE_ACCESS_STATUS_OPEN_READONLY;
        if (open_access == DEVICE_ACCESS_CONTROL || open_access == DEVICE_ACCESS_EXCLUSIVE)
            return DEVICE_ACCESS_STATUS_OPEN_READWRITE;
        return DEVICE_ACCESS_STATUS_UNKNOWN;
    }
    if (!dev_tag)
        return DEVICE_ACCESS_STATUS_UNKNOWN;
    if (dev_tag->IsNotAccessible())
        return DEVICE_ACCESS_STATUS_NOACCESS;
    return dev_tag->IsFree() ? DEVICE_ACCESS_STATUS_READWRITE : DEVICE_ACCESS_STATUS_BUSY;
}

std::string GenTLLocalDevice::GetDisplayName()
{
    ScopedLock lock(handle_lock);
    if (!dev_tag)
        return std::string();
    const std::string custom = GetBranding().CustomDeviceDisplayName(
        dev_tag->GetID(), dev_tag->GetVendorName(), dev_tag->GetModelName());
    if (!custom.empty())
        return custom;
    return dev_tag->GetVendorName() + " " + dev_tag->GetModelName() + " (" + device_id + ")";
}

template <class T>
T GenTLLocalDevice::AskTag(T (DeviceTag::*query)() const, T fallback)
{
    ScopedLock lock(handle_lock);
    return dev_tag ? ((*dev_tag).*query)() : fallback;
}

bool GenTLLocalDevice::SupportsUserID()
{
    return AskTag(&DeviceTag::SupportsUserID, false);
}

std::string GenTLLocalDevice::GetVendorName()
{
    return AskTag(&DeviceTag::GetVendorName, std::string());
}

std::string GenTLLocalDevice::GetModelName()
{
    return AskTag(&DeviceTag::GetModelName, std::string());
}

std::string GenTLLocalDevice::GetVersion()
{
    return AskTag(&DeviceTag::GetVersion, std::string());
}

std::string GenTLLocalDevice::GetSerialNumber()
{
    return AskTag(&DeviceTag::GetSerialNumber, std::string());
}

std::string GenTLLocalDevice::GetManufacturerInfo()
{
    return AskTag(&DeviceTag::GetManufacturerInfo, std::string());
}

uint32_t GenTLLocalDevice::GetTLVersionMajor()
{
    return AskTag(&DeviceTag::GetTLVersionMajor, 0u);
}

uint32_t GenTLLocalDevice::GetTLVersionMinor()
{
    return AskTag(&DeviceTag::GetTLVersionMinor, 0u);
}

GC_ERROR GenTLLocalDevice::GetDeviceInfo(DEVICE_INFO_CMD command, INFO_DATATYPE* type,
                                         void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    switch (command) {
    case DEVICE_INFO_ID:
        return CopyInfoString(device_id, type, buffer, size);
    case DEVICE_INFO_VENDOR:
        return CopyInfoString(GetVendorName(), type, buffer, size);
    case DEVICE_INFO_MODEL:
        return CopyInfoString(GetModelName(), type, buffer, size);
    case DEVICE_INFO_TLTYPE:
        return CopyInfoString(GetBranding().TLType(), type, buffer, size);
    case DEVICE_INFO_DISPLAYNAME:
        return CopyInfoString(GetDisplayName(), type, buffer, size);
    case DEVICE_INFO_ACCESS_STATUS:
        return CopyInfoInt32(GetAccessStatus(), type, buffer, size);
    case DEVICE_INFO_USER_DEFINED_NAME:
        if (!SupportsUserID())
            return ReportError(GC_ERR_NOT_AVAILABLE,
                               "GetDeviceInfo: user defined name not supported by the device");
        return CopyInfoString(GetUserDefinedName(), type, buffer, size);
    case DEVICE_INFO_SERIAL_NUMBER:
        return CopyInfoString(GetSerialNumber(), type, buffer, size);
    case DEVICE_INFO_VERSION:
        return CopyInfoString(GetVersion(), type, buffer, size);
    case DEVICE_INFO_TIMESTAMP_FREQUENCY: {
        uint64_t frequency = 0;
        const GC_ERROR result = GetTimestampFrequency(frequency);
        if (result != GC_ERR_SUCCESS)
            return result;
        return CopyInfoUInt64(frequency, type, buffer, size);
    }
    default:
        if (command >= 1000)
            return GetCustomDeviceInfo(command, type, buffer, size);
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetDeviceInfo: unknown device info command requested");
    }
}

GC_ERROR GenTLLocalDevice::GetCustomDeviceInfo(DEVICE_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED,
                       "GetDeviceInfo: unknown device info command requested");
}

// ---- Device events ----

GC_ERROR GenTLLocalDevice::OnRegisterEvent(EVENT_TYPE event_type)
{
    if (event_type != EVENT_REMOTE_DEVICE)
        return GC_ERR_SUCCESS;
    // A running engine belongs to a registration still in force.
    if (evt_engine_started)
        return ReportError(GC_ERR_RESOURCE_IN_USE,
                           "RegisterEvent: the device event engine is already running.");
    if (!HasEventInterface())
        return ReportError(GC_ERR_NOT_AVAILABLE,
                           "RegisterEvent: the message channel not available on this device.");
    const GC_ERROR started = StartDeviceEvents(dev_evt);
    if (started == GC_ERR_SUCCESS)
        evt_engine_started = true;
    return started;
}

bool GenTLLocalDevice::OnUnregisterEvent(EVENT_TYPE event_type)
{
    if (event_type != EVENT_REMOTE_DEVICE)
        return true;
    if (!HasEventInterface())
        return false;
    evt_engine_started = false;
    const bool stopped = StopDeviceEvents();
    if (dev_evt)
        dev_evt->FlushEvent();
    return stopped;
}

bool GenTLLocalDevice::OnEventPacket(const void* packet, size_t size)
{
    if (!TL_ASSERT(packet != nullptr && size != 0) || !TL_ASSERT(HasEventInterface()))
        return false;
    // A device without a remote-device event has nowhere to put the packet.
    if (!dev_evt)
        return false;
    if (dev_evt->IsOpen())
        dev_evt->AddEventPacket(packet, size);
    return true;
}


}  // namespace GenTLCore
