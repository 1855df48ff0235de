#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "PortTestHelpers.h"
#include "TestBranding.h"
#include "TestModule.h"
#include "gentl_core/GenTLModule.h"
#include "gentl_core/Logger.h"
#include "support/AssertionCounter.h"

using GenTLCore::DescriptionDocument;
using TestSupport::TestModule;
using namespace PortTestHelpers;

namespace {

constexpr uint64_t DOCUMENT_ADDRESS = 0xF0000000;

// A module of the test table publishing the system document, finished as
// its creator would finish it.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override { module.CompleteConstruction(); }

    Bytes Read(uint64_t address, size_t size, GC_ERROR expected = GC_ERR_SUCCESS)
    {
        Bytes bytes(size, 0xCC);
        size_t read_size = size;
        EXPECT_EQ(expected, module.ReadPort(address, bytes.data(), &read_size));
        return bytes;
    }
    GC_ERROR Write(uint64_t address, const Bytes& bytes)
    {
        size_t size = bytes.size();
        return module.WritePort(address, bytes.data(), &size);
    }

    TestSupport::TestBranding& branding = TestSupport::InstallTestBranding();
    TestModule module{DescriptionDocument::System};
};

}  // namespace

// --- The description document ---------------------------------------------------

class DescriptionDocumentTest : public ::testing::TestWithParam<DescriptionDocument> {
protected:
    TestSupport::TestBranding& branding = TestSupport::InstallTestBranding();
};

TEST_P(DescriptionDocumentTest, ServesItsOwnDocumentByteForByteWithAMatchingURLEntry)
{
    TestModule module(GetParam());
    module.CompleteConstruction();
    const TestSupport::TestDocument& document = branding.Document(GetParam());

    Bytes bytes(document.text.size());
    size_t size = bytes.size();
    ASSERT_EQ(GC_ERR_SUCCESS, module.ReadPort(DOCUMENT_ADDRESS, bytes.data(), &size));
    EXPECT_EQ(BytesOf(document.text), bytes);

    const auto info = [&](URL_INFO_CMD command) { return URLInfoOf(module, command).bytes; };
    EXPECT_EQ(TestSupport::Sha1Of(std::string(bytes.begin(), bytes.end())),
              info(URL_INFO_FILE_SHA1_HASH));
    EXPECT_EQ(ValueBytes<uint64_t>(bytes.size()), info(URL_INFO_FILE_SIZE));
    EXPECT_EQ(ValueBytes<uint64_t>(DOCUMENT_ADDRESS), info(URL_INFO_FILE_REGISTER_ADDRESS));
    EXPECT_EQ(TextBytes(document.file_name), info(URL_INFO_FILENAME));
    EXPECT_EQ(ValueBytes<int32_t>(3), info(URL_INFO_FILE_VER_MAJOR));
    EXPECT_EQ(ValueBytes<int32_t>(7), info(URL_INFO_FILE_VER_MINOR));
    EXPECT_EQ(ValueBytes<int32_t>(11), info(URL_INFO_FILE_VER_SUBMINOR));
    uint32_t count = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, module.GetNumPortURLs(&count));
    EXPECT_EQ(1u, count);
}

INSTANTIATE_TEST_SUITE_P(EveryModuleDocument, DescriptionDocumentTest,
                         ::testing::Values(DescriptionDocument::System,
                                           DescriptionDocument::Interface,
                                           DescriptionDocument::LocalDevice,
                                           DescriptionDocument::DataStream));

TEST(DescriptionURLTest, NamesTheFileTheAddressAndTheLengthInHex)
{
    TestSupport::InstallTestBranding().SetDocument(DescriptionDocument::System,
                                                   std::string(300, 'd'), "Sys.xml");
    TestModule module(DescriptionDocument::System);
    module.CompleteConstruction();
    const InfoAnswer url = URLInfoOf(module, URL_INFO_URL);
    EXPECT_EQ(TextBytes("local:Sys.xml;f0000000;12c"), url.bytes);
}

TEST_F(ModuleTest, RefusesAReadAcrossTheDocumentsEndAndLeavesTheBuffer)
{
    const size_t length = branding.Document(DescriptionDocument::System).text.size();
    Bytes bytes(length + 1, 0xCC);
    size_t size = bytes.size();
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, module.ReadPort(DOCUMENT_ADDRESS, bytes.data(), &size));
    EXPECT_EQ(Bytes(length + 1, 0xCC), bytes);
    EXPECT_EQ(0u, size);
}

