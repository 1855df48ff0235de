#include "platform/Socket.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Platform {
namespace {

sockaddr_in ToSockaddr(const SocketAddress& address)
{
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_port = htons(address.port);
    out.sin_addr.s_addr = htonl(address.ipv4);
    return out;
}

SocketAddress FromSockaddr(const sockaddr_in& in)
{
    return SocketAddress{ntohl(in.sin_addr.s_addr), ntohs(in.sin_port)};
}

bool SetIntOption(int fd, int level, int name, int value)
{
    return ::setsockopt(fd, level, name, &value, sizeof(value)) == 0;
}

// Waits for `events` on fd, or for the wake signal. EINTR restarts the wait
// with the time that is left, so a signal never shortens a time-out.
SocketWait WaitFor(int fd, short events, int timeout_ms, const WakeSignal* wake)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    pollfd fds[2] = {{fd, events, 0}, {wake != nullptr ? wake->Descriptor() : -1, POLLIN, 0}};
    for (;;) {
        int wait_ms = -1;
        if (timeout_ms >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        const int result = ::poll(fds, wake != nullptr ? 2 : 1, wait_ms);
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0)
            return SocketWait::Failed;
        if (wake != nullptr && (fds[1].revents & POLLIN) != 0)
            return SocketWait::Woken;
        if (result == 0)
            return SocketWait::TimedOut;
        if ((fds[0].revents & POLLNVAL) != 0)
            return SocketWait::Failed;
        // Errors and hang-ups count as ready: the next call on the socket reports them.
        return SocketWait::Ready;
    }
}

}  // namespace

bool SocketAddress::Parse(const std::string& ip, const std::string& port, SocketAddress& out)
{
    in_addr address{};
    if (::inet_pton(AF_INET, ip.c_str(), &address) != 1)
        return false;
    if (port.empty() || port.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : port) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535)
        return false;
    out.ipv4 = ntohl(address.s_addr);
    out.port = static_cast<uint16_t>(value);
    return true;
}

std::string SocketAddress::IpText() const
{
    char text[INET_ADDRSTRLEN] = {};
    const in_addr address{htonl(ipv4)};
    ::inet_ntop(AF_INET, &address, text, sizeof(text));
    return text;
}

WakeSignal::WakeSignal() : descriptor(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeSignal::~WakeSignal()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

void WakeSignal::Wake()
{
    const uint64_t one = 1;
    // The counter only grows; a full counter is still readable, so ignore EAGAIN.
    ssize_t ignored = ::write(descriptor, &one, sizeof(one));
    (void)ignored;
}

void WakeSignal::Clear()
{
    uint64_t value = 0;
    ssize_t ignored = ::read(descriptor, &value, sizeof(value));
    (void)ignored;
}

bool WakeSignal::IsWoken() const
{
    return WaitWoken(0);
}

bool WakeSignal::WaitWoken(int timeout_ms) const
{
    // The descriptor itself is the thing waited for; nothing else can wake it.
    return WaitFor(descriptor, POLLIN, timeout_ms, nullptr) == SocketWait::Ready;
}

Socket Socket::Tcp()
{
    return Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

Socket Socket::Udp()
{
    return Socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
}

Socket::~Socket()
{
    Close();
}

Socket::Socket(Socket&& other) noexcept : descriptor(other.descriptor)
{
    other.descriptor = -1;
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        Close();
        descriptor = other.descriptor;
        other.descriptor = -1;
    }
    return *this;
}

void Socket::Close()
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
}

void Socket::Shutdown()
{
    if (descriptor >= 0)
        ::shutdown(descriptor, SHUT_RDWR);
}

bool Socket::SetNonBlocking(bool on)
{
    const int flags = ::fcntl(descriptor, F_GETFL, 0);
    if (flags < 0)
        return false;
    return ::fcntl(descriptor, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

bool Socket::SetBufferSizes(int bytes)
{
    // The kernel caps the sizes at its maximum; that is no failure.
    const bool receive = SetIntOption(descriptor, SOL_SOCKET, SO_RCVBUF, bytes);
    const bool send = SetIntOption(descriptor, SOL_SOCKET, SO_SNDBUF, bytes);
    return receive && send;
}

bool Socket::SetKeepAlive(int idle_s, int interval_s, int probes)
{
    return SetIntOption(descriptor, SOL_SOCKET, SO_KEEPALIVE, 1) &&
           SetIntOption(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, idle_s) &&
           SetIntOption(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, interval_s) &&
           SetIntOption(descriptor, IPPROTO_TCP, TCP_KEEPCNT, probes) &&
           // Keep-alive waits while sent data is unacknowledged; this bounds that case too.
           SetIntOption(descriptor, IPPROTO_TCP, TCP_USER_TIMEOUT,
                        (idle_s + interval_s * probes) * 1000);
}

bool Socket::SetNoDelay(bool on)
{
    return SetIntOption(descriptor, IPPROTO_TCP, TCP_NODELAY, on ? 1 : 0);
}

bool Socket::SetReuseAddress(bool on)
{
    return SetIntOption(descriptor, SOL_SOCKET, SO_REUSEADDR, on ? 1 : 0);
}

bool Socket::Bind(const SocketAddress& address)
{
    const sockaddr_in in = ToSockaddr(address);
    return ::bind(descriptor, reinterpret_cast<const sockaddr*>(&in), sizeof(in)) == 0;
}

bool Socket::Listen(int backlog)
{
    return ::listen(descriptor, backlog) == 0;
}

bool Socket::LocalAddress(SocketAddress& out) const
{
    sockaddr_in in{};
    socklen_t length = sizeof(in);
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&in), &length) != 0)
        return false;
    out = FromSockaddr(in);
    return true;
}

