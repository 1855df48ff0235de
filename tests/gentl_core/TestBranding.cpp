#include "TestBranding.h"

#include <openssl/sha.h>

#include "gentl_core/SmartPointers.h"

using GenTLCore::DescriptionDocument;

namespace TestSupport {

std::vector<uint8_t> Sha1Of(const std::string& bytes)
{
    std::vector<uint8_t> digest(SHA_DIGEST_LENGTH);
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest.data());
    return digest;
}

TestBranding::TestBranding()
{
    const char* names[] = {"System", "Interface", "LocalDevice", "DataStream", "RemoteDevice"};
    for (int kind = 0; kind < 5; ++kind) {
        const std::string name = names[kind];
        SetDocument(static_cast<DescriptionDocument>(kind),
                    "<?xml version=\"1.0\"?>\n<RegisterDescription ModelName=\"Test" + name +
                        "\">\n</RegisterDescription>\n",
                    "Test" + name + ".xml");
    }
}

void TestBranding::SetDocument(DescriptionDocument kind, const std::string& text,
                               const std::string& file_name)
{
    Document(kind) = TestDocument{text, file_name, Sha1Of(text)};
}

TestDocument& TestBranding::Document(DescriptionDocument kind)
{
    return documents[static_cast<int>(kind)];
}

const TestDocument& TestBranding::Of(DescriptionDocument kind) const
{
    return documents[static_cast<int>(kind)];
}

// clang-format off
std::string TestBranding::SystemDescription() const { return Of(DescriptionDocument::System).text; }
std::string TestBranding::InterfaceDescription() const { return Of(DescriptionDocument::Interface).text; }
std::string TestBranding::LocalDeviceDescription() const { return Of(DescriptionDocument::LocalDevice).text; }
std::string TestBranding::DataStreamDescription() const { return Of(DescriptionDocument::DataStream).text; }
std::string TestBranding::RemoteDeviceDescription() const { return Of(DescriptionDocument::RemoteDevice).text; }
std::vector<uint8_t> TestBranding::SystemDescriptionSHA1() const { return Of(DescriptionDocument::System).sha1; }
std::vector<uint8_t> TestBranding::InterfaceDescriptionSHA1() const { return Of(DescriptionDocument::Interface).sha1; }
std::vector<uint8_t> TestBranding::LocalDeviceDescriptionSHA1() const { return Of(DescriptionDocument::LocalDevice).sha1; }
std::vector<uint8_t> TestBranding::DataStreamDescriptionSHA1() const { return Of(DescriptionDocument::DataStream).sha1; }
std::vector<uint8_t> TestBranding::RemoteDeviceDescriptionSHA1() const { return Of(DescriptionDocument::RemoteDevice).sha1; }
std::string TestBranding::SystemDescriptionFileName() const { return Of(DescriptionDocument::System).file_name; }
std::string TestBranding::InterfaceDescriptionFileName() const { return Of(DescriptionDocument::Interface).file_name; }
std::string TestBranding::LocalDeviceDescriptionFileName() const { return Of(DescriptionDocument::LocalDevice).file_name; }
std::string TestBranding::DataStreamDescriptionFileName() const { return Of(DescriptionDocument::DataStream).file_name; }
std::string TestBranding::RemoteDeviceDescriptionFileName() const { return Of(DescriptionDocument::RemoteDevice).file_name; }
// clang-format on

TestBranding& InstallTestBranding()
{
    auto* branding = new TestBranding();
    GenTLCore::BrandingControl::Instance()->Initialize(
        GenTLCore::SharedPtr<GenTLCore::GenTLBranding>(branding));
    return *branding;
}

}  // namespace TestSupport
