// PortTest.cpp: GenTLPort's argument checks, stacked access and URL list,
// seen through the test module's port.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "PortTestHelpers.h"
#include "TestModule.h"
#include "support/AssertionCounter.h"

using GenTLCore::PortURLEntry;
using TestSupport::TestModule;
using namespace PortTestHelpers;
using namespace std::string_literals;

namespace {

PortURLEntry TestEntry(const std::string& url = "local:TestDoc.xml;f0000000;1a")
{
    PortURLEntry entry;
    entry.url = url;
    entry.sha1_hash.assign(20, 0xAB);
    entry.filename = "TestDoc.xml";
    return entry;
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module.CompleteConstruction();
        portless.CompleteConstruction();
    }

    TestSupport::TestBranding& branding = TestSupport::InstallTestBranding();
    TestModule module{GenTLCore::DescriptionDocument::System};
    TestModule portless;  // no URLs until a case gives it some
    TestSupport::AssertionCounter assertions;
};

}  // namespace

// Entries at 0x100 (read-write), 0x104 (read-only), 0x108 (write-only); 0: no
// buffer; no entries: no list. Each row also checks the single access's
// arguments; the size of a failed access is zeroed.
TEST_F(PortTest, StackedAccessCountsTheEntriesDoneBeforeTheFirstFailure)
{
    // clang-format off
    const struct { bool write; std::vector<uint64_t> addresses; GC_ERROR result; size_t count; std::string text; } rows[] = {
        {false, {0x100, 0x104}, GC_ERR_SUCCESS, 2, ""},
        {false, {0x100, 0x108, 0x104}, GC_ERR_ACCESS_DENIED, 1, "The read request contains unreadable register(s)."},
        {false, {0x100, 0}, GC_ERR_INVALID_PARAMETER, 1, "ReadPortStacked: invalid buffer pointer in register entry"},
        {true, {0x100, 0x108}, GC_ERR_SUCCESS, 2, ""},
        {true, {0x100, 0x104, 0x108}, GC_ERR_ACCESS_DENIED, 1, "The write request contains unwritable register(s)."},
        {true, {0x100, 0}, GC_ERR_INVALID_PARAMETER, 1, "WritePortStacked: invalid buffer pointer in register entry"},
        {false, {}, GC_ERR_INVALID_PARAMETER, 0, "ReadPortStacked: invalid pointer to register entries or their size"},
        {true, {}, GC_ERR_INVALID_PARAMETER, 0, "WritePortStacked: invalid pointer to register entries or their size"},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        uint8_t buffers[3][4] = {};
        std::vector<PORT_REGISTER_STACK_ENTRY> entries;
        for (uint64_t address : row.addresses)
            entries.push_back({address, address ? buffers[entries.size()] : nullptr, 4});
        const auto run = [&](PORT_REGISTER_STACK_ENTRY* list, size_t* number) {
            return row.write ? module.WritePortStacked(list, number)
                             : module.ReadPortStacked(list, number);
        };
        size_t count = entries.empty() ? 5 : entries.size();
        EXPECT_EQ(row.result, run(entries.empty() ? nullptr : entries.data(), &count));
        EXPECT_EQ(row.count, count);
        EXPECT_EQ(row.text, row.text.empty() ? "" : LastErrorText());
        EXPECT_EQ(row.write || entries.empty() ? 0 : 0x44, buffers[0][0]);
        PORT_REGISTER_STACK_ENTRY entry{0x100, nullptr, 4};
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, run(&entry, nullptr));
        count = 0;
        EXPECT_EQ(GC_ERR_SUCCESS, run(&entry, &count));  // zero entries: nothing to refuse
        const auto single = [&](uint64_t address, uint8_t* buffer, size_t* size) {
            return row.write ? module.WritePort(address, buffer, size)
                             : module.ReadPort(address, buffer, size);
        };
        size_t size = 0;  // refused before the address is looked at
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, single(0xDEAD0000, buffers[0], &size));
        EXPECT_EQ(row.write ? "WritePort: invalid buffer/size pointer"
                            : "ReadPort: invalid buffer/size pointer",
                  LastErrorText());
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, single(0x100, nullptr, &(size = 4)));
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, single(0x100, buffers[0], nullptr));
        EXPECT_EQ(GC_ERR_INVALID_ADDRESS, single(UINT64_MAX - 1, buffers[0], &(size = 4)));
        EXPECT_EQ(0u, size);
    }
    EXPECT_EQ(0u, module.numbers[1]);
}

