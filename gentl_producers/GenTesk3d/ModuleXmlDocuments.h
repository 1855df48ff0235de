// ModuleXmlDocuments.h: the GenApi description documents of the five modules
// with their file names, file version and digests.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace GenTLCore::ZoTL {

// The modules that publish a description document through their port.
enum class DocumentModule { System, Interface, LocalDevice, DataStream, RemoteDevice };

// One module's document exactly as served: no terminator, no byte-order mark.
struct ModuleXmlDocument {
    std::string file_name;
    std::string text;
    std::array<uint8_t, 20> sha1;  // of every byte of `text`
};

// The one set of documents.
//
// Lifetime: built on the first Instance() call (thread-safe), immutable from
// then on and destroyed at unload; any thread may read it without a lock.
class ModuleXmlDocuments {
public:
    // File version of all five documents.
    static constexpr uint32_t FILE_VERSION_MAJOR = 1;
    static constexpr uint32_t FILE_VERSION_MINOR = 0;
    static constexpr uint32_t FILE_VERSION_SUBMINOR = 0;

    static const ModuleXmlDocuments& Instance();

    ModuleXmlDocuments(const ModuleXmlDocuments&) = delete;
    ModuleXmlDocuments& operator=(const ModuleXmlDocuments&) = delete;

    const ModuleXmlDocument& Document(DocumentModule module) const;
    // Common start of the remote device documents' file names.
    const std::string& RemoteDeviceFilePrefix() const;

private:
    ModuleXmlDocuments();

    // Fixed at construction, indexed by DocumentModule.
    const std::string remote_device_file_prefix;
    const std::array<ModuleXmlDocument, 5> documents;
};

}  // namespace GenTLCore::ZoTL
