// The Tesk3D library's transport-layer hooks.
#include "gentl_producers/GenTesk3d/GenTLLibraryTesk.h"

#include <string>

namespace GenTLCore::ZoTL {
namespace {

// The system module as far as the library needs it: the transport layer's ID.
// TODO: interim; the full sensor-specific system module (GenTLSystemTesk) replaces it.
class MinimalSystemTesk : public GenTLSystem {
public:
    std::string GetID() override { return "Tesk3D_GenTL_1_6"; }
};

}  // namespace

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
    return SharedPtr<GenTLSystem>(new MinimalSystemTesk());
}

}  // namespace GenTLCore::ZoTL
