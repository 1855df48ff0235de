#include "SimulatedSensor.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "SimulatedSettings.h"

namespace TestSupport {
namespace {

constexpr std::size_t MAX_DATAGRAM = 65507;
constexpr int PENDING_COMMAND_MS = 20;

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

std::string Lowercase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsXmlName(const std::string& text)
{
    return !text.empty() && std::isalpha(static_cast<unsigned char>(text[0])) &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
           });
}

}  // namespace

struct SimulatedSensor::Session {
    Platform::Socket socket;
    std::mutex send_mutex;  // one frame at a time on the stream
    std::thread reader;
    std::atomic<bool> alive{true};
};

SimulatedSensor::SimulatedSensor() : SimulatedSensor(Options()) {}

SimulatedSensor::SimulatedSensor(const Options& options)
    : ip(options.ip), udp_mode(options.udp), port(options.port)
{
    lin_data = BuildLin1dd(LinModel());
    if (udp_mode) {
        udp_socket = Platform::Socket::Udp();
        Platform::SocketAddress address;
        if (!Platform::SocketAddress::Parse(ip, std::to_string(port), address) ||
            !udp_socket.Bind(address) ||
            !udp_socket.LocalAddress(address))
            throw std::runtime_error("simulated sensor: cannot bind UDP on " + ip);
        port = address.port;
        udp_thread = std::thread([this] { UdpLoop(); });
    } else {
        OpenListener();
        accept_thread = std::thread([this] { AcceptLoop(); });
    }
    stream_thread = std::thread([this] { StreamLoop(); });
}

SimulatedSensor::~SimulatedSensor()
{
    stopping = true;
    stop_signal.Wake();
    accept_signal.Wake();
    changed.notify_all();
    if (accept_thread.joinable())
        accept_thread.join();
    if (udp_thread.joinable())
        udp_thread.join();
    if (stream_thread.joinable())
        stream_thread.join();
    std::list<std::shared_ptr<Session>> all;
    {
        std::lock_guard<std::mutex> lock(mutex);
        all.swap(sessions);
    }
    for (const std::shared_ptr<Session>& session : all) {
        session->socket.Shutdown();
        if (session->reader.joinable())
            session->reader.join();
    }
}

void SimulatedSensor::OpenListener()
{
    Platform::SocketAddress address;
    if (!Platform::SocketAddress::Parse(ip, std::to_string(port), address))
        throw std::runtime_error("simulated sensor: bad address " + ip);
    listener = Platform::Socket::Tcp();
    listener.SetReuseAddress(true);
    if (!listener.Bind(address) || !listener.Listen(8) || !listener.LocalAddress(address))
        throw std::runtime_error("simulated sensor: cannot listen on " + ip);
    port = address.port;
}

void SimulatedSensor::AcceptLoop()
{
    while (!stopping) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (refuse) {
                listener.Close();
                listening = false;
                changed.notify_all();
                changed.wait(lock, [this] { return !refuse || stopping; });
                if (stopping)
                    return;
                lock.unlock();
                OpenListener();
                lock.lock();
                listening = true;
                changed.notify_all();
            }
        }
        Platform::Socket accepted_socket = listener.Accept(-1, &accept_signal);
        accept_signal.Clear();
        if (!accepted_socket.IsValid())
            continue;
        accepted_socket.SetNoDelay(true);
        auto session = std::make_shared<Session>();
        session->socket = std::move(accepted_socket);
        std::lock_guard<std::mutex> lock(mutex);
        ++accepted;
        sessions.push_back(session);
        session->reader = std::thread([this, session] { SessionLoop(session); });
    }
}

void SimulatedSensor::SessionLoop(std::shared_ptr<Session> session)
{
    std::string pending;
    char buffer[4096];
    while (!stopping) {
        // A command the library sends without a carriage return is whole once
        // nothing more follows for a moment.
        const Platform::SocketWait waited =
            session->socket.WaitReadable(pending.empty() ? -1 : PENDING_COMMAND_MS, &stop_signal);
        if (waited == Platform::SocketWait::TimedOut) {
            HandleCommand(Destination{session}, pending, false, false);
            pending.clear();
            continue;
        }
        if (waited != Platform::SocketWait::Ready)
            break;
        const long count = session->socket.Receive(buffer, sizeof(buffer));
        if (count <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(count));
        for (std::size_t end; (end = pending.find('\r')) != std::string::npos;) {
            const std::string text = pending.substr(0, end);
            pending.erase(0, end + 1);
            HandleCommand(Destination{session}, text, true, false);
        }
    }
    session->alive = false;
}

