// Log lines against hand-worked layouts, the level gate, and the level taken
// from the environment at start-up.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "LogCapture.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/Logger.h"
#include "gentl_core/SmartPointers.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/Environment.h"
#include "platform/ThreadInfo.h"

namespace {

using GenTLCore::GetLogLevel;
using GenTLCore::SetLogLevelForTest;

// Category 12 columns, level name 8, thread id 8, tick 16, four blanks.
constexpr size_t GAP_COLUMN = 44;

struct LoggerTest : ::testing::Test {
    // Start-up with logging on also switches stderr on.
    void TearDown() override
    {
        SetLogLevelForTest(0);
        Platform::SetDebugOutputToStderr(false);
    }
    TestSupport::LogCapture capture;
};

TEST_F(LoggerTest, LinePutsEachFieldInItsColumnAndPadsOrShiftsForTheCategory)
{
    SetLogLevelForTest(7);
    const uint32_t tick_before = Platform::GetTickCountMs();
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ERROR) << "value " << 42 << 'b' << 2.5 << "\n";
    const uint32_t tick_after = Platform::GetTickCountMs();
    const std::string line = capture.Lines().at(0);
    EXPECT_EQ("TLErr       Error   ", line.substr(0, 20));
    const std::string thread_field = line.substr(20, 8);
    EXPECT_EQ(std::to_string(Platform::CurrentThreadId()),
              thread_field.substr(thread_field.find_first_not_of(' ')));
    EXPECT_EQ(' ', line[28]);
    const auto tick = static_cast<uint32_t>(std::stoul(line.substr(28, 16)));
    EXPECT_LE(tick - tick_before, tick_after - tick_before);
    EXPECT_EQ("    value 42b2.5\n", line.substr(GAP_COLUMN));
    const struct {
        const char* category;
        int32_t level;
        const char* prefix;
        size_t gap;
    } cases[] = {
        {LOG_CATEGORY_STREAM, LOG_LEVEL_ALWAYS, "Stream      *       ", GAP_COLUMN},
        {LOG_CATEGORY_STREAM, LOG_LEVEL_TRACE, "Stream      Trace   ", GAP_COLUMN},
        {LOG_CATEGORY_EVENT, 7, "Event       ?       ", GAP_COLUMN},
        {"TwelveChars!", LOG_LEVEL_INFO, "TwelveChars!Info    ", GAP_COLUMN},
        {"ThirteenChars", LOG_LEVEL_INFO, "ThirteenCharsInfo   ", GAP_COLUMN + 1},
        {nullptr, LOG_LEVEL_DEBUG, "            Debug   ", GAP_COLUMN},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.prefix);
        TL_LOG(row.category, row.level) << "no newline";
        const std::string written = capture.Lines().back();
        EXPECT_EQ(row.prefix, written.substr(0, 20));
        EXPECT_EQ("    no newline\n", written.substr(row.gap));
    }
}

TEST_F(LoggerTest, LineIsWrittenOnlyAtItsLevelOrMoreAndOtherwiseCostsNothing)
{
    int evaluated = 0;
    const struct {
        uint32_t global;
        int32_t line_level;
        bool shown;
    } cases[] = {{0, LOG_LEVEL_ALWAYS, false}, {1, LOG_LEVEL_ERROR, false},
                 {2, LOG_LEVEL_ERROR, true},   {2, LOG_LEVEL_WARNING, false},
                 {0x7FFFFFFF, -1, false},      {0xFFFFFFFF, -1, true}};
    for (const auto& row : cases) {
        SetLogLevelForTest(row.global);
        const size_t before = capture.Lines().size();
        TL_LOG(LOG_CATEGORY_STREAM, row.line_level) << ++evaluated;
        EXPECT_EQ(row.shown ? before + 1 : before, capture.Lines().size()) << row.global;
    }
    EXPECT_EQ(2, evaluated);
}

TEST_F(LoggerTest, MacroIsOneStatementUnderAnUnbracedIf)
{
    SetLogLevelForTest(LOG_LEVEL_INFO);
    int else_taken = 0;
    for (const bool condition : {true, false})
        if (condition)
            TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO) << "taken\n";
        else
            ++else_taken;
    EXPECT_EQ(1, else_taken);
    EXPECT_EQ(1u, capture.Lines().size());
}

// Names the two variables as the sensor-specific branding does.
struct LoggingBranding : GenTLCore::DefaultBranding {
    std::string LoggingEnvVarName() const override { return "ZOTL_LOGGING"; }
    std::string LogLevelEnvVarName() const override { return "ZOTL_LOG_LEVEL"; }
};

// Every row starts from level 3, so "left unchanged" and "set to 0" differ.
TEST_F(LoggerTest, StartUpTakesTheLevelFromTheBrandingsVariablesWhenLoggingIsOn)
{
    const std::optional<std::string> unset;
    const struct {
        std::optional<std::string> logging;
        std::optional<std::string> level;
        uint32_t expected;
    } cases[] = {
        {unset, unset, 3}, {"0", "6", 3},   {"1", unset, 3},          {"0x10", "4", 4},
        {"1", "0", 0},     {"1", "abc", 0}, {"1", "4294967295", 3},
    };
    const GenTLCore::SharedPtr<GenTLCore::GenTLBranding> branding(new LoggingBranding);
    for (const auto& row : cases) {
        SCOPED_TRACE(row.logging.value_or("unset") + " / " + row.level.value_or("unset"));
        Platform::SetEnvironmentVariableForTest("ZOTL_LOGGING", row.logging);
        Platform::SetEnvironmentVariableForTest("ZOTL_LOG_LEVEL", row.level);
        SetLogLevelForTest(3);
        GenTLCore::LoggerInit::Instance()->Initialize(branding);
        EXPECT_EQ(row.expected, GetLogLevel());
    }
    GenTLCore::LoggerInit::Instance()->Shutdown();
    EXPECT_EQ(0u, GetLogLevel());
    TestSupport::AssertionRecorder assertions;
    GenTLCore::LoggerInit::Instance()->Initialize(GenTLCore::SharedPtr<GenTLCore::GenTLBranding>());
    EXPECT_EQ(1u, assertions.Count());
    Platform::SetEnvironmentVariableForTest("ZOTL_LOGGING", unset);
    Platform::SetEnvironmentVariableForTest("ZOTL_LOG_LEVEL", unset);
}

}  // namespace
