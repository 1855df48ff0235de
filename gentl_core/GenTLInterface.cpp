// GenTLInterface.cpp: the interface module: interface info, the device list
// and the interface's registers.
#include "gentl_core/GenTLInterface.h"

#include "gentl_core/CoreRegisterAccess.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/InfoCommandHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_core/MiscUtils.h"
#include "platform/Assert.h"

namespace GenTLCore {
namespace {

enum InterfaceRegister : uint32_t {
    INTERFACE_ID = 2001,
    INTERFACE_DISPLAY_NAME = 2002,
    TL_VERSIONS_AVAILABLE = 2003,
    INTERFACE_TL_VERSION_MAJOR = 2004,
    INTERFACE_TL_VERSION_MINOR = 2005,
    DEVICE_UPDATE_LIST = 2006,
    NR_DEVICES = 2007,
    DEVICE_SELECTOR = 2008,
    DEVICE_ACCESS_STATUS = 2009,
    DEVICE_ID = 2010,
    DEVICE_VENDOR_NAME = 2011,
    DEVICE_MODEL_NAME = 2012,
    DEVICE_SERIAL_NUMBER = 2013,
    DEVICE_USER_ID = 2014,
    DEVICE_USER_ID_AVAILABLE = 2015,
    DEVICE_TL_VERSION_MAJOR = 2016,
    DEVICE_TL_VERSION_MINOR = 2017,
    // 2018 to 2023: the registers every module holds.
};

constexpr ModuleRegisterIds INTERFACE_COMMON_IDS{2018, 2019, 2020, 2021, 2022, 2023};

constexpr RegisterDefinition INTERFACE_REGISTERS[] = {
    {INTERFACE_ID, REG_TYPE_STRING, 0x0, 128, REG_ACCESS_RO, false},
    {INTERFACE_DISPLAY_NAME, REG_TYPE_STRING, 0x80, 128, REG_ACCESS_RO, false},
    {TL_VERSIONS_AVAILABLE, REG_TYPE_UINT32, 0x100, 4, REG_ACCESS_RO, false},
    {INTERFACE_TL_VERSION_MAJOR, REG_TYPE_UINT32, 0x104, 4, REG_ACCESS_RO, false},
    {INTERFACE_TL_VERSION_MINOR, REG_TYPE_UINT32, 0x108, 4, REG_ACCESS_RO, false},
    {DEVICE_UPDATE_LIST, REG_TYPE_UINT32, 0x10000000, 4, REG_ACCESS_WO, false},
    {NR_DEVICES, REG_TYPE_UINT32, 0x10000004, 4, REG_ACCESS_RO, false},
    {DEVICE_SELECTOR, REG_TYPE_UINT32, 0x10000008, 4, REG_ACCESS_RW, false},
    {DEVICE_ACCESS_STATUS, REG_TYPE_UINT32, 0x1000000C, 4, REG_ACCESS_RO, false},
    {DEVICE_ID, REG_TYPE_STRING, 0x10000010, 128, REG_ACCESS_RO, false},
    {DEVICE_VENDOR_NAME, REG_TYPE_STRING, 0x10000090, 64, REG_ACCESS_RO, false},
    {DEVICE_MODEL_NAME, REG_TYPE_STRING, 0x100000D0, 64, REG_ACCESS_RO, false},
    {DEVICE_SERIAL_NUMBER, REG_TYPE_STRING, 0x10000110, 64, REG_ACCESS_RO, false},
    {DEVICE_USER_ID, REG_TYPE_STRING, 0x10000150, 64, REG_ACCESS_RO, false},
    {DEVICE_USER_ID_AVAILABLE, REG_TYPE_UINT32, 0x10000190, 4, REG_ACCESS_RO, false},
    {DEVICE_TL_VERSION_MAJOR, REG_TYPE_UINT32, 0x10000194, 4, REG_ACCESS_RO, false},
    {DEVICE_TL_VERSION_MINOR, REG_TYPE_UINT32, 0x10000198, 4, REG_ACCESS_RO, false},
};

constexpr ListTexts DEVICE_LIST_TEXTS{
    "device",
    "A device",
    "GetNumDevices: invalid num_devices pointer",
    "GetDeviceID: invalid device index, exceeding number of devices",
    "GetDeviceInfo: invalid device ID pointer",
    "GetDeviceInfo: invalid device ID, no such device exists",
    "UpdateDeviceList: failed to create a device",
    "nr_published_devs <= all_devs.size()",
};

// Keys that DevOpen probes directly instead of running a discovery.
const std::vector<std::string>& ProbeKeys()
{
    // Never destroyed: a consumer thread may still call in while the process exits.
    static const std::vector<std::string>& keys =
        *new std::vector<std::string>(GetBranding().AlternativeDeviceIDKeys(true));
    return keys;
}

}  // namespace

GenTLInterface::GenTLInterface(const SharedPtr<InterfaceTag>& tag)
    : GenTLModule(DescriptionDocument::Interface, INTERFACE_COMMON_IDS),
      itf_tag(tag),
      interface_id(tag ? MakeInterfaceUniqueString(tag->GetID()) : std::string()),
      devs(DEVICE_LIST_TEXTS)
{
    if (!TL_ASSERT(itf_tag)) {
        TL_LOG(LOG_CATEGORY_ASSERT, LOG_LEVEL_INFO)
            << "Interface not fully constructed due to an internal error.";
        ScopedLock lock(handle_lock);
        SetNotAvailable();
    }
}

GenTLInterface::~GenTLInterface()
{
    TL_ASSERT(!IsOpen());
    TL_ASSERT_MSG(devs.IsEmpty(), "all_devs.empty ()");
}

std::string GenTLInterface::GetID()
{
    return interface_id;
}

GC_ERROR GenTLInterface::DoOpen()
{
    return DoOpenTLSpecific();
}

GC_ERROR GenTLInterface::DoClose()
{
    devs.Clear();
    DoCloseTLSpecific();
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLInterface::DoOpenTLSpecific()
{
    return GC_ERR_SUCCESS;
}

void GenTLInterface::DoCloseTLSpecific() {}

std::span<const RegisterDefinition> GenTLInterface::GetCoreRegisterTable()
{
    return RegisterTable();
}

std::span<const RegisterDefinition> GenTLInterface::RegisterTable()
{
    return INTERFACE_REGISTERS;
}

const ModuleRegisterIds& GenTLInterface::CommonRegisterIds()
{
    return INTERFACE_COMMON_IDS;
}

// ---- Interface info ----

GC_ERROR GenTLInterface::GetInterfaceInfo(INTERFACE_INFO_CMD command, INFO_DATATYPE* type,
                                          void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    switch (command) {
    case INTERFACE_INFO_ID:
        return CopyInfoString(GetID(), type, buffer, size);
    case INTERFACE_INFO_DISPLAYNAME:
        return CopyInfoString(GetDisplayName(), type, buffer, size);
    case INTERFACE_INFO_TLTYPE:
        return CopyInfoString(GetBranding().TLType(), type, buffer, size);
    default:
        if (command >= 1000)
            return GetCustomInterfaceInfo(command, type, buffer, size);
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetInterfaceInfo: unknown interface info command requested");
    }
}

GC_ERROR GenTLInterface::GetCustomInterfaceInfo(INTERFACE_INFO_CMD, INFO_DATATYPE*, void*,
                                                size_t*)
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED,
                       "GetInterfaceInfo: unknown interface info command requested");
}

