// FixtureSession.h: a consumer of the fixture producer, with the steps down
// the module tree that most tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "GenTL.h"
#include "support/CtiLoader.h"

namespace FrontTest {

// The fixture's fixed answers: one interface, four devices, each stream's
// buffers filled whole by the fake engine.
constexpr const char* INTERFACE_ID = "Fixture_Fake";
constexpr size_t BUFFER_BYTES = 256;

inline std::string DeviceID(uint32_t index)
{
    return "Fixture_DEV_FakeDevice" + std::to_string(index);
}

// Each step fails the running test (and returns a null handle or false) when
// a GenTL call does not succeed. The producer stays loaded for the whole
// process; the session closes the library when it ends, so the next one
// starts from a closed library.
class FixtureSession {
public:
    ~FixtureSession()
    {
        if (IsLoaded()) cti->GCCloseLib();
    }

    bool IsLoaded() const { return cti.IsComplete(); }
    std::string LoadError() const { return cti.Error(); }
    const TestSupport::GenTLFunctions* operator->() const { return &cti.Functions(); }
    const TestSupport::GenTLFunctions& Functions() const { return cti.Functions(); }
    // The calling thread's last error.
    TestSupport::LastError LastError() const { return TestSupport::ReadLastError(Functions()); }

    // GCInitLib, TLOpen, both list updates and the interface's open.
    bool OpenToInterface()
    {
        return Check(cti->GCInitLib() == 0 && cti->TLOpen(&system) == 0 &&
                         cti->TLUpdateInterfaceList(system, nullptr, 0) == 0 &&
                         cti->TLOpenInterface(system, INTERFACE_ID, &iface) == 0 &&
                         cti->IFUpdateDeviceList(iface, nullptr, 0) == 0,
                     "opening to the interface");
    }
    DEV_HANDLE OpenDevice(uint32_t index)
    {
        DEV_HANDLE device = nullptr;
        Check(cti->IFOpenDevice(iface, DeviceID(index).c_str(), DEVICE_ACCESS_EXCLUSIVE, &device) ==
                  0,
              "IFOpenDevice");
        return device;
    }
    DS_HANDLE OpenStream(DEV_HANDLE device)
    {
        char id[256] = {};
        size_t size = sizeof id;
        DS_HANDLE stream = nullptr;
        Check(cti->DevGetDataStreamID(device, 0, id, &size) == 0 &&
                  cti->DevOpenDataStream(device, id, &stream) == 0,
              "opening the stream");
        return stream;
    }
    BUFFER_HANDLE AllocBuffer(DS_HANDLE stream, void* user_ptr = nullptr)
    {
        BUFFER_HANDLE buffer = nullptr;
        Check(cti->DSAllocAndAnnounceBuffer(stream, BUFFER_BYTES, user_ptr, &buffer) == 0,
              "DSAllocAndAnnounceBuffer");
        return buffer;
    }
    EVENT_HANDLE RegisterNewBufferEvent(DS_HANDLE stream)
    {
        EVENT_HANDLE event = nullptr;
        Check(cti->GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event) == 0, "GCRegisterEvent");
        return event;
    }

    TL_HANDLE system = nullptr;
    IF_HANDLE iface = nullptr;

private:
    bool Check(bool done, const char* step) const
    {
        if (!done) ADD_FAILURE() << step << ": " << LastError().text;
        return done;
    }

    TestSupport::CtiLoader cti{GENTESK_FIXTURE_PATH};
};

// One delivery of the new-buffer event: its datum is the buffer handle, then
// the user pointer.
struct Delivery {
    BUFFER_HANDLE buffer = nullptr;
    void* user_ptr = nullptr;
    GC_ERROR result = GC_ERR_ERROR;
};
inline Delivery WaitForBuffer(const TestSupport::GenTLFunctions& gentl, EVENT_HANDLE event,
                              uint64_t timeout_ms = 2000)
{
    Delivery delivery;
    size_t size = 2 * sizeof(void*);
    delivery.result = gentl.EventGetData(event, &delivery, &size, timeout_ms);
    return delivery;
}

}  // namespace FrontTest