TEST(EmptyDocumentTest, LeavesOutTheDocumentRegisterAndKeepsTheRest)
{
    TestSupport::InstallTestBranding().SetDocument(DescriptionDocument::System, "", "Empty.xml");
    TestSupport::AssertionCounter assertions;
    TestModule module(DescriptionDocument::System);
    module.CompleteConstruction();
    EXPECT_GE(assertions.Failures(), 1);
    uint8_t byte = 0;
    size_t size = 1;
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, module.ReadPort(DOCUMENT_ADDRESS, &byte, &size));
    uint32_t value = 0;
    size = sizeof value;
    EXPECT_EQ(GC_ERR_SUCCESS, module.ReadPort(0x100, &value, &size));
    EXPECT_EQ(0x11223344u, value);
}

// --- Register access through the port ---------------------------------------------

TEST_F(ModuleTest, ReadsPartsOfRegistersTheDocumentsEndAndTheMagicRegister)
{
    EXPECT_EQ((Bytes{0x33, 0x22}), Read(0x101, 2));
    EXPECT_EQ((Bytes{0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55}), Read(0x100, 8));
    EXPECT_EQ((Bytes{0x0D, 0x0C, 0x0B, 0x0A}), Read(0x50000000, 4));
    EXPECT_EQ(Bytes(4, 0), Read(GenTLCore::MAGIC_READ_ZERO_ADDRESS, 4));
    const std::string& text = branding.Document(DescriptionDocument::System).text;
    EXPECT_EQ(Bytes{static_cast<uint8_t>(text.back())},
              Read(DOCUMENT_ADDRESS + text.size() - 1, 1));
}

TEST_F(ModuleTest, RefusesReadsOverWriteOnlyOrCommandRegistersOrGapsLeavingTheBuffer)
{
    EXPECT_EQ(Bytes(12, 0xCC), Read(0x100, 12, GC_ERR_ACCESS_DENIED));
    EXPECT_EQ("The read request contains unreadable register(s).", LastErrorText());
    EXPECT_EQ(Bytes(8, 0xCC), Read(0x11C, 8, GC_ERR_ACCESS_DENIED));
    Read(GenTLCore::FEATURE_PERSISTENCE_START_ADDRESS, 4, GC_ERR_ACCESS_DENIED);
    EXPECT_TRUE(module.hook_calls.empty());
}

TEST_F(ModuleTest, WritesPartsAndNulEndedTextsButNothingOverReadOnlyRegisters)
{
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x102, {0xAA, 0xBB}));
    EXPECT_EQ(0xBBAA3344u, module.numbers[1]);
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x110, {'x', 'y', 'z', 0}));
    EXPECT_EQ("xyz", module.text);
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(0x100, Bytes(8, 0xEE)));
    EXPECT_EQ(0xBBAA3344u, module.numbers[1]);
    EXPECT_EQ("The write request contains unwritable register(s).", LastErrorText());
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(GenTLCore::MAGIC_READ_ZERO_ADDRESS, Bytes(4, 1)));
}

