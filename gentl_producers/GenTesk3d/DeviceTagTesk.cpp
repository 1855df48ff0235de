// Device tags from discovery replies: attribute parsing and the rules that
// keep a reply out of the device list.
#include "gentl_producers/GenTesk3d/DeviceTagTesk.h"

#include <cctype>

#include "gentl_core/GenTLBranding.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {
namespace {

struct ReplyRecord {
    std::string ip, model, serial, netmask, mac, connect_state, gateway, user_string, type;
};

// A key counts for a name when it contains it, so " IPADDR=" is IPADDR.
ReplyRecord RecordFromAttributes(const std::map<std::string, std::string>& attributes)
{
    ReplyRecord record;
    const std::pair<const char*, std::string ReplyRecord::*> names[] = {
        {"IPADDR", &ReplyRecord::ip},         {"ARTICLENUMBER", &ReplyRecord::model},
        {"SERIAL", &ReplyRecord::serial},     {"NETMASK", &ReplyRecord::netmask},
        {"ETHADDR", &ReplyRecord::mac},       {"CONNECT_STATE", &ReplyRecord::connect_state},
        {"GATEWAYIP", &ReplyRecord::gateway}, {"USERSTRING", &ReplyRecord::user_string},
        {"TYPE", &ReplyRecord::type},
    };
    for (const auto& [key, value] : attributes)
        for (const auto& [name, field] : names)
            if (key.find(name) != std::string::npos)
                record.*field = value;
    return record;
}

// Empty when the record may be listed.
std::string Rejection(const ReplyRecord& record, DeviceTagFields& fields)
{
    const std::string name = record.model + "_" + record.ip;
    if (!record.type.empty() && record.type.find("profile-generator") == std::string::npos)
        return record.model + ":type is not profile mode";
    if (record.ip.empty())
        return record.model + ":ip  is null";
    if (record.mac.empty())
        return name + ": mac is null, therefore this device is skipped.";
    if (record.netmask.empty())
        return name + ": netmask is null, therefore this device is skipped.";
    if (record.gateway.empty())
        return name + ": gateway ip  is null, therefore this device is skipped.";
    if (!ParseIPv4(record.ip, fields.ip_number))
        return name + ": ip does not parse, therefore this device is skipped.";
    if (!ParseMAC(record.mac, fields.mac))
        return name + ": mac does not parse, therefore this device is skipped.";
    if (!ParseIPv4(record.netmask, fields.netmask))
        return name + ": netmask does not parse, therefore this device is skipped.";
    if (!ParseIPv4(record.gateway, fields.gateway))
        return name + ": gateway ip does not parse, therefore this device is skipped.";
    return std::string();
}

}  // namespace

std::map<std::string, std::string> ParseReplyAttributes(const std::string& reply)
{
    std::map<std::string, std::string> attributes;
    std::size_t position = 0;
    for (;;) {
        const std::size_t quote = reply.find('"', position);
        if (quote == std::string::npos)
            break;
        const std::string key = reply.substr(position, quote - position);
        position = reply.find_first_not_of('"', quote);
        if (position == std::string::npos)
            break;
        const char next = reply[position];
        if (next == '/' || next == ' ' || next == '>') {
            attributes.emplace(key, std::string());
            continue;
        }
        const std::size_t end = reply.find('"', position);
        attributes.emplace(key, reply.substr(position, end == std::string::npos ? std::string::npos
                                                                                : end - position));
        if (end == std::string::npos)
            break;
        position = end + 1;
    }
    return attributes;
}

SharedPtr<DeviceTag> DeviceTagTesk::FromReply(const std::string& reply,
                                              const std::vector<NetworkAdapter>& adapters,
                                              std::string& rejection)
{
    const ReplyRecord record = RecordFromAttributes(ParseReplyAttributes(reply));
    DeviceTagFields fields;
    rejection = Rejection(record, fields);
    if (!rejection.empty())
        return SharedPtr<DeviceTag>();
    fields.ip = record.ip;
    fields.model = record.model;
    fields.serial = record.serial;
    fields.user_string = record.user_string;
    fields.in_subnet = IsInHostSubnet(record.ip, record.netmask, adapters);
    fields.in_use = record.connect_state.find("CONNECTED") != std::string::npos;
    return SharedPtr<DeviceTag>(new DeviceTagTesk(fields));
}

SharedPtr<DeviceTag> DeviceTagTesk::ForProbe(const std::string& ip)
{
    DeviceTagFields fields;
    if (!ParseIPv4(ip, fields.ip_number))
        return SharedPtr<DeviceTag>();
    fields.ip = ip;
    return SharedPtr<DeviceTag>(new DeviceTagTesk(fields));
}

// A sensor known only by its address is named by it, so two of them (and
// their streams) never share an ID.
std::string DeviceTagTesk::GetID() const
{
    if (fields.model.empty() && fields.serial.empty())
        return "_" + fields.ip;
    return fields.model + "_" + fields.serial;
}

bool DeviceTagTesk::IsSameAs(const DeviceTag& candidate) const
{
    const auto* other = dynamic_cast<const DeviceTagTesk*>(&candidate);
    if (!TL_ASSERT_MSG(other != nullptr, "Comparing devices using invalid device tag"))
        return false;
    if (fields.model != other->fields.model || fields.serial != other->fields.serial)
        return false;
    return !fields.model.empty() || !fields.serial.empty() || fields.ip == other->fields.ip;
}

std::string DeviceTagTesk::GetVendorName() const
{
    return GetBranding().VendorName();
}

void DeviceTagTesk::UpdateFrom(const DeviceTag& newer)
{
    const auto* update = dynamic_cast<const DeviceTagTesk*>(&newer);
    if (!TL_ASSERT_MSG(update != nullptr, "Updating device tag using invalid new tag")) return;
    if (update->fields.ip != fields.ip)
        TL_LOG(LOG_CATEGORY_LOCDEV, LOG_LEVEL_DEBUG)
            << GetID() << " has new ip " << update->fields.ip << " instead of  " << fields.ip;
    fields.ip = update->fields.ip;
    fields.ip_number = update->fields.ip_number;
    fields.netmask = update->fields.netmask;
    fields.gateway = update->fields.gateway;
    fields.in_use = update->fields.in_use;
    fields.in_subnet = update->fields.in_subnet;
    fields.user_string = update->fields.user_string;
    if (fields.in_subnet)
        TL_LOG(LOG_CATEGORY_LOCDEV, LOG_LEVEL_DEBUG)
            << fields.ip << (fields.in_use ? ": device in use" : ": device NOT InUse");
}

bool DeviceTagTesk::MatchesAlternativeID(const std::string& key, const std::string& value) const
{
    std::string lower;
    for (const char c : key)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "ip" && value == fields.ip;
}

void DeviceTagTesk::ApplyNetwork(uint32_t ip_number, uint32_t netmask, uint32_t gateway)
{
    fields.ip_number = ip_number;
    fields.ip = FormatIPv4(ip_number);
    fields.netmask = netmask;
    fields.gateway = gateway;
}

}  // namespace GenTLCore::ZoTL
