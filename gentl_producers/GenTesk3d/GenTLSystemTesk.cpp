// The Tesk3D system: one interface over every host network adapter.
#include "gentl_producers/GenTesk3d/GenTLSystemTesk.h"

#include "gentl_producers/GenTesk3d/GenTLInterfaceTesk.h"
#include "gentl_producers/GenTesk3d/InterfaceTagTesk.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {

std::string GenTLSystemTesk::GetID()
{
    return "Tesk3D_GenTL_1_6";
}

GC_ERROR GenTLSystemTesk::DiscoverInterfaces(std::vector<SharedPtr<InterfaceTag>>& cur_itfs,
                                             uint64_t)
{
    TL_ASSERT(cur_itfs.empty());
    cur_itfs.clear();
    cur_itfs.push_back(SharedPtr<InterfaceTag>(new InterfaceTagTesk()));
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLInterface> GenTLSystemTesk::CreateInterface(const SharedPtr<InterfaceTag>& tag)
{
    TL_ASSERT_MSG(tag.DynamicCast<InterfaceTagTesk>(), "DynamicPointerCast<InterfaceTagTesk>(tag)");
    return SharedPtr<GenTLInterface>(new GenTLInterfaceTesk(tag));
}

}  // namespace GenTLCore::ZoTL
