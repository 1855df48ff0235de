// The Tesk3D interface's identity.
#include "gentl_producers/GenTesk3d/InterfaceTagTesk.h"

#include "platform/Assert.h"

namespace GenTLCore::ZoTL {

std::string InterfaceTagTesk::GetID() const
{
    return "Interface";
}

std::string InterfaceTagTesk::GetDisplayName() const
{
    return "Tesk3D GenTL Interface";
}

bool InterfaceTagTesk::IsSameAs(const InterfaceTag& candidate) const
{
    if (dynamic_cast<const InterfaceTagTesk*>(&candidate) != nullptr)
        return true;
    TL_ASSERT_MSG(false, "Comparing interfaces using invalid interface tag");
    return false;
}

bool InterfaceTagTesk::MatchesAlternativeID(const std::string&, const std::string&) const
{
    TL_ASSERT_MSG(false, "Unexpected interface alternative ID key");
    return false;
}

}  // namespace GenTLCore::ZoTL
