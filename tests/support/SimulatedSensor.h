// SimulatedSensor.h: a laser-line sensor on a loopback address that speaks
// the real wire protocol: text commands ended by a carriage return, the
// linearization frame, text replies, sync frames and streamed containers,
// over TCP or UDP, with knobs to break each of them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ContainerBuilder.h"
#include "SensorScans.h"
#include "SimulatedSensorModel.h"
#include "platform/Socket.h"

namespace TestSupport {

enum class LinMode { Ok, Omit };
// How the sensor answers a text request: at once, or after 300 ms, well within
// the library's reply time. The other modes leave the library without a
// usable reply: none at all, the first half of the container, a container
// of text that is no status document, a 1 MB line, or the whole container
// one byte per 100 ms.
enum class ReplyMode { Normal, Slow, Silent, Truncated, Garbage, HugeLine, Trickle };

struct ReceivedCommand {
    std::string text;  // without its carriage return
    bool had_cr = false;
    std::chrono::steady_clock::time_point when;
};

// Lifetime: owns its sockets and threads; the destructor stops and joins them.
// Threads: every member may be called from the test's thread while the
// sensor's threads (accept, one reader per connection, UDP reader, streamer)
// run; all shared state is under `mutex`.
class SimulatedSensor {
public:
    struct Options {
        std::string ip = "127.0.0.1";
        bool udp = false;   // UDP command socket and datagram streaming instead of TCP
        uint16_t port = 0;  // 0: an ephemeral port, so parallel tests never collide
    };

    // Makes the XML text from the settings written so far.
    using XmlBuilder = std::function<std::string(const std::map<std::string, std::string>&)>;

    SimulatedSensor();
    explicit SimulatedSensor(const Options& options);
    ~SimulatedSensor();
    SimulatedSensor(const SimulatedSensor&) = delete;
    SimulatedSensor& operator=(const SimulatedSensor&) = delete;

    const std::string& Ip() const { return ip; }
    uint16_t Port() const { return port; }
    std::string PortText() const { return std::to_string(port); }

    // Behaviour.
    void SetLinModel(const LinModel& model, const LinContent& content = LinContent())
    {
        Put(&SimulatedSensor::lin_data, BuildLin1dd(model, content));
    }
    void SetLinMode(LinMode mode, int delay_ms = 0);
    void SetReplyMode(ReplyMode mode) { Put(&SimulatedSensor::reply_mode, mode); }
    // Empty: built from the settings written so far.
    void SetXml(const std::string& xml) { Put(&SimulatedSensor::fixed_xml, xml); }
    void SetXmlBuilder(XmlBuilder builder) { Put(&SimulatedSensor::xml_builder, builder); }
    void SetStreamRate(int per_second) { Put(&SimulatedSensor::stream_rate, per_second); }
    // Points per profile; SetLinModel with a field as wide keeps every point in the tables.
    void SetStreamWidth(uint32_t width) { Put(&SimulatedSensor::stream_width, width); }
    // Streams until ContainersSent() reaches `total`, then holds the next
    // container until the limit is raised.
    void LimitContainersSent(uint32_t total);

    // Actions.
    // A setting as another client's "Set<item>=<value>" leaves it.
    void SetSetting(const std::string& item, const std::string& value);
    void SendRaw(const Bytes& bytes);
    // With `forget_settings` as a sensor restarted at the same address: the
    // settings written so far are gone with the links.
    void DropConnectionNow(bool forget_settings = false);
    void RefuseConnections(bool refuse);
    // Once it has acted on `command` (empty: none), the sensor drops every
    // link, after it stopped listening when `then_refuse`.
    void SetDropOn(const std::string& command, bool then_refuse = false);
    // UDP: datagrams to the streaming destination from another address or port.
    void SendFromOtherAddress(const Bytes& bytes, const std::string& other_ip = "127.0.0.2");
    void SendFromOtherPort(const Bytes& bytes) { SendFromOtherAddress(bytes, ip); }

    // Observations.
    std::vector<ReceivedCommand> Commands() const { return Get(&SimulatedSensor::commands); }
    std::vector<std::string> CommandTexts() const;
    // True once `text` has arrived `occurrences` times.
    bool WaitForCommand(const std::string& text,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5),
                        std::size_t occurrences = 1) const;
    void ClearCommands() { Put(&SimulatedSensor::commands, std::vector<ReceivedCommand>()); }
    int AcceptedConnections() const { return Get(&SimulatedSensor::accepted); }
    std::size_t LiveConnections() const { return LiveSessions().size(); }
    std::string Setting(const std::string& item) const;
    bool IsStreaming() const { return Get(&SimulatedSensor::streaming); }
    uint32_t ContainersSent() const { return Get(&SimulatedSensor::containers_sent); }
    std::string CurrentXml() const;

private:
    struct Session;
    struct Destination {
        std::shared_ptr<Session> session;  // TCP; null for UDP
    };

    template <class T, class V>
    void Put(T SimulatedSensor::*member, V&& value)
    {
        std::lock_guard<std::mutex> lock(mutex);
        this->*member = std::forward<V>(value);
    }
    template <class T>
    T Get(T SimulatedSensor::*member) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return this->*member;
    }
    std::size_t CountLocked(const std::string& text) const;

    void OpenListener();
    void AcceptLoop();
    void SessionLoop(std::shared_ptr<Session> session);
    void UdpLoop();
    void StreamLoop();
    const Bytes& NextContainer(std::unique_lock<std::mutex>& lock);
    void HandleCommand(const Destination& to, const std::string& text, bool had_cr, bool udp);
    void DropIfAsked(const std::string& text);
    void ActOnCommand(const Destination& to, const std::string& text, bool udp);
    bool HandleUdpSetup(const std::string& text);
    void SendLinFrame(const Destination& to);
    void SendReply(const Destination& to, const std::string& text);
    void Send(const Destination& to, const Bytes& bytes);
    void SendDatagrams(const Bytes& bytes);
    bool Pause(int delay_ms);
    std::vector<std::shared_ptr<Session>> LiveSessions() const;

    const std::string ip;
    const bool udp_mode;
    uint16_t port = 0;
    Platform::WakeSignal stop_signal;
    Platform::WakeSignal accept_signal;
    std::atomic<bool> stopping{false};

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    // Guarded by mutex.
    std::vector<ReceivedCommand> commands;
    std::map<std::string, std::string> settings;
    std::list<std::shared_ptr<Session>> sessions;
    Bytes lin_data;
    LinMode lin_mode = LinMode::Ok;
    int lin_delay_ms = 0;
    ReplyMode reply_mode = ReplyMode::Normal;
    std::string fixed_xml;
    XmlBuilder xml_builder;
    int stream_rate = 100;
    uint32_t stream_width = 1280;
    ScanKind scan_kind = ScanKind::RawProfile;  // camera images in camera mode
    bool refuse = false;
    bool listening = true;  // the listener's state, which follows `refuse`
    std::string drop_on;
    bool refuse_on_drop = false;
    bool streaming = false;
    Destination stream_to;
    uint16_t picture_counter = 1;
    uint32_t containers_sent = 0;
    uint32_t send_limit = UINT32_MAX;
    int accepted = 0;
    bool udp_active = false;
    Platform::SocketAddress udp_destination;

    std::unique_ptr<ScanTemplate> scan_template;  // stream thread only
    Platform::Socket listener;     // accept thread only (after construction)
    Platform::Socket udp_socket;   // bound at construction; read by the UDP thread
    std::mutex udp_send_mutex;     // sends on udp_socket
    std::thread accept_thread;
    std::thread udp_thread;
    std::thread stream_thread;
};

}  // namespace TestSupport
