// Log lines against hand-worked layouts, the level gate, and the failure
// reports that write them while keeping each thread's last error. The level
// taken from the environment at start-up is the call-log consumer test's.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "gentl_core/ErrorHandling.h"
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
        EXPECT_EQ(cases[i].prefix, lines[i].substr(0, cases[i].prefix.size()));
        EXPECT_EQ("    value 42b2.5\n", lines[i].substr(cases[i].prefix.size() + 24)) << i;
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

using GenTLCore::LastErrorRecord;
using GenTLCore::ReportError;

LastErrorRecord ReadLastError()
{
    LastErrorRecord record{12345, "untouched"};
    EXPECT_TRUE(GenTLCore::TLSControl::Instance()->GetLastError(record));
    return record;
}

// The failure line is TLErr at level two, with the code's name. A freed
// record left in the slot would be written by the next report.
TEST_F(LoggerTest, ReportIsLoggedAndReplacesTheLastAndReleaseLeavesTheThreadUsable)
{
    const std::string failure = "TLErr       Error   GenTL interface call failure: ";
    const struct {
        uint32_t level;
        GC_ERROR code;
        std::string line;  // without thread and tick; empty when nothing is logged
    } cases[] = {
        {LOG_LEVEL_ERROR, GC_ERR_INVALID_PARAMETER,
         failure + "GC_ERR_INVALID_PARAMETER, Read: bad\n"},
        {LOG_LEVEL_TRACE, -2000, failure + "Unknown error code, Read: bad\n"},
        {LOG_LEVEL_ALWAYS, GC_ERR_TIMEOUT, ""},
        {LOG_LEVEL_TRACE, GC_ERR_SUCCESS, ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.code);
        SetLogLevelForTest(row.level);
        const size_t before = capture.Lines().size();
        EXPECT_EQ(row.code, ReportError(row.code, "Read: bad"));
        EXPECT_EQ(row.code, ReadLastError().code);
        const std::vector<std::string> lines = capture.Lines();
        ASSERT_EQ(before + (row.line.empty() ? 0 : 1), lines.size());
        const std::string& last = lines.back();
        EXPECT_EQ(row.line, lines.size() > before ? last.substr(0, 20) + last.substr(48) : "");
    }
    EXPECT_EQ("Read: bad", ReadLastError().text);
    GenTLCore::TLSControl::Instance()->ReleaseThreadRecord();
    GenTLCore::TLSControl::Instance()->ReleaseThreadRecord();
    EXPECT_EQ(0u, GenTLCore::TLSControl::Instance()->RecordCountForTest());
    EXPECT_EQ("No Error", ReadLastError().text);
    ReportError(GC_ERR_TIMEOUT, "after release");
    EXPECT_EQ("after release", ReadLastError().text);
    GenTLCore::TLSControl::Instance()->ReleaseThreadRecord();
}

TEST(ErrorHandlingTest, ConcurrentThreadsEachReadTheirOwn)
{
    std::atomic<int> mismatches{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([t, &mismatches] {
                for (int round = 0; round < 500; ++round) {
                    const LastErrorRecord sent{-1001 - ((t + round) % 22),
                                               std::to_string(t * 1000 + round)};
                    ReportError(sent.code, sent.text);
                    const LastErrorRecord record = ReadLastError();
                    mismatches += record.code != sent.code || record.text != sent.text;
                }
            });
    }
    EXPECT_EQ(0, mismatches.load());
    EXPECT_EQ(0u, GenTLCore::TLSControl::Instance()->RecordCountForTest());
}

// INT32_MAX once overflowed the index computed in 32 bits.
TEST(ErrorHandlingTest, ErrorNameNamesTheGenTLCodesAndNoOther)
{
    EXPECT_STREQ("GC_ERR_ERROR", GenTLCore::ErrorName(-1001));
    EXPECT_STREQ("GC_ERR_RESOURCE_EXHAUSTED", GenTLCore::ErrorName(-1020));
    EXPECT_STREQ("GC_ERR_BUSY", GenTLCore::ErrorName(-1022));
    for (const GC_ERROR code : {-1023, -1000, 0, 5, INT32_MIN, INT32_MAX})
        EXPECT_STREQ("Unknown error code", GenTLCore::ErrorName(code)) << code;
}

}  // namespace
