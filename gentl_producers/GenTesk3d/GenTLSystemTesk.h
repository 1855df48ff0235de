// GenTLSystemTesk.h: the Tesk3D producer's system module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/GenTLSystem.h"

namespace GenTLCore::ZoTL {

// Names the transport layer ("Tesk3D_GenTL_1_6") and always discovers
// exactly one interface, a GenTLInterfaceTesk. Lifetime, threads and locking
// as GenTLSystem; holds no data of its own.
class GenTLSystemTesk : public GenTLSystem {
public:
    std::string GetID() override;

protected:
    GC_ERROR DiscoverInterfaces(std::vector<SharedPtr<InterfaceTag>>& cur_itfs,
                                uint64_t timeout_ms) override;
    SharedPtr<GenTLInterface> CreateInterface(const SharedPtr<InterfaceTag>& tag) override;
};

}  // namespace GenTLCore::ZoTL
