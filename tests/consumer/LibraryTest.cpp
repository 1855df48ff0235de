// The library as a consumer loads it: start and stop, the last error, the TL
// info, the system handle and the call log. The producer stays loaded for the
// process; every case closes the library at its end.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include "support/CtiLoader.h"

using TestSupport::LastError;

namespace {

// Read by the producer once, at its first load: every call writes TLCall lines.
const bool call_log_on =
    setenv("ZOTL_LOGGING", "1", 1) == 0 && setenv("ZOTL_LOG_LEVEL", "4", 1) == 0;

const std::string ALREADY_INITIALIZED =
    "InitLib: attempt to initialize library, that is already initialized.";

class ConsumerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(cti.IsComplete()) << cti.Error();
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
    }
    void TearDown() override { cti->GCCloseLib(); }

    LastError Last() const { return TestSupport::ReadLastError(cti.Functions()); }

    TestSupport::CtiLoader cti{GENTESK_CTI_PATH};
    TL_HANDLE system = nullptr;
};

// Every malformed last-error query fails and leaves the stored error as it
// was; a fresh thread has none.
TEST_F(ConsumerTest, LastErrorIsReadWithItsSizeRulesPerThread)
{
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, cti->GCInitLib());
    GC_ERROR code = 0;
    char text[69];
    std::memset(text, 'x', sizeof text);
    size_t size = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCGetLastError(&code, nullptr, &size));
    EXPECT_EQ(69u, size);
    size = 68;
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, cti->GCGetLastError(&code, text, &size));
    EXPECT_EQ(std::string(69, 'x'), std::string(text, sizeof text));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->GCGetLastError(nullptr, text, &size));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->GCGetLastError(&code, text, nullptr));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, cti->GCGetLastError(&code, nullptr, nullptr));
    size = 69;  // exact fit, the terminator included
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCGetLastError(&code, text, &size));
    EXPECT_EQ(ALREADY_INITIALIZED, std::string(text));
    LastError fresh;
    std::thread([&] { fresh = Last(); }).join();
    EXPECT_EQ("No Error", fresh.text);
    EXPECT_EQ(9u, fresh.size);
    EXPECT_EQ(ALREADY_INITIALIZED, Last().text);
}

// GCGetInfo and TLGetInfo answer every TL info command the same way.
TEST_F(ConsumerTest, TLInfoAnswersValueTypeAndSize)
{
    const std::pair<TL_INFO_CMD, std::string> strings[] = {
        {TL_INFO_ID, "Tesk3D_GenTL_1_6"},
        {TL_INFO_VENDOR, "dorvane VOR GmbH"},
        {TL_INFO_MODEL, "Tesk3D"},
        {TL_INFO_VERSION, "1.0.1"},
        {TL_INFO_TLTYPE, "Custom"},
        {TL_INFO_DISPLAYNAME, "Tesk3D GenTL Producer"},
        {TL_INFO_PATHNAME, std::filesystem::canonical(GENTESK_CTI_PATH).string()},
        {TL_INFO_NAME, "GenTesk3d.cti"},
        {3300, "gentl_core"}};  // the core's name
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
    for (const auto& [command, text] : strings) {
        for (bool through_system : {false, true}) {
            SCOPED_TRACE(text);
            char buffer[4096];
            std::memset(buffer, 'x', sizeof buffer);
            INFO_DATATYPE type = -7;
            size_t size = text.size();
            const auto info = [&] {
                return through_system ? cti->TLGetInfo(system, command, &type, buffer, &size)
                                      : cti->GCGetInfo(command, &type, buffer, &size);
            };
            EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, info());
            EXPECT_EQ('x', buffer[0]);
            size = sizeof buffer;
            ASSERT_EQ(GC_ERR_SUCCESS, info());
            EXPECT_EQ(INFO_DATATYPE_STRING, type);
            EXPECT_EQ(text.size() + 1, size);
            EXPECT_EQ(text, std::string(buffer));
        }
    }
    const std::pair<TL_INFO_CMD, uint32_t> numbers[] = {{TL_INFO_CHAR_ENCODING, 1},
                                                        {TL_INFO_GENTL_VER_MAJOR, 1},
                                                        {TL_INFO_GENTL_VER_MINOR, 6},
                                                        {3301, 0}};  // the core's revision
    for (const auto& [command, expected] : numbers) {
        uint32_t number = 7;
        INFO_DATATYPE type = 0;
        size_t size = sizeof number;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLGetInfo(system, command, &type, &number, &size));
        EXPECT_EQ(expected, number) << command;
        for (TL_INFO_CMD unknown : {999, 1000})
            EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, cti->GCGetInfo(unknown, &type, &number, &size));
    }
    EXPECT_EQ("GetTLInfo: unknown system info command requested", Last().text);
}