// A reader never sees a stacked write half done: the port's lock is held across all entries.
TEST_F(PortTest, KeepsAStackedWriteWholeForConcurrentStackedReaders)
{
    constexpr uint32_t ROUNDS = 300;
    const uint64_t addresses[] = {0x100, 0x200, 0x50000000};
    module.numbers = {{1, 0}, {5, 0}, {10001, 0}};
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

TEST_F(PortTest, GetPortURLEndsEachURLWithANulAndTheListWithOneMore)
{
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NO_DATA, portless.GetPortURL(nullptr, &size));
    EXPECT_EQ("GetPortURL: no URL's available for this port", LastErrorText());
    PortURLEntry second = TestEntry("file:///b.xml");
    second.schema_ver_major = 2;
    second.schema_ver_minor = 3;
    portless.SetPortURLs({TestEntry(), second});
    portless.SetPortURLs({TestEntry()});  // a second list is refused, the first kept
    EXPECT_EQ(1, assertions.Failures());
    const std::string expected =
        "local:TestDoc.xml;f0000000;1a?SchemaVersion=1.1.0\0file:///b.xml?SchemaVersion=2.3.0\0\0"s;
    for (size_t length : {size_t{0}, expected.size(), expected.size() + 9, expected.size() - 1}) {
        std::string buffer(length, 'x');
        size = buffer.size();
        const bool fits = length >= expected.size();
        EXPECT_EQ(fits || !length ? GC_ERR_SUCCESS : GC_ERR_BUFFER_TOO_SMALL,
                  portless.GetPortURL(length ? buffer.data() : nullptr, &size));
        EXPECT_EQ(
            fits ? expected + std::string(length - expected.size(), 'x') : std::string(length, 'x'),
            buffer);
        EXPECT_EQ(fits || !length ? expected.size() : length, size);
    }
    EXPECT_EQ("GetPortURL: the buffer is not sufficient for the URL string.", LastErrorText());
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, portless.GetPortURL(nullptr, nullptr));
    EXPECT_EQ("GetPortURL: invalid buffer size pointer", LastErrorText());
    uint32_t count = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, portless.GetNumPortURLs(&count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(TextBytes("file:///b.xml"), InfoOf(portless, URL_INFO_URL, 1).bytes);
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, portless.GetNumPortURLs(nullptr));
    EXPECT_EQ("GetNumPortURLs: invalid num_urls pointer", LastErrorText());
}

TEST_F(PortTest, GetPortURLInfoRefusesWhatTheEntryLacksABadIndexOrCommandAndAPortWithoutURLs)
{
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
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, InfoOf(portless, URL_INFO_URL, 0).result);
    EXPECT_EQ("GetPortURLInfo: this module does not implement a port", LastErrorText());
    uint32_t count = 7;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, portless.GetNumPortURLs(&count));
    EXPECT_EQ("GetNumPortURLs: this module does not implement a port", LastErrorText());
    EXPECT_EQ(7u, count);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        TestModule port;
        port.CompleteConstruction();
        PortURLEntry entry = TestEntry();
        if (row.lacking != nullptr) entry.*row.lacking = false;
        entry.scheme = row.scheme;
        port.SetPortURLs({entry});
        EXPECT_EQ(row.result, InfoOf(port, row.command, 0).result);
        EXPECT_EQ(row.text, row.text.empty() ? "" : LastErrorText());
    }
    EXPECT_EQ(GC_ERR_INVALID_INDEX, InfoOf(module, URL_INFO_URL, 1).result);
    EXPECT_EQ("GetPortURLInfo: invalid URL index, not that many URLs available", LastErrorText());
    // A digest of another length would hand out a block the consumer cannot check.
    PortURLEntry entry = TestEntry();
    entry.sha1_hash.clear();
    portless.SetPortURLs({entry});
    EXPECT_EQ(GC_ERR_NOT_AVAILABLE, InfoOf(portless, URL_INFO_FILE_SHA1_HASH, 0).result);
    EXPECT_EQ(1, assertions.Failures());
}
