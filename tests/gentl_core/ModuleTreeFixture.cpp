#include "ModuleTreeFixture.h"

#include "gentl_core/ErrorHandling.h"

namespace ModuleTest {

void ModuleTreeTest::SetUp()
{
    system = SharedPtr<TestSystem>(new TestSystem(journal));
    system->CompleteConstruction();
    ASSERT_EQ(opened.Open(system), GC_ERR_SUCCESS);
}

void ModuleTreeTest::TearDown()
{
    opened.CloseAll();
    EXPECT_EQ(asserts.Failures(), expected_asserts);
}

void ModuleTreeTest::DiscoverInterfaces(const std::vector<std::string>& ids)
{
    system->discovered.clear();
    for (const std::string& id : ids)
        system->discovered.push_back(MakeInterfaceTag(id));
    ASSERT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_SUCCESS);
}

std::vector<std::string> ModuleTreeTest::PublishedInterfaceIDs()
{
    return ListIDs([&](uint32_t* count) { return system->GetNumInterfaces(count); },
                   [&](uint32_t i, char* id, size_t* size) {
                       return system->GetInterfaceID(i, id, size);
                   });
}

SharedPtr<TestInterface> ModuleTreeTest::Interface(const std::string& id)
{
    SharedPtr<GenTLCore::GenTLInterface> itf;
    if (system->ItfOpen(id.c_str(), itf) != GC_ERR_SUCCESS)
        return SharedPtr<TestInterface>();
    return itf.DynamicCast<TestInterface>();
}

SharedPtr<TestInterface> ModuleTreeTest::OpenInterface(const std::string& id)
{
    SharedPtr<TestInterface> itf = Interface(id);
    if (itf && opened.Open(itf) != GC_ERR_SUCCESS)
        return SharedPtr<TestInterface>();
    return itf;
}

SharedPtr<TestInterface> ModuleTreeTest::InterfaceWithDevices(
    const std::vector<std::string>& device_ids)
{
    DiscoverInterfaces({"If"});
    SharedPtr<TestInterface> itf = OpenInterface("TestPrefix_If");
    if (!itf)
        return itf;
    for (const std::string& id : device_ids)
        itf->discovered.push_back(MakeDeviceTag(id));
    EXPECT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    return itf;
}

std::vector<std::string> ModuleTreeTest::PublishedDeviceIDs(TestInterface& itf)
{
    return ListIDs([&](uint32_t* count) { return itf.GetNumDevices(count); },
                   [&](uint32_t i, char* id, size_t* size) { return itf.GetDeviceID(i, id, size); });
}

SharedPtr<TestDevice> ModuleTreeTest::OpenDevice(TestInterface& itf, const std::string& id,
                                                 uint32_t access)
{
    SharedPtr<GenTLCore::GenTLLocalDevice> dev;
    if (itf.DevOpen(id.c_str(), access, dev) != GC_ERR_SUCCESS)
        return SharedPtr<TestDevice>();
    if (opened.Open(dev) != GC_ERR_SUCCESS)
        return SharedPtr<TestDevice>();
    return dev.DynamicCast<TestDevice>();
}

uint32_t ModuleTreeTest::ReadUInt32(GenTLCore::GenTLPort& port, uint64_t address)
{
    uint32_t value = 0xDEADBEEF;
    size_t size = sizeof value;
    EXPECT_EQ(port.ReadPort(address, &value, &size), GC_ERR_SUCCESS) << LastErrorText();
    return value;
}

int32_t ModuleTreeTest::ReadInt32(GenTLCore::GenTLPort& port, uint64_t address)
{
    return static_cast<int32_t>(ReadUInt32(port, address));
}

std::string ModuleTreeTest::ReadString(GenTLCore::GenTLPort& port, uint64_t address,
                                       size_t size)
{
    std::string bytes(size, 'x');
    size_t read = size;
    EXPECT_EQ(port.ReadPort(address, bytes.data(), &read), GC_ERR_SUCCESS) << LastErrorText();
    return bytes;
}

GC_ERROR ModuleTreeTest::WriteUInt32(GenTLCore::GenTLPort& port, uint64_t address,
                                     uint32_t value)
{
    size_t size = sizeof value;
    return port.WritePort(address, &value, &size);
}

std::string LastErrorText()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record.text;
}

}  // namespace ModuleTest
