// InterfaceTag.h: the identity of one interface as discovery reports it.
#pragma once

#include <string>

namespace GenTLCore {

// Implemented by the transport layer. Held by SharedPtr: the discovery result
// holds the candidates, an interface module the tag it was made from (never
// replaced).
//
// Threads: asked by the system's list update and lookups under the system's
// lock and the interface's lock; an implementation answers the same every
// time.
class InterfaceTag {
public:
    InterfaceTag() = default;
    InterfaceTag(const InterfaceTag&) = delete;
    InterfaceTag& operator=(const InterfaceTag&) = delete;
    virtual ~InterfaceTag() = default;

    // Empty makes the candidate unusable; the interface's ID is built from it.
    virtual std::string GetID() const = 0;
    virtual std::string GetDisplayName() const = 0;
    // Whether `candidate` denotes the interface of this (listed) tag; only
    // asked of tags with the candidate's ID, or any tag for a nameless one.
    virtual bool IsSameAs(const InterfaceTag& candidate) const = 0;
    // Asked only for a key the branding's AlternativeInterfaceIDKeys lists.
    virtual bool MatchesAlternativeID(const std::string& key, const std::string& value) const = 0;
};

}  // namespace GenTLCore
