// GenTLBrandingTesk.h: the Tesk3D producer's names, switches, defaults and
// description documents.
#pragma once

#include "gentl_core/GenTLBranding.h"

namespace GenTLCore::ZoTL {

// The branding of the Tesk3D sensor family. Holds no data: every answer is a
// constant or a copy of the load-time description documents.
//
// Lifetime: one instance, created by the configuration at load and kept by
// the branding holder until unload.
// Threads: any thread, any time; no lock needed.
class GenTLBrandingTesk : public GenTLBranding {
public:
    std::string TLType() const override;
    uint32_t ReservedNumber1() const override;
    uint32_t ReservedNumber2() const override;
    bool MultiPartAware() const override;
    bool CompositeBufferAware() const override;
    bool AcquisitionEngineControlFeatures() const override;
    bool EventsEngineControlFeatures() const override;
    uint32_t InterfaceTLVersionMajor() const override;
    uint32_t InterfaceTLVersionMinor() const override;
    std::string LoggingEnvVarName() const override;
    std::string LogLevelEnvVarName() const override;
    std::string VendorName() const override;
    std::string ModelName() const override;
    std::string Version() const override;
    std::string UniqueIDPrefix() const override;
    std::string CustomDeviceUniqueString(const std::string& device_id,
                                         const std::string& vendor_name,
                                         const std::string& model_name) const override;
    std::string CustomStreamUniqueString(const std::string& dev_unique_str,
                                         const std::string& stream_id) const override;
    std::string DisplayName() const override;
    std::string CustomInterfaceDisplayName(const std::string& interface_id,
                                           const std::string& display_name) const override;
    std::string CustomDeviceDisplayName(const std::string& device_id,
                                        const std::string& vendor_name,
                                        const std::string& model_name) const override;
    std::string GlobalLockName() const override;
    bool RelaxedPointerChecks() const override;
    bool CloseLibraryOnUnload() const override;
    bool BufferChangesDuringAcquisition() const override;
    bool StopWithoutStartAllowed() const override;
    uint64_t DefaultDiscoveryTimeout() const override;
    uint64_t DefaultAuxBufferCount() const override;
    bool WatermarkBuffers() const override;
    std::string SystemDescription() const override;
    std::string InterfaceDescription() const override;
    std::string LocalDeviceDescription() const override;
    std::string DataStreamDescription() const override;
    std::string RemoteDeviceDescription() const override;
    uint32_t DescriptionFileVersionMajor() const override;
    uint32_t DescriptionFileVersionMinor() const override;
    uint32_t DescriptionFileVersionSubminor() const override;
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
    std::string RemoteDeviceDescriptionFilePrefix() const override;
    char AlternativeIDSeparator() const override;
    std::vector<std::string> AlternativeDeviceIDKeys(bool probe_keys) const override;
    std::vector<std::string> AlternativeInterfaceIDKeys() const override;
    std::vector<std::string> AlternativeStreamIDKeys() const override;
};

}  // namespace GenTLCore::ZoTL
