// GenTLSystem.cpp: the system module: TL info, the interface list, and the
// system's registers.
#include "gentl_core/GenTLSystem.h"

#include <atomic>
#include <cstring>

#include "gentl_core/CoreRegisterAccess.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/InfoCommandHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_core/MiscUtils.h"
#include "platform/Assert.h"

namespace GenTLCore {
namespace {

// The framework's own TL info commands.
constexpr TL_INFO_CMD TL_INFO_CORE_NAME = 3300;
constexpr TL_INFO_CMD TL_INFO_CORE_REVISION = 3301;

enum SystemRegister : uint32_t {
    TL_ID = 1001,
    TL_PATH = 1002,
    TL_VENDOR_NAME = 1003,
    TL_MODEL_NAME = 1004,
    TL_FILE_NAME = 1005,
    TL_DISPLAY_NAME = 1006,
    TL_VERSION = 1007,
    GENTL_VERSION_MAJOR = 1008,
    GENTL_VERSION_MINOR = 1009,
    INTERFACE_UPDATE_LIST = 1010,
    NR_INTERFACES = 1011,
    INTERFACE_SELECTOR = 1012,
    INTERFACE_UPDATE_TIMEOUT = 1013,
    INTERFACE_ID = 1014,
    // 1015 to 1020: the registers every module holds.
    TEST_ERROR_EVENT = 1021,
    TEST_NUMBER_IN = 1022,
    TEST_NUMBER = 1023,
    TEST_NUMBER_OUT = 1024,
    TEST_TEXT_IN = 1025,
    TEST_TEXT = 1026,
    TEST_TEXT_OUT = 1027,
    TEST_MODULE_EVENT = 1028,
};

constexpr ModuleRegisterIds SYSTEM_COMMON_IDS{1015, 1016, 1017, 1018, 1019, 1020};

constexpr RegisterDefinition SYSTEM_REGISTERS[] = {
    {TL_ID, REG_TYPE_STRING, 0x0, 512, REG_ACCESS_RO, false},
    {TL_PATH, REG_TYPE_STRING, 0x200, 512, REG_ACCESS_RO, false},
    {TL_VENDOR_NAME, REG_TYPE_STRING, 0x400, 32, REG_ACCESS_RO, false},
    {TL_MODEL_NAME, REG_TYPE_STRING, 0x420, 32, REG_ACCESS_RO, false},
    {TL_FILE_NAME, REG_TYPE_STRING, 0x440, 32, REG_ACCESS_RO, false},
    {TL_DISPLAY_NAME, REG_TYPE_STRING, 0x460, 32, REG_ACCESS_RO, false},
    {TL_VERSION, REG_TYPE_STRING, 0x480, 16, REG_ACCESS_RO, false},
    {GENTL_VERSION_MAJOR, REG_TYPE_UINT32, 0x490, 4, REG_ACCESS_RO, false},
    {GENTL_VERSION_MINOR, REG_TYPE_UINT32, 0x494, 4, REG_ACCESS_RO, false},
    {INTERFACE_UPDATE_LIST, REG_TYPE_UINT32, 0x10000000, 4, REG_ACCESS_WO, false},
    {NR_INTERFACES, REG_TYPE_UINT32, 0x10000004, 4, REG_ACCESS_RO, false},
    {INTERFACE_SELECTOR, REG_TYPE_UINT32, 0x10000008, 4, REG_ACCESS_RW, false},
    {INTERFACE_UPDATE_TIMEOUT, REG_TYPE_UINT32, 0x1000000C, 4, REG_ACCESS_RW, false},
    {INTERFACE_ID, REG_TYPE_STRING, 0x10000010, 128, REG_ACCESS_RO, false},
    {TEST_ERROR_EVENT, REG_TYPE_UINT32, 0xE0000000, 4, REG_ACCESS_WO, false},
    {TEST_NUMBER_IN, REG_TYPE_UINT32, 0xE0000004, 4, REG_ACCESS_WO, false},
    {TEST_NUMBER, REG_TYPE_UINT32, 0xE0000008, 4, REG_ACCESS_RW, false},
    {TEST_NUMBER_OUT, REG_TYPE_UINT32, 0xE000000C, 4, REG_ACCESS_RO, false},
    {TEST_TEXT_IN, REG_TYPE_STRING, 0xE0000020, 32, REG_ACCESS_WO, false},
    {TEST_TEXT, REG_TYPE_STRING, 0xE0000040, 32, REG_ACCESS_RW, false},
    {TEST_TEXT_OUT, REG_TYPE_STRING, 0xE0000060, 32, REG_ACCESS_RO, false},
    {TEST_MODULE_EVENT, REG_TYPE_UINT32, 0xE0000080, 4, REG_ACCESS_WO, false},
};

constexpr uint32_t TEST_MODULE_EVENT_ID = 0x11111101;
constexpr size_t TEST_MODULE_EVENT_SIZE = 4;

constexpr ListTexts INTERFACE_LIST_TEXTS{
    "interface",
    "An interface",
    "GetNumInterfaces: invalid num_interfaces pointer",
    "GetInterfaceID: invalid interface index, exceeding number of interfaces",
    "GetInterfaceInfo: invalid interface ID pointer",
    "GetInterfaceInfo: invalid interface ID, no such interface exists",
    "UpdateInterfaceList: failed to create an interface",
    "nr_published_itfs <= all_itfs.size()",
};

// System objects alive in this process: there must be one only.
std::atomic<int> system_objects{0};

const std::vector<std::string>& AlternativeInterfaceKeys()
{
    // Never destroyed: a consumer thread may still call in while the process exits.
    static const std::vector<std::string>& keys =
        *new std::vector<std::string>(GetBranding().AlternativeInterfaceIDKeys());
    return keys;
}

}  // namespace

GenTLSystem::GenTLSystem()
    : GenTLModule(DescriptionDocument::System, SYSTEM_COMMON_IDS),
      system_id(MakeSystemUniqueString(true)),
      itfs(INTERFACE_LIST_TEXTS)
{
    if (system_objects.fetch_add(1) + 1 != 1)
        TL_ASSERT_MSG(false, "GenTL library object instantiated more than once");
}

GenTLSystem::~GenTLSystem()
{
    TL_ASSERT(!IsOpen());
    TL_ASSERT_MSG(itfs.IsEmpty(), "all_itfs.empty ()");
    system_objects.fetch_sub(1);
}

std::string GenTLSystem::GetID()
{
    return system_id;
}

std::string GenTLSystem::GetUniqueString()
{
    return MakeSystemUniqueString(false);
}

GC_ERROR GenTLSystem::DoClose()
{
    itfs.Clear();
    return GC_ERR_SUCCESS;
}

std::span<const RegisterDefinition> GenTLSystem::GetCoreRegisterTable()
{
    return RegisterTable();
}

std::span<const RegisterDefinition> GenTLSystem::RegisterTable()
{
    return SYSTEM_REGISTERS;
}

const ModuleRegisterIds& GenTLSystem::CommonRegisterIds()
{
    return SYSTEM_COMMON_IDS;
}

void GenTLSystem::BuildEvents()
{
    FinalizeEvents(true, TEST_MODULE_EVENT_SIZE);
}

// ---- TL info ----

GC_ERROR GenTLSystem::GetTLInfo(TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                size_t* size)
{
    ScopedLock lock(handle_lock);
    switch (command) {
    case TL_INFO_ID:
        return CopyInfoString(GetID(), type, buffer, size);
    case TL_INFO_VENDOR:
        return CopyInfoString(GetBranding().VendorName(), type, buffer, size);
    case TL_INFO_MODEL:
        return CopyInfoString(GetBranding().ModelName(), type, buffer, size);
    case TL_INFO_VERSION:
        return CopyInfoString(GetBranding().Version(), type, buffer, size);
    case TL_INFO_TLTYPE:
        return CopyInfoString(GetBranding().TLType(), type, buffer, size);
    case TL_INFO_NAME:
    case TL_INFO_PATHNAME: {
        const std::string path = GetProducerPath();
        const std::string text = command == TL_INFO_NAME ? GetFileNameFromPath(path) : path;
        if (text.empty())
            return ReportError(GC_ERR_ERROR, "Internal error: failed to query the producer path");
        return CopyInfoString(text, type, buffer, size);
    }
    case TL_INFO_DISPLAYNAME:
        return CopyInfoString(GetBranding().DisplayName(), type, buffer, size);
    case TL_INFO_CHAR_ENCODING:
        return CopyInfoInt32(TL_CHAR_ENCODING_UTF8, type, buffer, size);
    case TL_INFO_GENTL_VER_MAJOR:
        return CopyInfoUInt32(1, type, buffer, size);
    case TL_INFO_GENTL_VER_MINOR:
        return CopyInfoUInt32(6, type, buffer, size);
    case TL_INFO_CORE_NAME:
        return CopyInfoString("gentl_core", type, buffer, size);
    case TL_INFO_CORE_REVISION:
        return CopyInfoUInt32(0, type, buffer, size);
    default:
        if (command >= 1000)
            return GetCustomTLInfo(command, type, buffer, size);
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetTLInfo: unknown system info command requested");
    }
}

GC_ERROR GenTLSystem::GetCustomTLInfo(TL_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED, "GetTLInfo: unknown system info command requested");
}

