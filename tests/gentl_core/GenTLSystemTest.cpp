// The system module: its interface list update, interface lookup by ID and
// registers, driven as the service front drives them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleTreeFixture.h"
#include "gentl_core/GenTLEvent.h"

namespace ModuleTest {
namespace {

using GenTLCore::GenTLInterface;
using IDs = std::vector<std::string>;
using SystemTest = ModuleTreeTest;

// Open, a vanished interface is marked and refused until closed; a failed
// creation or discovery leaves a consistent list; nameless candidates are
// skipped unless listed. A second system object is a fault.
TEST_F(SystemTest, InterfaceListUpdatesKeepTheListConsistent)
{
    DiscoverInterfaces({"A", "B", "C"});
    const SharedPtr<TestInterface> a = Interface("TestPrefix_A", true);
    DiscoverInterfaces({"B"});
    EXPECT_EQ(PublishedInterfaceIDs(), IDs{"TestPrefix_B"});
    SharedPtr<GenTLInterface> again;
    EXPECT_EQ(system->ItfOpen("TestPrefix_A", again), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "ItfOpen: the requested interface exists in the list, but is marked as inaccessible");
    opened.CloseDownTo(a.Get());
    system->discovery_result = GC_ERR_IO;
    bool8_t changed = 7;
    EXPECT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_IO);
    EXPECT_EQ(changed, 7);
    system->discovery_result = GC_ERR_SUCCESS;
    system->discovered = {MakeInterfaceTag("B"), MakeInterfaceTag("C")};
    system->failing_ids = {"C"};
    EXPECT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(PublishedInterfaceIDs(), IDs{"TestPrefix_B"});
    system->discovered = {SharedPtr<GenTLCore::InterfaceTag>(new FakeInterfaceTag("", "ghost")),
                          SharedPtr<GenTLCore::InterfaceTag>(new FakeInterfaceTag("", "B"))};
    EXPECT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(PublishedInterfaceIDs(), IDs{"TestPrefix_B"});
    SharedPtr<TestSystem>(new TestSystem(journal))->CompleteConstruction();
    expected_asserts = 1;
}

// Each candidate is compared only with the listed interface of its ID, and an
// impostor under a listed ID is left out, so IDs stay unique.
TEST_F(SystemTest, InterfaceListUpdateLooksCandidatesUpByID)
{
    IDs ids;
    for (int i = 0; i < 1000; ++i) ids.push_back(std::to_string(i));
    DiscoverInterfaces(ids);
    system->discovered.push_back(
        SharedPtr<GenTLCore::InterfaceTag>(new FakeInterfaceTag("7", "impostor")));
    FakeInterfaceTag::comparisons = 0;
    ASSERT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(FakeInterfaceTag::comparisons, 1001);
    EXPECT_EQ(PublishedInterfaceIDs().size(), 1000u);
}

// An unlisted ID runs one update with the default timeout; an alternative ID
// needs a key the branding lists, in its exact case.
TEST_F(SystemTest, ItfOpenFindsByIDOrAlternativeID)
{
    SharedPtr<GenTLInterface> itf;
    EXPECT_EQ(system->ItfOpen(nullptr, itf), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "ItfOpen: invalid interface ID pointer");
    system->discovery_result = GC_ERR_IO;
    EXPECT_EQ(system->ItfOpen("TestPrefix_A", itf), GC_ERR_INVALID_ID);
    system->discovery_result = GC_ERR_SUCCESS;
    system->discovered = {MakeInterfaceTag("A", "aa"), MakeInterfaceTag("B", "bb")};
    EXPECT_TRUE(Interface("TestPrefix_A"));
    EXPECT_EQ(system->last_timeout, 4321u);
    const SharedPtr<TestInterface> found = Interface("#mac#bb");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->GetID(), "TestPrefix_B");
    EXPECT_EQ(system->ItfOpen("#MAC#aa", itf), GC_ERR_INVALID_ID);
}

// The test registers loop values back, queue the test error event and post
// the written value as a module event packet.
TEST_F(SystemTest, TestRegistersLoopBackAndRaiseEvents)
{
    ASSERT_EQ(WriteUInt32(*system, 0xE0000004, 0x01020304), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*system, 0xE000000C), 0x01020304u);
    ASSERT_EQ(WriteUInt32(*system, 0xE0000008, 77), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*system, 0xE0000008), 77u);
    size_t size = 4;
    ASSERT_EQ(system->WritePort(0xE0000020, "xyz", &size), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadString(*system, 0xE0000060, 32), "xyz" + std::string(29, '\0'));
    const SharedPtr<GenTLCore::GenTLErrorEvent> error = system->GetErrorEvent();
    const SharedPtr<GenTLCore::GenTLModuleEvent> module = system->GetModuleEvent();
    ASSERT_EQ(error->Open(), GC_ERR_SUCCESS);
    ASSERT_EQ(module->Open(), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*system, 0xE0000000, 5), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*system, 0xE0000080, 0x12345678), GC_ERR_SUCCESS);
    char text[64] = {};
    size = sizeof text;
    ASSERT_EQ(error->GetEventData(text, &size, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(std::string(text, size), std::string("This is a test event", 21));
    uint8_t packet[16] = {};
    size = sizeof packet;
    ASSERT_EQ(module->GetEventData(packet, &size, 0), GC_ERR_SUCCESS);
    const uint8_t expected[12] = {'y',  'k',  'i',  'v',  0x01, 0x11,
                                  0x11, 0x11, 0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(std::vector<uint8_t>(packet, packet + size),
              std::vector<uint8_t>(expected, expected + 12));
    error->Close();
    module->Close();
}

}  // namespace
}  // namespace ModuleTest
