#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "gentl_core/Logger.h"
#include "platform/Clock.h"
#include "platform/ThreadInfo.h"

namespace {

using GenTLCore::SetLogLevelForTest;
using TestSupport::LogCapture;

// Column layout of a line: category 12, level name 8, thread id 8, tick 16,
// then four blanks and the message.
constexpr std::size_t LEVEL_COLUMN = 12;
constexpr std::size_t THREAD_COLUMN = 20;
constexpr std::size_t TICK_COLUMN = 28;
constexpr std::size_t GAP_COLUMN = 44;
constexpr std::size_t MESSAGE_COLUMN = 48;

// A right-aligned number field: blanks, then the decimal digits.
uint64_t ReadRightAlignedNumber(const std::string& field)
{
    const std::size_t first_digit = field.find_first_not_of(' ');
    EXPECT_NE(std::string::npos, first_digit) << '"' << field << '"';
    EXPECT_EQ(std::string::npos, field.find(' ', first_digit)) << '"' << field << '"';
    return std::stoull(field.substr(first_digit));
}

// The prefix: category, level name, thread id and tick in fixed columns.
class LogLineFormatTest : public ::testing::Test {
protected:
    LogCapture capture;
};

TEST_F(LogLineFormatTest, ErrorLinePutsEachFieldInItsColumn)
{
    SetLogLevelForTest(LOG_LEVEL_ERROR);
    const uint32_t tick_before = Platform::GetTickCountMs();
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ERROR) << "value " << 42 << "\n";
    const uint32_t tick_after = Platform::GetTickCountMs();

    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(1u, lines.size());
    const std::string& line = lines[0];
    ASSERT_EQ(MESSAGE_COLUMN + 9, line.size()) << line;
    EXPECT_EQ("TLErr       ", line.substr(0, LEVEL_COLUMN));
    EXPECT_EQ("Error   ", line.substr(LEVEL_COLUMN, 8));
    EXPECT_EQ(Platform::CurrentThreadId(), ReadRightAlignedNumber(line.substr(THREAD_COLUMN, 8)));
    const auto tick = static_cast<uint32_t>(ReadRightAlignedNumber(line.substr(TICK_COLUMN, 16)));
    EXPECT_LE(static_cast<uint32_t>(tick - tick_before), static_cast<uint32_t>(tick_after - tick_before));
    EXPECT_EQ("    value 42\n", line.substr(GAP_COLUMN));
}

TEST_F(LogLineFormatTest, LongCategoryIsWrittenWholeAndShiftsTheLine)
{
    SetLogLevelForTest(LOG_LEVEL_INFO);
    TL_LOG("ThirteenChars", LOG_LEVEL_INFO) << "shifted\n";
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("ThirteenCharsInfo    ", lines[0].substr(0, 21));
    EXPECT_EQ(MESSAGE_COLUMN + 1 + 8, lines[0].size()) << lines[0];
    EXPECT_EQ("    shifted\n", lines[0].substr(GAP_COLUMN + 1));
}

// Category padded to twelve columns, level name to eight.
struct PrefixCase {
    const char* category;
    uint32_t level;
    const char* prefix;
};

class LogLinePrefixTest : public ::testing::TestWithParam<PrefixCase> {
protected:
    LogCapture capture;
};

TEST_P(LogLinePrefixTest, PadsCategoryAndLevelName)
{
    SetLogLevelForTest(7);
    TL_LOG(GetParam().category, GetParam().level) << "x\n";
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(GetParam().prefix, lines[0].substr(0, THREAD_COLUMN));
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogLinePrefixTest,
    ::testing::Values(PrefixCase{LOG_CATEGORY_STREAM, LOG_LEVEL_ALWAYS, "Stream      *       "},
                      PrefixCase{LOG_CATEGORY_STREAM, LOG_LEVEL_WARNING, "Stream      Warning "},
                      PrefixCase{LOG_CATEGORY_STREAM, LOG_LEVEL_INFO, "Stream      Info    "},
                      PrefixCase{LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG, "Stream      Debug   "},
                      PrefixCase{LOG_CATEGORY_STREAM, LOG_LEVEL_TRACE, "Stream      Trace   "},
                      PrefixCase{LOG_CATEGORY_EVENT, 7, "Event       ?       "},
                      PrefixCase{"TwelveChars!", LOG_LEVEL_INFO, "TwelveChars!Info    "},
                      PrefixCase{nullptr, LOG_LEVEL_DEBUG, "            Debug   "}));