void SimulatedSensor::UdpLoop()
{
    char buffer[MAX_DATAGRAM];
    while (!stopping) {
        if (udp_socket.WaitReadable(-1, &stop_signal) != Platform::SocketWait::Ready)
            return;
        Platform::SocketAddress from;
        const long count = udp_socket.ReceiveFrom(buffer, sizeof(buffer), &from);
        if (count <= 0)
            continue;
        std::string text(buffer, static_cast<std::size_t>(count));
        const bool had_cr = !text.empty() && text.back() == '\r';
        if (had_cr)
            text.pop_back();
        HandleCommand(Destination{}, text, had_cr, true);
    }
}

void SimulatedSensor::StreamLoop()
{
    std::unique_lock<std::mutex> lock(mutex);
    auto next = std::chrono::steady_clock::now();
    while (!stopping) {
        if (!streaming || containers_sent >= send_limit) {
            changed.wait(lock, [this] {
                return stopping || (streaming && containers_sent < send_limit);
            });
            if (stopping) return;
            // Paced from the start of this stream (or the raised limit), not
            // from before it: no burst to catch up.
            next = std::chrono::steady_clock::now();
        }
        const Destination to = stream_to;
        const int rate = stream_rate;
        const Bytes& container = NextContainer(lock);
        lock.unlock();
        Send(to, container);
        lock.lock();
        ++containers_sent;
        if (rate > 0) {
            next += std::chrono::nanoseconds(1000000000 / rate);
            changed.wait_until(lock, next, [this] { return stopping || !streaming; });
        }
    }
}

void SimulatedSensor::LimitContainersSent(uint32_t total)
{
    Put(&SimulatedSensor::send_limit, total);
    changed.notify_all();
}

// Built without the lock: a camera image takes a while.
const Bytes& SimulatedSensor::NextContainer(std::unique_lock<std::mutex>& lock)
{
    const uint16_t counter = picture_counter++;
    const ScanKind kind = scan_kind;
    const uint32_t width = stream_width;
    lock.unlock();
    if (!scan_template || !scan_template->Fits(kind, width))
        scan_template = std::make_unique<ScanTemplate>(kind, width);
    const Bytes& container = scan_template->Scan(counter, counter * 1000u);
    lock.lock();
    return container;
}

void SimulatedSensor::HandleCommand(const Destination& to, const std::string& text, bool had_cr,
                                    bool udp)
{
    // Recorded once acted on, so a test that waits for a command sees its effect.
    const auto when = std::chrono::steady_clock::now();
    ActOnCommand(to, text, udp);
    DropIfAsked(text);
    {
        std::lock_guard<std::mutex> lock(mutex);
        commands.push_back(ReceivedCommand{text, had_cr, when});
    }
    changed.notify_all();
}

void SimulatedSensor::ActOnCommand(const Destination& to, const std::string& text, bool udp)
{
    if (udp && HandleUdpSetup(text))
        return;
    if (text == "SetInitializeAcquisition") {
        SendLinFrame(to);
    } else if (text == "get_xmldescriptor" || text == "get_xmldescriptorexpert") {
        SendReply(to, CurrentXml());
    } else if (StartsWith(text, "GetSettings=")) {
        const std::string which = text.substr(12);
        SendReply(to, "settings=" + which + "\r\nname=settings " + which + "\r\n");
    } else if (text == "SetRequestSyncContainer") {
        Send(to, SyncFrame(8));
    } else if (text == "SetAcquisitionStart") {
        std::lock_guard<std::mutex> lock(mutex);
        streaming = true;
        stream_to = to;
        changed.notify_all();
    } else if (text == "SetAcquisitionStop") {
        std::lock_guard<std::mutex> lock(mutex);
        streaming = false;
        changed.notify_all();
    } else if (text == "SetResetSettings") {
        std::lock_guard<std::mutex> lock(mutex);
        settings.clear();
    } else if (StartsWith(text, "Set") && text.find('=') != std::string::npos) {
        const std::size_t equals = text.find('=');
        std::lock_guard<std::mutex> lock(mutex);
        settings[text.substr(3, equals - 3)] = text.substr(equals + 1);
        // A sensor in camera mode streams images instead of profiles.
        if (text.starts_with("SetCameraMode="))
            scan_kind = text.substr(equals + 1) == "1" ? ScanKind::Camera : ScanKind::RawProfile;
    }
}

