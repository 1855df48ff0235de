// GenDCProtocolSupportTest.cpp: descriptors and flow tables, byte by byte at
// offsets worked out by hand from the GenDC layout.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "gentl_core/GenDCProtocolSupport.h"
#include "support/AssertionCounter.h"

namespace GenTLCore {
namespace {

constexpr uint32_t MONO8 = 0x01080001, MONO16 = 0x01100007, DATA8 = 0x01080116;
constexpr uint32_t A16 = 0x011000B6, B16 = 0x011000B7, C16 = 0x011000B8, ABC16_PLANAR = 0x023000BA;

using Field = std::tuple<size_t, size_t, uint64_t>;  // offset, bytes, value

// Checks the descriptor's size and its little-endian fields.
void ExpectFields(const std::vector<uint8_t>& data, size_t size,
                  std::initializer_list<Field> fields)
{
    EXPECT_EQ(size, data.size());
    for (const auto& [offset, bytes, expected] : fields) {
        uint64_t value = 0;
        for (size_t i = 0; i < bytes && offset + i < data.size(); ++i)
            value |= uint64_t{data[offset + i]} << (8 * i);
        EXPECT_EQ(expected, value) << "at offset " << offset;
    }
}

class GenDCDescriptorTest : public ::testing::Test {
protected:
    std::vector<uint8_t> Build() const
    {
        std::vector<uint8_t> out;
        return description.BuildDescriptor(out);
    }