// ---- Interface list ----

GC_ERROR GenTLSystem::GetNumInterfaces(uint32_t* num_interfaces)
{
    ScopedLock lock(handle_lock);
    return itfs.GetNumPublished(num_interfaces);
}

GC_ERROR GenTLSystem::GetInterfaceID(uint32_t index, char* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    return itfs.GetPublishedID(index, buffer, size);
}

GC_ERROR GenTLSystem::GetInterfaceInfo(const char* id, INTERFACE_INFO_CMD command,
                                       INFO_DATATYPE* type, void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    SharedPtr<GenTLInterface> itf;
    const GC_ERROR found = itfs.FindPublished(id, itf);
    if (found != GC_ERR_SUCCESS)
        return found;
    return itf->GetInterfaceInfo(command, type, buffer, size);
}

GC_ERROR GenTLSystem::DiscoverInterfaces(std::vector<SharedPtr<InterfaceTag>>&, uint64_t)
{
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLInterface> GenTLSystem::CreateInterface(const SharedPtr<InterfaceTag>&)
{
    return SharedPtr<GenTLInterface>();
}

ListUpdateSteps<GenTLInterface, InterfaceTag> GenTLSystem::MakeUpdateSteps(uint64_t timeout_ms)
{
    ListUpdateSteps<GenTLInterface, InterfaceTag> steps;
    steps.discover = [this, timeout_ms](std::vector<SharedPtr<InterfaceTag>>& candidates) {
        return DiscoverInterfaces(candidates, timeout_ms);
    };
    steps.create = [this](const SharedPtr<InterfaceTag>& tag) { return CreateInterface(tag); };
    return steps;
}

GC_ERROR GenTLSystem::UpdateInterfaceList(bool publish, uint64_t timeout_ms)
{
    ScopedLock lock(handle_lock);
    return itfs.Update(publish, MakeUpdateSteps(timeout_ms));
}

GC_ERROR GenTLSystem::UpdateInterfaceListReportChange(bool8_t* changed, uint64_t timeout_ms)
{
    ScopedLock lock(handle_lock);
    return itfs.UpdateReportChange(changed, MakeUpdateSteps(timeout_ms));
}

bool GenTLSystem::MatchesOpenID(GenTLInterface& itf, const std::string& id, bool alternative,
                                const std::string& key, const std::string& value)
{
    if (!alternative)
        return itf.GetID() == id;
    return IsKeyListed(AlternativeInterfaceKeys(), key) && itf.MatchesAlternativeID(key, value);
}

GC_ERROR GenTLSystem::ItfOpen(const char* id, SharedPtr<GenTLInterface>& itf_candidate)
{
    ScopedLock lock(handle_lock);
    TL_ASSERT(!itf_candidate);
    if (id == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "ItfOpen: invalid interface ID pointer");
    const std::string requested(id);
    const bool alternative = IsAlternativeID(requested);
    std::string key;
    std::string value;
    if (alternative)
        ParseAlternativeID(requested, key, value);

    SharedPtr<GenTLInterface> found;
    GC_ERROR update_result = GC_ERR_SUCCESS;
    const OpenLookup lookup = itfs.FindForOpen(
        [&](GenTLInterface& itf) { return MatchesOpenID(itf, requested, alternative, key, value); },
        [this] {
            // The one-off update's own failure is not the open's: the
            // lookup after it decides.
            UpdateInterfaceList(false, GetBranding().DefaultDiscoveryTimeout());
            return GC_ERR_SUCCESS;
        },
        found, update_result);
    switch (lookup) {
    case OpenLookup::Found:
        itf_candidate = found;
        return GC_ERR_SUCCESS;
    case OpenLookup::NotAvailable:
        return ReportError(
            GC_ERR_ACCESS_DENIED,
            "ItfOpen: the requested interface exists in the list, but is marked as inaccessible");
    case OpenLookup::NotFound:
    case OpenLookup::UpdateFailed:
        break;
    }
    return ReportError(GC_ERR_INVALID_ID, "ItfOpen: invalid interface ID, no such interface exists");
}

SharedPtr<GenTLInterface> GenTLSystem::GetSelectedInterface()
{
    ScopedLock lock(handle_lock);
    return itfs.Selected(nodemap_itf_sel);
}

// ---- Registers ----

GC_ERROR GenTLSystem::ReadUInt32Register(uint32_t id, uint32_t& value)
{
    switch (id) {
    case GENTL_VERSION_MAJOR:
        value = 1;
        return GC_ERR_SUCCESS;
    case GENTL_VERSION_MINOR:
        value = 6;
        return GC_ERR_SUCCESS;
    case NR_INTERFACES:
        value = itfs.NumPublished();
        return GC_ERR_SUCCESS;
    case INTERFACE_SELECTOR:
        if (!GetSelectedInterface()) TL_ASSERT_MSG(false, "nr_published_itfs > 0");
        value = nodemap_itf_sel;
        return GC_ERR_SUCCESS;
    case INTERFACE_UPDATE_TIMEOUT:
        value = itf_update_timeout_ms;
        return GC_ERR_SUCCESS;
    case TEST_NUMBER:
        value = test_number[0];
        return GC_ERR_SUCCESS;
    case TEST_NUMBER_OUT:
        value = test_number[1];
        return GC_ERR_SUCCESS;
    default:
        break;
    }
    if (!IsCommonRegister(SYSTEM_COMMON_IDS, id))
        return ReportUnknownRegister("Internal error: cannot identify the system uint32 register to be read");
    return GenTLModule::ReadUInt32Register(id, value);
}

GC_ERROR GenTLSystem::ReadSelectedInterfaceID(std::string& value)
{
    const SharedPtr<GenTLInterface> selected = GetSelectedInterface();
    if (!selected)
        TL_ASSERT_MSG(false, "Access to a register depending on an empty interface selector");
    value = selected ? selected->GetID() : std::string();
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLSystem::ReadStringRegister(uint32_t id, std::string& value)
{
    switch (id) {
    case TL_ID:
        value = GetID();
        return GC_ERR_SUCCESS;
    case TL_PATH:
        value = GetProducerPath();
        return GC_ERR_SUCCESS;
    case TL_VENDOR_NAME:
        value = GetBranding().VendorName();
        return GC_ERR_SUCCESS;
    case TL_MODEL_NAME:
        value = GetBranding().ModelName();
        return GC_ERR_SUCCESS;
    case TL_FILE_NAME:
        value = GetFileNameFromPath(GetProducerPath());
        return GC_ERR_SUCCESS;
    case TL_DISPLAY_NAME:
        value = GetBranding().DisplayName();
        return GC_ERR_SUCCESS;
    case TL_VERSION:
        value = GetBranding().Version();
        return GC_ERR_SUCCESS;
    case INTERFACE_ID:
        return ReadSelectedInterfaceID(value);
    case TEST_TEXT:
        value = test_text[0];
        return GC_ERR_SUCCESS;
    case TEST_TEXT_OUT:
        value = test_text[1];
        return GC_ERR_SUCCESS;
    default:
        break;
    }
    if (!IsCommonRegister(SYSTEM_COMMON_IDS, id))
        return ReportUnknownRegister("Internal error: cannot identify the system string register to be read");
    return GenTLModule::ReadStringRegister(id, value);
}

GC_ERROR GenTLSystem::WriteUInt32Register(uint32_t id, uint32_t value)
{
    switch (id) {
    case INTERFACE_UPDATE_LIST:
        // A failed update stays in the list as it was; the write itself is done.
        UpdateInterfaceList(true, UpdateTimeoutFromRegister(itf_update_timeout_ms));
        return GC_ERR_SUCCESS;
    case INTERFACE_SELECTOR:
        nodemap_itf_sel = value;
        // A diagnostic only, safe to ignore with GenTL Validator: the value
        // stands either way.
        TL_ASSERT_MSG(value < itfs.NumPublished(), "nodemap_itf_sel < nr_published_itfs");
        return GC_ERR_SUCCESS;
    case INTERFACE_UPDATE_TIMEOUT:
        itf_update_timeout_ms = value;
        return GC_ERR_SUCCESS;
    case TEST_ERROR_EVENT:
        if (const SharedPtr<GenTLErrorEvent> event = GetErrorEvent())
            event->AddEvent("This is a test event");
        return GC_ERR_SUCCESS;
    case TEST_NUMBER_IN:
        test_number[1] = value;
        return GC_ERR_SUCCESS;
    case TEST_NUMBER:
        test_number[0] = value;
        return GC_ERR_SUCCESS;
    case TEST_MODULE_EVENT: {
        const uint8_t data[TEST_MODULE_EVENT_SIZE] = {
            static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
        if (const SharedPtr<GenTLModuleEvent> event = GetModuleEvent())
            event->AddEvent(TEST_MODULE_EVENT_ID, data, sizeof data);
        return GC_ERR_SUCCESS;
    }
    default:
        break;
    }
    if (!IsCommonRegister(SYSTEM_COMMON_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the system uint32 register to be written");
    return GenTLModule::WriteUInt32Register(id, value);
}

GC_ERROR GenTLSystem::WriteStringRegister(uint32_t id, const std::string& value)
{
    switch (id) {
    case TEST_TEXT_IN:
        test_text[1] = value;
        return GC_ERR_SUCCESS;
    case TEST_TEXT:
        test_text[0] = value;
        return GC_ERR_SUCCESS;
    default:
        return ReportUnknownRegister(
            "Internal error: cannot identify the system string register to be written");
    }
}

}  // namespace GenTLCore
