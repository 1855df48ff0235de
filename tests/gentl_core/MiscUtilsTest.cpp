// MiscUtilsTest.cpp: unique strings, port URLs and file names as the
// framework builds them.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestBranding.h"
#include "gentl_core/MiscUtils.h"
#include "support/AssertionCounter.h"

using namespace GenTLCore;

namespace {

// The test branding with custom unique strings.
class UtilsBranding : public TestSupport::TestBranding {
public:
    std::string custom_device, custom_stream;

    // clang-format off
    std::string CustomDeviceUniqueString(const std::string&, const std::string&, const std::string&) const override { return custom_device; }
    std::string CustomStreamUniqueString(const std::string& device, const std::string& stream) const override
    {
        return custom_stream.empty() ? TestBranding::CustomStreamUniqueString(device, stream) : custom_stream;
    }
    // clang-format on
};

// The branding holder owns the branding while a case runs.
struct MiscUtilsTest : ::testing::Test {
    MiscUtilsTest()
    {
        BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>(&branding));
    }
    ~MiscUtilsTest() override
    {
        BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>());
    }
    UtilsBranding& branding = *new UtilsBranding();
    TestSupport::AssertionCounter assertions;
};

}  // namespace

// Unique strings join prefix, kind and IDs, asking the branding at every call.
TEST_F(MiscUtilsTest, UniqueStringsPortURLsAndFileNamesAreBuiltAsConsumersReadThem)
{
    const std::string program = std::filesystem::canonical("/proc/self/exe").string();
    // Built as the table is: {made, expected}.
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {MakeSystemUniqueString(false), "TestPrefix_SYSTEM"},
        {MakeSystemUniqueString(true), program},  // the framework is linked into this program
        {GetProducerPath(), program},
        {MakeInterfaceUniqueString("Interface"), "TestPrefix_Interface"},
        {MakeDeviceUniqueString("D", "vendor", "model"), "TestPrefix_DEV_D"},
        {MakeRemoteDeviceUniqueString("D"), "TestPrefix_RMT_D"},
        {MakeBufferUniqueString("D", "0", 0xFFFFFFFFu), "TestPrefix_STM0_D_BUF4294967295"},
        {MakeEventUniqueString(EVENT_ERROR), "TestPrefix_EVTerr"}, {MakeEventUniqueString(EVENT_NEW_BUFFER), "TestPrefix_EVTnewbuf"},
        {MakeEventUniqueString(EVENT_FEATURE_INVALIDATE), "TestPrefix_EVTftrinv"}, {MakeEventUniqueString(EVENT_FEATURE_CHANGE), "TestPrefix_EVTftrchn"},
        {MakeEventUniqueString(EVENT_REMOTE_DEVICE), "TestPrefix_EVTrmtdev"}, {MakeEventUniqueString(EVENT_MODULE), "TestPrefix_EVTmod"},
        // Faults, reported: an unknown event type, an empty interface ID or device string.
        {MakeEventUniqueString(6), "TestPrefix_EVTunknown"}, {MakeEventUniqueString(-1), "TestPrefix_EVTunknown"},
        {MakeInterfaceUniqueString(""), "TestPrefix_"}, {MakeStreamUniqueString("", "0"), "TestPrefix_STM0_"},
        // Port URLs: both numbers lower-case hexadecimal, no prefix, no leading zeros.
        {MakePortURL("A.xml", std::string(255, 'x')), "local:A.xml;f0000000;ff"}, {MakePortURL("A.xml", ""), "local:A.xml;f0000000;0"},
        {MakePortURL("A.xml", std::string(138000, 'x')), "local:A.xml;f0000000;21b10"},
        {MakePortURL("A.xml", std::string("a\0b", 3)), "local:A.xml;f0000000;3"},
        // File names: the text after the last slash or backslash.
        {GetFileNameFromPath("C:\\dir\\file.cti"), "file.cti"}, {GetFileNameFromPath("file.cti"), "file.cti"},
        {GetFileNameFromPath("dir/"), ""}, {GetFileNameFromPath("a/b\\c.cti"), "c.cti"},
        {GetFileNameFromPath("a\\b/c.cti"), "c.cti"}, {GetFileNameFromPath(""), ""},
    };
    // clang-format on
    for (const auto& [made, expected] : rows) EXPECT_EQ(expected, made);
    EXPECT_EQ(4, assertions.Failures());
    branding.unique_id_prefix = "P";
    branding.custom_device = "Tesk3D_SN77";
    branding.custom_stream = "custom";
    EXPECT_EQ("Tesk3D_SN77", MakeDeviceUniqueString("D", "vendor", "model"));
    EXPECT_EQ("custom_BUF2", MakeBufferUniqueString("D", "0", 2));
    EXPECT_EQ("P_RMT_D", MakeRemoteDeviceUniqueString("D"));
}
