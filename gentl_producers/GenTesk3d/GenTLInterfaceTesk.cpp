// The Tesk3D interface: discovery, the direct probe and the network registers.
#include "gentl_producers/GenTesk3d/GenTLInterfaceTesk.h"

#include <cctype>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_producers/GenTesk3d/CVEXO.h"
#include "gentl_producers/GenTesk3d/DeviceTagTesk.h"
#include "gentl_producers/GenTesk3d/GenTLLocalDeviceTesk.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {

GenTLInterfaceTesk::GenTLInterfaceTesk(const SharedPtr<InterfaceTag>& tag) : GenTLInterface(tag) {}

// A port that could not be opened fails the update: an empty list would say
// that no sensor is there.
GC_ERROR GenTLInterfaceTesk::DiscoverDevices(std::vector<SharedPtr<DeviceTag>>& cur_devs,
                                             uint64_t)
{
    TL_ASSERT(cur_devs.empty());
    cur_devs.clear();
    UdpDiscoveryTransport transport;
    CVEXO vexo(transport);
    const std::map<std::string, std::string> replies = vexo.Scan();
    const std::string port = std::to_string(DISCOVERY_LOCAL_PORT);
    if (vexo.PortResult() == PortOpen::Busy)
        return ReportError(GC_ERR_RESOURCE_IN_USE, "Device discovery could not use UDP port " +
                                                       port + ": another process kept it for " +
                                                       std::to_string(CVEXO::TOTAL_LIMIT_MS) +
                                                       " ms.");
    if (vexo.PortResult() == PortOpen::Failed)
        return ReportError(GC_ERR_IO, "Device discovery could not open UDP port " + port +
                                          ", error " + std::to_string(vexo.PortError()) + ".");
    for (const auto& [address, reply] : replies) {
        std::string rejection;
        const SharedPtr<DeviceTag> tag = DeviceTagTesk::FromReply(reply, vexo.Adapters(), rejection);
        if (!tag) {
            TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_DEBUG) << rejection;
            continue;
        }
        const DeviceTagFields& fields = tag.DynamicCast<DeviceTagTesk>()->Fields();
        const std::string name = fields.model + "_" + fields.ip;
        TL_LOG(LOG_CATEGORY_INTERFACE, LOG_LEVEL_DEBUG)
            << name << (fields.in_subnet ? " | device in subnet" : " | device NOT in subnet");
        if (fields.in_subnet)
            TL_LOG(LOG_CATEGORY_INTERFACE, LOG_LEVEL_DEBUG)
                << name << (fields.in_use ? ": device in use" : ": device NOT InUse");
        TL_LOG(LOG_CATEGORY_INTERFACE, LOG_LEVEL_DEBUG)
            << "--------------------------------------------";
        cur_devs.push_back(tag);
    }
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLInterfaceTesk::ProbeSpecificDevice(const std::string& key, const std::string& value,
                                                 SharedPtr<DeviceTag>& tag)
{
    std::string lower;
    for (const char c : key)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != "ip")
        return ReportError(GC_ERR_INVALID_PARAMETER, "Unsupported probe key: " + key);
    tag = DeviceTagTesk::ForProbe(value);
    if (!tag)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "The probed address is not a dotted IPv4 address: " + value);
    TL_LOG(LOG_CATEGORY_INTERFACE, LOG_LEVEL_DEBUG)
        << "ProbeSpecificDevice: created direct-probe device for IP " << value;
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLLocalDevice> GenTLInterfaceTesk::CreateDevice(const SharedPtr<DeviceTag>& tag)
{
    if (!TL_ASSERT_MSG(tag.DynamicCast<DeviceTagTesk>(), "DynamicPointerCast<DeviceTagTesk>(tag)"))
        return SharedPtr<GenTLLocalDevice>();
    return SharedPtr<GenTLLocalDevice>(new GenTLLocalDeviceTesk(tag));
}

// ---- Registers ----

void GenTLInterfaceTesk::DefineCustomRegisters()
{
    AddRegisters(INTERFACE_CUSTOM_REGISTERS);
}

