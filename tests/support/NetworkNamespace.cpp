#include "support/NetworkNamespace.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/HostNetwork.h"

namespace TestSupport {

bool InPrivateLoopbackNamespace()
{
    struct stat own {};
    struct stat initial {};
    // Process 1's namespace may be hidden from a namespaced process; the
    // adapter check below still refuses any namespace with a real adapter.
    if (::stat("/proc/thread-self/ns/net", &own) != 0) return false;
    if (::stat("/proc/1/ns/net", &initial) == 0 && own.st_ino == initial.st_ino &&
        own.st_dev == initial.st_dev)
        return false;
    for (const Platform::HostAdapter& adapter : Platform::ListHostAdapters())
        if (!adapter.loopback) return false;
    return true;
}

// Also removes what a crashed test process left: namespaces of dead processes.
TestNetwork::TestNetwork() : suffix(std::to_string(::getpid()))
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
        const std::string name = entry.path().filename().string();
        const std::size_t dash = name.rfind('-');
        if (name.starts_with("gtl") && dash != std::string::npos &&
            !std::filesystem::exists("/proc/" + name.substr(dash + 1)))
            Ip("netns del " + name);
    }
}

TestNetwork::~TestNetwork()
{
    for (const std::string& link : host_links) Ip("link del " + link + " 2>/dev/null");
    for (const std::string& ns : namespaces) Ip("netns del " + ns);
}

bool TestNetwork::Ip(const std::string& arguments, const std::string& ns)
{
    const std::string command = "ip " + (ns.empty() ? std::string() : "-n " + ns + " ") + arguments;
    return std::system(command.c_str()) == 0;
}

std::string TestNetwork::AddNamespace(const std::string& name)
{
    const std::string full = "gtl" + name + "-" + suffix;
    if (Ip("netns add " + full)) {
        namespaces.push_back(full);
        Ip("link set lo up", full);
    }
    return full;
}

bool TestNetwork::Link(const std::string& host_link, const std::string& host_cidr,
                       const std::string& ns, const std::string& peer_link,
                       const std::string& peer_cidr)
{
    if (!Ip("link add " + host_link + " type veth peer name " + peer_link + " netns " + ns))
        return false;
    Own(host_link);
    return Ip("addr add " + host_cidr + " dev " + host_link) &&
           Ip("link set " + host_link + " up") &&
           Ip("addr add " + peer_cidr + " dev " + peer_link, ns) &&
           Ip("link set " + peer_link + " up", ns) &&
           Ip("route add default dev " + peer_link, ns) && WaitRunning(host_link);
}

// The kernel raises a veth's carrier some time after "link set up" (link
// watch runs deferred, up to a second on a busy machine); discovery skips
// adapters without it.
bool TestNetwork::WaitRunning(const std::string& link)
{
    for (int attempt = 0; attempt < 500; ++attempt) {
        for (const Platform::HostAdapter& adapter : Platform::ListHostAdapters())
            if (adapter.name == link && adapter.up && adapter.running) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

EnterNamespace::EnterNamespace(const std::string& ns)
{
    original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    entered = original >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
    if (target >= 0) ::close(target);
}

EnterNamespace::~EnterNamespace()
{
    if (entered) ::setns(original, CLONE_NEWNET);
    if (original >= 0) ::close(original);
}

}  // namespace TestSupport
