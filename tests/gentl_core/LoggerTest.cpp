// Log lines against hand-worked layouts, and the level gate. The level taken
// from the environment at start-up is the call-log consumer test's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogCapture.h"
#include "gentl_core/Logger.h"
#include "platform/Clock.h"
#include "platform/ThreadInfo.h"

namespace {

using GenTLCore::SetLogLevelForTest;

struct LoggerTest : ::testing::Test {
    void TearDown() override { SetLogLevelForTest(0); }
    TestSupport::LogCapture capture;
};

// Category 12 columns, level name 8, then thread id 8 and tick 16 (checked
// on the first line), four blanks; a longer category shifts the line.
TEST_F(LoggerTest, LinePutsEachFieldInItsColumnAndPadsOrShiftsForTheCategory)
{
    const struct {
        const char* category;
        int32_t level;
        std::string prefix;
    } cases[] = {
        {LOG_CATEGORY_TLERR, LOG_LEVEL_ERROR, "TLErr       Error   "},
        {LOG_CATEGORY_STREAM, LOG_LEVEL_ALWAYS, "Stream      *       "},
        {LOG_CATEGORY_EVENT, 7, "Event       ?       "},
        {"TwelveChars!", LOG_LEVEL_TRACE, "TwelveChars!Trace   "},
        {"ThirteenChars", LOG_LEVEL_INFO, "ThirteenCharsInfo    "},
        {nullptr, LOG_LEVEL_DEBUG, "            Debug   "},
    };
    SetLogLevelForTest(7);
    const uint32_t tick_before = Platform::GetTickCountMs();
    for (const auto& row : cases) TL_LOG(row.category, row.level) << "value " << 42 << 'b' << 2.5;
    const uint32_t tick_after = Platform::GetTickCountMs();
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(std::size(cases), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& prefix = cases[i].prefix;
        EXPECT_EQ(prefix, lines[i].substr(0, prefix.size()));
        EXPECT_EQ("    value 42b2.5\n", lines[i].substr(prefix.size() + 24)) << prefix;
    }
    const std::string thread = std::to_string(Platform::CurrentThreadId());
    EXPECT_EQ(std::string(8 - thread.size(), ' ') + thread + ' ', lines[0].substr(20, 9));
    const auto tick = static_cast<uint32_t>(std::stoul(lines[0].substr(28, 16)));
    EXPECT_LE(tick - tick_before, tick_after - tick_before);
}

// The macro is one expression: it nests under an unbraced if, and below its
// level its stream arguments are never evaluated.
TEST_F(LoggerTest, LineIsWrittenOnlyAtItsLevelOrMoreAndIsOneStatementUnderAnUnbracedIf)
{
    int evaluated = 0;
    const struct {
        uint32_t global;
        int32_t line_level;
    } cases[] = {{0, LOG_LEVEL_ALWAYS},  {1, LOG_LEVEL_ERROR}, {2, LOG_LEVEL_ERROR},
                 {2, LOG_LEVEL_WARNING}, {0x7FFFFFFF, -1},     {0xFFFFFFFF, -1}};
    for (const auto& row : cases) {
        SetLogLevelForTest(row.global);
        for (const bool condition : {true, false})
            if (condition)
                TL_LOG(LOG_CATEGORY_STREAM, row.line_level) << ++evaluated;
            else
                --evaluated;
    }
    EXPECT_EQ(-4, evaluated);
    EXPECT_EQ(2u, capture.Lines().size());
}

}  // namespace
