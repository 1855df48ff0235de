// The discovery protocol: one socket on port 32004 sends each request once
// per host address, out of that address's adapter, and collects replies until
// the sensors fall silent.
#include "gentl_producers/GenTesk3d/CVEXO.h"

#include <chrono>
#include <thread>

#include "gentl_core/Logger.h"
#include "platform/Socket.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr const char* SCAN_REQUESTS[] = {
    "<VEXO DIR=\"Request\" CMD=\"Device_ScanDorvane\" />",
    "<VEXO DIR=\"Request\" CMD=\"Device_ScanDorvane_2\" />",
};
constexpr const char* SET_NETWORK_CONFIRMATION = "VEXO DIR=\"ReplyOk\" CMD=\"Device_SetNetwork\"";
constexpr std::size_t DATAGRAM_BYTES = 1024;

#define DISCOVERY_LOG TL_LOG(LOG_CATEGORY_INTERFACE, LOG_LEVEL_DEBUG)

}  // namespace

std::vector<Platform::HostAdapter> UdpDiscoveryTransport::ListHostAdapters()
{
    return Platform::ListHostAdapters();
}

PortOpen UdpDiscoveryTransport::Open(std::string& failed_step)
{
    if (socket.Open(DISCOVERY_LOCAL_PORT, failed_step)) return PortOpen::Ok;
    return failed_step == "bind" && Platform::IsAddressInUse(Platform::LastSocketError())
               ? PortOpen::Busy
               : PortOpen::Failed;
}

void UdpDiscoveryTransport::PauseMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool UdpDiscoveryTransport::Send(const std::string& payload, int adapter_index, uint32_t source)
{
    return socket.SendFrom(payload.data(), payload.size(), adapter_index, source,
                           Platform::SocketAddress{0xFFFFFFFF, DISCOVERY_SENSOR_PORT});
}

Platform::SocketWait UdpDiscoveryTransport::WaitReadable(int timeout_ms)
{
    return socket.WaitReadable(timeout_ms);
}

long UdpDiscoveryTransport::Receive(char* buffer, std::size_t size)
{
    return socket.Receive(buffer, size);
}

void UdpDiscoveryTransport::Close()
{
    socket.Close();
}

CVEXO::CVEXO(DiscoveryTransport& transport, int total_limit_ms)
    : transport(transport), total_limit_ms(total_limit_ms)
{
}

std::map<std::string, std::string> CVEXO::Scan()
{
    const bool found = OpenSockets() && ScanDevices() && ScanNetworkInterfaces();
    if (!found)
        DISCOVERY_LOG << "Error: No VEXO device found";
    CloseSockets();
    return replies;
}

bool CVEXO::SetNetwork(const std::string& mac, const std::string& ip, const std::string& netmask,
                       const std::string& gateway)
{
    const std::string request = "<VEXO DIR=\"Request\" CMD=\"Device_SetNetwork\" ETHADDR=\"" + mac +
                                "\" IPADDR=\"" + ip + "\" GATEWAYIP=\"" + gateway +
                                "\" NETMASK=\"" + netmask + "\" />";
    const bool confirmed = OpenSockets() && SendSetNetwork(request);
    if (!confirmed)
        DISCOVERY_LOG << "Setting Network Config failed";
    CloseSockets();
    return confirmed;
}

// Sends from every non-zero address of every adapter that is up and not a
// loopback, however many there are. Another scanner holds the port for
// its whole collection, so a busy port is tried again until the total
// limit: scanners on one host take turns.
bool CVEXO::OpenSockets()
{
    port_result = PortOpen::Ok;
    host = transport.ListHostAdapters();
    sources.clear();
    for (const Platform::HostAdapter& adapter : host) {
        if (!adapter.up || adapter.loopback)
            continue;
        for (const Platform::HostAddress& address : adapter.addresses)
            if (address.address != 0)
                sources.push_back({adapter.index, address.address});
    }
    if (sources.empty())
        return true;
    std::string failed_step;
    port_result = transport.Open(failed_step);
    for (int waited_ms = 0; port_result == PortOpen::Busy && waited_ms < total_limit_ms;
         waited_ms += PORT_RETRY_MS) {
        transport.PauseMs(PORT_RETRY_MS);
        port_result = transport.Open(failed_step);
    }
    if (port_result == PortOpen::Ok) return true;
    const int error = port_error = Platform::LastSocketError();
    if (failed_step == "socket")
        DISCOVERY_LOG << "socket() failed with error code :" << error;
    else if (failed_step == "setsockopt")
        DISCOVERY_LOG << "setsockopt failed";
    else
        DISCOVERY_LOG << "socket bind failed";
    return false;
}