// Without a sensor the real producer lists exactly one interface, known by
// its ID, and no device; every call writes its call-log lines. The selector
// registers read 0 while nothing is listed and clamp to the last entry.
// Closing the system takes the interface along; it opens again under the
// same handle.
TEST_F(ConsumerTest, TheSystemListsOneInterfaceAndClosesItsSubtree)
{
    const auto write = [&](void* port, uint64_t address, uint32_t value) {
        size_t size = sizeof value;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->GCWritePort(port, address, &value, &size)) << address;
    };
    // A number register reads as text "" while it holds 0.
    const auto read = [&](void* port, uint64_t address, size_t size = 4) {
        char value[65] = {};
        EXPECT_EQ(GC_ERR_SUCCESS, cti->GCReadPort(port, address, value, &size)) << address;
        return std::string(value);
    };
    constexpr uint64_t UPDATE = 0x10000000, SELECTOR = 0x10000008, ID = 0x10000010;
    TL_HANDLE other = nullptr;
    IF_HANDLE iface = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, cti->TLOpen(&other));
    EXPECT_EQ("Open/Register: requested object is already in use", Last().text);
    EXPECT_EQ("", read(system, SELECTOR) + read(system, ID, 64));
    ASSERT_TRUE(call_log_on);
    testing::internal::CaptureStderr();
    for (bool8_t expected : {1, 0}) {
        bool8_t changed = 7;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLUpdateInterfaceList(system, &changed, 0));
        EXPECT_EQ(expected, changed);
    }
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, log.find("TLCall      Info    ")) << log;
    EXPECT_NE(std::string::npos, log.find("Called TLUpdateInterfaceList")) << log;
    EXPECT_NE(std::string::npos, log.find("...returned 0 [GC_ERR_SUCCESS]")) << log;
    for (uint32_t timeout : {0xFFFFFFFFu, 250u}) {  // infinite, then 250 ms
        write(system, 0x1000000C, timeout);
        write(system, UPDATE, 1);
    }
    write(system, SELECTOR, 7);
    EXPECT_EQ("Tesk3D_GenTL_Interface", read(system, SELECTOR) + read(system, ID, 64));
    EXPECT_EQ(GC_ERR_INVALID_ID, cti->TLOpenInterface(system, "Interface", &iface));
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpenInterface(system, "Tesk3D_GenTL_Interface", &iface));
    const std::pair<INTERFACE_INFO_CMD, std::string> infos[] = {
        {INTERFACE_INFO_ID, "Tesk3D_GenTL_Interface"},
        {INTERFACE_INFO_DISPLAYNAME, "Tesk3D GenTL Interface (Tesk3D_GenTL_Interface)"},
        {INTERFACE_INFO_TLTYPE, "Custom"},
        {3, ""},  // unknown, as the next
        {1000, ""}};
    char text[128] = {};
    INFO_DATATYPE type = 0;
    for (const auto& [command, expected] : infos) {
        SCOPED_TRACE(command);
        const GC_ERROR result = expected.empty() ? GC_ERR_NOT_IMPLEMENTED : GC_ERR_SUCCESS;
        size_t size = sizeof text;
        text[0] = '\0';
        EXPECT_EQ(result, cti->TLGetInterfaceInfo(system, "Tesk3D_GenTL_Interface", command, &type,
                                                  text, &size));
        EXPECT_EQ(result, cti->IFGetInfo(iface, command, &type, text, &size));
        EXPECT_EQ(expected, std::string(text));
    }
    EXPECT_EQ("GetInterfaceInfo: unknown interface info command requested", Last().text);
    size_t size = sizeof text;
    EXPECT_EQ(GC_ERR_INVALID_ID,
              cti->TLGetInterfaceInfo(system, "Interface", INTERFACE_INFO_ID, &type, text, &size));
    EXPECT_EQ(GC_ERR_INVALID_INDEX, cti->TLGetInterfaceID(system, 1, text, &size));
    EXPECT_EQ(GC_ERR_INVALID_ID,
              cti->IFGetDeviceInfo(iface, "Tesk3D_1", DEVICE_INFO_ID, &type, text, &size));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
              cti->IFGetDeviceInfo(iface, nullptr, DEVICE_INFO_ID, &type, text, &size));
    EXPECT_EQ("GetDeviceInfo: invalid device ID pointer", Last().text);
    write(iface, SELECTOR, 7);
    EXPECT_EQ("", read(iface, SELECTOR) + read(iface, ID, 64) + read(iface, 0x10000194));
    EXPECT_EQ(GC_ERR_SUCCESS, cti->TLClose(system));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, cti->IFClose(iface));
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&other));
    EXPECT_EQ(system, other);
}

}  // namespace
