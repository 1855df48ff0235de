// UdpInterface.h: the UDP transport: commands go to the sensor as datagrams,
// and the sensor streams its frames as datagrams to the host address.
#pragma once

#include "sensor_library/EthernetInterface.h"

// Threads and lifetime: see EthernetInterface. Never reconnects by itself.
class UdpInterface : public EthernetInterface {
public:
    UdpInterface() = default;
    ~UdpInterface() override;

    void start(const TransportTarget& target) override;
    void stop() override;
    // One datagram to the sensor; -1 while there is no socket.
    int send(const char* data, int length) override;

protected:
    void run() override;

private:
    bool SetUp();
    bool StartUdpStream();
    bool SendCommand(const std::string& command);
    void ReceiveDatagrams();
};
