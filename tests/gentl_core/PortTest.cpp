// PortTest.cpp: the URL list and port info through the test module's port, a
// stacked write against stacked readers, the module's events, and the virtual
// remote device's port.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "CoreTestHelpers.h"
#include "ModuleDoubles.h"
#include "TestModule.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/Logger.h"
#include "gentl_core/MiscUtils.h"
#include "support/AssertionCounter.h"

using namespace GenTLCore;
using namespace CoreTestHelpers;
using namespace std::string_literals;
using TestSupport::TestModule;

namespace {

constexpr uint64_t DOCUMENT_ADDRESS = 0xF0000000;
const std::vector<std::string> REMOTE_NAMES = {
    "TestPrefix_DEV_Dev_42", "Vendor", "Model", "TestTL", "Device", "2.5", "Device"};

PortURLEntry TestEntry(const std::string& url = "local:TestDoc.xml;f0000000;1a")
{
    PortURLEntry entry;
    entry.url = url;
    entry.sha1_hash.assign(20, 0xAB);
    entry.filename = "TestDoc.xml";
    return entry;
}

// A single access; a failed one sets the size to 0.
GC_ERROR Access(GenTLPort& port, bool write, uint64_t address, Bytes bytes)
{
    size_t size = bytes.size();
    const GC_ERROR result = write ? port.WritePort(address, bytes.data(), &size)
                                  : port.ReadPort(address, bytes.data(), &size);
    EXPECT_EQ(result ? 0 : bytes.size(), size);
    return result;
}

// Module code logs at info level here, so its log statements' branches run too.
class PortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module.CompleteConstruction();
        portless.CompleteConstruction();
        SetLogLevelForTest(LOG_LEVEL_INFO);
    }
    void TearDown() override { SetLogLevelForTest(0); }

    TestSupport::TestBranding& branding = TestSupport::InstallTestBranding();
    TestModule module{DescriptionDocument::System};
    TestModule portless;  // no URLs until a case gives it some
    TestSupport::AssertionCounter assertions;
};

}  // namespace

// A reader never sees a stacked write half done: the port's lock is held across all entries.
TEST_F(PortTest, KeepsAStackedWriteWholeForConcurrentStackedReaders)
{
    constexpr uint32_t ROUNDS = 300;
    const uint64_t addresses[] = {0x100, 0x200, 0x50000000};
    module.values[1] = module.values[5] = module.values[10001] = Bytes(4);
    std::atomic<bool> torn{false};
    const auto stacked = [&](uint32_t* values, bool write) {
        PORT_REGISTER_STACK_ENTRY entries[3];
        for (int i = 0; i < 3; ++i) entries[i] = {addresses[i], &values[write ? 0 : i], 4};
        size_t count = 3;
        EXPECT_EQ(GC_ERR_SUCCESS, write ? module.WritePortStacked(entries, &count)
                                        : module.ReadPortStacked(entries, &count));
    };
    std::thread writer([&] {
        for (uint32_t round = 0; round < ROUNDS; ++round) stacked(&round, true);
    });
    for (uint32_t round = 0; round < ROUNDS; ++round) {
        uint32_t seen[3] = {};
        stacked(seen, false);
        torn = torn || seen[0] != seen[1] || seen[1] != seen[2];
    }
    writer.join();
    EXPECT_FALSE(torn);
}

