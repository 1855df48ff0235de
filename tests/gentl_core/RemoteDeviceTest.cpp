#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "PortTestHelpers.h"
#include "TestBranding.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/Logger.h"
#include "support/AssertionCounter.h"

using GenTLCore::DescriptionDocument;
using GenTLCore::DeviceTag;
using GenTLCore::PortURLEntry;
using GenTLCore::SharedPtr;
using namespace PortTestHelpers;

namespace {

constexpr uint64_t DOCUMENT_ADDRESS = 0xF0000000;

class FakeDeviceTag : public DeviceTag {
public:
    std::string GetID() const override { return "Dev_42"; }
    bool IsSameAs(const DeviceTag&) const override { return false; }
    std::string GetVendorName() const override { return "Tag Vendor"; }
    std::string GetModelName() const override { return "Tag Model"; }
    std::string GetVersion() const override { return "4.5"; }
    std::string GetSerialNumber() const override { return "42"; }
    bool SupportsUserID() const override { return false; }
    std::string GetUserIDDefault() const override { return ""; }
    std::string GetManufacturerInfo() const override { return ""; }
    uint32_t GetTLVersionMajor() const override { return 0; }
    uint32_t GetTLVersionMinor() const override { return 0; }
    bool IsNotAccessible() const override { return false; }
    bool IsFree() const override { return true; }
    bool IsFreeReadOnly() const override { return true; }
    void UpdateFrom(const DeviceTag&) override {}
    bool MatchesAlternativeID(const std::string&, const std::string&) const override
    {
        return false;
    }
};

SharedPtr<DeviceTag> MakeTag()
{
    return SharedPtr<DeviceTag>(new FakeDeviceTag());
}

// Custom registers: uint32 RW at 0x50000000 (id 15001), a 32-byte read-only
// string at 0x50000010 (id 15002), a gap between them.
class TestRemoteDevice : public GenTLCore::GenTLVirtualRemoteDevice {
public:
    explicit TestRemoteDevice(const SharedPtr<DeviceTag>& tag) : GenTLVirtualRemoteDevice(tag) {}

    uint32_t number = 0x01020304;

protected:
    void DefineCustomRegisters() override
    {
        AddUInt32Register(0x50000000, GenTLCore::REG_ACCESS_RW, 15001);
        AddStringRegister(0x50000010, 32, GenTLCore::REG_ACCESS_RO, 15002);
    }
    GC_ERROR ReadUInt32CustomRegister(uint32_t, uint32_t& value) override
    {
        value = number;
        return GC_ERR_SUCCESS;
    }
    GC_ERROR WriteUInt32CustomRegister(uint32_t, uint32_t value) override
    {
        number = value;
        return GC_ERR_SUCCESS;
    }
    GC_ERROR ReadStringCustomRegister(uint32_t, std::string& value) override
    {
        value = "sensor";
        return GC_ERR_SUCCESS;
    }
};

class RemoteDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { remote.CompleteConstruction(); }

    Bytes Read(uint64_t address, size_t size, GC_ERROR expected = GC_ERR_SUCCESS)
    {
        Bytes bytes(size, 0xCC);
        size_t read_size = size;
        EXPECT_EQ(expected, remote.ReadPort(address, bytes.data(), &read_size));
        return bytes;
    }
    Bytes PortInfo(PORT_INFO_CMD command)
    {
        const InfoAnswer answer = PortInfoOf(remote, command);
        EXPECT_EQ(GC_ERR_SUCCESS, answer.result);
        return answer.bytes;
    }
    Bytes URLInfo(URL_INFO_CMD command) { return URLInfoOf(remote, command).bytes; }

    TestSupport::TestBranding& branding = TestSupport::InstallTestBranding();
    TestRemoteDevice remote{MakeTag()};
};

}  // namespace

// --- The register map -------------------------------------------------------------

TEST_F(RemoteDeviceTest, ServesTheRemoteDocumentByteForByteWithAMatchingURLEntry)
{
    const std::string& text = branding.Document(DescriptionDocument::RemoteDevice).text;
    const Bytes bytes = Read(DOCUMENT_ADDRESS, text.size());
    EXPECT_EQ(BytesOf(text), bytes);
    EXPECT_EQ(TestSupport::Sha1Of(std::string(bytes.begin(), bytes.end())),
              URLInfo(URL_INFO_FILE_SHA1_HASH));
    EXPECT_EQ(ValueBytes<uint64_t>(bytes.size()), URLInfo(URL_INFO_FILE_SIZE));
    EXPECT_EQ(ValueBytes<uint64_t>(DOCUMENT_ADDRESS), URLInfo(URL_INFO_FILE_REGISTER_ADDRESS));
    EXPECT_EQ(TextBytes("TestRemoteDevice.xml"), URLInfo(URL_INFO_FILENAME));
}

