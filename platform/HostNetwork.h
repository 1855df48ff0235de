// HostNetwork.h: the host's network adapters as the calling thread's network
// namespace shows them, and a UDP socket that broadcasts from a chosen
// adapter and source address.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Socket.h"

namespace Platform {

// Addresses are IPv4 in host byte order (127.0.0.1 is 0x7F000001).
struct HostAddress {
    uint32_t address = 0;
    uint32_t netmask = 0;
};

// One adapter. An adapter without IPv4 address has an empty address list.
struct HostAdapter {
    std::string name;
    int index = 0;
    bool up = false;        // IFF_UP
    bool running = false;   // IFF_RUNNING: carrier, operstate not down
    bool loopback = false;  // IFF_LOOPBACK
    bool ethernet = false;  // ARPHRD_ETHER link layer (veth and dummy too)
    bool wireless = false;
    std::array<uint8_t, 6> mac{};
    uint32_t gateway = 0;  // first default route through the adapter; 0 without
    std::vector<HostAddress> addresses;
};

// Every adapter, in the order the system lists them. Reads getifaddrs and
// rtnetlink only, never /sys, so a thread that entered another network
// namespace sees that namespace. Empty when the system refuses.
std::vector<HostAdapter> ListHostAdapters();

// A UDP socket for one request and reply exchange: bound to 0.0.0.0:<port>
// with SO_BROADCAST, it sends each datagram out of a named adapter with a
// named source address (IP_PKTINFO) and receives unicast and broadcast
// replies alike. Owned by one thread at a time.
class BroadcastSocket {
public:
    BroadcastSocket() = default;
    ~BroadcastSocket() { Close(); }
    BroadcastSocket(const BroadcastSocket&) = delete;
    BroadcastSocket& operator=(const BroadcastSocket&) = delete;

    // False with LastSocketError() set; `failed_step` names the step
    // ("socket", "setsockopt" or "bind").
    bool Open(uint16_t port, std::string& failed_step);
    void Close();
    // Index 0 and source 0 leave the choice to the routing table.
    bool SendFrom(const void* data, std::size_t size, int adapter_index, uint32_t source,
                  const SocketAddress& to);
    // Ready, TimedOut or Failed.
    SocketWait WaitReadable(int timeout_ms) const;
    // Bytes received, or -1 with LastSocketError() set. `from` may be null.
    long Receive(void* buffer, std::size_t size, SocketAddress* from = nullptr);

private:
    int descriptor = -1;
};

}  // namespace Platform
