// network_interfaces.h: the host's wired adapters that are up, and the
// conversions between dotted IPv4 text, MAC text and numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/HostNetwork.h"

namespace GenTLCore::ZoTL {

// Addresses are 32-bit numbers with the first octet most significant.
struct AdapterAddress {
    uint32_t address = 0;
    uint32_t netmask = 0;
    uint32_t broadcast = 0;  // (address & netmask) | ~netmask
};

struct NetworkAdapter {
    uint32_t gateway = 0;
    uint8_t mac[8] = {};  // the first 6 are the MAC
    std::string friendly_name;
    std::vector<AdapterAddress> addresses;

    std::string MacText() const;  // upper case, for the log
};

// The source of an adapter list; a test supplies its own.
class inetwork_config {
public:
    virtual ~inetwork_config() = default;
    virtual std::vector<NetworkAdapter> GetAdapters() const = 0;
};

// A snapshot of the qualifying adapters: Ethernet link layer, not wireless,
// not loopback, up and running. One that is up without an IPv4 address is
// listed with the single address 0.0.0.0/0.0.0.0.
class network_config : public inetwork_config {
public:
    // Snapshot of the calling thread's network namespace.
    network_config();
    explicit network_config(const std::vector<Platform::HostAdapter>& host);
    std::vector<NetworkAdapter> GetAdapters() const override { return adapters; }

private:
    std::vector<NetworkAdapter> adapters;
};

// Strict: four decimal octets 0-255 without sign or blank; false otherwise.
bool ParseIPv4(const std::string& text, uint32_t& value);
std::string FormatIPv4(uint32_t value);
// Strict: six hexadecimal octets of one or two digits separated by ":".
bool ParseMAC(const std::string& text, uint64_t& value);
// Lower case, two digits per octet: 00:1a:2b:3c:4d:5e.
std::string FormatMAC(uint64_t value);
std::string AddressToText(uint32_t value);
// Each side masked with its own netmask; false when any text does not parse.
bool IsSameSubnet(const std::string& address_a, const std::string& mask_a,
                  const std::string& address_b, const std::string& mask_b);
bool IsInHostSubnet(const std::string& address, const std::string& netmask,
                    const std::vector<NetworkAdapter>& adapters);

}  // namespace GenTLCore::ZoTL