TEST_F(ModuleTest, CountsTheStackedReadsDoneBeforeARefusedEntry)
{
    uint8_t buffers[3][4] = {};
    PORT_REGISTER_STACK_ENTRY entries[] = {
        {0x100, buffers[0], 4}, {0x108, buffers[1], 4}, {0x104, buffers[2], 4}};
    size_t count = 3;
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, module.ReadPortStacked(entries, &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(4u, entries[0].Size);
    EXPECT_EQ(0x44, buffers[0][0]);
    entries[0].Size = 0;
    count = 1;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, module.ReadPortStacked(entries, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ("The read request of zero size required.", LastErrorText());
}

// --- Bounds -------------------------------------------------------------------------

// An access outside [0x100, end of the document) in either direction.
struct BoundsCase {
    const char* name;
    uint64_t address;
    uint64_t size;  // 0: up to the document's end, plus one
    bool write;
};

class ModuleBoundsTest : public ModuleTest, public ::testing::WithParamInterface<BoundsCase> {};

TEST_P(ModuleBoundsTest, RefusesWithInvalidAddressAndTouchesNothing)
{
    const BoundsCase& bounds = GetParam();
    const size_t length = branding.Document(DescriptionDocument::System).text.size();
    const uint64_t address = bounds.address != 0 ? bounds.address : DOCUMENT_ADDRESS + length;
    uint8_t bytes[8];
    std::fill(bytes, bytes + 8, 0xCC);
    size_t size = bounds.size;
    const GC_ERROR result = bounds.write ? module.WritePort(address, bytes, &size)
                                         : module.ReadPort(address, bytes, &size);
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, result);
    EXPECT_EQ(bounds.write ? "The write request exceeds bounds of the register map."
                           : "The read request exceeds bounds of the register map.",
              LastErrorText());
    EXPECT_EQ(Bytes(8, 0xCC), Bytes(bytes, bytes + 8));
    EXPECT_EQ(0x11223344u, module.numbers[1]);
}

// General bounds and wraps are the register map's; these are the module's own edges.
const BoundsCase BOUNDS_CASES[] = {
    {"OneByteBeforeTheStart", 0xFF, 1, false},
    {"AcrossTheStart", 0xFF, 2, false},
    {"AtTheEnd", 0, 1, false},
    {"WrappingPastTwoToTheSixtyFour", UINT64_MAX - 1, 4, false},
    {"WriteOneByteBeforeTheStart", 0xFF, 2, true},
    {"WriteAtTheEnd", 0, 1, true},
};

INSTANTIATE_TEST_SUITE_P(EveryEdge, ModuleBoundsTest, ::testing::ValuesIn(BOUNDS_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Feature persistence and register streaming run the same sequences over
// their own hooks, texts and log level.
struct CommandCase {
    const char* name;  // the hooks' common suffix
    uint64_t start_address;
    uint64_t end_address;
    const char* tl_refused;
    const char* core_refused;
    const char* cleanup_failed;
    const char* cleanup_level;
};

class ModuleCommandTest : public ModuleTest, public ::testing::WithParamInterface<CommandCase> {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        GenTLCore::SetLogLevelForTest(GenTLCore::LOG_LEVEL_DEBUG);
    }
    std::string Hook(const char* step) const { return std::string(step) + GetParam().name; }
    int ControlLines(const TestSupport::LogCapture& log) const
    {
        return CountLines(log.Lines(), "Control",
                          {GetParam().cleanup_level, GetParam().cleanup_failed});
    }
};

TEST_P(ModuleCommandTest, StartRunsTheTransportLayersShareThenTheCoresUndoingItIfRefused)
{
    EXPECT_EQ(GC_ERR_SUCCESS, Write(GetParam().start_address, Bytes(4, 0xFF)));
    EXPECT_EQ((std::vector<std::string>{Hook("PrepareTL"), Hook("PrepareCore")}),
              module.hook_calls);
    module.hook_calls.clear();
    module.refusing_hooks = {Hook("PrepareTL")};
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(GetParam().start_address, Bytes(4, 0)));
    EXPECT_EQ(GetParam().tl_refused, LastErrorText());
    EXPECT_EQ(std::vector<std::string>{Hook("PrepareTL")}, module.hook_calls);
    module.hook_calls.clear();
    module.refusing_hooks = {Hook("PrepareCore")};
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(GetParam().start_address, Bytes(4, 0)));
    EXPECT_EQ(GetParam().core_refused, LastErrorText());
    EXPECT_EQ((std::vector<std::string>{Hook("PrepareTL"), Hook("PrepareCore"), Hook("CleanupTL")}),
              module.hook_calls);
}

TEST_P(ModuleCommandTest, EndCleansUpTheCoreThenTheTransportLayerLoggingOnlyAFailure)
{
    TestSupport::LogCapture log;
    EXPECT_EQ(GC_ERR_SUCCESS, Write(GetParam().end_address, Bytes(4, 0)));
    EXPECT_EQ((std::vector<std::string>{Hook("CleanupCore"), Hook("CleanupTL")}),
              module.hook_calls);
    EXPECT_EQ(0, ControlLines(log));
    module.refusing_hooks = {Hook("CleanupTL")};
    EXPECT_EQ(GC_ERR_SUCCESS, Write(GetParam().end_address, Bytes(4, 0)));
    EXPECT_EQ(1, ControlLines(log));
    module.hook_calls.clear();
    module.refusing_hooks = {Hook("CleanupCore")};  // the transport layer's cleanup is skipped
    EXPECT_EQ(GC_ERR_SUCCESS, Write(GetParam().end_address, Bytes(4, 0)));
    EXPECT_EQ(std::vector<std::string>{Hook("CleanupCore")}, module.hook_calls);
    EXPECT_EQ(2, ControlLines(log));
}

