// ModuleTest.cpp: a module's register-map port (its description document,
// common and command registers, edges, port info, events) and the remote
// device's port, virtual and genuine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "ModuleDoubles.h"
#include "PortTestHelpers.h"
#include "TestModule.h"
#include "gentl_core/GenTLModule.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/Logger.h"
#include "support/AssertionCounter.h"

using namespace GenTLCore;
using namespace PortTestHelpers;
using TestSupport::TestModule;

namespace {

constexpr uint64_t DOCUMENT_ADDRESS = 0xF0000000;

class ModulePortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module.CompleteConstruction();
        SetLogLevelForTest(LOG_LEVEL_INFO);
    }
    void TearDown() override { SetLogLevelForTest(0); }

    Bytes Read(uint64_t address, size_t size, GC_ERROR expected = GC_ERR_SUCCESS)
    {
        Bytes bytes(size, 0xCC);
        EXPECT_EQ(expected, module.ReadPort(address, bytes.data(), &size));
        return bytes;
    }
    GC_ERROR Write(uint64_t address, Bytes bytes)
    {
        size_t size = bytes.size();
        return module.WritePort(address, bytes.data(), &size);
    }
    size_t DocumentLength() { return branding.Document(DescriptionDocument::System).text.size(); }

    TestSupport::TestBranding& branding = TestSupport::InstallTestBranding();
    TestModule module{DescriptionDocument::System};
    TestSupport::AssertionCounter assertions;
};

// Forwards to a record of the last memory access; answers a fixed result.
class FakeGenuineRemoteDevice : public GenTLGenuineRemoteDevice {
public:
    explicit FakeGenuineRemoteDevice(std::vector<PortURLEntry> manifest)
        : GenTLGenuineRemoteDevice(::ModuleTest::MakeDeviceTag("Dev_42")),
          manifest(std::move(manifest))
    {
    }

    uint64_t last_address = 0;
    GC_ERROR memory_result = GC_ERR_IO;

protected:
    bool IsLittleEndian() override { return false; }
    bool IsWritable() override { return false; }
    void GetManifestTable(std::vector<PortURLEntry>& rmt_urls) override { rmt_urls = manifest; }
    GC_ERROR ReadDeviceMemory(uint64_t address, void*, size_t*) override
    {
        return last_address = address, memory_result;
    }
    GC_ERROR WriteDeviceMemory(uint64_t address, const void*, size_t*) override
    {
        return last_address = address, memory_result;
    }

private:
    const std::vector<PortURLEntry> manifest;
};

}  // namespace

TEST_F(ModulePortTest, ServesItsOwnDocumentByteForByteWithAMatchingURLEntry)
{
    branding.SetDocument(DescriptionDocument::Interface, std::string(300, 'd'), "Itf.xml");
    for (const DescriptionDocument kind :
         {DescriptionDocument::System, DescriptionDocument::Interface,
          DescriptionDocument::LocalDevice, DescriptionDocument::DataStream}) {
        SCOPED_TRACE(static_cast<int>(kind));
        TestModule other(kind);
        other.CompleteConstruction();
        ExpectServesDocument(other, branding.Document(kind));
    }
    TestModule interface(DescriptionDocument::Interface);
    interface.CompleteConstruction();
    EXPECT_EQ(TextBytes("local:Itf.xml;f0000000;12c"), InfoOf(interface, URL_INFO_URL, 0).bytes);
    // An empty document leaves out the document register and keeps the rest.
    branding.SetDocument(DescriptionDocument::Interface, "", "Empty.xml");
    TestModule empty(DescriptionDocument::Interface);
    empty.CompleteConstruction();
    EXPECT_GE(assertions.Failures(), 1);
    uint32_t value = 0;
    size_t size = sizeof value;
    EXPECT_EQ(GC_ERR_SUCCESS, empty.ReadPort(0x100, &value, &size));
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, empty.ReadPort(DOCUMENT_ADDRESS, &value, &size));
}

