// ModuleTreeFixture.h: a fixture over an open test system, with helpers that
// walk the module tree the way the service front does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "ModuleDoubles.h"
#include "support/AssertionCounter.h"

namespace ModuleTest {

// Every test starts with an open TestSystem that lists nothing; failed
// assertions are counted and must match `expected_asserts` at the end.
class ModuleTreeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // One publishing update of the system with interfaces of these IDs.
    void DiscoverInterfaces(const std::vector<std::string>& ids);
    std::vector<std::string> PublishedInterfaceIDs();
    SharedPtr<TestInterface> Interface(const std::string& id);
    // ItfOpen, then opened as the pool does; empty on failure.
    SharedPtr<TestInterface> OpenInterface(const std::string& id);
    // A published, open interface "If" with the given devices published.
    SharedPtr<TestInterface> InterfaceWithDevices(const std::vector<std::string>& device_ids);

    std::vector<std::string> PublishedDeviceIDs(TestInterface& itf);
    // DevOpen, then opened as the pool does; empty on failure.
    SharedPtr<TestDevice> OpenDevice(TestInterface& itf, const std::string& id,
                                     uint32_t access = DEVICE_ACCESS_CONTROL);

    // Port access as a consumer makes it; the result must be success.
    static uint32_t ReadUInt32(GenTLCore::GenTLPort& port, uint64_t address);
    static int32_t ReadInt32(GenTLCore::GenTLPort& port, uint64_t address);
    static std::string ReadString(GenTLCore::GenTLPort& port, uint64_t address, size_t size);
    static GC_ERROR WriteUInt32(GenTLCore::GenTLPort& port, uint64_t address, uint32_t value);

    TestSupport::AssertionCounter asserts;
    int expected_asserts = 0;
    ModuleBranding& branding = InstallModuleBranding();
    Journal journal;
    SharedPtr<TestSystem> system;
    OpenedObjects opened;  // after `system`: closes everything before it goes
};

std::string LastErrorText();

// Every command fails with GC_ERR_NOT_IMPLEMENTED and `text`; `query` is
// called as query(command, type, buffer, size).
template <class Query>
void ExpectNotImplemented(Query query, std::initializer_list<int32_t> commands,
                          const std::string& text)
{
    for (int32_t command : commands) {
        char buffer[8];
        size_t size = sizeof buffer;
        INFO_DATATYPE type = 0;
        EXPECT_EQ(query(command, &type, buffer, &size), GC_ERR_NOT_IMPLEMENTED) << command;
        EXPECT_EQ(LastErrorText(), text);
    }
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
// An info answer that is a string; empty on failure.
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

}  // namespace ModuleTest
