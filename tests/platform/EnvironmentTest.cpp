#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Environment.h"

namespace {

struct ParseCase {
    const char* text;
    uint32_t expected;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << '"' << (c.text ? c.text : "(null)") << "\" -> " << c.expected;
}

// ParseULong32: numbers read as a 32-bit strtoul with base 0 reads them.
class ParseULong32Test : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseULong32Test, ReadsTheNumberAs32BitStrtoulBase0)
{
    EXPECT_EQ(GetParam().expected, Platform::ParseULong32(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseULong32Test,
    ::testing::Values(ParseCase{"0", 0}, ParseCase{"6", 6}, ParseCase{"4", 4},
                      ParseCase{"010", 8}, ParseCase{"0x10", 16}, ParseCase{"0X1f", 31},
                      ParseCase{"0xFFFFFFFF", 0xFFFFFFFFu}, ParseCase{"4294967295", 0xFFFFFFFFu},
                      ParseCase{"4294967294", 0xFFFFFFFEu}, ParseCase{"4294967296", 0xFFFFFFFFu},
                      ParseCase{"4294967297", 0xFFFFFFFFu}, ParseCase{"99999999999999999999", 0xFFFFFFFFu},
                      ParseCase{"0x1FFFFFFFF", 0xFFFFFFFFu}, ParseCase{"037777777777", 0xFFFFFFFFu},
                      ParseCase{"040000000000", 0xFFFFFFFFu}, ParseCase{"-1", 0xFFFFFFFFu},
                      ParseCase{"-2", 0xFFFFFFFEu}, ParseCase{"-4294967295", 1},
                      ParseCase{"-4294967296", 0xFFFFFFFFu}, ParseCase{"+7", 7},
                      ParseCase{"  \t\n12", 12}, ParseCase{"12abc", 12}, ParseCase{"abc", 0},
                      ParseCase{"", 0}, ParseCase{"-", 0}, ParseCase{" ", 0}, ParseCase{"0x", 0},
                      ParseCase{"0xg", 0}, ParseCase{"08", 0}, ParseCase{"019", 1},
                      ParseCase{"1 2", 1}, ParseCase{"- 1", 0}, ParseCase{nullptr, 0}));

// GetEnvironmentVariable: unset and empty are different answers.
TEST(EnvironmentVariableTest, UnsetVariableGivesNothing)
{
    Platform::SetEnvironmentVariableForTest("GENTESK_TEST_VARIABLE", std::nullopt);
    EXPECT_FALSE(Platform::GetEnvironmentVariable("GENTESK_TEST_VARIABLE").has_value());
}

TEST(EnvironmentVariableTest, EmptyVariableIsSet)
{
    Platform::SetEnvironmentVariableForTest("GENTESK_TEST_VARIABLE", std::string());
    EXPECT_EQ(std::optional<std::string>(""), Platform::GetEnvironmentVariable("GENTESK_TEST_VARIABLE"));
}

TEST(EnvironmentVariableTest, ValueIsReturnedWhole)
{
    Platform::SetEnvironmentVariableForTest("GENTESK_TEST_VARIABLE", std::string(" 0x10 = x "));
    EXPECT_EQ(std::optional<std::string>(" 0x10 = x "),
              Platform::GetEnvironmentVariable("GENTESK_TEST_VARIABLE"));
}

}  // namespace
