#include "gentl_producers/GenTesk3d/ModuleXmlDocuments.h"

#include <openssl/sha.h>

#include <cstddef>
#include <string>
#include <utility>

#include "platform/Assert.h"

namespace GenTLCore::ZoTL {

namespace {

static_assert(SHA_DIGEST_LENGTH == 20);

constexpr const char* PRODUCT_GUID = "5d0c3a8e-41b7-4f26-9e1d-7b2a60c4f913";
constexpr const char* BUILD_STAMP = "260505134213";

std::string FileVersionText(const char* separator)
{
    return std::to_string(ModuleXmlDocuments::FILE_VERSION_MAJOR) + separator +
           std::to_string(ModuleXmlDocuments::FILE_VERSION_MINOR) + separator +
           std::to_string(ModuleXmlDocuments::FILE_VERSION_SUBMINOR);
}

// "dorvane_KirnTL_<module word>_" starts every file name.
std::string FilePrefix(const char* module_word)
{
    return std::string("dorvane_KirnTL_") + module_word + "_";
}

std::string FileName(const char* module_word)
{
    return FilePrefix(module_word) + FileVersionText("_") + "_" + BUILD_STAMP + ".xml";
}

// Stands in until the module's real node tree is written: a valid GenApi 1.1
// document whose root category is empty.
std::string PlaceholderText(const char* module_title, const char* version_guid)
{
    std::string text;
    text += "<RegisterDescription\n";
    text += "  xmlns=\"http://www.genicam.org/GenApi/Version_1_1\"\n";
    text += "  xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n";
    text += "  xsi:schemaLocation=\"http://www.genicam.org/GenApi/Version_1_1 "
            "http://www.genicam.org/GenApi/GenApiSchema_Version_1_1.xsd\"\n";
    text += "  ModelName=\"KirnTL\"\n";
    text += "  VendorName=\"dorvane\"\n";
    text += "  ToolTip=\"\"\n";
    text += "  StandardNameSpace=\"None\"\n";
    text += "  SchemaMajorVersion=\"1\"\n";
    text += "  SchemaMinorVersion=\"1\"\n";
    text += "  SchemaSubMinorVersion=\"0\"\n";
    text += "  MajorVersion=\"" + std::to_string(ModuleXmlDocuments::FILE_VERSION_MAJOR) + "\"\n";
    text += "  MinorVersion=\"" + std::to_string(ModuleXmlDocuments::FILE_VERSION_MINOR) + "\"\n";
    text += "  SubMinorVersion=\"" + std::to_string(ModuleXmlDocuments::FILE_VERSION_SUBMINOR) +
            "\"\n";
    text += std::string("  ProductGuid=\"") + PRODUCT_GUID + "\"\n";
    text += std::string("  VersionGuid=\"") + version_guid + "\">\n";
    text += "  <Category Name=\"Root\" NameSpace=\"Standard\">\n";
    text += std::string("    <ToolTip>Features of the ") + module_title + " module.</ToolTip>\n";
    text += "  </Category>\n";
    text += "</RegisterDescription>\n";
    return text;
}

ModuleXmlDocument MakeDocument(std::string file_name, std::string text)
{
    ModuleXmlDocument document{std::move(file_name), std::move(text), {}};
    SHA1(reinterpret_cast<const unsigned char*>(document.text.data()), document.text.size(),
         document.sha1.data());
    return document;
}

}  // namespace

ModuleXmlDocuments::ModuleXmlDocuments()
    : remote_device_file_prefix(FilePrefix("Remotedevice")),
      documents{
          MakeDocument(FileName("System"),
                       PlaceholderText("System", "0b6e2f41-93ac-4d85-a7f0-1c39e85b2d64")),
          MakeDocument(FileName("Interface"),
                       PlaceholderText("Interface", "a47d1c90-5e28-4b3f-8c61-f2d09b7e4a15")),
          MakeDocument(FileName("Localdevice"),
                       PlaceholderText("local device", "e3f85b27-0c64-49d1-b2a8-6d7c1e90f352")),
          MakeDocument(FileName("Datastream"),
                       PlaceholderText("data stream", "7c21e9d4-b0f3-4a6e-95c8-3e4f1a2b6d07")),
          MakeDocument(FileName("Remotedevice"),
                       PlaceholderText("remote device", "c9048f6a-2d7e-4b51-8f3c-a15e07d9b2e8")),
      }
{
}

const ModuleXmlDocuments& ModuleXmlDocuments::Instance()
{
    // Never destroyed: a consumer thread may still call in while the process exits.
    static const ModuleXmlDocuments& documents_set = *new ModuleXmlDocuments();
    return documents_set;
}

const ModuleXmlDocument& ModuleXmlDocuments::Document(DocumentModule module) const
{
    const auto index = static_cast<size_t>(module);
    if (!TL_ASSERT(index < documents.size()))
        return documents.front();
    return documents[index];
}

const std::string& ModuleXmlDocuments::RemoteDeviceFilePrefix() const
{
    return remote_device_file_prefix;
}

}  // namespace GenTLCore::ZoTL
