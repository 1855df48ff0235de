// The system module: its interface list update, interface lookup by ID, TL
// info and registers, driven as the service front drives them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ModuleTreeFixture.h"
#include "gentl_core/GenTLEvent.h"

namespace ModuleTest {
namespace {

using GenTLCore::GenTLInterface;
using IDs = std::vector<std::string>;

// ---- The interface list update ----

using InterfaceListUpdateTest = ModuleTreeTest;

// Rediscovered interfaces keep their object and place; new ones follow in
// discovery order; a changed order is no change.
TEST_F(InterfaceListUpdateTest, ReportsChangesAndKeepsTheOrderOfRediscoveredOnes)
{
    system->discovered = {MakeInterfaceTag("A"), MakeInterfaceTag("B"), MakeInterfaceTag("C")};
    bool8_t changed = 7;
    ASSERT_EQ(system->UpdateInterfaceListReportChange(&changed, 1500), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(system->last_timeout, 1500u);
    const SharedPtr<TestInterface> a = Interface("TestPrefix_A");
    system->discovered = {MakeInterfaceTag("C"), MakeInterfaceTag("B"), MakeInterfaceTag("A")};
    ASSERT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(system->last_timeout, 0u);
    EXPECT_EQ(Interface("TestPrefix_A").Get(), a.Get());
    DiscoverInterfaces({"E", "C", "D", "A"});
    EXPECT_EQ(PublishedInterfaceIDs(),
              (IDs{"TestPrefix_A", "TestPrefix_C", "TestPrefix_E", "TestPrefix_D"}));
}

// Closed, a vanished interface goes; open, it is marked and refused until
// closed, and published again when it comes back.
TEST_F(InterfaceListUpdateTest, VanishedInterfacesGoOnceClosed)
{
    DiscoverInterfaces({"A", "B", "C"});
    const SharedPtr<TestInterface> a = OpenInterface("TestPrefix_A");
    const SharedPtr<TestInterface> c = Interface("TestPrefix_C");
    DiscoverInterfaces({"B"});
    EXPECT_EQ(PublishedInterfaceIDs(), IDs{"TestPrefix_B"});
    EXPECT_EQ(c.UseCount(), 1);
    EXPECT_TRUE(a->IsNotAvailable());
    const int discoveries = system->discoveries;
    SharedPtr<GenTLInterface> again;
    EXPECT_EQ(system->ItfOpen("TestPrefix_A", again), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "ItfOpen: the requested interface exists in the list, but is marked as inaccessible");
    EXPECT_EQ(system->discoveries, discoveries + 1);  // the one-off update looked again

    DiscoverInterfaces({"A", "B"});
    EXPECT_EQ(PublishedInterfaceIDs(), (IDs{"TestPrefix_B", "TestPrefix_A"}));
    EXPECT_TRUE(a->IsNotAvailable());
    opened.CloseFrom(a);
    EXPECT_FALSE(a->IsNotAvailable());
    DiscoverInterfaces({});
    EXPECT_EQ(a.UseCount(), 1);
}

TEST_F(InterfaceListUpdateTest, FailuresAndNamelessCandidatesLeaveAConsistentList)
{
    DiscoverInterfaces({"A", "B"});
    system->discovery_result = GC_ERR_IO;
    bool8_t changed = 7;
    EXPECT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_IO);
    EXPECT_EQ(changed, 7);
    system->discovery_result = GC_ERR_SUCCESS;
    // A marked, closed interface in the published part is erased before the
    // creation fails: the published count must shrink with it.
    system->discovered = {MakeInterfaceTag("B")};
    ASSERT_FALSE(Interface("TestPrefix_Z"));  // the one-off update only marks A
    EXPECT_EQ(PublishedInterfaceIDs(), (IDs{"TestPrefix_A", "TestPrefix_B"}));
    EXPECT_FALSE(Interface("TestPrefix_A"));
    system->discovered = {MakeInterfaceTag("B"), MakeInterfaceTag("C")};
    system->failing_ids = {"C"};
    EXPECT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(PublishedInterfaceIDs(), IDs{"TestPrefix_B"});
    char id[64];
    size_t size = sizeof id;
    EXPECT_EQ(system->GetInterfaceID(1, id, &size), GC_ERR_INVALID_INDEX);
    // A candidate without ID is skipped, unless it is a listed one.
    system->discovered = {SharedPtr<GenTLCore::InterfaceTag>(new FakeInterfaceTag("", "ghost")),
                          SharedPtr<GenTLCore::InterfaceTag>(new FakeInterfaceTag("", "B"))};
    EXPECT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(PublishedInterfaceIDs(), IDs{"TestPrefix_B"});
    // Closing the system drops every interface.
    const SharedPtr<TestInterface> b = Interface("TestPrefix_B");
    opened.CloseAll();
    EXPECT_EQ(b.UseCount(), 1);
    ASSERT_EQ(opened.Open(system), GC_ERR_SUCCESS);
    EXPECT_TRUE(PublishedInterfaceIDs().empty());
}

// An unlisted ID runs one update with the default timeout; a listed one none;
// an alternative ID needs a key the branding lists.
TEST_F(InterfaceListUpdateTest, ItfOpenFindsByIDOrAlternativeID)
{
    SharedPtr<GenTLInterface> itf;
    EXPECT_EQ(system->ItfOpen(nullptr, itf), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "ItfOpen: invalid interface ID pointer");
    system->discovery_result = GC_ERR_IO;
    EXPECT_EQ(system->ItfOpen("TestPrefix_A", itf), GC_ERR_INVALID_ID);
    EXPECT_EQ(LastErrorText(), "ItfOpen: invalid interface ID, no such interface exists");
    system->discovery_result = GC_ERR_SUCCESS;
    system->discovered = {MakeInterfaceTag("A", "aa"), MakeInterfaceTag("B", "bb")};
    EXPECT_TRUE(Interface("TestPrefix_A"));
    EXPECT_EQ(system->discoveries, 2);
    EXPECT_EQ(system->last_timeout, 4321u);
    EXPECT_TRUE(PublishedInterfaceIDs().empty());
    ASSERT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_SUCCESS);
    EXPECT_TRUE(Interface("TestPrefix_A"));
    const SharedPtr<TestInterface> found = Interface("#mac#bb");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->GetID(), "TestPrefix_B");
    EXPECT_EQ(system->discoveries, 3);
    EXPECT_EQ(system->ItfOpen("#MAC#aa", itf), GC_ERR_INVALID_ID);
}

