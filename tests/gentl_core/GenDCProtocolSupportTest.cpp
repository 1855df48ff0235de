// GenDCProtocolSupportTest.cpp: descriptors and flow tables, byte by byte at
// offsets worked out by hand from the GenDC layout.
#include "gentl_core/GenDCProtocolSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/AssertionCounter.h"

namespace GenTLCore {
namespace {

constexpr uint32_t MONO8 = 0x01080001;
constexpr uint32_t MONO16 = 0x01100007;
constexpr uint32_t DATA8 = 0x01080116;
constexpr uint32_t COORD3D_A16 = 0x011000B6;
constexpr uint32_t COORD3D_B16 = 0x011000B7;
constexpr uint32_t COORD3D_C16 = 0x011000B8;
constexpr uint32_t COORD3D_ABC16_PLANAR = 0x023000BA;

// Little-endian field of `bytes` bytes at `offset`.
uint64_t Field(const std::vector<uint8_t>& data, size_t offset, size_t bytes)
{
    EXPECT_LE(offset + bytes, data.size());
    uint64_t value = 0;
    for (size_t i = 0; i < bytes && offset + i < data.size(); ++i)
        value |= uint64_t{data[offset + i]} << (8 * i);
    return value;
}

class GenDCDescriptorTest : public ::testing::Test {
protected:
    std::vector<uint8_t> Build() const
    {
        std::vector<uint8_t> out;
        description.BuildDescriptor(out);
        return out;
    }