std::string GenTLInterface::GetDisplayName()
{
    ScopedLock lock(handle_lock);
    if (!TL_ASSERT(itf_tag))
        return std::string();
    const std::string custom =
        GetBranding().CustomInterfaceDisplayName(itf_tag->GetID(), itf_tag->GetDisplayName());
    if (!custom.empty())
        return custom;
    return itf_tag->GetDisplayName() + " (" + interface_id + ")";
}

bool GenTLInterface::HasSameTag(const InterfaceTag& candidate)
{
    ScopedLock lock(handle_lock);
    return TL_ASSERT_MSG(itf_tag, "tested_tag && itf_tag") && itf_tag->IsSameAs(candidate);
}

std::string GenTLInterface::GetTagID()
{
    ScopedLock lock(handle_lock);
    return itf_tag ? itf_tag->GetID() : std::string();
}

bool GenTLInterface::MatchesAlternativeID(const std::string& key, const std::string& value)
{
    ScopedLock lock(handle_lock);
    return TL_ASSERT(itf_tag) && itf_tag->MatchesAlternativeID(key, value);
}

// ---- Device list ----

GC_ERROR GenTLInterface::GetNumDevices(uint32_t* num_devices)
{
    ScopedLock lock(handle_lock);
    return devs.GetNumPublished(num_devices);
}

