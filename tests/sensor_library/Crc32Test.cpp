#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/ContainerBuilder.h"
#include "sensor_library/CScanvo.h"
#include "sensor_library/Crc32.h"

namespace {

uint32_t Crc(const std::string& text)
{
    return ComputeCrc32Mpeg2(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(Crc32Test, GivesTheCheckValueOverTheNineDigits)
{
    EXPECT_EQ(0x0376E6E7u, Crc("123456789"));
}

TEST(Crc32Test, GivesTheInitialValueOverNoBytes)
{
    EXPECT_EQ(0xFFFFFFFFu, ComputeCrc32Mpeg2(nullptr, 0));
}

TEST(Crc32Test, MatchesTheHandWorkedTextContainer)
{
    const TestSupport::Bytes container = TestSupport::TextContainer("<a/>");
    const TestSupport::Bytes expected = {0xff, 0x01, 0x1a, 0x02, 0x21, 0x00, 0x00, 0x00, 0x03,
                                         0x01, 0x1a, 0x02, 0x0d, 0x00, 0x00, 0x00, 0x3c, 0x61,
                                         0x2f, 0x3e, 0x00, 0xff, 0xff, 0x1a, 0x02, 0x0c, 0x00,
                                         0x00, 0x00, 0x71, 0xc5, 0x99, 0xb7};
    EXPECT_EQ(expected, container);
    EXPECT_EQ(0x71C599B7u, CScanvo::ComputeCrc32(container.data(), container.size() - 4));
}

// Every length and start alignment around the eight-byte folding steps.
TEST(Crc32Test, AgreesWithTheBitwiseReferenceForEveryLengthAndAlignment)
{
    std::mt19937 random(7);
    TestSupport::Bytes bytes(300);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    for (std::size_t start = 0; start < 9; ++start) {
        for (std::size_t length = 0; start + length <= bytes.size(); ++length) {
            ASSERT_EQ(TestSupport::ReferenceCrc32(bytes.data() + start, length),
                      ComputeCrc32Mpeg2(bytes.data() + start, length))
                << "start " << start << " length " << length;
        }
    }
}

}  // namespace