TEST_F(ModulePortTest, ReadsAndWritesItsRegistersThroughThePortButNothingOverOnesThatRefuse)
{
    EXPECT_EQ((Bytes{0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55}), Read(0x100, 8));
    EXPECT_EQ((Bytes{0x0D, 0x0C, 0x0B, 0x0A}), Read(0x50000000, 4));
    EXPECT_EQ(Bytes(4, 0), Read(MAGIC_READ_ZERO_ADDRESS, 4));
    const std::string& text = branding.Document(DescriptionDocument::System).text;
    EXPECT_EQ(Bytes{static_cast<uint8_t>(text.back())},
              Read(DOCUMENT_ADDRESS + text.size() - 1, 1));
    EXPECT_EQ(Bytes(12, 0xCC), Read(0x100, 12, GC_ERR_ACCESS_DENIED));  // over a write-only one
    EXPECT_EQ(Bytes(8, 0xCC), Read(0x11C, 8, GC_ERR_ACCESS_DENIED));    // over a gap
    Read(FEATURE_PERSISTENCE_START_ADDRESS, 4, GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x102, {0xAA, 0xBB}));
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x110, {'x', 'y', 'z', 0}));
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(0x100, Bytes(8, 0xEE)));
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(MAGIC_READ_ZERO_ADDRESS, Bytes(4, 1)));
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(DOCUMENT_ADDRESS, Bytes(4, 1)));
    EXPECT_EQ(0xBBAA3344u, module.numbers[1]);
    EXPECT_EQ("xyz", module.text);
    EXPECT_TRUE(module.hook_calls.empty());
    // Its own edges; general bounds and wraps are the register map's.
    const struct {
        uint64_t address;  // 0: the document's end
        size_t size;       // 0: the whole document plus one byte
        bool write;
    } edges[] = {{0xFF, 1, false},
                 {0xFF, 2, false},
                 {0, 1, false},
                 {UINT64_MAX - 1, 4, false},
                 {DOCUMENT_ADDRESS, 0, false},
                 {0xFF, 2, true},
                 {0, 1, true}};
    for (const auto& edge : edges) {
        SCOPED_TRACE(edge.address);
        Bytes bytes(edge.size ? edge.size : DocumentLength() + 1, 0xCC);
        size_t size = bytes.size();
        const uint64_t address = edge.address ? edge.address : DOCUMENT_ADDRESS + DocumentLength();
        EXPECT_EQ(GC_ERR_INVALID_ADDRESS, edge.write
                                              ? module.WritePort(address, bytes.data(), &size)
                                              : module.ReadPort(address, bytes.data(), &size));
        EXPECT_EQ(Bytes(bytes.size(), 0xCC), bytes);
    }
    EXPECT_EQ(0xBBAA3344u, module.numbers[1]);
}