// Each URL ends with a NUL, the list with one more; a second list is refused
// and the first kept; a digest of another length would hand out a block the
// consumer cannot check.
TEST_F(PortTest, GetPortURLListsEveryURLAndGetPortURLInfoAnswersWhatTheEntryHas)
{
    size_t size = 0;
    uint32_t count = 7;
    // clang-format off
    ExpectCalls({
        {[&] { return portless.GetPortURL(nullptr, &size); }, GC_ERR_NO_DATA, "GetPortURL: no URL's available for this port"},
        {[&] { return InfoOf(portless, URL_INFO_URL, 0).result; }, GC_ERR_NOT_IMPLEMENTED, "GetPortURLInfo: this module does not implement a port"},
        {[&] { return portless.GetNumPortURLs(&count); }, GC_ERR_NOT_IMPLEMENTED, "GetNumPortURLs: this module does not implement a port"},
        {[&] { return InfoOf(module, URL_INFO_URL, 1).result; }, GC_ERR_INVALID_INDEX, "GetPortURLInfo: invalid URL index, not that many URLs available"},
    });
    // clang-format on
    PortURLEntry second = TestEntry("file:///b.xml"), no_digest = TestEntry();
    second.schema_ver_major = 2;
    second.schema_ver_minor = 3;
    no_digest.sha1_hash.clear();
    portless.SetPortURLs({TestEntry(), second, no_digest});
    portless.SetPortURLs({TestEntry()});
    const std::string expected =
        "local:TestDoc.xml;f0000000;1a?SchemaVersion=1.1.0\0file:///b.xml?SchemaVersion=2.3.0\0local:TestDoc.xml;f0000000;1a?SchemaVersion=1.1.0\0\0"s;
    std::string buffer(expected.size() - 1, 'x'), wide(expected.size() + 9, 'x');
    // clang-format off
    ExpectCalls({
        {[&] { return portless.GetPortURL(buffer.data(), &(size = buffer.size())); }, GC_ERR_BUFFER_TOO_SMALL, "GetPortURL: the buffer is not sufficient for the URL string."},
        {[&] { return portless.GetPortURL(nullptr, &(size = 0)); }, GC_ERR_SUCCESS},
        {[&] { return portless.GetPortURL(wide.data(), &(size = wide.size())); }, GC_ERR_SUCCESS},
        {[&] { return portless.GetPortURL(nullptr, nullptr); }, GC_ERR_INVALID_PARAMETER, "GetPortURL: invalid buffer size pointer"},
        {[&] { return portless.GetNumPortURLs(&count); }, GC_ERR_SUCCESS},
        {[&] { return portless.GetNumPortURLs(nullptr); }, GC_ERR_INVALID_PARAMETER, "GetNumPortURLs: invalid num_urls pointer"},
        {[&] { return InfoOf(portless, URL_INFO_FILE_SHA1_HASH, 2).result; }, GC_ERR_NOT_AVAILABLE},
    });
    // clang-format on
    EXPECT_EQ(std::string(buffer.size(), 'x'), buffer);
    EXPECT_EQ(expected + std::string(9, 'x'), wide);
    EXPECT_EQ(expected.size(), size);
    EXPECT_EQ(3u, count);
    EXPECT_EQ(2, assertions.Failures());
    const std::string not_local =
        "GetPortURLInfo: XML file register address/size  available only for local URL scheme";
    // clang-format off
    const struct { URL_INFO_CMD command; bool PortURLEntry::*lacking;  /* cleared, unless null */ int32_t scheme; GC_ERROR result; std::string text; } rows[] = {
        {URL_INFO_SCHEMA_VER_MAJOR, &PortURLEntry::schema_ver_available, URL_SCHEME_LOCAL, GC_ERR_NOT_AVAILABLE, "GetPortURLInfo: schema version not available"},
        {URL_INFO_SCHEMA_VER_MINOR, &PortURLEntry::schema_ver_available, URL_SCHEME_LOCAL, GC_ERR_NOT_AVAILABLE, "GetPortURLInfo: schema version not available"},
        {URL_INFO_FILE_VER_MAJOR, &PortURLEntry::file_ver_available, URL_SCHEME_LOCAL, GC_ERR_NOT_AVAILABLE, "GetPortURLInfo: XML version not available"},
        {URL_INFO_FILE_VER_MINOR, &PortURLEntry::file_ver_available, URL_SCHEME_LOCAL, GC_ERR_NOT_AVAILABLE, "GetPortURLInfo: XML version not available"},
        {URL_INFO_FILE_VER_SUBMINOR, &PortURLEntry::file_ver_available, URL_SCHEME_LOCAL, GC_ERR_NOT_AVAILABLE, "GetPortURLInfo: XML version not available"},
        {URL_INFO_FILE_SHA1_HASH, &PortURLEntry::sha1_hash_available, URL_SCHEME_LOCAL, GC_ERR_NOT_AVAILABLE, "GetPortURLInfo: SHA1 hash not available"},
        {URL_INFO_FILE_REGISTER_ADDRESS, nullptr, URL_SCHEME_FILE, GC_ERR_NOT_AVAILABLE, not_local},
        {URL_INFO_FILE_SIZE, nullptr, URL_SCHEME_HTTP, GC_ERR_NOT_AVAILABLE, not_local},
        {URL_INFO_FILENAME, nullptr, URL_SCHEME_HTTP, GC_ERR_NOT_AVAILABLE, not_local},
        {URL_INFO_FILENAME, nullptr, URL_SCHEME_FILE, GC_ERR_SUCCESS, ""},
        {11, nullptr, URL_SCHEME_LOCAL, GC_ERR_NOT_IMPLEMENTED, "GetPortURLInfo: unknown URL info command requested"},
    };
    // clang-format on
    for (const auto& row : rows) {
        TestModule port;
        port.CompleteConstruction();
        PortURLEntry entry = TestEntry();
        if (row.lacking != nullptr) entry.*row.lacking = false;
        entry.scheme = row.scheme;
        port.SetPortURLs({entry});
        ExpectCalls({{[&] { return InfoOf(port, row.command, 0).result; }, row.result, row.text}});
    }
}

