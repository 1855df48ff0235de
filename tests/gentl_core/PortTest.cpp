#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "PortTestHelpers.h"
#include "gentl_core/GenTLPort.h"
#include "support/AssertionCounter.h"

using GenTLCore::GenTLPort;
using GenTLCore::PortURLEntry;
using namespace PortTestHelpers;
using namespace std::string_literals;

namespace {

constexpr uint64_t MEMORY_ADDRESS = 0x1000;

// A port over 16 bytes of memory at MEMORY_ADDRESS; any access outside them
// fails with GC_ERR_INVALID_ADDRESS. Counts its accesses and notes whether
// two of them ever overlapped or one ran without the port's lock.
class MemoryPort : public GenTLPort {
public:
    MemoryPort() { CompleteConstruction(); }

    std::string GetID() override { return "MemoryPortID"; }

    GC_ERROR DoReadPort(uint64_t address, void* buffer, size_t* size) override
    {
        return Access(address, *size,
                      [&](uint8_t* memory_bytes) { std::memcpy(buffer, memory_bytes, *size); });
    }

    GC_ERROR DoWritePort(uint64_t address, const void* data, size_t* size) override
    {
        return Access(address, *size,
                      [&](uint8_t* memory_bytes) { std::memcpy(memory_bytes, data, *size); });
    }

    GC_ERROR DoGetPortInfo(PORT_INFO_CMD info_cmd, INFO_DATATYPE* type, void* buffer,
                           size_t* size) override
    {
        NoteLock();
        GenTLCore::PortInfo info;
        info.id = "MemoryPortID";
        info.vendor = "Vendor";
        info.model = "Model";
        info.tl_type = "Mixed";
        info.module = "Memory";
        info.version = "1.2";
        info.port_name = "MemPort";
        info.little_endian = false;
        info.access_read = true;
        info.access_write = false;
        info.access_na = true;
        return CopyPortInfo(info, info_cmd, type, buffer, size, "MemoryPort: unknown command");
    }

    using GenTLPort::SetPortURLs;

    std::array<uint8_t, 16> memory{};
    std::atomic<int> accesses{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> unlocked_access{false};

private:
    template <class Copy>
    GC_ERROR Access(uint64_t address, size_t size, Copy copy)
    {
        if (active.fetch_add(1) != 0) overlapped = true;
        ++accesses;
        GC_ERROR result = GC_ERR_SUCCESS;
        if (address < MEMORY_ADDRESS || address - MEMORY_ADDRESS > memory.size() ||
            size > memory.size() - (address - MEMORY_ADDRESS))
            result = GenTLCore::ReportError(GC_ERR_INVALID_ADDRESS, "MemoryPort: outside memory");
        else
            copy(memory.data() + (address - MEMORY_ADDRESS));
        active.fetch_sub(1);
        return result;
    }

    void NoteLock()
    {
        if (!GetHandleLock().IsLockedByCurrentThread()) unlocked_access = true;
    }

    std::atomic<int> active{0};
};

PortURLEntry TestEntry()
{
    PortURLEntry entry;
    entry.url = "local:TestDoc.xml;f0000000;1a";
    entry.file_ver_major = 3;
    entry.file_ver_minor = 7;
    entry.file_ver_subminor = 11;
    for (uint8_t i = 0; i < 20; ++i) entry.sha1_hash.push_back(i);
    entry.reg_size = 0x1a;
    entry.filename = "TestDoc.xml";
    return entry;
}

}  // namespace

// --- ReadPort and WritePort ------------------------------------------------------

// The parameter says whether the case runs WritePort (true) or ReadPort.
class PortAccessArgumentTest : public ::testing::TestWithParam<bool> {
protected:
    GC_ERROR Access(uint64_t address, uint8_t* buffer, size_t* size)
    {
        return GetParam() ? port.WritePort(address, buffer, size)
                          : port.ReadPort(address, buffer, size);
    }
    std::string RefusalText() const
    {
        return GetParam() ? "WritePort: invalid buffer/size pointer"
                          : "ReadPort: invalid buffer/size pointer";
    }

