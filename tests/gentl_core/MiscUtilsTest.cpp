// MiscUtilsTest.cpp: unique strings, port URLs, file names and alternative
// IDs as the framework builds and splits them.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "TestBranding.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/MiscUtils.h"
#include "support/AssertionCounter.h"

using namespace GenTLCore;

namespace {

// The test branding with custom unique strings and '#' as the separator.
class UtilsBranding : public TestSupport::TestBranding {
public:
    std::string custom_device, custom_stream;
    char separator = '#';

    std::string CustomDeviceUniqueString(const std::string&, const std::string&, const std::string&) const override
    {
        return custom_device;
    }
    std::string CustomStreamUniqueString(const std::string& device, const std::string& stream) const override
    {
        return custom_stream.empty() ? TestBranding::CustomStreamUniqueString(device, stream) : custom_stream;
    }
    char AlternativeIDSeparator() const override { return separator; }
};

class MiscUtilsTest : public ::testing::Test {
protected:
    MiscUtilsTest() { BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>(&branding)); }
    ~MiscUtilsTest() override { BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>()); }

    UtilsBranding& branding = *new UtilsBranding();  // owned by the branding holder
    TestSupport::AssertionCounter assertions;
};

}  // namespace

// Unique strings join prefix, kind and IDs, asking the branding at every call;
// an unknown event type, an empty interface ID or device string is a fault, reported.
TEST_F(MiscUtilsTest, UniqueStringsPortURLsAndFileNamesAreBuiltAsConsumersReadThem)
{
    const std::string program = std::filesystem::canonical("/proc/self/exe").string();
    // clang-format off
    const struct { std::function<std::string()> make; std::string expected; int faults = 0; } rows[] = {
        {[] { return MakeSystemUniqueString(false); }, "TestPrefix_SYSTEM"},
        {[] { return MakeSystemUniqueString(true); }, program},  // the framework is linked into this program
        {[] { return GetProducerPath(); }, program},
        {[] { return MakeInterfaceUniqueString("Interface"); }, "TestPrefix_Interface"},
        {[] { return MakeDeviceUniqueString("D", "vendor", "model"); }, "TestPrefix_DEV_D"},
        {[] { return MakeRemoteDeviceUniqueString("D"); }, "TestPrefix_RMT_D"},
        {[] { return MakeBufferUniqueString("D", "0", 0xFFFFFFFFu); }, "TestPrefix_STM0_D_BUF4294967295"},
        {[] { return MakeEventUniqueString(EVENT_ERROR); }, "TestPrefix_EVTerr"},
        {[] { return MakeEventUniqueString(EVENT_NEW_BUFFER); }, "TestPrefix_EVTnewbuf"},
        {[] { return MakeEventUniqueString(EVENT_FEATURE_INVALIDATE); }, "TestPrefix_EVTftrinv"},
        {[] { return MakeEventUniqueString(EVENT_FEATURE_CHANGE); }, "TestPrefix_EVTftrchn"},
        {[] { return MakeEventUniqueString(EVENT_REMOTE_DEVICE); }, "TestPrefix_EVTrmtdev"},
        {[] { return MakeEventUniqueString(EVENT_MODULE); }, "TestPrefix_EVTmod"},
        {[] { return MakeEventUniqueString(6); }, "TestPrefix_EVTunknown", 1},
        {[] { return MakeEventUniqueString(-1); }, "TestPrefix_EVTunknown", 1},
        {[] { return MakeInterfaceUniqueString(""); }, "TestPrefix_", 1},
        {[] { return MakeStreamUniqueString("", "0"); }, "TestPrefix_STM0_", 1},
        // Port URLs: both numbers lower-case hexadecimal, no prefix, no leading zeros.
        {[] { return MakePortURL("A.xml", std::string(255, 'x')); }, "local:A.xml;f0000000;ff"},
        {[] { return MakePortURL("A.xml", ""); }, "local:A.xml;f0000000;0"},
        {[] { return MakePortURL("A.xml", std::string(138000, 'x')); }, "local:A.xml;f0000000;21b10"},
        {[] { return MakePortURL("A.xml", std::string("a\0b", 3)); }, "local:A.xml;f0000000;3"},
        // File names: the text after the last slash or backslash.
        {[] { return GetFileNameFromPath("C:\\dir\\file.cti"); }, "file.cti"},
        {[] { return GetFileNameFromPath("file.cti"); }, "file.cti"},
        {[] { return GetFileNameFromPath("dir/"); }, ""},
        {[] { return GetFileNameFromPath("a/b\\c.cti"); }, "c.cti"},
        {[] { return GetFileNameFromPath("a\\b/c.cti"); }, "c.cti"},
        {[] { return GetFileNameFromPath(""); }, ""},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        const int before = assertions.Failures();
        EXPECT_EQ(row.expected, row.make());
        EXPECT_EQ(before + row.faults, assertions.Failures());
    }
    branding.unique_id_prefix = "P";
    branding.custom_device = "Tesk3D_SN77";
    branding.custom_stream = "custom";
    EXPECT_EQ("Tesk3D_SN77", MakeDeviceUniqueString("D", "vendor", "model"));
    EXPECT_EQ("custom_BUF2", MakeBufferUniqueString("D", "0", 2));
    EXPECT_EQ("P_RMT_D", MakeRemoteDeviceUniqueString("D"));
}

// Alternative IDs: separator, key, separator, value. The separator is asked
// once and kept.
TEST_F(MiscUtilsTest, AlternativeIDsAreRecognisedAndSplitAtTheSeparatorAskedOnce)
{
    // clang-format off
    const struct { const char* id; bool is_alternative; const char* key; const char* value; } rows[] = {
        {"#SN#77", true, "SN", "77"}, {"#ip#127.0.0.1", true, "ip", "127.0.0.1"}, {"#SN", true, "", ""},
        {"#", true, "", ""},          {"", false, "", ""},        {"Tesk3D_SN77", false, "", ""},
        {"SN#77", false, "", ""},     {"##77", true, "", "77"},   {"#SN#", true, "SN", ""},
        {"#k#a#b", true, "k", "a#b"},
    };
    // clang-format on
    for (const auto& row : rows) {
        std::string key = "stale key", value = "stale value";
        ParseAlternativeID(row.id, key, value);
        EXPECT_EQ(row.is_alternative, IsAlternativeID(row.id)) << row.id;
        EXPECT_EQ(std::string(row.key) + "=" + row.value, key + "=" + value) << row.id;
    }
    branding.separator = '$';
    EXPECT_TRUE(IsAlternativeID("#SN#77"));
    EXPECT_FALSE(IsAlternativeID("$SN$77"));
}
