// ModuleTreeFixture.h: a fixture over an open test system, with helpers that
// walk the module tree the way the service front does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ModuleDoubles.h"
#include "gentl_core/ErrorHandling.h"
#include "support/AssertionCounter.h"

namespace ModuleTest {

inline std::string LastErrorText()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record.text;
}

// IDs listed as a consumer lists them: `count(&n)`, then `id(i, buffer, &size)`.
template <class Count, class ID>
std::vector<std::string> ListIDs(Count count, ID id)
{
    uint32_t number = 0;
    EXPECT_EQ(count(&number), GC_ERR_SUCCESS);
    std::vector<std::string> ids;
    for (uint32_t i = 0; i < number; ++i) {
        char text[128] = {};
        size_t size = sizeof text;
        EXPECT_EQ(id(i, text, &size), GC_ERR_SUCCESS);
        ids.emplace_back(text);
    }
    return ids;
}

// An info answer that is a string; "<failed>" on failure.
template <class Query>
std::string InfoString(Query query)
{
    char text[256] = {};
    size_t size = sizeof text;
    INFO_DATATYPE type = 0;
    if (query(&type, text, &size) != GC_ERR_SUCCESS || type != INFO_DATATYPE_STRING)
        return "<failed>";
    return std::string(text);
}

// Every test starts with an open TestSystem that lists nothing; failed
// assertions are counted and must match `expected_asserts` at the end.
class ModuleTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        system = SharedPtr<TestSystem>(new TestSystem(journal));
        system->CompleteConstruction();
        ASSERT_EQ(opened.Open(system), GC_ERR_SUCCESS);
    }
    void TearDown() override
    {
        opened.CloseDownTo(nullptr);
        EXPECT_EQ(asserts.Failures(), expected_asserts);
    }

    // One publishing update of the system with interfaces of these IDs.
    void DiscoverInterfaces(const std::vector<std::string>& ids)
    {
        system->discovered.clear();
        for (const std::string& id : ids) system->discovered.push_back(MakeInterfaceTag(id));
        ASSERT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_SUCCESS);
    }
    std::vector<std::string> PublishedInterfaceIDs()
    {
        return ListIDs([&](uint32_t* count) { return system->GetNumInterfaces(count); },
                       [&](uint32_t i, char* id, size_t* size) {
                           return system->GetInterfaceID(i, id, size);
                       });
    }
    // ItfOpen, then opened as the pool does when `open`; empty on failure.
    SharedPtr<TestInterface> Interface(const std::string& id, bool open = false)
    {
        SharedPtr<GenTLCore::GenTLInterface> itf;
        if (system->ItfOpen(id.c_str(), itf) != GC_ERR_SUCCESS ||
            (open && opened.Open(itf) != GC_ERR_SUCCESS))
            return SharedPtr<TestInterface>();
        return itf.DynamicCast<TestInterface>();
    }
    // A published, open interface "If" with the given devices published.
    SharedPtr<TestInterface> InterfaceWithDevices(const std::vector<std::string>& device_ids)
    {
        DiscoverInterfaces({"If"});
        SharedPtr<TestInterface> itf = Interface("TestPrefix_If", true);
        for (const std::string& id : device_ids) itf->discovered.push_back(MakeDeviceTag(id));
        EXPECT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
        return itf;
    }
    // DevOpen, then opened as the pool does; empty on failure.
    SharedPtr<TestDevice> OpenDevice(TestInterface& itf, const std::string& id,
                                     uint32_t access = DEVICE_ACCESS_CONTROL)
    {
        SharedPtr<GenTLCore::GenTLLocalDevice> dev;
        if (itf.DevOpen(id.c_str(), access, dev) != GC_ERR_SUCCESS ||
            opened.Open(dev) != GC_ERR_SUCCESS)
            return SharedPtr<TestDevice>();
        return dev.DynamicCast<TestDevice>();
    }

    // Port access as a consumer makes it; a read must succeed.
    static uint32_t ReadUInt32(GenTLCore::GenTLPort& port, uint64_t address)
    {
        uint32_t value = 0xDEADBEEF;
        size_t size = sizeof value;
        EXPECT_EQ(port.ReadPort(address, &value, &size), GC_ERR_SUCCESS) << LastErrorText();
        return value;
    }
    static std::string ReadString(GenTLCore::GenTLPort& port, uint64_t address, size_t size)
    {
        std::string bytes(size, 'x');
        EXPECT_EQ(port.ReadPort(address, bytes.data(), &size), GC_ERR_SUCCESS) << LastErrorText();
        return bytes;
    }
    static GC_ERROR WriteUInt32(GenTLCore::GenTLPort& port, uint64_t address, uint32_t value)
    {
        size_t size = sizeof value;
        return port.WritePort(address, &value, &size);
    }

    TestSupport::AssertionCounter asserts;
    int expected_asserts = 0;
    ModuleBranding& branding = InstallModuleBranding();
    Journal journal;
    SharedPtr<TestSystem> system;
    OpenedObjects opened;  // after `system`: closes everything before it goes
};

}  // namespace ModuleTest
