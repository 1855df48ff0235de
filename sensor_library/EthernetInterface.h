// EthernetInterface.h: the transport of one sensor connection: one thread and
// one socket that deliver received chunks and send command texts.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "sensor_library/LibraryLogger.h"

// Where a transport connects (and, for UDP, where the sensor streams to).
struct TransportTarget {
    std::string ip;
    std::string port;
    uint32_t timeout_ms = 0;  // TCP: silence that counts as a lost link; 0 never
    std::string host_ip;
    std::string host_port;
};

// Lifetime: owned by its connection (CScanvo), which installs the logger and
// callbacks, calls start, and calls stop before releasing it.
// Threads: the transport thread runs `run` and every callback; `send` is
// called from application threads and from the transport thread itself, and
// is serialised by socket_mutex. The socket is replaced or closed only by the
// transport thread (while running) or by `stop` (after the join), both under
// socket_mutex.
class EthernetInterface {
public:
    using DataCallback = std::function<void(char*, int)>;
    // Reads one chunk into `room`, at most `size` bytes; the socket's count.
    using ChunkReader = std::function<long(char* room, std::size_t size)>;
    // Calls `read` once with room of its own for RECEIVE_CHUNK bytes, handles
    // what was read and returns read's count, so that a chunk lands in the
    // connection's buffer without a copy. Without it the data callback gets
    // each chunk.
    using ReceiveCallback = std::function<long(const ChunkReader& read)>;
    static constexpr int RECEIVE_CHUNK = 65535;
    static constexpr int SOCKET_BUFFER_BYTES = 42025000;
    static constexpr uint32_t RETRY_INTERVAL_MS = 1000;
    // How long a send waits for room when the connection has no time-out.
    static constexpr uint32_t DEFAULT_SEND_WAIT_MS = 1000;

    EthernetInterface() = default;
    EthernetInterface(const EthernetInterface&) = delete;
    EthernetInterface& operator=(const EthernetInterface&) = delete;
    virtual ~EthernetInterface();

    // Stores the logger and resets the transport: no callbacks, no socket,
    // not connected, auto-reconnect on.
    void SetLogger(const LibraryLogger& transport_logger);
    void SetCallbacks(std::function<void()> connected, std::function<void()> disconnected,
                      DataCallback data, uint64_t context, DataCallback read_data);
    void SetReceiveCallback(ReceiveCallback receive) { receive_callback = std::move(receive); }
    void SetAutoReconnect(bool on) { auto_reconnect = on; }
    bool AutoReconnect() const { return auto_reconnect.load(); }
    bool IsConnected() const { return connected.load(); }

    // Starts the thread; returns once it runs.
    virtual void start(const TransportTarget& target) = 0;
    // Ends the thread and returns after it has ended.
    virtual void stop() = 0;
    // length when every byte went out, else -1. A sensor that stops reading
    // holds a send up for at most the connection's time-out.
    virtual int send(const char* data, int length) = 0;
    // Ends a blocked send, and makes later ones fail, while the thread runs
    // on (a UDP stop still tells the sensor): its connection is closing.
    void Interrupt() { send_wake.Wake(); }

protected:
    virtual void run() = 0;

    void OnConnected();
    void OnDisconnected();
    void OnData(char* data, int length);
    // Dump, data callback, read-data callback.
    void Deliver(char* data, int length);
    // One chunk that `read_socket` reads, handed on as Deliver does; its count.
    long ReceiveChunk(const ChunkReader& read_socket);

    void StartThread(const TransportTarget& new_target);
    // Sets the stop flag, wakes every wait, joins the thread.
    void StopThread();
    // Paces connect and set-up attempts to one per RETRY_INTERVAL_MS, since
    // refusals come back at once; false once stopped. The first attempt after
    // start goes at once.
    bool WaitForNextAttempt();
    // Paces the attempt after a lost link from when the link was established:
    // a link that lived RETRY_INTERVAL_MS is retried at once, one the sensor
    // closed at once waits out the rest of the interval.
    void PaceFromNow();
    // The common end of the thread: no socket, one more disconnected callback.
    void EndThread(const char* exit_line);
    // The thread's body: `run`, and EndThread when it throws.
    void RunCatching() noexcept;
    void LogException(const char* what) noexcept;
    void InstallSocket(Platform::Socket&& fresh);
    void CloseSocket();
    // Sends under socket_mutex; false without a socket.
    bool SendLocked(const char* data, int length, bool datagram);
    bool HasSocket();
    std::string Tag() const;

    // Set before the thread starts; read by it.
    TransportTarget target;
    Platform::SocketAddress sensor_address;
    Platform::SocketAddress host_address;
    LibraryLogger logger;

    std::atomic<bool> stop_requested{false};
    std::atomic<bool> auto_reconnect{true};
    std::atomic<bool> connected{false};
    std::atomic<int> send_wait_ms{DEFAULT_SEND_WAIT_MS};
    Platform::WakeSignal wake;
    Platform::WakeSignal send_wake;  // woken by Interrupt and by stopping

    // Guarded by socket_mutex for writes and for sending; the transport
    // thread, its only writer while it runs, reads it without the lock.
    std::mutex socket_mutex;
    Platform::Socket socket;

private:
    std::function<void()> connected_callback;
    std::function<void()> disconnected_callback;
    DataCallback data_callback;
    DataCallback read_data_callback;
    ReceiveCallback receive_callback;
    uint64_t callback_context = 0;

    // Transport thread only.
    bool next_attempt_at_once = true;
    uint32_t attempt_tick = 0;
    // Chunks without a receive callback, and the read-data callback's copy.
    std::vector<char> chunk = std::vector<char>(RECEIVE_CHUNK);

    std::thread thread;  // joined by StopThread
};
