// Environment variables and 32-bit numbers read from them, and debug output.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../gentl_core/LogCapture.h"
#include "platform/DebugOutput.h"
#include "platform/Environment.h"

namespace {

// Hand-worked results of a 32-bit strtoul(text, nullptr, 0).
TEST(EnvironmentTest, ParseULong32ReadsAs32BitStrtoulBase0AndVariablesComeBackWhole)
{
    // clang-format off
    const std::pair<const char*, uint32_t> cases[] = {
        {"010", 8}, {"0x10", 16}, {"0X1f", 31}, {"0xFFFFFFFF", 0xFFFFFFFFu}, {"+7", 7},
        {"4294967294", 0xFFFFFFFEu}, {"4294967296", 0xFFFFFFFFu}, {"040000000000", 0xFFFFFFFFu},
        {"99999999999999999999", 0xFFFFFFFFu}, {"-2", 0xFFFFFFFEu}, {"-4294967295", 1},
        {"-4294967296", 0xFFFFFFFFu}, {"  \t\n12", 12}, {"12abc", 12}, {"abc", 0}, {"", 0},
        {"-", 0}, {"0x", 0}, {"0xg", 0}, {"08", 0}, {"019", 1}, {"- 1", 0}, {nullptr, 0}};
    // clang-format on
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expected, Platform::ParseULong32(text)) << (text ? text : "(null)");
    const char* const name = "GENTESK_TEST_VARIABLE";
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>(" 0x10 = x ")}) {
        Platform::SetEnvironmentVariableForTest(name, value);
        EXPECT_EQ(value, Platform::GetEnvironmentVariable(name));
    }
}

// What stderr receives for `texts` while the output is switched on.
std::string OnStderr(const std::vector<std::string>& texts)
{
    Platform::SetDebugOutputToStderr(true);
    ::testing::internal::CaptureStderr();
    for (const std::string& text : texts) Platform::WriteDebugOutput(text);
    Platform::SetDebugOutputToStderr(false);
    return ::testing::internal::GetCapturedStderr();
}

// Whole lines on stderr, an unterminated tail ended; the hook instead takes
// each call unsplit.
TEST(DebugOutputTest, WritesEveryLineOrHandsEachCallToTheHook)
{
    EXPECT_EQ("first\n\nsecond\n", OnStderr({"first\n\nsecond", ""}));
    {
        TestSupport::LogCapture capture;
        EXPECT_EQ("", OnStderr({"a\nb", "c\n"}));
        EXPECT_EQ((std::vector<std::string>{"a\nb", "c\n"}), capture.Lines());
    }
    ::testing::internal::CaptureStderr();
    Platform::WriteDebugOutput("off\n");
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
}

// Long lines make a split, if there were one, likely.
TEST(DebugOutputTest, ConcurrentWritersNeverSplitALine)
{
    constexpr int THREADS = 4;
    constexpr int LINES = 300;
    const std::string filler(200, '.');
    Platform::SetDebugOutputToStderr(true);
    ::testing::internal::CaptureStderr();
    std::vector<std::thread> writers;
    for (int t = 0; t < THREADS; ++t)
        writers.emplace_back([t, &filler] {
            const std::string line = "<" + std::to_string(t) + filler + ">\n";
            for (int i = 0; i < LINES; ++i) Platform::WriteDebugOutput(line);
        });
    for (std::thread& writer : writers) writer.join();
    Platform::SetDebugOutputToStderr(false);
    std::istringstream output(::testing::internal::GetCapturedStderr());
    std::vector<int> counts(THREADS, 0);
    for (std::string line; std::getline(output, line);) {
        ASSERT_EQ("<" + line.substr(1, 1) + filler + ">", line);
        ++counts.at(static_cast<size_t>(line[1] - '0'));
    }
    EXPECT_EQ(std::vector<int>(THREADS, LINES), counts);
}

}  // namespace
