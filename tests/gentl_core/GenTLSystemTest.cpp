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

// ---- The interface list update ----

using InterfaceListUpdateTest = ModuleTreeTest;

TEST_F(InterfaceListUpdateTest, FirstUpdateReportsAChangeAndAnIdenticalSecondOneDoesNot)
{
    system->discovered = {MakeInterfaceTag("A")};
    bool8_t changed = 7;
    ASSERT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 1);
    const SharedPtr<TestInterface> first = Interface("TestPrefix_A");

    system->discovered = {MakeInterfaceTag("A")};  // a new tag of the same interface
    ASSERT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(Interface("TestPrefix_A").Get(), first.Get());
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_A"});

    DiscoverInterfaces({"A", "B"});
    system->discovered = {MakeInterfaceTag("B"), MakeInterfaceTag("A")};
    ASSERT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 0) << "a changed order is no change";
    EXPECT_EQ(PublishedInterfaceIDs(), (std::vector<std::string>{"TestPrefix_A", "TestPrefix_B"}));
}

TEST_F(InterfaceListUpdateTest, RediscoveredKeepTheirOrderAndNewOnesFollowInDiscoveryOrder)
{
    DiscoverInterfaces({"A", "B", "C"});
    DiscoverInterfaces({"E", "C", "D", "A"});
    EXPECT_EQ(PublishedInterfaceIDs(), (std::vector<std::string>{"TestPrefix_A", "TestPrefix_C",
                                                                 "TestPrefix_E", "TestPrefix_D"}));
}

TEST_F(InterfaceListUpdateTest, InterfaceNotRediscoveredIsDestroyedOnceClosed)
{
    DiscoverInterfaces({"A", "B", "C"});
    const SharedPtr<TestInterface> a = OpenInterface("TestPrefix_A");
    const SharedPtr<TestInterface> c = Interface("TestPrefix_C");
    DiscoverInterfaces({"B"});
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_B"});
    EXPECT_EQ(c.UseCount(), 1);  // closed: the system let it go
    EXPECT_EQ(a.UseCount(), 3);  // ours, the opened list's and the system's
    opened.CloseFrom(a);
    DiscoverInterfaces({});
    EXPECT_EQ(a.UseCount(), 1);
}

TEST_F(InterfaceListUpdateTest, OpenInterfaceNotRediscoveredIsMarkedAndRefused)
{
    DiscoverInterfaces({"A", "B"});
    const SharedPtr<TestInterface> a = OpenInterface("TestPrefix_A");
    DiscoverInterfaces({"B"});
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_B"});
    EXPECT_TRUE(a->IsNotAvailable());

    const int discoveries = system->discoveries;
    SharedPtr<GenTLInterface> again;
    EXPECT_EQ(system->ItfOpen("TestPrefix_A", again), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "ItfOpen: the requested interface exists in the list, but is marked as inaccessible");
    EXPECT_EQ(system->discoveries, discoveries + 1);  // the one-off update looked again
    EXPECT_FALSE(again);
}

TEST_F(InterfaceListUpdateTest, RediscoveredWhileOpenIsPublishedAgainAndLosesTheMarkAtClose)
{
    DiscoverInterfaces({"A", "B"});
    const SharedPtr<TestInterface> a = OpenInterface("TestPrefix_A");
    DiscoverInterfaces({"B"});
    DiscoverInterfaces({"A", "B"});
    EXPECT_EQ(PublishedInterfaceIDs(), (std::vector<std::string>{"TestPrefix_B", "TestPrefix_A"}));
    EXPECT_TRUE(a->IsNotAvailable());
    opened.CloseFrom(a);
    EXPECT_FALSE(a->IsNotAvailable());
}

TEST_F(InterfaceListUpdateTest, OneOffUpdateOfAnOpenAppendsUnpublishedAndOnlyMarksTillTheNextPublishingOne)
{
    DiscoverInterfaces({"A"});
    system->discovered = {MakeInterfaceTag("B")};
    const SharedPtr<TestInterface> b = Interface("TestPrefix_B");
    ASSERT_TRUE(b);
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_A"});
    char name[64];
    size_t size = sizeof name;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(system->GetInterfaceInfo("TestPrefix_B", INTERFACE_INFO_ID, &type, name, &size),
              GC_ERR_INVALID_ID);
    EXPECT_EQ(LastErrorText(), "GetInterfaceInfo: invalid interface ID, no such interface exists");
    EXPECT_FALSE(Interface("TestPrefix_A"));  // marked: refused
    DiscoverInterfaces({"B"});
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_B"});
}

