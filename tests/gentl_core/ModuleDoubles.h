// ModuleDoubles.h: a system, interface and local device built from the
// framework with fake tags, scripted discovery and data streams over the
// fake acquisition engine, plus a small stand-in for the handle pool's
// open and close order.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TestBranding.h"
#include "gentl_core/DeviceTag.h"
#include "gentl_core/GenTLInterface.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/GenTLLocalDevice.h"
#include "gentl_core/GenTLSystem.h"
#include "gentl_core/InterfaceTag.h"
#include "gentl_core/SmartPointers.h"

namespace ModuleTest {

using GenTLCore::SharedPtr;

// Alternative IDs "#key#value", interface key "mac". Set the knobs before
// the code under test runs.
class ModuleBranding : public TestSupport::TestBranding {
public:
    bool events_engine_control = false;
    std::string custom_device_name;

    char AlternativeIDSeparator() const override { return '#'; }
    std::vector<std::string> AlternativeInterfaceIDKeys() const override { return {"mac"}; }
    uint64_t DefaultDiscoveryTimeout() const override { return 4321; }
    bool EventsEngineControlFeatures() const override { return events_engine_control; }
    std::string CustomDeviceDisplayName(const std::string&, const std::string&,
                                        const std::string&) const override
    {
        return custom_device_name;
    }
};

// Makes a new ModuleBranding the one in force.
ModuleBranding& InstallModuleBranding();

// An interface known by `identity` (IsSameAs), with alternative ID "mac".
// Counts the IsSameAs calls of every instance.
class FakeInterfaceTag : public GenTLCore::InterfaceTag {
public:
    FakeInterfaceTag(std::string id, std::string identity, std::string mac = "")
        : id(std::move(id)), identity(std::move(identity)), mac(std::move(mac))
    {
    }
    // clang-format off
    std::string GetID() const override { return id; }
    std::string GetDisplayName() const override { return "Fake " + identity; }
    bool IsSameAs(const InterfaceTag& candidate) const override { ++comparisons; const auto* other = dynamic_cast<const FakeInterfaceTag*>(&candidate); return other && other->identity == identity; }
    bool MatchesAlternativeID(const std::string& key, const std::string& value) const override { return key == "mac" && !mac.empty() && value == mac; }
    // clang-format on

    const std::string id, identity, mac;
    static inline std::atomic<int> comparisons{0};
};

// What a fake device reports; UpdateFrom takes over the changeable part.
struct DeviceFacts {
    bool free = true;
};

// A device known by `identity` (IsSameAs). Threads: the changeable facts are locked.
class FakeDeviceTag : public GenTLCore::DeviceTag {
public:
    FakeDeviceTag(std::string id, std::string identity, DeviceFacts facts = DeviceFacts())
        : id(std::move(id)), identity(std::move(identity)), facts(std::move(facts))
    {
    }

    // clang-format off
    std::string GetID() const override { return id; }
    bool IsSameAs(const DeviceTag& candidate) const override { const auto* other = dynamic_cast<const FakeDeviceTag*>(&candidate); return other && other->identity == identity; }
    std::string GetVendorName() const override { return "Vendor"; }
    std::string GetModelName() const override { return "Model"; }
    std::string GetVersion() const override { return "2.5"; }
    std::string GetSerialNumber() const override { return identity; }
    bool SupportsUserID() const override { return supports_user_id; }
    std::string GetUserIDDefault() const override { return "default"; }
    std::string GetManufacturerInfo() const override { return "Made by tests"; }
    uint32_t GetTLVersionMajor() const override { return 7; }
    uint32_t GetTLVersionMinor() const override { return 9; }
    bool IsNotAccessible() const override { return false; }
    bool IsFree() const override { return Facts().free; }
    bool IsFreeReadOnly() const override { return IsFree(); }
    bool MatchesAlternativeID(const std::string&, const std::string&) const override { return false; }
    DeviceFacts Facts() const { std::lock_guard<std::mutex> lock(mutex); return facts; }
    // clang-format on
    void UpdateFrom(const DeviceTag& newer) override
    {
        if (const auto* other = dynamic_cast<const FakeDeviceTag*>(&newer)) {
            const DeviceFacts newer_facts = other->Facts();
            std::lock_guard<std::mutex> lock(mutex);
            facts = newer_facts;
        }
    }