    MemoryPort port;
    uint8_t buffer[4] = {1, 2, 3, 4};
};

TEST_P(PortAccessArgumentTest, RefusesNullPointersAndSizeZeroWithoutAskingThePort)
{
    size_t size = 4;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Access(MEMORY_ADDRESS, nullptr, &size));
    EXPECT_EQ(RefusalText(), LastErrorText());
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Access(MEMORY_ADDRESS, buffer, nullptr));
    size = 0;  // refused before the address is looked at
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Access(0xDEAD0000, buffer, &size));
    EXPECT_EQ(RefusalText(), LastErrorText());
    EXPECT_EQ(0, port.accesses);
}

TEST_P(PortAccessArgumentTest, AnswersSizeZeroAfterAFailedAccessOnly)
{
    size_t size = 4;
    EXPECT_EQ(GC_ERR_SUCCESS, Access(MEMORY_ADDRESS + 12, buffer, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Access(MEMORY_ADDRESS + 14, buffer, &size));
    EXPECT_EQ(0u, size);
}

INSTANTIATE_TEST_SUITE_P(ReadAndWrite, PortAccessArgumentTest, ::testing::Bool());

// --- Stacked access --------------------------------------------------------------

// The parameter says whether the case runs WritePortStacked (true) or ReadPortStacked.
class StackedAccessTest : public ::testing::TestWithParam<bool> {
protected:
    GC_ERROR Run(PORT_REGISTER_STACK_ENTRY* entries, size_t* count)
    {
        return GetParam() ? port.WritePortStacked(entries, count)
                          : port.ReadPortStacked(entries, count);
    }
    std::string Operation() const { return GetParam() ? "WritePortStacked" : "ReadPortStacked"; }

    MemoryPort port;
    uint8_t buffers[3][4] = {{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}};
};

TEST_P(StackedAccessTest, AnswersEveryEntryInOrder)
{
    PORT_REGISTER_STACK_ENTRY entries[] = {{MEMORY_ADDRESS, buffers[0], 4},
                                           {MEMORY_ADDRESS + 4, buffers[1], 2},
                                           {MEMORY_ADDRESS + 8, buffers[2], 4}};
    size_t count = 3;
    EXPECT_EQ(GC_ERR_SUCCESS, Run(entries, &count));
    EXPECT_EQ(3u, count);
    EXPECT_EQ(3, port.accesses);
    EXPECT_EQ(4u, entries[0].Size);
    EXPECT_EQ(2u, entries[1].Size);
}

TEST_P(StackedAccessTest, StopsAtTheFirstFailureAndCountsTheEntriesDoneBeforeIt)
{
    PORT_REGISTER_STACK_ENTRY entries[] = {{MEMORY_ADDRESS, buffers[0], 4},
                                           {MEMORY_ADDRESS + 14, buffers[1], 4},
                                           {MEMORY_ADDRESS + 8, buffers[2], 4}};
    size_t count = 3;
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Run(entries, &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(4u, entries[0].Size);
    EXPECT_EQ(2, port.accesses);  // the third entry is never tried
}

TEST_P(StackedAccessTest, RefusesAnEntryWithANullBufferAfterDoingThoseBeforeIt)
{
    PORT_REGISTER_STACK_ENTRY entries[] = {{MEMORY_ADDRESS, buffers[0], 4},
                                           {MEMORY_ADDRESS + 4, nullptr, 4}};
    size_t count = 2;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Run(entries, &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(Operation() + ": invalid buffer pointer in register entry", LastErrorText());
    EXPECT_EQ(1, port.accesses);
}

TEST_P(StackedAccessTest, RefusesAMissingEntryListOrCountButNotAnEmptyStack)
{
    size_t count = 5;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Run(nullptr, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(Operation() + ": invalid pointer to register entries or their size", LastErrorText());
    PORT_REGISTER_STACK_ENTRY entries[] = {{MEMORY_ADDRESS, nullptr, 4}};
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Run(entries, nullptr));
    EXPECT_EQ(GC_ERR_SUCCESS, Run(entries, &count));  // zero entries: nothing to refuse
    EXPECT_EQ(0, port.accesses);
}

INSTANTIATE_TEST_SUITE_P(ReadAndWrite, StackedAccessTest, ::testing::Bool());

// --- One operation at a time --------------------------------------------------------

TEST(PortLockTest, RunsEveryPortKindsOperationUnderThePortsLock)
{
    MemoryPort port;
    uint8_t bytes[4] = {};
    size_t size = sizeof bytes;
    EXPECT_EQ(GC_ERR_SUCCESS, port.ReadPort(MEMORY_ADDRESS, bytes, &size));
    EXPECT_EQ(GC_ERR_SUCCESS, port.WritePort(MEMORY_ADDRESS, bytes, &size));
    PORT_REGISTER_STACK_ENTRY entries[] = {{MEMORY_ADDRESS, bytes, 4},
                                           {MEMORY_ADDRESS + 4, bytes, 4}};
    size_t count = 2;
    EXPECT_EQ(GC_ERR_SUCCESS, port.ReadPortStacked(entries, &count));
    EXPECT_EQ(GC_ERR_SUCCESS, port.WritePortStacked(entries, &count));
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    EXPECT_EQ(GC_ERR_SUCCESS, port.GetPortInfo(PORT_INFO_ID, &type, nullptr, &size));
    EXPECT_EQ(6, port.accesses);
    EXPECT_FALSE(port.unlocked_access);
}

// A reader never sees a stacked write half done: the port's lock is held
// across all entries, and no two port accesses ever overlap.
TEST(PortLockTest, KeepsAStackedWriteWholeForConcurrentReaders)
{
    MemoryPort port;
    constexpr int ROUNDS = 300;
    std::atomic<bool> torn{false};
    std::thread writer([&] {
        for (int round = 0; round < ROUNDS; ++round) {
            uint8_t fill[4];
            std::memset(fill, round & 0xFF, sizeof fill);
            PORT_REGISTER_STACK_ENTRY entries[4];
            for (int i = 0; i < 4; ++i) entries[i] = {MEMORY_ADDRESS + 4u * i, fill, 4};
            size_t count = 4;
            EXPECT_EQ(GC_ERR_SUCCESS, port.WritePortStacked(entries, &count));
        }
    });
    std::thread reader([&] {
        for (int round = 0; round < ROUNDS; ++round) {
            uint8_t seen[16];
            size_t size = sizeof seen;
            EXPECT_EQ(GC_ERR_SUCCESS, port.ReadPort(MEMORY_ADDRESS, seen, &size));
            if (std::any_of(seen, seen + 16, [&](uint8_t b) { return b != seen[0]; })) torn = true;
        }
    });
    writer.join();
    reader.join();
    EXPECT_FALSE(torn);
    EXPECT_FALSE(port.overlapped);
}

// --- Port info --------------------------------------------------------------------

struct PortInfoCase {
    PORT_INFO_CMD command;
    INFO_DATATYPE type;
    Bytes value;
};

class PortInfoAnswerTest : public ::testing::TestWithParam<PortInfoCase> {
protected:
    MemoryPort port;
};

TEST_P(PortInfoAnswerTest, WritesTheAnswerWithItsType)
{
    const InfoAnswer answer = PortInfoOf(port, GetParam().command);
    ASSERT_EQ(GC_ERR_SUCCESS, answer.result);
    EXPECT_EQ(GetParam().type, answer.type);
    EXPECT_EQ(GetParam().value, answer.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, PortInfoAnswerTest,
    ::testing::Values(PortInfoCase{PORT_INFO_ID, INFO_DATATYPE_STRING, TextBytes("MemoryPortID")},
                      PortInfoCase{PORT_INFO_VENDOR, INFO_DATATYPE_STRING, TextBytes("Vendor")},
                      PortInfoCase{PORT_INFO_MODEL, INFO_DATATYPE_STRING, TextBytes("Model")},
                      PortInfoCase{PORT_INFO_TLTYPE, INFO_DATATYPE_STRING, TextBytes("Mixed")},
                      PortInfoCase{PORT_INFO_MODULE, INFO_DATATYPE_STRING, TextBytes("Memory")},
                      PortInfoCase{PORT_INFO_LITTLE_ENDIAN, INFO_DATATYPE_BOOL8, {0}},
                      PortInfoCase{PORT_INFO_BIG_ENDIAN, INFO_DATATYPE_BOOL8, {1}},
                      PortInfoCase{PORT_INFO_ACCESS_READ, INFO_DATATYPE_BOOL8, {1}},
                      PortInfoCase{PORT_INFO_ACCESS_WRITE, INFO_DATATYPE_BOOL8, {0}},
                      PortInfoCase{PORT_INFO_ACCESS_NA, INFO_DATATYPE_BOOL8, {1}},
                      PortInfoCase{PORT_INFO_ACCESS_NI, INFO_DATATYPE_BOOL8, {0}},
                      PortInfoCase{PORT_INFO_VERSION, INFO_DATATYPE_STRING, TextBytes("1.2")},
                      PortInfoCase{PORT_INFO_PORTNAME, INFO_DATATYPE_STRING,
                                   TextBytes("MemPort")}));

TEST(PortInfoTest, RefusesAnUnknownCommandWithThePortKindsText)
{
    MemoryPort port;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    uint8_t buffer[8];
    size_t size = sizeof buffer;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, port.GetPortInfo(13, &type, buffer, &size));
    EXPECT_EQ("MemoryPort: unknown command", LastErrorText());
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, port.GetPortInfo(PORT_INFO_CUSTOM_ID, &type, buffer, &size));
}

// --- GCGetPortURL -------------------------------------------------------------------

class GetPortURLTest : public ::testing::Test {
protected:
    void SetUp() override { port.SetPortURLs({TestEntry()}); }

    MemoryPort port;
    // 29 characters of URL, 20 of schema version, two NULs.
    const std::string expected = "local:TestDoc.xml;f0000000;1a?SchemaVersion=1.1.0\0\0"s;
};

TEST_F(GetPortURLTest, AnswersTheLengthWithBothNulsAndFillsABufferOfAtLeastThatSize)
{
    size_t size = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, port.GetPortURL(nullptr, &size));
    EXPECT_EQ(51u, size);
    for (size_t length : {51u, 60u}) {
        std::string buffer(length, 'x');
        size = buffer.size();
        EXPECT_EQ(GC_ERR_SUCCESS, port.GetPortURL(buffer.data(), &size));
        EXPECT_EQ(expected + std::string(length - 51, 'x'), buffer);
        EXPECT_EQ(51u, size);
    }
}

TEST_F(GetPortURLTest, RefusesABufferOneByteShortOrANullSizePointer)
{
    std::string buffer(50, 'x');
    size_t size = buffer.size();
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, port.GetPortURL(buffer.data(), &size));
    EXPECT_EQ(50u, size);
    EXPECT_EQ(std::string(50, 'x'), buffer);
    EXPECT_EQ("GetPortURL: the buffer is not sufficient for the URL string.", LastErrorText());
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, port.GetPortURL(buffer.data(), nullptr));
    EXPECT_EQ("GetPortURL: invalid buffer size pointer", LastErrorText());
}

