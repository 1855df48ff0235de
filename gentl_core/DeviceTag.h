// DeviceTag.h: the identity of one device as discovery reports it.
#pragma once

#include <cstdint>
#include <string>

namespace GenTLCore {

// Implemented by the transport layer. Held by SharedPtr: the discovery result
// holds the candidates, a local device and its remote device the tag they
// were made from.
//
// Threads: read by the modules that hold it, each under its own lock, while
// a list update may run UpdateFrom under the interface's lock; an
// implementation keeps its reads consistent with UpdateFrom.
class DeviceTag {
public:
    DeviceTag() = default;
    DeviceTag(const DeviceTag&) = delete;
    DeviceTag& operator=(const DeviceTag&) = delete;
    virtual ~DeviceTag() = default;

    // Empty makes the candidate unusable.
    virtual std::string GetID() const = 0;
    // Whether `candidate` denotes the device of this (listed) tag; only
    // asked of tags with the candidate's ID, or any tag for a nameless one.
    virtual bool IsSameAs(const DeviceTag& candidate) const = 0;
    virtual std::string GetVendorName() const = 0;
    virtual std::string GetModelName() const = 0;
    virtual std::string GetVersion() const = 0;
    virtual std::string GetSerialNumber() const = 0;
    virtual bool SupportsUserID() const = 0;
    virtual std::string GetUserIDDefault() const = 0;
    virtual std::string GetManufacturerInfo() const = 0;
    virtual uint32_t GetTLVersionMajor() const = 0;
    virtual uint32_t GetTLVersionMinor() const = 0;
    // Access status of a closed device: not accessible, free, free for
    // read-only use.
    virtual bool IsNotAccessible() const = 0;
    virtual bool IsFree() const = 0;
    virtual bool IsFreeReadOnly() const = 0;
    // Takes over what a newer discovery reports about the same device.
    virtual void UpdateFrom(const DeviceTag& newer) = 0;
    virtual bool MatchesAlternativeID(const std::string& key, const std::string& value) const = 0;
};

}  // namespace GenTLCore