    GenDCContainerDescription description;
    TestSupport::AssertionCounter assertions;
};

TEST_F(GenDCDescriptorTest, WithoutComponentsIsTheBareContainerHeaderWithItsIDVariableFieldsAndFlag)
{
    EXPECT_EQ(0, std::memcmp(Build().data(), "GNDC", 4));
    // version, flags, header type and size, data size and offset, descriptor size, component count
    // clang-format off
    ExpectFields(Build(), 56, {{4, 1, 1}, {5, 1, 0}, {6, 1, 0}, {8, 2, 0x1000}, {10, 2, 0}, {12, 4, 56},
                               {32, 8, 0}, {40, 8, 0}, {48, 4, 56}, {52, 4, 0}});
    description.SetContainerID(0x1122334455667788u);
    description.SetVariableFields(55);
    description.SetContainerFlag(true);
    ExpectFields(Build(), 56, {{10, 2, 1}, {16, 8, 0x1122334455667788u}, {24, 2, 55}});
    // clang-format on
}

TEST_F(GenDCDescriptorTest, LaysOutComponentsAndPartsAtHandWorkedOffsets)
{
    ASSERT_TRUE(description.AddImageComponent(0, 307200, 1, 640, 480, MONO8));
    // 56 + 8 (container) + 48 + 8 (component) + 56 (2D part)
    // clang-format off
    ExpectFields(Build(), 176, {{12, 4, 64}, {48, 4, 176}, {52, 4, 1}, {56, 8, 64}, {32, 8, 307200},
        // component header at 64: type, size, type ID, format, part count, part offset
        {64, 2, 0x2000}, {68, 4, 56}, {96, 8, 1}, {104, 4, MONO8}, {110, 2, 1}, {112, 8, 120},
        // 2D part at 120: type, size, format, flow ID, data size and offset, size x/y, padding x
        {120, 2, 0x4200}, {124, 4, 56}, {128, 4, MONO8}, {134, 2, 0}, {144, 8, 307200}, {152, 8, 0}, {160, 4, 640},
        {164, 4, 480}, {168, 2, 0},
        // bytes no field covers are zero in a built descriptor
        {7, 1, 0}, {26, 6, 0}, {132, 2, 0}, {172, 4, 0}});
    // Each component after the parts of the one before, stamped with the IDs and timestamp set before it.
    description = GenDCContainerDescription();
    description.SetComponentIDs(0x0102, 0x0304, 0x0506);
    description.SetTimestamp(0xAABBCCDDEEFF0011u);
    description.AddImageComponent(0, 2000, 1, 1000, 1, MONO16);
    description.SetComponentIDs();
    description.SetTimestamp();
    description.AddImageComponent(2000, 6000, 4, 1000, 1, MONO16);
    // 72 container, then two blocks of 48 + 8 + 56 = 112; component offsets, part offsets, IDs, timestamp,
    // second type ID, second part's data offset, data 0 to 8000
    ExpectFields(Build(), 296, {{56, 8, 72}, {64, 8, 184}, {120, 8, 128}, {232, 8, 240}, {82, 2, 0x0102},
        {84, 2, 0x0304}, {86, 2, 0x0506}, {96, 8, 0xAABBCCDDEEFF0011u}, {194, 6, 0}, {208, 8, 0}, {216, 8, 4},
        {272, 8, 2000}, {32, 8, 8000}});
    // A data component has a 64-byte part of Data8; a third component moves the others by 8:
    // it is at 304, its part at 360.
    ASSERT_TRUE(description.AddDataComponent(8000, 36));
    ExpectFields(Build(), 424, {{56, 8, 80}, {72, 8, 304}, {304 + 32, 8, 0x8001}, {304 + 40, 4, DATA8},
        {304 + 48, 8, 360},
        // part type, size, format, flow offset, data size and offset, size y: the byte count
        {360, 2, 0x4000}, {364, 4, 64}, {368, 4, DATA8}, {376, 8, 8000}, {384, 8, 36}, {392, 8, 8000}, {400, 8, 36},
        {32, 8, 8036}});
    // clang-format on
    EXPECT_EQ(0, assertions.Failures());
}

TEST_F(GenDCDescriptorTest, FindsThePlanarFormatOfThreeCoordinatePlanesAndRefusesOthers)
{
    EXPECT_FALSE(
        description.AddPlanarComponent({0, 2000, 4000}, 2000, 4, 1000, 1, {C16, B16, A16}, 0));
    EXPECT_EQ(0, assertions.Failures());
    EXPECT_FALSE(description.AddPlanarComponent({0, 2000}, 2000, 4, 1000, 1, {A16, B16, C16}, 0));
    EXPECT_EQ(1, assertions.Failures());
    ASSERT_TRUE(
        description.AddPlanarComponent({0, 2000, 4000}, 2000, 4, 1000, 1, {A16, B16, C16}, 0));
    // 64 + 48 + 3 * 8 + 3 * 56: parts at 136, 192, 248
    // clang-format off
    ExpectFields(Build(), 304, {{104, 4, ABC16_PLANAR}, {110, 2, 3}, {112, 8, 136}, {120, 8, 192}, {128, 8, 248},
        {144, 4, A16}, {200, 4, B16}, {256, 4, C16}, {168, 8, 0}, {224, 8, 2000}, {280, 8, 4000}, {160, 8, 2000},
        {216, 8, 2000}, {272, 8, 2000}, {32, 8, 6000}});
    // clang-format on
    EXPECT_EQ(0x02180021u, LookupPlanarPixelFormat({0x010800C9, 0x010800CD, 0x010800D1}));
    EXPECT_EQ(0x024000C3u, LookupPlanarPixelFormat({0x012000BD, 0x012000BF}));
    for (const std::vector<uint32_t>& formats : std::vector<std::vector<uint32_t>>{
             {0x012000BD}, {0x010800C9, 0x010800CD, 0x010800D1, 0x010800D1}, {}})
        EXPECT_EQ(0u, LookupPlanarPixelFormat(formats));
}

// Parts of the data flow go after the flows before it; a single or empty flow
// table has no data flow to select.
TEST_F(GenDCDescriptorTest, PutsPartsOfTheDataFlowAfterTheFlowsBeforeIt)
{
    description.SetFlowTable({100, 200, 300});
    ASSERT_TRUE(description.SelectDataFlow());
    description.AddDataComponent(5, 20);
    // part at 120: flow ID, flow offset, data offset (flow 1 starts at 100)
    ExpectFields(
        Build(), 184,
        {{112, 8, 120}, {134, 2, 1}, {136, 8, 5}, {152, 8, 105}, {40, 8, 105}, {32, 8, 20}});
    GenDCContainerDescription implicit;
    implicit.SetImplicitFlow();
    ASSERT_TRUE(implicit.SelectDataFlow());
    implicit.AddDataComponent(5, 20);
    std::vector<uint8_t> d;
    ExpectFields(implicit.BuildDescriptor(d), 184, {{134, 2, 1}, {152, 8, 5}});
    EXPECT_EQ(0, assertions.Failures());
    GenDCContainerDescription single;
    EXPECT_FALSE(single.SelectDataFlow());
    single.AddDataComponent(5, 20);
    ExpectFields(single.BuildDescriptor(d), 184, {{134, 2, 0}});  // still flow 0
    GenDCContainerDescription emptied;
    emptied.SetFlowTable({100, 200});
    emptied.SetFlowTable({});
    EXPECT_FALSE(emptied.SelectDataFlow());
    EXPECT_EQ(3, assertions.Failures());
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
    ExpectFields(buffer, 200, {{7, 1, 0xEE}, {26, 6, 0xEEEEEEEEEEEE}, {72, 1, 0xEE}, {108, 1, 0xEE}, {132, 2, 0xEEEE},
                               {176, 1, 0xEE}});
    // clang-format on
}

TEST(FlowMappingTableTest, ListsEveryFlowSizeAfterTheHeaderOrNone)
{
    // header type 0x7000, 0; table size; the value 1; flow count; the flows
    const std::vector<uint8_t> expected = {0x00, 0x70, 0, 0, 32, 0, 0, 0, 1,   0, 0, 0, 2, 0, 0, 0,
                                           100,  0,    0, 0, 0,  0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(expected, BuildFlowMappingTable({100, 200}));
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x70, 0, 0, 16, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}),
              BuildFlowMappingTable({}));
}

}  // namespace
}  // namespace GenTLCore