// Feature persistence and register streaming run the same sequences over
// their own hooks, texts and log level.
TEST_F(ModulePortTest, CommandRegistersRunThePrepareAndCleanupSequences)
{
    // clang-format off
    const struct { std::string name;  /* the hooks' common suffix */ uint64_t start; const char* tl_refused; const char* core_refused; const char* cleanup_failed; const char* cleanup_level; } rows[] = {
        {"FeaturePersistence", FEATURE_PERSISTENCE_START_ADDRESS,
         "TL-specific features refused to prepare for feature persistence operation.",
         "Core features refused to prepare for feature persistence operation.",
         "Failure reported during cleanup at the end of feature persistence operation.", "Warning"},
        {"RegisterStreaming", REGISTERS_STREAMING_START_ADDRESS,
         "TL-specific registers refused to prepare for register streaming operation.",
         "Core registers refused to prepare for register streaming operation.",
         "Failure reported during cleanup at the end of register streaming operation.", "Error"},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TestSupport::LogCapture log;
        // The hooks called with `refusing` refusing, without the common suffix.
        const auto run = [&](uint64_t address, std::set<std::string> refusing, GC_ERROR result) {
            module.hook_calls.clear();
            module.refusing_hooks.clear();
            for (const std::string& hook : refusing) module.refusing_hooks.insert(hook + row.name);
            EXPECT_EQ(result, Write(address, Bytes(4, 0xFF)));
            std::string calls;
            for (const std::string& call : module.hook_calls)
                calls += call.substr(0, call.size() - row.name.size()) + " ";
            return calls;
        };
        EXPECT_EQ("PrepareTL PrepareCore ", run(row.start, {}, GC_ERR_SUCCESS));
        EXPECT_EQ("PrepareTL ", run(row.start, {"PrepareTL"}, GC_ERR_ACCESS_DENIED));
        EXPECT_EQ(row.tl_refused, LastErrorText());
        EXPECT_EQ("PrepareTL PrepareCore CleanupTL ",
                  run(row.start, {"PrepareCore"}, GC_ERR_ACCESS_DENIED));
        EXPECT_EQ(row.core_refused, LastErrorText());
        EXPECT_EQ("CleanupCore CleanupTL ", run(row.start + 4, {}, GC_ERR_SUCCESS));
        EXPECT_EQ("CleanupCore CleanupTL ", run(row.start + 4, {"CleanupTL"}, GC_ERR_SUCCESS));
        EXPECT_EQ("CleanupCore ",
                  run(row.start + 4, {"CleanupCore"}, GC_ERR_SUCCESS));  // the TL's skipped
        EXPECT_EQ(2, CountLines(log.Lines(), "Control", {row.cleanup_level, row.cleanup_failed}));
    }
}

TEST_F(ModulePortTest, AnswersPortInfoAndEventsFromItselfAndTheBrandingOrRefusesWithoutAPort)
{
    const auto expected = PortInfoAnswers(
        {"TestModuleID", "Test Vendor", "Test Model", "TestTL", "TLTest", "9.8.7", "TestPort"},
        true, true, true, false);
    EXPECT_EQ(expected, AllPortInfo(module));
    module.SetNotAvailable();  // a module's flags are constants
    EXPECT_EQ(expected, AllPortInfo(module));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, InfoOf(module, 13).result);
    EXPECT_EQ("GetPortInfo: unknown port info command requested", LastErrorText());
    SharedPtr<GenTLEvent> error_event, module_event;
    EXPECT_EQ(GC_ERR_SUCCESS, module.RegisterEvent(EVENT_ERROR, error_event));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, module.RegisterEvent(EVENT_MODULE, module_event));
    EXPECT_TRUE(error_event && !module_event);
    EXPECT_EQ(&module.GetHandleLock(), &module.GetLock());

    TestModule portless;
    portless.implements_port = false;
    portless.CompleteConstruction();
    size_t size = 4;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, portless.ReadPort(0, &size, &size));
    EXPECT_EQ("Port functionality not implemented for this module.", LastErrorText());
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, portless.WritePort(0, &size, &(size = 4)));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, InfoOf(portless, PORT_INFO_ID).result);
    EXPECT_EQ(GC_ERR_NO_DATA, portless.GetPortURL(nullptr, &size));
}