bool SimulatedSensor::HandleUdpSetup(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (StartsWith(text, "SetUDPSocketIP=")) {
        Platform::SocketAddress::Parse(text.substr(15), std::to_string(udp_destination.port),
                                       udp_destination);
    } else if (StartsWith(text, "SetUDPSocketPort=")) {
        Platform::SocketAddress::Parse(udp_destination.IpText(), text.substr(17), udp_destination);
    } else if (text == "SetUDPSocketStart=1") {
        udp_active = true;
    } else if (text == "SetUDPSocketStart=0") {
        udp_active = false;
        streaming = false;
    } else {
        return false;
    }
    return true;
}

void SimulatedSensor::SendLinFrame(const Destination& to)
{
    Bytes lin;
    LinMode mode;
    int delay_ms;
    {
        std::lock_guard<std::mutex> lock(mutex);
        lin = lin_data;
        mode = lin_mode;
        delay_ms = lin_delay_ms;
    }
    if (mode != LinMode::Omit && Pause(delay_ms))
        Send(to, ShortFrame(0x07, lin));
}

void SimulatedSensor::SendReply(const Destination& to, const std::string& text)
{
    constexpr int SLOW_REPLY_MS = 300;
    constexpr int TRICKLE_PAUSE_MS = 100;
    switch (Get(&SimulatedSensor::reply_mode)) {
        case ReplyMode::Normal:
            return Send(to, TextContainer(text));
        case ReplyMode::Slow:
            if (Pause(SLOW_REPLY_MS)) Send(to, TextContainer(text));
            return;
        case ReplyMode::Silent:
            return;
        case ReplyMode::Truncated: {
            const Bytes whole = TextContainer(text);
            return Send(to, Bytes(whole.begin(), whole.begin() + whole.size() / 2));
        }
        case ReplyMode::Garbage:
            return Send(to, TextContainer("\x01\x02<<not a status document"));
        case ReplyMode::HugeLine:
            return Send(to, TextContainer(std::string(1 << 20, 'A')));
        case ReplyMode::Trickle:
            // Ends when the peer closes (the send fails) or the sensor stops.
            for (const uint8_t byte : TextContainer(text)) {
                if (to.session == nullptr || !Pause(TRICKLE_PAUSE_MS))
                    return;
                std::lock_guard<std::mutex> send_lock(to.session->send_mutex);
                if (!to.session->socket.SendAll(&byte, 1, &stop_signal, TRICKLE_PAUSE_MS))
                    return;
            }
            return;
    }
}

void SimulatedSensor::Send(const Destination& to, const Bytes& bytes)
{
    if (udp_mode) {
        SendDatagrams(bytes);
    } else if (to.session) {
        std::lock_guard<std::mutex> send_lock(to.session->send_mutex);
        to.session->socket.SendAll(bytes.data(), bytes.size(), &stop_signal);
    }
}

void SimulatedSensor::SendDatagrams(const Bytes& bytes)
{
    Platform::SocketAddress destination;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!udp_active)
            return;
        destination = udp_destination;
    }
    std::lock_guard<std::mutex> send_lock(udp_send_mutex);
    for (std::size_t offset = 0; offset < bytes.size(); offset += MAX_DATAGRAM) {
        const std::size_t piece = std::min(MAX_DATAGRAM, bytes.size() - offset);
        udp_socket.SendTo(bytes.data() + offset, piece, destination);
    }
}

bool SimulatedSensor::Pause(int delay_ms)
{
    return delay_ms <= 0 || !stop_signal.WaitWoken(delay_ms);
}