// ---- TL info and registers ----

using SystemInfoTest = ModuleTreeTest;

TEST_F(SystemInfoTest, AnswersTLInfoWithTypeAndValue)
{
    const struct {
        TL_INFO_CMD command;
        GC_ERROR result;
        INFO_DATATYPE type;
        uint32_t number;
        std::string text;  // or the refusal
    } rows[] = {
        {TL_INFO_CHAR_ENCODING, GC_ERR_SUCCESS, INFO_DATATYPE_INT32, 1, ""},
        {TL_INFO_GENTL_VER_MAJOR, GC_ERR_SUCCESS, INFO_DATATYPE_UINT32, 1, ""},
        {TL_INFO_GENTL_VER_MINOR, GC_ERR_SUCCESS, INFO_DATATYPE_UINT32, 6, ""},
        {3301, GC_ERR_SUCCESS, INFO_DATATYPE_UINT32, 0, ""},
        {TL_INFO_VENDOR, GC_ERR_SUCCESS, INFO_DATATYPE_STRING, 0, "Test Vendor"},
        {TL_INFO_MODEL, GC_ERR_SUCCESS, INFO_DATATYPE_STRING, 0, "Test Model"},
        {TL_INFO_VERSION, GC_ERR_SUCCESS, INFO_DATATYPE_STRING, 0, "9.8.7"},
        {TL_INFO_TLTYPE, GC_ERR_SUCCESS, INFO_DATATYPE_STRING, 0, "TestTL"},
        {3300, GC_ERR_SUCCESS, INFO_DATATYPE_STRING, 0, "gentl_core"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        char buffer[32] = {};
        size_t size = sizeof buffer;
        INFO_DATATYPE type = -1;
        ASSERT_EQ(system->GetTLInfo(row.command, &type, buffer, &size), row.result);
        EXPECT_EQ(type, row.type);
        uint32_t number = 0;
        std::memcpy(&number, buffer, sizeof number);
        if (row.type == INFO_DATATYPE_STRING) {
            EXPECT_EQ(std::string(buffer), row.text);
            EXPECT_EQ(size, row.text.size() + 1);
        } else {
            EXPECT_EQ(number, row.number);
            EXPECT_EQ(size, 4u);
        }
    }
    ExpectNotImplemented(
        [&](TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size) {
            return system->GetTLInfo(command, type, buffer, size);
        },
        {11, 999, -1, 1000, 3302}, "GetTLInfo: unknown system info command requested");
    EXPECT_EQ(system->GetUniqueString(), "TestPrefix_SYSTEM");
}

constexpr uint64_t UPDATE_LIST_ADDRESS = 0x10000000;
constexpr uint64_t NR_INTERFACES_ADDRESS = 0x10000004;
constexpr uint64_t SELECTOR_ADDRESS = 0x10000008;
constexpr uint64_t UPDATE_TIMEOUT_ADDRESS = 0x1000000C;
constexpr uint64_t INTERFACE_ID_ADDRESS = 0x10000010;

TEST_F(SystemInfoTest, RegistersDescribeTheSystemAndLoopTestValuesBack)
{
    uint8_t bytes[8] = {};
    size_t size = sizeof bytes;
    ASSERT_EQ(system->ReadPort(0x490, bytes, &size), GC_ERR_SUCCESS);
    const uint8_t version[8] = {1, 0, 0, 0, 6, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes, version, sizeof version));
    EXPECT_EQ(ReadString(*system, 0x420, 32), "Test Model" + std::string(22, '\0'));
    ASSERT_EQ(WriteUInt32(*system, 0xE0000004, 0x01020304), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*system, 0xE000000C), 0x01020304u);
    ASSERT_EQ(WriteUInt32(*system, 0xE0000008, 77), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*system, 0xE0000008), 77u);
    size = 4;
    ASSERT_EQ(system->WritePort(0xE0000020, "xyz", &size), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadString(*system, 0xE0000060, 32), "xyz" + std::string(29, '\0'));
}