TEST_F(ModulePortTest, VirtualRemoteDeviceServesOnlyTheRemoteDocumentWithTheTagsIdentity)
{
    branding.SetDocument(DescriptionDocument::RemoteDevice, std::string(65, 'r'), "Rmt.xml");
    GenTLVirtualRemoteDevice remote(::ModuleTest::MakeDeviceTag("Dev_42"));
    remote.CompleteConstruction();
    ExpectServesDocument(remote, branding.Document(DescriptionDocument::RemoteDevice));
    EXPECT_EQ(TextBytes("local:Rmt.xml;f0000000;41"), InfoOf(remote, URL_INFO_URL, 0).bytes);
    EXPECT_EQ("TestPrefix_DEV_Dev_42", remote.GetID());
    EXPECT_EQ("TestPrefix_RMT_Dev_42", remote.GetUniqueString());
    // Its map holds no common registers and ends with the document.
    for (const uint64_t address :
         {DOCUMENT_ADDRESS - 1, uint64_t{0x0F000000}, DOCUMENT_ADDRESS + 63, UINT64_MAX - 1}) {
        uint8_t bytes[4] = {0xCC, 0xCC, 0xCC, 0xCC};
        size_t size = sizeof bytes;
        EXPECT_EQ(GC_ERR_INVALID_ADDRESS, remote.ReadPort(address, bytes, &size)) << address;
        EXPECT_EQ(GC_ERR_INVALID_ADDRESS, remote.WritePort(address, bytes, &(size = 4))) << address;
        EXPECT_EQ(0xCC, bytes[0]);
    }
    size_t size = 1;
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, remote.WritePort(DOCUMENT_ADDRESS, &size, &size));
    EXPECT_EQ(PortInfoAnswers(
                  {"TestPrefix_DEV_Dev_42", "Vendor", "Model", "TestTL", "Device", "2.5", "Device"},
                  true, true, true, false),
              AllPortInfo(remote));
    remote.SetNotAvailable();
    EXPECT_EQ(PortInfoAnswers(
                  {"TestPrefix_DEV_Dev_42", "Vendor", "Model", "TestTL", "Device", "2.5", "Device"},
                  true, false, false, true),
              AllPortInfo(remote));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, InfoOf(remote, 13).result);
    EXPECT_EQ("GetPortInfo: unknown port info command requested for remote device",
              LastErrorText());
    EXPECT_EQ(0, assertions.Failures());
    // Made without a tag, it is marked not available and says so.
    TestSupport::LogCapture log;
    GenTLVirtualRemoteDevice untagged{SharedPtr<DeviceTag>()};
    untagged.CompleteConstruction();
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(1, CountLines(log.Lines(), "Assert",
                            {"Remote device not fully constructed due to an internal error."}));
    EXPECT_EQ((Bytes{0, 1}), Bytes({InfoOf(untagged, PORT_INFO_ACCESS_READ).bytes[0],
                                    InfoOf(untagged, PORT_INFO_ACCESS_NA).bytes[0]}));
}

TEST_F(ModulePortTest, GenuineRemoteDevicePublishesItsManifestAndPassesAccessesThrough)
{
    PortURLEntry entry;
    entry.url = "local:a.xml;1000;64";
    FakeGenuineRemoteDevice remote({entry, entry});
    remote.CompleteConstruction();
    uint32_t count = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, remote.GetNumPortURLs(&count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(PortInfoAnswers(
                  {"TestPrefix_DEV_Dev_42", "Vendor", "Model", "TestTL", "Device", "2.5", "Device"},
                  false, true, false, false),
              AllPortInfo(remote));
    uint8_t bytes[2] = {};
    size_t size = 2;
    EXPECT_EQ(GC_ERR_IO, remote.ReadPort(0xFFFFFFFFFFFF0000, bytes, &size));
    EXPECT_EQ(0xFFFFFFFFFFFF0000u, remote.last_address);
    EXPECT_EQ(0u, size);
    remote.memory_result = GC_ERR_SUCCESS;
    EXPECT_EQ(GC_ERR_SUCCESS, remote.WritePort(0x20, bytes, &(size = 2)));
    EXPECT_EQ(0x20u, remote.last_address);
    EXPECT_EQ(0, assertions.Failures());
    TestSupport::LogCapture log;
    FakeGenuineRemoteDevice empty({});
    empty.CompleteConstruction();
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(1,
              CountLines(log.Lines(), "", {"Remote device manifest table is reported empty \n"}));
    EXPECT_EQ(GC_ERR_NO_DATA, empty.GetPortURL(nullptr, &size));
}
