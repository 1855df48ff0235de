// FixtureSession.h: a consumer of the fixture producer, with the steps down
// the module tree that most tests share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "GenTL.h"
#include "support/CtiLoader.h"

namespace FrontTest {

// The fixture's fixed answers.
constexpr const char* INTERFACE_ID = "Fixture_Fake";
constexpr uint32_t DEVICE_COUNT = 4;
// Filled by the fake engine as a whole.
constexpr size_t BUFFER_BYTES = 256;

std::string DeviceID(uint32_t index);

// Each step fails the running test (and returns a null handle or false) when
// a GenTL call does not succeed. The producer stays loaded for the whole
// process; the session closes the library when it ends, so the next one
// starts from a closed library.
class FixtureSession {
public:
    FixtureSession();
    ~FixtureSession();

    bool IsLoaded() const { return cti.IsComplete(); }
    std::string LoadError() const { return cti.Error(); }
    const TestSupport::GenTLFunctions* operator->() const { return &cti.Functions(); }
    const TestSupport::GenTLFunctions& Functions() const { return cti.Functions(); }

    // GCInitLib, TLOpen, both list updates and the interface's open.
    bool OpenToInterface();
    DEV_HANDLE OpenDevice(uint32_t index);
    DS_HANDLE OpenStream(DEV_HANDLE device);
    BUFFER_HANDLE AllocBuffer(DS_HANDLE stream, void* user_ptr = nullptr);
    EVENT_HANDLE RegisterNewBufferEvent(DS_HANDLE stream);
    // A buffer queued, the new-buffer event registered and acquisition started.
    EVENT_HANDLE StartWithOneBuffer(DS_HANDLE stream, BUFFER_HANDLE buffer);

    // The calling thread's last error.
    TestSupport::LastError LastError() const { return TestSupport::ReadLastError(Functions()); }

    TL_HANDLE system = nullptr;
    IF_HANDLE iface = nullptr;

private:
    TestSupport::CtiLoader cti;
};

// One delivery of the new-buffer event.
struct Delivery {
    GC_ERROR result = GC_ERR_ERROR;
    BUFFER_HANDLE buffer = nullptr;
    void* user_ptr = nullptr;
};
Delivery WaitForBuffer(const TestSupport::GenTLFunctions& gentl, EVENT_HANDLE event,
                       uint64_t timeout_ms = 2000);

// A number answered by an info call; zero on failure.
template <class T, class Query>
T QueryNumber(Query query)
{
    T value{};
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = sizeof value;
    return query(&type, &value, &size) == GC_ERR_SUCCESS ? value : T{};
}

}  // namespace FrontTest
