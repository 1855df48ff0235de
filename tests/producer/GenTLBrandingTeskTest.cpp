// The Tesk3D branding's answers that no consumer-level test reads back.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "gentl_producers/GenTesk3d/GenTLBrandingTesk.h"

namespace {

const GenTLCore::ZoTL::GenTLBrandingTesk branding;

// First in the file: the documents are built on first use, so these readers
// must really be the first.
TEST(GenTLBrandingTeskTest, ConcurrentFirstReadersSeeTheSameDocuments)
{
    std::vector<std::string> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = branding.RemoteDeviceDescription(); });
    for (std::thread& thread : threads) thread.join();
    for (const std::string& text : seen) EXPECT_EQ(seen[0], text);
    EXPECT_FALSE(seen[0].empty());
}

TEST(GenTLBrandingTeskTest, AnswersItsSwitchesNamesAndDocuments)
{
    EXPECT_EQ("ZoTL.lock", branding.GlobalLockName());
    EXPECT_EQ(0u, branding.RemoteDeviceDescriptionFileName().find(
                      branding.RemoteDeviceDescriptionFilePrefix()));
    EXPECT_EQ("dorvane_KirnTL_Datastream_1_0_0_260505134213.xml",
              branding.DataStreamDescriptionFileName());
    EXPECT_NE(branding.DataStreamDescriptionSHA1(), branding.RemoteDeviceDescriptionSHA1());
    EXPECT_NE(branding.DataStreamDescription(), branding.RemoteDeviceDescription());
    EXPECT_EQ(1u, branding.ReservedNumber1() * branding.ReservedNumber2());
    EXPECT_TRUE(branding.MultiPartAware() && branding.AcquisitionEngineControlFeatures());
    EXPECT_FALSE(branding.CompositeBufferAware() || branding.EventsEngineControlFeatures() ||
                 branding.BufferChangesDuringAcquisition() || branding.StopWithoutStartAllowed() ||
                 branding.WatermarkBuffers());
    EXPECT_EQ(0u, branding.DefaultAuxBufferCount());
    EXPECT_EQ("", branding.CustomStreamUniqueString("Tesk3D_SN77", "0"));
    EXPECT_TRUE(branding.AlternativeInterfaceIDKeys().empty() &&
                branding.AlternativeStreamIDKeys().empty());
}

}  // namespace
