// FixtureProducer.h: a small producer built from the framework alone, with
// fake interface and device identities and a fake acquisition engine, so that
// the whole GenTL C interface can be driven through dlopen like the real one.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gentl_core/DeviceTag.h"
#include "gentl_core/GenTLInterface.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/GenTLLocalDevice.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/GenTLSystem.h"
#include "gentl_core/InterfaceTag.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/StreamTag.h"
#include "gentl_core/TestBranding.h"  // from tests/

namespace ProducerFixture {

// What the fixture offers; tests name these values.
constexpr const char* FIXTURE_PREFIX = "Fixture";
constexpr const char* FIXTURE_TL_TYPE = "Custom";
constexpr const char* FIXTURE_INTERFACE_TAG = "Fake";  // interface ID "Fixture_Fake"
constexpr uint32_t FIXTURE_DEVICE_COUNT = 4;           // "FakeDevice0" .. "FakeDevice3"

// The test branding with the fixture's names; no call log variable.
class FixtureBranding : public TestSupport::TestBranding {
public:
    FixtureBranding();
};

// One interface; every fixture interface tag denotes the same interface.
class FixtureInterfaceTag : public GenTLCore::InterfaceTag {
public:
    std::string GetID() const override { return FIXTURE_INTERFACE_TAG; }
    std::string GetDisplayName() const override { return "Fake Interface"; }
    bool IsSameAs(const GenTLCore::InterfaceTag& candidate) const override
    {
        return candidate.GetID() == GetID();
    }
    bool MatchesAlternativeID(const std::string&, const std::string&) const override
    {
        return false;
    }
};

// Device number `index`: free, with fixed identity answers. Never changes.
class FixtureDeviceTag : public GenTLCore::DeviceTag {
public:
    explicit FixtureDeviceTag(uint32_t index) : index(index) {}

    std::string GetID() const override { return "FakeDevice" + std::to_string(index); }
    bool IsSameAs(const GenTLCore::DeviceTag& candidate) const override
    {
        return candidate.GetID() == GetID();
    }
    std::string GetVendorName() const override { return "FixtureVendor"; }
    std::string GetModelName() const override { return "FixtureModel"; }
    std::string GetVersion() const override { return "1.0"; }
    std::string GetSerialNumber() const override { return "SN" + std::to_string(index); }
    bool SupportsUserID() const override { return false; }
    std::string GetUserIDDefault() const override { return std::string(); }
    std::string GetManufacturerInfo() const override { return "Fixture"; }
    uint32_t GetTLVersionMajor() const override { return 0; }
    uint32_t GetTLVersionMinor() const override { return 0; }
    bool IsNotAccessible() const override { return false; }
    bool IsFree() const override { return true; }
    bool IsFreeReadOnly() const override { return false; }
    void UpdateFrom(const GenTLCore::DeviceTag&) override {}
    bool MatchesAlternativeID(const std::string&, const std::string&) const override
    {
        return false;
    }

private:
    const uint32_t index;
};

// The one stream "0" of a device.
class FixtureStreamTag : public GenTLCore::StreamTag {
public:
    explicit FixtureStreamTag(std::string device_id) : device_id(std::move(device_id)) {}

    std::string GetDeviceID() const override { return device_id; }
    std::string GetStreamID() const override { return "0"; }
    std::string GetDisplayName() const override { return "Fake stream"; }
    bool MatchesAlternativeID(const std::string&, const std::string&) const override
    {
        return false;
    }

private:
    const std::string device_id;
};

// A device without a link: opening always works; one stream filled by a
// fake engine thread as fast as buffers are queued; a virtual remote device
// that holds only its description document; no remote-device events.
class FixtureDevice : public GenTLCore::GenTLLocalDevice {
public:
    explicit FixtureDevice(const GenTLCore::SharedPtr<GenTLCore::DeviceTag>& tag)
        : GenTLLocalDevice(tag), tag(tag)
    {
    }
    std::string GetUserDefinedName() override { return std::string(); }

protected:
    GenTLCore::SharedPtr<GenTLCore::GenTLRemoteDeviceEvent> CreateRemoteDeviceEvent() override;
    GenTLCore::SharedPtr<GenTLCore::GenTLRemoteDevice> CreateRemoteDevice() override;
    std::vector<GenTLCore::SharedPtr<GenTLCore::GenTLDataStream>> CreateDataStreams() override;
    GC_ERROR DoOpenTLSpecific(uint32_t) override { return GC_ERR_SUCCESS; }
    bool DoCloseTLSpecific(const GenTLCore::DeviceTag*) override { return true; }
    bool ImplementsDataStreams() override { return true; }
    bool HasEventInterface() override { return false; }
    GC_ERROR GetTimestampFrequency(uint64_t& frequency) override;
    GC_ERROR StartDeviceEvents(
        const GenTLCore::SharedPtr<GenTLCore::GenTLRemoteDeviceEvent>&) override;
    bool StopDeviceEvents() override { return true; }

private:
    // Fixed at construction; the remote device is made from it.
    const GenTLCore::SharedPtr<GenTLCore::DeviceTag> tag;
};

// Discovers FIXTURE_DEVICE_COUNT devices every time.
class FixtureInterface : public GenTLCore::GenTLInterface {
public:
    using GenTLInterface::GenTLInterface;

protected:
    GC_ERROR DiscoverDevices(std::vector<GenTLCore::SharedPtr<GenTLCore::DeviceTag>>& cur_devs,
                             uint64_t timeout_ms) override;
    GenTLCore::SharedPtr<GenTLCore::GenTLLocalDevice> CreateDevice(
        const GenTLCore::SharedPtr<GenTLCore::DeviceTag>& tag) override;
};

// Discovers the one fixture interface every time.
class FixtureSystem : public GenTLCore::GenTLSystem {
protected:
    GC_ERROR DiscoverInterfaces(
        std::vector<GenTLCore::SharedPtr<GenTLCore::InterfaceTag>>& cur_itfs,
        uint64_t timeout_ms) override;
    GenTLCore::SharedPtr<GenTLCore::GenTLInterface> CreateInterface(
        const GenTLCore::SharedPtr<GenTLCore::InterfaceTag>& tag) override;
};

// No infrastructure and no cross-process lock; creates a FixtureSystem.
class FixtureLibrary : public GenTLCore::GenTLLibrary {
protected:
    bool RequiresGlobalLock() override { return false; }
    bool InitTLInfrastructure() override { return true; }
    bool CloseTLInfrastructure() override { return true; }
    void OnInitialize() override {}
    GenTLCore::SharedPtr<GenTLCore::GenTLSystem> CreateSystem() override;
};

}  // namespace ProducerFixture