// Each message goes out as one piece and ends with exactly one newline.
class LogLineEmissionTest : public ::testing::Test {
protected:
    void SetUp() override { SetLogLevelForTest(LOG_LEVEL_DEBUG); }
    LogCapture capture;
};

TEST_F(LogLineEmissionTest, ManyInsertionsMakeOneOutputCall)
{
    TL_LOG(LOG_CATEGORY_BUFFER, LOG_LEVEL_DEBUG) << "a" << 1 << 'b' << 2.5 << -3 << "\n";
    TL_LOG(LOG_CATEGORY_BUFFER, LOG_LEVEL_DEBUG) << "second\n";
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("    a1b2.5-3\n", lines[0].substr(GAP_COLUMN));
    EXPECT_EQ("    second\n", lines[1].substr(GAP_COLUMN));
}

TEST_F(LogLineEmissionTest, MissingNewlineIsAdded)
{
    TL_LOG(LOG_CATEGORY_CONTROL, LOG_LEVEL_DEBUG) << "no newline";
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("    no newline\n", lines[0].substr(GAP_COLUMN));
}

// A line of level N appears only when the global level is N or more.
class LogLevelGateTest : public ::testing::Test {
protected:
    LogCapture capture;
    int evaluated = 0;
    int Evaluate() { return ++evaluated; }
};

TEST_F(LogLevelGateTest, NothingIsLoggedAtLevelZero)
{
    SetLogLevelForTest(0);
    TL_LOG(LOG_CATEGORY_LIBRARY, LOG_LEVEL_ALWAYS) << "x\n";
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(LogLevelGateTest, ErrorLineAppearsAtLevelTwoNotAtOne)
{
    SetLogLevelForTest(1);
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ERROR) << "hidden\n";
    EXPECT_TRUE(capture.Lines().empty());
    SetLogLevelForTest(2);
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ERROR) << "shown\n";
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_WARNING) << "hidden\n";
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("    shown\n", lines[0].substr(GAP_COLUMN));
}

TEST_F(LogLevelGateTest, DisabledLineDoesNotEvaluateItsOperands)
{
    SetLogLevelForTest(LOG_LEVEL_INFO);
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG) << Evaluate() << "\n";
    EXPECT_EQ(0, evaluated);
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO) << Evaluate() << "\n";
    EXPECT_EQ(1, evaluated);
}

TEST_F(LogLevelGateTest, ComparisonIsUnsigned)
{
    // A negative level reads as a huge one: only the highest level lets it pass.
    SetLogLevelForTest(0x7FFFFFFF);
    TL_LOG(LOG_CATEGORY_STREAM, -1) << "hidden\n";
    EXPECT_TRUE(capture.Lines().empty());
    SetLogLevelForTest(0xFFFFFFFF);
    TL_LOG(LOG_CATEGORY_STREAM, -1) << "shown\n";
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_TRACE) << "shown\n";
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("Stream      ?       ", lines[0].substr(0, THREAD_COLUMN));
}

TEST_F(LogLevelGateTest, MacroIsOneStatementUnderAnUnbracedIf)
{
    SetLogLevelForTest(LOG_LEVEL_INFO);
    bool else_taken = false;
    for (const bool condition : {true, false}) {
        if (condition)
            TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO) << "taken\n";
        else
            else_taken = true;
        if (!condition)
            TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_INFO) << "not taken\n";
    }
    EXPECT_TRUE(else_taken);
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("    taken\n", lines[0].substr(GAP_COLUMN));
    EXPECT_EQ("    not taken\n", lines[1].substr(GAP_COLUMN));
}

}  // namespace