TEST_F(InterfaceListUpdateTest, FailedDiscoveryChangesNothingAndReturnsItsCode)
{
    DiscoverInterfaces({"A"});
    system->discovery_result = GC_ERR_IO;
    system->discovered = {MakeInterfaceTag("B")};
    bool8_t changed = 7;
    EXPECT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_IO);
    EXPECT_EQ(changed, 7);
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_A"});
}

// A marked, closed interface in the published part is erased before the
// creation fails: the published count must shrink with it.
TEST_F(InterfaceListUpdateTest, FailedCreationKeepsThePublishedCountWithinTheList)
{
    DiscoverInterfaces({"A", "B"});
    system->discovered = {MakeInterfaceTag("B")};
    ASSERT_FALSE(Interface("TestPrefix_Z"));  // the one-off update marks A
    system->discovered = {MakeInterfaceTag("B"), MakeInterfaceTag("C")};
    system->failing_ids = {"C"};
    EXPECT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_OUT_OF_MEMORY);

    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_B"});
    char id[64];
    size_t size = sizeof id;
    EXPECT_EQ(system->GetInterfaceID(1, id, &size), GC_ERR_INVALID_INDEX);
}

TEST_F(InterfaceListUpdateTest, CandidateWithoutIDIsSkippedAndTheUpdateSucceeds)
{
    system->discovered = {SharedPtr<GenTLCore::InterfaceTag>(new FakeInterfaceTag("", "ghost")),
                          MakeInterfaceTag("A")};
    EXPECT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_A"});
}

TEST_F(InterfaceListUpdateTest, CandidateWithoutIDThatMatchesAListedOneRediscoversIt)
{
    DiscoverInterfaces({"A"});
    system->discovered = {SharedPtr<GenTLCore::InterfaceTag>(new FakeInterfaceTag("", "A"))};
    bool8_t changed = 7;
    EXPECT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_A"});
}

