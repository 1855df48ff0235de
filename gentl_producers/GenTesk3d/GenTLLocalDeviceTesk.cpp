// The Tesk3D local device, before the sensor connection exists.
#include "gentl_producers/GenTesk3d/GenTLLocalDeviceTesk.h"

#include "gentl_core/ErrorHandling.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {

GenTLLocalDeviceTesk::GenTLLocalDeviceTesk(const SharedPtr<DeviceTag>& tag)
    : GenTLLocalDevice(tag), tesk_tag(tag.DynamicCast<DeviceTagTesk>())
{
    TL_ASSERT(tesk_tag);
    if (tesk_tag)
        staged = {tesk_tag->Fields().ip_number, tesk_tag->Fields().netmask,
                  tesk_tag->Fields().gateway};
}

std::string GenTLLocalDeviceTesk::GetUserDefinedName()
{
    ScopedLock lock(handle_lock);
    return tesk_tag ? tesk_tag->Fields().user_string : std::string();
}

SharedPtr<GenTLRemoteDeviceEvent> GenTLLocalDeviceTesk::CreateRemoteDeviceEvent()
{
    return SharedPtr<GenTLRemoteDeviceEvent>();
}

SharedPtr<GenTLRemoteDevice> GenTLLocalDeviceTesk::CreateRemoteDevice()
{
    return SharedPtr<GenTLRemoteDevice>();
}

std::vector<SharedPtr<GenTLDataStream>> GenTLLocalDeviceTesk::CreateDataStreams()
{
    return {};
}

GC_ERROR GenTLLocalDeviceTesk::DoOpenTLSpecific(uint32_t)
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED,
                       "Opening a Tesk3D sensor is not supported yet: " + GetID() +
                           " was found, but this producer cannot connect to it.");
}

bool GenTLLocalDeviceTesk::DoCloseTLSpecific(const DeviceTag*)
{
    return true;
}

GC_ERROR GenTLLocalDeviceTesk::GetTimestampFrequency(uint64_t&)
{
    return ReportError(GC_ERR_NOT_AVAILABLE,
                       "The timestamp frequency is known only once the sensor is open.");
}

GC_ERROR GenTLLocalDeviceTesk::StartDeviceEvents(const SharedPtr<GenTLRemoteDeviceEvent>&)
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED, "A Tesk3D sensor sends no device events.");
}

}  // namespace GenTLCore::ZoTL