INSTANTIATE_TEST_SUITE_P(
    BothCommands, ModuleCommandTest,
    ::testing::Values(
        CommandCase{"FeaturePersistence", GenTLCore::FEATURE_PERSISTENCE_START_ADDRESS,
                    GenTLCore::FEATURE_PERSISTENCE_END_ADDRESS,
                    "TL-specific features refused to prepare for feature persistence operation.",
                    "Core features refused to prepare for feature persistence operation.",
                    "Failure reported during cleanup at the end of feature persistence operation.",
                    "Warning"},
        CommandCase{"RegisterStreaming", GenTLCore::REGISTERS_STREAMING_START_ADDRESS,
                    GenTLCore::REGISTERS_STREAMING_END_ADDRESS,
                    "TL-specific registers refused to prepare for register streaming operation.",
                    "Core registers refused to prepare for register streaming operation.",
                    "Failure reported during cleanup at the end of register streaming operation.",
                    "Error"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Port info ----------------------------------------------------------------------

struct ModulePortInfoCase {
    PORT_INFO_CMD command;
    Bytes value;
};

class ModulePortInfoTest : public ModuleTest,
                           public ::testing::WithParamInterface<ModulePortInfoCase> {};

TEST_P(ModulePortInfoTest, AnswersFromTheModuleAndTheBranding)
{
    const InfoAnswer answer = PortInfoOf(module, GetParam().command);
    ASSERT_EQ(GC_ERR_SUCCESS, answer.result);
    EXPECT_EQ(GetParam().value, answer.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, ModulePortInfoTest,
    ::testing::Values(ModulePortInfoCase{PORT_INFO_ID, TextBytes("TestModuleID")},
                      ModulePortInfoCase{PORT_INFO_VENDOR, TextBytes("Test Vendor")},
                      ModulePortInfoCase{PORT_INFO_MODEL, TextBytes("Test Model")},
                      ModulePortInfoCase{PORT_INFO_TLTYPE, TextBytes("TestTL")},
                      ModulePortInfoCase{PORT_INFO_MODULE, TextBytes("TLTest")},
                      ModulePortInfoCase{PORT_INFO_LITTLE_ENDIAN, {1}},
                      ModulePortInfoCase{PORT_INFO_BIG_ENDIAN, {0}},
                      ModulePortInfoCase{PORT_INFO_ACCESS_READ, {1}},
                      ModulePortInfoCase{PORT_INFO_ACCESS_WRITE, {1}},
                      ModulePortInfoCase{PORT_INFO_ACCESS_NA, {0}},
                      ModulePortInfoCase{PORT_INFO_ACCESS_NI, {0}},
                      ModulePortInfoCase{PORT_INFO_VERSION, TextBytes("9.8.7")},
                      ModulePortInfoCase{PORT_INFO_PORTNAME, TextBytes("TestPort")}));

TEST_F(ModuleTest, KeepsItsAccessFlagsWhenNotAvailableAndRefusesAnUnknownCommand)
{
    module.SetNotAvailable();
    EXPECT_EQ(Bytes{0}, PortInfoOf(module, PORT_INFO_ACCESS_NA).bytes);
    EXPECT_EQ(Bytes{1}, PortInfoOf(module, PORT_INFO_ACCESS_READ).bytes);
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, module.GetPortInfo(13, &type, nullptr, &size));
    EXPECT_EQ("GetPortInfo: unknown port info command requested", LastErrorText());
}

// --- A module without a port ----------------------------------------------------------

TEST(PortlessModuleTest, RefusesPortCallsButAnswersTheOlderURLQueryWithNoData)
{
    TestSupport::InstallTestBranding();
    TestModule module;
    module.implements_port = false;
    module.CompleteConstruction();
    uint8_t bytes[4] = {};
    size_t size = 4;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, module.ReadPort(0, bytes, &size));
    EXPECT_EQ("Port functionality not implemented for this module.", LastErrorText());
    size = 4;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, module.WritePort(0, bytes, &size));
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, module.GetPortInfo(PORT_INFO_ID, &type, nullptr, &size));
    EXPECT_EQ("Port functionality not implemented for this module.", LastErrorText());
    uint32_t count = 0;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, module.GetNumPortURLs(&count));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED,
              module.GetPortURLInfo(0, URL_INFO_URL, &type, nullptr, &size));
    EXPECT_EQ(GC_ERR_NO_DATA, module.GetPortURL(nullptr, &size));
}

// --- Events -------------------------------------------------------------------------

TEST_F(ModuleTest, OffersItsErrorEventButNoModuleEvent)
{
    GenTLCore::SharedPtr<GenTLCore::GenTLEvent> error_event;
    EXPECT_EQ(GC_ERR_SUCCESS, module.RegisterEvent(EVENT_ERROR, error_event));
    EXPECT_TRUE(error_event);
    GenTLCore::SharedPtr<GenTLCore::GenTLEvent> module_event;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, module.RegisterEvent(EVENT_MODULE, module_event));
    EXPECT_FALSE(module_event);
    // event registration is guarded by the port's lock
    EXPECT_EQ(&module.GetHandleLock(), &module.GetLock());
}
