// GenTLLocalDeviceTesk.h: the local device of one Tesk3D sensor: the open
// that connects and waits until the sensor is ready, the monitor that
// reports a lost sensor once, the device's own registers and the staged
// network settings.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "gentl_core/GenTLLocalDevice.h"
#include "gentl_core/GenTLRegMapPort.h"
#include "gentl_producers/GenTesk3d/DeviceTagTesk.h"
#include "gentl_producers/GenTesk3d/FeatureCache.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"
#include "gentl_producers/GenTesk3d/SensorLink.h"

namespace GenTLCore::ZoTL {

enum LocalDeviceCustomRegister : uint32_t {
    CONNECTION_STATUS = 13001,         // 1 from a successful open until the sensor is lost
    UPDATE_CONNECTION_STATUS = 13002,  // any write looks at the link once
    EVENT_NOTIFICATION = 13003,        // a nonzero write enables the loss event
};

inline constexpr RegisterDefinition LOCAL_DEVICE_CUSTOM_REGISTERS[] = {
    {CONNECTION_STATUS, REG_TYPE_UINT32, 0x50000000, 4, REG_ACCESS_RO, false},
    {UPDATE_CONNECTION_STATUS, REG_TYPE_UINT32, 0x50000004, 4, REG_ACCESS_WO, false},
    {EVENT_NOTIFICATION, REG_TYPE_UINT32, 0x50000114, 4, REG_ACCESS_RW, false},
};

// Module event posted once when an open sensor is lost; 4 zero data bytes.
inline constexpr uint32_t CONNECTION_LOST_EVENT_ID = 0xBBBBBB01;
inline constexpr const char* SENSOR_PORT = "32001";
inline constexpr int SENSOR_READY_STATE = 3;
inline constexpr int64_t READY_WAIT_MS = 1000;
inline constexpr int64_t MONITOR_PERIOD_MS = 500;

// One connection to a sensor library handle. Whoever disconnects first takes
// the handle; every call after that fails as the library's -1000 without
// reaching the library, because a later connect may reuse the handle value
// for another sensor. Calls hold the lock shared, the disconnect exclusively,
// so no call still runs on a handle being closed.
class SensorConnection {
public:
    static constexpr int CLOSED = ISensorLink::CLOSED;
    static constexpr int TAKEN = -1;

    explicit SensorConnection(void* handle) : handle(handle) {}
    ~SensorConnection() { Disconnect(); }
    SensorConnection(const SensorConnection&) = delete;
    SensorConnection& operator=(const SensorConnection&) = delete;

    // The library's connection state (0 for a handle it no longer knows,
    // TAKEN once the handle is taken) and the links it has set up so far.
    struct Look {
        int state = 0;
        uint32_t links = 0;
    };

    // `call(handle)`, or `closed` once the handle is taken.
    template <class R, class F>
    R Use(F&& call, R closed)
    {
        std::shared_lock<std::shared_mutex> lock(calls);
        void* const current = handle.load();
        return current != nullptr ? call(current) : closed;
    }
    Look Watch();
    // False when another caller disconnected first.
    bool Disconnect();

private:
    std::shared_mutex calls;
    std::atomic<void*> handle;
};

// Created by GenTLInterfaceTesk::CreateDevice for a DeviceTagTesk. Lifetime,
// threads and locking as GenTLLocalDevice; the staged settings are guarded by
// handle_lock and written through the interface's registers 12006-12008.
// The monitor thread runs from a successful open to the close (or until it
// reports a loss) without handle_lock; it touches only its own connection,
// the atomic flags, the monitor lock and, inside it, the module event. Every
// access of the remote device's registers looks at the link the same way
// (IsLinkLost), in the consumer's thread under the remote device's lock.
class GenTLLocalDeviceTesk : public GenTLLocalDevice {
public:
    struct NetworkSettings {
        uint32_t ip = 0;
        uint32_t netmask = 0;
        uint32_t gateway = 0;
    };

    // `tag` must hold a DeviceTagTesk.
    explicit GenTLLocalDeviceTesk(const SharedPtr<DeviceTag>& tag);
    ~GenTLLocalDeviceTesk() override;