Socket Socket::Accept(int timeout_ms, const WakeSignal* wake, SocketAddress* peer)
{
    if (WaitFor(descriptor, POLLIN, timeout_ms, wake) != SocketWait::Ready)
        return Socket();
    sockaddr_in in{};
    socklen_t length = sizeof(in);
    Socket accepted(::accept4(descriptor, reinterpret_cast<sockaddr*>(&in), &length, SOCK_CLOEXEC));
    if (accepted.IsValid() && peer != nullptr)
        *peer = FromSockaddr(in);
    return accepted;
}

ConnectResult Socket::Connect(const SocketAddress& address, int timeout_ms,
                              const WakeSignal* wake, int* error)
{
    int dummy = 0;
    int& failure = error != nullptr ? *error : dummy;
    failure = 0;
    if (!SetNonBlocking(true)) {
        failure = errno;
        return ConnectResult::Refused;
    }
    const sockaddr_in in = ToSockaddr(address);
    if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&in), sizeof(in)) == 0)
        return ConnectResult::Connected;
    if (errno != EINPROGRESS) {
        failure = errno;
        return ConnectResult::Refused;
    }
    switch (WaitFor(descriptor, POLLOUT, timeout_ms, wake)) {
    case SocketWait::TimedOut:
        failure = ETIMEDOUT;
        return ConnectResult::TimedOut;
    case SocketWait::Woken:
        return ConnectResult::Woken;
    case SocketWait::Failed:
        failure = errno;
        return ConnectResult::Refused;
    case SocketWait::Ready:
        break;
    }
    // A refused attempt also makes the socket writable; only SO_ERROR tells.
    int status = 0;
    socklen_t length = sizeof(status);
    if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &status, &length) != 0)
        status = errno;
    if (status != 0) {
        failure = status;
        return ConnectResult::Refused;
    }
    return ConnectResult::Connected;
}

SocketWait Socket::WaitReadable(int timeout_ms, const WakeSignal* wake) const
{
    return WaitFor(descriptor, POLLIN, timeout_ms, wake);
}

long Socket::Receive(void* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t count = ::recv(descriptor, buffer, size, 0);
        if (count < 0 && errno == EINTR)
            continue;
        return static_cast<long>(count);
    }
}

long Socket::ReceiveFrom(void* buffer, std::size_t size, SocketAddress* from)
{
    sockaddr_in in{};
    socklen_t length = sizeof(in);
    for (;;) {
        const ssize_t count =
            ::recvfrom(descriptor, buffer, size, 0, reinterpret_cast<sockaddr*>(&in), &length);
        if (count < 0 && errno == EINTR)
            continue;
        if (count >= 0 && from != nullptr)
            *from = FromSockaddr(in);
        return static_cast<long>(count);
    }
}

bool Socket::SendAll(const void* data, std::size_t size, const WakeSignal* wake, int timeout_ms)
{
    const char* next = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t sent = ::send(descriptor, next, left, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            next += sent;
            left -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (WaitFor(descriptor, POLLOUT, timeout_ms, wake) != SocketWait::Ready)
                return false;
            continue;
        }
        return false;
    }
    return true;
}

bool Socket::SendTo(const void* data, std::size_t size, const SocketAddress& to)
{
    const sockaddr_in in = ToSockaddr(to);
    for (;;) {
        const ssize_t sent = ::sendto(descriptor, data, size, MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&in), sizeof(in));
        if (sent < 0 && errno == EINTR)
            continue;
        return sent == static_cast<ssize_t>(size);
    }
}

int LastSocketError()
{
    return errno;
}

bool IsAddressInUse(int error)
{
    return error == EADDRINUSE;
}

std::string SocketErrorText(int error)
{
    char message[256] = {};
    // The GNU strerror_r returns the text, which need not be in `message`.
    const char* text = ::strerror_r(error, message, sizeof(message));
    char line[320];
    std::snprintf(line, sizeof(line), "(WSAGetLastError %d): %s", error,
                  (text != nullptr && text[0] != '\0') ? text : "<no error message>\n");
    return line;
}

}  // namespace Platform
