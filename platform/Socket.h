// Socket.h: IPv4 TCP and UDP sockets for the sensor library and its test
// sensor, with waits that another thread can end through a WakeSignal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Platform {

// An IPv4 address and port. `ipv4` is in host byte order (127.0.0.1 is
// 0x7F000001).
struct SocketAddress {
    uint32_t ipv4 = 0;
    uint16_t port = 0;

    // Dotted decimal address and decimal port; false for anything else
    // (names are not resolved).
    static bool Parse(const std::string& ip, const std::string& port, SocketAddress& out);
    std::string IpText() const;
};

// A wake-up that any number of waits observe: once Wake() is called, every
// current and later wait taking this signal returns Woken until Clear().
// Thread-safe; the object must outlive every wait that uses it.
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    void Wake();
    void Clear();
    bool IsWoken() const;
    // Waits up to timeout_ms for Wake(); true when woken.
    bool WaitWoken(int timeout_ms) const;
    int Descriptor() const { return descriptor; }

private:
    const int descriptor;
};

enum class SocketWait { Ready, TimedOut, Woken, Failed };
enum class ConnectResult { Connected, TimedOut, Refused, Woken };

// Owns one socket descriptor; closes it on destruction. Move-only.
// Threads: a socket may be used by two threads at once (one receiving, one
// sending), but closing or replacing it must be excluded from both by its
// owner, since a closed descriptor number can be reused at once.
class Socket {
public:
    static Socket Tcp();
    static Socket Udp();

    Socket() = default;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool IsValid() const { return descriptor >= 0; }
    void Close();
    // Ends the connection in both directions; blocked calls on it return.
    void Shutdown();

    bool SetNonBlocking(bool on);
    bool SetBufferSizes(int bytes);
    // A peer that stops answering, idle or with data unacknowledged, ends the
    // connection after idle_s + interval_s * probes seconds.
    bool SetKeepAlive(int idle_s, int interval_s, int probes);
    bool SetNoDelay(bool on);
    bool SetReuseAddress(bool on);

    bool Bind(const SocketAddress& address);
    bool Listen(int backlog);
    bool LocalAddress(SocketAddress& out) const;
    // Waits up to timeout_ms (-1: for ever) for a connection.
    Socket Accept(int timeout_ms, const WakeSignal* wake, SocketAddress* peer = nullptr);

    // Non-blocking connect waited for at most timeout_ms. Leaves the socket
    // non-blocking. A refused attempt is reported as Refused, never as
    // Connected. `error` receives the system error number of a failure.
    ConnectResult Connect(const SocketAddress& address, int timeout_ms, const WakeSignal* wake,
                          int* error);

    // timeout_ms -1 waits for ever.
    SocketWait WaitReadable(int timeout_ms, const WakeSignal* wake) const;

    // Bytes received; 0 when the peer closed; -1 on error (LastSocketError()),
    // including "nothing there yet" on a non-blocking socket.
    long Receive(void* buffer, std::size_t size);
    long ReceiveFrom(void* buffer, std::size_t size, SocketAddress* from);

    // Sends every byte, waiting for room at most timeout_ms at a time (-1:
    // as long as needed) unless woken. Never raises SIGPIPE. False when the
    // connection failed, a wait timed out or was woken; some bytes may have
    // gone out then.
    bool SendAll(const void* data, std::size_t size, const WakeSignal* wake, int timeout_ms = -1);
    bool SendTo(const void* data, std::size_t size, const SocketAddress& to);

private:
    explicit Socket(int fd) : descriptor(fd) {}
    int descriptor = -1;
};

// The calling thread's last system error number.
int LastSocketError();
// Whether a failed bind found the address held by another socket.
bool IsAddressInUse(int error);

// "(WSAGetLastError <n>): <system text>", the form the sensor library logs.
std::string SocketErrorText(int error);

}  // namespace Platform
