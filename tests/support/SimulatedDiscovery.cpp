#include "support/SimulatedDiscovery.h"

namespace TestSupport {
namespace {

std::string AttributeOf(const std::string& request, const std::string& name)
{
    const std::size_t start = request.find(name + "=\"");
    if (start == std::string::npos) return std::string();
    const std::size_t value = start + name.size() + 2;
    return request.substr(value, request.find('"', value) - value);
}

}  // namespace

std::string DiscoveryReply(const DiscoveryIdentity& identity)
{
    std::string text = "<VEXO DIR=\"Reply\" CMD=\"Device_ScanDorvane\"";
    for (const auto& [name, value] : identity) text += " " + name + "=\"" + value + "\"";
    return text + " />";
}

DiscoveryIdentity SensorIdentity(const std::string& ip, const std::string& serial)
{
    return {{"IPADDR", ip},
            {"NETMASK", "255.255.255.0"},
            {"GATEWAYIP", "0.0.0.0"},
            {"ETHADDR", "02:00:00:00:10:" + serial.substr(serial.size() - 2)},
            {"ARTICLENUMBER", "TK3D-100"},
            {"SERIAL", serial},
            {"CONNECT_STATE", ""},
            {"USERSTRING", "line " + serial},
            {"TYPE", "profile-generator"}};
}

SimulatedDiscovery::SimulatedDiscovery(std::vector<DiscoveryIdentity> identities,
                                       DiscoveryOptions options)
    : options(std::move(options)), identities(std::move(identities))
{
    for (const DiscoveryIdentity& identity : this->identities)
        replies.push_back(DiscoveryReply(identity));
    for (const Platform::HostAdapter& adapter : Platform::ListHostAdapters())
        if (!adapter.loopback && adapter_index == 0) adapter_index = adapter.index;
    std::string failed_step;
    listening = socket.Open(32003, failed_step);
    if (listening) receiver = std::thread(&SimulatedDiscovery::ReceiveLoop, this);
}

SimulatedDiscovery::~SimulatedDiscovery()
{
    stopping = true;
    if (receiver.joinable()) receiver.join();
}

void SimulatedDiscovery::SetAttribute(std::size_t index, const std::string& name,
                                      const std::string& value)
{
    std::lock_guard lock(mutex);
    identities.at(index)[name] = value;
    replies[index] = DiscoveryReply(identities[index]);
}

// Waits briefly, so the destructor's stop is seen within 100 ms.
void SimulatedDiscovery::ReceiveLoop()
{
    while (!stopping) {
        if (socket.WaitReadable(100) != Platform::SocketWait::Ready) continue;
        char buffer[2048];
        Platform::SocketAddress from;
        const long count = socket.Receive(buffer, sizeof buffer, &from);
        if (count > 0) Answer(std::string(buffer, static_cast<std::size_t>(count)), from);
    }
}

void SimulatedDiscovery::Answer(const std::string& request, const Platform::SocketAddress& from)
{
    const std::string command = AttributeOf(request, "CMD");
    if (command.starts_with("Device_ScanDorvane")) {
        SendReplies(from);
        return;
    }
    const std::string taken = command == "Device_SetNetwork" ? ApplySetNetwork(request) : "";
    if (taken.empty()) return;
    // Confirmed before the address moves: moving it may take longer than
    // the scanner listens for the confirmation.
    Send("<VEXO DIR=\"ReplyOk\" CMD=\"Device_SetNetwork\" />", from);
    if (options.on_set_network) options.on_set_network(taken);
}

// The lock is taken per reply, so the first reply of a flood leaves before
// the rest are copied.
void SimulatedDiscovery::SendReplies(const Platform::SocketAddress& from)
{
    for (std::size_t index = 0;; ++index) {
        std::string reply;
        {
            std::lock_guard lock(mutex);
            if (index >= replies.size()) return;
            reply = replies[index];
        }
        Send(reply, from);
    }
}

void SimulatedDiscovery::Send(const std::string& reply, const Platform::SocketAddress& from)
{
    if (options.broadcast_replies)
        socket.SendFrom(reply.data(), reply.size(), adapter_index, 0, {0xFFFFFFFF, 32004});
    else
        socket.SendFrom(reply.data(), reply.size(), 0, 0, from);
}

// Only the sensor with the named MAC takes the change.
std::string SimulatedDiscovery::ApplySetNetwork(const std::string& request)
{
    std::string taken;
    std::lock_guard lock(mutex);
    for (std::size_t index = 0; index < identities.size(); ++index) {
        DiscoveryIdentity& identity = identities[index];
        if (identity["ETHADDR"] != AttributeOf(request, "ETHADDR")) continue;
        for (const char* name : {"IPADDR", "NETMASK", "GATEWAYIP"})
            identity[name] = AttributeOf(request, name);
        replies[index] = DiscoveryReply(identity);
        taken = identity["IPADDR"];
    }
    return taken;
}

}  // namespace TestSupport
