// The Tesk3D system: its TL ID and its one interface, with the Tesk3D
// branding in force. No device discovery is asked here: once it exists it
// reaches the network.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_producers/GenTesk3d/GenTLBrandingTesk.h"
#include "gentl_producers/GenTesk3d/GenTLSystemTesk.h"
#include "support/AssertionCounter.h"

namespace {

using GenTLCore::GenTLInterface;
using GenTLCore::SharedPtr;
using GenTLCore::ZoTL::GenTLSystemTesk;

constexpr const char* INTERFACE_ID = "Tesk3D_GenTL_Interface";

std::string LastErrorText()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record.text;
}

class SystemTeskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GenTLCore::BrandingControl::Instance()->Initialize(
            SharedPtr<GenTLCore::GenTLBranding>(new GenTLCore::ZoTL::GenTLBrandingTesk()));
        system = SharedPtr<GenTLSystemTesk>(new GenTLSystemTesk());
        system->CompleteConstruction();
        ASSERT_EQ(system->Open(), GC_ERR_SUCCESS);
    }
    void TearDown() override
    {
        if (itf)
            itf->Close();
        system->Close();
        EXPECT_EQ(asserts.Failures(), 0);
    }

    std::string TLInfo(TL_INFO_CMD command)
    {
        char text[128] = {};
        size_t size = sizeof text;
        INFO_DATATYPE type = 0;
        EXPECT_EQ(system->GetTLInfo(command, &type, text, &size), GC_ERR_SUCCESS);
        return text;
    }
    std::string InterfaceDisplayName(const char* id)
    {
        char text[128] = {};
        size_t size = sizeof text;
        INFO_DATATYPE type = 0;
        if (system->GetInterfaceInfo(id, INTERFACE_INFO_DISPLAYNAME, &type, text, &size) !=
            GC_ERR_SUCCESS)
            return "<failed>";
        return text;
    }

    TestSupport::AssertionCounter asserts;
    SharedPtr<GenTLSystemTesk> system;
    SharedPtr<GenTLInterface> itf;  // opened by a test, closed before the system
};

TEST_F(SystemTeskTest, NamesTheTransportLayerAndRefusesCustomInfo)
{
    EXPECT_EQ(TLInfo(TL_INFO_ID), "Tesk3D_GenTL_1_6");
    EXPECT_EQ(TLInfo(TL_INFO_MODEL), "Tesk3D");
    char id[32] = {};
    size_t size = sizeof id;
    ASSERT_EQ(system->ReadPort(0x0, id, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(std::string(id), "Tesk3D_GenTL_1_6");
    INFO_DATATYPE type = 0;
    EXPECT_EQ(system->GetTLInfo(1000, &type, id, &size), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(LastErrorText(), "GetTLInfo: unknown system info command requested");
}

// Every update lists the one interface, displayed with its ID; the tag's own
// ID opens nothing.
TEST_F(SystemTeskTest, EveryUpdateListsTheOneInterface)
{
    bool8_t changed = 0;
    ASSERT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 1);
    ASSERT_EQ(system->UpdateInterfaceListReportChange(&changed, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(changed, 0);
    uint32_t count = 0;
    ASSERT_EQ(system->GetNumInterfaces(&count), GC_ERR_SUCCESS);
    EXPECT_EQ(count, 1u);
    char id[64] = {};
    size_t size = sizeof id;
    ASSERT_EQ(system->GetInterfaceID(0, id, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(std::string(id), INTERFACE_ID);
    EXPECT_EQ(size, 23u);
    EXPECT_EQ(InterfaceDisplayName(INTERFACE_ID),
              "Tesk3D GenTL Interface (Tesk3D_GenTL_Interface)");
    EXPECT_EQ(InterfaceDisplayName("Interface"), "<failed>");
    SharedPtr<GenTLInterface> found;
    EXPECT_EQ(system->ItfOpen("Interface", found), GC_ERR_INVALID_ID);
    EXPECT_EQ(LastErrorText(), "ItfOpen: invalid interface ID, no such interface exists");
}

TEST_F(SystemTeskTest, InterfaceOpensWithoutAnUpdateAndStaysUnpublished)
{
    ASSERT_EQ(system->ItfOpen(INTERFACE_ID, itf), GC_ERR_SUCCESS);
    ASSERT_EQ(itf->Open(), GC_ERR_SUCCESS);
    uint32_t count = 9;
    ASSERT_EQ(system->GetNumInterfaces(&count), GC_ERR_SUCCESS);
    EXPECT_EQ(count, 0u);
    // The interface's TL type is "Custom": no TL versions to offer.
    uint32_t versions = 9;
    size_t size = sizeof versions;
    ASSERT_EQ(itf->ReadPort(0x100, &versions, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(versions, 0u);
}

}  // namespace