    // Under handle_lock.
    NetworkSettings& Staged() { return staged; }
    DeviceTagTesk& Tag() { return *tesk_tag; }

    std::string GetUserDefinedName() override;

    // Of the last open; empty before.
    SharedPtr<SensorInterface> SensorInterfaceForTest();

protected:
    SharedPtr<GenTLRemoteDeviceEvent> CreateRemoteDeviceEvent() override;
    SharedPtr<GenTLRemoteDevice> CreateRemoteDevice() override;
    std::vector<SharedPtr<GenTLDataStream>> CreateDataStreams() override;
    GC_ERROR DoOpenTLSpecific(uint32_t access_flags) override;
    bool DoCloseTLSpecific(const DeviceTag* tag) override;
    bool ImplementsDataStreams() override { return true; }
    bool HasEventInterface() override { return true; }
    GC_ERROR GetTimestampFrequency(uint64_t& frequency) override;
    GC_ERROR StartDeviceEvents(const SharedPtr<GenTLRemoteDeviceEvent>& event) override;
    bool StopDeviceEvents() override;
    bool SupportsModuleEvents(size_t& max_data_size) override;

    void DefineCustomRegisters() override;
    GC_ERROR ReadUInt32CustomRegister(uint32_t id, uint32_t& value) override;
    GC_ERROR ReadStringCustomRegister(uint32_t id, std::string& value) override;
    GC_ERROR WriteUInt32CustomRegister(uint32_t id, uint32_t value) override;
    void OnEventRegistered(EVENT_TYPE event_type) override;

private:
    GC_ERROR Connect();
    // Releases what the open built, disconnects and reports `text`.
    GC_ERROR FailOpen(const std::string& text);
    // Not the link the open saw ready: gone, or replaced by a reconnect.
    bool IsLost(const SensorConnection::Look& look) const;
    // One look at the connection: true when it is not the link the open saw
    // ready. The first look to see that reports the loss.
    bool IsLinkLost(SensorConnection& link);
    // The module event (or, with no consumer registered, the note to post
    // it at the registration), then the disconnect.
    void ReportLoss(SensorConnection& link);
    // Under monitor_lock. False when no consumer has the module event
    // registered.
    bool PostLossEvent();
    // The monitor thread's body: WatchConnection, logging what it throws.
    void MonitorConnection(std::shared_ptr<SensorConnection> link);
    void WatchConnection(SensorConnection& link);
    void StopMonitor();
    // The sensor interface's device-event slot: `data` behind its 32-bit
    // length, as a virtual remote-device event packet to `device`'s event.
    static void SendDeviceEvent(const std::string& data, void* device);

    // Fixed at construction; the same object as the base's tag.
    const SharedPtr<DeviceTagTesk> tesk_tag;

    // Guarded by handle_lock.
    NetworkSettings staged;
    std::shared_ptr<SensorConnection> connection;  // of the last open
    SharedPtr<SensorInterface> sensor_interface;
    SharedPtr<FeatureCache> cache;
    std::thread monitor;

    // Guarded by the sensor interface's lock: the slot's target.
    SharedPtr<GenTLRemoteDeviceEvent> device_event;

    // Written by the open before the monitor starts; read by the monitor
    // and IsLinkLost until the next open, which joins the monitor first and
    // closed the remote device that asks.
    uint32_t ready_links = 0;  // the library's link count when the open saw it ready

    std::atomic<bool> events_enabled{true};
    // The link of the current open: armed by a successful open, reported
    // lost at most once until the close.
    enum class LinkWatch { Waiting, Ready, Reported };
    std::atomic<LinkWatch> link_watch{LinkWatch::Waiting};

    // Ends the monitor's wait at once. Taken before the module event's lock.
    std::mutex monitor_lock;
    std::condition_variable monitor_wake;
    // Guarded by monitor_lock.
    bool stop = false;
    bool loss_untold = false;  // reported while no consumer had the event registered
};

}  // namespace GenTLCore::ZoTL
