// The Tesk3D local device: connection, readiness, loss monitor, registers.
#include "gentl_producers/GenTesk3d/GenTLLocalDeviceTesk.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_producers/GenTesk3d/GenTLDataStreamTesk.h"
#include "gentl_producers/GenTesk3d/GenTLRemoteDeviceTesk.h"
#include "platform/Assert.h"
#include "sensor_library/ScanvoDLL.h"

namespace GenTLCore::ZoTL {
namespace {

// Every link call goes through the connection, so none reaches the library
// once the handle is taken.
class ConnectionLink : public ISensorLink {
public:
    explicit ConnectionLink(std::shared_ptr<SensorConnection> connection)
        : connection(std::move(connection))
    {
    }

    int WriteData(const std::string& text) override
    {
        return Call([&](ScanvoSensorLink& link) { return link.WriteData(text); });
    }
    int ReadData(const std::string& request, std::string& reply, int max_age_ms) override
    {
        return Call([&](ScanvoSensorLink& link) { return link.ReadData(request, reply, max_age_ms); });
    }
    int GetXZIExtended(ProfileRequest& profile) override
    {
        return Call([&](ScanvoSensorLink& link) { return link.GetXZIExtended(profile); });
    }
    int GetConnectStatus(int& status) override
    {
        return Call([&](ScanvoSensorLink& link) { return link.GetConnectStatus(status); });
    }
    int ResetDllFiFo() override
    {
        return Call([&](ScanvoSensorLink& link) { return link.ResetDllFiFo(); });
    }
    int GetFifoDropped(uint32_t& dropped) override
    {
        return Call([&](ScanvoSensorLink& link) { return link.GetFifoDropped(dropped); });
    }
    bool TakeCameraImage(std::vector<uint8_t>& image, uint32_t& width, uint32_t& height,
                         uint32_t timeout_ms) override
    {
        return connection->Use(
            [&](void* handle) {
                return ScanvoSensorLink(handle).TakeCameraImage(image, width, height, timeout_ms);
            },
            false);
    }
    void Disconnect() override { connection->Disconnect(); }

private:
    template <class F>
    int Call(F&& call)
    {
        return connection->Use(
            [&](void* handle) {
                ScanvoSensorLink link(handle);
                return call(link);
            },
            SensorConnection::CLOSED);
    }