// A module's flags are constants; without a port it refuses; an empty
// document leaves out the document register and keeps the rest.
TEST_F(PortTest, ModuleAnswersPortInfoAndEventsFromItselfAndTheBrandingOrRefusesWithoutAPort)
{
    module.SetNotAvailable();
    ExpectPortInfo(
        module,
        {"TestModuleID", "Test Vendor", "Test Model", "TestTL", "TLTest", "9.8.7", "TestPort"},
        {1, 0, 1, 1, 0, 0});
    EXPECT_EQ(&module.GetHandleLock(), &module.GetLock());
    TestModule without_port;
    without_port.implements_port = false;
    without_port.CompleteConstruction();
    branding.SetDocument(DescriptionDocument::Interface, "", "Empty.xml");
    TestModule empty(DescriptionDocument::Interface);
    empty.CompleteConstruction();
    EXPECT_EQ(1, assertions.Failures());
    SharedPtr<GenTLEvent> error_event, module_event;
    // clang-format off
    ExpectCalls({
        {[&] { return InfoOf(module, 13).result; }, GC_ERR_NOT_IMPLEMENTED, "GetPortInfo: unknown port info command requested"},
        {[&] { return module.RegisterEvent(EVENT_ERROR, error_event); }, GC_ERR_SUCCESS},
        {[&] { return module.RegisterEvent(EVENT_MODULE, module_event); }, GC_ERR_NOT_IMPLEMENTED},
        {[&] { return Access(without_port, false, 0, Bytes(4)); }, GC_ERR_NOT_IMPLEMENTED, "Port functionality not implemented for this module."},
        {[&] { return Access(without_port, true, 0, Bytes(4)); }, GC_ERR_NOT_IMPLEMENTED, "Port functionality not implemented for this module."},
        {[&] { return InfoOf(without_port, PORT_INFO_ID).result; }, GC_ERR_NOT_IMPLEMENTED},
        {[&] { return Access(empty, false, 0x100, Bytes(4)); }, GC_ERR_SUCCESS},
        {[&] { return Access(empty, false, DOCUMENT_ADDRESS, Bytes(4)); }, GC_ERR_INVALID_ADDRESS},
    });
    // clang-format on
    EXPECT_TRUE(error_event && !module_event);
}

// The module side of GCRegisterEvent and GCUnregisterEvent: an event is
// handed out only after the hook agrees, a registered one is refused before
// the hook runs, and a failing clean-up is reported. The module event is
// offered when supported or forced, with the larger data size; a second
// event of one type is refused and the first kept.
TEST_F(PortTest, ModuleHandsOutEventsOnlyAfterTheHookAgreesAndReportsAFailingCleanup)
{
    TestModule source;  // its events not yet final
    SharedPtr<GenTLEvent> added(new GenTLModuleEvent(4)), candidate;
    added->CompleteConstruction();
    source.AddEvent(added);
    source.AddEvent(added);
    EXPECT_EQ(1, assertions.Failures());
    source.FinalizeEvents(true, 4);
    const std::string in_use = "Open/Register: requested object is already in use";
    // clang-format off
    const struct { bool unregister; EVENT_TYPE type; std::string refusing; GC_ERROR result; std::string text; } rows[] = {
        {false, EVENT_MODULE, "Register5", GC_ERR_IO, ""},
        {false, EVENT_MODULE, "", GC_ERR_SUCCESS, ""},
        {false, EVENT_MODULE, "", GC_ERR_RESOURCE_IN_USE, in_use},  // opened below, and refused before the hook
        {true, EVENT_ERROR, "", GC_ERR_SUCCESS, ""},
        {true, EVENT_MODULE, "Unregister5", GC_ERR_ERROR, "UnregisterEvent: the event type specific cleanup failed."},
        {false, EVENT_REMOTE_DEVICE, "", GC_ERR_NOT_IMPLEMENTED, "RegisterEvent: requested event type not implemented for given module."},
        {true, EVENT_REMOTE_DEVICE, "", GC_ERR_NOT_IMPLEMENTED, "UnregisterEvent: requested event type not implemented for given module."},
    };
    // clang-format on
    for (const auto& row : rows) {
        source.refusing_hooks = {row.refusing};
        const auto call = [&] {
            return row.unregister ? source.UnregisterEvent(row.type, candidate)
                                  : source.RegisterEvent(row.type, candidate);
        };
        ExpectCalls({{call, row.result, row.text}});
        if (row.result == GC_ERR_SUCCESS && !row.unregister) candidate->Open();
    }
    source.RollbackRegisterEvent(EVENT_MODULE);
    added->Close();
    EXPECT_EQ((std::vector<std::string>{"Register5", "Register5", "Unregister0", "Unregister5",
                                        "Unregister5"}),
              source.hook_calls);
    // Supported size, forced with 100 or not, against the event's maximum size.
    // clang-format off
    const struct { size_t supported; bool forced; size_t max_size; } sizes[] = {{0, false, 0}, {0, true, 108}, {8, false, 16}, {256, true, 264}};
    // clang-format on
    for (const auto& [supported, forced, max_size] : sizes) {
        TestModule plain;
        plain.module_event_size = supported;
        plain.FinalizeEvents(forced, 100);
        size_t value = 0, size = sizeof value;
        INFO_DATATYPE type = 0;
        if (plain.GetModuleEvent())
            plain.GetModuleEvent()->GetEventInfo(EVENT_SIZE_MAX, &type, &value, &size);
        EXPECT_EQ(max_size, value);
    }
}

