// The real producer as a consumer finds it without any sensor: one system,
// exactly one interface, no devices. Nothing here runs a device discovery.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/CtiLoader.h"

namespace {

constexpr const char* INTERFACE_ID = "Tesk3D_GenTL_Interface";

class RealProducerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(cti.IsComplete()) << cti.Error();
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCInitLib());
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpen(&system));
        bool8_t changed = 0;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLUpdateInterfaceList(system, &changed, 0));
        EXPECT_EQ(1, changed);
        ASSERT_EQ(GC_ERR_SUCCESS, cti->TLOpenInterface(system, INTERFACE_ID, &iface));
    }
    void TearDown() override { cti->GCCloseLib(); }

    TestSupport::CtiLoader cti{GENTESK_CTI_PATH};
    TL_HANDLE system = nullptr;
    IF_HANDLE iface = nullptr;
};

TEST_F(RealProducerTest, ListsOneInterfaceThatServesItsDocumentAndFindsNoDevice)
{
    bool8_t changed = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLUpdateInterfaceList(system, &changed, 0));
    EXPECT_EQ(0, changed);
    uint32_t count = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLGetNumInterfaces(system, &count));
    EXPECT_EQ(1u, count);
    char id[128] = {};
    size_t size = sizeof id;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->TLGetInterfaceID(system, 0, id, &size));
    EXPECT_EQ(std::string(INTERFACE_ID), id);
    EXPECT_EQ(GC_ERR_INVALID_INDEX, cti->TLGetInterfaceID(system, 1, nullptr, &size));
    TL_HANDLE parent = nullptr;
    EXPECT_EQ(GC_ERR_SUCCESS, cti->IFGetParentTL(iface, &parent));
    EXPECT_EQ(system, parent);
    // Known by its ID, displayed with it; the tag's own ID finds nothing.
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size = sizeof id;
    ASSERT_EQ(GC_ERR_SUCCESS,
              cti->TLGetInterfaceInfo(system, INTERFACE_ID, INTERFACE_INFO_DISPLAYNAME, &type, id,
                                      &size));
    EXPECT_EQ("Tesk3D GenTL Interface (Tesk3D_GenTL_Interface)", std::string(id));
    EXPECT_EQ(
        GC_ERR_INVALID_ID,
        cti->TLGetInterfaceInfo(system, "Interface", INTERFACE_INFO_DISPLAYNAME, &type, id, &size));
    IF_HANDLE other = nullptr;
    EXPECT_EQ(GC_ERR_INVALID_ID, cti->TLOpenInterface(system, "Interface", &other));
    size = sizeof id;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCReadPort(system, 0x0, id, &size));
    EXPECT_EQ("Tesk3D_GenTL_1_6", std::string(id));

    uint64_t file_size = 0;
    uint64_t address = 0;
    size = sizeof file_size;
    ASSERT_EQ(GC_ERR_SUCCESS,
              cti->GCGetPortURLInfo(iface, 0, URL_INFO_FILE_SIZE, &type, &file_size, &size));
    size = sizeof address;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCGetPortURLInfo(iface, 0, URL_INFO_FILE_REGISTER_ADDRESS, &type,
                                                    &address, &size));
    std::vector<uint8_t> hash(SHA_DIGEST_LENGTH);
    size = hash.size();
    ASSERT_EQ(GC_ERR_SUCCESS,
              cti->GCGetPortURLInfo(iface, 0, URL_INFO_FILE_SHA1_HASH, &type, hash.data(), &size));
    std::vector<uint8_t> document(file_size);
    size = document.size();
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCReadPort(iface, address, document.data(), &size));
    std::vector<uint8_t> digest(SHA_DIGEST_LENGTH);
    SHA1(document.data(), document.size(), digest.data());
    EXPECT_EQ(hash, digest);

    // Without a sensor the list stays empty and an ID nobody reported is invalid.
    ASSERT_EQ(GC_ERR_SUCCESS, cti->IFUpdateDeviceList(iface, &changed, 100));
    EXPECT_EQ(0, changed);
    uint32_t devices = 99;
    EXPECT_EQ(GC_ERR_SUCCESS, cti->IFGetNumDevices(iface, &devices));
    EXPECT_EQ(0u, devices);
    DEV_HANDLE device = nullptr;
    EXPECT_EQ(GC_ERR_INVALID_ID,
              cti->IFOpenDevice(iface, "Tesk3D_12345", DEVICE_ACCESS_CONTROL, &device));
    EXPECT_EQ(nullptr, device);
}

// Closing the system first takes the open interface along; the library then
// closes cleanly.
TEST_F(RealProducerTest, ClosesInAnyOrder)
{
    EXPECT_EQ(GC_ERR_SUCCESS, cti->TLClose(system));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, cti->IFClose(iface));
    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCCloseLib());
}

}  // namespace