    const std::string id, identity;
    bool supports_user_id = true;

private:
    mutable std::mutex mutex;
    DeviceFacts facts;  // guarded by mutex
};

// What a TestDevice answers. Set before the call it affects.
struct DeviceKnobs {
    GC_ERROR open_result = GC_ERR_SUCCESS;
    bool implements_streams = true;
    // One stream per suffix, in order; "" delivers an empty pointer.
    std::vector<std::string> stream_suffixes{"0"};
    bool remote_device = true;
    bool event_interface = true;
    bool remote_event = true;
    GC_ERROR start_events_result = GC_ERR_SUCCESS;
    GC_ERROR timestamp_result = GC_ERR_SUCCESS;
    // Event thread priority: supported by the transport layer (reads 1/15) or the default.
    bool priority_supported = false;
    // Streams filled by an engine thread as fast as buffers are queued.
    bool threaded_engine = false;
};

// Every extension call of the devices, in order ("open 3", "close tag",
// "close null", "start events", "stop events", "set priority p/q").
class Journal {
public:
    // clang-format off
    void Add(const std::string& entry) { std::lock_guard<std::mutex> lock(mutex); entries.push_back(entry); }
    std::vector<std::string> Entries() { std::lock_guard<std::mutex> lock(mutex); return std::exchange(entries, {}); }
    // clang-format on

private:
    std::mutex mutex;
    std::vector<std::string> entries;  // guarded by mutex
};

class TestDevice : public GenTLCore::GenTLLocalDevice {
public:
    TestDevice(const SharedPtr<GenTLCore::DeviceTag>& tag, DeviceKnobs knobs, Journal& journal)
        : GenTLLocalDevice(tag), knobs(std::move(knobs)), tag(tag), journal(journal)
    {
    }
    std::string GetUserDefinedName() override { return "user name"; }

    DeviceKnobs knobs;

protected:
    SharedPtr<GenTLCore::GenTLRemoteDeviceEvent> CreateRemoteDeviceEvent() override;
    SharedPtr<GenTLCore::GenTLRemoteDevice> CreateRemoteDevice() override;
    std::vector<SharedPtr<GenTLCore::GenTLDataStream>> CreateDataStreams() override;
    // clang-format off
    GC_ERROR DoOpenTLSpecific(uint32_t access_flags) override { journal.Add("open " + std::to_string(access_flags)); return knobs.open_result; }
    bool DoCloseTLSpecific(const GenTLCore::DeviceTag* closed_tag) override { journal.Add(closed_tag ? "close tag" : "close null"); return true; }
    bool ImplementsDataStreams() override { return knobs.implements_streams; }
    bool HasEventInterface() override { return knobs.event_interface; }
    GC_ERROR GetTimestampFrequency(uint64_t& frequency) override { frequency = 1000000000; return knobs.timestamp_result; }
    GC_ERROR StartDeviceEvents(const SharedPtr<GenTLCore::GenTLRemoteDeviceEvent>&) override { journal.Add("start events"); return knobs.start_events_result; }
    bool StopDeviceEvents() override { journal.Add("stop events"); return true; }
    // clang-format on
    bool SetEventThreadPriority(int32_t policy, int32_t priority) override;
    bool GetEventThreadPriority(int32_t& policy, int32_t& priority) override;

private:
    const SharedPtr<GenTLCore::DeviceTag> tag;
    Journal& journal;  // the fixture's, which outlives every device
};

// Discovery scripted by the test: every update delivers `discovered`; no probe.
class TestInterface : public GenTLCore::GenTLInterface {
public:
    TestInterface(const SharedPtr<GenTLCore::InterfaceTag>& tag, Journal& journal)
        : GenTLInterface(tag), journal(journal)
    {
    }

