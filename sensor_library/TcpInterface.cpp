#include "sensor_library/TcpInterface.h"

#include <cerrno>

TcpInterface::~TcpInterface()
{
    stop();
}

void TcpInterface::start(const TransportTarget& new_target)
{
    logger.Log("Starting the TCP thread");
    StartThread(new_target);
}

void TcpInterface::stop()
{
    if (!stop_requested.exchange(true))
        logger.Log("Stopping the TCP thread.");
    // Waking ends connect, receive and send waits at once; the socket is
    // closed only after the join, so no other thread can still be using it.
    StopThread();
    CloseSocket();
}

int TcpInterface::send(const char* data, int length)
{
    if (!connected)
        return -1;
    return SendLocked(data, length, false) ? length : -1;
}

void TcpInterface::run()
{
    logger.Log("TCP thread has started");
    while (WaitForNextAttempt()) {
        Platform::Socket fresh = ConnectOnce();
        if (!fresh.IsValid())
            continue;
        InstallSocket(std::move(fresh));
        PaceFromNow();
        OnConnected();
        if (stop_requested)
            break;
        const LinkEnd end = ReceiveUntilLost();
        CloseSocket();
        OnDisconnected();
        if (end == LinkEnd::Exit)
            break;
    }
    EndThread("Exit TCP client thread.");
}

Platform::Socket TcpInterface::ConnectOnce()
{
    Platform::Socket fresh = Platform::Socket::Tcp();
    if (!fresh.IsValid()) {
        logger.Log("Error: Invalid socket.");
        return fresh;
    }
    fresh.SetBufferSizes(SOCKET_BUFFER_BYTES);
    fresh.SetKeepAlive(3, 1, 10);
    int error = 0;
    const Platform::ConnectResult result =
        fresh.Connect(sensor_address, CONNECT_WAIT_MS, &wake, &error);
    if (result == Platform::ConnectResult::Connected)
        return fresh;
    if (result != Platform::ConnectResult::Woken) {
        const std::string text = Platform::SocketErrorText(error);
        logger.Printf("Trying to connect. Error: %d  %s %d %s",
                      result == Platform::ConnectResult::TimedOut ? 0 : -1, text.c_str(), -1,
                      text.c_str());
    }
    return Platform::Socket();
}

TcpInterface::LinkEnd TcpInterface::ReceiveUntilLost()
{
    // Without a time-out an idle link is never dropped; the wait then lasts
    // until data, a hang-up or stop.
    const int wait_ms = target.timeout_ms == 0 ? -1 : static_cast<int>(target.timeout_ms);
    while (!stop_requested) {
        const Platform::SocketWait waited = socket.WaitReadable(wait_ms, &wake);
        if (waited == Platform::SocketWait::Woken)
            return LinkEnd::Exit;
        if (waited != Platform::SocketWait::Ready) {
            return LoseLink("select", waited == Platform::SocketWait::TimedOut
                                          ? 0
                                          : Platform::LastSocketError());
        }
        const long count = ReceiveChunk(
            [this](char* room, std::size_t size) { return socket.Receive(room, size); });
        if (count > 0)
            continue;
        const int error = count == 0 ? 0 : Platform::LastSocketError();
        if (count < 0 && error == EAGAIN)
            continue;
        return LoseLink("recv", error);
    }
    return LinkEnd::Exit;
}

TcpInterface::LinkEnd TcpInterface::LoseLink(const char* where, int error)
{
    const std::string text = Platform::SocketErrorText(error);
    const bool reconnect = auto_reconnect && !stop_requested;
    logger.Printf("connection is lost in %s, %s Error: %d  %s", where,
                  reconnect ? "try to reconnect." : "Exit.", error, text.c_str());
    return reconnect ? LinkEnd::Reconnect : LinkEnd::Exit;
}