    GenDCContainerDescription description;
    TestSupport::AssertionCounter assertions;
};

// ---- Container header ----

TEST_F(GenDCDescriptorTest, WithoutComponentsIsTheBareContainerHeader)
{
    const std::vector<uint8_t> d = Build();
    ASSERT_EQ(56u, d.size());
    EXPECT_EQ(0, std::memcmp(d.data(), "GNDC", 4));
    EXPECT_EQ(1u, d[4]);
    EXPECT_EQ(0u, d[5]);
    EXPECT_EQ(0u, d[6]);
    EXPECT_EQ(0x1000u, Field(d, 8, 2));
    EXPECT_EQ(0u, Field(d, 10, 2));
    EXPECT_EQ(56u, Field(d, 12, 4));
    EXPECT_EQ(0u, Field(d, 32, 8));  // data size
    EXPECT_EQ(0u, Field(d, 40, 8));  // data offset
    EXPECT_EQ(56u, Field(d, 48, 4));
    EXPECT_EQ(0u, Field(d, 52, 4));
    EXPECT_EQ(0, assertions.Failures());
}

TEST_F(GenDCDescriptorTest, CarriesContainerIDVariableFieldsAndFlag)
{
    description.SetContainerID(0x1122334455667788u);
    description.SetVariableFields(55);
    description.SetContainerFlag(true);
    const std::vector<uint8_t> d = Build();
    EXPECT_EQ(1u, Field(d, 10, 2));
    EXPECT_EQ(0x1122334455667788u, Field(d, 16, 8));
    EXPECT_EQ(0x88u, d[16]);  // least significant byte first
    EXPECT_EQ(55u, Field(d, 24, 2));
}

// ---- One image component ----

TEST_F(GenDCDescriptorTest, OneImagePlaneLaysOutComponentAndPartAtHandWorkedOffsets)
{
    ASSERT_TRUE(description.AddImageComponent(0, 307200, 1, 640, 480, MONO8));
    const std::vector<uint8_t> d = Build();
    // 56 + 8 (container) + 48 + 8 (component) + 56 (2D part)
    ASSERT_EQ(176u, d.size());
    EXPECT_EQ(64u, Field(d, 12, 4));
    EXPECT_EQ(176u, Field(d, 48, 4));
    EXPECT_EQ(1u, Field(d, 52, 4));
    EXPECT_EQ(64u, Field(d, 56, 8));  // component offset

    // Component header at 64.
    EXPECT_EQ(0x2000u, Field(d, 64, 2));
    EXPECT_EQ(56u, Field(d, 68, 4));
    EXPECT_EQ(1u, Field(d, 96, 8));  // type ID
    EXPECT_EQ(MONO8, Field(d, 104, 4));
    EXPECT_EQ(1u, Field(d, 110, 2));    // part count
    EXPECT_EQ(120u, Field(d, 112, 8));  // part offset

    // 2D part header at 120.
    EXPECT_EQ(0x4200u, Field(d, 120, 2));
    EXPECT_EQ(56u, Field(d, 124, 4));
    EXPECT_EQ(MONO8, Field(d, 128, 4));
    EXPECT_EQ(0u, Field(d, 134, 2));       // flow ID
    EXPECT_EQ(307200u, Field(d, 144, 8));  // data size
    EXPECT_EQ(0u, Field(d, 152, 8));       // data offset
    EXPECT_EQ(640u, Field(d, 160, 4));
    EXPECT_EQ(480u, Field(d, 164, 4));
    EXPECT_EQ(0u, Field(d, 168, 2));  // padding x

    EXPECT_EQ(307200u, Field(d, 32, 8));  // container data size

    // Bytes no field covers are zero in a built descriptor.
    EXPECT_EQ(0u, d[7]);
    EXPECT_EQ(0u, Field(d, 26, 6));
    EXPECT_EQ(0u, Field(d, 120 + 12, 2));
    EXPECT_EQ(0u, Field(d, 120 + 52, 4));
}

TEST_F(GenDCDescriptorTest, StampsComponentsWithTheIDsAndTimestampSetBeforeThem)
{
    description.SetComponentIDs(0x0102, 0x0304, 0x0506);
    description.SetTimestamp(0xAABBCCDDEEFF0011u);
    description.AddImageComponent(0, 16, 1, 4, 4, MONO8);
    description.SetComponentIDs();
    description.SetTimestamp();
    description.AddImageComponent(16, 16, 1, 4, 4, MONO8);
    const std::vector<uint8_t> d = Build();
    // Components at 72 and 72 + 112 = 184.
    ASSERT_EQ(72u, Field(d, 56, 8));
    ASSERT_EQ(184u, Field(d, 64, 8));
    EXPECT_EQ(0x0102u, Field(d, 72 + 10, 2));
    EXPECT_EQ(0x0304u, Field(d, 72 + 12, 2));
    EXPECT_EQ(0x0506u, Field(d, 72 + 14, 2));
    EXPECT_EQ(0xAABBCCDDEEFF0011u, Field(d, 72 + 24, 8));
    EXPECT_EQ(0u, Field(d, 184 + 10, 6));
    EXPECT_EQ(0u, Field(d, 184 + 24, 8));
}

// ---- Several components ----

TEST_F(GenDCDescriptorTest, PlacesEachComponentAfterThePartsOfTheOneBefore)
{
    description.AddImageComponent(0, 2000, 1, 1000, 1, MONO16);
    description.AddImageComponent(2000, 6000, 4, 1000, 1, MONO16);
    const std::vector<uint8_t> d = Build();
    // 72 container, then two blocks of 48 + 8 + 56 = 112.
    ASSERT_EQ(296u, d.size());
    EXPECT_EQ(72u, Field(d, 56, 8));
    EXPECT_EQ(184u, Field(d, 64, 8));
    EXPECT_EQ(128u, Field(d, 72 + 48, 8));   // first part
    EXPECT_EQ(240u, Field(d, 184 + 48, 8));  // second part
    EXPECT_EQ(4u, Field(d, 184 + 32, 8));    // second type ID
    EXPECT_EQ(2000u, Field(d, 240 + 32, 8));  // second part's data offset
    EXPECT_EQ(8000u, Field(d, 32, 8));        // data from 0 to 8000
}

TEST_F(GenDCDescriptorTest, DataComponentHasA64BytePartOfData8)
{
    description.AddImageComponent(0, 100, 1, 10, 10, MONO8);
    ASSERT_TRUE(description.AddDataComponent(100, 36));
    const std::vector<uint8_t> d = Build();
    // 72 + 112 + (48 + 8 + 64)
    ASSERT_EQ(304u, d.size());
    const size_t component = Field(d, 64, 8);
    ASSERT_EQ(184u, component);
    EXPECT_EQ(0x8001u, Field(d, component + 32, 8));
    EXPECT_EQ(DATA8, Field(d, component + 40, 4));
    const size_t part = Field(d, component + 48, 8);
    ASSERT_EQ(240u, part);
    EXPECT_EQ(0x4000u, Field(d, part, 2));
    EXPECT_EQ(64u, Field(d, part + 4, 4));
    EXPECT_EQ(DATA8, Field(d, part + 8, 4));
    EXPECT_EQ(100u, Field(d, part + 16, 8));  // flow offset
    EXPECT_EQ(36u, Field(d, part + 24, 8));   // data size
    EXPECT_EQ(100u, Field(d, part + 32, 8));  // data offset
    EXPECT_EQ(36u, Field(d, part + 40, 8));   // size y: the byte count
    EXPECT_EQ(136u, Field(d, 32, 8));
    EXPECT_EQ(0, assertions.Failures());
}

// ---- Planar components ----

TEST_F(GenDCDescriptorTest, FindsThePlanarFormatOfThreeCoordinatePlanes)
{
    ASSERT_TRUE(description.AddPlanarComponent({0, 2000, 4000}, 2000, 4, 1000, 1,
                                                {COORD3D_A16, COORD3D_B16, COORD3D_C16}, 0));
    const std::vector<uint8_t> d = Build();
    // 64 + 48 + 3 * 8 + 3 * 56
    ASSERT_EQ(304u, d.size());
    EXPECT_EQ(COORD3D_ABC16_PLANAR, Field(d, 64 + 40, 4));
    EXPECT_EQ(3u, Field(d, 64 + 46, 2));
    const size_t parts[] = {136, 192, 248};
    const uint32_t formats[] = {COORD3D_A16, COORD3D_B16, COORD3D_C16};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(parts[i], Field(d, 64 + 48 + 8 * i, 8));
        EXPECT_EQ(formats[i], Field(d, parts[i] + 8, 4));
        EXPECT_EQ(2000u * i, Field(d, parts[i] + 32, 8));
        EXPECT_EQ(2000u, Field(d, parts[i] + 24, 8));
    }
    EXPECT_EQ(6000u, Field(d, 32, 8));
}

TEST_F(GenDCDescriptorTest, RefusesPlanesWithoutPlanarFormatAndMoreFormatsThanPlanes)
{
    EXPECT_FALSE(description.AddPlanarComponent({0, 2000, 4000}, 2000, 4, 1000, 1,
                                                 {COORD3D_C16, COORD3D_B16, COORD3D_A16}, 0));
    EXPECT_EQ(0, assertions.Failures());
    EXPECT_FALSE(description.AddPlanarComponent({0, 2000}, 2000, 4, 1000, 1,
                                                 {COORD3D_A16, COORD3D_B16, COORD3D_C16}, 0));
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(56u, Build().size());
}

TEST(PlanarPixelFormatTest, MatchesOnlyExactPlaneLists)
{
    EXPECT_EQ(0x02180021u, LookupPlanarPixelFormat({0x010800C9, 0x010800CD, 0x010800D1}));
    EXPECT_EQ(0x024000C3u, LookupPlanarPixelFormat({0x012000BD, 0x012000BF}));
    EXPECT_EQ(0u, LookupPlanarPixelFormat({0x012000BD}));
    EXPECT_EQ(0u, LookupPlanarPixelFormat({0x010800C9, 0x010800CD, 0x010800D1, 0x010800D1}));
    EXPECT_EQ(0u, LookupPlanarPixelFormat({}));
}

// ---- Flows ----

TEST_F(GenDCDescriptorTest, PutsPartsOfTheDataFlowAfterTheFlowsBeforeIt)
{
    description.SetFlowTable({100, 200, 300});
    ASSERT_TRUE(description.SelectDataFlow());
    description.AddDataComponent(5, 20);
    const std::vector<uint8_t> d = Build();
    const size_t part = Field(d, 64 + 48, 8);
    EXPECT_EQ(1u, Field(d, part + 14, 2));    // flow ID
    EXPECT_EQ(5u, Field(d, part + 16, 8));    // flow offset
    EXPECT_EQ(105u, Field(d, part + 32, 8));  // data offset: flow 1 starts at 100
    EXPECT_EQ(105u, Field(d, 40, 8));
    EXPECT_EQ(20u, Field(d, 32, 8));
}

TEST_F(GenDCDescriptorTest, RefusesTheDataFlowOfASingleFlowTable)
{
    EXPECT_FALSE(description.SelectDataFlow());
    EXPECT_EQ(1, assertions.Failures());
    description.AddDataComponent(5, 20);
    const std::vector<uint8_t> d = Build();
    EXPECT_EQ(0u, Field(d, 120 + 14, 2));  // still flow 0
}

TEST_F(GenDCDescriptorTest, ImplicitFlowsLetTheDataFlowStartAtZero)
{
    description.SetImplicitFlow();
    ASSERT_TRUE(description.SelectDataFlow());
    description.AddDataComponent(5, 20);
    const std::vector<uint8_t> d = Build();
    EXPECT_EQ(1u, Field(d, 120 + 14, 2));
    EXPECT_EQ(5u, Field(d, 120 + 32, 8));
    EXPECT_EQ(0, assertions.Failures());
}

TEST_F(GenDCDescriptorTest, AnEmptyFlowTableLeavesOnlyFlowZero)
{
    description.SetFlowTable({100, 200});
    description.SetFlowTable({});
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_FALSE(description.SelectDataFlow());
}

// ---- Writing into a caller's buffer ----

TEST_F(GenDCDescriptorTest, WritesOnlyIntoABufferLargeEnoughAndOnlyItsFields)
{
    description.AddImageComponent(0, 100, 1, 10, 10, MONO8);
    EXPECT_EQ(176u, description.WriteDescriptor(nullptr, 0));
    std::vector<uint8_t> buffer(176 - 1, 0xEE);
    EXPECT_EQ(176u, description.WriteDescriptor(buffer.data(), buffer.size()));
    EXPECT_EQ(std::vector<uint8_t>(175, 0xEE), buffer);
    buffer.assign(200, 0xEE);
    ASSERT_EQ(176u, description.WriteDescriptor(buffer.data(), buffer.size()));
    EXPECT_EQ(0, std::memcmp(buffer.data(), "GNDC", 4));
    EXPECT_EQ(0xEEu, buffer[7]);
    EXPECT_EQ(0xEEEEEEEEEEEEu, Field(buffer, 26, 6));
    EXPECT_EQ(0xEEu, buffer[64 + 8]);
    EXPECT_EQ(0xEEu, buffer[64 + 44]);
    EXPECT_EQ(0xEEEEu, Field(buffer, 120 + 12, 2));
    EXPECT_EQ(0xEEu, buffer[176]);  // nothing past the descriptor
}

// ---- Flow mapping table ----

TEST(FlowMappingTableTest, ListsEveryFlowSizeAfterTheHeaderOrNone)
{
    const std::vector<uint8_t> table = BuildFlowMappingTable({100, 200});
    const std::vector<uint8_t> expected = {
        0x00, 0x70, 0x00, 0x00,  // header type 0x7000, 0
        32, 0, 0, 0,             // table size
        1, 0, 0, 0,              // the value 1
        2, 0, 0, 0,              // flow count
        100, 0, 0, 0, 0, 0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(expected, table);
    const std::vector<uint8_t> header_alone = {0x00, 0x70, 0, 0, 16, 0, 0, 0,
                                               1,    0,    0, 0, 0,  0, 0, 0};
    EXPECT_EQ(header_alone, BuildFlowMappingTable({}));
}

}  // namespace
}  // namespace GenTLCore
