// BrandingTest.cpp: the default branding and the holder that hands out the
// configured one.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "gentl_core/GenTLBranding.h"

using namespace GenTLCore;

namespace {

std::atomic<int> destroyed_brandings{0};

// A branding told apart by its vendor name; counts its destruction.
class NamedBranding : public DefaultBranding {
public:
    explicit NamedBranding(std::string name) : name(std::move(name)) {}
    ~NamedBranding() override { ++destroyed_brandings; }
    std::string VendorName() const override { return name; }

    const std::string name;
};

SharedPtr<GenTLBranding> MakeBranding(const std::string& name)
{
    return SharedPtr<GenTLBranding>(new NamedBranding(name));
}

// Before configuration, and after an empty pointer: no optional behaviour,
// and digests of the full length, so a consumer reading one gets twenty bytes.
void ExpectDefault()
{
    const GenTLBranding& branding = GetBranding();
    for (auto digest :
         {&GenTLBranding::SystemDescriptionSHA1, &GenTLBranding::InterfaceDescriptionSHA1,
          &GenTLBranding::LocalDeviceDescriptionSHA1, &GenTLBranding::DataStreamDescriptionSHA1,
          &GenTLBranding::RemoteDeviceDescriptionSHA1})
        EXPECT_EQ(std::vector<uint8_t>(20, 0), (branding.*digest)());
    for (auto on :
         {&GenTLBranding::MultiPartAware, &GenTLBranding::CompositeBufferAware,
          &GenTLBranding::AcquisitionEngineControlFeatures,
          &GenTLBranding::EventsEngineControlFeatures, &GenTLBranding::RelaxedPointerChecks,
          &GenTLBranding::CloseLibraryOnUnload, &GenTLBranding::BufferChangesDuringAcquisition,
          &GenTLBranding::StopWithoutStartAllowed, &GenTLBranding::WatermarkBuffers})
        EXPECT_FALSE((branding.*on)());
    EXPECT_EQ("", branding.VendorName() + branding.ModelName());
    EXPECT_EQ('\0', branding.AlternativeIDSeparator());
    EXPECT_TRUE(branding.AlternativeDeviceIDKeys(true).empty() &&
                branding.AlternativeDeviceIDKeys(false).empty() &&
                branding.AlternativeInterfaceIDKeys().empty() &&
                branding.AlternativeStreamIDKeys().empty());
}

}  // namespace

TEST(BrandingControlTest, KeepsTheBrandingUntilReplacedOrEmptiedAndAnswersTheDefaultsOtherwise)
{
    // The holder is one for concurrent first calls.
    std::vector<BrandingControl*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = BrandingControl::Instance(); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::vector<BrandingControl*>(8, BrandingControl::Instance()), seen);
    ExpectDefault();
    // The holder keeps its own reference, also when handed the same branding
    // twice, and through Shutdown; replacing releases the old one.
    SharedPtr<GenTLBranding> branding = MakeBranding("Acme");
    BrandingControl::Instance()->Initialize(branding);
    BrandingControl::Instance()->Initialize(branding);
    EXPECT_EQ(2, branding.UseCount());
    branding.Reset();
    BrandingControl::Instance()->Shutdown();
    EXPECT_EQ("Acme", GetBranding().VendorName());
    BrandingControl::Instance()->Initialize(MakeBranding("Second"));
    EXPECT_EQ(1, destroyed_brandings.load());
    BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>());
    EXPECT_EQ(2, destroyed_brandings.load());
    ExpectDefault();
}

// The core teardown deletes the holder at unload; no caller reaches a freed
// branding, and the next call finds a fresh holder with the default.
TEST(BrandingControlTest, DeletingTheHolderReleasesTheBrandingAndRestoresTheDefault)
{
    destroyed_brandings = 0;
    BrandingControl::Instance()->Initialize(MakeBranding("Acme"));
    delete BrandingControl::Instance();
    EXPECT_EQ(1, destroyed_brandings.load());
    ExpectDefault();
}
