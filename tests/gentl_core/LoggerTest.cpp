// Log lines against hand-worked layouts, the level gate, and the level taken
// from the environment at start-up.
#include <gtest/gtest.h>

#include <cstdint>
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
using GenTLCore::LoggerInit;
using GenTLCore::SetLogLevelForTest;

// Read before any test can change it.
const uint32_t LEVEL_AT_LOAD = GetLogLevel();

// Category 12 columns, level name 8, thread id 8, tick 16, four blanks.
constexpr size_t THREAD_COLUMN = 20;
constexpr size_t GAP_COLUMN = 44;

class LoggerTest : public ::testing::Test {
protected:
    // Start-up with logging on also switches stderr on.
    void TearDown() override
    {
        SetLogLevelForTest(0);
        Platform::SetDebugOutputToStderr(false);
    }

    TestSupport::LogCapture capture;
};

TEST_F(LoggerTest, LinePutsEachFieldInItsColumnAndGoesOutInOneCall)
{
    SetLogLevelForTest(LOG_LEVEL_ERROR);
    const uint32_t tick_before = Platform::GetTickCountMs();
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ERROR) << "value " << 42 << 'b' << 2.5 << "\n";
    const uint32_t tick_after = Platform::GetTickCountMs();
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ERROR) << "no newline";

    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(2u, lines.size());
    const std::string& line = lines[0];
    EXPECT_EQ("TLErr       Error   ", line.substr(0, THREAD_COLUMN));
    const std::string thread_field = line.substr(THREAD_COLUMN, 8);
    EXPECT_EQ(std::to_string(Platform::CurrentThreadId()),
              thread_field.substr(thread_field.find_first_not_of(' ')));
    const std::string tick_field = line.substr(28, 16);
    const auto tick = static_cast<uint32_t>(std::stoul(tick_field));
    EXPECT_EQ(' ', tick_field[0]);
    EXPECT_LE(tick - tick_before, tick_after - tick_before);
    EXPECT_EQ("    value 42b2.5\n", line.substr(GAP_COLUMN));
    EXPECT_EQ("    no newline\n", lines[1].substr(GAP_COLUMN));
}

TEST_F(LoggerTest, PadsCategoryAndLevelNameOrShiftsTheLineForALongCategory)
{
    const struct {
        const char* category;
        int32_t level;
        const char* prefix;
    } cases[] = {
        {LOG_CATEGORY_STREAM, LOG_LEVEL_ALWAYS, "Stream      *       "},
        {LOG_CATEGORY_STREAM, LOG_LEVEL_WARNING, "Stream      Warning "},
        {LOG_CATEGORY_STREAM, LOG_LEVEL_INFO, "Stream      Info    "},
        {LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG, "Stream      Debug   "},
        {LOG_CATEGORY_STREAM, LOG_LEVEL_TRACE, "Stream      Trace   "},
        {LOG_CATEGORY_EVENT, 7, "Event       ?       "},
        {"TwelveChars!", LOG_LEVEL_INFO, "TwelveChars!Info    "},
        {"ThirteenChars", LOG_LEVEL_INFO, "ThirteenCharsInfo   "},
        {nullptr, LOG_LEVEL_DEBUG, "            Debug   "},
    };
    SetLogLevelForTest(7);
    for (const auto& row : cases) TL_LOG(row.category, row.level) << "x\n";
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(std::size(cases), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(cases[i].prefix, lines[i].substr(0, THREAD_COLUMN));
        EXPECT_EQ("    x\n", lines[i].substr(lines[i].size() - 6)) << lines[i];
    }
    EXPECT_EQ(GAP_COLUMN + 6, lines[6].size());
    EXPECT_EQ(GAP_COLUMN + 7, lines[7].size());
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
        EXPECT_EQ(row.shown ? before + 1 : before, capture.Lines().size())
            << row.global << " " << row.line_level;
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
class LoggingBranding : public GenTLCore::DefaultBranding {
public:
    std::string LoggingEnvVarName() const override { return "ZOTL_LOGGING"; }
    std::string LogLevelEnvVarName() const override { return "ZOTL_LOG_LEVEL"; }
};

TEST_F(LoggerTest, StartUpTakesTheLevelFromTheBrandingsVariablesWhenLoggingIsOn)
{
    EXPECT_EQ(0u, LEVEL_AT_LOAD);
    const std::optional<std::string> unset;
    // Every row starts from level 3, so "left unchanged" and "set to 0" differ.
    const struct {
        std::optional<std::string> logging;
        std::optional<std::string> level;
        uint32_t expected;
    } cases[] = {
        {unset, unset, 3},      {unset, "6", 3}, {"0", "6", 3},
        {"", "6", 3},           {"on", "6", 3},  {"1", unset, 3},
        {"0x10", "4", 4},       {"-1", "5", 5},  {"1", "010", 8},
        {"1", "0", 0},          {"1", "abc", 0}, {"1", "4294967294", 4294967294u},
        {"1", "4294967295", 3}, {"1", "-1", 3},  {"1", "4294967296", 3},
    };
    const GenTLCore::SharedPtr<GenTLCore::GenTLBranding> branding(new LoggingBranding);
    for (const auto& row : cases) {
        SCOPED_TRACE(row.logging.value_or("unset") + " / " + row.level.value_or("unset"));
        Platform::SetEnvironmentVariableForTest("ZOTL_LOGGING", row.logging);
        Platform::SetEnvironmentVariableForTest("ZOTL_LOG_LEVEL", row.level);
        SetLogLevelForTest(3);
        LoggerInit::Instance()->Initialize(branding);
        EXPECT_EQ(row.expected, GetLogLevel());
    }
    LoggerInit::Instance()->Shutdown();
    EXPECT_EQ(0u, GetLogLevel());

    Platform::SetEnvironmentVariableForTest("ZOTL_LOGGING", "1");
    Platform::SetEnvironmentVariableForTest("ZOTL_LOG_LEVEL", "6");
    TestSupport::AssertionRecorder assertions;
    LoggerInit::Instance()->Initialize(GenTLCore::SharedPtr<GenTLCore::GenTLBranding>());
    EXPECT_EQ(1u, assertions.Count());
    EXPECT_EQ(0u, GetLogLevel());
    Platform::SetEnvironmentVariableForTest("ZOTL_LOGGING", unset);
    Platform::SetEnvironmentVariableForTest("ZOTL_LOG_LEVEL", unset);
}

}  // namespace