TEST(GetPortURLListTest, EndsEachURLWithANulAndTheListWithOneMore)
{
    MemoryPort port;
    PortURLEntry first = TestEntry();
    first.url = "local:a.xml;f0000000;3";
    PortURLEntry second = TestEntry();
    second.url = "file:///b.xml";
    second.schema_ver_major = 2;
    second.schema_ver_minor = 3;
    port.SetPortURLs({first, second});
    std::string buffer(100, 'x');
    size_t size = buffer.size();
    EXPECT_EQ(GC_ERR_SUCCESS, port.GetPortURL(buffer.data(), &size));
    const std::string expected =
        "local:a.xml;f0000000;3?SchemaVersion=1.1.0\0file:///b.xml?SchemaVersion=2.3.0\0\0"s;
    EXPECT_EQ(expected.size(), size);
    EXPECT_EQ(expected, buffer.substr(0, size));
}

TEST(GetPortURLListTest, AnswersNoDataForAPortWithoutURLsConfiguredOrNot)
{
    MemoryPort unconfigured;
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NO_DATA, unconfigured.GetPortURL(nullptr, &size));
    EXPECT_EQ("GetPortURL: no URL's available for this port", LastErrorText());
    MemoryPort empty;
    empty.SetPortURLs({});
    EXPECT_EQ(GC_ERR_NO_DATA, empty.GetPortURL(nullptr, &size));
}

