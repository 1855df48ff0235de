// GenTLLibraryTesk.h: the Tesk3D producer's library object.
#pragma once

#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/SmartPointers.h"

namespace GenTLCore::ZoTL {

// The library of the Tesk3D transport layer: no cross-process lock, no
// infrastructure to start or stop; it creates the one system module.
//
// Lifetime: created once at load by the configuration's library factory; see
// GenTLLibrary. Holds no data of its own.
class GenTLLibraryTesk : public GenTLLibrary {
protected:
    bool RequiresGlobalLock() override;
    bool InitTLInfrastructure() override;
    bool CloseTLInfrastructure() override;
    void OnInitialize() override;
    SharedPtr<GenTLSystem> CreateSystem() override;
};

}  // namespace GenTLCore::ZoTL
