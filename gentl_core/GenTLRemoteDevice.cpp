// GenTLRemoteDevice.cpp: the remote device's port, virtual and genuine.
#include "gentl_core/GenTLRemoteDevice.h"

#include <utility>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/Logger.h"
#include "gentl_core/MiscUtils.h"
#include "platform/Assert.h"

namespace GenTLCore {

namespace {

// The tag's answer, or empty text for a remote device made without a tag.
std::string TagText(const SharedPtr<DeviceTag>& tag, std::string (DeviceTag::*text)() const)
{
    return tag ? ((*tag).*text)() : std::string();
}

std::string DeviceUniqueString(const SharedPtr<DeviceTag>& tag)
{
    return MakeDeviceUniqueString(TagText(tag, &DeviceTag::GetID),
                                  TagText(tag, &DeviceTag::GetVendorName),
                                  TagText(tag, &DeviceTag::GetModelName));
}

}  // namespace

// --- Remote device ----------------------------------------------------------------

GenTLRemoteDevice::GenTLRemoteDevice(const SharedPtr<DeviceTag>& dev_tag)
    : dev_tag(dev_tag), remote_id(DeviceUniqueString(dev_tag))
{
    if (!TL_ASSERT(dev_tag)) {
        TL_LOG(LOG_CATEGORY_ASSERT, LOG_LEVEL_INFO)
            << "Remote device not fully constructed due to an internal error.";
        SetNotAvailable();
    }
}

GenTLRemoteDevice::~GenTLRemoteDevice()
{
    (void)TL_ASSERT(!IsOpen());
}

std::string GenTLRemoteDevice::GetID()
{
    return remote_id;
}

std::string GenTLRemoteDevice::GetUniqueString()
{
    return MakeRemoteDeviceUniqueString(TagText(dev_tag, &DeviceTag::GetID));
}

GC_ERROR GenTLRemoteDevice::DoGetPortInfo(PORT_INFO_CMD info_cmd, INFO_DATATYPE* type, void* buffer,
                                          size_t* size)
{
    const bool not_available = IsNotAvailable();
    PortInfo info;
    info.id = GetID();
    info.vendor = TagText(dev_tag, &DeviceTag::GetVendorName);
    info.model = TagText(dev_tag, &DeviceTag::GetModelName);
    info.tl_type = GetBranding().TLType();
    info.module = "Device";
    info.version = TagText(dev_tag, &DeviceTag::GetVersion);
    info.port_name = "Device";
    info.little_endian = IsLittleEndian();
    info.access_read = !not_available;
    info.access_write = !not_available && IsWritable();
    info.access_na = not_available;
    return CopyPortInfo(info, info_cmd, type, buffer, size,
                        "GetPortInfo: unknown port info command requested for remote device");
}

// --- Virtual remote device --------------------------------------------------------

GenTLVirtualRemoteDevice::GenTLVirtualRemoteDevice(const SharedPtr<DeviceTag>& dev_tag)
    : GenTLRemoteDevice(dev_tag)
{
}

GC_ERROR GenTLVirtualRemoteDevice::DoReadPort(uint64_t address, void* buffer, size_t* size)
{
    return ReadFromRegMap(address, buffer, *size);
}

GC_ERROR GenTLVirtualRemoteDevice::DoWritePort(uint64_t address, const void* data, size_t* size)
{
    return WriteToRegMap(address, data, *size);
}

void GenTLVirtualRemoteDevice::FinalizeConstruction()
{
    AddStringRegister(DESCRIPTION_REGISTER_ADDRESS,
                      GetDescriptionText(DescriptionDocument::RemoteDevice).size(), REG_ACCESS_RO,
                      REMOTE_DEVICE_DESCRIPTION_REGID);
    AddCustomRegisters();
    FinalizeRegMap();
    SetPortURLs({MakeDescriptionURLEntry(DescriptionDocument::RemoteDevice)});
}

GC_ERROR GenTLVirtualRemoteDevice::ReadStringRegister(uint32_t id, std::string& value)
{
    if (!TL_ASSERT_MSG(id == REMOTE_DEVICE_DESCRIPTION_REGID, "Unknown register"))
        return ReportError(GC_ERR_ERROR,
                           "Internal error: cannot identify the remote device string register to "
                           "be read");
    value = GetDescriptionText(DescriptionDocument::RemoteDevice);
    return GC_ERR_SUCCESS;
}

// --- Genuine remote device --------------------------------------------------------

GenTLGenuineRemoteDevice::GenTLGenuineRemoteDevice(const SharedPtr<DeviceTag>& dev_tag)
    : GenTLRemoteDevice(dev_tag)
{
}

GC_ERROR GenTLGenuineRemoteDevice::DoReadPort(uint64_t address, void* buffer, size_t* size)
{
    return ReadDeviceMemory(address, buffer, size);
}

GC_ERROR GenTLGenuineRemoteDevice::DoWritePort(uint64_t address, const void* data, size_t* size)
{
    return WriteDeviceMemory(address, data, size);
}

void GenTLGenuineRemoteDevice::FinalizeConstruction()
{
    std::vector<PortURLEntry> rmt_urls;
    GetManifestTable(rmt_urls);
    if (!TL_ASSERT_MSG(!rmt_urls.empty(), "!rmt_urls.empty ()"))
        TL_LOG(LOG_CATEGORY_ASSERT, LOG_LEVEL_INFO)
            << "Remote device manifest table is reported empty ";
    SetPortURLs(std::move(rmt_urls));
}

}  // namespace GenTLCore
