// InterfaceTagTesk.h: the identity of the Tesk3D producer's one interface.
#pragma once

#include <string>

#include "gentl_core/InterfaceTag.h"

namespace GenTLCore::ZoTL {

// Every instance denotes the same interface, which covers every host network
// adapter at once. Holds no data; any thread.
class InterfaceTagTesk : public InterfaceTag {
public:
    // "Interface".
    std::string GetID() const override;
    std::string GetDisplayName() const override;
    // True for any other InterfaceTagTesk; a foreign tag asserts.
    bool IsSameAs(const InterfaceTag& candidate) const override;
    // Never asked: the branding lists no interface keys. Asserts.
    bool MatchesAlternativeID(const std::string& key, const std::string& value) const override;
};

}  // namespace GenTLCore::ZoTL