    const std::shared_ptr<SensorConnection> connection;
};

constexpr size_t REMOTE_EVENT_DATA_BYTES = 128;
constexpr size_t MODULE_EVENT_DATA_BYTES = 256;

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

// ---- SensorConnection ----

// The count first: a reconnect between the two reads then shows as a
// changed count, never as an unchanged one.
SensorConnection::Look SensorConnection::Watch()
{
    return Use(
        [](void* current) {
            ScanvoDLL& library = InitScanvoInstance();
            Look look;
            library.GetLinkCount(current, look.links);
            if (library.GetConnectStatus(current, &look.state) != 0)
                look.state = 0;
            return look;
        },
        Look{TAKEN, 0});
}

// Taken before the wait for the calls in progress: a call that starts from
// here on fails at once, so a steady run of calls (the lock lets new ones
// in while a disconnect waits) cannot keep the old link serving them.
bool SensorConnection::Disconnect()
{
    void* const taken = handle.exchange(nullptr);
    if (taken == nullptr)
        return false;
    { std::unique_lock<std::shared_mutex> drained(calls); }
    InitScanvoInstance().Disconnect(taken);
    return true;
}

// ---- Device ----

GenTLLocalDeviceTesk::GenTLLocalDeviceTesk(const SharedPtr<DeviceTag>& tag)
    : GenTLLocalDevice(tag), tesk_tag(tag.DynamicCast<DeviceTagTesk>())
{
    TL_ASSERT(tesk_tag);
    if (tesk_tag)
        staged = {tesk_tag->Fields().ip_number, tesk_tag->Fields().netmask,
                  tesk_tag->Fields().gateway};
}

GenTLLocalDeviceTesk::~GenTLLocalDeviceTesk()
{
    StopMonitor();
}

std::string GenTLLocalDeviceTesk::GetUserDefinedName()
{
    ScopedLock lock(handle_lock);
    return tesk_tag ? tesk_tag->Fields().user_string : std::string();
}

SharedPtr<SensorInterface> GenTLLocalDeviceTesk::SensorInterfaceForTest()
{
    ScopedLock lock(handle_lock);
    return sensor_interface;
}

SharedPtr<GenTLRemoteDeviceEvent> GenTLLocalDeviceTesk::CreateRemoteDeviceEvent()
{
    return SharedPtr<GenTLRemoteDeviceEvent>(new GenTLRemoteDeviceEventTesk(REMOTE_EVENT_DATA_BYTES));
}

// The remote device asks only while it is open, and so while this device is.
SharedPtr<GenTLRemoteDevice> GenTLLocalDeviceTesk::CreateRemoteDevice()
{
    return SharedPtr<GenTLRemoteDevice>(new GenTLRemoteDeviceTesk(
        tesk_tag.DynamicCast<DeviceTag>(), sensor_interface, cache,
        [this, link = connection] { return IsLinkLost(*link); }));
}

std::vector<SharedPtr<GenTLDataStream>> GenTLLocalDeviceTesk::CreateDataStreams()
{
    const SharedPtr<StreamTag> tag(new StreamTagTesk(GetID()));
    return {SharedPtr<GenTLDataStream>(new GenTLDataStreamTesk(tag, sensor_interface, cache))};
}

GC_ERROR GenTLLocalDeviceTesk::DoOpenTLSpecific(uint32_t access_flags)
{
    if (access_flags == DEVICE_ACCESS_READONLY)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "Read-only device access not implemented by this example");
    if (access_flags != DEVICE_ACCESS_CONTROL && access_flags != DEVICE_ACCESS_EXCLUSIVE)
        return ReportError(GC_ERR_INVALID_PARAMETER, "Invalid device-open access flag requested");
    if (!TL_ASSERT(tesk_tag))
        return GC_ERR_ERROR;
    const DeviceTagFields& fields = tesk_tag->Fields();
    const char* refusal = tesk_tag->IsNotAccessible() ? " is misconfigured."
                          : !tesk_tag->IsFree()       ? " is being used by others."
                                                      : nullptr;
    if (refusal != nullptr) {
        const std::string text = fields.model + "_" + fields.ip + refusal +
                                 " Device connecting will not be carried out.";
        TL_LOG(LOG_CATEGORY_LOCDEV, LOG_LEVEL_DEBUG) << text;
        return ReportError(GC_ERR_TIMEOUT, text);
    }
    try {
        return Connect();
    } catch (const std::bad_alloc&) {
        if (connection)
            connection->Disconnect();
        return GC_ERR_OUT_OF_MEMORY;
    } catch (const std::system_error&) {
        connection->Disconnect();
        return ReportError(GC_ERR_RESOURCE_EXHAUSTED, "Starting the connection monitor failed");
    }
}

// The cache and the command channel are built only once the sensor is ready:
// before that the library drops its text replies and the startup reads
// would time out.
GC_ERROR GenTLLocalDeviceTesk::Connect()
{
    StopMonitor();
    const std::string ip = tesk_tag->Fields().ip;
    const std::string failed = "Connecting to device failed " + ip;
    std::string ip_arg = ip, port_arg = SENSOR_PORT;
    void* const handle = Scanvo_Connect(ip_arg.data(), port_arg.data(), 0);
    if (handle == nullptr)
        return ReportError(GC_ERR_INVALID_HANDLE, failed);
    connection = std::make_shared<SensorConnection>(handle);

    const int64_t start = NowMs();
    SensorConnection::Look look = connection->Watch();
    while (look.state != SENSOR_READY_STATE) {
        if (NowMs() - start > READY_WAIT_MS)
            return FailOpen(failed);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        look = connection->Watch();
    }
    ready_links = look.links;

    cache = SharedPtr<FeatureCache>(new FeatureCache);
    sensor_interface = SharedPtr<SensorInterface>(
        new SensorInterface(std::make_unique<ConnectionLink>(connection), cache));
    // A sensor that takes the connection but answers no read must not pass
    // for an open device with made-up settings; nor one whose link went
    // down during the startup, taking some of its commands along.
    if (const auto& unanswered = sensor_interface->StartupFailed())
        return FailOpen(failed + ": no answer to the startup read " + unanswered->key +
                        " (Err: " + std::to_string(unanswered->code) + ")");
    if (IsLost(connection->Watch()))
        return FailOpen(failed + ": the connection was lost during the startup");
    // The open saw the sensor ready: a loss from here on is reported, even
    // one before the monitor's first look.
    link_watch = LinkWatch::Ready;
    {
        std::lock_guard<std::mutex> lock(monitor_lock);
        stop = false;
        loss_untold = false;
    }
    monitor = std::thread(&GenTLLocalDeviceTesk::MonitorConnection, this, connection);
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLLocalDeviceTesk::FailOpen(const std::string& text)
{
    sensor_interface.Reset();
    cache.Reset();
    connection->Disconnect();
    return ReportError(GC_ERR_TIMEOUT, text);
}

bool GenTLLocalDeviceTesk::IsLost(const SensorConnection::Look& look) const
{
    return look.state == 0 || look.state == SensorConnection::TAKEN || look.links != ready_links;
}

// The monitor stops first, so that the close's own disconnect is never
// reported as a loss.
bool GenTLLocalDeviceTesk::DoCloseTLSpecific(const DeviceTag*)
{
    StopMonitor();
    link_watch = LinkWatch::Waiting;
    sensor_interface.Reset();
    cache.Reset();
    if (connection)
        connection->Disconnect();
    return true;
}

void GenTLLocalDeviceTesk::StopMonitor()
{
    {
        std::lock_guard<std::mutex> lock(monitor_lock);
        stop = true;
    }
    monitor_wake.notify_all();
    if (monitor.joinable() && monitor.get_id() != std::this_thread::get_id())
        monitor.join();
}

// A handle taken while open was taken by a DeviceReset or by a loss already
// reported: a loss too. So is a reconnect: the library may be ready again
// before the next look, with a sensor that lost its session's state.
bool GenTLLocalDeviceTesk::IsLinkLost(SensorConnection& link)
{
    if (!IsLost(link.Watch()))
        return false;
    // Only the first to see it (the monitor, a register write, a remote
    // device access) reports the loss.
    LinkWatch expected = LinkWatch::Ready;
    if (link_watch.compare_exchange_strong(expected, LinkWatch::Reported))
        ReportLoss(link);
    return true;
}

void GenTLLocalDeviceTesk::ReportLoss(SensorConnection& link)
{
    TL_LOG(LOG_CATEGORY_LOCDEV, LOG_LEVEL_WARNING)
        << "Lost the connection to " << tesk_tag->Fields().ip << "; closing it.";
    {
        std::lock_guard<std::mutex> lock(monitor_lock);
        loss_untold = events_enabled && !PostLossEvent();
        stop = true;
    }
    monitor_wake.notify_all();
    link.Disconnect();
}

bool GenTLLocalDeviceTesk::PostLossEvent()
{
    const SharedPtr<GenTLModuleEvent> event = GetModuleEvent();
    const uint8_t data[4] = {};
    return event && event->AddEvent(CONNECTION_LOST_EVENT_ID, data, sizeof data);
}

// A sensor lost before the consumer registered the module event, right
// after the open, is told at the registration.
void GenTLLocalDeviceTesk::OnEventRegistered(EVENT_TYPE event_type)
{
    if (event_type != EVENT_MODULE)
        return;
    std::lock_guard<std::mutex> lock(monitor_lock);
    if (loss_untold && events_enabled)
        loss_untold = !PostLossEvent();
}

// An exception ends only the watch, logged: the device stays as it is.
void GenTLLocalDeviceTesk::MonitorConnection(std::shared_ptr<SensorConnection> link)
{
    RunThreadBody(LOG_CATEGORY_LOCDEV, GetID(), "connection monitor",
                  [&] { WatchConnection(*link); });
}

void GenTLLocalDeviceTesk::WatchConnection(SensorConnection& link)
{
    std::unique_lock<std::mutex> lock(monitor_lock);
    while (!stop) {
        lock.unlock();
        const bool lost = IsLinkLost(link);
        lock.lock();
        if (lost)
            return;
        monitor_wake.wait_for(lock, std::chrono::milliseconds(MONITOR_PERIOD_MS),
                              [&] { return stop; });
    }
}

GC_ERROR GenTLLocalDeviceTesk::GetTimestampFrequency(uint64_t&)
{
    return ReportError(GC_ERR_NOT_AVAILABLE, "Timestamp not handled in this example.");
}

GC_ERROR GenTLLocalDeviceTesk::StartDeviceEvents(const SharedPtr<GenTLRemoteDeviceEvent>& event)
{
    TL_ASSERT_MSG(event.DynamicCast<GenTLRemoteDeviceEventTesk>(), "pdev_evt_play");
    if (sensor_interface) {
        ScopedLock hold(sensor_interface->Lock());
        device_event = event;
        sensor_interface->SetDeviceEventSlot({&SendDeviceEvent, this});
    }
    return GC_ERR_SUCCESS;
}

bool GenTLLocalDeviceTesk::StopDeviceEvents()
{
    if (sensor_interface) {
        ScopedLock hold(sensor_interface->Lock());
        sensor_interface->SetDeviceEventSlot({});
        device_event.Reset();
    }
    return true;
}

void GenTLLocalDeviceTesk::SendDeviceEvent(const std::string& data, void* device)
{
    auto* const self = static_cast<GenTLLocalDeviceTesk*>(device);
    const auto length = static_cast<uint32_t>(std::min<size_t>(data.size(), UINT32_MAX));
    std::vector<uint8_t> wrapped(sizeof length + length);
    std::memcpy(wrapped.data(), &length, sizeof length);
    std::memcpy(wrapped.data() + sizeof length, data.data(), length);
    const EventPacket packet =
        GenTLVirtualRemoteDeviceEvent::MakeEventPacket(wrapped.data(), wrapped.size());
    if (!TL_ASSERT_MSG(!packet.empty(), "event_packet != NULL && size != 0") ||
        !TL_ASSERT_MSG(self->HasEventInterface(), "HasEventInterface ()") ||
        !TL_ASSERT_MSG(self->device_event && self->device_event->IsOpen(),
                       "dev_evt && dev_evt->IsOpen ()"))
        return;
    // A packet larger than the event allows is refused there, and logged.
    self->device_event->AddEventPacket(packet.data(), packet.size());
}

bool GenTLLocalDeviceTesk::SupportsModuleEvents(size_t& max_data_size)
{
    max_data_size = MODULE_EVENT_DATA_BYTES;
    return true;
}

// ---- Registers ----

void GenTLLocalDeviceTesk::DefineCustomRegisters()
{
    AddRegisters(LOCAL_DEVICE_CUSTOM_REGISTERS);
}

GC_ERROR GenTLLocalDeviceTesk::ReadUInt32CustomRegister(uint32_t id, uint32_t& value)
{
    if (id == CONNECTION_STATUS)
        value = link_watch == LinkWatch::Ready ? 1 : 0;
    else if (id == EVENT_NOTIFICATION)
        value = events_enabled ? 1 : 0;
    else if (!TL_ASSERT_MSG(false, "Unknown custom register"))
        return GC_ERR_ERROR;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLLocalDeviceTesk::ReadStringCustomRegister(uint32_t, std::string&)
{
    TL_ASSERT_MSG(false, "Unknown custom register");
    return GC_ERR_ERROR;
}

GC_ERROR GenTLLocalDeviceTesk::WriteUInt32CustomRegister(uint32_t id, uint32_t value)
{
    if (id == UPDATE_CONNECTION_STATUS) {
        if (connection)
            IsLinkLost(*connection);
    } else if (id == EVENT_NOTIFICATION) {
        events_enabled = value != 0;
    } else if (!TL_ASSERT_MSG(false, "Unknown custom register")) {
        return GC_ERR_ERROR;
    }
    return GC_ERR_SUCCESS;
}

}  // namespace GenTLCore::ZoTL
