#include "sensor_library/UdpInterface.h"

UdpInterface::~UdpInterface()
{
    stop();
}

void UdpInterface::start(const TransportTarget& new_target)
{
    logger.Log("Starting the UDP thread");
    StartThread(new_target);
}

void UdpInterface::stop()
{
    if (!stop_requested.exchange(true)) {
        logger.Log("Stopping the UDP thread");
        // Both go out whatever the first one did; without a socket there is
        // no stream to stop.
        if (HasSocket()) {
            SendCommand("SetUDPSocketStart=0");
            SendCommand("SetAcquisitionStop");
        }
    }
    StopThread();
    CloseSocket();
}

int UdpInterface::send(const char* data, int length)
{
    return SendLocked(data, length, true) ? length : -1;
}

bool UdpInterface::SendCommand(const std::string& command)
{
    if (send(command.data(), static_cast<int>(command.size())) >= 0)
        return true;
    logger.Log("Error: " + command + ", error code : " + std::to_string(Platform::LastSocketError()));
    return false;
}

void UdpInterface::run()
{
    while (WaitForNextAttempt()) {
        if (!SetUp())
            continue;
        OnConnected();
        if (!stop_requested) {
            logger.Log("receiving");
            ReceiveDatagrams();
        }
        break;
    }
    EndThread("Exit UDP client thread.");
}

// A fresh socket per attempt: a socket that failed its set-up stays bound
// and could never be bound again.
bool UdpInterface::SetUp()
{
    Platform::Socket fresh = Platform::Socket::Udp();
    if (!fresh.IsValid()) {
        logger.Log("Error " + std::to_string(Platform::LastSocketError()));
        return false;
    }
    fresh.SetBufferSizes(SOCKET_BUFFER_BYTES);
    logger.Log("connecting");
    if (!fresh.Bind(host_address)) {
        const std::string text = Platform::SocketErrorText(Platform::LastSocketError());
        logger.Printf("Trying to bind. Error: %d  %s", -1, text.c_str());
        return false;
    }
    InstallSocket(std::move(fresh));
    if (StartUdpStream())
        return true;
    CloseSocket();
    return false;
}

bool UdpInterface::StartUdpStream()
{
    const std::string commands[] = {"SetUDPSocketStart=0", "SetAcquisitionStop",
                                    "SetUDPSocketIP=" + target.host_ip,
                                    "SetUDPSocketPort=" + target.host_port, "SetUDPSocketStart=1"};
    for (const std::string& command : commands) {
        if (!SendCommand(command))
            return false;
    }
    return true;
}

void UdpInterface::ReceiveDatagrams()
{
    while (!stop_requested) {
        const Platform::SocketWait waited = socket.WaitReadable(-1, &wake);
        if (waited == Platform::SocketWait::Woken || waited == Platform::SocketWait::Failed)
            return;
        ReceiveChunk([this](char* room, std::size_t size) {
            Platform::SocketAddress from;
            const long count = socket.ReceiveFrom(room, size, &from);
            // Only the sensor's address counts; its source port may be any.
            return count > 0 && from.ipv4 == sensor_address.ipv4 ? count : 0L;
        });
    }
}
