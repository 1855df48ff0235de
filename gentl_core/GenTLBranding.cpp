#include "gentl_core/GenTLBranding.h"

#include <atomic>
#include <new>

#include "platform/Assert.h"

namespace GenTLCore {

GenTLBranding::~GenTLBranding() = default;

std::string DefaultBranding::TLType() const { return {}; }
uint32_t DefaultBranding::ReservedNumber1() const { return 0; }
uint32_t DefaultBranding::ReservedNumber2() const { return 0; }
bool DefaultBranding::MultiPartAware() const { return false; }
bool DefaultBranding::CompositeBufferAware() const { return false; }
bool DefaultBranding::AcquisitionEngineControlFeatures() const { return false; }
bool DefaultBranding::EventsEngineControlFeatures() const { return false; }
uint32_t DefaultBranding::InterfaceTLVersionMajor() const { return 0; }
uint32_t DefaultBranding::InterfaceTLVersionMinor() const { return 0; }
std::string DefaultBranding::LoggingEnvVarName() const { return {}; }
std::string DefaultBranding::LogLevelEnvVarName() const { return {}; }
std::string DefaultBranding::VendorName() const { return {}; }
std::string DefaultBranding::ModelName() const { return {}; }
std::string DefaultBranding::Version() const { return {}; }
std::string DefaultBranding::UniqueIDPrefix() const { return {}; }
std::string DefaultBranding::CustomDeviceUniqueString(const std::string&, const std::string&,
                                                      const std::string&) const
{
    return {};
}
std::string DefaultBranding::CustomStreamUniqueString(const std::string&,
                                                      const std::string&) const
{
    return {};
}
std::string DefaultBranding::DisplayName() const { return {}; }
std::string DefaultBranding::CustomInterfaceDisplayName(const std::string&,
                                                        const std::string&) const
{
    return {};
}
std::string DefaultBranding::CustomDeviceDisplayName(const std::string&, const std::string&,
                                                     const std::string&) const
{
    return {};
}
std::string DefaultBranding::GlobalLockName() const { return {}; }
bool DefaultBranding::RelaxedPointerChecks() const { return false; }
bool DefaultBranding::CloseLibraryOnUnload() const { return false; }
bool DefaultBranding::BufferChangesDuringAcquisition() const { return false; }
bool DefaultBranding::StopWithoutStartAllowed() const { return false; }
uint64_t DefaultBranding::DefaultDiscoveryTimeout() const { return 0; }
uint64_t DefaultBranding::DefaultAuxBufferCount() const { return 0; }
bool DefaultBranding::WatermarkBuffers() const { return false; }
std::string DefaultBranding::SystemDescription() const { return {}; }
std::string DefaultBranding::InterfaceDescription() const { return {}; }
std::string DefaultBranding::LocalDeviceDescription() const { return {}; }
std::string DefaultBranding::DataStreamDescription() const { return {}; }
std::string DefaultBranding::RemoteDeviceDescription() const { return {}; }
uint32_t DefaultBranding::DescriptionFileVersionMajor() const { return 0; }
uint32_t DefaultBranding::DescriptionFileVersionMinor() const { return 0; }
uint32_t DefaultBranding::DescriptionFileVersionSubminor() const { return 0; }

namespace {
std::vector<uint8_t> ZeroDigest()
{
    return std::vector<uint8_t>(DESCRIPTION_SHA1_BYTES, 0);
}
}  // namespace

std::vector<uint8_t> DefaultBranding::SystemDescriptionSHA1() const { return ZeroDigest(); }
std::vector<uint8_t> DefaultBranding::InterfaceDescriptionSHA1() const { return ZeroDigest(); }
std::vector<uint8_t> DefaultBranding::LocalDeviceDescriptionSHA1() const { return ZeroDigest(); }
std::vector<uint8_t> DefaultBranding::DataStreamDescriptionSHA1() const { return ZeroDigest(); }
std::vector<uint8_t> DefaultBranding::RemoteDeviceDescriptionSHA1() const { return ZeroDigest(); }
std::string DefaultBranding::SystemDescriptionFileName() const { return {}; }
std::string DefaultBranding::InterfaceDescriptionFileName() const { return {}; }
std::string DefaultBranding::LocalDeviceDescriptionFileName() const { return {}; }
std::string DefaultBranding::DataStreamDescriptionFileName() const { return {}; }
std::string DefaultBranding::RemoteDeviceDescriptionFileName() const { return {}; }
std::string DefaultBranding::RemoteDeviceDescriptionFilePrefix() const { return {}; }
char DefaultBranding::AlternativeIDSeparator() const { return '\0'; }
std::vector<std::string> DefaultBranding::AlternativeDeviceIDKeys(bool) const { return {}; }
std::vector<std::string> DefaultBranding::AlternativeInterfaceIDKeys() const { return {}; }
std::vector<std::string> DefaultBranding::AlternativeStreamIDKeys() const { return {}; }

namespace {

// Set once the core teardown has deleted the holder, whose pointer Instance()
// would still hand out.
std::atomic<bool> holder_deleted{false};

const DefaultBranding& DefaultInstance()
{
    // Never destroyed: a consumer thread may still call in while the process exits.
    static const DefaultBranding& default_branding = *new DefaultBranding();
    return default_branding;
}

}  // namespace

BrandingControl::BrandingControl()
{
    // Built before the holder exists, so it outlives the teardown that
    // deletes the holder and can still answer afterwards.
    DefaultInstance();
}

BrandingControl::~BrandingControl()
{
    holder_deleted.store(true);
}

BrandingControl* BrandingControl::Instance()
{
    static BrandingControl* const brand_ctrl = new (std::nothrow) BrandingControl();
    TL_ASSERT(brand_ctrl);
    return brand_ctrl;
}

void BrandingControl::Initialize(const SharedPtr<GenTLBranding>& new_branding)
{
    // Keep the old one alive until the new one is in: both may be one object,
    // and `new_branding` may even be our own member.
    const SharedPtr<GenTLBranding> previous = branding;
    branding = new_branding;
}

void BrandingControl::Shutdown() {}

const GenTLBranding* BrandingControl::Branding() const
{
    return branding ? branding.Get() : nullptr;
}

const GenTLBranding& GetBranding()
{
    if (!holder_deleted.load()) {
        const BrandingControl* control = BrandingControl::Instance();
        if (control != nullptr && control->Branding() != nullptr)
            return *control->Branding();
    }
    return DefaultInstance();
}

}  // namespace GenTLCore
