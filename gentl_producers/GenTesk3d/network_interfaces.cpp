// Host adapters and address conversions. The parsers read text that comes
// from the network, so they refuse anything unexpected instead of throwing.
#include "gentl_producers/GenTesk3d/network_interfaces.h"

#include <cstdio>

namespace GenTLCore::ZoTL {
namespace {

bool IsWiredAndUp(const Platform::HostAdapter& host)
{
    return host.ethernet && !host.wireless && !host.loopback && host.up && host.running;
}

// Reads `count` parts separated by `separator`, each of 1 to `max_digits`
// digits in `base`, none above 255.
bool ParseOctets(const std::string& text, int count, char separator, int base, int max_digits,
                 uint64_t& value)
{
    uint64_t result = 0;
    std::size_t position = 0;
    for (int part = 0; part < count; ++part) {
        if (part > 0 && (position >= text.size() || text[position++] != separator))
            return false;
        unsigned octet = 0;
        int digits = 0;
        for (; position < text.size() && digits < max_digits; ++position, ++digits) {
            const char c = text[position];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (base == 16 && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                break;
            octet = octet * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        }
        if (digits == 0 || octet > 255)
            return false;
        result = result * 256 + octet;
    }
    if (position != text.size())
        return false;
    value = result;
    return true;
}

}  // namespace

std::string NetworkAdapter::MacText() const
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return text;
}

network_config::network_config() : network_config(Platform::ListHostAdapters()) {}

network_config::network_config(const std::vector<Platform::HostAdapter>& host)
{
    for (const Platform::HostAdapter& candidate : host) {
        if (!IsWiredAndUp(candidate))
            continue;
        NetworkAdapter adapter;
        adapter.gateway = candidate.gateway;
        for (std::size_t i = 0; i < candidate.mac.size(); ++i)
            adapter.mac[i] = candidate.mac[i];
        adapter.friendly_name = candidate.name.substr(0, 64);
        for (const Platform::HostAddress& host_address : candidate.addresses)
            adapter.addresses.push_back({host_address.address, host_address.netmask,
                                         (host_address.address & host_address.netmask) |
                                             ~host_address.netmask});
        if (adapter.addresses.empty())
            adapter.addresses.push_back({0, 0, 0xFFFFFFFF});
        adapters.push_back(adapter);
    }
}

bool ParseIPv4(const std::string& text, uint32_t& value)
{
    uint64_t parsed = 0;
    if (!ParseOctets(text, 4, '.', 10, 3, parsed))
        return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

std::string FormatIPv4(uint32_t value)
{
    return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
           std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

bool ParseMAC(const std::string& text, uint64_t& value)
{
    return ParseOctets(text, 6, ':', 16, 2, value);
}

std::string FormatMAC(uint64_t value)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x",
                  static_cast<unsigned>((value >> 40) & 0xFF), static_cast<unsigned>((value >> 32) & 0xFF),
                  static_cast<unsigned>((value >> 24) & 0xFF), static_cast<unsigned>((value >> 16) & 0xFF),
                  static_cast<unsigned>((value >> 8) & 0xFF), static_cast<unsigned>(value & 0xFF));
    return text;
}

std::string AddressToText(uint32_t value)
{
    return FormatIPv4(value);
}

bool IsSameSubnet(const std::string& address_a, const std::string& mask_a,
                  const std::string& address_b, const std::string& mask_b)
{
    uint32_t a = 0, ma = 0, b = 0, mb = 0;
    return ParseIPv4(address_a, a) && ParseIPv4(mask_a, ma) && ParseIPv4(address_b, b) &&
           ParseIPv4(mask_b, mb) && (a & ma) == (b & mb);
}

bool IsInHostSubnet(const std::string& address, const std::string& netmask,
                    const std::vector<NetworkAdapter>& adapters)
{
    for (const NetworkAdapter& adapter : adapters)
        for (const AdapterAddress& host : adapter.addresses)
            if (IsSameSubnet(address, netmask, FormatIPv4(host.address), FormatIPv4(host.netmask)))
                return true;
    return false;
}

}  // namespace GenTLCore::ZoTL