// Every path has a value of its own; a setting written so far shows at the
// path the library reads it from, or, for an item we know no path of, first
// under its own name, so that a read-back finds the written value. A sensor
// streaming wider profiles has that many pixels.
std::string SimulatedSensor::CurrentXml() const
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!fixed_xml.empty())
        return fixed_xml;
    if (xml_builder) return xml_builder(settings);
    std::map<std::string, std::string> values = DefaultXmlValues();
    const std::string pixels = "device:general:pixel_x_max";
    values[pixels] =
        std::to_string(std::max<unsigned long>(std::stoul(values[pixels]), stream_width));
    std::string written;
    for (const auto& [item, value] : settings) {
        const std::string name = Lowercase(item);
        if (const std::string path = SettingXmlPath(item); !path.empty())
            values[path] = value;
        else if (IsXmlName(name))
            written += "<" + name + "><current>" + value + "</current></" + name + ">";
    }
    return SensorXml(values, written);
}

void SimulatedSensor::SetLinMode(LinMode mode, int delay_ms)
{
    std::lock_guard<std::mutex> lock(mutex);
    lin_mode = mode;
    lin_delay_ms = delay_ms;
}

std::vector<std::shared_ptr<SimulatedSensor::Session>> SimulatedSensor::LiveSessions() const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::shared_ptr<Session>> live;
    for (const std::shared_ptr<Session>& session : sessions) {
        if (session->alive)
            live.push_back(session);
    }
    return live;
}

void SimulatedSensor::SendRaw(const Bytes& bytes)
{
    if (udp_mode) {
        SendDatagrams(bytes);
        return;
    }
    for (const std::shared_ptr<Session>& session : LiveSessions())
        Send(Destination{session}, bytes);
}

void SimulatedSensor::SetDropOn(const std::string& command, bool then_refuse)
{
    std::lock_guard<std::mutex> lock(mutex);
    drop_on = command;
    refuse_on_drop = then_refuse;
}

void SimulatedSensor::DropIfAsked(const std::string& text)
{
    bool refuse_first = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (drop_on.empty() || text != drop_on)
            return;
        refuse_first = refuse_on_drop;
    }
    // Refused first, so that the client's reconnect finds nobody listening.
    if (refuse_first)
        RefuseConnections(true);
    DropConnectionNow();
}

void SimulatedSensor::DropConnectionNow(bool forget_settings)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        streaming = false;
        if (forget_settings) settings.clear();
    }
    for (const std::shared_ptr<Session>& session : LiveSessions())
        session->socket.Shutdown();
}

void SimulatedSensor::RefuseConnections(bool refuse_them)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        refuse = refuse_them;
    }
    changed.notify_all();
    accept_signal.Wake();
    // A client connecting right after this call meets the new state.
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(5), [&] {
        return listening != refuse_them || stopping || !accept_thread.joinable();
    });
}

void SimulatedSensor::SendFromOtherAddress(const Bytes& bytes, const std::string& other_ip)
{
    Platform::SocketAddress from;
    Platform::SocketAddress::Parse(other_ip, "0", from);
    Platform::Socket other = Platform::Socket::Udp();
    Platform::SocketAddress destination;
    {
        std::lock_guard<std::mutex> lock(mutex);
        destination = udp_destination;
    }
    if (other.Bind(from))
        other.SendTo(bytes.data(), bytes.size(), destination);
}

std::vector<std::string> SimulatedSensor::CommandTexts() const
{
    std::vector<std::string> texts;
    for (const ReceivedCommand& command : Commands())
        texts.push_back(command.text);
    return texts;
}

std::size_t SimulatedSensor::CountLocked(const std::string& text) const
{
    return static_cast<std::size_t>(
        std::count_if(commands.begin(), commands.end(),
                      [&text](const ReceivedCommand& command) { return command.text == text; }));
}

bool SimulatedSensor::WaitForCommand(const std::string& text, std::chrono::milliseconds timeout,
                                     std::size_t occurrences) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, timeout, [&] { return CountLocked(text) >= occurrences; });
}

void SimulatedSensor::SetSetting(const std::string& item, const std::string& value)
{
    std::lock_guard<std::mutex> lock(mutex);
    settings[item] = value;
}

std::string SimulatedSensor::Setting(const std::string& item) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = settings.find(item);
    return found == settings.end() ? std::string() : found->second;
}

}  // namespace TestSupport