GC_ERROR GenTLInterface::GetDeviceID(uint32_t index, char* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    return devs.GetPublishedID(index, buffer, size);
}

GC_ERROR GenTLInterface::GetDeviceInfo(const char* id, DEVICE_INFO_CMD command,
                                       INFO_DATATYPE* type, void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    SharedPtr<GenTLLocalDevice> dev;
    const GC_ERROR found = devs.FindPublished(id, dev);
    if (found != GC_ERR_SUCCESS)
        return found;
    return dev->GetDeviceInfo(command, type, buffer, size);
}

GC_ERROR GenTLInterface::ProbeSpecificDevice(const std::string&, const std::string&,
                                             SharedPtr<DeviceTag>&)
{
    if (GetBranding().AlternativeDeviceIDKeys(true).empty())
        TL_ASSERT_MSG(false, "!GetBranding().AlternativeDeviceIDKeys(true).empty()");
    TL_ASSERT_MSG(false, "Device probing implementation incomplete");
    return ReportError(GC_ERR_ERROR,
                       "Attempt to direct probe a device, but direct probing not fully implemented.");
}

ListUpdateSteps<GenTLLocalDevice, DeviceTag> GenTLInterface::MakeUpdateSteps(
    uint64_t timeout_ms, const std::string& probe_key, const std::string& probe_value)
{
    ListUpdateSteps<GenTLLocalDevice, DeviceTag> steps;
    steps.discover = [this, timeout_ms, &probe_key,
                      &probe_value](std::vector<SharedPtr<DeviceTag>>& candidates) {
        if (probe_key.empty())
            return DiscoverDevices(candidates, timeout_ms);
        TL_LOG(LOG_CATEGORY_DEVDISC, LOG_LEVEL_INFO)
            << "Direct discovery with device probe key/value " << probe_key << "/" << probe_value;
        SharedPtr<DeviceTag> probed;
        const GC_ERROR result = ProbeSpecificDevice(probe_key, probe_value, probed);
        if (result == GC_ERR_SUCCESS && probed)
            candidates.push_back(probed);
        return result;
    };
    steps.create = [this](const SharedPtr<DeviceTag>& tag) { return CreateDevice(tag); };
    steps.refresh = [](GenTLLocalDevice& listed, const SharedPtr<DeviceTag>& candidate) {
        listed.UpdateTag(candidate);
    };
    return steps;
}

GC_ERROR GenTLInterface::UpdateDeviceList(bool publish, uint64_t timeout_ms,
                                          const std::string& probe_key,
                                          const std::string& probe_value)
{
    ScopedLock lock(handle_lock);
    return devs.Update(publish, MakeUpdateSteps(timeout_ms, probe_key, probe_value));
}

GC_ERROR GenTLInterface::RunDeviceDiscovery(bool publish, uint64_t timeout_ms)
{
    return UpdateDeviceList(publish, timeout_ms, std::string(), std::string());
}

