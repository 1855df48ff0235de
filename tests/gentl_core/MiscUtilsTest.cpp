// MiscUtilsTest.cpp: unique strings, port URLs, file names and alternative
// IDs as the framework builds and splits them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestBranding.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/MiscUtils.h"
#include "support/AssertionCounter.h"

using namespace GenTLCore;

namespace {

// The test branding with custom unique strings and '#' as the separator.
class UtilsBranding : public TestSupport::TestBranding {
public:
    std::string custom_device;
    std::string custom_stream;
    char separator = '#';

    std::string CustomDeviceUniqueString(const std::string&, const std::string&,
                                         const std::string&) const override
    {
        return custom_device;
    }
    std::string CustomStreamUniqueString(const std::string& device,
                                         const std::string& stream) const override
    {
        return custom_stream.empty() ? TestBranding::CustomStreamUniqueString(device, stream)
                                     : custom_stream;
    }
    char AlternativeIDSeparator() const override { return separator; }
};

class MiscUtilsTest : public ::testing::Test {
protected:
    MiscUtilsTest()
    {
        BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>(&branding));
    }
    ~MiscUtilsTest() override
    {
        BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>());
    }

    UtilsBranding& branding = *new UtilsBranding();  // owned by the branding holder
    TestSupport::AssertionCounter assertions;
};

}  // namespace

TEST_F(MiscUtilsTest, UniqueStringsJoinPrefixKindAndIDsAskingTheBrandingAtEveryCall)
{
    EXPECT_EQ("TestPrefix_SYSTEM", MakeSystemUniqueString(false));
    EXPECT_EQ("TestPrefix_Interface", MakeInterfaceUniqueString("Interface"));
    EXPECT_EQ("TestPrefix_DEV_D", MakeDeviceUniqueString("D", "vendor", "model"));
    EXPECT_EQ("TestPrefix_RMT_D", MakeRemoteDeviceUniqueString("D"));
    EXPECT_EQ("TestPrefix_STM0_D_BUF4294967295", MakeBufferUniqueString("D", "0", 0xFFFFFFFFu));
    const std::pair<EVENT_TYPE, const char*> events[] = {{EVENT_ERROR, "err"},
                                                         {EVENT_NEW_BUFFER, "newbuf"},
                                                         {EVENT_FEATURE_INVALIDATE, "ftrinv"},
                                                         {EVENT_FEATURE_CHANGE, "ftrchn"},
                                                         {EVENT_REMOTE_DEVICE, "rmtdev"},
                                                         {EVENT_MODULE, "mod"}};
    for (const auto& [type, word] : events)
        EXPECT_EQ(std::string("TestPrefix_EVT") + word, MakeEventUniqueString(type));
    EXPECT_EQ(0, assertions.Failures());
    for (const EVENT_TYPE unknown : {6, 9, -1})
        EXPECT_EQ("TestPrefix_EVTunknown", MakeEventUniqueString(unknown));
    EXPECT_EQ(3, assertions.Failures());
    branding.unique_id_prefix = "P";
    branding.custom_device = "Tesk3D_SN77";
    branding.custom_stream = "custom";
    EXPECT_EQ("Tesk3D_SN77", MakeDeviceUniqueString("D", "vendor", "model"));
    EXPECT_EQ("custom_BUF2", MakeBufferUniqueString("D", "0", 2));
    EXPECT_EQ("P_RMT_D", MakeRemoteDeviceUniqueString("D"));
    // The framework is linked into this test program.
    const std::string program = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(program, MakeSystemUniqueString(true));
    EXPECT_EQ(program, GetProducerPath());
    // An empty interface ID or device string is a fault, reported.
    EXPECT_EQ("P_", MakeInterfaceUniqueString(""));
    branding.custom_stream = "";
    EXPECT_EQ("P_STM0_", MakeStreamUniqueString("", "0"));
    EXPECT_EQ(5, assertions.Failures());
}

// Port URLs: both numbers lower-case hexadecimal, no prefix, no leading
// zeros. File names: the text after the last slash or backslash.
TEST(MiscUtilsPathTest, PortURLsGiveFileAddressAndLengthAndFileNamesFollowTheLastSeparator)
{
    const std::pair<std::string, const char*> urls[] = {
        {std::string(255, 'x'), "local:A.xml;f0000000;ff"},
        {"", "local:A.xml;f0000000;0"},
        {std::string(16, 'x'), "local:A.xml;f0000000;10"},
        {std::string(138000, 'x'), "local:A.xml;f0000000;21b10"},
        {std::string("a\0b", 3), "local:A.xml;f0000000;3"},
    };
    for (const auto& [document, url] : urls) EXPECT_EQ(url, MakePortURL("A.xml", document));
    const std::pair<const char*, const char*> paths[] = {
        {"C:\\dir\\file.cti", "file.cti"},
        {"file.cti", "file.cti"},
        {"dir/", ""},
        {"/usr/lib/GenTesk3d.cti", "GenTesk3d.cti"},
        {"a/b\\c.cti", "c.cti"},
        {"a\\b/c.cti", "c.cti"},
        {"", ""},
    };
    for (const auto& [path, file_name] : paths)
        EXPECT_EQ(file_name, GetFileNameFromPath(path)) << path;
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
        EXPECT_EQ(std::make_pair(std::string(row.key), std::string(row.value)),
                  std::make_pair(key, value))
            << row.id;
    }
    branding.separator = '$';
    EXPECT_TRUE(IsAlternativeID("#SN#77"));
    EXPECT_FALSE(IsAlternativeID("$SN$77"));
}