// --- GCGetNumPortURLs ---------------------------------------------------------------

TEST(GetNumPortURLsTest, RefusesAnUnconfiguredPortAndANullPointer)
{
    MemoryPort port;
    uint32_t count = 7;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, port.GetNumPortURLs(&count));
    EXPECT_EQ("GetNumPortURLs: this module does not implement a port", LastErrorText());
    EXPECT_EQ(7u, count);
    port.SetPortURLs({TestEntry()});
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, port.GetNumPortURLs(nullptr));
    EXPECT_EQ("GetNumPortURLs: invalid num_urls pointer", LastErrorText());
}

TEST(SetPortURLsTest, KeepsTheFirstListAndRefusesASecond)
{
    TestSupport::AssertionCounter assertions;
    MemoryPort port;
    port.SetPortURLs({TestEntry(), TestEntry()});
    port.SetPortURLs({TestEntry()});
    EXPECT_EQ(1, assertions.Failures());
    uint32_t count = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, port.GetNumPortURLs(&count));
    EXPECT_EQ(2u, count);
}

// --- GCGetPortURLInfo ---------------------------------------------------------------

struct URLInfoCase {
    URL_INFO_CMD command;
    INFO_DATATYPE type;
    Bytes value;
};

class PortURLInfoAnswerTest : public ::testing::TestWithParam<URLInfoCase> {
protected:
    void SetUp() override { port.SetPortURLs({TestEntry()}); }
    MemoryPort port;
};