TEST(RemoteDeviceURLTest, NamesTheFileTheAddressAndTheLengthInHex)
{
    TestSupport::InstallTestBranding().SetDocument(DescriptionDocument::RemoteDevice,
                                                   std::string(65, 'r'), "Rmt.xml");
    TestRemoteDevice remote(MakeTag());
    remote.CompleteConstruction();
    std::string url(64, 'x');
    size_t size = url.size();
    ASSERT_EQ(GC_ERR_SUCCESS, remote.GetPortURL(url.data(), &size));
    EXPECT_EQ(std::string("local:Rmt.xml;f0000000;41?SchemaVersion=1.1.0\0\0", 47),
              url.substr(0, size));
}

TEST_F(RemoteDeviceTest, BeginsItsMapAtTheFirstCustomRegisterAndEndsItWithTheDocument)
{
    Read(0x4FFFFFFF, 1, GC_ERR_INVALID_ADDRESS);
    Read(0x0F000000, 4, GC_ERR_INVALID_ADDRESS);  // no common registers here
    const size_t length = branding.Document(DescriptionDocument::RemoteDevice).text.size();
    EXPECT_EQ(Bytes(4, 0xCC), Read(DOCUMENT_ADDRESS + length - 2, 4, GC_ERR_INVALID_ADDRESS));
    Read(UINT64_MAX - 1, 4, GC_ERR_INVALID_ADDRESS);
    uint8_t bytes[4] = {};
    size_t size = sizeof bytes;
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, remote.WritePort(UINT64_MAX - 2, bytes, &size));
}

TEST_F(RemoteDeviceTest, ReadsAndWritesCustomRegistersButNotItsDocument)
{
    EXPECT_EQ((Bytes{0x04, 0x03, 0x02, 0x01}), Read(0x50000000, 4));
    const uint8_t bytes[] = {0x78, 0x56, 0x34, 0x12};
    size_t size = sizeof bytes;
    EXPECT_EQ(GC_ERR_SUCCESS, remote.WritePort(0x50000000, bytes, &size));
    EXPECT_EQ(0x12345678u, remote.number);
    Bytes expected = BytesOf("sensor");
    expected.resize(32, 0);
    EXPECT_EQ(expected, Read(0x50000010, 32));
    size = 1;
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, remote.WritePort(DOCUMENT_ADDRESS, bytes, &size));
}

// --- Identity and port info ----------------------------------------------------------

TEST_F(RemoteDeviceTest, TakesTheDevicesUniqueStringAsIDAndItsOwnUniqueString)
{
    EXPECT_EQ("TestPrefix_DEV_Dev_42", remote.GetID());
    EXPECT_EQ("TestPrefix_RMT_Dev_42", remote.GetUniqueString());
}

struct RemotePortInfoCase {
    PORT_INFO_CMD command;
    Bytes value;
};

class RemotePortInfoTest : public RemoteDeviceTest,
                           public ::testing::WithParamInterface<RemotePortInfoCase> {};

TEST_P(RemotePortInfoTest, AnswersFromTheDeviceTagAndTheBranding)
{
    EXPECT_EQ(GetParam().value, PortInfo(GetParam().command));
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, RemotePortInfoTest,
    ::testing::Values(RemotePortInfoCase{PORT_INFO_ID, TextBytes("TestPrefix_DEV_Dev_42")},
                      RemotePortInfoCase{PORT_INFO_VENDOR, TextBytes("Tag Vendor")},
                      RemotePortInfoCase{PORT_INFO_MODEL, TextBytes("Tag Model")},
                      RemotePortInfoCase{PORT_INFO_TLTYPE, TextBytes("TestTL")},
                      RemotePortInfoCase{PORT_INFO_MODULE, TextBytes("Device")},
                      RemotePortInfoCase{PORT_INFO_LITTLE_ENDIAN, {1}},
                      RemotePortInfoCase{PORT_INFO_BIG_ENDIAN, {0}},
                      RemotePortInfoCase{PORT_INFO_ACCESS_READ, {1}},
                      RemotePortInfoCase{PORT_INFO_ACCESS_WRITE, {1}},
                      RemotePortInfoCase{PORT_INFO_ACCESS_NA, {0}},
                      RemotePortInfoCase{PORT_INFO_ACCESS_NI, {0}},
                      RemotePortInfoCase{PORT_INFO_VERSION, TextBytes("4.5")},
                      RemotePortInfoCase{PORT_INFO_PORTNAME, TextBytes("Device")}));

