// The Tesk3D library's transport-layer hooks.
#include "gentl_producers/GenTesk3d/GenTLLibraryTesk.h"

#include "gentl_producers/GenTesk3d/GenTLSystemTesk.h"

namespace GenTLCore::ZoTL {

bool GenTLLibraryTesk::RequiresGlobalLock()
{
    return false;
}

bool GenTLLibraryTesk::InitTLInfrastructure()
{
    return true;
}

bool GenTLLibraryTesk::CloseTLInfrastructure()
{
    return true;
}

void GenTLLibraryTesk::OnInitialize() {}

SharedPtr<GenTLSystem> GenTLLibraryTesk::CreateSystem()
{
    return SharedPtr<GenTLSystem>(new GenTLSystemTesk());
}

}  // namespace GenTLCore::ZoTL
