#include "ModuleDoubles.h"

#include <new>

#include "FakeEngineStream.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/StreamTag.h"

using GenTLCore::DeviceTag;
using GenTLCore::GenTLDataStream;
using GenTLCore::GenTLLocalDevice;

namespace ModuleTest {
namespace {

// A stream known by its suffix within its device.
class ModuleStreamTag : public GenTLCore::StreamTag {
public:
    ModuleStreamTag(std::string device_id, std::string suffix)
        : device_id(std::move(device_id)), suffix(std::move(suffix))
    {
    }
    std::string GetDeviceID() const override { return device_id; }
    std::string GetStreamID() const override { return suffix; }
    std::string GetDisplayName() const override { return "Stream " + suffix; }
    bool MatchesAlternativeID(const std::string&, const std::string&) const override
    {
        return false;
    }

    const std::string device_id, suffix;
};

}  // namespace

ModuleBranding& InstallModuleBranding()
{
    auto* branding = new ModuleBranding();
    GenTLCore::BrandingControl::Instance()->Initialize(
        SharedPtr<GenTLCore::GenTLBranding>(branding));
    return *branding;
}

SharedPtr<GenTLCore::InterfaceTag> MakeInterfaceTag(const std::string& id, const std::string& mac)
{
    return SharedPtr<GenTLCore::InterfaceTag>(new FakeInterfaceTag(id, id, mac));
}

SharedPtr<DeviceTag> MakeDeviceTag(const std::string& id, DeviceFacts facts)
{
    return SharedPtr<DeviceTag>(new FakeDeviceTag(id, id, std::move(facts)));
}

SharedPtr<GenTLCore::GenTLRemoteDeviceEvent> TestDevice::CreateRemoteDeviceEvent()
{
    if (!knobs.remote_event) return SharedPtr<GenTLCore::GenTLRemoteDeviceEvent>();
    return SharedPtr<GenTLCore::GenTLRemoteDeviceEvent>(
        new GenTLCore::GenTLVirtualRemoteDeviceEvent(128));
}

SharedPtr<GenTLCore::GenTLRemoteDevice> TestDevice::CreateRemoteDevice()
{
    if (!knobs.remote_device) return SharedPtr<GenTLCore::GenTLRemoteDevice>();
    return SharedPtr<GenTLCore::GenTLRemoteDevice>(new GenTLCore::GenTLVirtualRemoteDevice(tag));
}

std::vector<SharedPtr<GenTLDataStream>> TestDevice::CreateDataStreams()
{
    std::vector<SharedPtr<GenTLDataStream>> streams;
    for (const std::string& suffix : knobs.stream_suffixes) {
        SharedPtr<GenTLCore::StreamTag> stream_tag(new ModuleStreamTag(GetID(), suffix));
        if (suffix.empty())
            streams.emplace_back();
        else if (knobs.threaded_engine)
            streams.emplace_back(new AcquisitionTest::ThreadedEngineStream(stream_tag));
        else
            streams.emplace_back(new AcquisitionTest::FakeEngineStream(stream_tag));
    }
    return streams;
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
    policy = 1;
    priority = 15;
    return true;
}

SharedPtr<GenTLLocalDevice> TestInterface::CreateDevice(const SharedPtr<DeviceTag>& tag)
{
    return SharedPtr<GenTLLocalDevice>(new TestDevice(tag, device_knobs, journal));
}

SharedPtr<GenTLCore::GenTLInterface> TestSystem::CreateInterface(
    const SharedPtr<GenTLCore::InterfaceTag>& tag)
{
    if (failing_ids.count(tag->GetID()) != 0) return SharedPtr<GenTLCore::GenTLInterface>();
    auto* itf = new TestInterface(tag, journal);
    itf->discovered = devices_of_new_interfaces;
    itf->device_knobs = device_knobs;
    return SharedPtr<GenTLCore::GenTLInterface>(itf);
}

SharedPtr<GenTLCore::GenTLSystem> TestLibrary::CreateSystem()
{
    if (knobs.system == LibraryKnobs::System::OUT_OF_MEMORY) throw std::bad_alloc();
    if (knobs.system == LibraryKnobs::System::EMPTY) return SharedPtr<GenTLCore::GenTLSystem>();
    return SharedPtr<GenTLCore::GenTLSystem>(new TestSystem(journal));
}

void OpenedObjects::CloseDownTo(const GenTLCore::GenTLHandle* target)
{
    while (!opened.empty()) {
        SharedPtr<GenTLCore::GenTLHandle> last = opened.back();
        opened.pop_back();
        last->Close();
        if (last.Get() == target) return;
    }
}

}  // namespace ModuleTest
