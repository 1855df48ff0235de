// SimulatedDiscovery.h: the discovery side of simulated sensors: answers
// both scan requests on UDP port 32003 and a network change for its own MAC.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/HostNetwork.h"

namespace TestSupport {

// One sensor as its reply describes it.
struct DiscoveryIdentity {
    std::string ip;
    std::string netmask = "255.255.255.0";
    std::string gateway = "0.0.0.0";
    std::string mac = "02:00:00:00:00:01";
    std::string article = "TK3D-100";
    std::string serial = "1001";
    std::string connect_state;
    std::string user_string = "line 1";
    std::string type = "profile-generator";
    std::set<std::string> dropped;                 // attributes left out
    std::map<std::string, std::string> raw_values;  // attribute -> value sent as is
};

struct DiscoveryOptions {
    bool broadcast_replies = false;  // to 255.255.255.255:32004, else to the requester
    bool answer_second_form = true;
    int repeats = 1;  // copies of each reply
    // Runs on a confirmed network change, with the new address, mask and gateway.
    std::function<void(const std::string&, const std::string&, const std::string&)> on_set_network;
};

// Binds 0.0.0.0:32003 in the constructing thread's network namespace and
// answers there; one reply per identity, so one responder may stand for
// several sensors. Threads: its own receive thread; members are thread-safe.
class SimulatedDiscovery {
public:
    SimulatedDiscovery(std::vector<DiscoveryIdentity> identities, DiscoveryOptions options = {});
    ~SimulatedDiscovery();
    SimulatedDiscovery(const SimulatedDiscovery&) = delete;
    SimulatedDiscovery& operator=(const SimulatedDiscovery&) = delete;

    bool IsListening() const { return listening; }
    void SetIdentity(std::size_t index, const DiscoveryIdentity& identity);
    DiscoveryIdentity Identity(std::size_t index) const;
    std::vector<std::string> Requests() const;

    static std::string ReplyText(const DiscoveryIdentity& identity, const std::string& command);

private:
    void ReceiveLoop();
    void Answer(const std::string& request, const Platform::SocketAddress& from);
    void SendReply(const std::string& text, const Platform::SocketAddress& from);
    bool ApplySetNetwork(const std::string& request);

    const DiscoveryOptions options;
    Platform::BroadcastSocket socket;
    int adapter_index = 0;
    bool listening = false;
    std::atomic<bool> stopping{false};

    mutable std::mutex mutex;
    // Guarded by mutex.
    std::vector<DiscoveryIdentity> identities;
    std::vector<std::string> requests;

    std::thread receiver;  // last: the members above outlive it
};

}  // namespace TestSupport
