// The library as a consumer loads it: start and stop, the last error, the TL
// info and the system handle. The producer stays loaded for the process;
// every case closes the library at its end.
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

class ConsumerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(cti.IsComplete()) << cti.Error(); }
    void TearDown() override { cti->GCCloseLib(); }

    LastError Last() const { return ReadLastError(cti.Functions()); }
    // Whatever thread runs `body` reads its own last error right after it.
    template <class Body>
    LastError LastErrorOnNewThread(Body body)
    {
        LastError error;
        std::thread thread([&] {
            body();
            error = Last();
        });
        thread.join();
        return error;
    }

    CtiLoader cti{GENTESK_CTI_PATH};
};

// A second GCInitLib is refused; every malformed last-error query then fails
// and leaves the stored error as it was.
TEST_F(ConsumerTest, LastErrorIsReadWithItsSizeRules)
{
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, cti->GCInitLib());
    GC_ERROR code = 0;
    char text[69];
    std::memset(text, 'x', sizeof text);
    size_t size = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCGetLastError(&code, nullptr, &size));
    EXPECT_EQ(69u, size);
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, code);
    size = 68;
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, cti->GCGetLastError(&code, text, &size));
    EXPECT_EQ(68u, size);
    EXPECT_EQ(std::string(69, 'x'), std::string(text, sizeof text));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->GCGetLastError(nullptr, text, &size));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->GCGetLastError(&code, text, nullptr));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->GCGetLastError(&code, nullptr, nullptr));
    size = 69;  // exact fit, the terminator included
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCGetLastError(&code, text, &size));
    EXPECT_EQ(ALREADY_INITIALIZED, std::string(text));

    // Every thread has its own; a fresh one reads none.
    const LastError fresh = LastErrorOnNewThread([] {});
    EXPECT_EQ(GC_ERR_SUCCESS, fresh.result);
    EXPECT_EQ(0, fresh.code);
    EXPECT_EQ("No Error", fresh.text);
    EXPECT_EQ(9u, fresh.size);
    const LastError first = LastErrorOnNewThread([&] { cti->TLOpen(nullptr); });
    const LastError second =
        LastErrorOnNewThread([&] { cti->TLClose(reinterpret_cast<TL_HANDLE>(0x10)); });
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, first.code);
    EXPECT_EQ("Open/Register: invalid output handle pointer.", first.text);
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, second.code);
    EXPECT_EQ("Close/Unregister: requested handle not found in the pool", second.text);
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, Last().code);
    EXPECT_EQ(ALREADY_INITIALIZED, Last().text);
}

TEST_F(ConsumerTest, InitClearsTheLastErrorOfEveryThread)
{
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
    // One thread keeps its failure until the library is initialized again.
    bool reinitialized = false;
    LastError before;
    LastError after;
    std::thread failing([&] {
        cti->TLOpen(nullptr);
        before = Last();
        std::thread closer([&] {
            reinitialized = cti->GCCloseLib() == GC_ERR_SUCCESS &&
                            cti->GCCloseLib() == GC_ERR_NOT_INITIALIZED &&
                            cti->GCInitLib() == GC_ERR_SUCCESS;
        });
        closer.join();
        after = Last();
    });
    failing.join();
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, before.code);
    ASSERT_TRUE(reinitialized);
    EXPECT_EQ(0, after.code);
    EXPECT_EQ("No Error", after.text);
}

// GCGetInfo and TLGetInfo answer every TL info command the same way.
TEST_F(ConsumerTest, TLInfoAnswersValueTypeAndSize)
{
    const struct {
        TL_INFO_CMD command;
        INFO_DATATYPE type;
        std::string text;  // for strings
        uint32_t number;   // for numbers
        size_t size;
    } rows[] = {
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
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
    TL_HANDLE system = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
    for (const auto& row : rows) {
        for (bool through_system : {false, true}) {
            SCOPED_TRACE(std::to_string(row.command) + (through_system ? " TLGetInfo" : ""));
            const auto info = [&](INFO_DATATYPE* type, void* buffer, size_t* size) {
                return through_system ? cti->TLGetInfo(system, row.command, type, buffer, size)
                                      : cti->GCGetInfo(row.command, type, buffer, size);
            };
            INFO_DATATYPE type = -7;
            char buffer[64];
            std::memset(buffer, 'x', sizeof buffer);
            size_t size = row.size - 1;
            EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, info(&type, buffer, &size));
            EXPECT_EQ(row.size - 1, size);
            EXPECT_EQ(-7, type);
            EXPECT_EQ('x', buffer[0]);
            size = 0;
            ASSERT_EQ(GC_ERR_SUCCESS, info(&type, nullptr, &size));
            EXPECT_EQ(row.size, size);
            size = sizeof buffer;
            ASSERT_EQ(GC_ERR_SUCCESS, info(&type, buffer, &size));
            EXPECT_EQ(row.type, type);
            EXPECT_EQ(row.size, size);
            uint32_t number = 0;
            std::memcpy(&number, buffer, sizeof number);
            if (row.type == INFO_DATATYPE_STRING) {
                EXPECT_EQ(row.text, std::string(buffer));
            } else {
                EXPECT_EQ(row.number, number);
            }
        }
    }
    for (TL_INFO_CMD command : {11, 999, -1, 1000}) {
        SCOPED_TRACE(command);
        INFO_DATATYPE type = 0;
        char buffer[64];
        size_t size = sizeof buffer;
        EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, cti->GCGetInfo(command, &type, buffer, &size));
        EXPECT_EQ("GetTLInfo: unknown system info command requested", Last().text);
    }
    const std::filesystem::path loaded = std::filesystem::canonical(GENTESK_CTI_PATH);
    char path[4096];
    INFO_DATATYPE type = 0;
    size_t size = sizeof path;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCGetInfo(TL_INFO_PATHNAME, &type, path, &size));
    EXPECT_EQ(loaded.string(), std::string(path));
    EXPECT_EQ(loaded.string().size() + 1, size);
    size = sizeof path;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCGetInfo(TL_INFO_NAME, &type, path, &size));
    EXPECT_EQ("GenTesk3d.cti", std::string(path));
}

TEST_F(ConsumerTest, TheSystemHandleOpensOnceAndComesBackTheSame)
{
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
    TL_HANDLE system = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
    TL_HANDLE other = nullptr;
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, cti->TLOpen(&other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ("Open/Register: requested object is already in use", Last().text);
    EXPECT_EQ(GC_ERR_SUCCESS, cti->TLClose(system));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, cti->TLClose(system));
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&other));
    EXPECT_EQ(system, other);

    // GCCloseLib closes the open system: it opens again after GCInitLib.
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCCloseLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, cti->TLOpen(&other));
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
    EXPECT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&other));
}

// Exit with the library initialized and a handle open: the teardown must
// leave everything in place and say nothing.
TEST_F(ConsumerTest, ExitWithOpenLibraryEndsCleanlyAndQuietly)
{
    EXPECT_EXIT(
        {
            TL_HANDLE system = nullptr;
            const bool opened =
                cti->GCInitLib() == GC_ERR_SUCCESS && cti->TLOpen(&system) == GC_ERR_SUCCESS;
            std::exit(opened ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
