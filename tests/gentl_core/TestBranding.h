// TestBranding.h: a branding whose description documents and names a test
// sets, for module and port tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLPort.h"

namespace TestSupport {

// The SHA-1 digest of `bytes`, computed independently of the code under test.
std::vector<uint8_t> Sha1Of(const std::string& bytes);

struct TestDocument {
    std::string text;
    std::string file_name;
    std::vector<uint8_t> sha1;
};

// Every document starts with a distinct text and file name and its true
// digest. Configure it before the code under test runs: the framework asks
// the branding from any thread and expects constant answers.
class TestBranding : public GenTLCore::DefaultBranding {
public:
    TestBranding();

    // Replaces a document; its digest becomes the SHA-1 of `text`.
    void SetDocument(GenTLCore::DescriptionDocument kind, const std::string& text,
                     const std::string& file_name);
    TestDocument& Document(GenTLCore::DescriptionDocument kind)
    {
        return documents[static_cast<int>(kind)];
    }

    std::string tl_type = "TestTL";
    std::string unique_id_prefix = "TestPrefix";
    std::string logging_variable, log_level_variable;  // none
    std::string custom_interface_name;                 // none
    bool close_library_on_unload = false;
    bool multi_part_aware = false;

    std::string TLType() const override { return tl_type; }
    std::string VendorName() const override { return "Test Vendor"; }
    std::string ModelName() const override { return "Test Model"; }
    std::string Version() const override { return "9.8.7"; }
    std::string UniqueIDPrefix() const override { return unique_id_prefix; }
    std::string LoggingEnvVarName() const override { return logging_variable; }
    std::string LogLevelEnvVarName() const override { return log_level_variable; }
    std::string CustomInterfaceDisplayName(const std::string&, const std::string&) const override
    {
        return custom_interface_name;
    }
    bool CloseLibraryOnUnload() const override { return close_library_on_unload; }
    bool MultiPartAware() const override { return multi_part_aware; }
    uint32_t DescriptionFileVersionMajor() const override { return 3; }
    uint32_t DescriptionFileVersionMinor() const override { return 7; }
    uint32_t DescriptionFileVersionSubminor() const override { return 11; }

    // clang-format off
#define TEST_BRANDING_DOCUMENT(Kind)                                                      \
    std::string Kind##Description() const override { return Of(Kind).text; }             \
    std::vector<uint8_t> Kind##DescriptionSHA1() const override { return Of(Kind).sha1; } \
    std::string Kind##DescriptionFileName() const override { return Of(Kind).file_name; }
    TEST_BRANDING_DOCUMENT(System)
    TEST_BRANDING_DOCUMENT(Interface)
    TEST_BRANDING_DOCUMENT(LocalDevice)
    TEST_BRANDING_DOCUMENT(DataStream)
    TEST_BRANDING_DOCUMENT(RemoteDevice)
#undef TEST_BRANDING_DOCUMENT
    // clang-format on

private:
    using enum GenTLCore::DescriptionDocument;
    const TestDocument& Of(GenTLCore::DescriptionDocument kind) const
    {
        return documents[static_cast<int>(kind)];
    }

    TestDocument documents[5];
};

// Makes a new TestBranding the branding in force and returns it; the holder
// owns it until the next installation or the end of the process.
TestBranding& InstallTestBranding();

}  // namespace TestSupport
