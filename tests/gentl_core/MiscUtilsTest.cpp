#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gentl_core/GenTLBranding.h"
#include "gentl_core/MiscUtils.h"
#include "platform/Assert.h"

using namespace GenTLCore;

namespace {

// The answers the sensor family's branding gives to these builders.
class TestBranding : public DefaultBranding {
public:
    std::string UniqueIDPrefix() const override { return "Tesk3D_GenTL"; }
    std::string CustomDeviceUniqueString(const std::string& device_id, const std::string&,
                                         const std::string&) const override
    {
        return device_id;
    }
    char AlternativeIDSeparator() const override { return '#'; }
};

// A branding that leaves the framework's own device and stream strings, or
// replaces the stream string.
class PlainBranding : public DefaultBranding {
public:
    explicit PlainBranding(std::string custom_stream = "")
        : custom_stream(std::move(custom_stream))
    {
    }
    std::string UniqueIDPrefix() const override { return "P"; }
    std::string CustomStreamUniqueString(const std::string&, const std::string&) const override
    {
        return custom_stream;
    }
    char AlternativeIDSeparator() const override { return '$'; }

private:
    const std::string custom_stream;
};

std::vector<std::string> failed_assertions;

void RecordAssertion(const char* expression, const char*, int)
{
    failed_assertions.push_back(expression);
}

void Configure(GenTLBranding* branding)
{
    BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>(branding));
}

// Runs with the sensor family's answers and records failed assertions.
class MiscUtilsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        failed_assertions.clear();
        previous_hook = Platform::SetAssertionHookForTest(&RecordAssertion);
        Configure(new TestBranding());
    }
    void TearDown() override
    {
        BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>());
        Platform::SetAssertionHookForTest(previous_hook);
    }

    Platform::AssertionHook previous_hook = nullptr;
};

}  // namespace

TEST_F(MiscUtilsTest, UniqueStringsJoinPrefixKindAndIDs)
{
    EXPECT_EQ("Tesk3D_GenTL_SYSTEM", MakeSystemUniqueString(false));
    EXPECT_EQ("Tesk3D_GenTL_Interface", MakeInterfaceUniqueString("Interface"));
    EXPECT_EQ("Tesk3D_SN77", MakeDeviceUniqueString("Tesk3D_SN77", "vendor", "model"));
    EXPECT_EQ("Tesk3D_GenTL_RMT_D", MakeRemoteDeviceUniqueString("D"));
    EXPECT_EQ("Tesk3D_GenTL_STM0_D", MakeStreamUniqueString("D", "0"));
    EXPECT_EQ("Tesk3D_GenTL_STM0_D_BUF1", MakeBufferUniqueString("D", "0", 1));
    EXPECT_EQ("Tesk3D_GenTL_STM0_D_BUF4294967295", MakeBufferUniqueString("D", "0", 0xFFFFFFFFu));
    EXPECT_TRUE(failed_assertions.empty());
}

TEST_F(MiscUtilsTest, SystemUniqueStringWithPathIsTheModuleHoldingTheProducer)
{
    // The framework is linked into this test program.
    const std::string expected = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(expected, MakeSystemUniqueString(true));
    EXPECT_EQ(expected, GetProducerPath());
}

TEST_F(MiscUtilsTest, EmptyInterfaceIDOrDeviceStringAsserts)
{
    EXPECT_EQ("Tesk3D_GenTL_", MakeInterfaceUniqueString(""));
    EXPECT_EQ("Tesk3D_GenTL_STM0_", MakeStreamUniqueString("", "0"));
    EXPECT_EQ((std::vector<std::string>{"!unique_str.empty ()", "!dev_unique_str.empty ()"}),
              failed_assertions);
}

TEST_F(MiscUtilsTest, BrandingIsAskedAtEveryCallForPrefixAndCustomStrings)
{
    Configure(new PlainBranding());
    EXPECT_EQ("P_RMT_D", MakeRemoteDeviceUniqueString("D"));
    EXPECT_EQ("P_DEV_D", MakeDeviceUniqueString("D", "vendor", "model"));
    Configure(new PlainBranding("custom"));
    EXPECT_EQ("custom", MakeStreamUniqueString("D", "0"));
    EXPECT_EQ("custom_BUF2", MakeBufferUniqueString("D", "0", 2));
}

// Event unique strings: one word per GenTL event type.
struct EventCase {
    EVENT_TYPE type;
    const char* unique_string;
    bool asserts;
};

class EventUniqueStringTest : public MiscUtilsTest,
                              public ::testing::WithParamInterface<EventCase> {};

