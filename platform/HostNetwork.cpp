#include "platform/HostNetwork.h"

#include <cerrno>
#include <cstring>
#include <map>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if_arp.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Platform {
namespace {

// SIOCGIWNAME from <linux/wireless.h>, which clashes with <net/if.h>: it
// succeeds only on adapters with wireless extensions.
constexpr unsigned long WIRELESS_NAME_REQUEST = 0x8B01;

bool IsWireless(int probe_fd, const std::string& name)
{
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    return probe_fd >= 0 && ::ioctl(probe_fd, WIRELESS_NAME_REQUEST, &request) == 0;
}

uint32_t HostOrder(const sockaddr* address)
{
    if (address == nullptr || address->sa_family != AF_INET)
        return 0;
    return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

// Reads one default route per adapter index out of a route dump answer.
// False when the dump is complete.
bool TakeDefaultRoutes(const char* data, long length, std::map<int, uint32_t>& gateways)
{
    for (auto* header = reinterpret_cast<const nlmsghdr*>(data); NLMSG_OK(header, length);
         header = NLMSG_NEXT(header, length)) {
        if (header->nlmsg_type == NLMSG_DONE || header->nlmsg_type == NLMSG_ERROR)
            return false;
        if (header->nlmsg_type != RTM_NEWROUTE)
            continue;
        const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(header));
        if (route->rtm_family != AF_INET || route->rtm_dst_len != 0 ||
            route->rtm_table != RT_TABLE_MAIN || route->rtm_type != RTN_UNICAST)
            continue;
        int oif = 0;
        uint32_t gateway = 0;
        int attributes_length = static_cast<int>(RTM_PAYLOAD(header));
        for (auto* attribute = RTM_RTA(route); RTA_OK(attribute, attributes_length);
             attribute = RTA_NEXT(attribute, attributes_length)) {
            if (attribute->rta_type == RTA_OIF && RTA_PAYLOAD(attribute) >= sizeof(int))
                std::memcpy(&oif, RTA_DATA(attribute), sizeof(int));
            if (attribute->rta_type == RTA_GATEWAY && RTA_PAYLOAD(attribute) >= sizeof(in_addr))
                gateway = ntohl(static_cast<const in_addr*>(RTA_DATA(attribute))->s_addr);
        }
        if (oif != 0 && gateway != 0)
            gateways.emplace(oif, gateway);  // the first default route wins
    }
    return true;
}

std::map<int, uint32_t> DefaultGateways()
{
    std::map<int, uint32_t> gateways;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return gateways;
    struct {
        nlmsghdr header;
        rtmsg route;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.route.rtm_family = AF_INET;
    if (::send(fd, &request, request.header.nlmsg_len, 0) >= 0) {
        alignas(nlmsghdr) char buffer[16384];
        // A route table that needs more than 256 reads is not a host's.
        for (int reads = 0; reads < 256; ++reads) {
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 1000) <= 0)
                break;
            const long length = ::recv(fd, buffer, sizeof buffer, 0);
            if (length <= 0 || !TakeDefaultRoutes(buffer, length, gateways))
                break;
        }
    }
    ::close(fd);
    return gateways;
}

// An address label ("eth0:1") names its adapter's extra address, not an adapter.
HostAdapter& AdapterNamed(std::vector<HostAdapter>& adapters, const char* label)
{
    const std::string name = std::string(label).substr(0, std::string(label).find(':'));
    for (HostAdapter& adapter : adapters)
        if (adapter.name == name)
            return adapter;
    HostAdapter& added = adapters.emplace_back();
    added.name = name;
    added.index = static_cast<int>(::if_nametoindex(name.c_str()));
    return added;
}

}  // namespace

std::vector<HostAdapter> ListHostAdapters()
{
    std::vector<HostAdapter> adapters;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return adapters;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr)
            continue;
        HostAdapter& adapter = AdapterNamed(adapters, entry->ifa_name);
        adapter.up = (entry->ifa_flags & IFF_UP) != 0;
        adapter.running = (entry->ifa_flags & IFF_RUNNING) != 0;
        adapter.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        if (entry->ifa_addr == nullptr)
            continue;
        if (entry->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            adapter.ethernet = link->sll_hatype == ARPHRD_ETHER;
            if (link->sll_halen == adapter.mac.size())
                std::memcpy(adapter.mac.data(), link->sll_addr, adapter.mac.size());
        } else if (entry->ifa_addr->sa_family == AF_INET) {
            adapter.addresses.push_back({HostOrder(entry->ifa_addr), HostOrder(entry->ifa_netmask)});
        }
    }
    ::freeifaddrs(list);

    const std::map<int, uint32_t> gateways = DefaultGateways();
    const int probe_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    for (HostAdapter& adapter : adapters) {
        adapter.wireless = IsWireless(probe_fd, adapter.name);
        const auto gateway = gateways.find(adapter.index);
        if (gateway != gateways.end())
            adapter.gateway = gateway->second;
    }
    if (probe_fd >= 0)
        ::close(probe_fd);
    return adapters;
}

bool BroadcastSocket::Open(uint16_t port, std::string& failed_step)
{
    Close();
    descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (descriptor < 0) {
        failed_step = "socket";
        return false;
    }
    const int on = 1;
    if (::setsockopt(descriptor, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        failed_step = "setsockopt";
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int error = errno;
        Close();
        errno = error;
        failed_step = "bind";
        return false;
    }
    return true;
}

void BroadcastSocket::Close()
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
}

bool BroadcastSocket::SendFrom(const void* data, std::size_t size, int adapter_index,
                               uint32_t source, const SocketAddress& to)
{
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(to.port);
    destination.sin_addr.s_addr = htonl(to.ipv4);
    iovec payload{const_cast<void*>(data), size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &payload;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = adapter_index;
    info.ipi_spec_dst.s_addr = htonl(source);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    return ::sendmsg(descriptor, &message, MSG_NOSIGNAL) == static_cast<long>(size);
}

SocketWait BroadcastSocket::WaitReadable(int timeout_ms) const
{
    pollfd ready{descriptor, POLLIN, 0};
    for (;;) {
        const int result = ::poll(&ready, 1, timeout_ms);
        // A signal restarts the wait: the caller's silence rule bounds it anyway.
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0)
            return SocketWait::Failed;
        return result == 0 ? SocketWait::TimedOut : SocketWait::Ready;
    }
}

long BroadcastSocket::Receive(void* buffer, std::size_t size, SocketAddress* from)
{
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    const long count =
        ::recvfrom(descriptor, buffer, size, 0, reinterpret_cast<sockaddr*>(&sender), &length);
    if (count >= 0 && from != nullptr)
        *from = SocketAddress{ntohl(sender.sin_addr.s_addr), ntohs(sender.sin_port)};
    return count;
}

}  // namespace Platform
