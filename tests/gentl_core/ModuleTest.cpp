// ModuleTest.cpp: a module's register-map port (its description document,
// common and command registers, edges, port info, events) and the remote
// device's port, virtual and genuine.
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "ModuleDoubles.h"
#include "PortTestHelpers.h"
#include "TestModule.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/Logger.h"
#include "support/AssertionCounter.h"

using namespace GenTLCore;
using namespace PortTestHelpers;
using TestSupport::TestModule;

namespace {

constexpr uint64_t DOCUMENT_ADDRESS = 0xF0000000;
const std::vector<std::string> REMOTE_NAMES = {
    "TestPrefix_DEV_Dev_42", "Vendor", "Model", "TestTL", "Device", "2.5", "Device"};

class ModulePortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module.CompleteConstruction();
        SetLogLevelForTest(LOG_LEVEL_INFO);
    }
    void TearDown() override { SetLogLevelForTest(0); }

    static GC_ERROR Access(GenTLPort& port, bool write, uint64_t address, Bytes bytes)
    {
        size_t size = bytes.size();
        return write ? port.WritePort(address, bytes.data(), &size)
                     : port.ReadPort(address, bytes.data(), &size);
    }

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
            EXPECT_EQ(result, Access(module, true, address, Bytes(4, 0xFF)));
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
        EXPECT_EQ("CleanupCore CleanupTL ", run(row.start + 4, {"CleanupTL"}, GC_ERR_SUCCESS));
        EXPECT_EQ("CleanupCore ",
                  run(row.start + 4, {"CleanupCore"}, GC_ERR_SUCCESS));  // the TL's skipped
        EXPECT_EQ(2, CountLines(log.Lines(), "Control", {row.cleanup_level, row.cleanup_failed}));
    }
}

TEST_F(ModulePortTest, AnswersPortInfoAndEventsFromItselfAndTheBrandingOrRefusesWithoutAPort)
{
    module.SetNotAvailable();  // a module's flags are constants
    ExpectPortInfo(
        module,
        {"TestModuleID", "Test Vendor", "Test Model", "TestTL", "TLTest", "9.8.7", "TestPort"},
        {1, 0, 1, 1, 0, 0});
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
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, Access(portless, false, 0, Bytes(4)));
    EXPECT_EQ("Port functionality not implemented for this module.", LastErrorText());
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, Access(portless, true, 0, Bytes(4)));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, InfoOf(portless, PORT_INFO_ID).result);
    // An empty document leaves out the document register and keeps the rest.
    branding.SetDocument(DescriptionDocument::Interface, "", "Empty.xml");
    TestModule empty(DescriptionDocument::Interface);
    empty.CompleteConstruction();
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(GC_ERR_SUCCESS, Access(empty, false, 0x100, Bytes(4)));
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Access(empty, false, DOCUMENT_ADDRESS, Bytes(4)));
}

TEST_F(ModulePortTest, VirtualRemoteDeviceServesOnlyTheRemoteDocumentWithTheTagsIdentity)
{
    branding.SetDocument(DescriptionDocument::RemoteDevice, std::string(65, 'r'), "Rmt.xml");
    GenTLVirtualRemoteDevice remote(::ModuleTest::MakeDeviceTag("Dev_42"));
    remote.CompleteConstruction();
    ExpectServesDocument(remote, branding.Document(DescriptionDocument::RemoteDevice));
    EXPECT_EQ("TestPrefix_RMT_Dev_42", remote.GetUniqueString());
    // Its map holds no common registers and ends with the document.
    for (const uint64_t address :
         {DOCUMENT_ADDRESS - 1, uint64_t{0x0F000000}, DOCUMENT_ADDRESS + 63, UINT64_MAX - 1}) {
        EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Access(remote, false, address, Bytes(4))) << address;
        EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Access(remote, true, address, Bytes(4))) << address;
    }
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Access(remote, true, DOCUMENT_ADDRESS, Bytes(1)));
    ExpectPortInfo(remote, REMOTE_NAMES, {1, 0, 1, 1, 0, 0});
    remote.SetNotAvailable();
    ExpectPortInfo(remote, REMOTE_NAMES, {1, 0, 0, 0, 1, 0});
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
    EXPECT_EQ(Bytes{1}, InfoOf(untagged, PORT_INFO_ACCESS_NA).bytes);
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
    ExpectPortInfo(remote, REMOTE_NAMES, {0, 1, 1, 0, 0, 0});
    EXPECT_EQ(GC_ERR_IO, Access(remote, false, 0xFFFFFFFFFFFF0000, Bytes(2)));
    EXPECT_EQ(0xFFFFFFFFFFFF0000u, remote.last_address);
    remote.memory_result = GC_ERR_SUCCESS;
    EXPECT_EQ(GC_ERR_SUCCESS, Access(remote, true, 0x20, Bytes(2)));
    EXPECT_EQ(0x20u, remote.last_address);
    EXPECT_EQ(0, assertions.Failures());
    TestSupport::LogCapture log;
    FakeGenuineRemoteDevice empty({});
    empty.CompleteConstruction();
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(1,
              CountLines(log.Lines(), "", {"Remote device manifest table is reported empty \n"}));
}
