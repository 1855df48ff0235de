// The Tesk3D interface.
#include "gentl_producers/GenTesk3d/GenTLInterfaceTesk.h"

namespace GenTLCore::ZoTL {

GenTLInterfaceTesk::GenTLInterfaceTesk(const SharedPtr<InterfaceTag>& tag) : GenTLInterface(tag) {}

GC_ERROR GenTLInterfaceTesk::DiscoverDevices(std::vector<SharedPtr<DeviceTag>>&, uint64_t)
{
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLLocalDevice> GenTLInterfaceTesk::CreateDevice(const SharedPtr<DeviceTag>&)
{
    return SharedPtr<GenTLLocalDevice>();
}

}  // namespace GenTLCore::ZoTL