    std::vector<SharedPtr<GenTLCore::DeviceTag>> discovered;
    DeviceKnobs device_knobs;

protected:
    // clang-format off
    GC_ERROR DiscoverDevices(std::vector<SharedPtr<GenTLCore::DeviceTag>>& cur_devs, uint64_t) override { cur_devs = discovered; return GC_ERR_SUCCESS; }
    // clang-format on
    SharedPtr<GenTLCore::GenTLLocalDevice> CreateDevice(
        const SharedPtr<GenTLCore::DeviceTag>& tag) override;

private:
    Journal& journal;  // the fixture's, which outlives every interface
};

class TestSystem : public GenTLCore::GenTLSystem {
public:
    explicit TestSystem(Journal& journal) : journal(journal) {}

    std::vector<SharedPtr<GenTLCore::InterfaceTag>> discovered;
    GC_ERROR discovery_result = GC_ERR_SUCCESS;
    std::set<std::string> failing_ids;
    // What every interface created from now on discovers, and its devices' knobs.
    std::vector<SharedPtr<GenTLCore::DeviceTag>> devices_of_new_interfaces;
    DeviceKnobs device_knobs;
    std::atomic<uint64_t> last_timeout{0};

protected:
    // clang-format off
    GC_ERROR DiscoverInterfaces(std::vector<SharedPtr<GenTLCore::InterfaceTag>>& cur_itfs, uint64_t timeout_ms) override { last_timeout = timeout_ms; if (discovery_result == GC_ERR_SUCCESS) cur_itfs = discovered; return discovery_result; }
    // clang-format on
    SharedPtr<GenTLCore::GenTLInterface> CreateInterface(
        const SharedPtr<GenTLCore::InterfaceTag>& tag) override;

private:
    Journal& journal;  // the fixture's, which outlives the system
};

// A library whose transport-layer hooks answer as the knobs say; its system
// is a TestSystem. Counts infrastructure closes and destructions.
struct LibraryKnobs {
    bool requires_global_lock = false;
    bool init_infrastructure = true;
    bool close_infrastructure = true;
    enum class System { NORMAL, EMPTY, OUT_OF_MEMORY } system = System::NORMAL;
    int infrastructure_closes = 0;
};
class TestLibrary : public GenTLCore::GenTLLibrary {
public:
    ~TestLibrary() override { ++destroyed; }
    LibraryKnobs knobs;
    static inline int destroyed = 0;
    static inline int all_infrastructure_closes = 0;  // of every library

protected:
    bool RequiresGlobalLock() override { return knobs.requires_global_lock; }
    bool InitTLInfrastructure() override { return knobs.init_infrastructure; }
    // clang-format off
    bool CloseTLInfrastructure() override { ++knobs.infrastructure_closes, ++all_infrastructure_closes; return knobs.close_infrastructure; }
    // clang-format on
    void OnInitialize() override {}
    SharedPtr<GenTLCore::GenTLSystem> CreateSystem() override;

private:
    Journal journal;
};

// Opens objects as the handle pool's Register does and closes them, newest
// first, as its Unregister closes children before parents.
class OpenedObjects {
public:
    ~OpenedObjects() { CloseDownTo(nullptr); }
    template <class T>
    GC_ERROR Open(const SharedPtr<T>& object)
    {
        SharedPtr<GenTLCore::GenTLHandle> handle =
            object.template DynamicCast<GenTLCore::GenTLHandle>();
        const GC_ERROR result = handle->Open();
        if (result == GC_ERR_SUCCESS) opened.push_back(handle);
        return result;
    }
    // Closes newest first, down to `target` included (all for null).
    void CloseDownTo(const GenTLCore::GenTLHandle* target);

private:
    std::vector<SharedPtr<GenTLCore::GenTLHandle>> opened;
};

SharedPtr<GenTLCore::InterfaceTag> MakeInterfaceTag(const std::string& id,
                                                    const std::string& mac = "");
SharedPtr<GenTLCore::DeviceTag> MakeDeviceTag(const std::string& id,
                                              DeviceFacts facts = DeviceFacts());

}  // namespace ModuleTest
