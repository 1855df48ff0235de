// Environment variables and 32-bit numbers read from them, the clocks, the
// module path and debug output.
#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../gentl_core/LogCapture.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/Environment.h"
#include "platform/ModulePath.h"

namespace {

// Hand-worked results of a 32-bit strtoul(text, nullptr, 0).
TEST(EnvironmentTest, ParseULong32ReadsAs32BitStrtoulBase0AndVariablesComeBackWhole)
{
    const std::pair<const char*, uint32_t> cases[] = {
        {"010", 8},         {"0x10", 16},          {"0X1f", 31},     {"0xFFFFFFFF", 0xFFFFFFFFu},
        {"4294967294", 0xFFFFFFFEu},               {"4294967296", 0xFFFFFFFFu},
        {"99999999999999999999", 0xFFFFFFFFu},     {"040000000000", 0xFFFFFFFFu},
        {"-2", 0xFFFFFFFEu}, {"-4294967295", 1},   {"-4294967296", 0xFFFFFFFFu},
        {"+7", 7},          {"  \t\n12", 12},      {"12abc", 12},    {"abc", 0},
        {"", 0},            {"-", 0},              {"0x", 0},        {"0xg", 0},
        {"08", 0},          {"019", 1},            {"- 1", 0},       {nullptr, 0}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expected, Platform::ParseULong32(text)) << (text ? text : "(null)");
    const char* const name = "GENTESK_TEST_VARIABLE";
    for (const std::optional<std::string>& value : {std::optional<std::string>(),
                                                    std::optional<std::string>(""),
                                                    std::optional<std::string>(" 0x10 = x ")}) {
        Platform::SetEnvironmentVariableForTest(name, value);
        EXPECT_EQ(value, Platform::GetEnvironmentVariable(name));
    }
}

TEST(ClockTest, ClocksNeverGoBackwardsAndTheirUnitsAgree)
{
    uint64_t previous_us = Platform::MonotonicUs();
    for (int i = 0; i < 10000; ++i) {
        const uint64_t before_ms = Platform::MonotonicMs();
        const uint64_t now_us = Platform::MonotonicUs();
        const uint32_t tick = Platform::GetTickCountMs();
        const uint64_t after_ms = Platform::MonotonicMs();
        ASSERT_GE(now_us, previous_us);
        ASSERT_LE(before_ms, now_us / 1000);
        ASSERT_GE(after_ms, now_us / 1000);
        // The tick is the millisecond clock cut to 32 bits, so it wraps with it.
        ASSERT_LE(static_cast<uint32_t>(tick - static_cast<uint32_t>(before_ms)),
                  static_cast<uint32_t>(after_ms - before_ms));
        previous_us = now_us;
    }
}

uint32_t ParseNothing()
{
    return Platform::ParseULong32(nullptr);
}

// std::terminate's code lives in the shared C++ runtime, not in the executable.
TEST(ModulePathTest, FindsTheExecutableOrTheSharedLibraryOfTheCodeOrNothing)
{
    EXPECT_EQ(std::filesystem::canonical("/proc/self/exe").string(),
              Platform::GetModulePath(&ParseNothing));
    const std::filesystem::path runtime = Platform::GetModulePath(&std::terminate);
    EXPECT_NE(std::string::npos, runtime.filename().string().find("libstdc++")) << runtime;
    EXPECT_TRUE(runtime.is_absolute() && std::filesystem::is_regular_file(runtime)) << runtime;
    EXPECT_EQ("", Platform::GetModulePath(static_cast<const void*>(nullptr)));
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
