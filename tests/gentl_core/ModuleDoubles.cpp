#include "ModuleDoubles.h"

#include <new>

#include "FakeEngineStream.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/GenTLRemoteDevice.h"

using GenTLCore::DeviceTag;
using GenTLCore::GenTLDataStream;
using GenTLCore::GenTLInterface;
using GenTLCore::GenTLLocalDevice;
using GenTLCore::GenTLRemoteDevice;
using GenTLCore::GenTLRemoteDeviceEvent;
using GenTLCore::InterfaceTag;

namespace ModuleTest {

ModuleBranding& InstallModuleBranding()
{
    auto* branding = new ModuleBranding();
    GenTLCore::BrandingControl::Instance()->Initialize(
        SharedPtr<GenTLCore::GenTLBranding>(branding));
    return *branding;
}

SharedPtr<InterfaceTag> MakeInterfaceTag(const std::string& id, const std::string& mac)
{
    return SharedPtr<InterfaceTag>(new FakeInterfaceTag(id, id, mac));
}

SharedPtr<DeviceTag> MakeDeviceTag(const std::string& id, DeviceFacts facts)
{
    return SharedPtr<DeviceTag>(new FakeDeviceTag(id, id, std::move(facts)));
}

// ---- Device ----

namespace {

constexpr size_t REMOTE_EVENT_DATA_SIZE = 128;

}  // namespace

SharedPtr<GenTLRemoteDeviceEvent> TestDevice::CreateRemoteDeviceEvent()
{
    if (!knobs.remote_event)
        return SharedPtr<GenTLRemoteDeviceEvent>();
    return SharedPtr<GenTLRemoteDeviceEvent>(
        new GenTLCore::GenTLVirtualRemoteDeviceEvent(REMOTE_EVENT_DATA_SIZE));
}

SharedPtr<GenTLRemoteDevice> TestDevice::CreateRemoteDevice()
{
    if (!knobs.remote_device)
        return SharedPtr<GenTLRemoteDevice>();
    return SharedPtr<GenTLRemoteDevice>(new TestRemoteDevice(tag));
}

std::vector<SharedPtr<GenTLDataStream>> TestDevice::CreateDataStreams()
{
    std::vector<SharedPtr<GenTLDataStream>> streams;
    for (const std::string& suffix : knobs.stream_suffixes) {
        if (suffix.empty()) {
            streams.emplace_back();
            continue;
        }
        SharedPtr<GenTLCore::StreamTag> stream_tag(new ModuleStreamTag(GetID(), suffix));
        streams.push_back(SharedPtr<GenTLDataStream>(
            knobs.threaded_engine ? new AcquisitionTest::ThreadedEngineStream(stream_tag)
                                  : new AcquisitionTest::FakeEngineStream(stream_tag)));
    }
    return streams;
}

GC_ERROR TestDevice::GetTimestampFrequency(uint64_t& frequency)
{
    if (knobs.timestamp_result == GC_ERR_SUCCESS)
        frequency = knobs.timestamp_frequency;
    return knobs.timestamp_result;
}

bool TestDevice::SetEventThreadPriority(int32_t policy, int32_t priority)
{
    if (!knobs.priority_supported)
        return GenTLLocalDevice::SetEventThreadPriority(policy, priority);
    journal.Add("set priority " + std::to_string(policy) + "/" + std::to_string(priority));
    return true;
}

bool TestDevice::GetEventThreadPriority(int32_t& policy, int32_t& priority)
{
    if (!knobs.priority_supported)
        return GenTLLocalDevice::GetEventThreadPriority(policy, priority);
    policy = knobs.queried_policy;
    priority = knobs.queried_priority;
    return true;
}

// ---- Interface ----

GC_ERROR TestInterface::DiscoverDevices(std::vector<SharedPtr<DeviceTag>>& cur_devs,
                                        uint64_t timeout_ms)
{
    const int number = ++discoveries;
    last_timeout = timeout_ms;
    if (discovery_result != GC_ERR_SUCCESS)
        return discovery_result;
    if (!alternate || number % 2 == 0)
        cur_devs = discovered;
    return GC_ERR_SUCCESS;
}

GC_ERROR TestInterface::ProbeSpecificDevice(const std::string& key, const std::string& value,
                                            SharedPtr<DeviceTag>& tag)
{
    if (!probe_implemented)
        return GenTLInterface::ProbeSpecificDevice(key, value, tag);
    ++probes;
    last_probe = key + "/" + value;
    if (probe_result != GC_ERR_SUCCESS)
        return probe_result;
    if (probe_finds_device) {
        DeviceFacts facts;
        facts.ip = value;
        tag = SharedPtr<DeviceTag>(new FakeDeviceTag("Probed_" + value, "probed " + value, facts));
    }
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLLocalDevice> TestInterface::CreateDevice(const SharedPtr<DeviceTag>& tag)
{
    if (bad_alloc_on_create)
        throw std::bad_alloc();
    if (failing_ids.count(tag->GetID()) != 0)
        return SharedPtr<GenTLLocalDevice>();
    return SharedPtr<GenTLLocalDevice>(new TestDevice(tag, device_knobs, journal));
}

// ---- System ----

GC_ERROR TestSystem::DiscoverInterfaces(std::vector<SharedPtr<InterfaceTag>>& cur_itfs,
                                        uint64_t timeout_ms)
{
    ++discoveries;
    last_timeout = timeout_ms;
    if (discovery_result != GC_ERR_SUCCESS)
        return discovery_result;
    cur_itfs = discovered;
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLInterface> TestSystem::CreateInterface(const SharedPtr<InterfaceTag>& tag)
{
    if (failing_ids.count(tag->GetID()) != 0)
        return SharedPtr<GenTLInterface>();
    auto* itf = new TestInterface(tag, journal);
    itf->discovered = devices_of_new_interfaces;
    itf->device_knobs = device_knobs;
    return SharedPtr<GenTLInterface>(itf);
}

// ---- Pool order ----

void OpenedObjects::CloseDownTo(const GenTLCore::GenTLHandle* target)
{
    while (!opened.empty()) {
        SharedPtr<GenTLCore::GenTLHandle> last = opened.back();
        opened.pop_back();
        last->Close();
        if (last.Get() == target)
            return;
    }
}

}  // namespace ModuleTest
