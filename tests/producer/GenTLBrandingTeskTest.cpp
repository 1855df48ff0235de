#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gentl_core/GenTLBranding.h"
#include "gentl_producers/GenTesk3d/GenTLBrandingTesk.h"

using GenTLCore::GenTLBranding;
using GenTLCore::ZoTL::GenTLBrandingTesk;

namespace {

bool ToolExists(const std::string& tool)
{
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// xmllint's verdict on `text` against `schema`, fed through its standard input.
bool ValidatesAgainst(const std::string& schema, const std::string& text)
{
    const std::string command = "xmllint --noout --schema '" + schema + "' - 2>/dev/null";
    FILE* xmllint = popen(command.c_str(), "w");
    if (xmllint == nullptr) return false;
    std::fwrite(text.data(), 1, text.size(), xmllint);
    return pclose(xmllint) == 0;
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

// Every module document is plain XML with the register description root,
// served with its true SHA-1 (the embedded digest against OpenSSL's) and
// valid against the GenApi schema where xmllint and the schema are at hand.
// The five share one product GUID and differ in everything else.
TEST(GenTLBrandingTeskTest, ServesFiveDistinctValidDocumentsWithTheirDigests)
{
    using Text = std::string (GenTLBranding::*)() const;
    using Digest = std::vector<uint8_t> (GenTLBranding::*)() const;
    const struct {
        Text text;
        Text file_name;
        Digest sha1;
        const char* expected_file_name;
    } rows[] = {
        {&GenTLBranding::SystemDescription, &GenTLBranding::SystemDescriptionFileName,
         &GenTLBranding::SystemDescriptionSHA1, "dorvane_KirnTL_System_1_0_0_260505134213.xml"},
        {&GenTLBranding::InterfaceDescription, &GenTLBranding::InterfaceDescriptionFileName,
         &GenTLBranding::InterfaceDescriptionSHA1,
         "dorvane_KirnTL_Interface_1_0_0_260505134213.xml"},
        {&GenTLBranding::LocalDeviceDescription, &GenTLBranding::LocalDeviceDescriptionFileName,
         &GenTLBranding::LocalDeviceDescriptionSHA1,
         "dorvane_KirnTL_Localdevice_1_0_0_260505134213.xml"},
        {&GenTLBranding::DataStreamDescription, &GenTLBranding::DataStreamDescriptionFileName,
         &GenTLBranding::DataStreamDescriptionSHA1,
         "dorvane_KirnTL_Datastream_1_0_0_260505134213.xml"},
        {&GenTLBranding::RemoteDeviceDescription, &GenTLBranding::RemoteDeviceDescriptionFileName,
         &GenTLBranding::RemoteDeviceDescriptionSHA1,
         "dorvane_KirnTL_Remotedevice_1_0_0_260505134213.xml"},
    };
    const std::filesystem::path schema = std::filesystem::path(GENTESK_SOURCE_DIR) / ".." /
                                         "shared" / "genapi" / "GenApiSchema_Version_1_1.xsd";
    const bool can_validate = ToolExists("xmllint") && std::filesystem::exists(schema);
    std::set<std::string> texts, product_guids, version_guids;
    std::set<std::vector<uint8_t>> digests;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected_file_name);
        const std::string text = (branding.*row.text)();
        EXPECT_EQ(row.expected_file_name, (branding.*row.file_name)());
        // No declaration, no byte-order mark: the root element comes first.
        EXPECT_EQ(0u, text.find("<RegisterDescription"));
        EXPECT_EQ(std::string::npos, text.find_first_of(std::string("\0\r", 2)));
        EXPECT_EQ('\n', text.back());
        EXPECT_TRUE(std::all_of(text.begin(), text.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
        for (const char* piece :
             {"ModelName=\"KirnTL\"", "VendorName=\"dorvane\"", "<Category Name=\"Root\""})
            EXPECT_NE(std::string::npos, text.find(piece)) << piece;
        const size_t product = text.find("ProductGuid=\"");
        const size_t version = text.find("VersionGuid=\"");
        ASSERT_NE(std::string::npos, product);
        ASSERT_NE(std::string::npos, version);
        product_guids.insert(text.substr(product + 13, 36));
        version_guids.insert(text.substr(version + 13, 36));
        texts.insert(text);
        const std::vector<uint8_t> digest = (branding.*row.sha1)();
        std::vector<uint8_t> expected(SHA_DIGEST_LENGTH);
        SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), expected.data());
        EXPECT_EQ(expected, digest);
        digests.insert(digest);
        if (can_validate) {
            EXPECT_TRUE(ValidatesAgainst(schema.string(), text));
        }
    }
    EXPECT_EQ(5u, texts.size());
    EXPECT_EQ(5u, digests.size());
    EXPECT_EQ(1u, product_guids.size());
    EXPECT_EQ(5u, version_guids.size());
}

TEST(GenTLBrandingTeskTest, ConcurrentFirstReadersSeeTheSameDocuments)
{
    std::vector<std::string> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = branding.RemoteDeviceDescription(); });
    for (std::thread& thread : threads) thread.join();
    for (const std::string& text : seen) EXPECT_EQ(seen[0], text);
    EXPECT_FALSE(seen[0].empty());
}
