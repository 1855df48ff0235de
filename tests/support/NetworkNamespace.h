// NetworkNamespace.h: throw-away network topologies for tests that
// broadcast: namespaces joined by veth pairs, never linked to a real adapter.
#pragma once

#include <string>
#include <vector>

namespace TestSupport {

// True when the calling thread's network namespace is not process 1's and
// holds no adapter but lo: a namespace made for this test process, the only
// place where a test may build links and broadcast.
bool InPrivateLoopbackNamespace();

// Namespaces and links made for one test; the destructor removes them all.
// The calling process is the host side: run it in a namespace of its own
// (the test launcher does). Names carry the process id, so parallel tests
// never share one.
class TestNetwork {
public:
    TestNetwork();
    ~TestNetwork();
    TestNetwork(const TestNetwork&) = delete;
    TestNetwork& operator=(const TestNetwork&) = delete;

    // A namespace with `lo` up; returns its full name.
    std::string AddNamespace(const std::string& name);
    // A veth pair: `host_link` here with `host_cidr`, `peer_link` in `ns`
    // with `peer_cidr`, both up and the host end running; the peer's
    // namespace routes broadcasts to it.
    bool Link(const std::string& host_link, const std::string& host_cidr, const std::string& ns,
              const std::string& peer_link, const std::string& peer_cidr);
    // Runs `ip <arguments>` (in `ns` unless empty); false when it failed.
    bool Ip(const std::string& arguments, const std::string& ns = std::string());
    // Remembers a link made here by Ip(), to remove it at the end.
    void Own(const std::string& host_link) { host_links.push_back(host_link); }

private:
    bool WaitRunning(const std::string& link);

    const std::string suffix;
    std::vector<std::string> namespaces;
    std::vector<std::string> host_links;
};

// Moves the calling thread into a named namespace for its lifetime, so the
// sockets it creates live there; they stay there after it ends.
class EnterNamespace {
public:
    explicit EnterNamespace(const std::string& ns);
    ~EnterNamespace();
    EnterNamespace(const EnterNamespace&) = delete;
    EnterNamespace& operator=(const EnterNamespace&) = delete;
    bool Entered() const { return entered; }

private:
    int original = -1;
    bool entered = false;
};

}  // namespace TestSupport