TEST_P(PortURLInfoAnswerTest, WritesTheEntrysValueWithItsType)
{
    const InfoAnswer answer = URLInfoOf(port, GetParam().command);
    ASSERT_EQ(GC_ERR_SUCCESS, answer.result);
    EXPECT_EQ(GetParam().type, answer.type);
    EXPECT_EQ(GetParam().value, answer.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, PortURLInfoAnswerTest,
    ::testing::Values(
        URLInfoCase{URL_INFO_URL, INFO_DATATYPE_STRING, TextBytes("local:TestDoc.xml;f0000000;1a")},
        URLInfoCase{URL_INFO_SCHEMA_VER_MAJOR, INFO_DATATYPE_INT32, {1, 0, 0, 0}},
        URLInfoCase{URL_INFO_SCHEMA_VER_MINOR, INFO_DATATYPE_INT32, {1, 0, 0, 0}},
        URLInfoCase{URL_INFO_FILE_VER_MAJOR, INFO_DATATYPE_INT32, {3, 0, 0, 0}},
        URLInfoCase{URL_INFO_FILE_VER_MINOR, INFO_DATATYPE_INT32, {7, 0, 0, 0}},
        URLInfoCase{URL_INFO_FILE_VER_SUBMINOR, INFO_DATATYPE_INT32, {11, 0, 0, 0}},
        URLInfoCase{URL_INFO_FILE_SHA1_HASH,
                    INFO_DATATYPE_BUFFER,
                    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
        URLInfoCase{URL_INFO_FILE_REGISTER_ADDRESS,
                    INFO_DATATYPE_UINT64,
                    {0x00, 0x00, 0x00, 0xF0, 0, 0, 0, 0}},
        URLInfoCase{URL_INFO_FILE_SIZE, INFO_DATATYPE_UINT64, {0x1a, 0, 0, 0, 0, 0, 0, 0}},
        URLInfoCase{URL_INFO_SCHEME, INFO_DATATYPE_INT32, {0, 0, 0, 0}},
        URLInfoCase{URL_INFO_FILENAME, INFO_DATATYPE_STRING, TextBytes("TestDoc.xml")}));

// An entry lacking what a command asks for.
struct MissingURLInfoCase {
    URL_INFO_CMD command;
    void (*alter)(PortURLEntry& entry);
    std::string text;
};

class PortURLInfoMissingTest : public ::testing::TestWithParam<MissingURLInfoCase> {};

TEST_P(PortURLInfoMissingTest, AnswersNotAvailable)
{
    MemoryPort port;
    PortURLEntry entry = TestEntry();
    GetParam().alter(entry);
    port.SetPortURLs({entry});
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    uint8_t buffer[64];
    size_t size = sizeof buffer;
    EXPECT_EQ(GC_ERR_NOT_AVAILABLE,
              port.GetPortURLInfo(0, GetParam().command, &type, buffer, &size));
    EXPECT_EQ(GetParam().text, LastErrorText());
    EXPECT_EQ(sizeof buffer, size);
}

const std::string NO_SCHEMA = "GetPortURLInfo: schema version not available";
const std::string NO_VERSION = "GetPortURLInfo: XML version not available";
const std::string NO_HASH = "GetPortURLInfo: SHA1 hash not available";
const std::string NOT_LOCAL =
    "GetPortURLInfo: XML file register address/size  available only for local URL scheme";
void NoSchema(PortURLEntry& entry) { entry.schema_ver_available = false; }
void NoVersion(PortURLEntry& entry) { entry.file_ver_available = false; }
void NoHash(PortURLEntry& entry) { entry.sha1_hash_available = false; }
void FileScheme(PortURLEntry& entry) { entry.scheme = URL_SCHEME_FILE; }
void HttpScheme(PortURLEntry& entry) { entry.scheme = URL_SCHEME_HTTP; }

INSTANTIATE_TEST_SUITE_P(
    EachAvailabilityRule, PortURLInfoMissingTest,
    ::testing::Values(MissingURLInfoCase{URL_INFO_SCHEMA_VER_MAJOR, NoSchema, NO_SCHEMA},
                      MissingURLInfoCase{URL_INFO_SCHEMA_VER_MINOR, NoSchema, NO_SCHEMA},
                      MissingURLInfoCase{URL_INFO_FILE_VER_MAJOR, NoVersion, NO_VERSION},
                      MissingURLInfoCase{URL_INFO_FILE_VER_MINOR, NoVersion, NO_VERSION},
                      MissingURLInfoCase{URL_INFO_FILE_VER_SUBMINOR, NoVersion, NO_VERSION},
                      MissingURLInfoCase{URL_INFO_FILE_SHA1_HASH, NoHash, NO_HASH},
                      MissingURLInfoCase{URL_INFO_FILE_REGISTER_ADDRESS, FileScheme, NOT_LOCAL},
                      MissingURLInfoCase{URL_INFO_FILE_SIZE, FileScheme, NOT_LOCAL},
                      MissingURLInfoCase{URL_INFO_FILE_SIZE, HttpScheme, NOT_LOCAL},
                      MissingURLInfoCase{URL_INFO_FILENAME, HttpScheme, NOT_LOCAL}));

TEST(PortURLInfoTest, AnswersTheFileNameOfAFileSchemeEntry)
{
    MemoryPort port;
    PortURLEntry entry = TestEntry();
    entry.scheme = URL_SCHEME_FILE;
    port.SetPortURLs({entry});
    const InfoAnswer answer = URLInfoOf(port, URL_INFO_FILENAME);
    EXPECT_EQ(GC_ERR_SUCCESS, answer.result);
    EXPECT_EQ(TextBytes("TestDoc.xml"), answer.bytes);
}

TEST(PortURLInfoTest, RefusesAnUnconfiguredPortThenABadIndexOrCommand)
{
    MemoryPort port;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, port.GetPortURLInfo(5, URL_INFO_URL, &type, nullptr, &size));
    EXPECT_EQ("GetPortURLInfo: this module does not implement a port", LastErrorText());
    port.SetPortURLs({TestEntry()});
    EXPECT_EQ(GC_ERR_INVALID_INDEX, port.GetPortURLInfo(1, URL_INFO_URL, &type, nullptr, &size));
    EXPECT_EQ("GetPortURLInfo: invalid URL index, not that many URLs available", LastErrorText());
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, port.GetPortURLInfo(0, 11, &type, nullptr, &size));
    EXPECT_EQ("GetPortURLInfo: unknown URL info command requested", LastErrorText());
}

TEST(PortURLInfoTest, RefusesADigestOfTheWrongLengthInsteadOfHandingItOut)
{
    TestSupport::AssertionCounter assertions;
    MemoryPort port;
    PortURLEntry entry = TestEntry();
    entry.sha1_hash.clear();
    port.SetPortURLs({entry});
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NOT_AVAILABLE,
              port.GetPortURLInfo(0, URL_INFO_FILE_SHA1_HASH, &type, nullptr, &size));
    EXPECT_EQ(1, assertions.Failures());
}
