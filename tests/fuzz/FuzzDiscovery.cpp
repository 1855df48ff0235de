// Discovery replies as any host on a sensor subnet can send them: the input
// is a mode byte (bit 0: the collection of a network change, else a scan),
// then datagrams, each a 16-bit length and that many bytes. A scan's kept
// replies become device tags as the interface makes them.
#include <cstring>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "gentl_producers/GenTesk3d/CVEXO.h"
#include "gentl_producers/GenTesk3d/DeviceTagTesk.h"

namespace {

using namespace GenTLCore::ZoTL;

// One wired adapter, 10.213.1.1/24; the port is free; the input's datagrams
// arrive at once, then silence.
class ScriptedTransport : public DiscoveryTransport {
public:
    explicit ScriptedTransport(FuzzInput& input) : input(input) {}

    std::vector<Platform::HostAdapter> ListHostAdapters() override
    {
        Platform::HostAdapter adapter;
        adapter.name = "h0";
        adapter.index = 2;
        adapter.up = adapter.running = adapter.ethernet = true;
        adapter.addresses.push_back({0x0AD50101, 0xFFFFFF00});
        return {adapter};
    }
    PortOpen Open(std::string&) override { return PortOpen::Ok; }
    void PauseMs(int) override {}
    bool Send(const std::string&, int, uint32_t) override { return true; }
    Platform::SocketWait WaitReadable(int) override
    {
        return input.RestSize() > 0 ? Platform::SocketWait::Ready : Platform::SocketWait::TimedOut;
    }
    long Receive(char* buffer, std::size_t size) override
    {
        std::size_t count = std::min<std::size_t>(input.Take<uint16_t>(), size);
        const uint8_t* bytes = input.TakeBytes(count);
        if (count > 0) std::memcpy(buffer, bytes, count);
        return static_cast<long>(count);
    }
    void Close() override {}

private:
    FuzzInput& input;  // the fuzzer's, for this run
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const bool network_change = (input.Take<uint8_t>() & 1) != 0;
    ScriptedTransport transport(input);
    CVEXO vexo(transport, 1000);
    if (network_change) {
        vexo.SetNetwork("02:00:00:00:10:01", "10.213.1.9", "255.255.255.0", "10.213.1.254");
        return 0;
    }
    const std::map<std::string, std::string> replies = vexo.Scan();
    if (replies.size() > CVEXO::MAX_REPLIES) __builtin_trap();
    GenTLCore::SharedPtr<GenTLCore::DeviceTag> previous;
    for (const auto& [address, reply] : replies) {
        std::string rejection;
        const auto tag = DeviceTagTesk::FromReply(reply, vexo.Adapters(), rejection);
        if (!tag) continue;
        if (tag->GetID().empty()) __builtin_trap();
        tag->MatchesAlternativeID("IP", address);
        if (previous && previous->IsSameAs(*tag)) previous->UpdateFrom(*tag);
        previous = tag;
    }
    return 0;
}