// The test registers queue the test error event and post the written value
// as a module event packet.
TEST_F(SystemInfoTest, TestRegistersRaiseEvents)
{
    const SharedPtr<GenTLCore::GenTLErrorEvent> error = system->GetErrorEvent();
    const SharedPtr<GenTLCore::GenTLModuleEvent> module = system->GetModuleEvent();
    ASSERT_EQ(error->Open(), GC_ERR_SUCCESS);
    ASSERT_EQ(module->Open(), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*system, 0xE0000000, 5), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*system, 0xE0000080, 0x12345678), GC_ERR_SUCCESS);
    char text[64] = {};
    size_t size = sizeof text;
    ASSERT_EQ(error->GetEventData(text, &size, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(std::string(text), "This is a test event");
    EXPECT_EQ(size, 21u);
    uint8_t packet[16] = {};
    size = sizeof packet;
    ASSERT_EQ(module->GetEventData(packet, &size, 0), GC_ERR_SUCCESS);
    const uint8_t expected[12] = {'y',  'k',  'i',  'v',  0x01, 0x11,
                                  0x11, 0x11, 0x78, 0x56, 0x34, 0x12};
    ASSERT_EQ(size, sizeof expected);
    EXPECT_EQ(0, std::memcmp(packet, expected, sizeof expected));
    error->Close();
    module->Close();
}

// The selector clamps to the last interface; the update register publishes
// with its own timeout and succeeds even when the discovery fails.
TEST_F(SystemInfoTest, InterfaceRegistersFollowTheListAndTheSelector)
{
    EXPECT_EQ(ReadUInt32(*system, SELECTOR_ADDRESS), 0u);
    EXPECT_EQ(ReadString(*system, INTERFACE_ID_ADDRESS, 128), std::string(128, '\0'));
    EXPECT_EQ(ReadUInt32(*system, NR_INTERFACES_ADDRESS), 0u);
    system->discovered = {MakeInterfaceTag("A"), MakeInterfaceTag("B")};
    const struct {
        uint32_t written;
        uint64_t used;
    } timeouts[] = {{0, 4321}, {250, 250}, {0xFFFFFFFF, GENTL_INFINITE}};
    for (const auto& row : timeouts) {
        SCOPED_TRACE(row.written);
        ASSERT_EQ(WriteUInt32(*system, UPDATE_TIMEOUT_ADDRESS, row.written), GC_ERR_SUCCESS);
        EXPECT_EQ(ReadUInt32(*system, UPDATE_TIMEOUT_ADDRESS), row.written);
        ASSERT_EQ(WriteUInt32(*system, UPDATE_LIST_ADDRESS, 1), GC_ERR_SUCCESS);
        EXPECT_EQ(system->last_timeout, row.used);
    }
    EXPECT_EQ(WriteUInt32(*system, SELECTOR_ADDRESS, 7), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*system, SELECTOR_ADDRESS), 1u);
    EXPECT_EQ(ReadString(*system, INTERFACE_ID_ADDRESS, 128).c_str(), std::string("TestPrefix_B"));
    EXPECT_EQ(ReadUInt32(*system, NR_INTERFACES_ADDRESS), 2u);
    system->discovery_result = GC_ERR_IO;
    EXPECT_EQ(WriteUInt32(*system, UPDATE_LIST_ADDRESS, 0), GC_ERR_SUCCESS);
    expected_asserts = 3;  // diagnostics only: two for the empty list, one for the clamp
}

TEST_F(SystemInfoTest, SecondSystemObjectIsReported)
{
    SharedPtr<TestSystem> second(new TestSystem(journal));
    second->CompleteConstruction();
    expected_asserts = 1;
}

}  // namespace
}  // namespace ModuleTest
