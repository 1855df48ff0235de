#include "gentl_producers/GenTesk3d/GenTLBrandingTesk.h"

#include <limits>

#include "gentl_producers/GenTesk3d/ModuleXmlDocuments.h"

namespace GenTLCore::ZoTL {

namespace {

const ModuleXmlDocument& Document(DocumentModule module)
{
    return ModuleXmlDocuments::Instance().Document(module);
}

std::vector<uint8_t> Digest(DocumentModule module)
{
    const auto& sha1 = Document(module).sha1;
    return std::vector<uint8_t>(sha1.begin(), sha1.end());
}

}  // namespace

std::string GenTLBrandingTesk::TLType() const { return "Custom"; }
uint32_t GenTLBrandingTesk::ReservedNumber1() const { return 1; }
uint32_t GenTLBrandingTesk::ReservedNumber2() const { return 1; }
bool GenTLBrandingTesk::MultiPartAware() const { return true; }
bool GenTLBrandingTesk::CompositeBufferAware() const { return false; }
bool GenTLBrandingTesk::AcquisitionEngineControlFeatures() const { return true; }
bool GenTLBrandingTesk::EventsEngineControlFeatures() const { return false; }
uint32_t GenTLBrandingTesk::InterfaceTLVersionMajor() const { return 0; }
uint32_t GenTLBrandingTesk::InterfaceTLVersionMinor() const { return 0; }
std::string GenTLBrandingTesk::LoggingEnvVarName() const { return "ZOTL_LOGGING"; }
std::string GenTLBrandingTesk::LogLevelEnvVarName() const { return "ZOTL_LOG_LEVEL"; }
std::string GenTLBrandingTesk::VendorName() const { return "dorvane VOR GmbH"; }
std::string GenTLBrandingTesk::ModelName() const { return "Tesk3D"; }
std::string GenTLBrandingTesk::Version() const { return "1.0.1"; }
std::string GenTLBrandingTesk::UniqueIDPrefix() const { return "Tesk3D_GenTL"; }

// The device ID alone is the device's unique string.
std::string GenTLBrandingTesk::CustomDeviceUniqueString(const std::string& device_id,
                                                        const std::string&,
                                                        const std::string&) const
{
    return device_id;
}

std::string GenTLBrandingTesk::CustomStreamUniqueString(const std::string&,
                                                        const std::string&) const
{
    return {};
}

std::string GenTLBrandingTesk::DisplayName() const { return "Tesk3D GenTL Producer"; }

std::string GenTLBrandingTesk::CustomInterfaceDisplayName(const std::string&,
                                                          const std::string&) const
{
    return {};
}

std::string GenTLBrandingTesk::CustomDeviceDisplayName(const std::string&, const std::string&,
                                                       const std::string&) const
{
    return {};
}

std::string GenTLBrandingTesk::GlobalLockName() const { return "ZoTL.lock"; }
bool GenTLBrandingTesk::RelaxedPointerChecks() const { return false; }
bool GenTLBrandingTesk::CloseLibraryOnUnload() const { return false; }
bool GenTLBrandingTesk::BufferChangesDuringAcquisition() const { return false; }
bool GenTLBrandingTesk::StopWithoutStartAllowed() const { return false; }

// Discovery waits without limit unless the caller gives a timeout.
uint64_t GenTLBrandingTesk::DefaultDiscoveryTimeout() const
{
    return std::numeric_limits<uint64_t>::max();
}

uint64_t GenTLBrandingTesk::DefaultAuxBufferCount() const { return 0; }
bool GenTLBrandingTesk::WatermarkBuffers() const { return false; }

std::string GenTLBrandingTesk::SystemDescription() const
{
    return Document(DocumentModule::System).text;
}
std::string GenTLBrandingTesk::InterfaceDescription() const
{
    return Document(DocumentModule::Interface).text;
}
std::string GenTLBrandingTesk::LocalDeviceDescription() const
{
    return Document(DocumentModule::LocalDevice).text;
}
std::string GenTLBrandingTesk::DataStreamDescription() const
{
    return Document(DocumentModule::DataStream).text;
}
std::string GenTLBrandingTesk::RemoteDeviceDescription() const
{
    return Document(DocumentModule::RemoteDevice).text;
}

uint32_t GenTLBrandingTesk::DescriptionFileVersionMajor() const
{
    return ModuleXmlDocuments::FILE_VERSION_MAJOR;
}
uint32_t GenTLBrandingTesk::DescriptionFileVersionMinor() const
{
    return ModuleXmlDocuments::FILE_VERSION_MINOR;
}
uint32_t GenTLBrandingTesk::DescriptionFileVersionSubminor() const
{
    return ModuleXmlDocuments::FILE_VERSION_SUBMINOR;
}

std::vector<uint8_t> GenTLBrandingTesk::SystemDescriptionSHA1() const
{
    return Digest(DocumentModule::System);
}
std::vector<uint8_t> GenTLBrandingTesk::InterfaceDescriptionSHA1() const
{
    return Digest(DocumentModule::Interface);
}
std::vector<uint8_t> GenTLBrandingTesk::LocalDeviceDescriptionSHA1() const
{
    return Digest(DocumentModule::LocalDevice);
}
std::vector<uint8_t> GenTLBrandingTesk::DataStreamDescriptionSHA1() const
{
    return Digest(DocumentModule::DataStream);
}
std::vector<uint8_t> GenTLBrandingTesk::RemoteDeviceDescriptionSHA1() const
{
    return Digest(DocumentModule::RemoteDevice);
}

std::string GenTLBrandingTesk::SystemDescriptionFileName() const
{
    return Document(DocumentModule::System).file_name;
}
std::string GenTLBrandingTesk::InterfaceDescriptionFileName() const
{
    return Document(DocumentModule::Interface).file_name;
}
std::string GenTLBrandingTesk::LocalDeviceDescriptionFileName() const
{
    return Document(DocumentModule::LocalDevice).file_name;
}
std::string GenTLBrandingTesk::DataStreamDescriptionFileName() const
{
    return Document(DocumentModule::DataStream).file_name;
}
std::string GenTLBrandingTesk::RemoteDeviceDescriptionFileName() const
{
    return Document(DocumentModule::RemoteDevice).file_name;
}
std::string GenTLBrandingTesk::RemoteDeviceDescriptionFilePrefix() const
{
    return ModuleXmlDocuments::Instance().RemoteDeviceFilePrefix();
}

char GenTLBrandingTesk::AlternativeIDSeparator() const { return '#'; }

// Only the probe keys: a device may be opened as "#ip#<address>".
std::vector<std::string> GenTLBrandingTesk::AlternativeDeviceIDKeys(bool probe_keys) const
{
    if (probe_keys)
        return {"ip"};
    return {};
}

std::vector<std::string> GenTLBrandingTesk::AlternativeInterfaceIDKeys() const { return {}; }
std::vector<std::string> GenTLBrandingTesk::AlternativeStreamIDKeys() const { return {}; }

}  // namespace GenTLCore::ZoTL