TEST_P(EventUniqueStringTest, NamesTheEventType)
{
    EXPECT_EQ(GetParam().unique_string, MakeEventUniqueString(GetParam().type));
    const std::vector<std::string> expected_assertions =
        GetParam().asserts ? std::vector<std::string>{"Unknown event type"}
                           : std::vector<std::string>{};
    EXPECT_EQ(expected_assertions, failed_assertions);
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, EventUniqueStringTest,
    ::testing::Values(EventCase{EVENT_ERROR, "Tesk3D_GenTL_EVTerr", false},
                      EventCase{EVENT_NEW_BUFFER, "Tesk3D_GenTL_EVTnewbuf", false},
                      EventCase{EVENT_FEATURE_INVALIDATE, "Tesk3D_GenTL_EVTftrinv", false},
                      EventCase{EVENT_FEATURE_CHANGE, "Tesk3D_GenTL_EVTftrchn", false},
                      EventCase{EVENT_REMOTE_DEVICE, "Tesk3D_GenTL_EVTrmtdev", false},
                      EventCase{EVENT_MODULE, "Tesk3D_GenTL_EVTmod", false},
                      EventCase{6, "Tesk3D_GenTL_EVTunknown", true},
                      EventCase{9, "Tesk3D_GenTL_EVTunknown", true},
                      EventCase{-1, "Tesk3D_GenTL_EVTunknown", true}));

// Port URLs: both numbers lower-case hexadecimal, no prefix, no leading zeros.
struct URLCase {
    size_t document_bytes;
    const char* url;
};

class PortURLTest : public ::testing::TestWithParam<URLCase> {};

TEST_P(PortURLTest, GivesFileAddressAndLength)
{
    EXPECT_EQ(GetParam().url, MakePortURL("A.xml", std::string(GetParam().document_bytes, 'x')));
}

INSTANTIATE_TEST_SUITE_P(Lengths, PortURLTest,
                         ::testing::Values(URLCase{255, "local:A.xml;f0000000;ff"},
                                           URLCase{0, "local:A.xml;f0000000;0"},
                                           URLCase{16, "local:A.xml;f0000000;10"},
                                           URLCase{138000, "local:A.xml;f0000000;21b10"}));

TEST(PortURLNulTest, CountsEmbeddedNulBytes)
{
    EXPECT_EQ("local:A.xml;f0000000;3", MakePortURL("A.xml", std::string("a\0b", 3)));
}

// File names: the text after the last slash or backslash.
struct PathCase {
    const char* path;
    const char* file_name;
};

class FileNameFromPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(FileNameFromPathTest, TakesTheTextAfterTheLastSeparator)
{
    EXPECT_EQ(GetParam().file_name, GetFileNameFromPath(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(Paths, FileNameFromPathTest,
                         ::testing::Values(PathCase{"C:\\dir\\file.cti", "file.cti"},
                                           PathCase{"file.cti", "file.cti"},
                                           PathCase{"dir/", ""},
                                           PathCase{"/usr/lib/GenTesk3d.cti", "GenTesk3d.cti"},
                                           PathCase{"a/b\\c.cti", "c.cti"},
                                           PathCase{"a\\b/c.cti", "c.cti"},
                                           PathCase{"", ""}));

// Alternative IDs: separator, key, separator, value.
struct AlternativeIDCase {
    const char* id;
    bool is_alternative;
    const char* key;
    const char* value;
};

class AlternativeIDTest : public MiscUtilsTest,
                          public ::testing::WithParamInterface<AlternativeIDCase> {};

TEST_P(AlternativeIDTest, RecognisesAndSplits)
{
    EXPECT_EQ(GetParam().is_alternative, IsAlternativeID(GetParam().id));
    std::string key = "stale key";
    std::string value = "stale value";
    ParseAlternativeID(GetParam().id, key, value);
    EXPECT_EQ(GetParam().key, key);
    EXPECT_EQ(GetParam().value, value);
}

INSTANTIATE_TEST_SUITE_P(
    IDs, AlternativeIDTest,
    ::testing::Values(AlternativeIDCase{"#SN#77", true, "SN", "77"},
                      AlternativeIDCase{"#ip#127.0.0.1", true, "ip", "127.0.0.1"},
                      AlternativeIDCase{"#SN", true, "", ""},
                      AlternativeIDCase{"#", true, "", ""},
                      AlternativeIDCase{"", false, "", ""},
                      AlternativeIDCase{"Tesk3D_SN77", false, "", ""},
                      AlternativeIDCase{"SN#77", false, "", ""},
                      AlternativeIDCase{"##77", true, "", "77"},
                      AlternativeIDCase{"#SN#", true, "SN", ""},
                      AlternativeIDCase{"#k#a#b", true, "k", "a#b"}));

TEST_F(MiscUtilsTest, SeparatorIsAskedOnceAndKept)
{
    EXPECT_TRUE(IsAlternativeID("#SN#77"));
    Configure(new PlainBranding());
    EXPECT_TRUE(IsAlternativeID("#SN#77"));
    EXPECT_FALSE(IsAlternativeID("$SN$77"));
}
