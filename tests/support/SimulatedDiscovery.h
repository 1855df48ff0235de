// SimulatedDiscovery.h: the discovery side of simulated sensors: answers
// both scan requests on UDP port 32003 and a network change for its own MAC.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/HostNetwork.h"

namespace TestSupport {

// One sensor's reply attributes, name to value; erase one to drop it.
using DiscoveryIdentity = std::map<std::string, std::string>;

// A complete identity: article TK3D-100, MAC 02:00:00:00:10:<last two of serial>.
DiscoveryIdentity SensorIdentity(const std::string& ip, const std::string& serial);
// The reply a sensor of that identity sends to a scan request.
std::string DiscoveryReply(const DiscoveryIdentity& identity);

struct DiscoveryOptions {
    bool broadcast_replies = false;  // to 255.255.255.255:32004, else to the requester
    // Runs on a network change the sensor took, with its new address, after
    // the sensor confirmed it.
    std::function<void(const std::string&)> on_set_network;
};

// Binds 0.0.0.0:32003 in the constructing thread's network namespace and
// answers there, one reply per identity, so one responder may stand for
// several sensors (or repeat one). The replies are built before the socket
// is bound and whenever an identity changes, so a scan of even a flood hears
// its first reply at once. Threads: its own receive thread; the members are
// thread-safe.
class SimulatedDiscovery {
public:
    SimulatedDiscovery(std::vector<DiscoveryIdentity> identities, DiscoveryOptions options = {});
    ~SimulatedDiscovery();
    SimulatedDiscovery(const SimulatedDiscovery&) = delete;
    SimulatedDiscovery& operator=(const SimulatedDiscovery&) = delete;

    bool IsListening() const { return listening; }
    void SetAttribute(std::size_t index, const std::string& name, const std::string& value);

private:
    void ReceiveLoop();
    void Answer(const std::string& request, const Platform::SocketAddress& from);
    void SendReplies(const Platform::SocketAddress& from);
    void Send(const std::string& reply, const Platform::SocketAddress& from);
    // The new address of the sensor that took the change, or empty.
    std::string ApplySetNetwork(const std::string& request);

    const DiscoveryOptions options;
    Platform::BroadcastSocket socket;
    int adapter_index = 0;
    bool listening = false;
    std::atomic<bool> stopping{false};

    // Guarded by mutex; replies[i] is DiscoveryReply(identities[i]).
    mutable std::mutex mutex;
    std::vector<DiscoveryIdentity> identities;
    std::vector<std::string> replies;

    std::thread receiver;  // last: the members above outlive it
};

}  // namespace TestSupport