TEST_F(InterfaceListUpdateTest, TimeoutIsPassedUnchangedEvenWhenZero)
{
    EXPECT_EQ(system->UpdateInterfaceListReportChange(nullptr, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(system->last_timeout, 0u);
    EXPECT_EQ(system->UpdateInterfaceListReportChange(nullptr, 1500), GC_ERR_SUCCESS);
    EXPECT_EQ(system->last_timeout, 1500u);
}

TEST_F(InterfaceListUpdateTest, ClosingTheSystemDropsEveryInterface)
{
    DiscoverInterfaces({"A"});
    const SharedPtr<TestInterface> a = Interface("TestPrefix_A");
    opened.CloseAll();
    EXPECT_EQ(a.UseCount(), 1);
    ASSERT_EQ(opened.Open(system), GC_ERR_SUCCESS);
    EXPECT_TRUE(PublishedInterfaceIDs().empty());
}

// ---- Lookup by ID ----

using ItfOpenTest = ModuleTreeTest;

TEST_F(ItfOpenTest, NullIDIsRefusedAndAFailedOneOffUpdateIsNotTheResult)
{
    SharedPtr<GenTLInterface> itf;
    EXPECT_EQ(system->ItfOpen(nullptr, itf), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "ItfOpen: invalid interface ID pointer");
    system->discovery_result = GC_ERR_IO;
    EXPECT_EQ(system->ItfOpen("TestPrefix_A", itf), GC_ERR_INVALID_ID);
    EXPECT_EQ(LastErrorText(), "ItfOpen: invalid interface ID, no such interface exists");
}

TEST_F(ItfOpenTest, UnlistedIDRunsOneUpdateWithTheDefaultTimeoutAndIsHandedOutUnpublished)
{
    system->discovered = {MakeInterfaceTag("A")};
    EXPECT_TRUE(Interface("TestPrefix_A"));
    EXPECT_EQ(system->discoveries, 1);
    EXPECT_EQ(system->last_timeout, 4321u);
    EXPECT_TRUE(PublishedInterfaceIDs().empty());
    DiscoverInterfaces({"A"});
    EXPECT_TRUE(Interface("TestPrefix_A"));
    EXPECT_EQ(system->discoveries, 2) << "a listed ID needs no update";
}

TEST_F(ItfOpenTest, AlternativeIDWithAnInterfaceKeyOfTheBrandingFindsTheTag)
{
    system->discovered = {MakeInterfaceTag("A", "aa"), MakeInterfaceTag("B", "bb")};
    ASSERT_EQ(system->UpdateInterfaceList(true, 0), GC_ERR_SUCCESS);
    const SharedPtr<TestInterface> found = Interface("#mac#bb");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->GetID(), "TestPrefix_B");
    SharedPtr<GenTLInterface> itf;
    EXPECT_EQ(system->ItfOpen("#MAC#aa", itf), GC_ERR_INVALID_ID) << "the branding lists \"mac\"";
}

// ---- TL info ----

struct NumericInfo {
    TL_INFO_CMD command;
    INFO_DATATYPE type;
    uint32_t value;
};

class TLInfoNumberTest : public ModuleTreeTest,
                         public ::testing::WithParamInterface<NumericInfo> {};

TEST_P(TLInfoNumberTest, AnswersWithTheTypeAndValue)
{
    uint32_t value = 0xDEADBEEF;
    size_t size = sizeof value;
    INFO_DATATYPE type = -1;
    ASSERT_EQ(system->GetTLInfo(GetParam().command, &type, &value, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(type, GetParam().type);
    EXPECT_EQ(value, GetParam().value);
    EXPECT_EQ(size, 4u);
}

INSTANTIATE_TEST_SUITE_P(Commands, TLInfoNumberTest,
                         ::testing::Values(NumericInfo{TL_INFO_CHAR_ENCODING, INFO_DATATYPE_INT32, 1},
                                           NumericInfo{TL_INFO_GENTL_VER_MAJOR,
                                                       INFO_DATATYPE_UINT32, 1},
                                           NumericInfo{TL_INFO_GENTL_VER_MINOR,
                                                       INFO_DATATYPE_UINT32, 6},
                                           NumericInfo{3301, INFO_DATATYPE_UINT32, 0}),
                         [](const ::testing::TestParamInfo<NumericInfo>& info) {
                             return "Command" + std::to_string(info.param.command);
                         });

class TLInfoUnknownTest : public ModuleTreeTest,
                          public ::testing::WithParamInterface<TL_INFO_CMD> {};

TEST_P(TLInfoUnknownTest, IsNotImplemented)
{
    char buffer[16];
    size_t size = sizeof buffer;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(system->GetTLInfo(GetParam(), &type, buffer, &size), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "GetTLInfo: unknown system info command requested");
}

INSTANTIATE_TEST_SUITE_P(Commands, TLInfoUnknownTest,
                         ::testing::Values(11, 999, -1, 1000, 3302),
                         [](const ::testing::TestParamInfo<TL_INFO_CMD>& info) {
                             return "Command" + std::to_string(info.index);
                         });

using TLInfoTest = ModuleTreeTest;

TEST_F(TLInfoTest, TextsComeFromTheBranding)
{
    const auto info = [this](TL_INFO_CMD command) {
        return InfoString([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
            return system->GetTLInfo(command, type, buffer, size);
        });
    };
    EXPECT_EQ(info(TL_INFO_VENDOR), "Test Vendor");
    EXPECT_EQ(info(TL_INFO_MODEL), "Test Model");
    EXPECT_EQ(info(TL_INFO_VERSION), "9.8.7");
    EXPECT_EQ(info(TL_INFO_TLTYPE), "TestTL");
    EXPECT_EQ(info(3300), "gentl_core");
    EXPECT_EQ(system->GetUniqueString(), "TestPrefix_SYSTEM");
    size_t size = 0;
    INFO_DATATYPE type = 0;
    ASSERT_EQ(system->GetTLInfo(3300, &type, nullptr, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(size, 11u);
}

// ---- Registers ----

using SystemRegisterTest = ModuleTreeTest;

constexpr uint64_t NR_INTERFACES_ADDRESS = 0x10000004;
constexpr uint64_t SELECTOR_ADDRESS = 0x10000008;
constexpr uint64_t UPDATE_TIMEOUT_ADDRESS = 0x1000000C;
constexpr uint64_t INTERFACE_ID_ADDRESS = 0x10000010;
constexpr uint64_t UPDATE_LIST_ADDRESS = 0x10000000;

TEST_F(SystemRegisterTest, GenTLVersionReadsOneSixInOneAccessAndTheModelNameIsPadded)
{
    uint8_t bytes[8] = {};
    size_t size = sizeof bytes;
    ASSERT_EQ(system->ReadPort(0x490, bytes, &size), GC_ERR_SUCCESS);
    const uint8_t expected[8] = {1, 0, 0, 0, 6, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof expected));
    EXPECT_EQ(ReadString(*system, 0x420, 32), "Test Model" + std::string(22, '\0'));
}

TEST_F(SystemRegisterTest, TestNumbersAndTextsLoopBack)
{
    ASSERT_EQ(WriteUInt32(*system, 0xE0000004, 0x01020304), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*system, 0xE000000C), 0x01020304u);
    ASSERT_EQ(WriteUInt32(*system, 0xE0000008, 77), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*system, 0xE0000008), 77u);

    size_t size = 4;
    ASSERT_EQ(system->WritePort(0xE0000020, "xyz", &size), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadString(*system, 0xE0000060, 32), "xyz" + std::string(29, '\0'));
}

TEST_F(SystemRegisterTest, TestRegisterQueuesTheTestErrorEvent)
{
    const SharedPtr<GenTLCore::GenTLErrorEvent> event = system->GetErrorEvent();
    ASSERT_EQ(event->Open(), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*system, 0xE0000000, 5), GC_ERR_SUCCESS);
    char text[64] = {};
    size_t size = sizeof text;
    ASSERT_EQ(event->GetEventData(text, &size, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(std::string(text), "This is a test event");
    EXPECT_EQ(size, 21u);
    event->Close();
}

TEST_F(SystemRegisterTest, TestRegisterPostsTheWrittenValueAsModuleEvent)
{
    const SharedPtr<GenTLCore::GenTLModuleEvent> event = system->GetModuleEvent();
    ASSERT_TRUE(event);
    ASSERT_EQ(event->Open(), GC_ERR_SUCCESS);
    ASSERT_EQ(WriteUInt32(*system, 0xE0000080, 0x12345678), GC_ERR_SUCCESS);
    uint8_t packet[16] = {};
    size_t size = sizeof packet;
    ASSERT_EQ(event->GetEventData(packet, &size, 0), GC_ERR_SUCCESS);
    const uint8_t expected[12] = {'y', 'k', 'i', 'v', 0x01, 0x11, 0x11, 0x11,
                                  0x78, 0x56, 0x34, 0x12};
    ASSERT_EQ(size, sizeof expected);
    EXPECT_EQ(0, std::memcmp(packet, expected, sizeof expected));
    event->Close();
}

TEST_F(SystemRegisterTest, SelectorClampsToTheLastInterfaceAndAnEmptyListReadsEmpty)
{
    EXPECT_EQ(ReadUInt32(*system, SELECTOR_ADDRESS), 0u);
    EXPECT_EQ(ReadString(*system, INTERFACE_ID_ADDRESS, 128), std::string(128, '\0'));
    EXPECT_EQ(ReadUInt32(*system, NR_INTERFACES_ADDRESS), 0u);
    DiscoverInterfaces({"A", "B"});
    EXPECT_EQ(WriteUInt32(*system, SELECTOR_ADDRESS, 7), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*system, SELECTOR_ADDRESS), 1u);
    EXPECT_EQ(ReadString(*system, INTERFACE_ID_ADDRESS, 128).c_str(), std::string("TestPrefix_B"));
    EXPECT_EQ(ReadUInt32(*system, NR_INTERFACES_ADDRESS), 2u);
    expected_asserts = 3;  // diagnostics only: two for the empty list, one for the clamp
}

TEST_F(SystemRegisterTest, UpdateRegisterPublishesAndSucceedsEvenWhenDiscoveryFails)
{
    system->discovered = {MakeInterfaceTag("A")};
    ASSERT_EQ(WriteUInt32(*system, UPDATE_LIST_ADDRESS, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_A"});
    system->discovery_result = GC_ERR_IO;
    EXPECT_EQ(WriteUInt32(*system, UPDATE_LIST_ADDRESS, 0), GC_ERR_SUCCESS);
}

struct TimeoutCase {
    uint32_t written;
    uint64_t used;
};

class UpdateTimeoutRegisterTest : public ModuleTreeTest,
                                  public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(UpdateTimeoutRegisterTest, UpdateUsesTheRegistersTimeout)
{
    ASSERT_EQ(WriteUInt32(*system, UPDATE_TIMEOUT_ADDRESS, GetParam().written), GC_ERR_SUCCESS);
    EXPECT_EQ(ReadUInt32(*system, UPDATE_TIMEOUT_ADDRESS), GetParam().written);
    ASSERT_EQ(WriteUInt32(*system, UPDATE_LIST_ADDRESS, 1), GC_ERR_SUCCESS);
    EXPECT_EQ(system->last_timeout, GetParam().used);
}

INSTANTIATE_TEST_SUITE_P(Values, UpdateTimeoutRegisterTest,
                         ::testing::Values(TimeoutCase{0, 4321}, TimeoutCase{250, 250},
                                           TimeoutCase{0xFFFFFFFF, GENTL_INFINITE}),
                         [](const ::testing::TestParamInfo<TimeoutCase>& info) {
                             return "Written" + std::to_string(info.param.written);
                         });

// ---- One system per process ----

using SystemInstanceTest = ModuleTreeTest;

TEST_F(SystemInstanceTest, SecondSystemObjectIsReported)
{
    {
        SharedPtr<TestSystem> second(new TestSystem(journal));
        second->CompleteConstruction();
    }
    expected_asserts = 1;
}

}  // namespace
}  // namespace ModuleTest
