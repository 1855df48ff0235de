#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gentl_core/GenTLBranding.h"
#include "gentl_producers/GenTesk3d/GenTLBrandingTesk.h"

using GenTLCore::GenTLBranding;
using GenTLCore::ZoTL::GenTLBrandingTesk;

namespace {

// A scratch directory of its own, removed at the end.
class ScratchDirectory {
public:
    ScratchDirectory()
        : path(std::filesystem::temp_directory_path() /
               ("brand_test_" + std::to_string(std::random_device{}())))
    {
        std::filesystem::create_directories(path);
    }
    ~ScratchDirectory() { std::filesystem::remove_all(path); }

    std::filesystem::path Write(const std::string& name, const std::string& bytes) const
    {
        const std::filesystem::path file = path / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

    const std::filesystem::path path;
};

bool ToolExists(const std::string& tool)
{
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char digits[3];
    for (uint8_t byte : bytes) {
        std::snprintf(digits, sizeof(digits), "%02x", byte);
        text += digits;
    }
    return text;
}

const GenTLBrandingTesk branding;

}  // namespace

TEST(GenTLBrandingTeskTest, NamesTheTransportLayer)
{
    EXPECT_EQ("Custom", branding.TLType());
    EXPECT_EQ("dorvane VOR GmbH", branding.VendorName());
    EXPECT_EQ("Tesk3D", branding.ModelName());
    EXPECT_EQ("1.0.1", branding.Version());
    EXPECT_EQ("Tesk3D_GenTL", branding.UniqueIDPrefix());
    EXPECT_EQ("Tesk3D GenTL Producer", branding.DisplayName());
    EXPECT_EQ("ZoTL.lock", branding.GlobalLockName());
    EXPECT_EQ("ZOTL_LOGGING", branding.LoggingEnvVarName());
    EXPECT_EQ("ZOTL_LOG_LEVEL", branding.LogLevelEnvVarName());
    EXPECT_EQ("dorvane_KirnTL_Remotedevice_", branding.RemoteDeviceDescriptionFilePrefix());
    EXPECT_EQ(0u, branding.RemoteDeviceDescriptionFileName().find(
                      branding.RemoteDeviceDescriptionFilePrefix()));
}

TEST(GenTLBrandingTeskTest, AnswersItsNumbersSwitchesAndCustomStrings)
{
    EXPECT_EQ(1u, branding.ReservedNumber1());
    EXPECT_EQ(1u, branding.ReservedNumber2());
    EXPECT_TRUE(branding.MultiPartAware());
    EXPECT_FALSE(branding.CompositeBufferAware());
    EXPECT_TRUE(branding.AcquisitionEngineControlFeatures());
    EXPECT_FALSE(branding.EventsEngineControlFeatures());
    EXPECT_EQ(0u, branding.InterfaceTLVersionMajor());
    EXPECT_EQ(0u, branding.InterfaceTLVersionMinor());
    EXPECT_FALSE(branding.RelaxedPointerChecks());
    EXPECT_FALSE(branding.CloseLibraryOnUnload());
    EXPECT_FALSE(branding.BufferChangesDuringAcquisition());
    EXPECT_FALSE(branding.StopWithoutStartAllowed());
    EXPECT_EQ(0u, branding.DefaultAuxBufferCount());
    EXPECT_FALSE(branding.WatermarkBuffers());
    EXPECT_EQ(1u, branding.DescriptionFileVersionMajor());
    EXPECT_EQ(0u, branding.DescriptionFileVersionMinor());
    EXPECT_EQ(0u, branding.DescriptionFileVersionSubminor());
    EXPECT_EQ(0xFFFFFFFFFFFFFFFFull, branding.DefaultDiscoveryTimeout());
    // the device ID itself is the device's unique string
    EXPECT_EQ("Tesk3D_SN 77#", branding.CustomDeviceUniqueString("Tesk3D_SN 77#", "v", "m"));
    EXPECT_EQ("", branding.CustomDeviceUniqueString("", "v", "m"));
    EXPECT_EQ("", branding.CustomStreamUniqueString("Tesk3D_SN77", "0"));
    EXPECT_EQ("", branding.CustomInterfaceDisplayName("Interface", "All adapters"));
    EXPECT_EQ("", branding.CustomDeviceDisplayName("Tesk3D_SN77", "dorvane VOR GmbH", "Tesk3D"));
    EXPECT_EQ('#', branding.AlternativeIDSeparator());
    EXPECT_EQ(std::vector<std::string>{"ip"}, branding.AlternativeDeviceIDKeys(true));
    EXPECT_TRUE(branding.AlternativeDeviceIDKeys(false).empty());
    EXPECT_TRUE(branding.AlternativeInterfaceIDKeys().empty());
    EXPECT_TRUE(branding.AlternativeStreamIDKeys().empty());
}

// One row per module document.
struct DocumentCase {
    const char* module;
    std::string (GenTLBranding::*text)() const;
    std::string (GenTLBranding::*file_name)() const;
    std::vector<uint8_t> (GenTLBranding::*sha1)() const;
    const char* expected_file_name;
};

class ModuleDocumentTest : public ::testing::TestWithParam<DocumentCase> {
protected:
    std::string Text() const { return (branding.*GetParam().text)(); }
    std::string FileName() const { return (branding.*GetParam().file_name)(); }
    std::vector<uint8_t> Digest() const { return (branding.*GetParam().sha1)(); }
};

TEST_P(ModuleDocumentTest, IsNamedPlainXmlWithTheRegisterDescriptionRoot)
{
    EXPECT_EQ(GetParam().expected_file_name, FileName());
    const std::string text = Text();
    // No declaration, no byte-order mark: the root element comes first.
    EXPECT_EQ(0u, text.find("<RegisterDescription"));
    EXPECT_EQ(std::string::npos, text.find('\0'));
    EXPECT_EQ(std::string::npos, text.find('\r'));
    EXPECT_EQ('\n', text.back());
    for (char c : text)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80u);
    EXPECT_NE(std::string::npos, text.find("ModelName=\"KirnTL\""));
    EXPECT_NE(std::string::npos, text.find("VendorName=\"dorvane\""));
    EXPECT_NE(std::string::npos, text.find("<Category Name=\"Root\""));
}

