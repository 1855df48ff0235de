// scanvo_demo: loads the producer (.cti) as an application of the sensor
// library does, connects to a sensor through its Scanvo_ functions, starts
// acquisition, reads profiles and prints a line for each.
// Usage: scanvo_demo <cti> <ip> <port> [profiles]
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "ScanvoLoader.h"

namespace {

constexpr int READY = 3;
constexpr int MAX_POINTS = 4096;
constexpr int PROFILE_TIMEOUT_MS = 2000;
constexpr auto READY_TIMEOUT = std::chrono::seconds(10);

// Polls the connection state until it is ready or the time is up.
bool WaitReady(const ScanvoFunctions& api, void* handle)
{
    const auto deadline = std::chrono::steady_clock::now() + READY_TIMEOUT;
    int status = 0;
    for (;;) {
        const int result = api.Scanvo_GetConnectStatus(handle, &status);
        if (result == 0 && status == READY)
            return true;
        if (std::chrono::steady_clock::now() >= deadline) {
            std::printf("not ready after %llds (result %d, status %d)\n",
                        static_cast<long long>(READY_TIMEOUT.count()), result, status);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool Send(const ScanvoFunctions& api, void* handle, std::string command)
{
    std::string text = command + "\r";
    const int result = api.Scanvo_WriteData(handle, text.data(), static_cast<int>(text.size()));
    std::printf("WriteData \"%s\": %d\n", command.c_str(), result);
    return result > 0;
}

// Reads `count` profiles, one line each; true when all arrived.
bool ReadProfiles(const ScanvoFunctions& api, void* handle, int count)
{
    std::vector<double> x(MAX_POINTS), z(MAX_POINTS);
    std::vector<int> intensity(MAX_POINTS), width(MAX_POINTS);
    for (int i = 0; i < count; ++i) {
        unsigned int encoder = 0;
        int picture = 0;
        const int points = api.Scanvo_GetXZIExtended(
            handle, x.data(), z.data(), intensity.data(), width.data(), MAX_POINTS, &encoder,
            nullptr, PROFILE_TIMEOUT_MS, nullptr, 0, &picture);
        if (points <= 0) {
            std::printf("profile %2d: GetXZIExtended failed with %d\n", i + 1, points);
            return false;
        }
        const int middle = points / 2;
        std::printf("profile %2d: picture %5d, %4d points, first x=%8.3f z=%8.3f, "
                    "middle x=%8.3f z=%8.3f i=%d, fifo %d\n",
                    i + 1, picture, points, x[0], z[0], x[middle], z[middle], intensity[middle],
                    api.Scanvo_GetDllFiFoState(handle));
    }
    return true;
}

bool RunSession(const ScanvoFunctions& api, std::string ip, std::string port, int count)
{
    unsigned char version[64] = {};
    if (api.Scanvo_GetVersion(version, sizeof version - 1) >= 0)
        std::printf("sensor library version: %s\n", reinterpret_cast<const char*>(version));
    void* handle = api.Scanvo_Connect(ip.data(), port.data(), 0);
    std::printf("Connect %s:%s: %s\n", ip.c_str(), port.c_str(), handle ? "ok" : "failed");
    if (handle == nullptr)
        return false;
    bool ok = WaitReady(api, handle);
    if (ok) {
        std::printf("connection ready\n");
        ok = Send(api, handle, "SetAcquisitionStart") && ReadProfiles(api, handle, count);
        ok = Send(api, handle, "SetAcquisitionStop") && ok;
    }
    const bool closed = api.Scanvo_Disconnect(handle) == nullptr;
    std::printf("Disconnect: %s\n", closed ? "ok" : "failed");
    return ok && closed;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <cti> <ip> <port> [profiles]\n", argv[0]);
        return 2;
    }
    const int count = argc > 4 ? std::atoi(argv[4]) : 20;
    ScanvoLoader cti(argv[1]);
    if (!cti.IsComplete()) {
        std::fprintf(stderr, "cannot use %s: %s\n", argv[1], cti.Error().c_str());
        return 1;
    }
    std::printf("Loaded %s: all Scanvo_ functions found\n", argv[1]);
    const bool ok = RunSession(*cti.operator->(), argv[2], argv[3], count);
    std::printf("scanvo demo %s\n", ok ? "succeeded" : "FAILED");
    return ok ? 0 : 1;
}
