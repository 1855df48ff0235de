// FakeTransport.h: a transport without a socket, driven by the test: it
// records what the connection sends and delivers what the test feeds.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sensor_library/EthernetInterface.h"
#include "support/ContainerBuilder.h"

class FakeTransport : public EthernetInterface {
public:
    ~FakeTransport() override { stop(); }

    void start(const TransportTarget& new_target) override;
    void stop() override { stopped = true; }
    int send(const char* data, int length) override;

    // Runs on the sending thread after a send was recorded, like a sensor
    // that answers at once.
    void SetResponder(std::function<void(const std::string&)> responder);

    void Connect() { OnConnected(); }
    void Disconnect() { OnDisconnected(); }
    void Feed(const TestSupport::Bytes& bytes);

    std::vector<std::string> Sent() const;
    void ClearSent();
    TransportTarget StartedWith() const { return started_with; }
    bool Started() const { return started; }
    bool Stopped() const { return stopped; }

protected:
    void run() override {}

private:
    mutable std::mutex mutex;
    std::vector<std::string> sent;
    std::function<void(const std::string&)> responder;
    TransportTarget started_with;
    bool started = false;
    bool stopped = false;
};
