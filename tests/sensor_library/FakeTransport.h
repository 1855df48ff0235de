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

    void start(const TransportTarget&) override {}
    void stop() override { stopped = true; }
    int send(const char* data, int length) override
    {
        const std::string text(data, static_cast<std::size_t>(length));
        std::function<void(const std::string&)> answer;
        {
            std::lock_guard<std::mutex> lock(mutex);
            sent.push_back(text);
            answer = responder;
        }
        if (answer)
            answer(text);
        return length;
    }

    // Runs on the sending thread after a send was recorded, like a sensor
    // that answers at once.
    void SetResponder(std::function<void(const std::string&)> answer)
    {
        std::lock_guard<std::mutex> lock(mutex);
        responder = std::move(answer);
    }

    void Connect() { OnConnected(); }
    void Disconnect() { OnDisconnected(); }
    void Feed(TestSupport::Bytes bytes)
    {
        Deliver(reinterpret_cast<char*>(bytes.data()), static_cast<int>(bytes.size()));
    }

    std::vector<std::string> Sent() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return sent;
    }
    void ClearSent()
    {
        std::lock_guard<std::mutex> lock(mutex);
        sent.clear();
    }
    bool Stopped() const { return stopped; }

protected:
    void run() override {}

private:
    mutable std::mutex mutex;
    std::vector<std::string> sent;
    std::function<void(const std::string&)> responder;
    bool stopped = false;
};
