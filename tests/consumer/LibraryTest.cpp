// The library as a consumer loads it: start and stop, the last error, the TL
// info and the system handle. Every case runs in a process of its own, so
// each starts from a freshly loaded library.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "support/CtiLoader.h"

using TestSupport::CtiLoader;
using TestSupport::LastError;
using TestSupport::ReadLastError;

namespace {

const std::string ALREADY_INITIALIZED =
    "InitLib: attempt to initialize library, that is already initialized.";

// Whatever thread runs `body` reads its own last error right after it.
template <class Body>
LastError LastErrorOnNewThread(const CtiLoader& cti, Body body)
{
    LastError error;
    std::thread thread([&] {
        body();
        error = ReadLastError(cti.Functions());
    });
    thread.join();
    return error;
}

class ConsumerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(cti.IsComplete()) << cti.Error(); }

    CtiLoader cti{GENTESK_CTI_PATH};
};

class InitializedConsumerTest : public ConsumerTest {
protected:
    void SetUp() override
    {
        ConsumerTest::SetUp();
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
    }
};

// ---- Before GCInitLib ----

using UninitializedLibraryTest = ConsumerTest;

TEST_F(UninitializedLibraryTest, RefusesEveryLibraryCall)
{
    GC_ERROR code = 0;
    char text[64];
    size_t size = sizeof text;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, cti->GCGetLastError(&code, text, &size));
    INFO_DATATYPE type = 0;
    size = sizeof text;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, cti->GCGetInfo(TL_INFO_ID, &type, text, &size));
    TL_HANDLE system = nullptr;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, cti->TLOpen(&system));
    EXPECT_EQ(nullptr, system);
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, cti->GCCloseLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, cti->TLClose(reinterpret_cast<TL_HANDLE>(0x10)));
}

// ---- GCInitLib and GCCloseLib ----

using InitLibTest = InitializedConsumerTest;

TEST_F(InitLibTest, SecondInitIsRefusedWithItsMessage)
{
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, cti->GCInitLib());

    const LastError error = ReadLastError(cti.Functions());
    EXPECT_EQ(GC_ERR_SUCCESS, error.result);
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, error.code);
    EXPECT_EQ(ALREADY_INITIALIZED, error.text);
    EXPECT_EQ(69u, error.size);
}

TEST_F(InitLibTest, CloseThenCloseAgainIsNotInitialized)
{
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCCloseLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, cti->GCCloseLib());
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
}

TEST_F(InitLibTest, InitClearsTheLastErrorOfEveryThread)
{
    // One thread keeps its failure until the library is initialized again.
    bool reinitialized = false;
    LastError before;
    LastError after;
    std::thread failing([&] {
        cti->TLOpen(nullptr);
        before = ReadLastError(cti.Functions());
        std::thread closer([&] {
            reinitialized =
                cti->GCCloseLib() == GC_ERR_SUCCESS && cti->GCInitLib() == GC_ERR_SUCCESS;
        });
        closer.join();
        after = ReadLastError(cti.Functions());
    });
    failing.join();

    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, before.code);
    ASSERT_TRUE(reinitialized);
    EXPECT_EQ(0, after.code);
    EXPECT_EQ("No Error", after.text);
}

// ---- GCGetLastError ----

// After a refused second GCInitLib: every malformed query fails and leaves
// the stored error as it was.
class LastErrorQueryTest : public InitializedConsumerTest {
protected:
    void SetUp() override
    {
        InitializedConsumerTest::SetUp();
        ASSERT_EQ(GC_ERR_RESOURCE_IN_USE, cti->GCInitLib());
    }
    void TearDown() override
    {
        const LastError error = ReadLastError(cti.Functions());
        EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, error.code);
        EXPECT_EQ(ALREADY_INITIALIZED, error.text);
    }
};

TEST_F(LastErrorQueryTest, NullTextBufferAsksForTheSize)
{
    GC_ERROR code = 0;
    size_t size = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCGetLastError(&code, nullptr, &size));
    EXPECT_EQ(69u, size);
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, code);
}

TEST_F(LastErrorQueryTest, BufferOneByteShortIsTooSmallAndLeavesSizeAndBuffer)
{
    GC_ERROR code = 0;
    char text[68];
    std::memset(text, 'x', sizeof text);
    size_t size = sizeof text;
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, cti->GCGetLastError(&code, text, &size));
    EXPECT_EQ(68u, size);
    EXPECT_EQ(std::string(68, 'x'), std::string(text, sizeof text));
}

TEST_F(LastErrorQueryTest, ExactFitIncludesTheTerminator)
{
    GC_ERROR code = 0;
    char text[69];
    size_t size = sizeof text;
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCGetLastError(&code, text, &size));
    EXPECT_EQ(ALREADY_INITIALIZED, std::string(text));
}

TEST_F(LastErrorQueryTest, NullCodePointerIsInvalid)
{
    char text[256];
    size_t size = sizeof text;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->GCGetLastError(nullptr, text, &size));
}

