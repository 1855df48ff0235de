#include "support/SimulatedDiscovery.h"

namespace TestSupport {
namespace {

constexpr uint16_t SENSOR_PORT = 32003;
constexpr uint16_t HOST_PORT = 32004;

std::string AttributeOf(const std::string& request, const std::string& name)
{
    const std::string key = name + "=\"";
    const std::size_t start = request.find(key);
    if (start == std::string::npos)
        return std::string();
    const std::size_t value = start + key.size();
    return request.substr(value, request.find('"', value) - value);
}

}  // namespace

SimulatedDiscovery::SimulatedDiscovery(std::vector<DiscoveryIdentity> identities,
                                       DiscoveryOptions options)
    : options(std::move(options)), identities(std::move(identities))
{
    for (const Platform::HostAdapter& adapter : Platform::ListHostAdapters())
        if (!adapter.loopback && adapter_index == 0)
            adapter_index = adapter.index;
    std::string failed_step;
    listening = socket.Open(SENSOR_PORT, failed_step);
    if (listening)
        receiver = std::thread(&SimulatedDiscovery::ReceiveLoop, this);
}

SimulatedDiscovery::~SimulatedDiscovery()
{
    stopping = true;
    if (receiver.joinable())
        receiver.join();
}

void SimulatedDiscovery::SetIdentity(std::size_t index, const DiscoveryIdentity& identity)
{
    std::lock_guard lock(mutex);
    identities.at(index) = identity;
}

DiscoveryIdentity SimulatedDiscovery::Identity(std::size_t index) const
{
    std::lock_guard lock(mutex);
    return identities.at(index);
}

std::vector<std::string> SimulatedDiscovery::Requests() const
{
    std::lock_guard lock(mutex);
    return requests;
}

std::string SimulatedDiscovery::ReplyText(const DiscoveryIdentity& identity,
                                          const std::string& command)
{
    const std::pair<std::string, std::string> attributes[] = {
        {"IPADDR", identity.ip},          {"NETMASK", identity.netmask},
        {"GATEWAYIP", identity.gateway},  {"ETHADDR", identity.mac},
        {"ARTICLENUMBER", identity.article}, {"SERIAL", identity.serial},
        {"CONNECT_STATE", identity.connect_state}, {"USERSTRING", identity.user_string},
        {"TYPE", identity.type},
    };
    std::string text = "<VEXO DIR=\"Reply\" CMD=\"" + command + "\"";
    for (const auto& [name, value] : attributes) {
        if (identity.dropped.count(name) != 0)
            continue;
        const auto raw = identity.raw_values.find(name);
        text += " " + name + "=\"" + (raw != identity.raw_values.end() ? raw->second : value) + "\"";
    }
    return text + " />";
}

// Polls with a short wait so the destructor's stop is seen within 100 ms.
void SimulatedDiscovery::ReceiveLoop()
{
    while (!stopping) {
        if (socket.WaitReadable(100) != Platform::SocketWait::Ready)
            continue;
        char buffer[2048];
        Platform::SocketAddress from;
        const long count = socket.Receive(buffer, sizeof buffer, &from);
        if (count > 0)
            Answer(std::string(buffer, static_cast<std::size_t>(count)), from);
    }
}

void SimulatedDiscovery::Answer(const std::string& request, const Platform::SocketAddress& from)
{
    std::vector<std::string> replies;
    {
        std::lock_guard lock(mutex);
        requests.push_back(request);
        const std::string command = AttributeOf(request, "CMD");
        if (command == "Device_ScanDorvane" ||
            (command == "Device_ScanDorvane_2" && options.answer_second_form))
            for (const DiscoveryIdentity& identity : identities)
                replies.push_back(ReplyText(identity, command));
    }
    if (AttributeOf(request, "CMD") == "Device_SetNetwork" && ApplySetNetwork(request))
        replies.push_back("<VEXO DIR=\"ReplyOk\" CMD=\"Device_SetNetwork\" />");
    for (const std::string& reply : replies)
        for (int copy = 0; copy < options.repeats; ++copy)
            SendReply(reply, from);
}

void SimulatedDiscovery::SendReply(const std::string& text, const Platform::SocketAddress& from)
{
    if (options.broadcast_replies)
        socket.SendFrom(text.data(), text.size(), adapter_index, 0,
                        Platform::SocketAddress{0xFFFFFFFF, HOST_PORT});
    else
        socket.SendFrom(text.data(), text.size(), 0, 0, from);
}

// Only the sensor with the named MAC takes the change.
bool SimulatedDiscovery::ApplySetNetwork(const std::string& request)
{
    const std::string mac = AttributeOf(request, "ETHADDR");
    const std::string ip = AttributeOf(request, "IPADDR");
    const std::string netmask = AttributeOf(request, "NETMASK");
    const std::string gateway = AttributeOf(request, "GATEWAYIP");
    bool applied = false;
    {
        std::lock_guard lock(mutex);
        for (DiscoveryIdentity& identity : identities) {
            if (identity.mac != mac)
                continue;
            identity.ip = ip;
            identity.netmask = netmask;
            identity.gateway = gateway;
            applied = true;
        }
    }
    if (applied && options.on_set_network)
        options.on_set_network(ip, netmask, gateway);
    return applied;
}

}  // namespace TestSupport
