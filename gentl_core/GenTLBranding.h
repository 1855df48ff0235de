// GenTLBranding.h: every name, switch, default and description document that
// differs from one transport layer to another, asked of one branding object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/GenTLCore.h"
#include "gentl_core/SmartPointers.h"

namespace GenTLCore {

// Length of every description document digest.
constexpr size_t DESCRIPTION_SHA1_BYTES = 20;

// The transport layer's answers to the framework. The transport-layer code
// supplies one through the configuration; callers reach it with GetBranding().
//
// Threads: every operation may be called from any thread at any time and must
// give the same answer every time; implementations hold no mutable state.
class GenTLBranding {
public:
    virtual ~GenTLBranding() = 0;

    // Transport-layer type in the TL, interface, device, stream, buffer and
    // port info.
    virtual std::string TLType() const = 0;
    virtual uint32_t ReservedNumber1() const = 0;
    virtual uint32_t ReservedNumber2() const = 0;

    virtual bool MultiPartAware() const = 0;
    virtual bool CompositeBufferAware() const = 0;
    // The data stream's engine-control registers exist and act.
    virtual bool AcquisitionEngineControlFeatures() const = 0;
    // The local device's event-engine control registers exist and act.
    virtual bool EventsEngineControlFeatures() const = 0;
    virtual uint32_t InterfaceTLVersionMajor() const = 0;
    virtual uint32_t InterfaceTLVersionMinor() const = 0;

    // Environment variable whose presence installs the call log.
    virtual std::string LoggingEnvVarName() const = 0;
    // Environment variable holding the numeric log level.
    virtual std::string LogLevelEnvVarName() const = 0;

    virtual std::string VendorName() const = 0;
    virtual std::string ModelName() const = 0;
    virtual std::string Version() const = 0;
    // First part of every module unique string.
    virtual std::string UniqueIDPrefix() const = 0;
    // A non-empty answer replaces the default device unique string.
    virtual std::string CustomDeviceUniqueString(const std::string& device_id,
                                                 const std::string& vendor_name,
                                                 const std::string& model_name) const = 0;
    // A non-empty answer replaces the default data stream unique string.
    virtual std::string CustomStreamUniqueString(const std::string& dev_unique_str,
                                                 const std::string& stream_id) const = 0;
    virtual std::string DisplayName() const = 0;
    // A non-empty answer replaces the display name derived from the tag.
    virtual std::string CustomInterfaceDisplayName(const std::string& interface_id,
                                                   const std::string& display_name) const = 0;
    // A non-empty answer replaces the display name derived from the tag.
    virtual std::string CustomDeviceDisplayName(const std::string& device_id,
                                                const std::string& vendor_name,
                                                const std::string& model_name) const = 0;
    // Name of the library's cross-process lock.
    virtual std::string GlobalLockName() const = 0;

    // Get-info outputs accept null data-type and size pointers; GCGetLastError
    // works without an initialized library.
    virtual bool RelaxedPointerChecks() const = 0;
    // An initialized library is closed at unload (true) or kept alive.
    virtual bool CloseLibraryOnUnload() const = 0;
    // Buffers may be announced or revoked while acquisition runs.
    virtual bool BufferChangesDuringAcquisition() const = 0;
    // Stopping a data stream that is not started succeeds.
    virtual bool StopWithoutStartAllowed() const = 0;
    // Milliseconds; stands in for a list update's timeout of 0.
    virtual uint64_t DefaultDiscoveryTimeout() const = 0;
    virtual uint64_t DefaultAuxBufferCount() const = 0;
    virtual bool WatermarkBuffers() const = 0;

    // Module description documents, exactly as served through the ports.
    virtual std::string SystemDescription() const = 0;
    virtual std::string InterfaceDescription() const = 0;
    virtual std::string LocalDeviceDescription() const = 0;
    virtual std::string DataStreamDescription() const = 0;
    virtual std::string RemoteDeviceDescription() const = 0;
    // File version of all five documents.
    virtual uint32_t DescriptionFileVersionMajor() const = 0;
    virtual uint32_t DescriptionFileVersionMinor() const = 0;
    virtual uint32_t DescriptionFileVersionSubminor() const = 0;
    // 20-byte SHA-1 of the matching document's text, a new vector per call.
    virtual std::vector<uint8_t> SystemDescriptionSHA1() const = 0;
    virtual std::vector<uint8_t> InterfaceDescriptionSHA1() const = 0;
    virtual std::vector<uint8_t> LocalDeviceDescriptionSHA1() const = 0;
    virtual std::vector<uint8_t> DataStreamDescriptionSHA1() const = 0;
    virtual std::vector<uint8_t> RemoteDeviceDescriptionSHA1() const = 0;
    // File names in the documents' "local:" URLs.
    virtual std::string SystemDescriptionFileName() const = 0;
    virtual std::string InterfaceDescriptionFileName() const = 0;
    virtual std::string LocalDeviceDescriptionFileName() const = 0;
    virtual std::string DataStreamDescriptionFileName() const = 0;
    virtual std::string RemoteDeviceDescriptionFileName() const = 0;
    virtual std::string RemoteDeviceDescriptionFilePrefix() const = 0;

    // First character of an alternative ID: separator, key, separator, value.
    virtual char AlternativeIDSeparator() const = 0;
    // Keys accepted in alternative device IDs; `probe_keys` asks for those
    // that may be probed directly when no listed device matches.
    virtual std::vector<std::string> AlternativeDeviceIDKeys(bool probe_keys) const = 0;
    virtual std::vector<std::string> AlternativeInterfaceIDKeys() const = 0;
    virtual std::vector<std::string> AlternativeStreamIDKeys() const = 0;
};

// The answers in force while no branding is configured: empty texts, zeros,
// false, 20 zero bytes per digest, separator character 0, empty lists.
class DefaultBranding : public GenTLBranding {
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

// Start-up singleton that keeps the configured branding.
//
// Lifetime: created on the heap by the first Instance() call (the core start),
// handed the branding once by Configure(), deleted by the core teardown at
// unload; the branding is released with it.
// Threads: Initialize() runs once during load, before any GenTL call, so
// readers take no lock.
class BrandingControl : public StaticInitializationHelper {
public:
    // The one holder; null only when its allocation failed.
    static BrandingControl* Instance();

    ~BrandingControl() override;

    // Keeps `new_branding`, replacing any earlier one.
    void Initialize(const SharedPtr<GenTLBranding>& new_branding) override;
    // The branding stays until the holder is deleted.
    void Shutdown() override;

    // The kept branding, or null when none was handed over.
    const GenTLBranding* Branding() const;

private:
    BrandingControl();

    // Written by Initialize() during load only.
    SharedPtr<GenTLBranding> branding;
};

// The branding in force: the configured one, else the default. Call it at
// each use; never keep the reference.
const GenTLBranding& GetBranding();

}  // namespace GenTLCore
