#include "gentl_producers/GenTesk3d/ModuleXmlDocuments.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "gentl_producers/GenTesk3d/xml/EmbeddedXmlDocument.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {

namespace {

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

// The text and digest come from the build, which embeds the XML sources.
ModuleXmlDocument MakeDocument(const char* module_word, DocumentModule module)
{
    const EmbeddedXmlDocument& embedded = EMBEDDED_XML_DOCUMENTS[static_cast<size_t>(module)];
    ModuleXmlDocument document{FileName(module_word),
                               std::string(reinterpret_cast<const char*>(embedded.bytes),
                                           embedded.size),
                               {}};
    std::copy(std::begin(embedded.sha1), std::end(embedded.sha1), document.sha1.begin());
    return document;
}

}  // namespace

ModuleXmlDocuments::ModuleXmlDocuments()
    : remote_device_file_prefix(FilePrefix("Remotedevice")),
      documents{
          MakeDocument("System", DocumentModule::System),
          MakeDocument("Interface", DocumentModule::Interface),
          MakeDocument("Localdevice", DocumentModule::LocalDevice),
          MakeDocument("Datastream", DocumentModule::DataStream),
          MakeDocument("Remotedevice", DocumentModule::RemoteDevice),
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
