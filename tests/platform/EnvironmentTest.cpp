// Environment variables, and numbers read by the rules of a 32-bit
// strtoul(text, nullptr, 0), checked against hand-worked results.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/Environment.h"

namespace {

TEST(EnvironmentTest, ParseULong32ReadsAs32BitStrtoulBase0)
{
    const std::pair<const char*, uint32_t> cases[] = {{"0", 0},
                                                      {"6", 6},
                                                      {"010", 8},
                                                      {"0x10", 16},
                                                      {"0X1f", 31},
                                                      {"0xFFFFFFFF", 0xFFFFFFFFu},
                                                      {"4294967295", 0xFFFFFFFFu},
                                                      {"4294967294", 0xFFFFFFFEu},
                                                      {"4294967296", 0xFFFFFFFFu},
                                                      {"99999999999999999999", 0xFFFFFFFFu},
                                                      {"0x1FFFFFFFF", 0xFFFFFFFFu},
                                                      {"037777777777", 0xFFFFFFFFu},
                                                      {"040000000000", 0xFFFFFFFFu},
                                                      {"-1", 0xFFFFFFFFu},
                                                      {"-2", 0xFFFFFFFEu},
                                                      {"-4294967295", 1},
                                                      {"-4294967296", 0xFFFFFFFFu},
                                                      {"+7", 7},
                                                      {"  \t\n12", 12},
                                                      {"12abc", 12},
                                                      {"abc", 0},
                                                      {"", 0},
                                                      {"-", 0},
                                                      {"0x", 0},
                                                      {"0xg", 0},
                                                      {"08", 0},
                                                      {"019", 1},
                                                      {"1 2", 1},
                                                      {"- 1", 0},
                                                      {"Zz", 0},
                                                      {nullptr, 0}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expected, Platform::ParseULong32(text)) << (text ? text : "(null)");
}

TEST(EnvironmentTest, UnsetAndEmptyVariablesDifferAndAValueComesBackWhole)
{
    const char* const name = "GENTESK_TEST_VARIABLE";
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>(" 0x10 = x ")}) {
        Platform::SetEnvironmentVariableForTest(name, value);
        EXPECT_EQ(value, Platform::GetEnvironmentVariable(name));
    }
    Platform::SetEnvironmentVariableForTest(name, std::nullopt);
}

}  // namespace
