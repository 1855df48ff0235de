// The fixture producer's modules.
#include "producer_fixture/FixtureProducer.h"

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/FakeEngineStream.h"

namespace ProducerFixture {

using GenTLCore::SharedPtr;

namespace {

// A remote device with only the document register; the transport layer's
// register set is empty.
class FixtureRemoteDevice : public GenTLCore::GenTLVirtualRemoteDevice {
public:
    using GenTLVirtualRemoteDevice::GenTLVirtualRemoteDevice;
};

constexpr uint64_t FIXTURE_TIMESTAMP_HZ = 1000000000;

}  // namespace

FixtureBranding::FixtureBranding()
{
    tl_type = FIXTURE_TL_TYPE;
    vendor_name = "FixtureVendor";
    model_name = "FixtureProducer";
    version = "0.0.1";
    unique_id_prefix = FIXTURE_PREFIX;
}

SharedPtr<GenTLCore::GenTLRemoteDeviceEvent> FixtureDevice::CreateRemoteDeviceEvent()
{
    return SharedPtr<GenTLCore::GenTLRemoteDeviceEvent>();
}

SharedPtr<GenTLCore::GenTLRemoteDevice> FixtureDevice::CreateRemoteDevice()
{
    return SharedPtr<GenTLCore::GenTLRemoteDevice>(new FixtureRemoteDevice(tag));
}

std::vector<SharedPtr<GenTLCore::GenTLDataStream>> FixtureDevice::CreateDataStreams()
{
    const SharedPtr<GenTLCore::StreamTag> tag(new FixtureStreamTag(GetID()));
    return {SharedPtr<GenTLCore::GenTLDataStream>(new AcquisitionTest::ThreadedEngineStream(tag))};
}

GC_ERROR FixtureDevice::GetTimestampFrequency(uint64_t& frequency)
{
    frequency = FIXTURE_TIMESTAMP_HZ;
    return GC_ERR_SUCCESS;
}

GC_ERROR FixtureDevice::StartDeviceEvents(const SharedPtr<GenTLCore::GenTLRemoteDeviceEvent>&)
{
    return GenTLCore::ReportError(GC_ERR_NOT_IMPLEMENTED, "The fixture device has no events.");
}

GC_ERROR FixtureInterface::DiscoverDevices(std::vector<SharedPtr<GenTLCore::DeviceTag>>& cur_devs,
                                           uint64_t)
{
    for (uint32_t index = 0; index < FIXTURE_DEVICE_COUNT; ++index)
        cur_devs.push_back(SharedPtr<GenTLCore::DeviceTag>(new FixtureDeviceTag(index)));
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLCore::GenTLLocalDevice> FixtureInterface::CreateDevice(
    const SharedPtr<GenTLCore::DeviceTag>& tag)
{
    return SharedPtr<GenTLCore::GenTLLocalDevice>(new FixtureDevice(tag));
}

GC_ERROR FixtureSystem::DiscoverInterfaces(
    std::vector<SharedPtr<GenTLCore::InterfaceTag>>& cur_itfs, uint64_t)
{
    cur_itfs.push_back(SharedPtr<GenTLCore::InterfaceTag>(new FixtureInterfaceTag()));
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLCore::GenTLInterface> FixtureSystem::CreateInterface(
    const SharedPtr<GenTLCore::InterfaceTag>& tag)
{
    return SharedPtr<GenTLCore::GenTLInterface>(new FixtureInterface(tag));
}

SharedPtr<GenTLCore::GenTLSystem> FixtureLibrary::CreateSystem()
{
    return SharedPtr<GenTLCore::GenTLSystem>(new FixtureSystem());
}

}  // namespace ProducerFixture
