// CVEXO.h: the client of the sensors' UDP discovery protocol: a scan that
// collects one reply per sensor, and a request that gives one sensor new
// network settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gentl_producers/GenTesk3d/network_interfaces.h"
#include "platform/HostNetwork.h"

namespace GenTLCore::ZoTL {

constexpr uint16_t DISCOVERY_LOCAL_PORT = 32004;
constexpr uint16_t DISCOVERY_SENSOR_PORT = 32003;

// How opening the discovery port went; Ok also when nothing needed it.
enum class PortOpen { Ok, Busy, Failed };

// The socket and adapter list a CVEXO works through; tests supply a fake.
class DiscoveryTransport {
public:
    virtual ~DiscoveryTransport() = default;
    virtual std::vector<Platform::HostAdapter> ListHostAdapters() = 0;
    // Binds DISCOVERY_LOCAL_PORT; Busy when another socket holds it, else
    // `failed_step` names what failed.
    virtual PortOpen Open(std::string& failed_step) = 0;
    // Lets time pass before the next attempt at a busy port.
    virtual void PauseMs(int ms) = 0;
    // One broadcast to 255.255.255.255:DISCOVERY_SENSOR_PORT out of the adapter.
    virtual bool Send(const std::string& payload, int adapter_index, uint32_t source) = 0;
    virtual Platform::SocketWait WaitReadable(int timeout_ms) = 0;
    // Bytes received, or -1.
    virtual long Receive(char* buffer, std::size_t size) = 0;
    virtual void Close() = 0;
};

// The real transport: one Platform::BroadcastSocket.
class UdpDiscoveryTransport : public DiscoveryTransport {
public:
    std::vector<Platform::HostAdapter> ListHostAdapters() override;
    PortOpen Open(std::string& failed_step) override;
    void PauseMs(int ms) override;
    bool Send(const std::string& payload, int adapter_index, uint32_t source) override;
    Platform::SocketWait WaitReadable(int timeout_ms) override;
    long Receive(char* buffer, std::size_t size) override;
    void Close() override;

private:
    Platform::BroadcastSocket socket;
};

// Lives for one Scan or SetNetwork on the calling thread's stack; both block
// that thread for at least SILENCE_MS once a request went out, and for at
// most the total limit waiting for a busy port plus the total limit
// collecting replies.
class CVEXO {
public:
    static constexpr int SILENCE_MS = 500;
    static constexpr int TOTAL_LIMIT_MS = 10000;
    // Distinct addresses kept per scan. Installations hold a few dozen
    // sensors; more replies than this come from a fault or a flood, and each
    // kept one later costs a device object.
    static constexpr std::size_t MAX_REPLIES = 512;
    static constexpr int PORT_RETRY_MS = 20;

    // `transport` outlives this object.
    explicit CVEXO(DiscoveryTransport& transport, int total_limit_ms = TOTAL_LIMIT_MS);

    // One reply text per sensor, keyed by its IPADDR; whatever was collected.
    std::map<std::string, std::string> Scan();
    // True when any reply confirmed the change.
    bool SetNetwork(const std::string& mac, const std::string& ip, const std::string& netmask,
                    const std::string& gateway);
    // The adapters of the last complete scan; empty after a failed step.
    const std::vector<NetworkAdapter>& Adapters() const { return adapters; }
    // How the last Scan or SetNetwork opened the port, and the system error
    // of a failure.
    PortOpen PortResult() const { return port_result; }
    int PortError() const { return port_error; }

    // False for a reply without IPADDR, or from an address beyond MAX_REPLIES.
    bool StoreReply(const char* bytes, std::size_t count);
    static std::string ExtractIPAddress(const std::string& reply);

private:
    struct Source {
        int adapter_index;
        uint32_t address;
    };

    bool OpenSockets();
    bool ScanDevices();
    bool ScanNetworkInterfaces();
    bool SendSetNetwork(const std::string& request);
    bool Collect(bool store_every_reply);
    void CloseSockets();
    bool Keep(const std::string& address, const std::string& reply, bool replace);

    DiscoveryTransport& transport;  // the caller's, outlives this object
    const int total_limit_ms;
    std::vector<Platform::HostAdapter> host;
    std::vector<Source> sources;
    std::vector<NetworkAdapter> adapters;
    std::map<std::string, std::string> replies;
    bool warned_full = false;  // the MAX_REPLIES warning, once a collection
    PortOpen port_result = PortOpen::Ok;
    int port_error = 0;
};

}  // namespace GenTLCore::ZoTL