TEST_F(LastErrorQueryTest, NullSizePointerIsInvalid)
{
    GC_ERROR code = 0;
    char text[256];
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->GCGetLastError(&code, text, nullptr));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->GCGetLastError(&code, nullptr, nullptr));
}

using PerThreadLastErrorTest = InitializedConsumerTest;

TEST_F(PerThreadLastErrorTest, FreshThreadReadsNoError)
{
    ASSERT_EQ(GC_ERR_RESOURCE_IN_USE, cti->GCInitLib());  // a failure on this thread only

    const LastError error = LastErrorOnNewThread(cti, [] {});
    EXPECT_EQ(GC_ERR_SUCCESS, error.result);
    EXPECT_EQ(0, error.code);
    EXPECT_EQ("No Error", error.text);
    EXPECT_EQ(9u, error.size);
}

TEST_F(PerThreadLastErrorTest, TwoThreadsReadTheirOwnFailures)
{
    const LastError first = LastErrorOnNewThread(cti, [&] { cti->TLOpen(nullptr); });
    const LastError second = LastErrorOnNewThread(
        cti, [&] { cti->TLClose(reinterpret_cast<TL_HANDLE>(0x10)); });

    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, first.code);
    EXPECT_EQ("Open/Register: invalid output handle pointer.", first.text);
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, second.code);
    EXPECT_EQ("Close/Unregister: requested handle not found in the pool", second.text);
    EXPECT_EQ(0, ReadLastError(cti.Functions()).code);
}

// ---- TL info, through GCGetInfo and TLGetInfo alike ----

struct TLInfoCase {
    TL_INFO_CMD command;
    INFO_DATATYPE type;
    std::string text;    // for strings
    uint32_t number;     // for numbers
    size_t size;
};

void PrintTo(const TLInfoCase& info, std::ostream* out)
{
    *out << "command " << info.command;
}

const TLInfoCase TL_INFO_CASES[] = {
    {TL_INFO_ID, INFO_DATATYPE_STRING, "Tesk3D_GenTL_1_6", 0, 17},
    {TL_INFO_VENDOR, INFO_DATATYPE_STRING, "dorvane VOR GmbH", 0, 17},
    {TL_INFO_MODEL, INFO_DATATYPE_STRING, "Tesk3D", 0, 7},
    {TL_INFO_VERSION, INFO_DATATYPE_STRING, "1.0.1", 0, 6},
    {TL_INFO_TLTYPE, INFO_DATATYPE_STRING, "Custom", 0, 7},
    {TL_INFO_DISPLAYNAME, INFO_DATATYPE_STRING, "Tesk3D GenTL Producer", 0, 22},
    {TL_INFO_CHAR_ENCODING, INFO_DATATYPE_INT32, "", 1, 4},
    {TL_INFO_GENTL_VER_MAJOR, INFO_DATATYPE_UINT32, "", 1, 4},
    {TL_INFO_GENTL_VER_MINOR, INFO_DATATYPE_UINT32, "", 6, 4},
};

// Both calls answer every TL info command the same way.
class TLInfoTest : public InitializedConsumerTest,
                   public ::testing::WithParamInterface<TLInfoCase> {
protected:
    void SetUp() override
    {
        InitializedConsumerTest::SetUp();
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
    }

    // GCGetInfo, or TLGetInfo on the open system.
    GC_ERROR GetInfo(bool through_system, INFO_DATATYPE* type, void* buffer, size_t* size)
    {
        const TL_INFO_CMD command = GetParam().command;
        return through_system ? cti->TLGetInfo(system, command, type, buffer, size)
                              : cti->GCGetInfo(command, type, buffer, size);
    }

    TL_HANDLE system = nullptr;
};

TEST_P(TLInfoTest, AnswersValueTypeAndSize)
{
    const TLInfoCase& expected = GetParam();
    for (bool through_system : {false, true}) {
        SCOPED_TRACE(through_system ? "TLGetInfo" : "GCGetInfo");
        INFO_DATATYPE type = 0;
        char buffer[64] = {};
        size_t size = sizeof buffer;
        ASSERT_EQ(GC_ERR_SUCCESS, GetInfo(through_system, &type, buffer, &size));
        EXPECT_EQ(expected.type, type);
        EXPECT_EQ(expected.size, size);
        if (expected.type == INFO_DATATYPE_STRING) {
            EXPECT_EQ(expected.text, std::string(buffer));
        } else {
            uint32_t number = 0;
            std::memcpy(&number, buffer, sizeof number);
            EXPECT_EQ(expected.number, number);
        }
    }
}

TEST_P(TLInfoTest, NullBufferAsksForTypeAndSize)
{
    INFO_DATATYPE type = 0;
    size_t size = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, GetInfo(false, &type, nullptr, &size));
    EXPECT_EQ(GetParam().type, type);
    EXPECT_EQ(GetParam().size, size);
}

TEST_P(TLInfoTest, BufferOneByteShortIsTooSmallAndLeavesTypeAndSize)
{
    INFO_DATATYPE type = -7;
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    size_t size = GetParam().size - 1;
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, GetInfo(true, &type, buffer, &size));
    EXPECT_EQ(GetParam().size - 1, size);
    EXPECT_EQ(-7, type);
    EXPECT_EQ('x', buffer[0]);
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, ReadLastError(cti.Functions()).code);
}

