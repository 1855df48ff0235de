// TcpInterface.h: the TCP transport: one connection to the sensor for its
// commands and its data, reconnected while auto-reconnect is on.
#pragma once

#include "sensor_library/EthernetInterface.h"

// Threads and lifetime: see EthernetInterface.
class TcpInterface : public EthernetInterface {
public:
    static constexpr int CONNECT_WAIT_MS = 1000;

    TcpInterface() = default;
    ~TcpInterface() override;

    void start(const TransportTarget& target) override;
    void stop() override;
    // -1 at once while not connected.
    int send(const char* data, int length) override;

protected:
    void run() override;

private:
    enum class LinkEnd { Reconnect, Exit };

    Platform::Socket ConnectOnce();
    LinkEnd ReceiveUntilLost();
    LinkEnd LoseLink(const char* where, int error);
};
