#include "TestBranding.h"

#include <openssl/sha.h>

#include "gentl_core/SmartPointers.h"

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
        SetDocument(static_cast<GenTLCore::DescriptionDocument>(kind),
                    "<?xml version=\"1.0\"?>\n<RegisterDescription ModelName=\"Test" + name +
                        "\">\n</RegisterDescription>\n",
                    "Test" + name + ".xml");
    }
}

void TestBranding::SetDocument(GenTLCore::DescriptionDocument kind, const std::string& text,
                               const std::string& file_name)
{
    Document(kind) = TestDocument{text, file_name, Sha1Of(text)};
}

TestBranding& InstallTestBranding()
{
    auto* branding = new TestBranding();
    GenTLCore::BrandingControl::Instance()->Initialize(
        GenTLCore::SharedPtr<GenTLCore::GenTLBranding>(branding));
    return *branding;
}

}  // namespace TestSupport
