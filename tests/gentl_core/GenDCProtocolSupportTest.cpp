// GenDCProtocolSupportTest.cpp: descriptors and flow tables, byte by byte at
// offsets worked out by hand from the GenDC layout.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gentl_core/GenDCProtocolSupport.h"
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

struct Expected {
    size_t offset;
    size_t bytes;
    uint64_t value;
};

void ExpectFields(const std::vector<uint8_t>& data, std::initializer_list<Expected> fields)
{
    for (const Expected& field : fields)
        EXPECT_EQ(field.value, Field(data, field.offset, field.bytes))
            << "at offset " << field.offset;
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

TEST_F(GenDCDescriptorTest, WithoutComponentsIsTheBareContainerHeaderWithItsIDVariableFieldsAndFlag)
{
    std::vector<uint8_t> d = Build();
    ASSERT_EQ(56u, d.size());
    EXPECT_EQ(0, std::memcmp(d.data(), "GNDC", 4));
    // version, flags, header type and size, data size and offset, descriptor size, component count
    // clang-format off
    ExpectFields(d, {{4, 1, 1}, {5, 1, 0}, {6, 1, 0}, {8, 2, 0x1000}, {10, 2, 0}, {12, 4, 56},
                     {32, 8, 0}, {40, 8, 0}, {48, 4, 56}, {52, 4, 0}});
    // clang-format on
    description.SetContainerID(0x1122334455667788u);
    description.SetVariableFields(55);
    description.SetContainerFlag(true);
    d = Build();
    ExpectFields(d, {{10, 2, 1}, {16, 8, 0x1122334455667788u}, {16, 1, 0x88}, {24, 2, 55}});
    EXPECT_EQ(0, assertions.Failures());
}

TEST_F(GenDCDescriptorTest, OneImagePlaneLaysOutComponentAndPartAtHandWorkedOffsets)
{
    ASSERT_TRUE(description.AddImageComponent(0, 307200, 1, 640, 480, MONO8));
    const std::vector<uint8_t> d = Build();
    // 56 + 8 (container) + 48 + 8 (component) + 56 (2D part)
    ASSERT_EQ(176u, d.size());
    // clang-format off
    ExpectFields(d, {{12, 4, 64}, {48, 4, 176}, {52, 4, 1}, {56, 8, 64}, {32, 8, 307200},
                     // component header at 64: type, size, type ID, format, part count, part offset
                     {64, 2, 0x2000}, {68, 4, 56}, {96, 8, 1}, {104, 4, MONO8}, {110, 2, 1}, {112, 8, 120},
                     // 2D part at 120: type, size, format, flow ID, data size and offset, size x/y, padding x
                     {120, 2, 0x4200}, {124, 4, 56}, {128, 4, MONO8}, {134, 2, 0}, {144, 8, 307200},
                     {152, 8, 0}, {160, 4, 640}, {164, 4, 480}, {168, 2, 0},
                     // bytes no field covers are zero in a built descriptor
                     {7, 1, 0}, {26, 6, 0}, {132, 2, 0}, {172, 4, 0}});
    // clang-format on
}

TEST_F(GenDCDescriptorTest, StampsComponentsWithTheIDsAndTimestampSetBeforeThem)
{
    description.SetComponentIDs(0x0102, 0x0304, 0x0506);
    description.SetTimestamp(0xAABBCCDDEEFF0011u);
    description.AddImageComponent(0, 16, 1, 4, 4, MONO8);
    description.SetComponentIDs();
    description.SetTimestamp();
    description.AddImageComponent(16, 16, 1, 4, 4, MONO8);
    // Components at 72 and 72 + 112 = 184.
    // clang-format off
    ExpectFields(Build(), {{56, 8, 72}, {64, 8, 184}, {82, 2, 0x0102}, {84, 2, 0x0304}, {86, 2, 0x0506},
                           {96, 8, 0xAABBCCDDEEFF0011u}, {194, 6, 0}, {208, 8, 0}});
    // clang-format on
}

TEST_F(GenDCDescriptorTest, PlacesEachComponentAfterThePartsOfTheOneBefore)
{
    description.AddImageComponent(0, 2000, 1, 1000, 1, MONO16);
    description.AddImageComponent(2000, 6000, 4, 1000, 1, MONO16);
    const std::vector<uint8_t> d = Build();
    // 72 container, then two blocks of 48 + 8 + 56 = 112.
    ASSERT_EQ(296u, d.size());
    // component offsets, part offsets, second type ID, second part's data offset, data 0 to 8000
    // clang-format off
    ExpectFields(d, {{56, 8, 72}, {64, 8, 184}, {120, 8, 128}, {232, 8, 240}, {216, 8, 4}, {272, 8, 2000},
                     {32, 8, 8000}});
    // clang-format on
}

TEST_F(GenDCDescriptorTest, DataComponentHasA64BytePartOfData8)
{
    description.AddImageComponent(0, 100, 1, 10, 10, MONO8);
    ASSERT_TRUE(description.AddDataComponent(100, 36));
    const std::vector<uint8_t> d = Build();
    // 72 + 112 + (48 + 8 + 64): component at 184, its part at 240
    ASSERT_EQ(304u, d.size());
    // clang-format off
    ExpectFields(d, {{64, 8, 184}, {184 + 32, 8, 0x8001}, {184 + 40, 4, DATA8}, {184 + 48, 8, 240},
                     // part type, size, format, flow offset, data size and offset, size y: the byte count
                     {240, 2, 0x4000}, {244, 4, 64}, {248, 4, DATA8}, {256, 8, 100}, {264, 8, 36},
                     {272, 8, 100}, {280, 8, 36}, {32, 8, 136}});
    // clang-format on
    EXPECT_EQ(0, assertions.Failures());
}

TEST_F(GenDCDescriptorTest, FindsThePlanarFormatOfThreeCoordinatePlanesAndRefusesOthers)
{
    EXPECT_FALSE(description.AddPlanarComponent({0, 2000, 4000}, 2000, 4, 1000, 1,
                                                {COORD3D_C16, COORD3D_B16, COORD3D_A16}, 0));
    EXPECT_EQ(0, assertions.Failures());
    EXPECT_FALSE(description.AddPlanarComponent({0, 2000}, 2000, 4, 1000, 1,
                                                {COORD3D_A16, COORD3D_B16, COORD3D_C16}, 0));
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(56u, Build().size());
    ASSERT_TRUE(description.AddPlanarComponent({0, 2000, 4000}, 2000, 4, 1000, 1,
                                               {COORD3D_A16, COORD3D_B16, COORD3D_C16}, 0));
    const std::vector<uint8_t> d = Build();
    // 64 + 48 + 3 * 8 + 3 * 56: parts at 136, 192, 248
    ASSERT_EQ(304u, d.size());
    // clang-format off
    ExpectFields(d, {{104, 4, COORD3D_ABC16_PLANAR}, {110, 2, 3}, {112, 8, 136}, {120, 8, 192}, {128, 8, 248},
                     {144, 4, COORD3D_A16}, {200, 4, COORD3D_B16}, {256, 4, COORD3D_C16},
                     {168, 8, 0}, {224, 8, 2000}, {280, 8, 4000}, {160, 8, 2000}, {216, 8, 2000},
                     {272, 8, 2000}, {32, 8, 6000}});
    // clang-format on
    EXPECT_EQ(0x02180021u, LookupPlanarPixelFormat({0x010800C9, 0x010800CD, 0x010800D1}));
    EXPECT_EQ(0x024000C3u, LookupPlanarPixelFormat({0x012000BD, 0x012000BF}));
    EXPECT_EQ(0u, LookupPlanarPixelFormat({0x012000BD}));
    EXPECT_EQ(0u, LookupPlanarPixelFormat({0x010800C9, 0x010800CD, 0x010800D1, 0x010800D1}));
    EXPECT_EQ(0u, LookupPlanarPixelFormat({}));
}

TEST_F(GenDCDescriptorTest, PutsPartsOfTheDataFlowAfterTheFlowsBeforeIt)
{
    description.SetFlowTable({100, 200, 300});
    ASSERT_TRUE(description.SelectDataFlow());
    description.AddDataComponent(5, 20);
    // part at 120: flow ID, flow offset, data offset (flow 1 starts at 100)
    ExpectFields(
        Build(),
        {{112, 8, 120}, {134, 2, 1}, {136, 8, 5}, {152, 8, 105}, {40, 8, 105}, {32, 8, 20}});

    GenDCContainerDescription implicit;
    implicit.SetImplicitFlow();
    ASSERT_TRUE(implicit.SelectDataFlow());
    implicit.AddDataComponent(5, 20);
    std::vector<uint8_t> d;
    implicit.BuildDescriptor(d);
    ExpectFields(d, {{134, 2, 1}, {152, 8, 5}});
    EXPECT_EQ(0, assertions.Failures());
}

TEST_F(GenDCDescriptorTest, RefusesTheDataFlowOfASingleOrEmptyFlowTable)
{
    EXPECT_FALSE(description.SelectDataFlow());
    EXPECT_EQ(1, assertions.Failures());
    description.AddDataComponent(5, 20);
    // clang-format off
    ExpectFields(Build(), {{134, 2, 0}});  // still flow 0
    GenDCContainerDescription emptied;
    emptied.SetFlowTable({100, 200});
    // clang-format on
    emptied.SetFlowTable({});
    EXPECT_EQ(2, assertions.Failures());
    EXPECT_FALSE(emptied.SelectDataFlow());
}

// Never past the caller's buffer, and only the fields: the rest stays.
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
    // clang-format off
    ExpectFields(buffer, {{7, 1, 0xEE}, {26, 6, 0xEEEEEEEEEEEE}, {72, 1, 0xEE}, {108, 1, 0xEE},
                          {132, 2, 0xEEEE}, {176, 1, 0xEE}});
    // clang-format on
}

TEST(FlowMappingTableTest, ListsEveryFlowSizeAfterTheHeaderOrNone)
{
    const std::vector<uint8_t> expected = {
        0x00, 0x70, 0x00, 0x00,  // header type 0x7000, 0
        32,   0,    0,    0,     // table size
        1,    0,    0,    0,     // the value 1
        2,    0,    0,    0,     // flow count
        100,  0,    0,    0,    0, 0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(expected, BuildFlowMappingTable({100, 200}));
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x70, 0, 0, 16, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}),
              BuildFlowMappingTable({}));
}

}  // namespace
}  // namespace GenTLCore