TEST_F(RemoteDeviceTest, AnswersNoAccessOnceNotAvailableAndRefusesAnUnknownCommand)
{
    remote.SetNotAvailable();
    EXPECT_EQ(Bytes{0}, PortInfo(PORT_INFO_ACCESS_READ));
    EXPECT_EQ(Bytes{0}, PortInfo(PORT_INFO_ACCESS_WRITE));
    EXPECT_EQ(Bytes{1}, PortInfo(PORT_INFO_ACCESS_NA));
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, remote.GetPortInfo(13, &type, nullptr, &size));
    EXPECT_EQ("GetPortInfo: unknown port info command requested for remote device",
              LastErrorText());
}

TEST(RemoteDeviceWithoutTagTest, IsMarkedNotAvailableAndSaysSo)
{
    TestSupport::InstallTestBranding();
    GenTLCore::SetLogLevelForTest(GenTLCore::LOG_LEVEL_INFO);
    TestSupport::LogCapture log;
    TestSupport::AssertionCounter assertions;
    TestRemoteDevice remote{SharedPtr<DeviceTag>()};
    remote.CompleteConstruction();
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(1, CountLines(log.Lines(), "Assert",
                            {"Remote device not fully constructed due to an internal error."}));
    EXPECT_EQ(Bytes{1}, PortInfoOf(remote, PORT_INFO_ACCESS_NA).bytes);
    EXPECT_EQ(Bytes{0}, PortInfoOf(remote, PORT_INFO_ACCESS_READ).bytes);
}

// --- Genuine remote device -----------------------------------------------------------

namespace {

// Forwards to a record of the last memory access; answers a fixed result.
class FakeGenuineRemoteDevice : public GenTLCore::GenTLGenuineRemoteDevice {
public:
    explicit FakeGenuineRemoteDevice(std::vector<PortURLEntry> manifest)
        : GenTLGenuineRemoteDevice(MakeTag()), manifest(std::move(manifest))
    {
    }

    uint64_t last_address = 0;
    GC_ERROR memory_result = GC_ERR_IO;

protected:
    bool IsLittleEndian() override { return false; }
    bool IsWritable() override { return false; }
    void GetManifestTable(std::vector<PortURLEntry>& rmt_urls) override { rmt_urls = manifest; }
    GC_ERROR ReadDeviceMemory(uint64_t address, void* buffer, size_t* size) override
    {
        last_address = address;
        std::memset(buffer, 0x5A, *size);
        return memory_result;
    }
    GC_ERROR WriteDeviceMemory(uint64_t address, const void*, size_t*) override
    {
        last_address = address;
        return memory_result;
    }

private:
    const std::vector<PortURLEntry> manifest;
};

PortURLEntry ManifestEntry(const std::string& url)
{
    PortURLEntry entry;
    entry.url = url;
    entry.sha1_hash.assign(20, 0xAB);
    entry.reg_size = 100;
    entry.filename = "device.xml";
    return entry;
}

}  // namespace

TEST(GenuineRemoteDeviceTest, PublishesItsManifestAndPassesAccessesAndResultsThrough)
{
    TestSupport::InstallTestBranding();
    FakeGenuineRemoteDevice remote(
        {ManifestEntry("local:a.xml;1000;64"), ManifestEntry("file:///b.xml")});
    remote.CompleteConstruction();
    uint32_t count = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, remote.GetNumPortURLs(&count));
    EXPECT_EQ(2u, count);
    uint8_t bytes[2] = {};
    size_t size = 2;
    EXPECT_EQ(GC_ERR_IO, remote.ReadPort(0xFFFFFFFFFFFF0000, bytes, &size));
    EXPECT_EQ(0xFFFFFFFFFFFF0000u, remote.last_address);
    EXPECT_EQ(0u, size);
    remote.memory_result = GC_ERR_SUCCESS;
    size = 2;
    EXPECT_EQ(GC_ERR_SUCCESS, remote.WritePort(0x20, bytes, &size));
    EXPECT_EQ(0x20u, remote.last_address);
}

TEST(GenuineRemoteDeviceTest, ReportsAnEmptyManifestAndHasNoURL)
{
    TestSupport::InstallTestBranding();
    GenTLCore::SetLogLevelForTest(GenTLCore::LOG_LEVEL_INFO);
    TestSupport::LogCapture log;
    TestSupport::AssertionCounter assertions;
    FakeGenuineRemoteDevice remote({});
    remote.CompleteConstruction();
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(1,
              CountLines(log.Lines(), "", {"Remote device manifest table is reported empty \n"}));
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NO_DATA, remote.GetPortURL(nullptr, &size));
}