INSTANTIATE_TEST_SUITE_P(EveryFixedCommand, TLInfoTest, ::testing::ValuesIn(TL_INFO_CASES));

using ProducerPathInfoTest = InitializedConsumerTest;

TEST_F(ProducerPathInfoTest, PathNameIsTheLoadedFileAndNameItsBaseName)
{
    const std::filesystem::path loaded = std::filesystem::canonical(GENTESK_CTI_PATH);
    char buffer[4096];
    INFO_DATATYPE type = 0;
    size_t size = sizeof buffer;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCGetInfo(TL_INFO_PATHNAME, &type, buffer, &size));
    EXPECT_EQ(INFO_DATATYPE_STRING, type);
    EXPECT_EQ(loaded.string(), std::string(buffer));
    EXPECT_EQ(loaded.string().size() + 1, size);

    size = sizeof buffer;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCGetInfo(TL_INFO_NAME, &type, buffer, &size));
    EXPECT_EQ("GenTesk3d.cti", std::string(buffer));
}

using UnknownTLInfoTest = InitializedConsumerTest;

TEST_F(UnknownTLInfoTest, CommandsWithoutAnswerAreNotImplemented)
{
    for (TL_INFO_CMD command : {11, 999, -1, 1000}) {
        SCOPED_TRACE(command);
        INFO_DATATYPE type = 0;
        char buffer[64];
        size_t size = sizeof buffer;
        EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, cti->GCGetInfo(command, &type, buffer, &size));
        EXPECT_EQ("GetTLInfo: unknown system info command requested",
                  ReadLastError(cti.Functions()).text);
    }
}

// ---- The system handle ----

class SystemHandleTest : public InitializedConsumerTest {
protected:
    void SetUp() override
    {
        InitializedConsumerTest::SetUp();
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
        ASSERT_NE(nullptr, system);
    }

    TL_HANDLE system = nullptr;
};

TEST_F(SystemHandleTest, SecondOpenIsInUse)
{
    TL_HANDLE second = nullptr;
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, cti->TLOpen(&second));
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ("Open/Register: requested object is already in use",
              ReadLastError(cti.Functions()).text);
}

TEST_F(SystemHandleTest, OpenWithoutOutputPointerIsInvalid)
{
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->TLOpen(nullptr));
    EXPECT_EQ("Open/Register: invalid output handle pointer.", ReadLastError(cti.Functions()).text);
}

TEST_F(SystemHandleTest, UnknownHandlesAreInvalidWithTheirMessages)
{
    const TL_HANDLE unknown = reinterpret_cast<TL_HANDLE>(0x10);
    INFO_DATATYPE type = 0;
    char buffer[64];
    size_t size = sizeof buffer;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, cti->TLGetInfo(unknown, TL_INFO_ID, &type, buffer, &size));
    EXPECT_EQ("Requested handle not found in the pool", ReadLastError(cti.Functions()).text);

    EXPECT_EQ(GC_ERR_INVALID_HANDLE, cti->TLClose(unknown));
    EXPECT_EQ("Close/Unregister: requested handle not found in the pool",
              ReadLastError(cti.Functions()).text);

    TL_HANDLE parent = nullptr;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, cti->IFGetParentTL(unknown, &parent));
    EXPECT_EQ("GetParent: requested handle not found in the pool",
              ReadLastError(cti.Functions()).text);
}

TEST_F(SystemHandleTest, SystemHasNoParent)
{
    TL_HANDLE parent = reinterpret_cast<TL_HANDLE>(0x1);
    EXPECT_EQ(GC_ERR_SUCCESS, cti->IFGetParentTL(system, &parent));
    EXPECT_EQ(nullptr, parent);
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->IFGetParentTL(system, nullptr));
    EXPECT_EQ("GetParent: invalid parent handle pointer", ReadLastError(cti.Functions()).text);
}

TEST_F(SystemHandleTest, CloseThenReopenGivesTheSameHandle)
{
    EXPECT_EQ(GC_ERR_SUCCESS, cti->TLClose(system));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, cti->TLClose(system));

    TL_HANDLE reopened = nullptr;
    EXPECT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&reopened));
    EXPECT_EQ(system, reopened);
}

TEST_F(SystemHandleTest, CloseLibClosesTheOpenSystem)
{
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCCloseLib());
    TL_HANDLE reopened = nullptr;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, cti->TLOpen(&reopened));

    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
    EXPECT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&reopened));  // not "already in use"
}

// ---- Leaving the process ----

using ProcessExitTest = ConsumerTest;

// Exit with the library initialized and a handle open: the teardown must
// leave everything in place and say nothing.
TEST_F(ProcessExitTest, ExitWithOpenLibraryEndsCleanlyAndQuietly)
{
    EXPECT_EXIT(
        {
            TL_HANDLE system = nullptr;
            const bool opened = cti->GCInitLib() == GC_ERR_SUCCESS &&
                                cti->TLOpen(&system) == GC_ERR_SUCCESS;
            std::exit(opened ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
