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
    TestDocument& Document(GenTLCore::DescriptionDocument kind);

    std::string tl_type = "TestTL";
    std::string vendor_name = "Test Vendor";
    std::string model_name = "Test Model";
    std::string version = "9.8.7";
    std::string unique_id_prefix = "TestPrefix";
    uint32_t file_version[3] = {3, 7, 11};
    std::string logging_variable;  // none
    bool close_library_on_unload = false;
    bool multi_part_aware = false;

    std::string TLType() const override { return tl_type; }
    std::string VendorName() const override { return vendor_name; }
    std::string ModelName() const override { return model_name; }
    std::string Version() const override { return version; }
    std::string UniqueIDPrefix() const override { return unique_id_prefix; }
    std::string LoggingEnvVarName() const override { return logging_variable; }
    bool CloseLibraryOnUnload() const override { return close_library_on_unload; }
    bool MultiPartAware() const override { return multi_part_aware; }
    uint32_t DescriptionFileVersionMajor() const override { return file_version[0]; }
    uint32_t DescriptionFileVersionMinor() const override { return file_version[1]; }
    uint32_t DescriptionFileVersionSubminor() const override { return file_version[2]; }

    std::string SystemDescription() const override;
    std::string InterfaceDescription() const override;
    std::string LocalDeviceDescription() const override;
    std::string DataStreamDescription() const override;
    std::string RemoteDeviceDescription() const override;
    std::vector<uint8_t> SystemDescriptionSHA1() const override;
    std::vector<uint8_t> InterfaceDescriptionSHA1() const override;
    std::vector<uint8_t> LocalDeviceDescriptionSHA1() const override;
    std::vector<uint8_t> DataStreamDescriptionSHA1() const override;
    std::vector<uint8_t> RemoteDeviceDescriptionSHA1() const override;
    std::string SystemDescriptionFileName() const override;
    std::string InterfaceDescriptionFileName() const override;
    std::string LocalDeviceDescriptionFileName() const override;
    std::string DataStreamDescriptionFileName() const override;
    std::string RemoteDeviceDescriptionFileName() const override;

private:
    const TestDocument& Of(GenTLCore::DescriptionDocument kind) const;

    TestDocument documents[5];
};

// Makes a new TestBranding the branding in force and returns it; the holder
// owns it until the next installation or the end of the process.
TestBranding& InstallTestBranding();

}  // namespace TestSupport