// The digest is checked against another SHA-1 implementation.
TEST_P(ModuleDocumentTest, DigestIsTheSHA1OfTheServedBytes)
{
    if (!ToolExists("sha1sum"))
        GTEST_SKIP() << "sha1sum not installed";
    const ScratchDirectory scratch;
    const std::filesystem::path document = scratch.Write(FileName(), Text());
    const std::filesystem::path sum = scratch.path / "sum";
    const std::string command = "sha1sum '" + document.string() + "' > '" + sum.string() + "'";
    ASSERT_EQ(0, std::system(command.c_str()));
    const std::vector<uint8_t> digest = Digest();
    ASSERT_EQ(20u, digest.size());
    EXPECT_EQ(ReadFile(sum).substr(0, 40), Hex(digest));
}

TEST_P(ModuleDocumentTest, ValidatesAgainstTheGenApiSchema)
{
    const std::filesystem::path schema = std::filesystem::path(GENTESK_SOURCE_DIR) / ".." /
                                         "shared" / "genapi" / "GenApiSchema_Version_1_1.xsd";
    if (!ToolExists("xmllint") || !std::filesystem::exists(schema))
        GTEST_SKIP() << "xmllint or the GenApi schema is missing";
    const ScratchDirectory scratch;
    const std::filesystem::path document = scratch.Write(FileName(), Text());
    const std::string command = "xmllint --noout --schema '" + schema.string() + "' '" +
                                document.string() + "'";
    EXPECT_EQ(0, std::system(command.c_str())) << command;
}

INSTANTIATE_TEST_SUITE_P(
    EveryModule, ModuleDocumentTest,
    ::testing::Values(
        DocumentCase{"System", &GenTLBranding::SystemDescription,
                     &GenTLBranding::SystemDescriptionFileName,
                     &GenTLBranding::SystemDescriptionSHA1,
                     "dorvane_KirnTL_System_1_0_0_260505134213.xml"},
        DocumentCase{"Interface", &GenTLBranding::InterfaceDescription,
                     &GenTLBranding::InterfaceDescriptionFileName,
                     &GenTLBranding::InterfaceDescriptionSHA1,
                     "dorvane_KirnTL_Interface_1_0_0_260505134213.xml"},
        DocumentCase{"LocalDevice", &GenTLBranding::LocalDeviceDescription,
                     &GenTLBranding::LocalDeviceDescriptionFileName,
                     &GenTLBranding::LocalDeviceDescriptionSHA1,
                     "dorvane_KirnTL_Localdevice_1_0_0_260505134213.xml"},
        DocumentCase{"DataStream", &GenTLBranding::DataStreamDescription,
                     &GenTLBranding::DataStreamDescriptionFileName,
                     &GenTLBranding::DataStreamDescriptionSHA1,
                     "dorvane_KirnTL_Datastream_1_0_0_260505134213.xml"},
        DocumentCase{"RemoteDevice", &GenTLBranding::RemoteDeviceDescription,
                     &GenTLBranding::RemoteDeviceDescriptionFileName,
                     &GenTLBranding::RemoteDeviceDescriptionSHA1,
                     "dorvane_KirnTL_Remotedevice_1_0_0_260505134213.xml"}),
    [](const ::testing::TestParamInfo<DocumentCase>& info) { return info.param.module; });

TEST(ModuleDocumentSetTest, DocumentsAndDigestsDifferAndShareOneProductGuid)
{
    const std::vector<std::string> texts = {
        branding.SystemDescription(), branding.InterfaceDescription(),
        branding.LocalDeviceDescription(), branding.DataStreamDescription(),
        branding.RemoteDeviceDescription()};
    const std::set<std::vector<uint8_t>> digests = {
        branding.SystemDescriptionSHA1(), branding.InterfaceDescriptionSHA1(),
        branding.LocalDeviceDescriptionSHA1(), branding.DataStreamDescriptionSHA1(),
        branding.RemoteDeviceDescriptionSHA1()};
    EXPECT_EQ(5u, std::set<std::string>(texts.begin(), texts.end()).size());
    EXPECT_EQ(5u, digests.size());
    std::set<std::string> product_guids;
    std::set<std::string> version_guids;
    for (const std::string& text : texts) {
        const size_t product = text.find("ProductGuid=\"");
        const size_t version = text.find("VersionGuid=\"");
        ASSERT_NE(std::string::npos, product);
        ASSERT_NE(std::string::npos, version);
        product_guids.insert(text.substr(product + 13, 36));
        version_guids.insert(text.substr(version + 13, 36));
    }
    EXPECT_EQ(1u, product_guids.size());
    EXPECT_EQ(5u, version_guids.size());
}

TEST(ModuleDocumentSetTest, ConcurrentFirstReadersSeeTheSameDocuments)
{
    std::vector<std::string> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = branding.RemoteDeviceDescription(); });
    for (std::thread& thread : threads)
        thread.join();
    for (const std::string& text : seen)
        EXPECT_EQ(seen[0], text);
    EXPECT_FALSE(seen[0].empty());
}