// Its map holds no common registers and ends with the document, which it
// serves with the branding's digest and file name. Made without a tag, it is
// marked not available.
TEST_F(PortTest, VirtualRemoteDeviceServesOnlyTheRemoteDocumentWithTheTagsIdentity)
{
    const std::string text(65, 'r');
    branding.SetDocument(DescriptionDocument::RemoteDevice, text, "Rmt.xml");
    GenTLVirtualRemoteDevice remote(::ModuleTest::MakeDeviceTag("Dev_42"));
    remote.CompleteConstruction();
    Bytes bytes(text.size());
    size_t size = bytes.size();
    ASSERT_EQ(GC_ERR_SUCCESS, remote.ReadPort(DOCUMENT_ADDRESS, bytes.data(), &size));
    EXPECT_EQ(BytesOf(text), bytes);
    std::vector<Bytes> info;
    for (URL_INFO_CMD command = URL_INFO_URL; command <= URL_INFO_FILENAME; ++command)
        info.push_back(InfoOf(remote, command, 0).bytes);
    // clang-format off
    EXPECT_EQ((std::vector<Bytes>{TextBytes(MakePortURL("Rmt.xml", text)), ValueBytes(1), ValueBytes(1), ValueBytes(3), ValueBytes(7), ValueBytes(11),
                                  TestSupport::Sha1Of(text), ValueBytes<uint64_t>(DOCUMENT_ADDRESS), ValueBytes<uint64_t>(65), ValueBytes(0), TextBytes("Rmt.xml")}),
              info);
    // clang-format on
    EXPECT_EQ("TestPrefix_RMT_Dev_42", remote.GetUniqueString());
    for (const uint64_t address :
         {DOCUMENT_ADDRESS - 1, uint64_t{0x0F000000}, DOCUMENT_ADDRESS + 63, UINT64_MAX - 1})
        for (const bool write : {false, true})
            EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Access(remote, write, address, Bytes(4))) << address;
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Access(remote, true, DOCUMENT_ADDRESS, Bytes(1)));
    ExpectPortInfo(remote, REMOTE_NAMES, {1, 0, 1, 1, 0, 0});
    remote.SetNotAvailable();
    ExpectPortInfo(remote, REMOTE_NAMES, {1, 0, 0, 0, 1, 0});
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, InfoOf(remote, 13).result);
    EXPECT_EQ("GetPortInfo: unknown port info command requested for remote device",
              LastErrorText());
    EXPECT_EQ(0, assertions.Failures());
    GenTLVirtualRemoteDevice untagged{SharedPtr<DeviceTag>()};
    EXPECT_EQ(GC_ERR_ERROR, untagged.Open());  // never completed: refused
    untagged.CompleteConstruction();
    EXPECT_EQ(2, assertions.Failures());
    EXPECT_EQ(Bytes{1}, InfoOf(untagged, PORT_INFO_ACCESS_NA).bytes);
}
