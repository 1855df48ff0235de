// DeviceTagTesk.h: the identity of one sensor, built from its discovery
// reply or from an address the consumer named.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gentl_core/DeviceTag.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_producers/GenTesk3d/network_interfaces.h"

namespace GenTLCore::ZoTL {

struct DeviceTagFields {
    std::string ip;
    std::string model;  // ARTICLENUMBER
    std::string serial;
    std::string user_string;
    uint64_t mac = 0;
    uint32_t ip_number = 0;
    uint32_t netmask = 0;
    uint32_t gateway = 0;
    // A probed device counts as reachable: the consumer named its address.
    bool in_subnet = true;
    bool in_use = false;
};

// The attributes of a reply, key (as in " IPADDR=") to value; the first
// occurrence of a key wins.
std::map<std::string, std::string> ParseReplyAttributes(const std::string& reply);

// Held by SharedPtr in the interface's list and by the local device made
// from it. Changed only by UpdateFrom and ApplyNetwork, both called under the
// owning local device's handle lock, under which every read happens too.
class DeviceTagTesk : public DeviceTag {
public:
    explicit DeviceTagTesk(const DeviceTagFields& fields) : fields(fields) {}

    // A tag for an acceptable reply; else empty, with the reason in `rejection`.
    static SharedPtr<DeviceTag> FromReply(const std::string& reply,
                                          const std::vector<NetworkAdapter>& adapters,
                                          std::string& rejection);
    // A tag for the dotted address `ip`; empty when it does not parse.
    static SharedPtr<DeviceTag> ForProbe(const std::string& ip);

    // Model "_" serial; "_" and the address when both are empty.
    std::string GetID() const override;
    // Model and serial compared separately; two tags without either (probed)
    // are the same only when their addresses are.
    bool IsSameAs(const DeviceTag& candidate) const override;
    std::string GetVendorName() const override;
    std::string GetModelName() const override { return fields.model; }
    std::string GetVersion() const override { return "1.0"; }
    std::string GetSerialNumber() const override { return fields.serial; }
    bool SupportsUserID() const override { return true; }
    std::string GetUserIDDefault() const override { return "user ID"; }
    std::string GetManufacturerInfo() const override { return "dorvane VOR GmbH"; }
    uint32_t GetTLVersionMajor() const override { return 0; }
    uint32_t GetTLVersionMinor() const override { return 0; }
    bool IsNotAccessible() const override { return !fields.in_subnet; }
    bool IsFree() const override { return !fields.in_use; }
    bool IsFreeReadOnly() const override { return !fields.in_use; }
    void UpdateFrom(const DeviceTag& newer) override;
    bool MatchesAlternativeID(const std::string& key, const std::string& value) const override;

    const DeviceTagFields& Fields() const { return fields; }
    // After the sensor confirmed new settings.
    void ApplyNetwork(uint32_t ip_number, uint32_t netmask, uint32_t gateway);

private:
    DeviceTagFields fields;
};

}  // namespace GenTLCore::ZoTL