GC_ERROR GenTLInterface::UpdateDeviceListReportChange(bool8_t* changed, uint64_t timeout_ms)
{
    ScopedLock lock(handle_lock);
    return devs.UpdateReportChange(changed,
                                   MakeUpdateSteps(timeout_ms, std::string(), std::string()));
}

GC_ERROR GenTLInterface::OneOffUpdate(bool alternative, const std::string& key,
                                      const std::string& value)
{
    // The probe asks for the one device only and needs no time to wait.
    if (alternative && IsKeyListed(ProbeKeys(), key))
        return UpdateDeviceList(false, 0, key, value);
    return RunDeviceDiscovery(false, GetBranding().DefaultDiscoveryTimeout());
}

GC_ERROR GenTLInterface::DevOpen(const char* id, uint32_t access_flags,
                                 SharedPtr<GenTLLocalDevice>& dev_candidate)
{
    ScopedLock lock(handle_lock);
    TL_ASSERT(!dev_candidate);
    if (id == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "DevOpen: invalid device ID pointer");
    const std::string requested(id);
    const bool alternative = IsAlternativeID(requested);
    std::string key;
    std::string value;
    if (alternative)
        ParseAlternativeID(requested, key, value);

    SharedPtr<GenTLLocalDevice> found;
    GC_ERROR update_result = GC_ERR_SUCCESS;
    const OpenLookup lookup = devs.FindForOpen(
        [&](GenTLLocalDevice& dev) {
            return alternative ? dev.MatchesAlternativeID(key, value) : dev.GetID() == requested;
        },
        [&] { return OneOffUpdate(alternative, key, value); }, found, update_result);
    switch (lookup) {
    case OpenLookup::UpdateFailed:
        return update_result;
    case OpenLookup::NotFound:
        return ReportError(GC_ERR_INVALID_ID, "DevOpen: invalid device ID, no such device exists");
    case OpenLookup::NotAvailable:
        return ReportError(
            GC_ERR_ACCESS_DENIED,
            "DevOpen: the requested device exists in the list, but is marked as inaccessible");
    case OpenLookup::Found:
        break;
    }
    found->SetRequestedAccess(access_flags);
    dev_candidate = found;
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLLocalDevice> GenTLInterface::GetSelectedDevice()
{
    ScopedLock lock(handle_lock);
    const SharedPtr<GenTLLocalDevice> selected = devs.Selected(nodemap_dev_sel);
    if (!selected)
        TL_ASSERT_MSG(false, "Access to a register depending on an empty device selector");
    return selected;
}

// ---- Registers ----

GC_ERROR GenTLInterface::ReadUInt32Register(uint32_t id, uint32_t& value)
{
    switch (id) {
    case TL_VERSIONS_AVAILABLE:
        value = GetBranding().TLType() == "Custom" ? 0 : 1;
        return GC_ERR_SUCCESS;
    case INTERFACE_TL_VERSION_MAJOR:
        value = GetBranding().InterfaceTLVersionMajor();
        return GC_ERR_SUCCESS;
    case INTERFACE_TL_VERSION_MINOR:
        value = GetBranding().InterfaceTLVersionMinor();
        return GC_ERR_SUCCESS;
    case NR_DEVICES:
        value = devs.NumPublished();
        return GC_ERR_SUCCESS;
    case DEVICE_SELECTOR:
        if (!devs.Selected(nodemap_dev_sel)) TL_ASSERT_MSG(false, "nr_published_devs>0");
        value = nodemap_dev_sel;
        return GC_ERR_SUCCESS;
    case DEVICE_ACCESS_STATUS:
    case DEVICE_USER_ID_AVAILABLE:
    case DEVICE_TL_VERSION_MAJOR:
    case DEVICE_TL_VERSION_MINOR:
        return ReadSelectedDeviceUInt32(id, value);
    default:
        break;
    }
    if (!IsCommonRegister(INTERFACE_COMMON_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the interface uint32 register to be read");
    return GenTLModule::ReadUInt32Register(id, value);
}

// Numbers of the selected device; 0 when there is none.
GC_ERROR GenTLInterface::ReadSelectedDeviceUInt32(uint32_t id, uint32_t& value)
{
    value = 0;
    const SharedPtr<GenTLLocalDevice> dev = GetSelectedDevice();
    if (!dev)
        return GC_ERR_SUCCESS;
    ScopedLock lock(dev->GetHandleLock());
    switch (id) {
    case DEVICE_ACCESS_STATUS: {
        const int32_t status = dev->GetAccessStatus();
        value = status >= DEVICE_ACCESS_STATUS_READWRITE &&
                        status <= DEVICE_ACCESS_STATUS_OPEN_READONLY
                    ? static_cast<uint32_t>(status)
                    : 0;
        break;
    }
    case DEVICE_USER_ID_AVAILABLE:
        value = dev->SupportsUserID() ? 1 : 0;
        break;
    case DEVICE_TL_VERSION_MAJOR:
        value = dev->GetTLVersionMajor();
        break;
    default:
        value = dev->GetTLVersionMinor();
        break;
    }
    return GC_ERR_SUCCESS;
}

// Texts of the selected device; empty when there is none.
GC_ERROR GenTLInterface::ReadSelectedDeviceString(uint32_t id, std::string& value)
{
    value.clear();
    const SharedPtr<GenTLLocalDevice> dev = GetSelectedDevice();
    if (!dev)
        return GC_ERR_SUCCESS;
    ScopedLock lock(dev->GetHandleLock());
    switch (id) {
    case DEVICE_ID:
        value = dev->GetID();
        break;
    case DEVICE_VENDOR_NAME:
        value = dev->GetVendorName();
        break;
    case DEVICE_MODEL_NAME:
        value = dev->GetModelName();
        break;
    case DEVICE_SERIAL_NUMBER:
        value = dev->GetSerialNumber();
        break;
    default:
        TL_ASSERT_MSG(dev->SupportsUserID(), "sel_dev->SupportsUserID ()");
        value = dev->GetUserDefinedName();
        break;
    }
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLInterface::ReadStringRegister(uint32_t id, std::string& value)
{
    switch (id) {
    case INTERFACE_ID:
        value = GetID();
        return GC_ERR_SUCCESS;
    case INTERFACE_DISPLAY_NAME:
        value = GetDisplayName();
        return GC_ERR_SUCCESS;
    case DEVICE_ID:
    case DEVICE_VENDOR_NAME:
    case DEVICE_MODEL_NAME:
    case DEVICE_SERIAL_NUMBER:
    case DEVICE_USER_ID:
        return ReadSelectedDeviceString(id, value);
    default:
        break;
    }
    if (!IsCommonRegister(INTERFACE_COMMON_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the interface string register to be read");
    return GenTLModule::ReadStringRegister(id, value);
}

GC_ERROR GenTLInterface::WriteUInt32Register(uint32_t id, uint32_t value)
{
    switch (id) {
    case DEVICE_UPDATE_LIST:
        // A failed update leaves the list as it was; the write itself is done.
        RunDeviceDiscovery(true, UpdateTimeoutFromRegister(dev_update_timeout_ms));
        return GC_ERR_SUCCESS;
    case DEVICE_SELECTOR:
        nodemap_dev_sel = value;
        if (value >= devs.NumPublished())
            TL_ASSERT_MSG(false, "nodemap_dev_sel < nr_published_devs");
        return GC_ERR_SUCCESS;
    default:
        break;
    }
    if (!IsCommonRegister(INTERFACE_COMMON_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the interface uint32 register to be written");
    return GenTLModule::WriteUInt32Register(id, value);
}

}  // namespace GenTLCore
