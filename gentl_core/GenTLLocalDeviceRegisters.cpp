// GenTLLocalDeviceRegisters.cpp: the local device's registers and the
// configuration of its event thread.
#include "gentl_core/CoreRegisterAccess.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLLocalDevice.h"
#include "gentl_core/Logger.h"
#include "gentl_core/PublishedList.h"
#include "platform/Assert.h"

namespace GenTLCore {
namespace {

enum LocalDeviceRegister : uint32_t {
    DEVICE_ID = 3001,
    DEVICE_SERIAL_NUMBER = 3002,
    DEVICE_USER_ID = 3003,
    DEVICE_VENDOR_NAME = 3004,
    DEVICE_MODEL_NAME = 3005,
    DEVICE_VERSION = 3006,
    DEVICE_MANUFACTURER_INFO = 3007,
    DEVICE_DISPLAY_NAME = 3008,
    DEVICE_ACCESS_STATUS = 3009,
    DEVICE_USER_ID_AVAILABLE = 3010,
    NR_STREAMS = 3011,
    STREAM_SELECTOR = 3012,
    STREAM_ID = 3013,
    EVENT_ENGINE_CONTROL = 3014,
    EVENT_THREAD_POLICY_IMPLEMENTED = 3015,
    EVENT_THREAD_POLICY = 3016,
    EVENT_THREAD_PRIORITY = 3017,
    EVENT_THREAD_APPLY_PRIORITY = 3018,
    // 3019 to 3024: the registers every module holds.
};

constexpr RegisterDefinition LOCAL_DEVICE_REGISTERS[] = {
    {DEVICE_ID, REG_TYPE_STRING, 0x0, 128, REG_ACCESS_RO, false},
    {DEVICE_SERIAL_NUMBER, REG_TYPE_STRING, 0x80, 64, REG_ACCESS_RO, false},
    {DEVICE_USER_ID, REG_TYPE_STRING, 0xC0, 64, REG_ACCESS_RO, false},
    {DEVICE_VENDOR_NAME, REG_TYPE_STRING, 0x100, 64, REG_ACCESS_RO, false},
    {DEVICE_MODEL_NAME, REG_TYPE_STRING, 0x140, 64, REG_ACCESS_RO, false},
    {DEVICE_VERSION, REG_TYPE_STRING, 0x180, 64, REG_ACCESS_RO, false},
    {DEVICE_MANUFACTURER_INFO, REG_TYPE_STRING, 0x1C0, 64, REG_ACCESS_RO, false},
    {DEVICE_DISPLAY_NAME, REG_TYPE_STRING, 0x200, 128, REG_ACCESS_RO, false},
    {DEVICE_ACCESS_STATUS, REG_TYPE_UINT32, 0x280, 4, REG_ACCESS_RO, false},
    {DEVICE_USER_ID_AVAILABLE, REG_TYPE_UINT32, 0x284, 4, REG_ACCESS_RO, false},
    {NR_STREAMS, REG_TYPE_UINT32, 0x10000000, 4, REG_ACCESS_RO, false},
    {STREAM_SELECTOR, REG_TYPE_UINT32, 0x10000004, 4, REG_ACCESS_RW, false},
    {STREAM_ID, REG_TYPE_STRING, 0x10000010, 128, REG_ACCESS_RO, false},
    {EVENT_ENGINE_CONTROL, REG_TYPE_UINT32, 0x20000000, 4, REG_ACCESS_RO, false},
    {EVENT_THREAD_POLICY_IMPLEMENTED, REG_TYPE_UINT32, 0x20000004, 4, REG_ACCESS_RO, false},
    {EVENT_THREAD_POLICY, REG_TYPE_INT32, 0x20000008, 4, REG_ACCESS_RW, false},
    {EVENT_THREAD_PRIORITY, REG_TYPE_INT32, 0x2000000C, 4, REG_ACCESS_RW, false},
    {EVENT_THREAD_APPLY_PRIORITY, REG_TYPE_UINT32, 0x20000010, 4, REG_ACCESS_WO, false},
};

}  // namespace

std::span<const RegisterDefinition> GenTLLocalDevice::GetCoreRegisterTable()
{
    return RegisterTable();
}

std::span<const RegisterDefinition> GenTLLocalDevice::RegisterTable()
{
    return LOCAL_DEVICE_REGISTERS;
}

const ModuleRegisterIds& GenTLLocalDevice::CommonRegisterIds()
{
    return LOCAL_DEVICE_COMMON_IDS;
}


bool GenTLLocalDevice::SetEventThreadPriority(int32_t, int32_t)
{
    TL_ASSERT_MSG(false, "SetEventThreadPriority not implemented by the transport layer");
    return false;
}

bool GenTLLocalDevice::GetEventThreadPriority(int32_t&, int32_t&)
{
    TL_ASSERT_MSG(false, "GetEventThreadPriority not implemented by the transport layer");
    return false;
}

void GenTLLocalDevice::ConfigureEventThread()
{
    ScopedLock lock(handle_lock);
    if (!GetBranding().EventsEngineControlFeatures() || !HasEventInterface())
        return;
    if (evt_thread_priority == THREAD_PRIORITY_UNSET) {
        int32_t policy = 0;
        int32_t priority = 0;
        if (GetEventThreadPriority(policy, priority) && evt_thread_priority == THREAD_PRIORITY_UNSET)
            evt_thread_priority = priority;
    }
    if (!SetEventThreadPriority(evt_thread_policy, evt_thread_priority))
        TL_LOG(LOG_CATEGORY_EVENT, LOG_LEVEL_ERROR)
            << "Failed to configure thread priority parameters";
}

bool GenTLLocalDevice::CleanupCoreRegisterStreaming()
{
    ConfigureEventThread();
    return true;
}

// ---- Registers ----

GC_ERROR GenTLLocalDevice::ReadUInt32Register(uint32_t id, uint32_t& value)
{
    switch (id) {
    case DEVICE_ACCESS_STATUS: {
        const int32_t status = GetAccessStatus();
        value = status == DEVICE_ACCESS_STATUS_OPEN_READWRITE ||
                        status == DEVICE_ACCESS_STATUS_OPEN_READONLY
                    ? static_cast<uint32_t>(status)
                    : 0;
        return GC_ERR_SUCCESS;
    }
    case DEVICE_USER_ID_AVAILABLE:
        value = SupportsUserID() ? 1 : 0;
        return GC_ERR_SUCCESS;
    case NR_STREAMS:
        value = static_cast<uint32_t>(all_stms.size());
        return GC_ERR_SUCCESS;
    case STREAM_SELECTOR:
        value = ClampSelector(nodemap_stm_sel, all_stms.size());
        return GC_ERR_SUCCESS;
    case EVENT_ENGINE_CONTROL:
        value = GetBranding().EventsEngineControlFeatures() && HasEventInterface() ? 1 : 0;
        return GC_ERR_SUCCESS;
    case EVENT_THREAD_POLICY_IMPLEMENTED:
        value = 0;
        return GC_ERR_SUCCESS;
    default:
        break;
    }
    if (!IsCommonRegister(LOCAL_DEVICE_COMMON_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the local device uint32 register to be read");
    return GenTLModule::ReadUInt32Register(id, value);
}

GC_ERROR GenTLLocalDevice::ReadInt32Register(uint32_t id, int32_t& value)
{
    if (id != EVENT_THREAD_POLICY && id != EVENT_THREAD_PRIORITY)
        return ReportUnknownRegister(
            "Internal error: cannot identify the local device int32 register to be read");
    int32_t policy = 0;
    int32_t priority = 0;
    if (GetEventThreadPriority(policy, priority)) {
        if (id == EVENT_THREAD_POLICY)
            evt_thread_policy = policy;
        else
            evt_thread_priority = priority;
    } else {
        TL_LOG(LOG_CATEGORY_EVENT, LOG_LEVEL_ERROR) << "Failed to query thread priority parameters";
    }
    value = id == EVENT_THREAD_POLICY ? evt_thread_policy : evt_thread_priority;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLLocalDevice::ReadSelectedStreamID(std::string& value)
{
    value.clear();
    if (!all_stms.empty())
        value = all_stms[ClampSelector(nodemap_stm_sel, all_stms.size())]->GetID();
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLLocalDevice::ReadStringRegister(uint32_t id, std::string& value)
{
    switch (id) {
    case DEVICE_ID:
        value = device_id;
        return GC_ERR_SUCCESS;
    case DEVICE_SERIAL_NUMBER:
        value = GetSerialNumber();
        return GC_ERR_SUCCESS;
    case DEVICE_USER_ID:
        value = GetUserDefinedName();
        return GC_ERR_SUCCESS;
    case DEVICE_VENDOR_NAME:
        value = GetVendorName();
        return GC_ERR_SUCCESS;
    case DEVICE_MODEL_NAME:
        value = GetModelName();
        return GC_ERR_SUCCESS;
    case DEVICE_VERSION:
        value = GetVersion();
        return GC_ERR_SUCCESS;
    case DEVICE_MANUFACTURER_INFO:
        value = GetManufacturerInfo();
        return GC_ERR_SUCCESS;
    case DEVICE_DISPLAY_NAME:
        value = GetDisplayName();
        return GC_ERR_SUCCESS;
    case STREAM_ID:
        return ReadSelectedStreamID(value);
    default:
        break;
    }
    if (!IsCommonRegister(LOCAL_DEVICE_COMMON_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the local device string register to be read");
    return GenTLModule::ReadStringRegister(id, value);
}

GC_ERROR GenTLLocalDevice::WriteUInt32Register(uint32_t id, uint32_t value)
{
    switch (id) {
    case STREAM_SELECTOR:
        nodemap_stm_sel = value;
        return GC_ERR_SUCCESS;
    case EVENT_THREAD_APPLY_PRIORITY:
        ConfigureEventThread();
        return GC_ERR_SUCCESS;
    default:
        break;
    }
    if (!IsCommonRegister(LOCAL_DEVICE_COMMON_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the local device uint32 register to be written");
    return GenTLModule::WriteUInt32Register(id, value);
}

GC_ERROR GenTLLocalDevice::WriteInt32Register(uint32_t id, int32_t value)
{
    switch (id) {
    case EVENT_THREAD_POLICY:
        evt_thread_policy = value;
        return GC_ERR_SUCCESS;
    case EVENT_THREAD_PRIORITY:
        evt_thread_priority = value;
        return GC_ERR_SUCCESS;
    default:
        return ReportUnknownRegister(
            "Internal error: cannot identify the local device int32 register to be written");
    }
}

}  // namespace GenTLCore
