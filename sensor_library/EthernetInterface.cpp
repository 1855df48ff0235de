#include "sensor_library/EthernetInterface.h"

#include <algorithm>
#include <cstring>

#include "platform/Assert.h"
#include "platform/Clock.h"

EthernetInterface::~EthernetInterface()
{
    // Derived destructors stop; this only catches a derived class that forgot.
    if (!TL_ASSERT(!thread.joinable()))
        StopThread();
}

void EthernetInterface::SetLogger(const LibraryLogger& transport_logger)
{
    logger = transport_logger;
    connected_callback = nullptr;
    disconnected_callback = nullptr;
    data_callback = nullptr;
    read_data_callback = nullptr;
    receive_callback = nullptr;
    callback_context = 0;
    connected = false;
    target = TransportTarget();
    stop_requested = false;
    auto_reconnect = true;
}

void EthernetInterface::SetCallbacks(std::function<void()> on_connected,
                                     std::function<void()> on_disconnected, DataCallback data,
                                     uint64_t context, DataCallback read_data)
{
    connected_callback = std::move(on_connected);
    disconnected_callback = std::move(on_disconnected);
    data_callback = std::move(data);
    callback_context = context;
    read_data_callback = std::move(read_data);
}

void EthernetInterface::OnConnected()
{
    connected = true;
    if (connected_callback)
        connected_callback();
}

void EthernetInterface::OnDisconnected()
{
    connected = false;
    if (disconnected_callback)
        disconnected_callback();
}

void EthernetInterface::OnData(char* data, int length)
{
    if (data_callback)
        data_callback(data, length);
}

void EthernetInterface::Deliver(char* data, int length)
{
    logger.DumpReceived(data, static_cast<std::size_t>(length));
    OnData(data, length);
    if (read_data_callback)
        read_data_callback(data, length);
}

long EthernetInterface::ReceiveChunk(const ChunkReader& read_socket)
{
    if (!receive_callback) {
        const long count = read_socket(chunk.data(), chunk.size());
        if (count > 0)
            Deliver(chunk.data(), static_cast<int>(count));
        return count;
    }
    const long count = receive_callback([&](char* room, std::size_t size) {
        const long read = read_socket(room, std::min(size, chunk.size()));
        if (read > 0) {
            logger.DumpReceived(room, static_cast<std::size_t>(read));
            // The room is the connection's again once its receive lock is released.
            if (read_data_callback)
                std::memcpy(chunk.data(), room, static_cast<std::size_t>(read));
        }
        return read;
    });
    if (count > 0 && read_data_callback)
        read_data_callback(chunk.data(), static_cast<int>(count));
    return count;
}

void EthernetInterface::StartThread(const TransportTarget& new_target)
{
    StopThread();
    target = new_target;
    // An unparsable address stays 0.0.0.0:0; attempts then fail and are retried.
    sensor_address = Platform::SocketAddress();
    host_address = Platform::SocketAddress();
    Platform::SocketAddress::Parse(target.ip, target.port, sensor_address);
    Platform::SocketAddress::Parse(target.host_ip, target.host_port, host_address);
    connected = false;
    send_wait_ms = static_cast<int>(std::min<uint32_t>(
        target.timeout_ms != 0 ? target.timeout_ms : DEFAULT_SEND_WAIT_MS, INT32_MAX));
    stop_requested = false;
    auto_reconnect = true;
    wake.Clear();
    send_wake.Clear();
    next_attempt_at_once = true;
    thread = std::thread([this] { RunCatching(); });
}

void EthernetInterface::StopThread()
{
    stop_requested = true;
    wake.Wake();
    send_wake.Wake();
    if (thread.joinable())
        thread.join();
}

bool EthernetInterface::WaitForNextAttempt()
{
    if (!next_attempt_at_once) {
        const uint32_t elapsed = Platform::GetTickCountMs() - attempt_tick;
        if (elapsed < RETRY_INTERVAL_MS &&
            wake.WaitWoken(static_cast<int>(RETRY_INTERVAL_MS - elapsed)))
            return false;
    }
    next_attempt_at_once = false;
    attempt_tick = Platform::GetTickCountMs();
    return !stop_requested;
}

void EthernetInterface::PaceFromNow()
{
    attempt_tick = Platform::GetTickCountMs();
}

// An exception leaving the thread would end the application's process: it
// ends the link instead, which the connection then reports as lost.
void EthernetInterface::RunCatching() noexcept
{
    try {
        run();
        return;
    } catch (const std::exception& error) {
        LogException(error.what());
    } catch (...) {
        LogException("an unknown exception");
    }
    try {
        EndThread("Exit transport thread after an exception.");
    } catch (...) {
        connected = false;
    }
}

void EthernetInterface::LogException(const char* what) noexcept
{
    try {
        logger.Printf("Transport thread ended by %s", what);
    } catch (...) {
        // Nothing more to tell with.
    }
}

void EthernetInterface::EndThread(const char* exit_line)
{
    CloseSocket();
    OnDisconnected();
    logger.Log(exit_line);
}

void EthernetInterface::InstallSocket(Platform::Socket&& fresh)
{
    std::lock_guard<std::mutex> lock(socket_mutex);
    socket = std::move(fresh);
}

void EthernetInterface::CloseSocket()
{
    std::lock_guard<std::mutex> lock(socket_mutex);
    socket.Close();
}

bool EthernetInterface::SendLocked(const char* data, int length, bool datagram)
{
    if (data == nullptr || length < 0)
        return false;
    std::lock_guard<std::mutex> lock(socket_mutex);
    if (!socket.IsValid())
        return false;
    const auto size = static_cast<std::size_t>(length);
    return datagram ? socket.SendTo(data, size, sensor_address)
                    : socket.SendAll(data, size, &send_wake, send_wait_ms.load());
}

bool EthernetInterface::HasSocket()
{
    std::lock_guard<std::mutex> lock(socket_mutex);
    return socket.IsValid();
}

std::string EthernetInterface::Tag() const
{
    return std::to_string(reinterpret_cast<uintptr_t>(this));
}
