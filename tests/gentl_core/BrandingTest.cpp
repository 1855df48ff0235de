// BrandingTest.cpp: the default branding and the holder that hands out the
// configured one.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "gentl_core/GenTLBranding.h"

using GenTLCore::BrandingControl;
using GenTLCore::DefaultBranding;
using GenTLCore::GenTLBranding;
using GenTLCore::GetBranding;
using GenTLCore::SharedPtr;

namespace {

std::atomic<int> destroyed_brandings{0};

// A branding told apart by its vendor name; counts its destruction.
class NamedBranding : public DefaultBranding {
public:
    explicit NamedBranding(std::string name) : name(std::move(name)) {}
    ~NamedBranding() override { ++destroyed_brandings; }
    std::string VendorName() const override { return name; }

private:
    const std::string name;
};

SharedPtr<GenTLBranding> MakeBranding(const std::string& name)
{
    return SharedPtr<GenTLBranding>(new NamedBranding(name));
}

// Leaves no branding configured for the next case.
class BrandingControlTest : public ::testing::Test {
protected:
    void SetUp() override { destroyed_brandings = 0; }
    void TearDown() override { BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>()); }
};

}  // namespace

// Before configuration: no optional behaviour, and digests of the full
// length, so a consumer reading one gets twenty bytes.
TEST_F(BrandingControlTest, DefaultAnswersZeroDigestsNoSwitchesAndNoAlternativeIDs)
{
    const GenTLBranding& branding = GetBranding();
    using Digest = std::vector<uint8_t> (GenTLBranding::*)() const;
    for (Digest digest : {&GenTLBranding::SystemDescriptionSHA1, &GenTLBranding::InterfaceDescriptionSHA1,
                          &GenTLBranding::LocalDeviceDescriptionSHA1, &GenTLBranding::DataStreamDescriptionSHA1,
                          &GenTLBranding::RemoteDeviceDescriptionSHA1})
        EXPECT_EQ(std::vector<uint8_t>(20, 0), (branding.*digest)());
    using Switch = bool (GenTLBranding::*)() const;
    for (Switch on : {&GenTLBranding::MultiPartAware, &GenTLBranding::CompositeBufferAware,
                      &GenTLBranding::AcquisitionEngineControlFeatures, &GenTLBranding::EventsEngineControlFeatures,
                      &GenTLBranding::RelaxedPointerChecks, &GenTLBranding::CloseLibraryOnUnload,
                      &GenTLBranding::BufferChangesDuringAcquisition, &GenTLBranding::StopWithoutStartAllowed,
                      &GenTLBranding::WatermarkBuffers})
        EXPECT_FALSE((branding.*on)());
    EXPECT_EQ('\0', branding.AlternativeIDSeparator());
    EXPECT_TRUE(branding.AlternativeDeviceIDKeys(true).empty());
    EXPECT_TRUE(branding.AlternativeDeviceIDKeys(false).empty());
    EXPECT_TRUE(branding.AlternativeInterfaceIDKeys().empty());
    EXPECT_TRUE(branding.AlternativeStreamIDKeys().empty());
}

TEST_F(BrandingControlTest, InstanceIsTheSameHolderForConcurrentFirstCalls)
{
    std::vector<BrandingControl*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&seen, i] { seen[i] = BrandingControl::Instance(); });
    for (std::thread& thread : threads) thread.join();
    ASSERT_NE(nullptr, seen[0]);
    for (BrandingControl* holder : seen) EXPECT_EQ(seen[0], holder);
}

// The holder keeps its own reference, also when handed the same branding
// twice, and through Shutdown; replacing releases the old one.
TEST_F(BrandingControlTest, KeepsTheBrandingUntilReplacedAndAnEmptyPointerRestoresTheDefault)
{
    SharedPtr<GenTLBranding> branding = MakeBranding("Acme");
    BrandingControl::Instance()->Initialize(branding);
    BrandingControl::Instance()->Initialize(branding);
    EXPECT_EQ(2, branding.UseCount());
    branding.Reset();
    BrandingControl::Instance()->Shutdown();
    EXPECT_EQ(0, destroyed_brandings.load());
    EXPECT_EQ("Acme", GetBranding().VendorName());
    EXPECT_EQ("", GetBranding().ModelName());  // what it leaves alone keeps the base answers
    BrandingControl::Instance()->Initialize(MakeBranding("Second"));
    EXPECT_EQ(1, destroyed_brandings.load());
    EXPECT_EQ("Second", GetBranding().VendorName());
    BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>());
    EXPECT_EQ(2, destroyed_brandings.load());
    EXPECT_EQ("", GetBranding().VendorName());
}

// The core teardown deletes the holder at unload; no caller reaches a freed
// branding. One-shot: this case needs a process of its own.
TEST(BrandingControlTeardownTest, DeletingTheHolderReleasesTheBrandingAndRestoresTheDefault)
{
    destroyed_brandings = 0;
    BrandingControl::Instance()->Initialize(MakeBranding("Acme"));
    delete BrandingControl::Instance();
    EXPECT_EQ(1, destroyed_brandings.load());
    EXPECT_EQ("", GetBranding().VendorName());
    EXPECT_EQ(std::vector<uint8_t>(20, 0), GetBranding().SystemDescriptionSHA1());
}
