#include "FixtureSession.h"

#include <gtest/gtest.h>

namespace FrontTest {

std::string DeviceID(uint32_t index)
{
    return "Fixture_DEV_FakeDevice" + std::to_string(index);
}

FixtureSession::FixtureSession() : cti(GENTESK_FIXTURE_PATH) {}

FixtureSession::~FixtureSession()
{
    if (IsLoaded())
        cti->GCCloseLib();
}

bool FixtureSession::OpenToInterface()
{
    const auto& gentl = Functions();
    bool8_t changed = 0;
    const bool opened = gentl.GCInitLib() == GC_ERR_SUCCESS && gentl.TLOpen(&system) == 0 &&
                        gentl.TLUpdateInterfaceList(system, &changed, 0) == 0 &&
                        gentl.TLOpenInterface(system, INTERFACE_ID, &iface) == 0 &&
                        gentl.IFUpdateDeviceList(iface, &changed, 0) == 0;
    if (!opened) ADD_FAILURE() << "opening to the interface: " << LastError().text;
    return opened;
}

DEV_HANDLE FixtureSession::OpenDevice(uint32_t index)
{
    DEV_HANDLE device = nullptr;
    if (cti->IFOpenDevice(iface, DeviceID(index).c_str(), DEVICE_ACCESS_EXCLUSIVE, &device) != 0)
        ADD_FAILURE() << "IFOpenDevice: " << LastError().text;
    return device;
}

DS_HANDLE FixtureSession::OpenStream(DEV_HANDLE device)
{
    char id[256] = {};
    size_t size = sizeof id;
    DS_HANDLE stream = nullptr;
    if (cti->DevGetDataStreamID(device, 0, id, &size) != 0 ||
        cti->DevOpenDataStream(device, id, &stream) != 0)
        ADD_FAILURE() << "opening the stream: " << LastError().text;
    return stream;
}

BUFFER_HANDLE FixtureSession::AllocBuffer(DS_HANDLE stream, void* user_ptr)
{
    BUFFER_HANDLE buffer = nullptr;
    if (cti->DSAllocAndAnnounceBuffer(stream, BUFFER_BYTES, user_ptr, &buffer) != 0)
        ADD_FAILURE() << "DSAllocAndAnnounceBuffer: " << LastError().text;
    return buffer;
}

EVENT_HANDLE FixtureSession::RegisterNewBufferEvent(DS_HANDLE stream)
{
    EVENT_HANDLE event = nullptr;
    if (cti->GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event) != 0)
        ADD_FAILURE() << "GCRegisterEvent: " << LastError().text;
    return event;
}

EVENT_HANDLE FixtureSession::StartWithOneBuffer(DS_HANDLE stream, BUFFER_HANDLE buffer)
{
    EVENT_HANDLE event = RegisterNewBufferEvent(stream);
    if (cti->DSQueueBuffer(stream, buffer) != 0 ||
        cti->DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE) != 0)
        ADD_FAILURE() << "starting with one buffer: " << LastError().text;
    return event;
}

Delivery WaitForBuffer(const TestSupport::GenTLFunctions& gentl, EVENT_HANDLE event,
                       uint64_t timeout_ms)
{
    // The new-buffer event's datum: buffer handle, then user pointer.
    struct {
        BUFFER_HANDLE handle;
        void* user_ptr;
    } data{};
    size_t size = sizeof data;
    Delivery delivery;
    delivery.result = gentl.EventGetData(event, &data, &size, timeout_ms);
    delivery.buffer = data.handle;
    delivery.user_ptr = data.user_ptr;
    return delivery;
}

}  // namespace FrontTest