GC_ERROR GenTLInterfaceTesk::SelectedTeskDevice(SharedPtr<GenTLLocalDeviceTesk>& dev)
{
    uint32_t count = 0;
    if (GetNumDevices(&count) == GC_ERR_SUCCESS && count > 0)
        dev = GetSelectedDevice().DynamicCast<GenTLLocalDeviceTesk>();
    if (!dev)
        return ReportError(GC_ERR_ERROR, "Invalid Device");
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLInterfaceTesk::ReadUInt32CustomRegister(uint32_t id, uint32_t& value)
{
    SharedPtr<GenTLLocalDeviceTesk> dev;
    const GC_ERROR selected = SelectedTeskDevice(dev);
    if (selected != GC_ERR_SUCCESS)
        return selected;
    ScopedLock lock(dev->GetHandleLock());
    const DeviceTagFields& fields = dev->Tag().Fields();
    switch (id) {
    case DEVICE_IP_ADDRESS:
        value = fields.ip_number;
        return GC_ERR_SUCCESS;
    case DEVICE_SUBNET_MASK:
        value = fields.netmask;
        return GC_ERR_SUCCESS;
    case DEVICE_GATEWAY:
        value = fields.gateway;
        return GC_ERR_SUCCESS;
    case DEVICE_FORCE_IP:
        // A command register: reads as done, so a GenApi "is done" check ends.
        value = 0;
        return GC_ERR_SUCCESS;
    case DEVICE_FORCE_IP_ADDRESS:
        value = dev->Staged().ip;
        return GC_ERR_SUCCESS;
    case DEVICE_FORCE_SUBNET_MASK:
        value = dev->Staged().netmask;
        return GC_ERR_SUCCESS;
    case DEVICE_FORCE_GATEWAY:
        value = dev->Staged().gateway;
        return GC_ERR_SUCCESS;
    default:
        TL_ASSERT_MSG(false, "Unknown custom register");
        return ReportError(GC_ERR_ERROR,
                           "Internal error: cannot identify the interface custom uint32 register to be read");
    }
}

GC_ERROR GenTLInterfaceTesk::ReadUInt64CustomRegister(uint32_t id, uint64_t& value)
{
    SharedPtr<GenTLLocalDeviceTesk> dev;
    const GC_ERROR selected = SelectedTeskDevice(dev);
    if (selected != GC_ERR_SUCCESS)
        return selected;
    if (!TL_ASSERT_MSG(id == DEVICE_MAC_ADDRESS, "Unknown custom register"))
        return ReportError(GC_ERR_ERROR,
                           "Internal error: cannot identify the interface custom uint64 register to be read");
    ScopedLock lock(dev->GetHandleLock());
    value = dev->Tag().Fields().mac;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLInterfaceTesk::ReadStringCustomRegister(uint32_t, std::string&)
{
    TL_ASSERT_MSG(false, "Unknown custom register");
    return ReportError(GC_ERR_ERROR,
                       "Internal error: cannot identify the interface custom string register to be read");
}

// Writes to the read-out registers 12001-12003 refuse with the error the
// consumer can act on; nothing asserts, since a consumer can reach them.
GC_ERROR GenTLInterfaceTesk::WriteUInt32CustomRegister(uint32_t id, uint32_t value)
{
    SharedPtr<GenTLLocalDeviceTesk> dev;
    const GC_ERROR selected = SelectedTeskDevice(dev);
    if (selected != GC_ERR_SUCCESS)
        return selected;
    ScopedLock lock(dev->GetHandleLock());
    switch (id) {
    case DEVICE_FORCE_IP:
        return ApplyStagedNetwork(*dev);
    case DEVICE_FORCE_IP_ADDRESS:
        dev->Staged().ip = value;
        return GC_ERR_SUCCESS;
    case DEVICE_FORCE_SUBNET_MASK:
        dev->Staged().netmask = value;
        return GC_ERR_SUCCESS;
    case DEVICE_FORCE_GATEWAY:
        dev->Staged().gateway = value;
        return GC_ERR_SUCCESS;
    default:
        return ReportError(GC_ERR_ERROR,
                           "Internal error: cannot identify the interface custom uint32 register to be written");
    }
}

// The tag takes the new settings only once the sensor confirmed them.
GC_ERROR GenTLInterfaceTesk::ApplyStagedNetwork(GenTLLocalDeviceTesk& dev)
{
    const GenTLLocalDeviceTesk::NetworkSettings staged = dev.Staged();
    UdpDiscoveryTransport transport;
    CVEXO vexo(transport);
    if (!vexo.SetNetwork(FormatMAC(dev.Tag().Fields().mac), FormatIPv4(staged.ip),
                         FormatIPv4(staged.netmask), FormatIPv4(staged.gateway)))
        return ReportError(GC_ERR_ERROR, "Setting Network Config failed");
    dev.Tag().ApplyNetwork(staged.ip, staged.netmask, staged.gateway);
    return GC_ERR_SUCCESS;
}

}  // namespace GenTLCore::ZoTL
