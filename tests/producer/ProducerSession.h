// ProducerSession.h: a consumer of the built .cti in the test's own loopback
// namespace: the library, the system and the Tesk3D interface open, a
// simulated sensor on 127.0.0.1:32001, and the registers of every module.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "gentl_producers/GenTesk3d/GenTLInterfaceTesk.h"
#include "gentl_producers/GenTesk3d/GenTLLocalDeviceTesk.h"
#include "gentl_producers/GenTesk3d/GenTLRemoteDeviceTesk.h"
#include "support/CtiLoader.h"
#include "support/NetworkNamespace.h"
#include "support/SimulatedSensor.h"
#include "support/SimulatedSettings.h"
#include "support/WaitUntil.h"

namespace TestSupport {

class ProducerSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!InPrivateLoopbackNamespace())
            GTEST_SKIP() << "Refusing to take port 32001, build links or broadcast outside a "
                            "namespace holding only lo; run under the test launcher";
        ASSERT_TRUE(cti.IsComplete()) << cti.Error();
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLUpdateInterfaceList(system, nullptr, 0));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpenInterface(system, "Tesk3D_GenTL_Interface", &iface));
    }
    void TearDown() override
    {
        if (system != nullptr) cti->GCCloseLib();
    }

    // On port 32001 of `ip`, in the calling thread's network namespace.
    void StartSensor(LinMode lin = LinMode::Ok, int lin_delay_ms = 0,
                     const std::string& ip = "127.0.0.1")
    {
        sensor = nullptr;  // frees the port first
        sensor = std::make_unique<SimulatedSensor>(SimulatedSensor::Options{ip, false, 32001});
        sensor->SetXmlBuilder(settings.Builder());
        sensor->SetLinMode(lin, lin_delay_ms);
        sensor->SetStreamRate(400);
    }
    GC_ERROR OpenDevice(uint32_t flags = DEVICE_ACCESS_CONTROL, const std::string& ip = "127.0.0.1")
    {
        const GC_ERROR result = cti->IFOpenDevice(iface, ("#ip#" + ip).c_str(), flags, &device);
        if (result == GC_ERR_SUCCESS) cti->DevGetPort(device, &port);
        return result;
    }
    void OpenStream()
    {
        char id[64] = {};
        size_t size = sizeof id;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DevGetDataStreamID(device, 0, id, &size));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DevOpenDataStream(device, id, &stream));
    }

    // The port and record of an interface (12001-12008), local device
    // (13001-13003) or remote device register.
    std::pair<void*, GenTLCore::RegisterDefinition> Register(uint32_t id) const
    {
        for (const auto& row : GenTLCore::ZoTL::INTERFACE_CUSTOM_REGISTERS)
            if (row.id == id) return {iface, row};
        for (const auto& row : GenTLCore::ZoTL::LOCAL_DEVICE_CUSTOM_REGISTERS)
            if (row.id == id) return {device, row};
        for (const auto& row : GenTLCore::ZoTL::REMOTE_DEVICE_REGISTERS)
            if (row.id == id) return {port, row};
        return {port, {}};
    }
    template <class T>
    GC_ERROR Write(uint32_t id, T value)
    {
        const auto [to, row] = Register(id);
        size_t size = sizeof value;
        return cti->GCWritePort(to, row.address, &value, &size);
    }
    // A number as text, the string, or "failed <code>".
    std::string Read(uint32_t id)
    {
        const auto [from, row] = Register(id);
        char value[128] = {};
        size_t size = row.size;
        const GC_ERROR result = cti->GCReadPort(from, row.address, value, &size);
        uint64_t number = 0;
        std::memcpy(&number, value, std::min<size_t>(size, sizeof number));
        return result != GC_ERR_SUCCESS                 ? "failed " + std::to_string(result)
               : row.type == GenTLCore::REG_TYPE_STRING ? value
                                                        : std::to_string(number);
    }
    std::string LastError() const { return ReadLastError(cti.Functions()).text; }

    TestNetwork net;  // first: outlives every sensor
    CtiLoader cti{GENTESK_CTI_PATH};
    TL_HANDLE system = nullptr;
    IF_HANDLE iface = nullptr;
    DEV_HANDLE device = nullptr;
    PORT_HANDLE port = nullptr;
    DS_HANDLE stream = nullptr;
    SimulatedSettings settings;
    std::unique_ptr<SimulatedSensor> sensor;
};

}  // namespace TestSupport