bool CVEXO::ScanDevices()
{
    for (const Source& source : sources)
        for (const char* request : SCAN_REQUESTS)
            transport.Send(request, source.adapter_index, source.address);
    return Collect(false);
}

bool CVEXO::SendSetNetwork(const std::string& request)
{
    for (const Source& source : sources) {
        if (!transport.Send(request, source.adapter_index, source.address)) {
            DISCOVERY_LOG << "Dorvane scan failed with error code " << Platform::LastSocketError();
            return false;
        }
    }
    if (!Collect(true))
        return false;
    for (const auto& [address, reply] : replies)
        if (reply.find(SET_NETWORK_CONFIRMATION) != std::string::npos)
            return true;
    return false;
}

// Ends after SILENCE_MS without a datagram, or at the total limit while
// datagrams keep coming. Nothing was sent without a source: nothing to wait for.
bool CVEXO::Collect(bool store_every_reply)
{
    replies.clear();
    warned_full = false;
    if (sources.empty())
        return true;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(total_limit_ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) {
            DISCOVERY_LOG << "Collection of replies ended after " << total_limit_ms
                          << " ms while datagrams kept coming";
            return true;
        }
        const Platform::SocketWait wait =
            transport.WaitReadable(static_cast<int>(left < SILENCE_MS ? left : SILENCE_MS));
        if (wait == Platform::SocketWait::TimedOut)
            return true;
        if (wait != Platform::SocketWait::Ready) {
            DISCOVERY_LOG << "Error in connection or timeout";
            return false;
        }
        char buffer[DATAGRAM_BYTES] = {};
        const long count = transport.Receive(buffer, sizeof buffer);
        if (count < 0) {
            DISCOVERY_LOG << "recvfrom() failed with error code" << Platform::LastSocketError();
            return false;
        }
        if (store_every_reply) {
            const std::string reply(buffer, static_cast<std::size_t>(count));
            Keep(ExtractIPAddress(reply), reply, true);
        } else {
            StoreReply(buffer, static_cast<std::size_t>(count));
        }
    }
}

bool CVEXO::ScanNetworkInterfaces()
{
    adapters = network_config(host).GetAdapters();
    DISCOVERY_LOG << "--------- scanning Network Interface cards (NIC) ----------";
    bool any_address = false;
    for (const NetworkAdapter& adapter : adapters) {
        DISCOVERY_LOG << "NIC:" << adapter.friendly_name << " | mac:" << adapter.MacText();
        for (const AdapterAddress& address : adapter.addresses) {
            DISCOVERY_LOG << "    ip:" << AddressToText(address.address)
                          << " | netmask:" << AddressToText(address.netmask);
            any_address = true;
        }
    }
    DISCOVERY_LOG << "--------- end of scanning Network Interface cards (NIC) ----------";
    return any_address;
}

void CVEXO::CloseSockets()
{
    transport.Close();
}

// A reply with a user string wins over one without; otherwise the first stays.
bool CVEXO::StoreReply(const char* bytes, std::size_t count)
{
    const std::string reply(bytes, count);
    const std::string address = ExtractIPAddress(reply);
    if (address.empty())
        return false;
    return Keep(address, reply, reply.find("USERSTRING=") != std::string::npos);
}

// Past MAX_REPLIES only addresses already kept are answered; the rest is
// dropped and logged once.
bool CVEXO::Keep(const std::string& address, const std::string& reply, bool replace)
{
    const auto kept = replies.find(address);
    if (kept != replies.end()) {
        if (replace)
            kept->second = reply;
        return true;
    }
    if (replies.size() < MAX_REPLIES) {
        replies.emplace(address, reply);
        return true;
    }
    if (!warned_full) {
        warned_full = true;
        TL_LOG(LOG_CATEGORY_INTERFACE, LOG_LEVEL_WARNING)
            << "Discovery keeps the replies of " << MAX_REPLIES
            << " sensors; replies from further addresses are dropped";
    }
    return false;
}

std::string CVEXO::ExtractIPAddress(const std::string& reply)
{
    static const std::string key = "IPADDR=\"";
    const std::size_t start = reply.find(key);
    if (start == std::string::npos)
        return std::string();
    const std::size_t value = start + key.size();
    const std::size_t end = reply.find('"', value);
    return reply.substr(value, end == std::string::npos ? std::string::npos : end - value);
}

}  // namespace GenTLCore::ZoTL
